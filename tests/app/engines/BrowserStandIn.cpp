// Stands in for the user's web browser in the shell's tests: writes the address it was asked to
// open (its second argument) to the file named by its first, in UTF-8.
#include "kest/win32/Handles.h"

#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const std::wstring address = argv[2];
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, address.c_str(), static_cast<int>(address.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, address.c_str(), static_cast<int>(address.size()), bytes.data(), n, nullptr,
                              nullptr);
    kest::win32::UniqueFile file(
        ::CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 1;
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                   written == bytes.size()
               ? 0
               : 1;
}
