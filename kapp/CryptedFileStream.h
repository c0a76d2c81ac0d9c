// File streams that scramble every byte on its way to and from the disk, keyed by the byte's
// absolute file offset, so that the archives of the data store are no plain zip files on disk.
// The zip streams above them see ordinary bytes.
//
//     CCryptedOutputFileStream out(L"C:\\store\\data.db");
//     out.Write(data, size);           // lands on disk scrambled
//     CCryptedInputFileStream in(L"C:\\store\\data.db");
//     in.Read(buffer, size);           // comes back plain
#pragma once

#include <wx/wfstream.h>

#include <cstddef>
#include <cstdint>

namespace kapp {

// The key cycles over the table's 171 characters and its terminating NUL: 172 bytes.
inline constexpr size_t kScrambleCycle = 172;

// XORs each byte with the key byte of its file offset (scrambling and unscrambling are the same
// operation). Returns the key position after the last byte.
size_t ScrambleBuffer(uint8_t* buffer, size_t length, uint64_t offset);

// The same from source into target (which may be the same buffer).
size_t ScrambleCopy(const uint8_t* source, uint8_t* target, size_t length, uint64_t offset);

// Both streams keep the file offset themselves: asking the file for it before every read or
// write costs a system call each time, which under some systems costs more than the scrambling.
// The file is theirs alone; nothing else moves its position.
class CCryptedInputFileStream : public wxFileInputStream {
public:
    explicit CCryptedInputFileStream(const wxString& fileName);

protected:
    size_t OnSysRead(void* buffer, size_t size) override;
    wxFileOffset OnSysSeek(wxFileOffset pos, wxSeekMode mode) override;
    wxFileOffset OnSysTell() const override;

private:
    wxFileOffset m_offset = 0;  // of the next byte the file gives
};

class CCryptedOutputFileStream : public wxFileOutputStream {
public:
    explicit CCryptedOutputFileStream(const wxString& fileName);

protected:
    // The caller's buffer is const: the bytes go through a small buffer of the stream's own.
    size_t OnSysWrite(const void* buffer, size_t size) override;
    wxFileOffset OnSysSeek(wxFileOffset pos, wxSeekMode mode) override;
    wxFileOffset OnSysTell() const override;
    // Writes the scrambled bytes; tests put a failing write in here.
    virtual size_t WriteScrambled(const void* buffer, size_t size);

private:
    static constexpr size_t kChunk = 64 * 1024;
    wxFileOffset m_offset = 0;  // where the next byte lands
    uint8_t m_chunk[kChunk];
};

}  // namespace kapp
