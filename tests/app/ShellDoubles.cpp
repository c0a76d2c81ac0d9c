#include "tests/app/ShellDoubles.h"

#include <objbase.h>

#include <cstdio>
#include <cstring>

namespace app_tests {

namespace {

BinetScript g_script;
int g_infoCheck;      // their addresses are the handles
int g_updateManager;
std::vector<BrowserStart> g_starts;
INT_PTR g_browserResult = 42;
std::vector<ShownMessageBox> g_messages;

std::string Handle(void* h) {
    return h == &g_infoCheck ? "check" : h == &g_updateManager ? "update" : h ? "other" : "null";
}
std::string Root(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? "HKLM" : root == HKEY_CURRENT_USER ? "HKCU" : "other";
}
std::string Text(const char* s) {
    return s ? s : "(null)";
}
std::string Window(HWND wnd) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%p", static_cast<void*>(wnd));
    return wnd ? buffer : "0";
}
void Log(std::string line) {
    g_script.calls.push_back(std::move(line));
}

BOOL WINAPI Init() {
    Log("Init");
    return g_script.initResult;
}
void* WINAPI InfoCheckCreate() {
    Log("InfoCheckCreate");
    return g_script.createInfoCheck ? &g_infoCheck : nullptr;
}
void WINAPI InfoCheckSetRegistryKey(void* h, HKEY root, const char* key) {
    Log("InfoCheckSetRegistryKey|" + Handle(h) + "|" + Root(root) + "|" + Text(key));
}
void WINAPI InfoCheckSetUserRegistryKey(void* h, HKEY root, const char* key) {
    Log("InfoCheckSetUserRegistryKey|" + Handle(h) + "|" + Root(root) + "|" + Text(key));
}
void WINAPI InfoCheckSetProduct(void* h, const char* s) {
    Log("InfoCheckSetProduct|" + Handle(h) + "|" + Text(s));
}
void WINAPI InfoCheckSetProductVersion(void* h, const char* s) {
    Log("InfoCheckSetProductVersion|" + Handle(h) + "|" + Text(s));
}
void WINAPI InfoCheckSetProductEdition(void* h, const char* s) {
    Log("InfoCheckSetProductEdition|" + Handle(h) + "|" + Text(s));
}
void WINAPI InfoCheckSetProductLang(void* h, const char* s) {
    Log("InfoCheckSetProductLang|" + Handle(h) + "|" + Text(s));
}
void WINAPI InfoCheckSetParentWindow(void* h, HWND parent) {
    Log("InfoCheckSetParentWindow|" + Handle(h) + "|" + Window(parent));
}
const char* WINAPI InfoCheckGetConfigureChannelsText(void* h, int variant) {
    Log("InfoCheckGetConfigureChannelsText|" + Handle(h) + "|" + std::to_string(variant));
    return "Library's own wording";
}
void WINAPI InfoCheckDoConfig(void* h, HWND parent) {
    Log("InfoCheckDoConfig|" + Handle(h) + "|" + Window(parent));
}
int WINAPI InfoCheckStartAllAuto(void* h) {
    Log("InfoCheckStartAllAuto|" + Handle(h));
    return g_script.startAllAutoResult;
}
void* WINAPI UpdateManagerCreate() {
    Log("UpdateManagerCreate");
    return g_script.createUpdateManager ? &g_updateManager : nullptr;
}
void WINAPI UpdateManagerSetRegistryKey(void* h, HKEY root, const char* key) {
    Log("UpdateManagerSetRegistryKey|" + Handle(h) + "|" + Root(root) + "|" + Text(key));
}
void WINAPI UpdateManagerSetUserRegistryKey(void* h, HKEY root, const char* key) {
    Log("UpdateManagerSetUserRegistryKey|" + Handle(h) + "|" + Root(root) + "|" + Text(key));
}
void WINAPI UpdateManagerSetProduct(void* h, const char* s) {
    Log("UpdateManagerSetProduct|" + Handle(h) + "|" + Text(s));
}
void WINAPI UpdateManagerSetProductVersion(void* h, const char* s) {
    Log("UpdateManagerSetProductVersion|" + Handle(h) + "|" + Text(s));
}
void WINAPI UpdateManagerSetProductEdition(void* h, const char* s) {
    Log("UpdateManagerSetProductEdition|" + Handle(h) + "|" + Text(s));
}
void WINAPI UpdateManagerSetProductLang(void* h, const char* s) {
    Log("UpdateManagerSetProductLang|" + Handle(h) + "|" + Text(s));
}
int WINAPI UpdateManagerDoModalCheck(void* h, HWND parent, unsigned flags) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", flags);
    Log("UpdateManagerDoModalCheck|" + Handle(h) + "|" + Window(parent) + "|" + hex);
    return g_script.doModalCheckResult;
}
void WINAPI UpdateManagerDestroy(void* h) {
    Log("UpdateManagerDestroy|" + Handle(h));
}
char* WINAPI MakeLinkTargetURL(const char* word, const char* product, const char* version, const char* edition,
                               const char* language, const char* extra) {
    Log("MakeLinkTargetURL|" + Text(word) + "|" + Text(product) + "|" + Text(version) + "|" + Text(edition) + "|" +
        Text(language) + "|" + Text(extra));
    if (!g_script.makeLinks) return nullptr;
    const std::string url = "url:" + Text(word);
    auto* out = static_cast<char*>(::CoTaskMemAlloc(url.size() + 1));
    if (out) std::memcpy(out, url.c_str(), url.size() + 1);
    return out;
}

const BinetFunctions kRecording = {
    &Init,
    &InfoCheckCreate,
    &InfoCheckSetRegistryKey,
    &InfoCheckSetUserRegistryKey,
    &InfoCheckSetProduct,
    &InfoCheckSetProductVersion,
    &InfoCheckSetProductEdition,
    &InfoCheckSetProductLang,
    &InfoCheckSetParentWindow,
    &InfoCheckGetConfigureChannelsText,
    &InfoCheckDoConfig,
    &InfoCheckStartAllAuto,
    &UpdateManagerCreate,
    &UpdateManagerSetRegistryKey,
    &UpdateManagerSetUserRegistryKey,
    &UpdateManagerSetProduct,
    &UpdateManagerSetProductVersion,
    &UpdateManagerSetProductEdition,
    &UpdateManagerSetProductLang,
    &UpdateManagerDoModalCheck,
    &UpdateManagerDestroy,
    &MakeLinkTargetURL,
};

HINSTANCE WINAPI RecordBrowserStart(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder,
                                    INT show) {
    g_starts.push_back({owner, verb == nullptr, file ? file : L"(null)", parameters == nullptr,
                        folder ? folder : L"(null)", show});
    return reinterpret_cast<HINSTANCE>(g_browserResult);
}

int RecordMessageBox(HWND, const std::wstring& text, const std::wstring& caption, UINT type) {
    g_messages.push_back({text, caption, type});
    return IDOK;
}

}  // namespace

void* RecordedInfoCheck() {
    return &g_infoCheck;
}

CRecordingOnlineServices::CRecordingOnlineServices() {
    g_script = BinetScript{};
    m_old = SetOnlineServices(&kRecording);
}

CRecordingOnlineServices::~CRecordingOnlineServices() {
    SetOnlineServices(m_old);
}

BinetScript& CRecordingOnlineServices::Script() {
    return g_script;
}

CRecordingBrowser::CRecordingBrowser(INT_PTR result) {
    g_starts.clear();
    g_browserResult = result;
    m_old = SetShellExecuteFunction(&RecordBrowserStart);
}

CRecordingBrowser::~CRecordingBrowser() {
    SetShellExecuteFunction(m_old);
}

const std::vector<BrowserStart>& CRecordingBrowser::Starts() const {
    return g_starts;
}

CMessageRecorder::CMessageRecorder() {
    g_messages.clear();
    m_old = SetMessageBoxFunction(&RecordMessageBox);
}

CMessageRecorder::~CMessageRecorder() {
    SetMessageBoxFunction(m_old);
}

const std::vector<ShownMessageBox>& CMessageRecorder::Shown() const {
    return g_messages;
}

bool TakeQuitMessage() {
    bool quit = false;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_QUIT) quit = true;
    return quit;
}

}  // namespace app_tests
