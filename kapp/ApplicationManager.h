// Where the application's own state lives while it runs. The shell creates one manager,
// registers its settings keys, starts it before anything reads settings, lends it to the
// engine and stops and deletes it at the end.
#pragma once

#include <exception>
#include <memory>
#include <string>

namespace kapp {

enum HandlerFlags : int { SaveToStore = 1, RemoveFromHost = 2, RestoreFromStore = 4 };

// The data manager's numbered error; the catcher decides what to show by the code.
class CAppmanError : public std::exception {
public:
    explicit CAppmanError(int code, int detail = 0) : code(code), detail(detail) {}
    const char* what() const noexcept override { return "application manager error"; }
    int code;
    int detail;
};

class IApplicationManager {
public:
    virtual bool Start() = 0;
    virtual bool Stop() = 0;
    virtual bool AddRegistrySection(const wchar_t* rootName, const wchar_t* keyPath, int flags) = 0;
    virtual bool AddFolder(const wchar_t* folderPath, int flags) = 0;
    virtual bool AddFile(const wchar_t* filePath, int flags) = 0;
    virtual const wchar_t* GetTempFolder() = 0;
    virtual const wchar_t* CreateTempFolderIn(const wchar_t* baseFolder) = 0;
    virtual bool IsPortable() = 0;
    virtual ~IApplicationManager() = default;
};

// The normal (registry) manager; portable asks for the data store mode, which is not built yet.
std::unique_ptr<IApplicationManager> CreateApplicationManager(const wchar_t* appFolder, const wchar_t* storeFile,
                                                              const wchar_t* initArchive, bool portable);

}  // namespace kapp
