#include "kapp/CryptedFileStream.h"

#include <algorithm>

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

}  // namespace

size_t ScrambleCopy(const uint8_t* source, uint8_t* target, size_t length, uint64_t offset) {
    size_t position = size_t(offset % kScrambleCycle);
    const auto* key = reinterpret_cast<const uint8_t*>(kScrambleTable);
    // Runs up to the end of the cycle, so the inner loop has no wrap test and vectorises.
    while (length > 0) {
        const size_t run = std::min(length, kScrambleCycle - position);
        const uint8_t* k = key + position;
        for (size_t i = 0; i < run; ++i) target[i] = uint8_t(source[i] ^ k[i]);
        source += run;
        target += run;
        length -= run;
        position += run;
        if (position == kScrambleCycle) position = 0;
    }
    return position;
}

size_t ScrambleBuffer(uint8_t* buffer, size_t length, uint64_t offset) {
    return ScrambleCopy(buffer, buffer, length, offset);
}

size_t CCryptedInputFileStream::OnSysRead(void* buffer, size_t size) {
    // The file's own position: the offset of the first byte the base is about to read (TellI
    // would subtract bytes pushed back into the stream, which never came from this read).
    const wxFileOffset offset = wxFileInputStream::OnSysTell();
    const size_t count = wxFileInputStream::OnSysRead(buffer, size);
    if (count > 0 && offset != wxInvalidOffset) ScrambleBuffer(static_cast<uint8_t*>(buffer), count, uint64_t(offset));
    return count;
}

size_t CCryptedOutputFileStream::OnSysWrite(const void* buffer, size_t size) {
    const wxFileOffset start = wxFileOutputStream::OnSysTell();
    if (start == wxInvalidOffset) {
        m_lasterror = wxSTREAM_WRITE_ERROR;
        return 0;
    }
    const auto* source = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < size) {
        const size_t n = std::min(kChunk, size - done);
        ScrambleCopy(source + done, m_chunk, n, uint64_t(start) + done);
        const size_t written = WriteScrambled(m_chunk, n);
        done += written;
        if (written < n) break;  // the base has set the error
    }
    return done;
}

size_t CCryptedOutputFileStream::WriteScrambled(const void* buffer, size_t size) {
    return wxFileOutputStream::OnSysWrite(buffer, size);
}

}  // namespace kapp
