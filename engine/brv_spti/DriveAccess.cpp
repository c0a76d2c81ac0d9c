// Drive-access stand-in: lists the CD/DVD drives under the key the shell names.
#include "kest/win32/Handles.h"

#include <windows.h>

#include <string>
#include <vector>

extern "C" __declspec(dllexport) int __cdecl InitWmiDrives(const wchar_t* drivesKey) {
    if (!drivesKey) return 0;
    kest::win32::UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, drivesKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return 0;
    // Forget drives from an earlier start; the list is rebuilt each time.
    for (;;) {
        wchar_t name[256];
        DWORD length = 256;
        if (::RegEnumValueW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (::RegDeleteValueW(key.get(), name) != ERROR_SUCCESS) break;
    }
    wchar_t roots[512] = {};
    DWORD n = ::GetLogicalDriveStringsW(511, roots);
    if (n == 0 || n > 511) return 0;
    int count = 0;
    for (const wchar_t* root = roots; *root; root += wcslen(root) + 1) {
        if (::GetDriveTypeW(root) != DRIVE_CDROM) continue;
        DWORD bytes = static_cast<DWORD>((wcslen(root) + 1) * sizeof(wchar_t));
        if (::RegSetValueExW(key.get(), root, 0, REG_SZ, reinterpret_cast<const BYTE*>(root), bytes) == ERROR_SUCCESS)
            ++count;
    }
    return count;
}
