// The scrambled file streams: what lands on disk, and that any split or seek reads it back.
#include "Support.h"
#include "kapp/CryptedFileStream.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace kapp_test {
namespace {

using kapp::CCryptedInputFileStream;
using kapp::CCryptedOutputFileStream;
using kapp::kScrambleCycle;
using kapp::ScrambleBuffer;

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    uint32_t x = 12345;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 24);
    }
    return bytes;
}

// Writes data through the scrambled stream in pieces of the given sizes (the rest in one piece).
void WriteInPieces(const std::wstring& path, const std::string& data, const std::vector<size_t>& pieces) {
    CCryptedOutputFileStream out{wxString(path)};
    ASSERT_TRUE(out.IsOk());
    size_t done = 0;
    for (size_t piece : pieces) {
        out.Write(data.data() + done, piece);
        done += piece;
    }
    out.Write(data.data() + done, data.size() - done);
    ASSERT_TRUE(out.Close());
}

TEST(ScrambleKey, ZerosShowAPrintableKeyOf171CharactersAndItsNul) {
    TempFolder folder;
    const std::wstring path = folder / L"zeros.bin";
    WriteInPieces(path, std::string(3 * kScrambleCycle + 10, '\0'), {});
    const std::string key = ReadBytes(path);
    ASSERT_EQ(3 * kScrambleCycle + 10, key.size());
    for (size_t k = 0; k < key.size(); ++k) {
        if (k % kScrambleCycle == kScrambleCycle - 1) {
            EXPECT_EQ('\0', key[k]) << "offset " << k << " passes unchanged";
        } else {
            const char c = key[k];
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.')
                << "offset " << k;
        }
        if (k + kScrambleCycle < key.size()) {
            EXPECT_EQ(key[k], key[k + kScrambleCycle]) << "offset " << k;
        }
    }
}

struct PositionCase {
    size_t length;
    uint64_t offset;
    size_t position;
};

TEST(ScrambleKey, BufferReturnsThePositionAfterItsLastByte) {
    const PositionCase cases[] = {
        {0, 0, 0}, {0, 171, 171}, {1, 171, 0}, {172, 5, 5}, {10, 1000, 1010 % 172}, {3, 0x100000000ull, (0x100000000ull + 3) % 172},
    };
    for (const PositionCase& c : cases) {
        std::vector<uint8_t> buffer(c.length, 0x5A);
        EXPECT_EQ(c.position, ScrambleBuffer(buffer.data(), buffer.size(), c.offset))
            << "length " << c.length << " offset " << c.offset;
    }
}

TEST(ScrambleKey, ScramblingTwiceAtTheSameOffsetRestoresTheBytes) {
    const std::string plain = Pattern(1000);
    for (uint64_t offset : {uint64_t(0), uint64_t(171), uint64_t(5000), uint64_t(1) << 33}) {
        std::string bytes = plain;
        ScrambleBuffer(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size(), offset);
        EXPECT_NE(plain, bytes);
        ScrambleBuffer(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size(), offset);
        EXPECT_EQ(plain, bytes) << "offset " << offset;
    }
}

TEST(CryptedStreams, AnySplitOfTheWritesGivesTheSameFile) {
    TempFolder folder;
    // Larger than the stream's own chunk, so that one write is passed down in several parts.
    const std::string data = Pattern(200 * 1024 + 7);
    const std::vector<std::vector<size_t>> splits = {
        {}, {1}, {171, 1, 172}, {65536}, {65535, 2, 100000}, {0, 0, 13},
    };
    WriteInPieces(folder / L"whole.bin", data, {});
    const std::string whole = ReadBytes(folder / L"whole.bin");
    EXPECT_TRUE(data != whole);
    for (size_t i = 0; i < splits.size(); ++i) {
        const std::wstring path = folder / (L"split" + std::to_wstring(i) + L".bin");
        WriteInPieces(path, data, splits[i]);
        EXPECT_TRUE(whole == ReadBytes(path)) << "split " << i;
    }
}

TEST(CryptedStreams, ReadingFromAnyOffsetGivesTheBytesWritten) {
    TempFolder folder;
    const std::string data = Pattern(100 * 1024);
    const std::wstring path = folder / L"data.bin";
    WriteInPieces(path, data, {});
    CCryptedInputFileStream in{wxString(path)};
    ASSERT_TRUE(in.IsOk());
    for (size_t offset : {size_t(0), size_t(1), size_t(171), size_t(172), size_t(343), size_t(70000), data.size() - 5}) {
        ASSERT_EQ(wxFileOffset(offset), in.SeekI(wxFileOffset(offset)));
        std::string got(std::min<size_t>(9000, data.size() - offset), '\0');
        in.Read(got.data(), got.size());
        ASSERT_EQ(got.size(), in.LastRead());
        EXPECT_EQ(data.substr(offset, got.size()), got) << "offset " << offset;
    }
    // A byte pushed back is read again unchanged, and the next bytes still match their offsets.
    in.SeekI(500);
    char first = 0;
    in.Read(&first, 1);
    in.Ungetch(first);
    std::string after(300, '\0');
    in.Read(after.data(), after.size());
    EXPECT_EQ(data.substr(500, 300), after);
}

TEST(CryptedStreams, ZeroLengthReadsAndWritesChangeNothing) {
    TempFolder folder;
    const std::wstring path = folder / L"data.bin";
    {
        CCryptedOutputFileStream out{wxString(path)};
        out.Write("abc", 3);
        out.Write("", 0);
        out.Write("def", 3);
    }
    CCryptedInputFileStream in{wxString(path)};
    char buffer[8] = {};
    in.Read(buffer, 0);
    EXPECT_EQ(0u, in.LastRead());
    in.Read(buffer, 6);
    EXPECT_EQ("abcdef", std::string(buffer, in.LastRead()));
}

}  // namespace
}  // namespace kapp_test
