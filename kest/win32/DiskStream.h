// Streams over local files. Every operation is one system call under the stream's own mutex,
// so one stream may be shared between threads; nothing is buffered.
#pragma once

#include "kest/Stream.h"
#include "kest/Thread.h"
#include "kest/win32/Handles.h"
#include "kest/win32/Win32.h"

namespace kest::win32 {

class CDiskIOStream : public CObject, public ISeekableIOStream {
public:
    // Raises CFileNotFoundError for a non-local URI, one without a path, or a missing file;
    // CInvalidArgError for a sharing or creation value out of range.
    CDiskIOStream(IURI* uri, const StreamOptions& options);

    int64_t GetPosition() override;
    int64_t GetSize() override;
    bool IsClosed() override;
    void Close() override;
    P<IURI> GetURI() override { return m_uri; }

    void ReadFully(void* buffer, int32_t size) override;
    int32_t Read(void* buffer, int32_t size) override;
    int64_t Skip(int64_t count) override;
    bool IsAtEnd() override;

    void Write(const void* buffer, int32_t size) override;
    void Flush() override;

    P<IStreamMarker> CreateMarker() override;
    void ResetTo(IStreamMarker* marker) override;
    void SeekTo(int64_t position) override;
    void SeekFromEnd(int64_t offset) override;
    void SeekBy(int64_t offset) override;

    class CMarker : public CObject, public IStreamMarker {
    public:
        CMarker(const CDiskIOStream* stream, int64_t position) : m_stream(stream), m_position(position) {}
        const CDiskIOStream* m_stream;  // identifies the stream only; never followed
        int64_t m_position;
    };

private:
    void CheckOpen();
    int64_t Seek(int64_t offset, DWORD method);
    int64_t SizeLocked();
    [[noreturn]] void RaiseLastError();

    P<IURI> m_uri;
    UniqueFile m_file;
    P<IMutex> m_mutex;
};

// A disk stream opened for reading only.
class CDiskInStream : public CObject, public ISeekableInStream {
public:
    CDiskInStream(IURI* uri, const StreamOptions& options);
    int64_t GetPosition() override { return m_io->GetPosition(); }
    int64_t GetSize() override { return m_io->GetSize(); }
    bool IsClosed() override { return m_io->IsClosed(); }
    void Close() override { m_io->Close(); }
    P<IURI> GetURI() override { return m_io->GetURI(); }
    void ReadFully(void* buffer, int32_t size) override { m_io->ReadFully(buffer, size); }
    int32_t Read(void* buffer, int32_t size) override { return m_io->Read(buffer, size); }
    int64_t Skip(int64_t count) override { return m_io->Skip(count); }
    bool IsAtEnd() override { return m_io->IsAtEnd(); }
    P<IStreamMarker> CreateMarker() override { return m_io->CreateMarker(); }
    void ResetTo(IStreamMarker* marker) override { m_io->ResetTo(marker); }
    void SeekTo(int64_t position) override { m_io->SeekTo(position); }
    void SeekFromEnd(int64_t offset) override { m_io->SeekFromEnd(offset); }
    void SeekBy(int64_t offset) override { m_io->SeekBy(offset); }

private:
    P<CDiskIOStream> m_io;
};

// A disk stream opened for writing only.
class CDiskOutStream : public CObject, public ISeekableOutStream {
public:
    CDiskOutStream(IURI* uri, const StreamOptions& options);
    int64_t GetPosition() override { return m_io->GetPosition(); }
    int64_t GetSize() override { return m_io->GetSize(); }
    bool IsClosed() override { return m_io->IsClosed(); }
    void Close() override { m_io->Close(); }
    P<IURI> GetURI() override { return m_io->GetURI(); }
    void Write(const void* buffer, int32_t size) override { m_io->Write(buffer, size); }
    void Flush() override { m_io->Flush(); }
    P<IStreamMarker> CreateMarker() override { return m_io->CreateMarker(); }
    void ResetTo(IStreamMarker* marker) override { m_io->ResetTo(marker); }
    void SeekTo(int64_t position) override { m_io->SeekTo(position); }
    void SeekFromEnd(int64_t offset) override { m_io->SeekFromEnd(offset); }
    void SeekBy(int64_t offset) override { m_io->SeekBy(offset); }

private:
    P<CDiskIOStream> m_io;
};

// Serves local URIs: no scheme, or "file".
class CDiskStreamFactory : public CStreamFactory {
protected:
    P<IStreamBase> Open(StreamKind kind, IURI* uri, const StreamOptions& options) override;
};

}  // namespace kest::win32
