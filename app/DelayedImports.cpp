#include "app/DelayedImports.h"

#include "app/Framework.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <iterator>
#include <string>
#include <type_traits>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace delayed_imports {
namespace {

// Stand-ins: each has the signature of the function it stands in for (checked below) and
// answers that function's own failure, with ERROR_PROC_NOT_FOUND as the last error where the
// function reports one that way.

BOOL WINAPI NoInitCommonControlsEx(const INITCOMMONCONTROLSEX*) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
}

LPWSTR* WINAPI NoCommandLineToArgvW(LPCWSTR, int* count) {
    if (count) *count = 0;
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

HRESULT WINAPI NoSHBindToParent(PCIDLIST_ABSOLUTE, REFIID, void** out, PCUITEMID_CHILD* last) {
    if (out) *out = nullptr;
    if (last) *last = nullptr;
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

int WINAPI NoSHFileOperationW(LPSHFILEOPSTRUCTW operation) {
    if (operation) operation->fAnyOperationsAborted = TRUE;
    return ERROR_PROC_NOT_FOUND;
}

HRESULT WINAPI NoSHGetDesktopFolder(IShellFolder** folder) {
    if (folder) *folder = nullptr;
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

HRESULT WINAPI NoSHGetFolderPathW(HWND, int, HANDLE, DWORD, LPWSTR path) {
    if (path) path[0] = L'\0';
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

HRESULT WINAPI NoSHGetMalloc(IMalloc** allocator) {
    if (allocator) *allocator = nullptr;
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

BOOL WINAPI NoSHGetPathFromIDListW(PCIDLIST_ABSOLUTE, LPWSTR path) {
    if (path) path[0] = L'\0';
    return FALSE;
}

HINSTANCE WINAPI NoShellExecuteW(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT) {
    // The shell answers its error codes (32 and below) in the handle's place.
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_DLLNOTFOUND));
}

// Its result type differs between the Windows headers (DWORD or LSTATUS).
decltype(::SHDeleteKeyW(HKEY{}, LPCWSTR{})) WINAPI NoSHDeleteKeyW(HKEY, LPCWSTR) {
    return ERROR_PROC_NOT_FOUND;
}

int WINAPI NoStrCmpLogicalW(PCWSTR left, PCWSTR right) {
    // Ordering still works, only without the numbers' values.
    return ::lstrcmpiW(left ? left : L"", right ? right : L"");
}

HRESULT WINAPI NoStrRetToStrW(STRRET*, PCUITEMID_CHILD, LPWSTR* text) {
    if (text) *text = nullptr;
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

DWORD WINAPI NoGetFileVersionInfoSizeW(LPCWSTR, LPDWORD handle) {
    if (handle) *handle = 0;
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return 0;
}

BOOL WINAPI NoGetFileVersionInfoW(LPCWSTR, DWORD, DWORD, LPVOID) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
}

BOOL WINAPI NoVerQueryValueW(LPCVOID, LPCWSTR, LPVOID* value, PUINT length) {
    if (value) *value = nullptr;
    if (length) *length = 0;
    return FALSE;
}

// A stand-in must be callable exactly as the real function is: the same parameters, the same
// result, the same calling convention (in the 32-bit program the callee removes its arguments).
template <typename Real, typename Stand>
FARPROC Entry(Stand stand) {
    static_assert(std::is_same_v<Real, Stand>, "a stand-in differs from the function it stands in for");
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(stand));
}

const StandInEntry kStandIns[] = {
    {"InitCommonControlsEx", Entry<decltype(&::InitCommonControlsEx)>(&NoInitCommonControlsEx)},
    {"CommandLineToArgvW", Entry<decltype(&::CommandLineToArgvW)>(&NoCommandLineToArgvW)},
    {"SHBindToParent", Entry<decltype(&::SHBindToParent)>(&NoSHBindToParent)},
    {"SHFileOperationW", Entry<decltype(&::SHFileOperationW)>(&NoSHFileOperationW)},
    {"SHGetDesktopFolder", Entry<decltype(&::SHGetDesktopFolder)>(&NoSHGetDesktopFolder)},
    {"SHGetFolderPathW", Entry<decltype(&::SHGetFolderPathW)>(&NoSHGetFolderPathW)},
    {"SHGetMalloc", Entry<decltype(&::SHGetMalloc)>(&NoSHGetMalloc)},
    {"SHGetPathFromIDListW", Entry<decltype(&::SHGetPathFromIDListW)>(&NoSHGetPathFromIDListW)},
    {"ShellExecuteW", Entry<decltype(&::ShellExecuteW)>(&NoShellExecuteW)},
    {"SHDeleteKeyW", Entry<decltype(&::SHDeleteKeyW)>(&NoSHDeleteKeyW)},
    {"StrCmpLogicalW", Entry<decltype(&::StrCmpLogicalW)>(&NoStrCmpLogicalW)},
    {"StrRetToStrW", Entry<decltype(&::StrRetToStrW)>(&NoStrRetToStrW)},
    {"GetFileVersionInfoSizeW", Entry<decltype(&::GetFileVersionInfoSizeW)>(&NoGetFileVersionInfoSizeW)},
    {"GetFileVersionInfoW", Entry<decltype(&::GetFileVersionInfoW)>(&NoGetFileVersionInfoW)},
    {"VerQueryValueW", Entry<decltype(&::VerQueryValueW)>(&NoVerQueryValueW)},
};

// What a slot gets for a function without a stand-in, after the message: the program cannot
// go on without the function and ends here, whatever the caller passed.
void WINAPI EndProgram() {
    ::ExitProcess(1);
}

// The table's addresses are offsets from the module's base (an old-style table holds
// addresses, read the same way with a base of zero).
template <typename T>
T* At(const ImgDelayDescr& descriptor, DWORD address) {
    auto* base = (descriptor.grAttrs & dlattrRva) ? reinterpret_cast<BYTE*>(&__ImageBase) : nullptr;
    return reinterpret_cast<T*>(base + address);
}

std::wstring Widen(const char* text) {
    std::wstring out;
    for (; text && *text; ++text) out += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return out;
}

// Only the system folder's copy: a library of the same name beside the program, or in the
// current folder, is never loaded in its place.
HMODULE LoadFromSystemFolder(const char* name) {
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\" + Widen(name);
    return ::LoadLibraryW(path.c_str());
}

// The library of a table, loaded once: its handle is kept where the table says.
HMODULE Library(const ImgDelayDescr& descriptor) {
    auto* kept = At<HMODULE>(descriptor, descriptor.rvaHmod);
    if (HMODULE module = static_cast<HMODULE>(::InterlockedCompareExchangePointer(
            reinterpret_cast<PVOID volatile*>(kept), nullptr, nullptr)))
        return module;
    HMODULE module = LoadFromSystemFolder(At<const char>(descriptor, descriptor.rvaDLLName));
    if (!module) return nullptr;
    // Another thread may have got there first; its handle stays, ours goes.
    if (PVOID earlier = ::InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile*>(kept), module, nullptr)) {
        ::FreeLibrary(module);
        return static_cast<HMODULE>(earlier);
    }
    return module;
}

}  // namespace

const StandInEntry* StandIns(size_t& count) {
    count = std::size(kStandIns);
    return kStandIns;
}

FARPROC StandIn(std::string_view function) {
    for (const StandInEntry& entry : kStandIns)
        if (function == entry.name) return entry.function;
    return nullptr;
}

FARPROC Resolve(const ImgDelayDescr* descriptor, FARPROC* slot) {
    const ImgDelayDescr& d = *descriptor;
    const size_t index = static_cast<size_t>(slot - At<FARPROC>(d, d.rvaIAT));
    const IMAGE_THUNK_DATA& entry = At<const IMAGE_THUNK_DATA>(d, d.rvaINT)[index];
    const char* library = At<const char>(d, d.rvaDLLName);

    std::string name;
    LPCSTR lookup = nullptr;
    if (IMAGE_SNAP_BY_ORDINAL(entry.u1.Ordinal)) {
        name = '#';
        name += std::to_string(IMAGE_ORDINAL(entry.u1.Ordinal));
        lookup = MAKEINTRESOURCEA(IMAGE_ORDINAL(entry.u1.Ordinal));
    } else {
        name = At<const IMAGE_IMPORT_BY_NAME>(d, static_cast<DWORD>(entry.u1.AddressOfData))->Name;
        lookup = name.c_str();
    }

    FARPROC function = nullptr;
    if (HMODULE module = Library(d)) function = ::GetProcAddress(module, lookup);
    if (!function) function = StandIn(name);
    if (!function) {
        // The loader's own message ("Could not load %DLLNAME%"), naming the function too.
        AfxMessageBox(L"Could not load " + Widen(library) + L" (" + Widen(name.c_str()) + L")", MB_OK | MB_ICONERROR);
        function = reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&EndProgram));
    }
    ::InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(slot), reinterpret_cast<PVOID>(function));
    return function;
}

}  // namespace delayed_imports

// The linker's stubs call this on the first call of each delayed function. Nothing may leave
// it as an exception: its caller is the stubs' own code, which has no way to pass one on.
extern "C" FARPROC WINAPI __delayLoadHelper2(const ImgDelayDescr* descriptor, FARPROC* slot) {
    try {
        return delayed_imports::Resolve(descriptor, slot);
    } catch (...) {
        ::ExitProcess(1);
    }
}
