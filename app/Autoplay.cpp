// The texts Windows AutoPlay shows for the program's handlers follow the language of the last
// start. The handlers themselves are registered by the installer.
#include "app/PyrlanApp.h"

#include "kest/win32/Handles.h"

namespace {

const wchar_t kHandlersKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\Handlers\\";

// Missing rights (no administrator) or a missing root only mean the texts stay as they were.
void WriteAction(HKEY root, const std::wstring& handlerKey, const std::wstring& action) {
    kest::win32::UniqueRegKey key;
    if (::RegCreateKeyExW(root, handlerKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS)
        return;
    const DWORD bytes = static_cast<DWORD>((action.size() + 1) * sizeof(wchar_t));
    static_cast<void>(::RegSetValueExW(key.get(), L"Action", 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(action.c_str()), bytes));
}

std::wstring DiscAction(const char* key, const wchar_t* defaultText) {
    std::wstring text = Localize(key, defaultText);
    const std::wstring placeholder = L"%IMPORTANTDTCS%";
    const std::wstring discs = L"CD/DVD";
    for (size_t at = text.find(placeholder); at != std::wstring::npos; at = text.find(placeholder, at + discs.size()))
        text.replace(at, placeholder.size(), discs);
    return text;
}

}  // namespace

void CPyrlanApp::RefreshAutoplayTexts(HKEY root) {
    std::wstring name = m_displayName;
    for (wchar_t& c : name)
        if (c == L' ') c = L'_';
    const std::wstring handler = kHandlersKey + std::wstring(L"BRV") + name;
    WriteAction(root, handler + L"BURNONARRIVAL", DiscAction("CPyrlan.Autoplay.BurnDisc", L"Burn %IMPORTANTDTCS%"));
    WriteAction(root, handler + L"COPYONARRIVAL", DiscAction("CPyrlan.Autoplay.CopyDisc", L"Copy %IMPORTANTDTCS%"));
    // The rip handler has no text of its own; it keeps the one it was registered with.
}
