#include "kapp/CryptedFileStream.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kapp {
namespace {

// 171 printable characters of our own; the terminating NUL is part of the key cycle, so every
// 172nd byte of a file is stored as it is. Archives written with one table can only be read
// with the same table: never change it.
constexpr char kScrambleTable[] =
    "n0AmxUBOjVgnkpqFLW_RmjDkrVQP7FFyjgVLxJpN7uHAD6uMrEjN0yFy3"
    "jkV8do.zUzCaIwPhPuuJ0sMdXlMp-pMJrS4C4s_exabStEQO0tyNluwkB"
    "fvHsw1UeTRci5c3ScCz61M3.pDuQnhGd8xzjWSwWaYhMg-.N7-bQKRud7";
static_assert(sizeof(kScrambleTable) == kScrambleCycle, "171 characters and the NUL");

// The key repeated over a whole run of bytes, from every starting position: one long XOR loop
// per run instead of one per pass through the table.
constexpr size_t kKeyRun = 64 * 1024;
struct ExpandedKey {
    uint8_t bytes[kScrambleCycle + kKeyRun];
};
constexpr ExpandedKey Expand() {
    ExpandedKey key{};
    for (size_t i = 0; i < sizeof(key.bytes); ++i) key.bytes[i] = uint8_t(kScrambleTable[i % kScrambleCycle]);
    return key;
}
constexpr ExpandedKey kExpandedKey = Expand();

}  // namespace

size_t ScrambleCopy(const uint8_t* source, uint8_t* target, size_t length, uint64_t offset) {
    size_t position = size_t(offset % kScrambleCycle);
    while (length > 0) {
        const size_t run = std::min(length, kKeyRun);
        const uint8_t* key = kExpandedKey.bytes + position;
        // Sixteen or eight bytes at a time: the byte loop is not vectorised at our optimisation
        // level and would cost as much as the file system's own copy.
        size_t i = 0;
#if defined(__SSE2__)
        for (; i + 16 <= run; i += 16) {
            const __m128i word = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
            const __m128i mask = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), _mm_xor_si128(word, mask));
        }
#endif
        for (; i + 8 <= run; i += 8) {
            uint64_t word, mask;
            std::memcpy(&word, source + i, 8);
            std::memcpy(&mask, key + i, 8);
            word ^= mask;
            std::memcpy(target + i, &word, 8);
        }
        for (; i < run; ++i) target[i] = uint8_t(source[i] ^ key[i]);
        source += run;
        target += run;
        length -= run;
        position = (position + run) % kScrambleCycle;
    }
    return position;
}

size_t ScrambleBuffer(uint8_t* buffer, size_t length, uint64_t offset) {
    return ScrambleCopy(buffer, buffer, length, offset);
}

CCryptedInputFileStream::CCryptedInputFileStream(const wxString& fileName) : wxFileInputStream(fileName) {
    if (IsOk()) m_offset = wxFileInputStream::OnSysTell();
}

size_t CCryptedInputFileStream::OnSysRead(void* buffer, size_t size) {
    // The offset of the first byte the base is about to read from the file (TellI would
    // subtract bytes pushed back into the stream, which never came from this read).
    const size_t count = wxFileInputStream::OnSysRead(buffer, size);
    if (count > 0 && m_offset >= 0) ScrambleBuffer(static_cast<uint8_t*>(buffer), count, uint64_t(m_offset));
    m_offset += wxFileOffset(count);
    return count;
}

wxFileOffset CCryptedInputFileStream::OnSysSeek(wxFileOffset pos, wxSeekMode mode) {
    const wxFileOffset result = wxFileInputStream::OnSysSeek(pos, mode);
    m_offset = result != wxInvalidOffset ? result : wxFileInputStream::OnSysTell();
    return result;
}

wxFileOffset CCryptedInputFileStream::OnSysTell() const { return m_offset; }

CCryptedOutputFileStream::CCryptedOutputFileStream(const wxString& fileName) : wxFileOutputStream(fileName) {
    if (IsOk()) m_offset = wxFileOutputStream::OnSysTell();
}

size_t CCryptedOutputFileStream::OnSysWrite(const void* buffer, size_t size) {
    if (m_offset < 0) {
        m_lasterror = wxSTREAM_WRITE_ERROR;
        return 0;
    }
    const auto* source = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < size) {
        const size_t n = std::min(kChunk, size - done);
        ScrambleCopy(source + done, m_chunk, n, uint64_t(m_offset));
        const size_t written = WriteScrambled(m_chunk, n);
        done += written;
        m_offset += wxFileOffset(written);
        if (written < n) break;  // the base has set the error
    }
    return done;
}

wxFileOffset CCryptedOutputFileStream::OnSysSeek(wxFileOffset pos, wxSeekMode mode) {
    const wxFileOffset result = wxFileOutputStream::OnSysSeek(pos, mode);
    m_offset = result != wxInvalidOffset ? result : wxFileOutputStream::OnSysTell();
    return result;
}

wxFileOffset CCryptedOutputFileStream::OnSysTell() const { return m_offset; }

size_t CCryptedOutputFileStream::WriteScrambled(const void* buffer, size_t size) {
    return wxFileOutputStream::OnSysWrite(buffer, size);
}

}  // namespace kapp
