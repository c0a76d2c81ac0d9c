// A folder of the test's own under the temporary folder, removed with everything in it.
#pragma once

#include "kest/URI.h"
#include "kest/win32/Handles.h"
#include "kest/win32/Paths.h"
#include "kest/win32/Win32.h"

#include <string>

namespace kest_test {

class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH + 1];
        DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
        static long counter = 0;
        m_path = std::wstring(base, n) + L"kest_sys_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                 std::to_wstring(::InterlockedIncrement(&counter));
        ::CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(L"\\\\?\\" + m_path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder's path with a trailing backslash.
    std::wstring Path() const { return m_path + L"\\"; }
    kest::String PathString(const std::wstring& name = L"") const {
        std::wstring full = Path() + name;
        return kest::String::Copy(full.c_str());
    }
    kest::P<kest::IURI> Uri(const std::wstring& name = L"") const { return kest::win32::PathToUri(PathString(name)); }

    // Test-side removal, independent of the library under test.
    static void RemoveTree(const std::wstring& path) {
        WIN32_FIND_DATAW data;
        kest::win32::UniqueFind find(::FindFirstFileW((path + L"\\*").c_str(), &data));
        if (find) {
            do {
                std::wstring name = data.cFileName;
                if (name == L"." || name == L"..") continue;
                std::wstring child = path + L"\\" + name;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(child);
                } else {
                    ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                    ::DeleteFileW(child.c_str());
                }
            } while (::FindNextFileW(find.get(), &data));
        }
        find.reset();  // an open search keeps its folder from being removed
        ::RemoveDirectoryW(path.c_str());
    }

private:
    std::wstring m_path;
};

inline bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace kest_test
