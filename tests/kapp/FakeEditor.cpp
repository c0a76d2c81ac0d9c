// Stands in for the registry editor where the tests need one that fails: with "/e <file> <key>"
// it writes a line into the file and then exits with the code in KAPP_FAKE_EDITOR_EXIT (0 when
// unset); with KAPP_FAKE_EDITOR_HANG set it first waits far longer than anyone waits for it.
// With "/s <file>" it plays the user's other programs: it tries to change the file it is to
// import and writes into the file named by KAPP_FAKE_EDITOR_REPORT whether it could.
#include "kest/win32/Handles.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    wchar_t value[32] = {};
    if (::GetEnvironmentVariableW(L"KAPP_FAKE_EDITOR_HANG", value, 32) > 0) ::Sleep(120000);
    if (argc >= 3 && std::wcscmp(argv[1], L"/e") == 0) {
        kest::win32::UniqueFile file(
            ::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        const char line[] = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Partial]\r\n";
        DWORD written = 0;
        if (!file || !::WriteFile(file.get(), line, DWORD(sizeof line - 1), &written, nullptr)) return 3;
    }
    wchar_t report[1024] = {};
    const DWORD reportLength = ::GetEnvironmentVariableW(L"KAPP_FAKE_EDITOR_REPORT", report, 1024);
    if (argc >= 3 && std::wcscmp(argv[1], L"/s") == 0 && reportLength > 0 && reportLength < 1024) {
        kest::win32::UniqueFile target(::CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        const char* answer = target ? "changeable" : "held";
        kest::win32::UniqueFile out(
            ::CreateFileW(report, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!out || !::WriteFile(out.get(), answer, DWORD(std::strlen(answer)), &written, nullptr)) return 3;
    }
    if (::GetEnvironmentVariableW(L"KAPP_FAKE_EDITOR_EXIT", value, 32) > 0) return int(std::wcstol(value, nullptr, 10));
    return 0;
}
