#include "kest/win32/System.h"

#include "kest/Error.h"
#include "kest/Localizer.h"
#include "kest/MT19937.h"
#include "kest/ServiceSlot.h"
#include "kest/StringFormat.h"
#include "kest/win32/Paths.h"
#include "kest/win32/ProcAddress.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "kest/win32/UndefWin32Names.h"

#include <cstring>
#include <memory>
#include <vector>

namespace kest {

P<ISystem>& GetSystem() {
    static TServiceSlot<ISystem> slot;
    return slot.Get([]() -> P<ISystem> { return New<win32::CSystem>(); });
}

}  // namespace kest

namespace kest::win32 {

namespace {

constexpr UINT kSystemErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;  // 0x8001
constexpr int kMaxUniqueAttempts = 10000;
// The property of the system's window that leads back to the system.
const wchar_t kSystemProperty[] = L"kest.win32.CSystem";
// The window whose wake-up this thread took from its queue and has not handled yet.
thread_local HWND t_wakeUpTaken = nullptr;
const wchar_t kShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The system's text for an error code in the user's language, without its final line break.
String SystemMessage(DWORD code) {
    wchar_t text[1024];
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD n = ::FormatMessageW(flags, nullptr, code, LANG_USER_DEFAULT, text, DWORD(std::size(text)), nullptr);
    if (n == 0) n = ::FormatMessageW(flags, nullptr, code, 0, text, DWORD(std::size(text)), nullptr);
    if (n == 0) return String("System error ") + String::FromInt(int32_t(code)) + ".";
    while (n > 0 && (text[n - 1] == L'\n' || text[n - 1] == L'\r')) --n;
    return String::Copy(text, int32_t(n));
}

String UriText(const IURI* uri) {
    String text;
    if (uri) uri->ToString(text);
    return text;
}

bool EndsWithSeparator(const String& path) {
    return path.EndsWith(String("\\")) || path.EndsWith(String("/"));
}

String WithSeparator(const String& path) { return EndsWithSeparator(path) ? path : path + "\\"; }

String WithoutTrailingSeparators(String path) {
    while (path.Length() > 1 && EndsWithSeparator(path) && !(path.Length() == 3 && path.CharAt(1) == ':')) {
        path = path.Substring(0, path.Length() - 1);
    }
    return path;
}

// The \\?\ form of an absolute path, so that a walk through a tree is not stopped by MAX_PATH.
std::wstring LongForm(const String& path) {
    String wide = path.AsUTF16();
    std::wstring text(wide.WideData());
    if (text.compare(0, 4, L"\\\\?\\") == 0) return text;
    if (text.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + text.substr(2);
    if (text.size() >= 2 && text[1] == L':') return L"\\\\?\\" + text;
    return text;
}

// Reads a text of up to a system-given length.
template <typename Fill>
String ReadSystemText(Fill fill) {
    DWORD size = fill(nullptr, 0);
    if (size == 0) RaiseSystemError(::GetLastError());
    auto buffer = std::make_unique<wchar_t[]>(size + 1);
    DWORD n = fill(buffer.get(), size + 1);
    if (n == 0 || n > size) RaiseSystemError(::GetLastError());
    return String::Copy(buffer.get(), int32_t(n));
}

String ReadShellFolderValue(const wchar_t* name) {
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return String();
    DWORD type = 0, bytes = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return String();
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || bytes > 65536) return String();
    auto buffer = std::make_unique<wchar_t[]>(bytes / sizeof(wchar_t) + 1);
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.get()), &bytes) !=
        ERROR_SUCCESS) {
        return String();
    }
    buffer[bytes / sizeof(wchar_t)] = 0;  // the stored text need not be terminated
    return String::Copy(buffer.get());
}

// Deletes one file, clearing its read-only mark first: ERROR_SUCCESS, or the reason.
DWORD DeletePath(const wchar_t* path) {
    DWORD attributes = ::GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        // Failing here leaves DeleteFileW to report the reason.
        ::SetFileAttributesW(path, attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    }
    if (::DeleteFileW(path)) return ERROR_SUCCESS;
    DWORD code = ::GetLastError();
    if (attributes != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesW(path, attributes);
    return code;
}

[[noreturn]] void RaiseDeleteFileFailed(const String& path, const String& reason) {
    throw CError(LocalizedMessage(String("kest.CSystem.DeleteFileFailed"), String(L"Error deleting the file '%FILE%' (%MSG%)."),
                                  {{String("%FILE%"), path}, {String("%MSG%"), reason}}));
}

[[noreturn]] void RaiseDeleteFolderFailed(const String& path, const String& reason) {
    throw CError(LocalizedMessage(String("kest.CSystem.DeleteFolderFailed"),
                                  String(L"Error deleting the folder '%FOLDER%' (%MSG%)."),
                                  {{String("%FOLDER%"), path}, {String("%MSG%"), reason}}));
}

// Removes everything below a folder given in long form, then the folder. The walk keeps its
// folders in a list of its own rather than on the call stack: a tree may be deeper than any
// thread's stack would allow a recursive walk to go.
void DeleteTree(const std::wstring& root) {
    struct Level {
        std::wstring folder;
        bool listed;  // its files are gone and its sub-folders are on the list above it
    };
    std::vector<Level> levels{{root, false}};
    while (!levels.empty()) {
        if (levels.back().listed) {
            const std::wstring folder = std::move(levels.back().folder);
            levels.pop_back();
            if (!::RemoveDirectoryW(folder.c_str())) {
                DWORD code = ::GetLastError();
                if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
                    RaiseDeleteFolderFailed(String::Copy(folder.c_str()), SystemMessage(code));
                }
            }
            continue;
        }
        levels.back().listed = true;
        const std::wstring folder = levels.back().folder;
        WIN32_FIND_DATAW data;
        UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
        if (!find) continue;
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    // A junction or folder link: remove the link, never what it points at.
                    if (!::RemoveDirectoryW(child.c_str())) {
                        RaiseDeleteFolderFailed(String::Copy(child.c_str()), SystemMessage(::GetLastError()));
                    }
                } else {
                    levels.push_back({std::move(child), false});
                }
            } else {
                DWORD code = DeletePath(child.c_str());
                if (code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND) {
                    RaiseDeleteFileFailed(String::Copy(child.c_str()), SystemMessage(code));
                }
            }
        } while (::FindNextFileW(find.get(), &data));
        DWORD code = ::GetLastError();
        if (code != ERROR_NO_MORE_FILES) RaiseDeleteFolderFailed(String::Copy(folder.c_str()), SystemMessage(code));
    }
}

OSVersion RunningVersion() {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    OSVersion version;
    if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) RaiseSystemError(::GetLastError());
    version.platform = int32_t(info.dwPlatformId);
    version.major = int32_t(info.dwMajorVersion);
    version.minor = int32_t(info.dwMinorVersion);
    version.build = int32_t(info.dwBuildNumber);
    version.servicePack = String::Copy(info.szCSDVersion);
    return version;
}

}  // namespace

// ------------------------------------------------------------------------------------ set-up

CSystem::CSystem(const OSVersion* version)
    : m_version(version ? *version : RunningVersion()),
      m_mutex(GetMutexFactory().CreateMutex()),
      m_workMutex(GetMutexFactory().CreateMutex()) {
    // No system dialogs for a drive without a disc or a file that cannot be opened: a burning
    // program meets both all the time and reports them itself.
    ::SetErrorMode(kSystemErrorMode);
    m_secur32.reset(::LoadLibraryW(L"secur32.dll"));
    m_getUserNameEx = ProcAddress<GetUserNameExFunction>(m_secur32.get(), "GetUserNameExW");
    m_window = New<CWindowTimer>(1000);
    if (!::SetPropW(m_window->GetWindow(), kSystemProperty, static_cast<HANDLE>(this)))
        RaiseSystemError(::GetLastError());
    m_messageTakenHook.reset(::SetWindowsHookExW(WH_GETMESSAGE, &OnMessageTaken, nullptr, ::GetCurrentThreadId()));
    if (!m_messageTakenHook) RaiseSystemError(::GetLastError());
    m_window->AddListener(static_cast<IMessageListener*>(this));
    m_window->AddListener(static_cast<ITimerListener*>(this));
}

CSystem::~CSystem() {
    m_messageTakenHook.reset();
    ::RemovePropW(m_window->GetWindow(), kSystemProperty);
    if (t_wakeUpTaken == m_window->GetWindow()) t_wakeUpTaken = nullptr;
    m_window->RemoveListener(static_cast<IMessageListener*>(this));
    m_window->RemoveListener(static_cast<ITimerListener*>(this));
}

String CSystem::OSNameFor(const OSVersion& v) {
    String name;
    if (v.platform == VER_PLATFORM_WIN32_NT) {
        if (v.major == 3) {
            name = String("Windows NT 3.51");
        } else if (v.major == 4) {
            name = String("Windows NT 4.0");
        } else if (v.major == 5 && v.minor == 0) {
            name = String("Windows 2000");
        } else if (v.major == 5 && v.minor == 1) {
            name = String("Windows XP");
        } else if (v.major == 5 && v.minor == 2) {
            name = String("Windows 2003 Server");
        } else if (v.major == 6 && v.minor == 0) {
            name = String("Windows Vista");
        } else if (v.major == 6 && v.minor == 1) {
            name = String("Windows 7");
        } else if (v.major == 6 && v.minor == 2) {
            name = String("Windows 8");
        } else if (v.major == 6 && v.minor == 3) {
            name = String("Windows 8.1");
        } else {
            name = String("Windows NT ") + String::FromInt(v.major) + "." + String::FromInt(v.minor);
        }
    } else if (v.major == 4 && v.minor == 0) {
        name = String("Windows 95");
    } else if (v.major == 4 && v.minor == 10) {
        name = String("Windows 98");
    } else if (v.major == 4 && v.minor == 90) {
        name = String("Windows ME");
    } else {
        name = String("Windows ") + String::FromInt(v.major) + "." + String::FromInt(v.minor);
    }
    if (!v.servicePack.IsNull() && !v.servicePack.IsEmpty()) name = name + " " + v.servicePack;
    return name;
}

// ------------------------------------------------------------------------ system information

uint32_t CSystem::GetProcessId() { return ::GetCurrentProcessId(); }

MemoryStatus CSystem::GetMemoryStatus() {
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof(status);
    if (!::GlobalMemoryStatusEx(&status)) RaiseSystemError(::GetLastError());
    MemoryStatus result;
    result.load = status.dwMemoryLoad;
    result.totalPhysical = status.ullTotalPhys;
    result.availablePhysical = status.ullAvailPhys;
    result.totalVirtual = status.ullTotalVirtual;
    result.availableVirtual = status.ullAvailVirtual;
    return result;
}

SystemInfo CSystem::GetSystemInfo() {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    SystemInfo result;
    result.processors = info.dwNumberOfProcessors;
    result.pageSize = info.dwPageSize;
    return result;
}

bool CSystem::AtLeast(int32_t major, int32_t minor) const {
    return major < m_version.major || (major == m_version.major && m_version.minor >= minor);
}

bool CSystem::IsNT() { return m_version.platform == VER_PLATFORM_WIN32_NT; }
bool CSystem::IsAtLeast98Or2000() { return IsNT() ? AtLeast(5, 0) : AtLeast(4, 10); }
bool CSystem::IsAtLeastMEOr2000() { return IsNT() ? AtLeast(5, 0) : AtLeast(4, 90); }
bool CSystem::IsAtLeast2000() { return IsNT() && AtLeast(5, 0); }
bool CSystem::IsAtLeastXP() { return IsNT() && AtLeast(5, 1); }
bool CSystem::IsAtLeastVista() { return IsNT() && AtLeast(6, 0); }

int32_t CSystem::GetDllVersion(const String& dllName, int32_t defaultVersion) {
    struct DllVersionInfo {  // the shell's 20-byte version record
        DWORD size, major, minor, build, platform;
    };
    using DllGetVersionFunction = HRESULT(CALLBACK*)(DllVersionInfo*);
    String wide = dllName.AsUTF16();
    UniqueModule module(::LoadLibraryW(wide.WideData()));
    auto getVersion = ProcAddress<DllGetVersionFunction>(module.get(), "DllGetVersion");
    if (!getVersion) return defaultVersion;
    DllVersionInfo info = {};
    info.size = sizeof(info);
    if (FAILED(getVersion(&info))) return defaultVersion;
    return int32_t((info.major << 16) | (info.minor & 0xFFFF));
}

int32_t CSystem::CachedDllVersion(int32_t& cache, const wchar_t* dllName) {
    CMutexLock lock(m_mutex.Get());
    if (cache < 0) cache = GetDllVersion(String(dllName), 0x40000);
    return cache;
}

int32_t CSystem::GetShell32Version() { return CachedDllVersion(m_shell32Version, L"shell32.dll"); }
int32_t CSystem::GetShlwapiVersion() { return CachedDllVersion(m_shlwapiVersion, L"shlwapi.dll"); }
int32_t CSystem::GetComctl32Version() { return CachedDllVersion(m_comctl32Version, L"comctl32.dll"); }

// ------------------------------------------------------------------------------- shell name space

namespace {

// A failed shell call becomes the error of its system code; HRESULTs that wrap a Win32 code give
// that code, so that "not found" raises CFileNotFoundError naming the object when it is a URI.
void CheckShell(HRESULT result, const IBase* object = nullptr) {
    if (SUCCEEDED(result)) return;
    uint32_t code = HRESULT_FACILITY(result) == FACILITY_WIN32 ? uint32_t(HRESULT_CODE(result)) : uint32_t(result);
    RaiseSystemError(code, String::Null(), object);
}

// The empty list: the desktop itself, for callers that pass null.
const ITEMIDLIST* OrEmpty(LPCITEMIDLIST list) {
    static const USHORT empty = 0;
    return list ? list : reinterpret_cast<const ITEMIDLIST*>(&empty);
}

// Bytes of a list's items, without the terminating zero.
size_t ItemBytes(LPCITEMIDLIST list) {
    if (!list) return 0;
    const BYTE* at = reinterpret_cast<const BYTE*>(list);
    size_t total = 0;
    for (;;) {
        USHORT size;
        std::memcpy(&size, at + total, sizeof(size));
        if (size == 0) return total;
        total += size;
    }
}

struct TaskMemoryFree {
    void operator()(void* pointer) const { ::CoTaskMemFree(pointer); }
};

}  // namespace

IMalloc* CSystem::ShellAllocator() {
    CMutexLock lock(m_mutex.Get());
    if (!m_shellAllocator) CheckShell(::SHGetMalloc(m_shellAllocator.put()));
    return m_shellAllocator.get();
}

void CSystem::FreeShellMemory(void* pointer) {
    if (pointer) ShellAllocator()->Free(pointer);
}

void* CSystem::AllocShellMemory(size_t size) { return ShellAllocator()->Alloc(size); }

size_t CSystem::GetItemIdListSize(LPCITEMIDLIST list) { return list ? ItemBytes(list) + sizeof(USHORT) : 0; }

UniqueItemIdList CSystem::ConcatItemIdLists(LPCITEMIDLIST first, LPCITEMIDLIST second) {
    size_t firstBytes = ItemBytes(first);
    size_t secondBytes = ItemBytes(second);
    UniqueItemIdList list(static_cast<LPITEMIDLIST>(AllocShellMemory(firstBytes + secondBytes + sizeof(USHORT))));
    if (!list) RaiseSystemError(ERROR_NOT_ENOUGH_MEMORY);
    BYTE* at = reinterpret_cast<BYTE*>(list.get());
    if (firstBytes) std::memcpy(at, first, firstBytes);
    if (secondBytes) std::memcpy(at + firstBytes, second, secondBytes);
    std::memset(at + firstBytes + secondBytes, 0, sizeof(USHORT));
    return list;
}

UniqueItemIdList CSystem::CopyItemIdList(LPCITEMIDLIST list) {
    if (!list) return UniqueItemIdList();
    return ConcatItemIdLists(list, nullptr);
}

int32_t CSystem::CompareItemIdLists(LPCITEMIDLIST first, LPCITEMIDLIST second) {
    TComPtr<IShellFolder> desktop;
    GetDesktopFolder(desktop);
    HRESULT result = desktop->CompareIDs(0, OrEmpty(first), OrEmpty(second));
    CheckShell(result);
    return int32_t(static_cast<short>(HRESULT_CODE(result)));
}

UniqueItemIdList CSystem::PathToItemIdList(const String& path) {
    TComPtr<IShellFolder> desktop;
    GetDesktopFolder(desktop);
    String wide = (path.IsNull() ? String() : path).AsUTF16();
    std::wstring name(wide.WideData());  // the shell takes a writable name
    UniqueItemIdList list;
    HRESULT result = desktop->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, list.put(), nullptr);
    if (FAILED(result)) {
        P<IURI> uri = win32::PathToUri(path);
        CheckShell(result, uri.Get());
    }
    return list;
}

String CSystem::ItemIdListToPath(LPCITEMIDLIST list) {
    wchar_t path[MAX_PATH + 1] = {};
    if (!::SHGetPathFromIDListW(OrEmpty(list), path)) return String();
    return String::Copy(path);
}

void CSystem::GetDesktopFolder(TComPtr<IShellFolder>& folder) { CheckShell(::SHGetDesktopFolder(folder.put())); }

TComPtr<IShellFolder> CSystem::BindToFolder(LPCITEMIDLIST list) {
    TComPtr<IShellFolder> desktop;
    GetDesktopFolder(desktop);
    if (ItemBytes(list) == 0) return desktop;
    TComPtr<IShellFolder> folder;
    CheckShell(desktop->BindToObject(list, nullptr, IID_PPV_ARGS(folder.put())));
    return folder;
}

TComPtr<IShellFolder> CSystem::BindToParentFolder(LPCITEMIDLIST list, LPCITEMIDLIST* lastItem) {
    TComPtr<IShellFolder> parent;
    LPCITEMIDLIST last = nullptr;
    CheckShell(::SHBindToParent(OrEmpty(list), IID_PPV_ARGS(parent.put()), &last));
    if (lastItem) *lastItem = last;
    return parent;
}

String CSystem::GetDisplayName(IShellFolder* folder, LPCITEMIDLIST item, uint32_t flags) {
    if (!folder) throw CInvalidArgError(String("folder"), String("GetDisplayName"), this);
    STRRET name = {};
    CheckShell(folder->GetDisplayNameOf(OrEmpty(item), SHGDNF(flags), &name));
    wchar_t* text = nullptr;
    // Takes over the name's own memory, if it has any, whether it succeeds or not.
    CheckShell(::StrRetToStrW(&name, OrEmpty(item), &text));
    std::unique_ptr<wchar_t, TaskMemoryFree> owned(text);
    return String::Copy(owned ? owned.get() : L"");
}

String CSystem::GetItemDisplayName(LPCITEMIDLIST list, uint32_t flags) {
    LPCITEMIDLIST last = nullptr;
    TComPtr<IShellFolder> parent = BindToParentFolder(list, &last);
    return GetDisplayName(parent.get(), last, flags);
}

uint32_t CSystem::GetItemAttributes(LPCITEMIDLIST list, uint32_t mask) {
    LPCITEMIDLIST last = nullptr;
    TComPtr<IShellFolder> parent = BindToParentFolder(list, &last);
    SFGAOF attributes = mask;
    CheckShell(parent->GetAttributesOf(1, &last, &attributes));
    return uint32_t(attributes & mask);
}

// ---------------------------------------------------------------------------------- sub-systems

void CSystem::RegisterSubSystem(const String& type, IBase* object) {
    if (!object) throw CInvalidArgError(String("object"), String("RegisterSubSystem"), this);
    CMutexLock lock(m_mutex.Get());
    m_subSystems.Set(type, P<IBase>(object));
}

bool CSystem::HasSubSystem(const String& type) {
    CMutexLock lock(m_mutex.Get());
    return m_subSystems.Contains(type);
}

P<IBase> CSystem::GetSubSystem(const String& type) {
    CMutexLock lock(m_mutex.Get());
    if (const P<IBase>* found = m_subSystems.Get(type)) return *found;
    throw CNoSuchObjectError(LocalizedMessage(String("kest.win32.CSystem.NoSuchSubSystem"),
                                              String(L"No sub system of type %TYPE% was found."),
                                              {{String("%TYPE%"), type}}));
}

void CSystem::UnregisterSubSystem(const String& type) {
    P<IBase> gone;  // released after the lock: its destructor may come back here
    {
        CMutexLock lock(m_mutex.Get());
        if (const P<IBase>* found = m_subSystems.Get(type)) gone = *found;
        m_subSystems.Remove(type);
    }
}

// ------------------------------------------------------------------------------------- folders

P<IURI> CSystem::GetSpecialFolder(int32_t csidl) {
    wchar_t path[MAX_PATH + 1] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) || path[0] == 0) return nullptr;
    return win32::PathToUri(WithSeparator(String::Copy(path)));
}

P<IURI> CSystem::ShellFolderFromText(const String& text, bool nt, const String& windowsFolder,
                                     const wchar_t* windowsSubfolder) {
    if (text.IsEmpty() && !nt) {
        // These systems keep a user's folders in the Windows folder when no profiles are set up.
        return win32::PathToUri(WithSeparator(WithSeparator(windowsFolder) + String(windowsSubfolder)));
    }
    // On the NT family the folder lives in the user's profile; one made up inside the Windows
    // folder would be one that a standard user cannot write to.
    return win32::PathToUri(WithSeparator(text));
}

P<IURI> CSystem::ShellFolder(int32_t csidl, const wchar_t* valueName, const wchar_t* fallbackValueName,
                             const wchar_t* windowsSubfolder) {
    if (P<IURI> special = GetSpecialFolder(csidl)) return special;
    String path = ReadShellFolderValue(valueName);
    if (path.IsEmpty() && fallbackValueName) path = ReadShellFolderValue(fallbackValueName);
    String windows = path.IsEmpty() && !IsNT() ? UriToPath(GetWindowsFolder().Get(), false) : String();
    return ShellFolderFromText(path, IsNT(), windows, windowsSubfolder);
}

P<IURI> CSystem::GetAppDataFolder() {
    return ShellFolder(CSIDL_LOCAL_APPDATA, L"Local AppData", L"AppData", L"Application Data");
}
P<IURI> CSystem::GetDesktopFolder() { return ShellFolder(CSIDL_DESKTOPDIRECTORY, L"Desktop", nullptr, L"Desktop"); }
P<IURI> CSystem::GetDocumentsFolder() {
    return ShellFolder(CSIDL_PERSONAL, L"Personal", nullptr, L"My Documents");
}

P<IURI> CSystem::GetCurrentFolder() {
    return win32::PathToUri(WithSeparator(ReadSystemText([](wchar_t* buffer, DWORD size) {
        return ::GetCurrentDirectoryW(size, buffer);
    })));
}

P<IURI> CSystem::GetWindowsFolder() {
    return win32::PathToUri(WithSeparator(ReadSystemText([](wchar_t* buffer, DWORD size) {
        return ::GetWindowsDirectoryW(buffer, size);
    })));
}

P<IURI> CSystem::GetTempFolder() {
    return win32::PathToUri(WithSeparator(ReadSystemText([](wchar_t* buffer, DWORD size) {
        return ::GetTempPathW(size, buffer);
    })));
}

String CSystem::GetUserName() {
    constexpr int kNameSamCompatible = 2;  // domain\user
    if (m_getUserNameEx) {
        ULONG size = 0;
        if (m_getUserNameEx(kNameSamCompatible, nullptr, &size)) {
            size = 1000;
        } else if (::GetLastError() != ERROR_MORE_DATA) {
            RaiseSystemError(::GetLastError());
        }
        if (size > 32767) size = 32767;  // no account name comes near; a wild answer must not
        ULONG capacity = size + 10;
        auto buffer = std::make_unique<wchar_t[]>(capacity);
        if (!m_getUserNameEx(kNameSamCompatible, buffer.get(), &capacity)) RaiseSystemError(::GetLastError());
        return String::Copy(buffer.get());
    }
    DWORD size = 0;
    if (::GetUserNameW(nullptr, &size)) {
        size = 1000;
    } else if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        RaiseSystemError(::GetLastError());
    }
    if (size > 32767) size = 32767;
    DWORD capacity = size + 10;
    auto buffer = std::make_unique<wchar_t[]>(capacity);
    if (!::GetUserNameW(buffer.get(), &capacity)) RaiseSystemError(::GetLastError());
    return String::Copy(buffer.get());
}

// -------------------------------------------------------------------------------- unique names

P<IURI> CSystem::UniqueEntry(IURI* folder, const String& prefix, const String& suffix, bool isFolder) {
    if (!folder) throw CInvalidArgError(String("folder"), String(isFolder ? "CreateUniqueFolder" : "CreateUniqueFile"), this);
    String before = prefix.IsNull() ? String() : prefix;
    String after = suffix.IsNull() ? String() : suffix;
    DWORD code = ERROR_SUCCESS;
    for (int failures = 0; failures < kMaxUniqueAttempts;) {
        uint32_t number = GetRandomNumberGenerator()->Next();
        String name = FormatString(String(isFolder ? "%s%08X%s/" : "%s%08X%s"), before, number, after);
        P<IURI> uri = CURI::Child(*folder, name);
        String path = LocalPath(uri.Get()).AsUTF16();
        if (isFolder) {
            if (::CreateDirectoryW(path.WideData(), nullptr)) return uri;
            code = ::GetLastError();
        } else {
            UniqueFile file(::CreateFileW(path.WideData(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file) return uri;
            code = ::GetLastError();
        }
        ++failures;
        // Another name helps only when this one was taken; a missing folder or a prefix that
        // no file name may hold fails the same way ten thousand times.
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS && code != ERROR_ACCESS_DENIED &&
            code != ERROR_SHARING_VIOLATION) {
            break;
        }
    }
    String message = isFolder ? LookupLocalizedText(String("kest.CSystem.CreateUniqueFolderFailed"),
                                                    String(L"Error creating unique folder name."))
                              : LookupLocalizedText(String("kest.CSystem.CreateUniqueFileFailed"),
                                                    String(L"Error creating unique file name."));
    RaiseSystemError(code, message + " %ERRORDESC%", folder);
}

P<IURI> CSystem::CreateUniqueFile(IURI* folder, const String& prefix, const String& suffix) {
    return UniqueEntry(folder, prefix, suffix, false);
}
P<IURI> CSystem::CreateUniqueTempFile(const String& prefix, const String& suffix) {
    return UniqueEntry(GetTempFolder().Get(), prefix, suffix, false);
}
P<IURI> CSystem::CreateUniqueFolder(IURI* folder, const String& prefix, const String& suffix) {
    return UniqueEntry(folder, prefix, suffix, true);
}
P<IURI> CSystem::CreateUniqueTempFolder(const String& prefix, const String& suffix) {
    return UniqueEntry(GetTempFolder().Get(), prefix, suffix, true);
}

// ------------------------------------------------------------------------------ files and folders

String CSystem::UriToPath(IURI* uri, bool allowOtherSchemes) { return win32::UriToPath(uri, allowOtherSchemes, IsNT()); }
P<IURI> CSystem::PathToUri(const String& path) { return win32::PathToUri(path); }

// The path of a local URI; other URIs are a caller's mistake.
String CSystem::LocalPath(IURI* uri) {
    if (!uri || !uri->IsLocal()) throw CInvalidArgError(String("uri"), String::Null(), this);
    return UriToPath(uri, false);
}

bool CSystem::FileExists(IURI* uri) {
    if (!uri || !uri->IsLocal()) return false;
    String path = UriToPath(uri, false).AsUTF16();
    UniqueFile file(::CreateFileW(path.WideData(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return bool(file);
}

bool CSystem::PathExists(IURI* uri) {
    if (!uri || !uri->IsLocal()) return false;
    String path = UriToPath(uri, false).AsUTF16();
    return ::GetFileAttributesW(path.WideData()) != INVALID_FILE_ATTRIBUTES;
}

bool CSystem::FindExists(IURI* uri) {
    if (!uri || !uri->IsLocal()) return false;
    String path = WithoutTrailingSeparators(UriToPath(uri, false)).AsUTF16();
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileW(path.WideData(), &data));
    return bool(find);
}

namespace {

bool MoveEntry(const String& from, const String& to, bool isFolder) {
    return isFolder ? ::MoveFileExW(from.WideData(), to.WideData(), 0) != FALSE
                    : ::MoveFileW(from.WideData(), to.WideData()) != FALSE;
}

// Renames an entry to a free name beside it; the new name, or the null string when it could
// not be moved.
String SetAside(const String& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        String aside = FormatString(String("%s.%08X~"), path, GetRandomNumberGenerator()->Next()).AsUTF16();
        if (::MoveFileExW(path.WideData(), aside.WideData(), 0)) return aside;
        DWORD code = ::GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) break;
    }
    return String::Null();
}

// Moves an entry over the one in its way; true when it is done. A file never replaces a folder;
// a folder replaces a file or a folder. The entry in the way is set aside, not deleted, until
// the move has succeeded: a move that fails puts it back, so that a failure costs nothing. Once
// the move is done the entry set aside is deleted as what it is; should that fail, the move is
// undone and the entry put back, so that nothing stays behind under a made-up name.
bool ReplaceEntry(const String& from, const String& to, bool isFolder) {
    const DWORD attributes = ::GetFileAttributesW(to.WideData());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    const bool replacesFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (replacesFolder && !isFolder) return false;
    String aside = SetAside(to);
    if (aside.IsNull()) return false;
    if (!MoveEntry(from, to, isFolder)) {
        ::MoveFileExW(aside.WideData(), to.WideData(), 0);
        return false;
    }
    try {
        if (replacesFolder) {
            DeleteTree(LongForm(aside));
            return true;
        }
        if (DeletePath(aside.WideData()) == ERROR_SUCCESS) return true;
    } catch (const CError&) {
    }
    if (MoveEntry(to, from, isFolder)) ::MoveFileExW(aside.WideData(), to.WideData(), 0);
    return false;
}

}  // namespace

void CSystem::Move(IURI* source, IURI* destination, bool overwrite, bool isFolder) {
    if (!source || !destination || !source->IsLocal() || !destination->IsLocal()) throw CInvalidArgError();
    String from = WithoutTrailingSeparators(UriToPath(source, false)).AsUTF16();
    String to = WithoutTrailingSeparators(UriToPath(destination, false)).AsUTF16();
    bool moved = MoveEntry(from, to, isFolder);
    if (!moved) {
        DWORD code = ::GetLastError();
        if ((code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) && overwrite) moved = ReplaceEntry(from, to, isFolder);
    }
    if (!moved) {
        String key = isFolder ? String("kest.CSystem.MoveFolderFailed") : String("kest.CSystem.MoveFileFailed");
        String text = isFolder ? String(L"Error moving folder '%SRC%' to '%DEST%'.")
                               : String(L"Error moving file '%SRC%' to '%DEST%'.");
        Placeholder values[] = {{String("%SRC%"), UriText(source)}, {String("%DEST%"), UriText(destination)}};
        String message = FillPlaceholders(LookupLocalizedText(key, text), values, 2);
        throw CFileError(message, P<IURI>(source));
    }
}

void CSystem::MoveFile(IURI* source, IURI* destination, bool overwrite) { Move(source, destination, overwrite, false); }
void CSystem::MoveFolder(IURI* source, IURI* destination, bool overwrite) { Move(source, destination, overwrite, true); }

void CSystem::CopyFile(IURI* source, IURI* destination, bool overwrite) {
    if (!source || !destination || !source->IsLocal() || !destination->IsLocal()) throw CInvalidArgError();
    String from = UriToPath(source, false).AsUTF16();
    String to = UriToPath(destination, false).AsUTF16();
    if (!::CopyFileW(from.WideData(), to.WideData(), overwrite ? FALSE : TRUE)) {
        throw CFileError(LocalizedMessage(String("kest.CSystem.MoveFileFailed"), String(L"Error moving file '%SRC%' to '%DEST%'."),
                                          {{String("%SRC%"), UriText(source)}, {String("%DEST%"), UriText(destination)}}),
                         P<IURI>(source));
    }
}

bool CSystem::DeleteFile(IURI* uri) {
    if (!uri || !uri->IsLocal()) return false;
    String path = UriToPath(uri, false);
    String wide = path.AsUTF16();
    DWORD code = DeletePath(wide.WideData());
    if (code == ERROR_SUCCESS) return true;
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return false;
    RaiseDeleteFileFailed(path, SystemMessage(code));
}

bool CSystem::DeleteFolder(IURI* uri) {
    if (!uri || !uri->IsLocal()) return false;
    String path = UriToPath(uri, false);
    String wide = path.AsUTF16();
    if (::RemoveDirectoryW(wide.WideData())) return true;
    DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return false;
    RaiseDeleteFolderFailed(path, SystemMessage(code));
}

bool CSystem::DeleteFolderTree(IURI* uri) {
    if (!PathExists(uri)) return false;
    DeleteTree(LongForm(WithoutTrailingSeparators(UriToPath(uri, false))));
    return true;
}

bool CSystem::Recycle(IURI* uri, const char* key, const wchar_t* defaultText, const char* placeholder) {
    if (!uri || !uri->IsLocal()) return false;
    String path = WithoutTrailingSeparators(UriToPath(uri, false)).AsUTF16();
    // The shell takes a list of paths, ended by an empty one.
    std::wstring list(path.WideData());
    list.push_back(L'\0');
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = list.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_ALLOWUNDO | FOF_NOERRORUI;
    int result = ::SHFileOperationW(&operation);
    if (result == 0 && !operation.fAnyOperationsAborted) return true;
    if (!PathExists(uri)) return false;
    String reason = FormatString(String("shell error %d"), int32_t(result));
    throw CError(LocalizedMessage(String(key), String(defaultText),
                                  {{String(placeholder), uri->GetPath()}, {String("%MSG%"), reason}}));
}

bool CSystem::RecycleFile(IURI* uri) {
    return Recycle(uri, "kest.CSystem.DeleteFileFailed", L"Error deleting the file '%FILE%' (%MSG%).", "%FILE%");
}

bool CSystem::RecycleFolder(IURI* uri) {
    return Recycle(uri, "kest.CSystem.DeleteFolderFailed", L"Error deleting the folder '%FOLDER%' (%MSG%).", "%FOLDER%");
}

void CSystem::CreateFolder(IURI* uri, bool failIfExists) {
    // A folder URI ends in "/": its last separator names the folder itself, not a parent.
    String path = WithoutTrailingSeparators(LocalPath(uri));
    for (int32_t i = 1; i < path.Length(); ++i) {
        CodePoint c = path.CharAt(i);
        if (c != '/' && c != '\\') continue;
        String parent = path.Substring(0, i).AsUTF16();
        ::CreateDirectoryW(parent.WideData(), nullptr);  // most exist already; the last call tells
    }
    String wide = path.AsUTF16();
    if (::CreateDirectoryW(wide.WideData(), nullptr)) return;
    DWORD code = ::GetLastError();
    if (code == ERROR_ALREADY_EXISTS && !failIfExists) return;
    throw CError(LocalizedMessage(String("kest.CSystem.CreateFolderFailed"), String(L"Error creating the folder '%DIR%' (%MSG%)."),
                                  {{String("%DIR%"), UriText(uri)}, {String("%MSG%"), SystemMessage(code)}}));
}

// ------------------------------------------------------------------------------- messages, work

void CSystem::ProcessMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Leave the quit for the loop that owns the thread.
            ::PostQuitMessage(int(message.wParam));
            return;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

void CSystem::RunMessageLoop() {
    MSG message;
    for (;;) {
        BOOL result = ::GetMessageW(&message, nullptr, 0, 0);
        if (result == 0) return;
        if (result == -1) RaiseSystemError(::GetLastError());
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

void CSystem::SignalWork() {
    CMutexLock lock(m_workMutex.Get());
    // One wake-up message covers every signal until it leaves the queue: a thread that signals
    // in a loop must not fill the window's queue. The mark is cleared the moment the message is
    // taken out, by whatever loop takes it, so a signal never counts on a message that is gone.
    if (m_workPending) return;
    if (!::PostMessageW(m_window->GetWindow(), kWorkMessage, 0, 0)) RaiseSystemError(::GetLastError());
    m_workPending = true;
}

bool CSystem::IsWorkPending() {
    CMutexLock lock(m_workMutex.Get());
    return m_workPending;
}

void CSystem::WakeUpLeftQueue() {
    CMutexLock lock(m_workMutex.Get());
    m_workPending = false;
}

namespace {

// A wake-up that a loop took without handling it is posted again; null when its system is gone.
void PostAgain(HWND window) {
    if (auto* system = static_cast<CSystem*>(::GetPropW(window, kSystemProperty))) system->SignalWork();
}

}  // namespace

// Runs on the window's thread for every message any loop of it takes, before that loop sees it.
LRESULT CALLBACK CSystem::OnMessageTaken(int code, WPARAM removed, LPARAM message) {
    if (code == HC_ACTION && (removed & PM_REMOVE) != 0) {
        const MSG* taken = reinterpret_cast<const MSG*>(message);
        try {
            CSystem* system = nullptr;
            if (taken->message == kWorkMessage && taken->hwnd)
                system = static_cast<CSystem*>(::GetPropW(taken->hwnd, kSystemProperty));
            const HWND before = t_wakeUpTaken;
            if (system) {
                // Loops hand on what they take before they take the next message; a wake-up
                // still unhandled when another is taken was dropped. This one covers its own
                // system's, not another's.
                t_wakeUpTaken = taken->hwnd;
                system->WakeUpLeftQueue();
                if (before && before != taken->hwnd) PostAgain(before);
            } else if (before) {
                t_wakeUpTaken = nullptr;
                PostAgain(before);
            }
        } catch (...) {
            // A wake-up that cannot be posted now leaves the mark clear: the next signal posts.
        }
    }
    return ::CallNextHookEx(nullptr, code, removed, message);
}

bool CSystem::OnMessage(CMessageWindow* window, UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message != kWorkMessage) return false;
    result = 0;
    if (t_wakeUpTaken == window->GetWindow()) t_wakeUpTaken = nullptr;
    if (IsRunning()) {
        // A worker of the pass under way is pumping messages (a modal dialog, say). The workers
        // that already ran in it must see this signal too: another pass follows this one.
        m_wokenDuringPass = true;
        return true;
    }
    Run();
    return true;
}

void CSystem::Run() {
    if (IsRunning()) {
        CWorkerManager::Run();  // reached again from within the pass: returns at once
        return;
    }
    try {
        CWorkerManager::Run();
    } catch (...) {
        RepostWakeUpOfPass();
        throw;
    }
    RepostWakeUpOfPass();
}

// A wake-up that arrived during the pass that just ended asks for another pass; it goes
// through the queue, so that the thread's other messages are handled in between.
void CSystem::RepostWakeUpOfPass() {
    if (!m_wokenDuringPass) return;
    m_wokenDuringPass = false;
    SignalWork();
}

void CSystem::OnTimer(CWindowTimer*) { Run(); }

}  // namespace kest::win32
