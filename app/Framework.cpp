#include "app/Framework.h"

#include "kest/win32/Handles.h"

#include <cstdio>
#include <vector>

namespace {

CFrameworkApp* g_app = nullptr;

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
    // A diagnostic trace of every message, for process-level tests that cannot see the icon.
    wchar_t trace[MAX_PATH];
    DWORD n = ::GetEnvironmentVariableW(L"ORDAVIA_UI_TRACE", trace, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        kest::win32::UniqueFile file(::CreateFileW(trace, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            std::wstring line = L"messagebox type=" + std::to_wstring(type) + L" caption=" + caption +
                                L" text=" + text + L"\n";
            int bytes = ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0,
                                              nullptr, nullptr);
            std::vector<char> utf8(bytes > 0 ? bytes : 0);
            if (bytes > 0 && ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                                   utf8.data(), bytes, nullptr, nullptr) == bytes) {
                DWORD written = 0;
                ::WriteFile(file.get(), utf8.data(), static_cast<DWORD>(bytes), &written, nullptr);
            }
        }
    }
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

MessageBoxFunction g_messageBox = &ShowMessageBox;

std::wstring ModuleBaseName(HINSTANCE instance) {
    wchar_t path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(instance, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return L"";
    std::wstring name(path, n);
    size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
    return name;
}

}  // namespace

CFrameworkApp::CFrameworkApp() {
    g_app = this;
}

CFrameworkApp::~CFrameworkApp() {
    if (g_app == this) g_app = nullptr;
}

CFrameworkApp* AfxGetApp() {
    return g_app;
}

bool CFrameworkApp::PreTranslateMessage(MSG*) {
    return false;
}

void CFrameworkApp::SetRegistryKey(const std::wstring& registryKey) {
    m_registryKey = registryKey;
    m_profileName = m_appName;
}

std::wstring CFrameworkApp::SectionKeyPath(const std::wstring& section) const {
    std::wstring path = L"Software\\" + m_registryKey;
    if (!m_profileName.empty()) path += L"\\" + m_profileName;
    if (!section.empty()) path += L"\\" + section;
    return path;
}

bool CFrameworkApp::WriteProfileString(const std::wstring& section, const std::wstring& entry,
                                       const std::wstring& value) {
    if (m_registryKey.empty()) return false;
    kest::win32::UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, SectionKeyPath(section).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.get(), entry.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            bytes) == ERROR_SUCCESS;
}

bool CFrameworkApp::WriteProfileInt(const std::wstring& section, const std::wstring& entry, int value) {
    if (m_registryKey.empty()) return false;
    kest::win32::UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, SectionKeyPath(section).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    DWORD data = static_cast<DWORD>(value);
    return ::RegSetValueExW(key.get(), entry.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                            sizeof data) == ERROR_SUCCESS;
}

std::wstring CFrameworkApp::GetProfileString(const std::wstring& section, const std::wstring& entry,
                                             const std::wstring& defaultValue) const {
    if (m_registryKey.empty()) return defaultValue;
    kest::win32::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, SectionKeyPath(section).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return defaultValue;
    DWORD type = 0, bytes = 0;
    if (::RegQueryValueExW(key.get(), entry.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ)
        return defaultValue;
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.get(), entry.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                           &bytes) != ERROR_SUCCESS)
        return defaultValue;
    return std::wstring(buffer.data());
}

int CFrameworkApp::GetProfileInt(const std::wstring& section, const std::wstring& entry, int defaultValue) const {
    if (m_registryKey.empty()) return defaultValue;
    kest::win32::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, SectionKeyPath(section).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return defaultValue;
    DWORD type = 0, data = 0, bytes = sizeof data;
    if (::RegQueryValueExW(key.get(), entry.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || bytes != sizeof data)
        return defaultValue;
    return static_cast<int>(data);
}

void CFrameworkApp::PumpWaitingMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit request for whichever loop owns it.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (PreTranslateMessage(&msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

int CFrameworkApp::Run(HINSTANCE instance) {
    m_instance = instance;
    if (m_appName.empty()) m_appName = ModuleBaseName(instance);
    if (InitInstance()) {
        // A program that keeps running after its initialisation gets the usual message loop;
        // the shell does all its work inside InitInstance and never comes here.
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (PreTranslateMessage(&msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return ExitInstance();
}

MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction fn) {
    MessageBoxFunction old = g_messageBox;
    g_messageBox = fn ? fn : &ShowMessageBox;
    return old;
}

int AfxMessageBox(const std::wstring& text, UINT type) {
    const CFrameworkApp* app = AfxGetApp();
    std::wstring caption = app ? app->m_appName : std::wstring();
    return g_messageBox(nullptr, text, caption, type);
}
