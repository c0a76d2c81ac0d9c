// A drive-access library that records the key it was given into the file named by REC_SPTI_OUT.
#include "kest/win32/Handles.h"

#include <windows.h>

#include <string>

extern "C" __declspec(dllexport) int __cdecl InitWmiDrives(const wchar_t* drivesKey) {
    wchar_t path[1024];
    DWORD n = ::GetEnvironmentVariableW(L"REC_SPTI_OUT", path, 1024);
    if (n == 0 || n >= 1024 || !drivesKey) return 0;
    kest::win32::UniqueFile file(::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    std::wstring line = std::wstring(L"InitWmiDrives ") + drivesKey + L"\n";
    DWORD written = 0;
    ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written, nullptr);
    return 1;
}
