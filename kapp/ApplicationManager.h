// Where the application's own state lives while it runs. The shell creates one manager,
// registers its settings keys, starts it before anything reads settings, lends it to the
// engine and stops and releases it at the end:
//
//     auto manager = kapp::CreateApplicationManager(folder, store, init, false);
//     manager->AddRegistrySection(L"HKEY_CURRENT_USER", L"Software\\X", 7);
//     manager->Start();
//     ...
//     manager->Stop();
//     kapp::DeleteApplicationManager(manager);   // CAppmanError 11 if it were still started
#pragma once

#include "kapp/AppmanError.h"

#include <memory>
#include <string>

namespace kapp {

// What a manager does with a registered item.
enum HandlerFlags : int {
    SaveToStore = 1,       // at Stop, write the item into the data store
    RemoveFromHost = 2,    // remove it from the host machine when the manager clears
    RestoreFromStore = 4,  // at Start, restore it from the archive
};

class IApplicationManager {
public:
    virtual bool Start() = 0;
    virtual bool Stop() = 0;
    virtual bool AddRegistrySection(const wchar_t* rootName, const wchar_t* keyPath, int flags) = 0;
    virtual bool AddFolder(const wchar_t* folderPath, int flags) = 0;
    virtual bool AddFile(const wchar_t* filePath, int flags) = 0;
    // The manager's temporary working folder, made on first request; valid until the next change.
    virtual const wchar_t* GetTempFolder() = 0;
    virtual const wchar_t* CreateTempFolderIn(const wchar_t* baseFolder) = 0;
    virtual bool IsPortable() = 0;
    // Destroying a started manager does not throw (a destructor cannot report to anyone): it
    // forgets the manager without writing anything back. Release managers through
    // DeleteApplicationManager, which refuses a started one with CAppmanError 11.
    virtual ~IApplicationManager() = default;
};

// Behind both managers: the started state and the temporary working folder.
class CApplicationManager : public IApplicationManager {
public:
    bool Start() override { return true; }
    // Removes the temporary working folder.
    bool Stop() override;
    const wchar_t* GetTempFolder() override;
    const wchar_t* CreateTempFolderIn(const wchar_t* baseFolder) override;

    bool IsStarted() const { return m_started; }

protected:
    CApplicationManager() = default;
    void RemoveTempFolder() noexcept;

    bool m_started = false;
    std::wstring m_tempFolder;  // full path; empty while there is none
};

// The state stays where Windows keeps it: registrations are accepted and ignored.
class CNormalAppManager final : public CApplicationManager {
public:
    bool Start() override;
    bool Stop() override;
    bool AddRegistrySection(const wchar_t* rootName, const wchar_t* keyPath, int flags) override;
    bool AddFolder(const wchar_t* folderPath, int flags) override;
    bool AddFile(const wchar_t* filePath, int flags) override;
    bool IsPortable() override { return false; }
};

// The normal manager, or with portable the portable one built from the three paths (which
// raises CAppmanError 9 for a user who is not an administrator).
std::unique_ptr<IApplicationManager> CreateApplicationManager(const wchar_t* appFolder, const wchar_t* storeFile,
                                                              const wchar_t* initArchive, bool portable);

// Deletes the manager and empties the pointer; raises CAppmanError 11, and keeps the manager,
// while it is started.
void DeleteApplicationManager(std::unique_ptr<IApplicationManager>& manager);

// Whether the current user belongs to the built-in Administrators group; false on systems that
// are not of the NT family.
bool IsUserAdministrator();
// The same on a system of the given platform id (2: the NT family).
bool IsUserAdministratorOn(unsigned long platformId);

}  // namespace kapp
