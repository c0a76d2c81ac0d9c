// Damaged packs of both formats: thousands of seeded random mutations of valid files. Every
// reader must return in bounded time, and no allocation may be larger than a small multiple of
// the file's size, whatever counts and lengths the file declares.
#include "kest/Error.h"
#include "lang/LangPackMan.h"
#include "tests/kest/TempFolder.h"
#include "tests/lang/AllocationWatch.h"
#include "tests/lang/PackWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>

using namespace pack_test;

namespace {

template <typename T>
void Store(Bytes& bytes, size_t at, T value) {
    for (size_t i = 0; i < sizeof(T) && at + i < bytes.size(); ++i)
        bytes[at + i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
}

void Mutate(Bytes& bytes, std::mt19937& rng) {
    auto pick = [&](size_t n) { return n == 0 ? 0 : static_cast<size_t>(rng() % n); };
    const int mutations = 1 + static_cast<int>(rng() % 3);
    for (int m = 0; m < mutations; ++m) {
        switch (rng() % 6) {
        case 0:  // bit flips
            for (int i = 0, n = 1 + static_cast<int>(rng() % 8); i < n && !bytes.empty(); ++i)
                bytes[pick(bytes.size())] ^= static_cast<uint8_t>(1u << (rng() % 8));
            break;
        case 1:  // truncation
            bytes.resize(pick(bytes.size() + 1));
            break;
        case 2: {  // inserted bytes
            Bytes more(1 + rng() % 16);
            for (uint8_t& b : more) b = static_cast<uint8_t>(rng());
            bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(pick(bytes.size() + 1)), more.begin(), more.end());
            break;
        }
        case 3: {  // deleted bytes
            if (bytes.empty()) break;
            const size_t at = pick(bytes.size());
            const size_t n = std::min<size_t>(1 + rng() % 16, bytes.size() - at);
            bytes.erase(bytes.begin() + static_cast<ptrdiff_t>(at), bytes.begin() + static_cast<ptrdiff_t>(at + n));
            break;
        }
        case 4: {  // a huge 32-bit count or length
            const uint32_t values[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x40000000u,
                                       static_cast<uint32_t>(bytes.size() + 1)};
            Store(bytes, pick(bytes.size()), values[rng() % std::size(values)]);
            break;
        }
        default: {  // a huge or negative 64-bit size
            const int64_t values[] = {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min(), -1,
                                      -12, int64_t{1} << 40};
            Store(bytes, pick(bytes.size()), values[rng() % std::size(values)]);
            break;
        }
        }
    }
}

std::vector<std::pair<std::string, std::wstring>> SomeTexts() {
    std::vector<std::pair<std::string, std::wstring>> texts;
    for (int i = 0; i < 40; ++i)
        texts.push_back({std::string("Dialog.Item").append(std::to_string(i)), L"Text number " + std::to_wstring(i)});
    return texts;
}

// Runs every reader on the file as the program would meet it.
void ReadEveryWay(const std::wstring& path) {
    CLangPackMan manager;
    manager.AddFile(path);
    if (manager.GetCount() > 0) manager.Activate(0);

    CLangPack2 resource(path);
    (void)resource.LoadTexts(path, true);

    CLangPack flat(path);
    try {
        kest::P<kest::ISeekableInStream> file = OpenPackFile(path);
        uint32_t version = 0, layout = 0;
        // The body reader is tried even behind a refused header: it must hold on its own.
        (void)flat.ReadHeader(*file, version, layout);
        (void)flat.LoadTexts(*file, true, layout);
    } catch (...) {
    }
}

}  // namespace

struct Format {
    const char* name;
    Bytes valid;
};

class PackMutation : public testing::TestWithParam<Format> {};

TEST_P(PackMutation, EveryReaderReturnsInBoundedTimeAndMemory) {
    kest_test::TempFolder temp;
    const std::wstring path = temp.Path() + L"OrdaviaStudio_mutant.brvLang";
    WriteFile(path, GetParam().valid);
    ReadEveryWay(path);  // the library's own services start here, not in a measured run

    std::mt19937 rng(20101);
    for (int i = 0; i < 1500; ++i) {
        Bytes bytes = GetParam().valid;
        Mutate(bytes, rng);
        WriteFile(path, bytes);
        ResetLargestAllocation();
        const ULONGLONG start = ::GetTickCount64();
        ReadEveryWay(path);
        const ULONGLONG elapsed = ::GetTickCount64() - start;
        ASSERT_LT(elapsed, 2000u) << "mutant " << i;
        ASSERT_LE(LargestAllocation(), 8 * bytes.size() + 128 * 1024) << "mutant " << i << " of " << bytes.size()
                                                                     << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PackMutation,
    testing::Values(Format{"Flat", FlatPackBytes(MakeFlatPack("LANGPU16", L"Deutsch", SomeTexts()))},
                    Format{"FlatAnsi", FlatPackBytes(MakeFlatPack("LANGPACK", L"Deutsch", SomeTexts()))},
                    Format{"Resource", MakeResourceFile(L"de-DE", L"Deutsch", SomeTexts())}),
    [](const testing::TestParamInfo<Format>& info) { return std::string(info.param.name); });

// ---- Sizes beyond what a pack can be ----

namespace {

// A stream that holds a few bytes and claims to be far longer, as a file of many gigabytes
// would: past its bytes it reads nothing.
class CClaimedSizeStream final : public kest::CObject, public kest::ISeekableInStream {
public:
    CClaimedSizeStream(Bytes bytes, int64_t claimedSize) : m_bytes(std::move(bytes)), m_size(claimedSize) {}

    int64_t GetPosition() override { return m_position; }
    int64_t GetSize() override { return m_size; }
    bool IsClosed() override { return false; }
    void Close() override {}
    kest::P<kest::IURI> GetURI() override { return nullptr; }
    void ReadFully(void* buffer, int32_t size) override {
        if (Read(buffer, size) != size) throw kest::CEndOfStreamError();
    }
    int32_t Read(void* buffer, int32_t size) override {
        const int64_t held = static_cast<int64_t>(m_bytes.size());
        const int64_t n = std::clamp<int64_t>(held - m_position, 0, size);
        if (n > 0) std::memcpy(buffer, m_bytes.data() + m_position, static_cast<size_t>(n));
        m_position += n;
        return static_cast<int32_t>(n);
    }
    int64_t Skip(int64_t count) override {
        m_position += count;
        return count;
    }
    bool IsAtEnd() override { return m_position >= m_size; }
    kest::P<kest::IStreamMarker> CreateMarker() override { throw kest::CMethodNotImplementedError(kest::String("CreateMarker")); }
    void ResetTo(kest::IStreamMarker*) override { throw kest::CMethodNotImplementedError(kest::String("ResetTo")); }
    void SeekTo(int64_t position) override { m_position = position; }
    void SeekFromEnd(int64_t offset) override { m_position = m_size + offset; }
    void SeekBy(int64_t offset) override { m_position += offset; }

private:
    Bytes m_bytes;
    int64_t m_size;
    int64_t m_position = 0;
};

// A resource file whose root and "lang" chunk declare sizes that the claimed stream holds.
Bytes HugeResourceStart(int64_t chunkSize) {
    Bytes chunk = chk_test::ChunkWithSize("lang", ResourceString(L"de"), chunkSize);
    return chk_test::ChunkFileWithRootSize("URESFILE", chunk, chunkSize + 12);  // and the chunk's header
}

// A flat pack whose header is sound and whose body is whatever the stream claims.
Bytes FlatStart() {
    return FlatPackBytes(MakeFlatPack("LANGPU16", L"Deutsch", {}));
}

// A flat pack whose native name declares a length the header and the stream both hold.
Bytes HugeFlatHeaderStart(uint32_t nameLength) {
    Bytes bytes = chk_test::Text("LANGPU16");
    chk_test::PutU32(bytes, 1);
    chk_test::PutU32(bytes, 1);
    chk_test::PutU32(bytes, 0xFFFFFFF0u);  // header length
    chk_test::PutU32(bytes, 0);            // first and second description: absent
    chk_test::PutU32(bytes, 0);
    chk_test::PutU32(bytes, nameLength);
    return bytes;
}

}  // namespace

struct HugeCase {
    const char* name;
    int64_t size;  // what the pack declares, and the stream holds a little more of
};

class HugeSize : public testing::TestWithParam<HugeCase> {};

// A file of many gigabytes could make a reader allocate for its whole declared size, or, where a
// size does not fit the address space, allocate for a part and read the whole into it: every
// reader refuses such a size before it allocates.
TEST_P(HugeSize, IsRefusedBeforeAnyAllocation) {
    const int64_t size = GetParam().size;
    const int64_t claimed = size + 4096;
    const size_t bound = 1024 * 1024;

    ResetLargestAllocation();
    {
        kest::P<kest::ISeekableInStream> stream = kest::New<CClaimedSizeStream>(HugeResourceStart(size), claimed);
        CLangPack2 pack(L"huge.brvLang");
        EXPECT_FALSE(pack.ReadHeader(L"huge.brvLang", *stream));
    }
    EXPECT_LE(LargestAllocation(), bound) << "resource file";

    ResetLargestAllocation();
    {
        kest::P<kest::ISeekableInStream> stream = kest::New<CClaimedSizeStream>(FlatStart(), claimed);
        CLangPack pack(L"huge.brvLang");
        uint32_t version = 0, layout = 0;
        ASSERT_TRUE(pack.ReadHeader(*stream, version, layout));
        EXPECT_FALSE(pack.LoadTexts(*stream, true, layout));
        EXPECT_FALSE(pack.IsLoaded());
    }
    EXPECT_LE(LargestAllocation(), bound) << "flat body";

    ResetLargestAllocation();
    if (size <= std::numeric_limits<uint32_t>::max() - 2) {
        kest::P<kest::ISeekableInStream> stream =
            kest::New<CClaimedSizeStream>(HugeFlatHeaderStart(static_cast<uint32_t>(size)), claimed);
        CLangPack pack(L"huge.brvLang");
        uint32_t version = 0, layout = 0;
        EXPECT_FALSE(pack.ReadHeader(*stream, version, layout));
    }
    EXPECT_LE(LargestAllocation(), bound) << "flat header string";
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, HugeSize,
    testing::Values(HugeCase{"Gigabyte", int64_t{1} << 30}, HugeCase{"FourGigabytesAndMore", (int64_t{1} << 32) + 8},
                    HugeCase{"Terabyte", int64_t{1} << 40},
                    HugeCase{"AlmostTheLargestSize", std::numeric_limits<int64_t>::max() - (int64_t{1} << 20)}),
    [](const testing::TestParamInfo<HugeCase>& info) { return std::string(info.param.name); });
