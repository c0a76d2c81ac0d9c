#include "kapp/PortableAppManager.h"

#include "kapp/Description.h"
#include "kapp/Text.h"
#include "kest/Error.h"
#include "kest/System.h"

#include <windows.h>

#include <cwchar>

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
    const String name = FromStd(root + key);
    return Register(name, [&] {
        return std::make_unique<CRegistrySectionHandler>(name, FromStd(root), FromStd(key), flags);
    });
}

bool CPortableAppManager::AddFolder(const wchar_t* folderPath, int flags) {
    if (m_started) throw CAppmanError(12);
    const std::wstring path = WithTrailingBackslash(Backslashes(OrEmpty(folderPath)));
    const String name = FromStd(path);
    return Register(name, [&] { return std::make_unique<CFolderHandler>(name, UriOf(path).Get(), flags); });
}

bool CPortableAppManager::AddFile(const wchar_t* filePath, int flags) {
    if (m_started) throw CAppmanError(12);
    const std::wstring path = Backslashes(OrEmpty(filePath));
    if (!path.empty() && path.back() == L'\\') return AddFolder(filePath, flags);
    const String name = FromStd(path);
    return Register(name, [&] { return std::make_unique<CFileHandler>(name, UriOf(path).Get(), flags); });
}

void CPortableAppManager::ClearAll() {
    for (auto& [name, handler] : m_handlers) handler->Clear();
}

void CPortableAppManager::SaveAll(const wxString& section) {
    std::unique_ptr<wxXmlDocument> description = NewDescription();
    P<IURI> store = UriOf(m_storeFile);
    CZipSaveManager save(store.Get(), m_opener);
    for (auto& [name, handler] : m_handlers) handler->Save(save, *description->GetRoot(), section);
    save.AddXmlDocument(*description, String(kDescriptionEntry));
    save.Commit();
    for (auto& [name, handler] : m_handlers) handler->Saved();
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

bool CPortableAppManager::Start() {
    if (m_started) throw CAppmanError(12);
    bool restored = false;
    if (FileExists(m_storeFile)) {
        P<IURI> store = UriOf(m_storeFile);
        std::unique_ptr<CZipLoadManager> load = std::make_unique<CZipLoadManager>(store.Get());
        std::unique_ptr<wxXmlDocument> description;
        if (load->IsReadable()) description = load->LoadXmlDocument(String(kDescriptionEntry));
        if (description) {
            ClearAll();
            Restore(*load, *description, kUserSection);
            restored = true;
        } else {
            // Nothing can be restored from it, and Stop would write over it: keep it aside and
            // start as on the first run.
            load.reset();
            SetStoreAside();
        }
    }
    if (!restored) {
        ClearAll();
        P<IURI> init = UriOf(m_initArchive);
        LoadSection(init.Get(), kInitSection);
    }
    m_started = true;
    return true;
}

bool CPortableAppManager::Stop() {
    if (!m_started) throw CAppmanError(10);
    const bool firstRun = !FileExists(m_storeFile);
    SaveAll(kUserSection);
    if (firstRun) ClearAll();
    m_started = false;
    CApplicationManager::Stop();
    return true;
}

}  // namespace kapp
