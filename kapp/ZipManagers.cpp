#include "kapp/ZipManagers.h"

#include "kapp/AppmanError.h"
#include "kapp/CryptedFileStream.h"
#include "kapp/Text.h"
#include "kest/Error.h"
#include "kest/StringFormat.h"
#include "kest/System.h"
#include "kest/win32/Handles.h"

#include <wx/datetime.h>
#include <wx/log.h>

#include <windows.h>

#include "kest/win32/UndefWin32Names.h"

namespace kapp {

using kest::IURI;
using kest::P;
using kest::String;

namespace {

constexpr size_t kCopyBuffer = 64 * 1024;
constexpr int kReplaceAttempts = 20;
constexpr DWORD kReplaceRetryMs = 100;

}  // namespace

// Between the zip stream and the file: the first write that falls short marks the archive as
// failed for good, and from then on bytes are accepted and dropped. The zip stream never meets
// a failing stream (its error paths are not to be trusted), and the save manager asks the latch
// whether everything arrived.
class CWriteLatch : public wxFilterOutputStream {
public:
    explicit CWriteLatch(wxOutputStream* stream) : wxFilterOutputStream(stream) {}
    bool Failed() const { return m_failed; }
    bool Close() override {
        if (!m_parent_o_stream->Close()) m_failed = true;
        return !m_failed;
    }
    bool IsSeekable() const override { return m_parent_o_stream->IsSeekable(); }

protected:
    size_t OnSysWrite(const void* buffer, size_t size) override {
        if (!m_failed && m_parent_o_stream->Write(buffer, size).LastWrite() != size) m_failed = true;
        return size;
    }
    wxFileOffset OnSysSeek(wxFileOffset pos, wxSeekMode mode) override {
        if (m_failed) return wxInvalidOffset;
        return m_parent_o_stream->SeekO(pos, mode);
    }
    wxFileOffset OnSysTell() const override { return m_parent_o_stream->TellO(); }

private:
    bool m_failed = false;
};

namespace {

[[noreturn]] void RaiseFileError(const char* key, const wchar_t* text, const std::wstring& path) {
    throw kest::CFileError(kest::LocalizedMessage(String(key), String(text), {{String("%FILE%"), FromStd(path)}}));
}

void RemoveQuietly(const std::wstring& path) noexcept {
    if (path.empty()) return;
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
}

void DeleteWorkFolder(P<IURI>& folder) noexcept {
    if (!folder) return;
    try {
        auto& system = kest::GetSystem();
        if (system->PathExists(folder.Get())) system->DeleteFolderTree(folder.Get());
    } catch (...) {
        // A working folder that cannot go stays behind in the temporary folder.
    }
    folder = nullptr;
}

}  // namespace

bool IsHeldByAnother(uint32_t code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED || code == ERROR_LOCK_VIOLATION;
}

void RetryWhileHeld(const std::function<bool()>& step) {
    DWORD code = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
        if (step()) return;
        code = ::GetLastError();
        // A virus scanner, indexer or backup program may hold a file open for a moment.
        if (!IsHeldByAnother(code)) break;
        ::Sleep(kReplaceRetryMs);
    }
    kest::RaiseSystemError(code);
}

void ReplaceFileDurably(const std::wstring& source, const std::wstring& target) {
    // Its bytes reach the disk before its name replaces the old archive: a crash then leaves
    // either the old archive or the complete new one. Whoever else has the file open (a scanner
    // looking at the new file) may keep it open: flushing needs no exclusive access.
    RetryWhileHeld([&] {
        kest::win32::UniqueFile file(::CreateFileW(source.c_str(), GENERIC_WRITE,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file && ::FlushFileBuffers(file.get());
    });
    RetryWhileHeld([&] {
        return ::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    });
}

// ------------------------------------------------------------------------------- save manager

CZipSaveManager::CZipSaveManager(IURI* archive, ArchiveStreamOpener opener) {
    auto& system = kest::GetSystem();
    m_archivePath = PathOf(archive);
    const size_t slash = m_archivePath.find_last_of(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? std::wstring(L".\\") : m_archivePath.substr(0, slash + 1);
    const std::wstring name = slash == std::wstring::npos ? m_archivePath : m_archivePath.substr(slash + 1);
    P<IURI> folderUri = UriOf(folder);
    if (!system->PathExists(folderUri.Get())) system->CreateFolder(folderUri.Get(), false);
    // The new archive is written beside the old one, which stays until the new one is complete.
    m_partialPath = PathOf(system->CreateUniqueFile(folderUri.Get(), FromStd(name + L"."), String(".tmp")).Get());

    wxLogNull quiet;
    std::unique_ptr<wxOutputStream> stream =
        opener ? opener(wxString(m_partialPath)) : std::make_unique<CCryptedOutputFileStream>(wxString(m_partialPath));
    if (!stream || !stream->IsOk()) {
        RemoveQuietly(m_partialPath);
        RaiseFileError("kapp.CZipSaveManager.CreateFailed", L"The data store '%FILE%' could not be written.",
                       m_archivePath);
    }
    auto latch = std::make_unique<CWriteLatch>(stream.release());
    m_latch = latch.get();
    // UTF-8 names (flagged as such in the archive) keep every file name, also those that the
    // local code page cannot spell; readers honour the flag.
    m_zip = std::make_unique<wxZipOutputStream>(latch.release(), -1, wxConvUTF8);
}

CZipSaveManager::~CZipSaveManager() {
    if (!m_committed) Discard();
    DeleteWorkFolder(m_workFolder);
}

void CZipSaveManager::Discard() noexcept {
    if (m_zip) {
        wxLogNull quiet;
        m_zip.reset();  // closes the file; what it wrote is no archive anyone will read
        m_latch = nullptr;
    }
    RemoveQuietly(m_partialPath);
    m_partialPath.clear();
}

void CZipSaveManager::CheckWritten() {
    if (!m_zip || !m_latch || m_latch->Failed() || !m_zip->IsOk()) RaiseWriteError();
}

void CZipSaveManager::RaiseWriteError() {
    Discard();
    RaiseFileError("kapp.CZipSaveManager.WriteFailed", L"The data store '%FILE%' could not be written.",
                   m_archivePath);
}

bool CZipSaveManager::AddFile(IURI* file, bool fullPath) {
    if (!m_zip || !file) return false;
    std::wstring name = WithoutLongPrefix(PathOf(file));
    if (!fullPath) {
        const size_t slash = name.find_last_of(L'\\');
        if (slash != std::wstring::npos) name = name.substr(slash + 1);
    }
    return AddFileAs(file, FromStd(name));
}

bool CZipSaveManager::AddFileAs(IURI* file, const String& entryName) {
    if (!m_zip || !file) return false;
    if (!kest::GetSystem()->FileExists(file)) return false;
    wxLogNull quiet;
    wxFileInputStream input{wxString(PathOf(file))};
    if (!input.IsOk()) return false;
    if (!m_zip->PutNextEntry(InternalEntryName(entryName), wxDateTime::Now(), wxInvalidOffset)) RaiseWriteError();
    auto buffer = std::make_unique<char[]>(kCopyBuffer);
    for (;;) {
        const size_t n = input.Read(buffer.get(), kCopyBuffer).LastRead();
        if (n == 0) break;
        if (m_zip->Write(buffer.get(), n).LastWrite() != n) RaiseWriteError();
    }
    // A file that could not be read to its end would be stored cut short.
    if (input.GetLastError() != wxSTREAM_EOF) RaiseWriteError();
    if (!m_zip->CloseEntry()) RaiseWriteError();
    CheckWritten();
    return true;
}

P<IURI> CZipSaveManager::CreateWorkFile(const String& prefix, const String& suffix) {
    if (!m_workFolder) m_workFolder = kest::GetSystem()->CreateUniqueTempFolder(String("ovport_zip_"), String("_temp"));
    ++m_counter;
    const String folder = FromStd(WithTrailingBackslash(PathOf(m_workFolder.Get())));
    return UriOf(ToStd(kest::FormatString(String("%s%s%d%s"), folder, prefix, m_counter, suffix)));
}

String CZipSaveManager::MakeEntryName(const String& prefix, const String& suffix) {
    ++m_counter;
    return kest::FormatString(String("%s%d%s"), prefix, m_counter, suffix);
}

bool CZipSaveManager::AddXmlDocument(const wxXmlDocument& document, const String& entryName) {
    if (!m_zip) return false;
    wxLogNull quiet;
    if (!m_zip->PutNextEntry(InternalEntryName(entryName), wxDateTime::Now(), wxInvalidOffset)) RaiseWriteError();
    if (!document.Save(*m_zip, 1) || !m_zip->CloseEntry()) RaiseWriteError();
    CheckWritten();
    return true;
}

void CZipSaveManager::Commit() {
    if (m_committed) return;
    if (!m_zip) RaiseWriteError();
    {
        wxLogNull quiet;
        // Close writes the directory; the file stream reports what the disk said.
        // Close leaves the stream at its end: its result is the whole answer.
        if (!m_zip->Close() || m_latch->Failed()) RaiseWriteError();
        m_zip.reset();
        m_latch = nullptr;
    }
    try {
        ReplaceFileDurably(m_partialPath, m_archivePath);
    } catch (...) {
        RemoveQuietly(m_partialPath);
        m_partialPath.clear();
        throw;
    }
    m_partialPath.clear();
    m_committed = true;
}

// ------------------------------------------------------------------------------- load manager

CZipLoadManager::CZipLoadManager(IURI* archive) {
    auto& system = kest::GetSystem();
    if (!archive || !system->FileExists(archive)) throw CAppmanError(17);
    // An archive that cannot be opened (held by another program, no rights) is not a damaged
    // one: that is an error, where a damaged archive merely gives no entries.
    const std::wstring path = PathOf(archive);
    RetryWhileHeld([&] {
        kest::win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return bool(file);
    });
    wxLogNull quiet;
    auto stream = std::make_unique<CCryptedInputFileStream>(wxString(path));
    // Held by another program since the look above: still no damaged archive.
    if (!stream->IsOk())
        RaiseFileError("kapp.CZipLoadManager.OpenFailed", L"The archive '%FILE%' could not be opened.", path);
    m_reader = std::make_unique<CZipReader>(std::move(stream));
}

CZipLoadManager::~CZipLoadManager() {
    m_reader.reset();
    DeleteWorkFolder(m_workFolder);
}

bool CZipLoadManager::IsReadable() const { return m_reader->IsReadable(); }

size_t CZipLoadManager::EntryCount() const { return m_reader->EntryCount(); }

bool CZipLoadManager::HasEntry(const String& entryName) const { return m_reader->Find(entryName) != nullptr; }

std::vector<CZipLoadManager::EntryInfo> CZipLoadManager::Entries() const { return m_reader->Entries(); }

P<IURI> CZipLoadManager::GetWorkFolder() {
    if (!m_workFolder) m_workFolder = kest::GetSystem()->CreateUniqueTempFolder(String("ovport_unzip_"), String("_temp"));
    return m_workFolder;
}

bool CZipLoadManager::ExtractFile(const String& entryName, IURI* target) {
    if (!target) return false;
    return ExtractFileTo(entryName, PathOf(target));
}

bool CZipLoadManager::ExtractFileTo(const String& entryName, const std::wstring& path) {
    if (path.empty()) return false;
    wxZipEntry* entry = m_reader->Find(entryName);
    if (!entry || entry->IsDir()) return false;

    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return false;
    auto& system = kest::GetSystem();
    const std::wstring folder = path.substr(0, slash + 1);
    P<IURI> parent = UriOf(folder);
    if (path.compare(0, slash, m_lastFolder) != 0) {
        // A folder's files come one after another: its folder is checked once.
        if (!system->PathExists(parent.Get())) system->CreateFolder(parent.Get(), false);
        m_lastFolder = path.substr(0, slash);
    }
    // The entry is written beside the target first: whatever is there stays until its
    // replacement is complete.
    const std::wstring name = path.substr(slash + 1);
    const std::wstring partial = PathOf(system->CreateUniqueFile(parent.Get(), FromStd(name + L"."), String(".part")).Get());

    bool ok = false;
    {
        wxLogNull quiet;
        wxFileOutputStream output{wxString(partial)};
        ok = output.IsOk() && m_reader->CopyEntry(*entry, output) && output.Close();
    }
    if (!ok) {
        RemoveQuietly(partial);
        return false;
    }
    try {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        RetryWhileHeld([&] {
            return ::MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
        });
    } catch (...) {
        RemoveQuietly(partial);
        throw;
    }
    return true;
}

std::unique_ptr<wxXmlDocument> CZipLoadManager::LoadXmlDocument(const String& entryName) {
    return m_reader->LoadXmlDocument(entryName);
}

}  // namespace kapp
