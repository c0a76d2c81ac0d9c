// brvstore: looks inside a portable installation's data store (or the initial archive) without
// the program, through the program's own archive and scrambling code.
//
//     brvstore list <store>                            entries with their sizes
//     brvstore describe <store>                        the description document, as stored
//     brvstore extract <store> <entry|--all> <folder>  entries below the folder
//     brvstore unscramble <store> <out.zip>            the store as a plain zip file
//     brvstore build-init <description.xml> <folder> <out.zip>
//
// Exit codes: 0 done, 1 the file is missing, foreign, damaged or cannot be written, 2 usage.
#include "kapp/CryptedFileStream.h"
#include "kapp/Description.h"
#include "kapp/SafePaths.h"
#include "kapp/Text.h"
#include "kapp/ZipManagers.h"
#include "kest/win32/Handles.h"

#include <wx/init.h>
#include <wx/log.h>
#include <wx/wfstream.h>
#include <wx/xml/xml.h>

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "kest/win32/UndefWin32Names.h"

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr size_t kCopyBuffer = 64 * 1024;

const char kUsageText[] =
    "usage: brvstore list <store>\n"
    "       brvstore describe <store>\n"
    "       brvstore extract <store> <entry|--all> <folder>\n"
    "       brvstore unscramble <store> <out.zip>\n"
    "       brvstore build-init <description.xml> <folder> <out.zip>\n";

void Write(FILE* stream, const wxString& text) {
    const wxScopedCharBuffer utf8 = text.utf8_str();
    std::fwrite(utf8.data(), 1, utf8.length(), stream);
}

int Fail(const std::wstring& path, const wxString& message) {
    Write(stderr, wxString("brvstore: ") + wxString(path) + ": " + message + "\n");
    return kFailed;
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::wstring();
    std::wstring full(needed, L'\0');
    const DWORD n = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (n == 0 || n >= needed) return std::wstring();
    full.resize(n);
    return full;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Makes the folder and those above it that are missing.
void MakeFolders(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == L'\\') ::CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
}

// A store opened for reading, or the reason why it cannot be: the first bytes tell a plain zip
// and a foreign file apart from a damaged store before the archive code reads its directory.
class COpenedStore {
public:
    explicit COpenedStore(const std::wstring& path) : m_path(FullPath(path)) {
        if (m_path.empty() || !IsFile(m_path)) {
            m_error = "no such file";
            return;
        }
        wxLogNull quiet;
        char head[4] = {};
        size_t got = 0;
        {
            kapp::CCryptedInputFileStream in{wxString(m_path)};
            if (!in.IsOk()) {
                m_error = "cannot be opened";
                return;
            }
            got = in.Read(head, sizeof head).LastRead();
        }
        if (got < sizeof head) {
            m_error = "is empty or cut short: not a data store";
            return;
        }
        const std::string plain(head, sizeof head);
        if (plain != std::string("PK\3\4", 4) && plain != std::string("PK\5\6", 4)) {
            char raw[4] = {};
            wxFileInputStream file{wxString(m_path)};
            if (file.IsOk() && file.Read(raw, sizeof raw).LastRead() == sizeof raw && raw[0] == 'P' && raw[1] == 'K')
                m_error = "is a plain zip file, not a scrambled data store";
            else
                m_error = "is not a data store (foreign file or other scrambling)";
            return;
        }
        m_load = std::make_unique<kapp::CZipLoadManager>(kapp::UriOf(m_path).Get());
        if (!m_load->IsReadable()) {
            m_error = "is damaged: its directory cannot be read (the file may be cut short)";
            m_load.reset();
        }
    }

    const std::wstring& Path() const { return m_path; }
    kapp::CZipLoadManager* Load() const { return m_load.get(); }
    int Report(const std::wstring& given) const { return Fail(given, m_error); }

private:
    std::wstring m_path;
    std::unique_ptr<kapp::CZipLoadManager> m_load;
    wxString m_error;
};

int List(const std::wstring& storePath) {
    COpenedStore store(storePath);
    if (!store.Load()) return store.Report(storePath);
    for (const auto& entry : store.Load()->Entries()) {
        if (entry.isDir)
            Write(stdout, wxString::Format("%12s  %s\n", "<dir>", entry.name));
        else
            Write(stdout, wxString::Format("%12lld  %s\n", static_cast<long long>(entry.size), entry.name));
    }
    return kDone;
}

// Copies a file's bytes to stdout unchanged.
bool CopyToStdout(const std::wstring& path) {
    wxFileInputStream in{wxString(path)};
    if (!in.IsOk()) return false;
    auto buffer = std::make_unique<char[]>(kCopyBuffer);
    for (;;) {
        const size_t n = in.Read(buffer.get(), kCopyBuffer).LastRead();
        if (n == 0) break;
        if (std::fwrite(buffer.get(), 1, n, stdout) != n) return false;
    }
    return in.GetLastError() == wxSTREAM_EOF && std::fflush(stdout) == 0;
}

int Describe(const std::wstring& storePath) {
    COpenedStore store(storePath);
    if (!store.Load()) return store.Report(storePath);
    kapp::CZipLoadManager& load = *store.Load();
    const kest::String entry(kapp::kDescriptionEntry);
    if (!load.HasEntry(entry)) return Fail(storePath, "holds no description document");
    // The stored bytes, not a re-written document: support sees what the program will read.
    const std::wstring copy = kapp::WithTrailingBackslash(kapp::PathOf(load.GetWorkFolder().Get())) + L"description.xml";
    if (!load.ExtractFileTo(entry, copy)) return Fail(storePath, "its description document is damaged");
    if (!CopyToStdout(copy)) return Fail(storePath, "the description document could not be printed");
    if (!load.LoadXmlDocument(entry)) return Fail(storePath, "its description document is no well-formed XML");
    return kDone;
}

// Where an entry lands below the folder; empty when its name would leave the folder or is no
// name Windows can give a file.
std::wstring TargetOf(const std::wstring& folder, const wxString& entryName) {
    const std::wstring target = kapp::NormalisedStorePath(folder + kapp::Backslashes(entryName.ToStdWstring()));
    if (target.empty() || !kapp::IsInsideFolder(target, folder)) return std::wstring();
    return target;
}

int Extract(const std::wstring& storePath, const std::wstring& which, const std::wstring& folderGiven) {
    COpenedStore store(storePath);
    if (!store.Load()) return store.Report(storePath);
    kapp::CZipLoadManager& load = *store.Load();
    const std::wstring full = FullPath(folderGiven);
    if (full.empty()) return Fail(folderGiven, "is no usable folder name");
    const std::wstring folder = kapp::WithTrailingBackslash(full);

    std::vector<kapp::CZipLoadManager::EntryInfo> chosen;
    if (which == L"--all") {
        chosen = load.Entries();
    } else {
        const wxString name = kapp::InternalEntryName(kapp::FromStd(which));
        for (auto& entry : load.Entries())
            if (entry.name == name) chosen.push_back(entry);
        if (chosen.empty()) return Fail(storePath, wxString("has no entry '") + wxString(which) + "'");
    }
    if (!IsFolder(full) && !::CreateDirectoryW(full.c_str(), nullptr))
        return Fail(folderGiven, "cannot be created");

    int result = kDone;
    for (const auto& entry : chosen) {
        const std::wstring target = TargetOf(folder, entry.name);
        if (target.empty()) {
            result = Fail(storePath, "entry '" + entry.name + "' has a name that would leave the folder; skipped");
            continue;
        }
        if (entry.isDir) {
            MakeFolders(target);
            continue;
        }
        bool ok = false;
        try {
            ok = load.ExtractFileTo(kapp::FromWx(entry.name), target);
        } catch (const std::exception& e) {
            result = Fail(target, e.what());
            continue;
        }
        if (!ok)
            result = Fail(storePath, "entry '" + entry.name + "' is damaged or cannot be written; nothing kept of it");
        else
            Write(stdout, wxString(target) + "\n");
    }
    return result;
}

int Unscramble(const std::wstring& storePath, const std::wstring& outGiven) {
    // The whole directory must read first: a damaged store is reported, not copied on.
    COpenedStore store(storePath);
    if (!store.Load()) return store.Report(storePath);
    const std::wstring out = FullPath(outGiven);
    if (out.empty()) return Fail(outGiven, "is no usable file name");
    if (kapp::IsSameFile(out, store.Path())) return Fail(outGiven, "is the store itself");

    wxLogNull quiet;
    bool ok = false;
    {
        kapp::CCryptedInputFileStream in{wxString(store.Path())};
        wxFileOutputStream file{wxString(out)};
        if (!in.IsOk()) return Fail(storePath, "cannot be opened");
        if (!file.IsOk()) return Fail(outGiven, "cannot be written");
        auto buffer = std::make_unique<char[]>(kCopyBuffer);
        ok = true;
        for (;;) {
            const size_t n = in.Read(buffer.get(), kCopyBuffer).LastRead();
            if (n == 0) break;
            if (file.Write(buffer.get(), n).LastWrite() != n) {
                ok = false;
                break;
            }
        }
        ok = ok && in.GetLastError() == wxSTREAM_EOF && file.Close();
    }
    if (!ok) {
        ::DeleteFileW(out.c_str());
        return Fail(outGiven, "could not be written completely; removed");
    }
    return kDone;
}

// Every file below the folder, with its path relative to it; folders behind reparse points
// are not followed, so a link cannot lead the walk round in circles.
bool CollectFiles(const std::wstring& folder, const std::wstring& relative,
                  std::vector<std::pair<std::wstring, std::wstring>>& files) {
    WIN32_FIND_DATAW data;
    kest::win32::UniqueFind find(::FindFirstFileW((folder + relative + L"*").c_str(), &data));
    if (!find) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            if (!CollectFiles(folder, relative + name + L"\\", files)) return false;
        } else {
            files.emplace_back(folder + relative + name, relative + name);
        }
    } while (::FindNextFileW(find.get(), &data));
    return ::GetLastError() == ERROR_NO_MORE_FILES;
}

int BuildInit(const std::wstring& descriptionGiven, const std::wstring& folderGiven, const std::wstring& outGiven) {
    const std::wstring description = FullPath(descriptionGiven);
    if (description.empty() || !IsFile(description)) return Fail(descriptionGiven, "no such file");
    {
        wxLogNull quiet;
        wxFileInputStream in{wxString(description)};
        if (!in.IsOk()) return Fail(descriptionGiven, "cannot be opened");
        if (in.GetLength() > kapp::CZipLoadManager::kMaxDocumentSize)
            return Fail(descriptionGiven, "is larger than the program reads");
        wxXmlDocument document;
        if (!document.Load(in, wxString("UTF-8"), 0) || !document.GetRoot())
            return Fail(descriptionGiven, "is no well-formed XML document");
    }
    const std::wstring folderFull = FullPath(folderGiven);
    if (folderFull.empty() || !IsFolder(folderFull)) return Fail(folderGiven, "no such folder");
    const std::wstring out = FullPath(outGiven);
    if (out.empty()) return Fail(outGiven, "is no usable file name");

    // The list is complete before the archive's partial file appears, which may lie in the folder.
    std::vector<std::pair<std::wstring, std::wstring>> files;
    if (!CollectFiles(kapp::WithTrailingBackslash(folderFull), L"", files))
        return Fail(folderGiven, "cannot be read completely");
    const wxString descriptionName = kapp::InternalEntryName(kest::String(kapp::kDescriptionEntry));
    try {
        kapp::CZipSaveManager save(kapp::UriOf(out).Get());
        for (const auto& [path, relative] : files) {
            if (kapp::IsSameFile(path, out)) continue;
            if (kapp::InternalEntryName(kapp::FromStd(relative)) == descriptionName)
                return Fail(path, "has the description document's entry name; the description is given apart");
            if (!save.AddFileAs(kapp::UriOf(path).Get(), kapp::FromStd(relative))) return Fail(path, "cannot be read");
        }
        // The document as written, comments and all: what was checked above is what goes in.
        if (!save.AddFileAs(kapp::UriOf(description).Get(), kest::String(kapp::kDescriptionEntry)))
            return Fail(descriptionGiven, "cannot be read");
        save.Commit();
    } catch (const std::exception& e) {
        return Fail(outGiven, e.what());
    }
    return kDone;
}

int Run(const std::vector<std::wstring>& args) {
    if (args.empty()) return kUsage;
    const std::wstring& command = args[0];
    if (command == L"list" && args.size() == 2) return List(args[1]);
    if (command == L"describe" && args.size() == 2) return Describe(args[1]);
    if (command == L"extract" && args.size() == 4) return Extract(args[1], args[2], args[3]);
    if (command == L"unscramble" && args.size() == 3) return Unscramble(args[1], args[2]);
    if (command == L"build-init" && args.size() == 4) return BuildInit(args[1], args[2], args[3]);
    return kUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    wxInitializer wx;
    if (!wx.IsOk()) {
        std::fputs("brvstore: the runtime could not start\n", stderr);
        return kFailed;
    }
    // Documents and lists go out byte for byte, with no line ends added.
    if (_setmode(_fileno(stdout), _O_BINARY) == -1) return kFailed;
    std::vector<std::wstring> args(argv + 1, argv + argc);
    int result = kFailed;
    try {
        result = Run(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "brvstore: %s\n", e.what());
        return kFailed;
    } catch (...) {
        std::fputs("brvstore: unexpected failure\n", stderr);
        return kFailed;
    }
    if (result == kUsage) std::fputs(kUsageText, stderr);
    return result;
}
