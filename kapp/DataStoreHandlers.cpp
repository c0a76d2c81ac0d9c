#include "kapp/DataStoreHandlers.h"

#include "kapp/Description.h"
#include "kapp/SafePaths.h"
#include "kapp/Text.h"
#include "kest/Error.h"
#include "kest/System.h"
#include "kest/win32/Handles.h"
#include "kest/win32/RegistryValueStore.h"

#include <wx/dir.h>
#include <wx/log.h>

#include <cwctype>
#include <memory>
#include <vector>

#include "kest/win32/UndefWin32Names.h"

namespace kapp {

using kest::IURI;
using kest::P;
using kest::String;

namespace {

// A registry file larger than this is not read for checking, and so not applied.
constexpr uint64_t kMaxRegistryFile = 256ull * 1024 * 1024;

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() &&
           ::CompareStringOrdinal(text.c_str(), int(prefix.size()), prefix.c_str(), int(prefix.size()), TRUE) ==
               CSTR_EQUAL;
}

// The text of a registry file: UTF-16 with its byte order mark, or 8-bit text. Empty when it
// cannot be read.
bool ReadRegistryFile(const std::wstring& path, std::wstring& text) {
    kest::win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 || uint64_t(size.QuadPart) > kMaxRegistryFile)
        return false;
    std::vector<uint8_t> bytes(size_t(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        const DWORD want = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20));
        if (!::ReadFile(file.get(), bytes.data() + done, want, &n, nullptr) || n == 0) return false;
        done += n;
    }
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    } else {
        text.assign(bytes.begin(), bytes.end());  // key names of interest are ASCII
    }
    return true;
}

}  // namespace

// -------------------------------------------------------------------------------- helpers

std::wstring FindOnSearchPath(const std::wstring& fileName) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD n = ::SearchPathW(nullptr, fileName.c_str(), nullptr, DWORD(buffer.size()), buffer.data(), nullptr);
        if (n == 0) return std::wstring();
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(n + 1);
    }
    return std::wstring();
}

uint32_t RunAndWait(const std::wstring& programPath, const std::wstring& parameters, uint32_t seconds) {
    std::wstring program = programPath;
    if (!program.empty() && program.back() == L'\\') program.pop_back();
    std::wstring arguments = parameters;
    if (!arguments.empty() && arguments.front() != L' ') arguments.insert(arguments.begin(), L' ');
    // The program's own name is the first word of its command line: quoted when it holds a
    // blank, or the program would take the rest of its path for arguments.
    std::wstring commandLine = (program.find(L' ') != std::wstring::npos ? Quoted(program) : program) + arguments;
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr,
                          nullptr, &startup, &info)) {
        return ::GetLastError();
    }
    kest::win32::UniqueHandle process(info.hProcess);
    kest::win32::UniqueHandle thread(info.hThread);
    ::WaitForSingleObject(process.get(), DWORD(seconds) * 1000);
    return 0;
}

// ------------------------------------------------------------------------ registry section

CRegistrySectionHandler::CRegistrySectionHandler(const String& name, const String& rootName, const String& keyPath,
                                                 int32_t flags, const std::wstring& editor)
    : m_root(nullptr), m_rootName(rootName), m_keyPath(keyPath), m_name(name), m_flags(flags), m_editor(editor) {
    if (rootName.Find(kest::CodePoint('/')) >= 0 || rootName.Find(kest::CodePoint('\\')) >= 0) throw CAppmanError(13);
    try {
        m_root = kest::win32::CRegistryValueStore::BaseKeyFromName(rootName);
    } catch (...) {
        throw CAppmanError(13);
    }
    if (!m_root) throw CAppmanError(13);
}

std::wstring CRegistrySectionHandler::KeyName() const { return ToStd(m_rootName) + ToStd(m_keyPath); }

void CRegistrySectionHandler::Save(IDataSaveManager& save, wxXmlNode& parent, const wxString& section) {
    auto item = NewItem(section);
    SetAttribute(*item, wxS("type"), wxS("2"));
    SetAttribute(*item, wxS("name"), ToWx(m_name));

    auto& system = kest::GetSystem();
    P<IURI> workFile = save.CreateWorkFile(String("regsection."), String(".reg"));
    if (system->FileExists(workFile.Get())) system->DeleteFile(workFile.Get());
    const std::wstring workPath = PathOf(workFile.Get());

    m_exported = false;
    if (m_flags & SaveToStore) {
        const std::wstring editor = FindOnSearchPath(m_editor);
        // The Unicode export: the 8-bit one would lose every character outside the code page.
        if (!editor.empty()) RunAndWait(editor, L" /e " + Quoted(workPath) + L" " + Quoted(KeyName()), kRegistryEditorSeconds);
    }

    const size_t slash = workPath.find_last_of(L'\\');
    const std::wstring plainName = slash == std::wstring::npos ? workPath : workPath.substr(slash + 1);
    SetAttribute(*item, wxS("destination"), wxString(plainName));
    if (system->FileExists(workFile.Get())) m_exported = save.AddFile(workFile.Get(), false);
    m_keepOnHost = (m_flags & SaveToStore) && !m_exported;
    system->DeleteFile(workFile.Get());
    CChildAppender(parent).Append(std::move(item));
}

// The key leaves the host only once its export is safely in the new archive: removing it right
// after the export would lose it when the archive then cannot be written.
void CRegistrySectionHandler::Saved() {
    if ((m_flags & RemoveFromHost) && m_exported) RemoveKey();
    m_exported = false;
}

bool CRegistrySectionHandler::IsFileConfined(const std::wstring& path) const {
    std::wstring text;
    if (!ReadRegistryFile(path, text)) return false;
    const std::wstring key = KeyName();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        size_t first = 0;
        while (first < line.size() && (line[first] == L' ' || line[first] == L'\t')) ++first;
        if (first >= line.size() || line[first] != L'[') continue;
        // A key line: [name] writes the key, [-name] deletes it.
        size_t nameStart = first + 1;
        if (nameStart < line.size() && line[nameStart] == L'-') ++nameStart;
        const size_t close = line.find_last_of(L']');
        if (close == std::wstring::npos || close < nameStart) return false;
        const std::wstring name = line.substr(nameStart, close - nameStart);
        const bool inside = (name.size() == key.size() && StartsWithNoCase(name, key)) ||
                            (name.size() > key.size() && StartsWithNoCase(name, key + L"\\"));
        if (!inside || name.find(L"\\\\") != std::wstring::npos) return false;
    }
    return true;
}

void CRegistrySectionHandler::Load(IDataLoadManager& load, const wxXmlNode& item, const wxString&) {
    if (!(m_flags & RestoreFromStore) || ReadItemType(item) != kRegistryItem) return;
    P<IURI> workFolder = load.GetWorkFolder();
    const std::wstring destination = ReadText(item, wxS("destination")).ToStdWstring();
    if (destination.empty()) return;
    // The entry lands in our working folder: a name with a path in it would lead elsewhere.
    if (!IsPlainFileName(destination)) return;
    const std::wstring target = WithTrailingBackslash(Backslashes(PathOf(workFolder.Get()))) + destination;
    P<IURI> targetUri = UriOf(target);
    if (!load.ExtractFile(FromStd(destination), targetUri.Get())) return;
    if (!IsFileConfined(target)) return;
    const std::wstring editor = FindOnSearchPath(m_editor);
    if (!editor.empty()) RunAndWait(editor, L" /s " + Quoted(target), kRegistryEditorSeconds);
}

void CRegistrySectionHandler::Clear() {
    // A key whose export failed exists nowhere else: the clearing after a first run keeps it.
    if ((m_flags & RemoveFromHost) && !m_keepOnHost) RemoveKey();
    m_keepOnHost = false;
}

void CRegistrySectionHandler::RemoveKey() noexcept {
    try {
        const int32_t last = m_keyPath.FindLast(kest::CodePoint('\\'));
        // A key right below the root (\Software) is never removed.
        if (last <= 0) return;
        const String parent = m_keyPath.Substring(1, last);
        const String child = m_keyPath.Substring(last + 1);
        if (parent.IsEmpty() || child.IsEmpty()) return;
        kest::win32::CRegistryValueStore store(m_root, parent, kest::kValueStoreRead | kest::kValueStoreCreate);
        store.DeleteSubStore(child);
    } catch (...) {
        // Clearing never fails: a key that is not there is already cleared.
    }
}

// --------------------------------------------------------------------------------- folder

CFolderHandler::CFolderHandler(const String& name, IURI* folder, int32_t flags)
    : m_folder(folder), m_name(name), m_flags(flags) {}

void CFolderHandler::Save(IDataSaveManager& save, wxXmlNode& parent, const wxString& section) {
    auto& system = kest::GetSystem();
    const bool exists = system->PathExists(m_folder.Get());
    auto item = NewItem(section);
    SetAttribute(*item, wxS("type"), wxS("1"));
    SetAttribute(*item, wxS("name"), ToWx(m_name));
    SetAttribute(*item, wxS("available"), BoolText(exists));
    if (exists && (m_flags & SaveToStore)) {
        wxArrayString files;
        {
            wxLogNull quiet;
            wxDir::GetAllFiles(wxString(PathOf(m_folder.Get())), &files, wxString(),
                               wxDIR_FILES | wxDIR_DIRS | wxDIR_HIDDEN);
        }
        CChildAppender children(*item);
        for (const wxString& file : files) {
            P<IURI> uri = UriOf(file.ToStdWstring());
            save.AddFile(uri.Get(), true);
            auto child = NewItem(section);
            SetAttribute(*child, wxS("destination"), file);
            SetAttribute(*child, wxS("type"), wxS("0"));
            SetAttribute(*child, wxS("available"), wxS("true"));
            children.Append(std::move(child));
        }
    }
    CChildAppender(parent).Append(std::move(item));
}

void CFolderHandler::Load(IDataLoadManager& load, const wxXmlNode& item, const wxString& section) {
    if (ReadItemType(item) != kFolderItem || !(m_flags & RestoreFromStore)) return;
    const std::wstring folder = PathOf(m_folder.Get());
    for (const wxXmlNode* child = item.GetChildren(); child; child = child->GetNext()) {
        if (child->GetType() != wxXML_ELEMENT_NODE || child->GetName() != section) continue;
        if (ReadItemType(*child) != kFileItem) continue;
        const std::wstring destination = ReadText(*child, wxS("destination")).ToStdWstring();
        if (destination.empty()) continue;
        // Only into the registered folder, whatever the store says.
        if (!IsInsideFolder(destination, folder)) continue;
        try {
            load.ExtractFileTo(FromStd(destination), NormalisedStorePath(destination));
        } catch (const kest::CError&) {
            // A file that cannot be put back (in use, no rights) is skipped.
        }
    }
}

void CFolderHandler::Clear() {
    if (!(m_flags & RemoveFromHost)) return;
    try {
        auto& system = kest::GetSystem();
        if (system->PathExists(m_folder.Get())) system->DeleteFolderTree(m_folder.Get());
    } catch (...) {
        // Whatever could not be removed stays; the restore then writes over it.
    }
}

// ----------------------------------------------------------------------------------- file

CFileHandler::CFileHandler(const String& name, IURI* file, int32_t flags) : m_file(file), m_flags(flags), m_name(name) {}

void CFileHandler::Save(IDataSaveManager& save, wxXmlNode& parent, const wxString& section) {
    const bool exists = kest::GetSystem()->FileExists(m_file.Get());
    auto item = NewItem(section);
    SetAttribute(*item, wxS("type"), wxS("0"));
    SetAttribute(*item, wxS("name"), ToWx(m_name));
    SetAttribute(*item, wxS("available"), BoolText(exists));
    if (exists && (m_flags & SaveToStore)) {
        save.AddFile(m_file.Get(), true);
        SetAttribute(*item, wxS("destination"), wxString(WithoutLongPrefix(PathOf(m_file.Get()))));
    }
    CChildAppender(parent).Append(std::move(item));
}

void CFileHandler::Load(IDataLoadManager& load, const wxXmlNode& item, const wxString&) {
    if (ReadItemType(item) != kFileItem || !(m_flags & RestoreFromStore) || !ReadAvailable(item)) return;
    const std::wstring destination = ReadText(item, wxS("destination")).ToStdWstring();
    if (destination.empty()) return;
    // Only to the registered file, whatever the store says.
    if (!IsSameFile(destination, PathOf(m_file.Get()))) return;
    try {
        load.ExtractFile(FromStd(destination), m_file.Get());
    } catch (const kest::CError&) {
        // A file that cannot be put back is skipped.
    }
}

void CFileHandler::Clear() {
    if (!(m_flags & RemoveFromHost)) return;
    try {
        auto& system = kest::GetSystem();
        if (system->FileExists(m_file.Get())) system->DeleteFile(m_file.Get());
    } catch (...) {
        // A file that cannot be removed stays; the restore then writes over it.
    }
}

}  // namespace kapp
