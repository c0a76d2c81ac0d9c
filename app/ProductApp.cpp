#include "app/ProductApp.h"

#include "kest/win32/Handles.h"

#include <cstdlib>
#include <vector>

namespace {

const HKEY kProductRoots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};

bool ReadString(HKEY root, const std::wstring& path, const std::wstring& entry, std::wstring& out) {
    kest::win32::UniqueRegKey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    DWORD type = 0, bytes = 0;
    if (::RegQueryValueExW(key.get(), entry.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    // One extra character so that a value stored without its terminator still ends.
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = bytes;
    if (::RegQueryValueExW(key.get(), entry.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                           &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    out.assign(buffer.data());
    return true;
}

bool ReadDword(HKEY root, const std::wstring& path, const std::wstring& entry, int& out) {
    kest::win32::UniqueRegKey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    DWORD type = 0, bytes = 0;
    if (::RegQueryValueExW(key.get(), entry.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_DWORD || bytes != sizeof(DWORD))
        return false;
    DWORD data = 0;
    if (::RegQueryValueExW(key.get(), entry.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes) !=
        ERROR_SUCCESS)
        return false;
    out = static_cast<int>(data);
    return true;
}

}  // namespace

std::wstring CProductApp::ProductKeyPath(const std::wstring& section) const {
    std::wstring path = L"SOFTWARE\\" + m_productRegistryKey;
    if (!section.empty()) path += L"\\" + section;
    return path;
}

std::wstring CProductApp::ReadProductString(const std::wstring& section, const std::wstring& entry,
                                            const std::wstring& defaultValue) const {
    const std::wstring path = ProductKeyPath(section);
    std::wstring value;
    for (HKEY root : kProductRoots)
        if (ReadString(root, path, entry, value)) return value;
    return defaultValue;
}

int CProductApp::ReadProductInt(const std::wstring& section, const std::wstring& entry, int defaultValue) const {
    const std::wstring path = ProductKeyPath(section);
    int value = 0;
    for (HKEY root : kProductRoots)
        if (ReadDword(root, path, entry, value)) return value;
    return defaultValue;
}

std::wstring CProductApp::GetApplicationFolder() const {
    wchar_t path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(GetInstance(), path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return L"";
    wchar_t drive[_MAX_DRIVE], dir[_MAX_DIR], name[_MAX_FNAME], ext[_MAX_EXT];
    if (_wsplitpath_s(path, drive, _MAX_DRIVE, dir, _MAX_DIR, name, _MAX_FNAME, ext, _MAX_EXT) != 0) return L"";
    return std::wstring(drive) + dir;
}

HMODULE CProductApp::LoadModuleWithMessage(const std::wstring& fileName, bool report) const {
    HMODULE module = ::LoadLibraryW(fileName.c_str());
    if (!module && report) {
        std::wstring text = L"Could not load %DLLNAME%";
        text.replace(text.find(L"%DLLNAME%"), 9, fileName);
        AfxMessageBox(text, MB_OK | MB_ICONERROR);
    }
    return module;
}
