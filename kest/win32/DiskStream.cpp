#include "kest/win32/DiskStream.h"

#include "kest/Error.h"
#include "kest/ServiceSlot.h"
#include "kest/StreamManager.h"
#include "kest/win32/Paths.h"

namespace kest {

P<IStreamManager>& GetStreamManager() {
    static TServiceSlot<IStreamManager> slot;
    return slot.Get([]() -> P<IStreamManager> {
        P<CStreamManager> manager = New<CStreamManager>();
        manager->RegisterFactory(New<win32::CDiskStreamFactory>().Get());
        return manager;
    });
}

}  // namespace kest

namespace kest::win32 {

namespace {

bool Serves(IURI* uri) {
    if (!uri || !uri->IsLocal()) return false;
    String path = uri->GetPath();
    return !path.IsNull() && !path.IsEmpty();
}

}  // namespace

CDiskIOStream::CDiskIOStream(IURI* uri, const StreamOptions& options)
    : m_uri(uri), m_mutex(GetMutexFactory().CreateMutex()) {
    if (!Serves(uri)) throw CFileNotFoundError(m_uri);
    if (options.sharing < kShareNone || options.sharing > kShareReadWrite || options.creation < kOpenExisting ||
        options.creation > kOpenAlways) {
        throw CInvalidArgError();
    }
    String path = UriToPath(uri, false).AsUTF16();
    DWORD access = ((options.access & kAccessRead) ? GENERIC_READ : 0) |
                   ((options.access & kAccessWrite) ? GENERIC_WRITE : 0);
    static const DWORD kSharing[] = {0, FILE_SHARE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE};
    static const DWORD kCreation[] = {OPEN_EXISTING, CREATE_ALWAYS, OPEN_ALWAYS};
    DWORD flags = FILE_ATTRIBUTE_NORMAL | (options.deleteOnClose ? FILE_FLAG_DELETE_ON_CLOSE : 0);
    m_file.reset(::CreateFileW(path.WideData(), access, kSharing[options.sharing], nullptr,
                               kCreation[options.creation - 1], flags, nullptr));
    if (!m_file) {
        DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) throw CFileNotFoundError(m_uri);
        RaiseSystemError(code, String::Null(), uri);
    }
}

void CDiskIOStream::CheckOpen() {
    if (!m_file) throw CStreamClosedError(m_uri);
}

void CDiskIOStream::RaiseLastError() { RaiseSystemError(::GetLastError(), String::Null(), m_uri.Get()); }

int64_t CDiskIOStream::Seek(int64_t offset, DWORD method) {
    LARGE_INTEGER distance, position;
    distance.QuadPart = offset;
    if (!::SetFilePointerEx(m_file.get(), distance, &position, method)) RaiseLastError();
    return position.QuadPart;
}

int64_t CDiskIOStream::SizeLocked() {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(m_file.get(), &size)) RaiseLastError();
    return size.QuadPart;
}

int64_t CDiskIOStream::GetPosition() {
    CMutexLock lock(m_mutex.Get());
    CheckOpen();
    return Seek(0, FILE_CURRENT);
}

int64_t CDiskIOStream::GetSize() {
    CMutexLock lock(m_mutex.Get());
    CheckOpen();
    return SizeLocked();
}

bool CDiskIOStream::IsClosed() {
    CMutexLock lock(m_mutex.Get());
    return !m_file;
}

void CDiskIOStream::Close() {
    CMutexLock lock(m_mutex.Get());
    m_file.reset();
}

int32_t CDiskIOStream::Read(void* buffer, int32_t size) {
    CMutexLock lock(m_mutex.Get());
    CheckOpen();
    if (size < 0 || (size > 0 && !buffer)) throw CInvalidArgError(String("size"), String("Read"), this);
    DWORD read = 0;
    if (size > 0 && !::ReadFile(m_file.get(), buffer, DWORD(size), &read, nullptr)) RaiseLastError();
    return int32_t(read);
}

void CDiskIOStream::ReadFully(void* buffer, int32_t size) {
    // One operation from start to end: another thread's read or seek cannot come between the
    // pieces of a short read.
    CMutexLock lock(m_mutex.Get());
    CheckOpen();
    if (size < 0 || (size > 0 && !buffer)) throw CInvalidArgError(String("size"), String("ReadFully"), this);
    int32_t done = 0;
    while (done < size) {
        DWORD read = 0;
        if (!::ReadFile(m_file.get(), static_cast<char*>(buffer) + done, DWORD(size - done), &read, nullptr)) {
            RaiseLastError();
        }
        if (read == 0) throw CEndOfStreamError(m_uri);
        done += int32_t(read);
    }
}

int64_t CDiskIOStream::Skip(int64_t count) {
    CMutexLock lock(m_mutex.Get());
    CheckOpen();
    int64_t position = Seek(0, FILE_CURRENT);
    int64_t left = SizeLocked() - position;
    if (count > left) count = left;
    if (count <= 0) return 0;
    Seek(count, FILE_CURRENT);
    return count;
}

bool CDiskIOStream::IsAtEnd() {
    CMutexLock lock(m_mutex.Get());
    CheckOpen();
    return Seek(0, FILE_CURRENT) >= SizeLocked();
}

void CDiskIOStream::Write(const void* buffer, int32_t size) {
    CMutexLock lock(m_mutex.Get());
    CheckOpen();
    if (size < 0 || (size > 0 && !buffer)) throw CInvalidArgError(String("size"), String("Write"), this);
    DWORD written = 0;
    if (size > 0 && !::WriteFile(m_file.get(), buffer, DWORD(size), &written, nullptr)) RaiseLastError();
    // A synchronous write to a file writes everything or fails; anything else is a full disk.
    if (written != DWORD(size)) RaiseSystemError(ERROR_HANDLE_DISK_FULL, String::Null(), m_uri.Get());
}

void CDiskIOStream::Flush() {
    CMutexLock lock(m_mutex.Get());
    CheckOpen();
    if (!::FlushFileBuffers(m_file.get())) RaiseLastError();
}

P<IStreamMarker> CDiskIOStream::CreateMarker() {
    CMutexLock lock(m_mutex.Get());
    CheckOpen();
    return New<CMarker>(this, Seek(0, FILE_CURRENT));
}

void CDiskIOStream::ResetTo(IStreamMarker* marker) {
    auto* mine = dynamic_cast<CMarker*>(marker);
    if (!mine || mine->m_stream != this) throw CInvalidArgError(String("marker"), String("ResetTo"), this);
    SeekTo(mine->m_position);
}

void CDiskIOStream::SeekTo(int64_t position) {
    CMutexLock lock(m_mutex.Get());
    CheckOpen();
    Seek(position, FILE_BEGIN);
}

void CDiskIOStream::SeekFromEnd(int64_t offset) {
    CMutexLock lock(m_mutex.Get());
    CheckOpen();
    Seek(offset, FILE_END);
}

void CDiskIOStream::SeekBy(int64_t offset) {
    CMutexLock lock(m_mutex.Get());
    CheckOpen();
    Seek(offset, FILE_CURRENT);
}

namespace {
StreamOptions WithAccess(StreamOptions options, int32_t access) {
    options.access = access;
    return options;
}
}  // namespace

CDiskInStream::CDiskInStream(IURI* uri, const StreamOptions& options)
    : m_io(New<CDiskIOStream>(uri, WithAccess(options, kAccessRead))) {}

CDiskOutStream::CDiskOutStream(IURI* uri, const StreamOptions& options)
    : m_io(New<CDiskIOStream>(uri, WithAccess(options, kAccessWrite))) {}

P<IStreamBase> CDiskStreamFactory::Open(StreamKind kind, IURI* uri, const StreamOptions& options) {
    if (!Serves(uri)) return nullptr;
    switch (kind) {
    case StreamKind::In:
    case StreamKind::ResetableIn:
    case StreamKind::SeekableIn:
        return New<CDiskInStream>(uri, options);
    case StreamKind::Out:
    case StreamKind::ResetableOut:
    case StreamKind::SeekableOut:
        return New<CDiskOutStream>(uri, options);
    default:
        return New<CDiskIOStream>(uri, options);
    }
}

}  // namespace kest::win32
