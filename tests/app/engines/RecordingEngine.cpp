// A test engine that records what the shell handed over. It writes to the file named by
// REC_ENGINE_OUT: "start" with the raw record, the decoded texts and lists, then "free=..."
// when its results come back. REC_ENGINE_RESULTS = none | zero | one (default) chooses the
// results; REC_ENGINE_WAIT names an event to wait for (up to 30 s) before returning.
// REC_ENGINE_COMMANDS = "2000,2010" chooses those menu commands, one after the other, once the
// menus are set up, as a user would; "command=<id>" follows each that returned.
// The engine has a real main window ("mainwindow=<handle>"), which GetODMainWindow answers.
// Built without FreeBlazenResults when REC_ENGINE_NO_FREE is defined.
#include "app/BlazenAbi.h"
#include "kest/win32/Handles.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD n = ::GetEnvironmentVariableW(name, buffer, 1024);
    return (n > 0 && n < 1024) ? std::wstring(buffer, n) : std::wstring();
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

void Append(const std::string& text) {
    std::wstring path = Env(L"REC_ENGINE_OUT");
    if (path.empty()) return;
    kest::win32::UniqueFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool IsNT() {
    return (::GetVersion() & 0x80000000u) == 0;
}

// Texts are written escaped so that every record line stays one line.
std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

std::string Quoted(const std::string& text) {
    std::string out(1, '"');
    out += Escape(text);
    out += '"';
    return out;
}

std::string Wide(const wchar_t* text) {
    return text ? Quoted(Utf8(text)) : std::string("null");
}

std::string Narrow(const char* text) {
    return text ? Quoted(text) : std::string("null");
}

std::string Host(BlazenText text) {
    return IsNT() ? Wide(static_cast<const wchar_t*>(text)) : Narrow(static_cast<const char*>(text));
}

std::string Hex(const void* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

std::string Record(const BlazenHostRecord& r) {
    std::string s = "start\nraw=" + Hex(&r, sizeof r) + "\n";
    auto text = [&s](const char* offset, BlazenText t) { s += std::string("text.") + offset + "=" + Host(t) + "\n"; };
    text("004", r.registryPath);
    text("00C", r.languageName);
    text("01C", r.displayName);
    text("020", r.aboutText);
    text("048", r.languagePackPath);
    text("06C", r.reportTitle);
    text("070", r.reportAddress);
    text("074", r.reportContentType);
    text("090", r.version);
    text("0A8", r.productCode);
    text("0AC", r.edition);
    text("0E8", r.autoplayDrive);
    text("0F0", r.reportTaskDescription);
    text("0F4", r.reportExplanation);
    text("0FC", r.reportTransform);
    text("118", r.productId);
    text("11C", r.fullVersion);
    s += "text.0DC=" + Wide(r.supportMail) + "\n";
    s += "text.110=" + Wide(r.upgradeName) + "\n";
    if (r.font) s += "font=" + Hex(r.font, sizeof *r.font) + "\n";
    if (const HelpTopicTable* help = r.helpTopics) {
        s += "help.head=" + Hex(help, sizeof *help) + "\n";
        s += "help.count=" + std::to_string(help->rowCount) + "\n";
        s += "help.file=" + Host(help->helpFile) + "\n";
        for (uint32_t i = 0; help->rows && i < help->rowCount && i < 300; ++i)
            s += "help.row=" + std::to_string(help->rows[i].zero) + " " + std::to_string(help->rows[i].pageId) + " " +
                 Host(help->rows[i].text) + "\n";
    }
    s += "launch.mode=" + std::to_string(r.launchMode) + "\nlaunch.flag=" + std::to_string(r.launchFlag) + "\n";
    if (r.launchItems && r.launchMode == 0) {
        auto* list = static_cast<const AudioTrackList*>(r.launchItems);
        s += "launch.head=" + Hex(list, sizeof *list) + "\n";
        for (uint32_t i = 0; i < list->count; ++i) s += "launch.track=" + Host(list->items[i]) + "\n";
    } else if (r.launchItems && r.launchMode == 1) {
        auto* list = static_cast<const DataItemList*>(r.launchItems);
        s += "launch.head=" + Hex(list, sizeof *list) + "\n";
        for (uint32_t i = 0; i < list->count; ++i)
            s += "launch.item=" + std::to_string(list->items[i].kind) + " " + Host(list->items[i].path) + " " +
                 Host(list->items[i].target) + "\n";
    } else if (r.launchItems && r.launchMode == 11) {
        auto* open = static_cast<const OpenRequest*>(r.launchItems);
        s += "launch.head=" + Hex(open, sizeof *open) + "\nlaunch.open=" + Host(open->path) + "\n";
    } else if (!r.launchItems) {
        s += "launch.items=null\n";
    }
    return s;
}

// Every popup of the menu bar on one line: its title, then each item as id and text, "-" for
// a separator.
std::string Menus(HMENU bar) {
    std::string out;
    const int count = ::GetMenuItemCount(bar);
    for (int i = 0; i < count; ++i) {
        wchar_t title[256] = {};
        ::GetMenuStringW(bar, static_cast<UINT>(i), title, 256, MF_BYPOSITION);
        out += "menu=" + Utf8(title);
        HMENU popup = ::GetSubMenu(bar, i);
        const int items = popup ? ::GetMenuItemCount(popup) : 0;
        for (int j = 0; j < items; ++j) {
            wchar_t text[256] = {};
            MENUITEMINFOW info{};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
            info.dwTypeData = text;
            info.cch = 255;
            if (!::GetMenuItemInfoW(popup, static_cast<UINT>(j), TRUE, &info)) continue;
            out += '|';
            if (info.fType & MFT_SEPARATOR) {
                out += '-';
            } else {
                out += std::to_string(info.wID);
                out += ' ';
                out += Utf8(text);
            }
        }
        out += "\n";
    }
    return out;
}

std::unique_ptr<BlazenResults> g_results;

// The engine's main window, from its start until it returns.
HWND g_mainWindow = nullptr;

HWND CreateMainWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"RecordingEngineMain";
    ::RegisterClassW(&windowClass);  // fails harmlessly when a second start in this process finds it
    return ::CreateWindowExW(0, L"RecordingEngineMain", L"Recording engine", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                             nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

struct WindowOwner {
    ~WindowOwner() {
        if (g_mainWindow) ::DestroyWindow(g_mainWindow);
        g_mainWindow = nullptr;
    }
};

std::vector<unsigned> Commands() {
    std::vector<unsigned> ids;
    const std::wstring list = Env(L"REC_ENGINE_COMMANDS");
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(L',', start);
        if (end == std::wstring::npos) end = list.size();
        if (end > start) ids.push_back(static_cast<unsigned>(std::stoul(list.substr(start, end - start))));
        start = end + 1;
    }
    return ids;
}

std::string HandleText(HWND window) {
    return std::to_string(reinterpret_cast<uintptr_t>(window));
}

// The launch list the shell lent, looked at again when the results come back: by then the
// shell has taken its lists back and must have emptied their headers.
const void* g_launchItems = nullptr;
int32_t g_launchMode = -1;

[[maybe_unused]] std::string LaunchAfter() {
    if (!g_launchItems) return "launch.after=null\n";
    size_t size = g_launchMode == 0 ? sizeof(AudioTrackList) : g_launchMode == 1 ? sizeof(DataItemList) : sizeof(OpenRequest);
    return "launch.after=" + Hex(g_launchItems, size) + "\n";
}

}  // namespace

// Which of the libraries the shell loads only on first use are in the process as the engine
// starts, before the engine has asked the shell for anything. (The version library is left out:
// Wine loads it into every process.)
std::string LoadedOnDemand() {
    std::string out = "loaded.on.demand=";
    for (const char* name : {"comctl32.dll", "shell32.dll", "shlwapi.dll"})
        if (::GetModuleHandleA(name)) out += std::string(name) + " ";
    return out + "\n";
}

extern "C" __declspec(dllexport) int WINAPI StartBlazen(BlazenHostRecord* record, BlazenResults** results) {
    std::string out = LoadedOnDemand() + Record(*record);
    WindowOwner windowOwner;
    g_mainWindow = CreateMainWindow();
    out += "mainwindow=" + HandleText(g_mainWindow) + "\n";
    g_launchItems = record->launchItems;
    g_launchMode = record->launchMode;
    // Let the shell add its menus to a real menu bar, as the engine's main window would.
    kest::win32::UniqueMenu bar(::CreateMenu());
    if (bar && record->menuSetup) {
        for (const wchar_t* name : {L"&File", L"&Options", L"&Help"}) {
            HMENU popup = ::CreatePopupMenu();
            if (popup) ::AppendMenuW(bar.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(popup), name);
        }
        out += "menusetup=" + std::to_string(record->menuSetup(bar.get())) + "\n";
        out += Menus(bar.get());
    }
    if (record->mainWindowReady) record->mainWindowReady(0);
    Append(out);
    for (unsigned id : Commands()) {
        if (!record->menuCommand) break;
        record->menuCommand(id, 0);
        Append("command=" + std::to_string(id) + "\n");
    }

    std::wstring wait = Env(L"REC_ENGINE_WAIT");
    if (!wait.empty()) {
        kest::win32::UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, wait.c_str()));
        Append("waiting\n");
        if (event) ::WaitForSingleObject(event.get(), 30000);
    }

    std::wstring mode = Env(L"REC_ENGINE_RESULTS");
    if (mode != L"none") {
        g_results = std::make_unique<BlazenResults>();
        g_results->succeeded = mode == L"zero" ? 0 : 1;
        *results = g_results.get();
    }
    return 1;
}

#ifndef REC_ENGINE_NO_FREE
extern "C" __declspec(dllexport) void WINAPI FreeBlazenResults(BlazenResults* results) {
    Append(LaunchAfter());
    Append(results == nullptr ? "free=null\n" : results == g_results.get() ? "free=results\n" : "free=unknown\n");
    if (results && results == g_results.get()) g_results.reset();
}
#endif

extern "C" __declspec(dllexport) HWND WINAPI GetODMainWindow(void) {
    return g_mainWindow;
}
