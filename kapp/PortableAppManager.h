// The portable manager: the application's registry keys, folders and files travel with the
// program in one scrambled data store beside it. At Start every registered item is cleared
// from the host as its flags ask and restored from the store (on the first run from the initial
// archive); at Stop every item is written into a fresh store.
#pragma once

#include "kapp/ApplicationManager.h"
#include "kapp/DataStoreHandlers.h"
#include "kapp/ZipManagers.h"
#include "kest/String.h"
#include "kest/URI.h"
#include "kest/win32/Handles.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace kapp {

class CPortableAppManager final : public CApplicationManager {
public:
    // Raises CAppmanError 9 unless isAdministrator says yes. Creates the store's folder when
    // missing (a failure there shows later, when the store is written).
    CPortableAppManager(const std::wstring& appFolder, const std::wstring& storeFile, const std::wstring& initArchive,
                        const std::function<bool()>& isAdministrator = IsUserAdministrator);
    // A started manager is forgotten without writing anything (see DeleteApplicationManager).
    ~CPortableAppManager() override;

    bool Start() override;
    bool Stop() override;
    bool AddRegistrySection(const wchar_t* rootName, const wchar_t* keyPath, int flags) override;
    bool AddFolder(const wchar_t* folderPath, int flags) override;
    bool AddFile(const wchar_t* filePath, int flags) override;
    bool IsPortable() override { return true; }

    // Clear on every handler, in ascending order of names, except those whose element in the
    // description (when given) says the item was left on the host because it could not be stored.
    void ClearAll(const wxXmlDocument* description = nullptr, const wxString& section = wxString());
    // Writes a new data store: every handler's item and the description. The old store stays
    // in place until the new one is complete; a failure raises and leaves it untouched. What a
    // handler cannot take from the host it carries over from the old store. False when some
    // item could not be stored whole (what could not be stored stays on the host).
    bool SaveAll(const wxString& section);
    // Restores the items of a section from an archive; false when the archive does not exist.
    bool LoadSection(kest::IURI* archive, const wxString& section);

    const std::wstring& AppFolder() const { return m_appFolder; }
    const std::wstring& StoreFile() const { return m_storeFile; }
    size_t HandlerCount() const { return m_handlers.size(); }
    IDataStoreHandler* FindHandler(const kest::String& name) const;
    // How the store's bytes reach the disk; tests put a failing stream in.
    void SetArchiveStreamOpener(ArchiveStreamOpener opener) { m_opener = std::move(opener); }

private:
    struct NameOrder {
        bool operator()(const kest::String& a, const kest::String& b) const { return a.Compare(b) < 0; }
    };

    bool Register(const kest::String& name, const std::function<std::unique_ptr<IDataStoreHandler>()>& make);
    void Restore(IDataLoadManager& load, const wxXmlDocument& description, const wxString& section);
    // Keeps an unreadable store beside its place under a name with the time, so that it can
    // still be rescued, before anything writes a new one.
    void SetStoreAside();
    // Holds the store for this session: a second session of the same copy (another user, another
    // machine on a shared folder) cannot start until this one stops.
    void LockStore();
    // Removes what a save that never finished left beside the store.
    void RemovePartialStores() noexcept;

    std::wstring m_appFolder;
    std::wstring m_storeFolder;
    std::wstring m_storeFile;
    std::wstring m_initArchive;
    std::map<kest::String, std::unique_ptr<IDataStoreHandler>, NameOrder> m_handlers;
    ArchiveStreamOpener m_opener;
    kest::win32::UniqueFile m_lock;
};

}  // namespace kapp
