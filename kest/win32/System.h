// CSystem: the Windows implementation of ISystem, with the Windows-only services of
// IWin32System. It owns a hidden message window on the thread that created it: the wake-up
// message of SignalWork and the window timer's ticks run its workers there. It watches every
// message that thread takes from its queue, so that it knows when its wake-up has left the
// queue, whichever loop took it.
#pragma once

#include "kest/Containers.h"
#include "kest/System.h"
#include "kest/Thread.h"
#include "kest/win32/Handles.h"
#include "kest/win32/MessageWindow.h"
#include "kest/win32/Shell.h"
#include "kest/win32/Win32.h"
#include "kest/win32/WorkerManager.h"

namespace kest::win32 {

class IWin32System : public virtual IBase {
public:
    // (major << 16) | minor from the library's DllGetVersion, or defaultVersion.
    virtual int32_t GetDllVersion(const String& dllName, int32_t defaultVersion) = 0;
    virtual int32_t GetShell32Version() = 0;
    virtual int32_t GetShlwapiVersion() = 0;
    virtual int32_t GetComctl32Version() = 0;

    // Item id lists name shell items the way the shell's folders do. Lists given are borrowed
    // (null stands for the empty list, the desktop); lists returned are the caller's, in shell
    // memory. Failures of the shell raise through RaiseSystemError.
    //
    // A new list of first's items followed by second's (second relative to first's last item).
    virtual UniqueItemIdList ConcatItemIdLists(LPCITEMIDLIST first, LPCITEMIDLIST second) = 0;
    virtual UniqueItemIdList CopyItemIdList(LPCITEMIDLIST list) = 0;
    // Orders two absolute lists as the desktop folder does: 0 when they name the same item.
    virtual int32_t CompareItemIdLists(LPCITEMIDLIST first, LPCITEMIDLIST second) = 0;
    // Bytes of a list with its terminating zero; 0 for null.
    virtual size_t GetItemIdListSize(LPCITEMIDLIST list) = 0;
    // The absolute list of a path, parsed by the desktop folder.
    virtual UniqueItemIdList PathToItemIdList(const String& path) = 0;
    // The file-system path of an absolute list; the empty string for items outside the file system.
    virtual String ItemIdListToPath(LPCITEMIDLIST list) = 0;
    // The folder an absolute list names (the desktop for the empty list).
    virtual TComPtr<IShellFolder> BindToFolder(LPCITEMIDLIST list) = 0;
    // The folder holding the last item of an absolute list; lastItem points into list.
    virtual TComPtr<IShellFolder> BindToParentFolder(LPCITEMIDLIST list, LPCITEMIDLIST* lastItem) = 0;
    // The root of the shell's name space. An out-parameter, because ISystem already has a
    // GetDesktopFolder that answers the desktop's file-system folder as a URI.
    virtual void GetDesktopFolder(TComPtr<IShellFolder>& folder) = 0;
    // The display name of an item of folder, as the SHGDN flags ask.
    virtual String GetDisplayName(IShellFolder* folder, LPCITEMIDLIST item, uint32_t flags) = 0;
    // The same for an absolute list.
    virtual String GetItemDisplayName(LPCITEMIDLIST list, uint32_t flags) = 0;
    // The SFGAO attributes of an absolute list's item, of those asked for in mask.
    virtual uint32_t GetItemAttributes(LPCITEMIDLIST list, uint32_t mask) = 0;
    // Through the shell's allocator; freeing null does nothing, a failed allocation gives null.
    virtual void FreeShellMemory(void* pointer) = 0;
    virtual void* AllocShellMemory(size_t size) = 0;
    virtual bool IsNT() = 0;
    virtual bool IsAtLeast98Or2000() = 0;
    virtual bool IsAtLeastMEOr2000() = 0;
    virtual bool IsAtLeast2000() = 0;
    virtual bool IsAtLeastXP() = 0;
    virtual bool IsAtLeastVista() = 0;
    // A special folder by its CSIDL number, or null.
    virtual P<IURI> GetSpecialFolder(int32_t csidl) = 0;
};

class CSystem : public CWorkerManager,
                public ISystem,
                public IWin32System,
                public IMessageListener,
                public ITimerListener {
public:
    // The version record of the running system is read unless one is given.
    explicit CSystem(const OSVersion* version = nullptr);
    ~CSystem() override;

    // The name of a system version: "Windows XP", "Windows 7 Service Pack 1" and so on.
    static String OSNameFor(const OSVersion& version);
    // A user's shell folder from the path its settings give (empty when they give none): outside
    // the NT family a missing one is the named folder inside the Windows folder.
    static P<IURI> ShellFolderFromText(const String& text, bool nt, const String& windowsFolder,
                                       const wchar_t* windowsSubfolder);

    // IWorkerManager, through the worker manager this is
    void AddWorker(IWorker* worker) override { CWorkerManager::AddWorker(worker); }
    void RemoveWorker(IWorker* worker) override { CWorkerManager::RemoveWorker(worker); }
    void Run() override;
    void Work() override { CWorkerManager::Work(); }
    void AttachedTo(IWorkerManager* manager) override { CWorkerManager::AttachedTo(manager); }
    void DetachedFrom(IWorkerManager* manager) override { CWorkerManager::DetachedFrom(manager); }

    // ISystem
    uint32_t GetProcessId() override;
    String GetOSName() override { return OSNameFor(m_version); }
    OSVersion GetOSVersion() override { return m_version; }
    MemoryStatus GetMemoryStatus() override;
    SystemInfo GetSystemInfo() override;
    void RegisterSubSystem(const String& type, IBase* object) override;
    bool HasSubSystem(const String& type) override;
    P<IBase> GetSubSystem(const String& type) override;
    void UnregisterSubSystem(const String& type) override;
    P<IURI> GetAppDataFolder() override;
    P<IURI> GetDesktopFolder() override;
    P<IURI> GetCurrentFolder() override;
    String GetUserName() override;
    P<IURI> GetDocumentsFolder() override;
    P<IURI> GetWindowsFolder() override;
    P<IURI> GetTempFolder() override;
    P<IURI> CreateUniqueTempFile(const String& prefix, const String& suffix) override;
    P<IURI> CreateUniqueFile(IURI* folder, const String& prefix, const String& suffix) override;
    P<IURI> CreateUniqueTempFolder(const String& prefix, const String& suffix) override;
    P<IURI> CreateUniqueFolder(IURI* folder, const String& prefix, const String& suffix) override;
    bool FileExists(IURI* uri) override;
    bool PathExists(IURI* uri) override;
    bool FindExists(IURI* uri) override;
    void MoveFile(IURI* source, IURI* destination, bool overwrite) override;
    void MoveFolder(IURI* source, IURI* destination, bool overwrite) override;
    void CopyFile(IURI* source, IURI* destination, bool overwrite) override;
    bool DeleteFile(IURI* uri) override;
    bool RecycleFile(IURI* uri) override;
    bool DeleteFolder(IURI* uri) override;
    bool DeleteFolderTree(IURI* uri) override;
    bool RecycleFolder(IURI* uri) override;
    void CreateFolder(IURI* uri, bool failIfExists) override;
    void ProcessMessages() override;
    void RunMessageLoop() override;
    void SignalWork() override;
    bool IsWorkPending() override;
    String UriToPath(IURI* uri, bool allowOtherSchemes) override;
    P<IURI> PathToUri(const String& path) override;

    // IWin32System
    int32_t GetDllVersion(const String& dllName, int32_t defaultVersion) override;
    int32_t GetShell32Version() override;
    int32_t GetShlwapiVersion() override;
    int32_t GetComctl32Version() override;
    UniqueItemIdList ConcatItemIdLists(LPCITEMIDLIST first, LPCITEMIDLIST second) override;
    UniqueItemIdList CopyItemIdList(LPCITEMIDLIST list) override;
    int32_t CompareItemIdLists(LPCITEMIDLIST first, LPCITEMIDLIST second) override;
    size_t GetItemIdListSize(LPCITEMIDLIST list) override;
    UniqueItemIdList PathToItemIdList(const String& path) override;
    String ItemIdListToPath(LPCITEMIDLIST list) override;
    TComPtr<IShellFolder> BindToFolder(LPCITEMIDLIST list) override;
    TComPtr<IShellFolder> BindToParentFolder(LPCITEMIDLIST list, LPCITEMIDLIST* lastItem) override;
    void GetDesktopFolder(TComPtr<IShellFolder>& folder) override;
    String GetDisplayName(IShellFolder* folder, LPCITEMIDLIST item, uint32_t flags) override;
    String GetItemDisplayName(LPCITEMIDLIST list, uint32_t flags) override;
    uint32_t GetItemAttributes(LPCITEMIDLIST list, uint32_t mask) override;
    void FreeShellMemory(void* pointer) override;
    void* AllocShellMemory(size_t size) override;
    bool IsNT() override;
    bool IsAtLeast98Or2000() override;
    bool IsAtLeastMEOr2000() override;
    bool IsAtLeast2000() override;
    bool IsAtLeastXP() override;
    bool IsAtLeastVista() override;
    P<IURI> GetSpecialFolder(int32_t csidl) override;

    // The system's own window; its timer runs the workers while started.
    CWindowTimer* GetWindowTimer() const { return m_window.Get(); }

    bool OnMessage(CMessageWindow* window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnTimer(CWindowTimer* timer) override;

private:
    bool AtLeast(int32_t major, int32_t minor) const;
    int32_t CachedDllVersion(int32_t& cache, const wchar_t* dllName);
    P<IURI> ShellFolder(int32_t csidl, const wchar_t* valueName, const wchar_t* fallbackValueName,
                        const wchar_t* windowsSubfolder);
    P<IURI> UniqueEntry(IURI* folder, const String& prefix, const String& suffix, bool isFolder);
    String LocalPath(IURI* uri);
    void Move(IURI* source, IURI* destination, bool overwrite, bool isFolder);
    void RepostWakeUpOfPass();
    void WakeUpLeftQueue();
    static LRESULT CALLBACK OnMessageTaken(int code, WPARAM removed, LPARAM message);
    bool Recycle(IURI* uri, const char* key, const wchar_t* defaultText, const char* placeholder);
    IMalloc* ShellAllocator();

    OSVersion m_version;
    P<IMutex> m_mutex;      // the sub-system table and the cached versions
    P<IMutex> m_workMutex;  // the pending-work mark
    bool m_workPending = false;  // exactly while a wake-up message is in the window's queue
    bool m_wokenDuringPass = false;  // owner thread only: a wake-up came while workers worked
    TSimpleHashTable<String, P<IBase>> m_subSystems;
    int32_t m_shell32Version = -1;
    int32_t m_shlwapiVersion = -1;
    int32_t m_comctl32Version = -1;
    UniqueModule m_secur32;
    using GetUserNameExFunction = BOOLEAN(WINAPI*)(int format, LPWSTR buffer, PULONG size);
    GetUserNameExFunction m_getUserNameEx = nullptr;
    P<CWindowTimer> m_window;
    UniqueHook m_messageTakenHook;  // on the window's thread
    TComPtr<IMalloc> m_shellAllocator;  // asked for once, under m_mutex
};

}  // namespace kest::win32
