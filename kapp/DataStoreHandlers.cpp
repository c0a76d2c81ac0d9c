#include "kapp/DataStoreHandlers.h"

#include "kapp/Description.h"
#include "kapp/RegistryFileCheck.h"
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

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

bool IsKeptOnHost(const wxXmlNode& item) { return item.GetAttribute(kKeptOnHostAttribute, wxString()) == wxS("true"); }

// Reads the open file through the check, in pieces: a store's registry file may be of any size.
bool IsOpenFileConfined(HANDLE file, const std::wstring& key) noexcept {
    try {
        CRegistryFileCheck check(key);
        std::vector<uint8_t> buffer(64 * 1024);
        for (;;) {
            DWORD n = 0;
            if (!::ReadFile(file, buffer.data(), DWORD(buffer.size()), &n, nullptr)) return false;
            if (n == 0) break;
            check.Feed(buffer.data(), n);
        }
        return check.Finish();
    } catch (...) {
        return false;
    }
}

// Whether an existing part of path below folder (the path itself included) is a junction,
// symbolic link or other reparse point: writing there would land wherever it points. Both are
// normalised paths, path inside folder.
bool LeadsThroughReparsePoint(const std::wstring& folder, const std::wstring& path) {
    size_t at = WithTrailingBackslash(folder).size();
    while (at <= path.size()) {
        size_t end = path.find(L'\\', at);
        if (end == std::wstring::npos) end = path.size();
        const DWORD attributes = ::GetFileAttributesW(path.substr(0, end).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return false;  // nothing there yet, nor below
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
        at = end + 1;
    }
    return false;
}

// The file opened for reading while nobody may change, replace or remove it: what is checked
// is what the registry editor then reads.
kest::win32::UniqueFile OpenUnchangeable(const std::wstring& path) {
    return kest::win32::UniqueFile(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
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

RunResult RunProgram(const std::wstring& programPath, const std::wstring& parameters, uint32_t seconds) {
    RunResult result;
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
        result.startError = ::GetLastError();
        if (result.startError == 0) result.startError = ERROR_GEN_FAILURE;
        return result;
    }
    kest::win32::UniqueHandle process(info.hProcess);
    kest::win32::UniqueHandle thread(info.hThread);
    if (::WaitForSingleObject(process.get(), DWORD(seconds) * 1000) != WAIT_OBJECT_0) {
        // Half an export or import is no result; and a late one would touch a file or key that
        // the caller already counts as done with.
        ::TerminateProcess(process.get(), ERROR_TIMEOUT);
        ::WaitForSingleObject(process.get(), 5000);
        return result;
    }
    DWORD code = 0;
    if (!::GetExitCodeProcess(process.get(), &code)) return result;
    result.finished = true;
    result.exitCode = code;
    return result;
}

uint32_t RunAndWait(const std::wstring& programPath, const std::wstring& parameters, uint32_t seconds) {
    return RunProgram(programPath, parameters, seconds).startError;
}

// ------------------------------------------------------------------------------ carrying over

bool CStoreHandlerBase::CarryEntry(IDataSaveManager& save, const wxString& previousEntry, const String& entryName) {
    if (!m_previousLoad || previousEntry.empty()) return false;
    P<IURI> work = save.CreateWorkFile(String("carried."), String(".bin"));
    const std::wstring workPath = PathOf(work.Get());
    struct Remove {
        const std::wstring& path;
        ~Remove() { ::DeleteFileW(path.c_str()); }
    } remove{workPath};
    try {
        if (!m_previousLoad->ExtractFile(FromWx(previousEntry), work.Get())) return false;
    } catch (const kest::CError&) {
        return false;
    }
    return save.AddFileAs(work.Get(), entryName);
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

bool CRegistrySectionHandler::KeyExists() const {
    const std::wstring path = ToStd(m_keyPath).substr(1);
    kest::win32::UniqueRegKey key;
    return ::RegOpenKeyExW(m_root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void CRegistrySectionHandler::Save(IDataSaveManager& save, wxXmlNode& parent, const wxString& section) {
    auto item = NewItem(section);
    SetAttribute(*item, wxS("type"), wxS("2"));
    SetAttribute(*item, wxS("name"), ToWx(m_name));

    auto& system = kest::GetSystem();
    P<IURI> workFile = save.CreateWorkFile(String("regsection."), String(".reg"));
    if (system->FileExists(workFile.Get())) system->DeleteFile(workFile.Get());
    const std::wstring workPath = PathOf(workFile.Get());
    const size_t slash = workPath.find_last_of(L'\\');
    const std::wstring plainName = slash == std::wstring::npos ? workPath : workPath.substr(slash + 1);
    SetAttribute(*item, wxS("destination"), wxString(plainName));

    // The previous store's export of the key, when it has one.
    wxString previousEntry;
    if (m_previousItem && ReadItemType(*m_previousItem) == kRegistryItem)
        previousEntry = ReadText(*m_previousItem, wxS("destination"));

    m_exported = false;
    m_incomplete = false;
    if (m_flags & SaveToStore) {
        // A key that did not come back at the start is not the user's: the previous export is.
        bool carried = m_notRestored && CarryEntry(save, previousEntry, FromStd(plainName));
        if (!carried && KeyExists()) {
            const std::wstring editor = FindOnSearchPath(m_editor);
            // The Unicode export: the 8-bit one would lose every character outside the code page.
            // Only an editor that finished in time and said so has exported the whole key.
            if (!editor.empty() &&
                RunProgram(editor, L" /e " + Quoted(workPath) + L" " + Quoted(KeyName()), kRegistryEditorSeconds)
                    .Succeeded() &&
                system->FileExists(workFile.Get())) {
                m_exported = save.AddFile(workFile.Get(), false);
            }
            if (!m_exported) {
                m_incomplete = true;
                CarryEntry(save, previousEntry, FromStd(plainName));
            }
        }
    }
    m_keepOnHost = m_incomplete;
    if (m_incomplete) SetAttribute(*item, kKeptOnHostAttribute, wxS("true"));
    if (!m_missingAncestors.empty()) SetAttribute(*item, kCreatedAboveAttribute, wxString(m_missingAncestors.front()));
    ::DeleteFileW(workPath.c_str());
    CChildAppender(parent).Append(std::move(item));
}

// The key leaves the host only once its export is safely in the new archive: removing it right
// after the export would lose it when the archive then cannot be written. A key that is not to
// be stored at all is removed all the same.
void CRegistrySectionHandler::Saved() {
    if ((m_flags & RemoveFromHost) && (m_exported || !(m_flags & SaveToStore))) RemoveKey();
    m_exported = false;
    m_notRestored = false;
}

bool CRegistrySectionHandler::IsFileConfined(const std::wstring& path) const {
    kest::win32::UniqueFile file = OpenUnchangeable(path);
    return file && IsOpenFileConfined(file.get(), KeyName());
}

// The keys between the root's first level and the section, outermost first: the ones the
// manager may have to remove again (a key right below the root never is).
std::vector<std::wstring> CRegistrySectionHandler::Ancestors() const {
    std::vector<std::wstring> ancestors;
    const std::wstring path = ToStd(m_keyPath).substr(1);
    const size_t first = path.find(L'\\');
    if (first == std::wstring::npos) return ancestors;
    for (size_t at = path.find(L'\\', first + 1); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        ancestors.push_back(path.substr(0, at));
    return ancestors;
}

// Which keys above the section the host lacks before the manager first touches it: a restore
// creates them, and they are the manager's to remove again.
void CRegistrySectionHandler::NoteMissingAncestors() {
    if (m_ancestorsNoted) return;
    m_ancestorsNoted = true;
    const std::vector<std::wstring> ancestors = Ancestors();
    for (size_t i = 0; i < ancestors.size(); ++i) {
        kest::win32::UniqueRegKey key;
        if (::RegOpenKeyExW(m_root, ancestors[i].c_str(), 0, KEY_READ, key.put()) == ERROR_FILE_NOT_FOUND) {
            m_missingAncestors.assign(ancestors.begin() + ptrdiff_t(i), ancestors.end());
            return;
        }
    }
}

// What an earlier run noted (the store's word): only one of this section's own ancestors counts.
void CRegistrySectionHandler::NoteCreatedAbove(const std::wstring& outermost) {
    if (outermost.empty()) return;
    const std::vector<std::wstring> ancestors = Ancestors();
    for (size_t i = 0; i < ancestors.size(); ++i) {
        if (ancestors[i].size() != outermost.size() ||
            ::CompareStringOrdinal(ancestors[i].c_str(), int(ancestors[i].size()), outermost.c_str(),
                                   int(outermost.size()), TRUE) != CSTR_EQUAL)
            continue;
        if (ancestors.size() - i > m_missingAncestors.size())
            m_missingAncestors.assign(ancestors.begin() + ptrdiff_t(i), ancestors.end());
        return;
    }
}

void CRegistrySectionHandler::Load(IDataLoadManager& load, const wxXmlNode& item, const wxString&) {
    NoteMissingAncestors();
    NoteCreatedAbove(ReadText(item, kCreatedAboveAttribute).ToStdWstring());
    if (!(m_flags & RestoreFromStore) || ReadItemType(item) != kRegistryItem) return;
    // Left on the host by the last stop because it could not be exported: the host's is newer.
    if (IsKeptOnHost(item) && KeyExists()) return;
    P<IURI> workFolder = load.GetWorkFolder();
    const std::wstring destination = ReadText(item, wxS("destination")).ToStdWstring();
    if (destination.empty()) return;
    // The entry lands in our working folder: a name with a path in it would lead elsewhere.
    if (!IsPlainFileName(destination)) return;
    const std::wstring target = WithTrailingBackslash(Backslashes(PathOf(workFolder.Get()))) + destination;
    P<IURI> targetUri = UriOf(target);
    bool extracted = false;
    try {
        extracted = load.ExtractFile(FromStd(destination), targetUri.Get());
    } catch (const kest::CError&) {
        // Counted as not restored below.
    }
    // What did not come back is carried into the next store from this one.
    m_notRestored = true;
    if (!extracted) return;
    // Held from the check until the editor is done: the working folder lies in the user's
    // temporary folder, where the user's other programs could otherwise swap the file.
    kest::win32::UniqueFile held = OpenUnchangeable(target);
    if (!held || !IsOpenFileConfined(held.get(), KeyName())) return;
    const std::wstring editor = FindOnSearchPath(m_editor);
    if (editor.empty()) return;
    m_notRestored = !RunProgram(editor, L" /s " + Quoted(target), kRegistryEditorSeconds).Succeeded();
}

void CRegistrySectionHandler::Clear() {
    NoteMissingAncestors();
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
        // Under a missing parent there is nothing to remove; creating it would leave it behind.
        kest::win32::CRegistryValueStore store(m_root, parent, kest::kValueStoreRead);
        if (!store.IsOpen()) return;
        store.DeleteSubStore(child);
    } catch (...) {
        // Clearing never fails: a key that is not there is already cleared.
    }
    // The keys above the section that the restore created go with it, as long as nothing else
    // came to live in them.
    for (auto ancestor = m_missingAncestors.rbegin(); ancestor != m_missingAncestors.rend(); ++ancestor) {
        kest::win32::UniqueRegKey key;
        if (::RegOpenKeyExW(m_root, ancestor->c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) continue;
        DWORD subKeys = 0, values = 0;
        if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            subKeys != 0 || values != 0)
            break;
        key.reset();
        if (::RegDeleteKeyW(m_root, ancestor->c_str()) != ERROR_SUCCESS) break;
    }
}

// --------------------------------------------------------------------------------- folder

CFolderHandler::CFolderHandler(const String& name, IURI* folder, int32_t flags)
    : m_folder(folder), m_name(name), m_flags(flags) {}

namespace {

// The destination of the previous folder element's child for path, or empty.
wxString PreviousChild(const wxXmlNode* previous, const wxString& section, const std::wstring& path) {
    if (!previous || ReadItemType(*previous) != kFolderItem) return wxString();
    for (const wxXmlNode* child = previous->GetChildren(); child; child = child->GetNext()) {
        if (child->GetType() != wxXML_ELEMENT_NODE || child->GetName() != section || ReadItemType(*child) != kFileItem)
            continue;
        const wxString destination = ReadText(*child, wxS("destination"));
        if (IsSameFile(destination.ToStdWstring(), path)) return destination;
    }
    return wxString();
}

bool Contains(const std::vector<std::wstring>& paths, const std::wstring& path) {
    for (const std::wstring& known : paths)
        if (IsSameFile(known, path)) return true;
    return false;
}

}  // namespace

void CFolderHandler::Save(IDataSaveManager& save, wxXmlNode& parent, const wxString& section) {
    auto& system = kest::GetSystem();
    const bool exists = system->PathExists(m_folder.Get());
    std::vector<std::unique_ptr<wxXmlNode>> children;
    auto addChild = [&](const wxString& destination) {
        auto child = NewItem(section);
        SetAttribute(*child, wxS("destination"), destination);
        SetAttribute(*child, wxS("type"), wxS("0"));
        SetAttribute(*child, wxS("available"), wxS("true"));
        children.push_back(std::move(child));
    };
    m_incomplete = false;
    if (m_flags & SaveToStore) {
        wxArrayString files;
        if (exists) {
            wxLogNull quiet;
            wxDir::GetAllFiles(wxString(PathOf(m_folder.Get())), &files, wxString(),
                               wxDIR_FILES | wxDIR_DIRS | wxDIR_HIDDEN);
        }
        // Files that did not come back at the start are the previous store's, not the host's.
        std::vector<std::wstring> carry;
        for (const std::wstring& path : m_notRestored)
            if (!PreviousChild(m_previousItem, section, path).empty()) carry.push_back(path);
        for (const wxString& file : files) {
            const std::wstring path = file.ToStdWstring();
            if (Contains(carry, path)) continue;
            P<IURI> uri = UriOf(path);
            if (save.AddFile(uri.Get(), true)) {
                addChild(file);
            } else if (!system->FileExists(uri.Get())) {
                // Gone since the listing: nothing to keep.
            } else if (!PreviousChild(m_previousItem, section, path).empty()) {
                carry.push_back(path);
                m_incomplete = true;
            } else {
                // It cannot be read and exists nowhere else: it stays on the host, undescribed.
                m_incomplete = true;
            }
        }
        for (const std::wstring& path : carry) {
            const wxString previous = PreviousChild(m_previousItem, section, path);
            if (CarryEntry(save, previous, FromStd(path))) addChild(previous);
        }
    }
    m_keepOnHost = m_incomplete;
    auto item = NewItem(section);
    SetAttribute(*item, wxS("type"), wxS("1"));
    SetAttribute(*item, wxS("name"), ToWx(m_name));
    SetAttribute(*item, wxS("available"), BoolText(exists || !children.empty()));
    if (m_incomplete) SetAttribute(*item, kKeptOnHostAttribute, wxS("true"));
    CChildAppender appender(*item);
    for (auto& child : children) appender.Append(std::move(child));
    CChildAppender(parent).Append(std::move(item));
}

void CFolderHandler::Saved() { m_notRestored.clear(); }

void CFolderHandler::Load(IDataLoadManager& load, const wxXmlNode& item, const wxString& section) {
    if (ReadItemType(item) != kFolderItem || !(m_flags & RestoreFromStore)) return;
    const std::wstring folder = PathOf(m_folder.Get());
    // Files left on the host by the last stop because they could not be read are newer there.
    const bool keptOnHost = IsKeptOnHost(item);
    for (const wxXmlNode* child = item.GetChildren(); child; child = child->GetNext()) {
        if (child->GetType() != wxXML_ELEMENT_NODE || child->GetName() != section) continue;
        if (ReadItemType(*child) != kFileItem) continue;
        const std::wstring destination = ReadText(*child, wxS("destination")).ToStdWstring();
        if (destination.empty()) continue;
        // Only into the registered folder, whatever the store says.
        if (!IsInsideFolder(destination, folder)) continue;
        const std::wstring target = NormalisedStorePath(destination);
        // Paths are checked as text above; a junction or link below the folder would take the
        // file elsewhere all the same.
        if (LeadsThroughReparsePoint(NormalisedStorePath(folder), target)) continue;
        if (keptOnHost && ::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        bool restored = false;
        try {
            restored = load.ExtractFileTo(FromStd(destination), target);
        } catch (const kest::CError&) {
            // A file that cannot be put back (in use, no rights) is skipped.
        }
        // It goes into the next store from this one, not lost with the host's state.
        if (!restored) m_notRestored.push_back(destination);
    }
}

void CFolderHandler::Clear() {
    const bool keep = m_keepOnHost;
    m_keepOnHost = false;
    // Files that could not be stored exist nowhere else.
    if (!(m_flags & RemoveFromHost) || keep) return;
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
    const std::wstring destination = WithoutLongPrefix(PathOf(m_file.Get()));
    wxString previous;
    if (m_previousItem && ReadItemType(*m_previousItem) == kFileItem && ReadAvailable(*m_previousItem)) {
        previous = ReadText(*m_previousItem, wxS("destination"));
        if (!IsSameFile(previous.ToStdWstring(), destination)) previous.clear();
    }
    bool stored = false;
    m_incomplete = false;
    if (m_flags & SaveToStore) {
        // A file that did not come back at the start is the previous store's, not the host's.
        if (m_notRestored) stored = CarryEntry(save, previous, FromStd(destination));
        if (!stored && exists) {
            stored = save.AddFile(m_file.Get(), true);
            if (!stored) {
                // Held by another program or not ours to read: it stays on the host, and the
                // store keeps what it had of it.
                m_incomplete = true;
                stored = CarryEntry(save, previous, FromStd(destination));
            }
        }
    }
    m_keepOnHost = m_incomplete;
    auto item = NewItem(section);
    SetAttribute(*item, wxS("type"), wxS("0"));
    SetAttribute(*item, wxS("name"), ToWx(m_name));
    SetAttribute(*item, wxS("available"), BoolText(exists || stored));
    if (stored) SetAttribute(*item, wxS("destination"), wxString(destination));
    if (m_incomplete) SetAttribute(*item, kKeptOnHostAttribute, wxS("true"));
    CChildAppender(parent).Append(std::move(item));
}

void CFileHandler::Saved() { m_notRestored = false; }

void CFileHandler::Load(IDataLoadManager& load, const wxXmlNode& item, const wxString&) {
    if (ReadItemType(item) != kFileItem || !(m_flags & RestoreFromStore) || !ReadAvailable(item)) return;
    const std::wstring destination = ReadText(item, wxS("destination")).ToStdWstring();
    if (destination.empty()) return;
    // Only to the registered file, whatever the store says.
    if (!IsSameFile(destination, PathOf(m_file.Get()))) return;
    // Left on the host by the last stop because it could not be read: the host's is the newer.
    if (IsKeptOnHost(item) && kest::GetSystem()->FileExists(m_file.Get())) return;
    bool restored = false;
    try {
        restored = load.ExtractFile(FromStd(destination), m_file.Get());
    } catch (const kest::CError&) {
        // A file that cannot be put back is skipped.
    }
    // It goes into the next store from this one, not lost with the host's state.
    m_notRestored = !restored;
}

void CFileHandler::Clear() {
    const bool keep = m_keepOnHost;
    m_keepOnHost = false;
    // A file that could not be stored exists nowhere else.
    if (!(m_flags & RemoveFromHost) || keep) return;
    try {
        auto& system = kest::GetSystem();
        if (system->FileExists(m_file.Get())) system->DeleteFile(m_file.Get());
    } catch (...) {
        // A file that cannot be removed stays; the restore then writes over it.
    }
}

}  // namespace kapp
