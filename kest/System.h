// The operating system behind one interface: files and folders named by URIs, unique names,
// well-known folders, the user and the system, the message loop and the wake-up of workers.
//
//     P<ISystem>& system = GetSystem();
//     P<IURI> folder = system->CreateUniqueTempFolder(String("job"), String());
//     system->DeleteFolderTree(folder);
#pragma once

#include "kest/Object.h"
#include "kest/String.h"
#include "kest/URI.h"
#include "kest/Worker.h"
#include "kest/win32/UndefWin32Names.h"

#include <cstdint>

namespace kest {

struct OSVersion {
    int32_t platform = 2;  // 2: the NT family; 1: the older family
    int32_t major = 0;
    int32_t minor = 0;
    int32_t build = 0;
    String servicePack;
};

struct MemoryStatus {
    uint32_t load = 0;  // percent in use
    uint64_t totalPhysical = 0;
    uint64_t availablePhysical = 0;
    uint64_t totalVirtual = 0;
    uint64_t availableVirtual = 0;
};

struct SystemInfo {
    uint32_t processors = 1;
    uint32_t pageSize = 4096;
};

// Folders come back as URIs that end in "/". File operations take local URIs; deletions answer
// false for what is not there and raise CError for every other failure.
class ISystem : public virtual IWorkerManager {
public:
    virtual uint32_t GetProcessId() = 0;
    virtual String GetOSName() = 0;
    virtual OSVersion GetOSVersion() = 0;
    virtual MemoryStatus GetMemoryStatus() = 0;
    virtual SystemInfo GetSystemInfo() = 0;

    // Objects that other parts of the program look up by a type name.
    virtual void RegisterSubSystem(const String& type, IBase* object) = 0;
    virtual bool HasSubSystem(const String& type) = 0;
    // CNoSuchObjectError when none is registered.
    virtual P<IBase> GetSubSystem(const String& type) = 0;
    virtual void UnregisterSubSystem(const String& type) = 0;

    virtual P<IURI> GetAppDataFolder() = 0;
    virtual P<IURI> GetDesktopFolder() = 0;
    virtual P<IURI> GetCurrentFolder() = 0;
    virtual String GetUserName() = 0;
    virtual P<IURI> GetDocumentsFolder() = 0;
    virtual P<IURI> GetWindowsFolder() = 0;
    virtual P<IURI> GetTempFolder() = 0;

    // prefix + eight upper-case hexadecimal digits + suffix, created empty and closed.
    virtual P<IURI> CreateUniqueTempFile(const String& prefix, const String& suffix) = 0;
    virtual P<IURI> CreateUniqueFile(IURI* folder, const String& prefix, const String& suffix) = 0;
    virtual P<IURI> CreateUniqueTempFolder(const String& prefix, const String& suffix) = 0;
    virtual P<IURI> CreateUniqueFolder(IURI* folder, const String& prefix, const String& suffix) = 0;

    // A file that can be opened; anything with attributes; anything a directory search finds.
    virtual bool FileExists(IURI* uri) = 0;
    virtual bool PathExists(IURI* uri) = 0;
    virtual bool FindExists(IURI* uri) = 0;

    virtual void MoveFile(IURI* source, IURI* destination, bool overwrite) = 0;
    virtual void MoveFolder(IURI* source, IURI* destination, bool overwrite) = 0;
    virtual void CopyFile(IURI* source, IURI* destination, bool overwrite) = 0;
    virtual bool DeleteFile(IURI* uri) = 0;
    virtual bool RecycleFile(IURI* uri) = 0;
    virtual bool DeleteFolder(IURI* uri) = 0;
    virtual bool DeleteFolderTree(IURI* uri) = 0;
    virtual bool RecycleFolder(IURI* uri) = 0;
    // Creates the missing folders along the way; an existing folder is an error only when
    // failIfExists is set.
    virtual void CreateFolder(IURI* uri, bool failIfExists) = 0;

    // Handles the messages waiting for this thread, then returns.
    virtual void ProcessMessages() = 0;
    // Handles messages until the thread's quit message.
    virtual void RunMessageLoop() = 0;
    // From any thread: makes the workers run soon on the thread that owns the system object.
    virtual void SignalWork() = 0;
    virtual bool IsWorkPending() = 0;

    virtual String UriToPath(IURI* uri, bool allowOtherSchemes) = 0;
    virtual P<IURI> PathToUri(const String& path) = 0;
};

P<ISystem>& GetSystem();

}  // namespace kest
