#include "kapp/PortableAppManager.h"

#include "kapp/Description.h"
#include "kapp/SafePaths.h"
#include "kapp/Text.h"
#include "kest/Error.h"
#include "kest/StringFormat.h"
#include "kest/System.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>

#include "kest/win32/UndefWin32Names.h"

namespace kapp {

using kest::IURI;
using kest::P;
using kest::String;

namespace {

std::wstring OrEmpty(const wchar_t* text) { return text ? std::wstring(text) : std::wstring(); }

bool FileExists(const std::wstring& path) {
    if (path.empty()) return false;
    P<IURI> uri = UriOf(path);
    return kest::GetSystem()->FileExists(uri.Get());
}

}  // namespace

CPortableAppManager::CPortableAppManager(const std::wstring& appFolder, const std::wstring& storeFile,
                                         const std::wstring& initArchive, const std::function<bool()>& isAdministrator) {
    if (!isAdministrator()) throw CAppmanError(9);
    m_appFolder = WithTrailingBackslash(Backslashes(appFolder));
    m_storeFile = storeFile;
    m_initArchive = initArchive;
    const size_t slash = Backslashes(m_storeFile).find_last_of(L'\\');
    m_storeFolder = slash == std::wstring::npos ? std::wstring() : m_storeFile.substr(0, slash + 1);
    if (!m_storeFolder.empty()) {
        try {
            auto& system = kest::GetSystem();
            P<IURI> folder = UriOf(m_storeFolder);
            if (!system->PathExists(folder.Get())) system->CreateFolder(folder.Get(), false);
        } catch (...) {
            // Shows when the store is written.
        }
    }
}

CPortableAppManager::~CPortableAppManager() = default;

IDataStoreHandler* CPortableAppManager::FindHandler(const String& name) const {
    auto it = m_handlers.find(name);
    return it == m_handlers.end() ? nullptr : it->second.get();
}

bool CPortableAppManager::Register(const String& name,
                                   const std::function<std::unique_ptr<IDataStoreHandler>()>& make) {
    if (m_handlers.count(name)) return false;
    m_handlers.emplace(name, make());
    return true;
}

bool CPortableAppManager::AddRegistrySection(const wchar_t* rootName, const wchar_t* keyPath, int flags) {
    if (m_started) throw CAppmanError(12);
    const std::wstring root = OrEmpty(rootName);
    if (root.find_first_of(L"/\\") != std::wstring::npos) throw CAppmanError(13);
    std::wstring key = Backslashes(OrEmpty(keyPath));
    if (key.empty() || key.front() != L'\\') key.insert(key.begin(), L'\\');
    // A key with an empty part (two backslashes in a row, one at the end, or no key at all)
    // would be exported under a name that its own import check refuses: stored, never restored.
    if (key.size() < 2 || key.back() == L'\\' || key.find(L"\\\\") != std::wstring::npos) return false;
    const String name = FromStd(root + key);
    return Register(name, [&] {
        return std::make_unique<CRegistrySectionHandler>(name, FromStd(root), FromStd(key), flags);
    });
}

bool CPortableAppManager::AddFolder(const wchar_t* folderPath, int flags) {
    if (m_started) throw CAppmanError(12);
    const std::wstring path = WithTrailingBackslash(Backslashes(OrEmpty(folderPath)));
    // A path that a store's destination could never be restored to (relative, a device, a
    // stream) would be saved at every stop and lost at the next start.
    if (NormalisedStorePath(path).empty()) return false;
    const String name = FromStd(path);
    return Register(name, [&] { return std::make_unique<CFolderHandler>(name, UriOf(path).Get(), flags); });
}

bool CPortableAppManager::AddFile(const wchar_t* filePath, int flags) {
    if (m_started) throw CAppmanError(12);
    const std::wstring path = Backslashes(OrEmpty(filePath));
    if (!path.empty() && path.back() == L'\\') return AddFolder(filePath, flags);
    if (NormalisedStorePath(path).empty()) return false;
    const String name = FromStd(path);
    return Register(name, [&] { return std::make_unique<CFileHandler>(name, UriOf(path).Get(), flags); });
}

namespace {

// The section's item element named name, or null.
const wxXmlNode* FindItem(const wxXmlDocument* description, const wxString& section, const wxString& name) {
    const wxXmlNode* root = description ? description->GetRoot() : nullptr;
    if (!root) return nullptr;
    for (const wxXmlNode* item = root->GetChildren(); item; item = item->GetNext())
        if (item->GetType() == wxXML_ELEMENT_NODE && item->GetName() == section && ReadText(*item, wxS("name")) == name)
            return item;
    return nullptr;
}

}  // namespace

void CPortableAppManager::ClearAll(const wxXmlDocument* description, const wxString& section) {
    for (auto& [name, handler] : m_handlers) {
        const wxXmlNode* item = FindItem(description, section, ToWx(name));
        if (item && item->GetAttribute(kKeptOnHostAttribute, wxString()) == wxS("true")) continue;
        handler->Clear();
    }
}

bool CPortableAppManager::SaveAll(const wxString& section) {
    std::unique_ptr<wxXmlDocument> description = NewDescription();
    P<IURI> store = UriOf(m_storeFile);
    CZipSaveManager save(store.Get(), m_opener);
    {
        // The store being replaced, for what a handler has to carry over from it.
        std::unique_ptr<CZipLoadManager> previous;
        std::unique_ptr<wxXmlDocument> previousDescription;
        if (FileExists(m_storeFile)) {
            previous = std::make_unique<CZipLoadManager>(store.Get());
            previousDescription = previous->LoadXmlDocument(String(kDescriptionEntry));
        }
        struct Forget {
            decltype(m_handlers)& handlers;
            ~Forget() {
                for (auto& [name, handler] : handlers) handler->SetPrevious(nullptr, nullptr);
            }
        } forget{m_handlers};
        for (auto& [name, handler] : m_handlers) {
            handler->SetPrevious(previous.get(), FindItem(previousDescription.get(), section, ToWx(name)));
            handler->Save(save, *description->GetRoot(), section);
        }
    }  // the old store is closed before the new one takes its place
    save.AddXmlDocument(*description, String(kDescriptionEntry));
    save.Commit();
    bool complete = true;
    for (auto& [name, handler] : m_handlers) {
        handler->Saved();
        if (handler->SaveIncomplete()) complete = false;
    }
    return complete;
}

void CPortableAppManager::Restore(IDataLoadManager& load, const wxXmlDocument& description, const wxString& section) {
    const wxXmlNode* root = description.GetRoot();
    if (!root) return;
    for (const wxXmlNode* item = root->GetChildren(); item; item = item->GetNext()) {
        if (item->GetType() != wxXML_ELEMENT_NODE || item->GetName() != section) continue;
        if (IDataStoreHandler* handler = FindHandler(FromWx(ReadText(*item, wxS("name"))))) {
            handler->Load(load, *item, section);
        }
    }
}

bool CPortableAppManager::LoadSection(IURI* archive, const wxString& section) {
    if (!archive || !kest::GetSystem()->FileExists(archive)) return false;
    CZipLoadManager load(archive);
    if (std::unique_ptr<wxXmlDocument> description = load.LoadXmlDocument(String(kDescriptionEntry))) {
        Restore(load, *description, section);
    }
    return true;
}

void CPortableAppManager::SetStoreAside() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    wchar_t stamp[40];
    std::swprintf(stamp, std::size(stamp), L".unreadable-%04u%02u%02u-%02u%02u%02u", unsigned(now.wYear),
                  unsigned(now.wMonth), unsigned(now.wDay), unsigned(now.wHour), unsigned(now.wMinute),
                  unsigned(now.wSecond));
    for (int n = 1; n < 1000; ++n) {
        std::wstring aside = m_storeFile + stamp;
        if (n > 1) aside += L"-" + std::to_wstring(n);
        if (::MoveFileExW(m_storeFile.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) return;
        const DWORD code = ::GetLastError();
        if (code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS) kest::RaiseSystemError(code);
    }
    kest::RaiseSystemError(ERROR_FILE_EXISTS);
}

void CPortableAppManager::LockStore() {
    const std::wstring lock = m_storeFile + L".lock";
    // Nobody else may open it while it is held; the system removes it when the holder ends,
    // also when that is a crash.
    m_lock.reset(::CreateFileW(lock.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (m_lock) return;
    const DWORD code = ::GetLastError();
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) {
        throw kest::CFileError(kest::LocalizedMessage(
            String("kapp.CPortableAppManager.StoreInUse"),
            String(L"The data store '%FILE%' is in use by another session of the program."),
            {{String("%FILE%"), FromStd(m_storeFile)}}));
    }
    kest::RaiseSystemError(code);
}

void CPortableAppManager::RemovePartialStores() noexcept {
    const size_t slash = m_storeFile.find_last_of(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : m_storeFile.substr(0, slash + 1);
    const std::wstring name = m_storeFile.substr(slash == std::wstring::npos ? 0 : slash + 1);
    // A save writes "<store>.XXXXXXXX.tmp" beside the store (eight hexadecimal digits).
    WIN32_FIND_DATAW data;
    kest::win32::UniqueFind find(::FindFirstFileW((m_storeFile + L".*.tmp").c_str(), &data));
    if (!find) return;
    do {
        const std::wstring found = data.cFileName;
        if (found.size() != name.size() + 13 || found.compare(0, name.size() + 1, name + L".") != 0 ||
            found.compare(found.size() - 4, 4, L".tmp") != 0 || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        bool hex = true;
        for (size_t i = name.size() + 1; i < name.size() + 9; ++i) hex = hex && std::iswxdigit(found[i]);
        if (hex) ::DeleteFileW((folder + found).c_str());
    } while (::FindNextFileW(find.get(), &data));
}

bool CPortableAppManager::Start() {
    if (m_started) throw CAppmanError(12);
    LockStore();
    try {
        RemovePartialStores();
        bool restored = false;
        if (FileExists(m_storeFile)) {
            P<IURI> store = UriOf(m_storeFile);
            // A store that cannot be opened raises here, before anything is cleared.
            std::unique_ptr<CZipLoadManager> load = std::make_unique<CZipLoadManager>(store.Get());
            std::unique_ptr<wxXmlDocument> description;
            if (load->IsReadable()) description = load->LoadXmlDocument(String(kDescriptionEntry));
            if (description) {
                ClearAll(description.get(), kUserSection);
                Restore(*load, *description, kUserSection);
                restored = true;
            } else {
                // Its content is damaged: nothing can be restored from it, and Stop would write
                // over it. Keep it aside and start as on the first run.
                load.reset();
                SetStoreAside();
            }
        }
        if (!restored) {
            ClearAll();
            P<IURI> init = UriOf(m_initArchive);
            LoadSection(init.Get(), kInitSection);
        }
    } catch (...) {
        m_lock.reset();
        throw;
    }
    m_started = true;
    return true;
}

bool CPortableAppManager::Stop() {
    if (!m_started) throw CAppmanError(10);
    const bool firstRun = !FileExists(m_storeFile);
    const bool complete = SaveAll(kUserSection);
    if (firstRun) ClearAll();
    m_started = false;
    m_lock.reset();
    CApplicationManager::Stop();
    return complete;
}

}  // namespace kapp
