// A chunk-library stream over a stream of the foundation library.
#pragma once

#include "chk/Stream.h"
#include "kest/Stream.h"

#include <string>

namespace chk {

class CKestFileStream : public CBaseStream {
public:
    // Opens the file for reading; a missing file raises the foundation's CFileNotFoundError.
    static CKestFileStream* Open(const std::wstring& path);
    // Works on a stream the caller opened, for example one that may also be written.
    static CKestFileStream* Over(kest::IStreamBase* stream);

    int64_t GetPosition() override;
    int64_t GetSize() override;
    int64_t Seek(int64_t position) override;
    void Write(const void* buffer, int64_t count) override;
    int64_t Read(void* buffer, int64_t count) override;
    // A file opened here is never cut: raises std::logic_error.
    void Truncate(int64_t size) override;
    // Appends zero bytes up to size; raises std::runtime_error when the file did not grow so far.
    void SetSize(int64_t size) override;

private:
    explicit CKestFileStream(kest::IStreamBase* stream);

    kest::P<kest::IStreamBase> m_stream;
};

}  // namespace chk
