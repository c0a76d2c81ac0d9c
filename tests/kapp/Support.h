// What the data manager's tests share: a folder of the test's own, file contents in and out,
// archives composed by hand.
#pragma once

#include "kapp/Text.h"
#include "kest/URI.h"
#include "kest/win32/Handles.h"
#include "tests/kest/TempFolder.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kest/win32/UndefWin32Names.h"

namespace kapp_test {

// A folder below the temporary folder, removed with everything in it.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& tag = L"t") {
        wchar_t base[MAX_PATH + 1];
        const DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
        static long counter = 0;
        m_path = std::wstring(base, n) + L"kapp_" + tag + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                 std::to_wstring(::InterlockedIncrement(&counter));
        // Process ids repeat across runs: whatever a crashed run left goes first.
        RemoveTree(m_path);
        ::CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(m_path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // With a trailing backslash.
    std::wstring Path() const { return m_path + L"\\"; }
    std::wstring operator/(const std::wstring& name) const { return Path() + name; }

    static void RemoveTree(const std::wstring& path) { kest_test::TempFolder::RemoveTree(path); }

private:
    std::wstring m_path;
};

inline bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Writes the bytes, making the folders on the way.
inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
    for (size_t i = 3; i < path.size(); ++i)
        if (path[i] == L'\\') ::CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    kest::win32::UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file && !bytes.empty()) ::WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

// The file's bytes; "<missing>" when it cannot be opened.
inline std::string ReadBytes(const std::wstring& path) {
    kest::win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return "<missing>";
    std::string bytes;
    char buffer[65536];
    DWORD n = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
    return bytes;
}

// Names of the entries of a folder (files and folders), sorted.
inline std::vector<std::wstring> List(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    kest::win32::UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (find) {
        do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..") names.push_back(name);
        } while (::FindNextFileW(find.get(), &data));
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline kest::P<kest::IURI> Uri(const std::wstring& path) { return kapp::UriOf(path); }

// A file of the build, named at build time by its Unix path, as this Windows process sees it.
inline std::wstring BuildFile(const char* unixPath) {
    std::wstring path = L"Z:" + std::wstring(wxString(unixPath).ToStdWstring());
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

inline std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 0x80 ? char(c) : '?');
    return out;
}

}  // namespace kapp_test
