// Demo burning engine: opens a main window with a menu bar, lets the shell add its menus,
// shows what the shell handed over and forwards menu commands to the shell. Without a
// display (Wine's null graphics driver), or with QDX_DEMO_AUTOCLOSE=1, it prints a summary
// of the host record to standard output and returns at once.
#include "app/BlazenAbi.h"
#include "kest/win32/Handles.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const UINT kFileExit = 40001;
const UINT kFirstOwnCommand = 40000;
const UINT kLastOwnCommand = 40099;

BlazenHostRecord* g_record = nullptr;
HWND g_mainWindow = nullptr;
std::wstring g_summary;

struct DemoResults : BlazenResults {
    int32_t reserved[3];
};

bool IsNT() {
    return (::GetVersion() & 0x80000000u) == 0;
}

std::wstring HostText(BlazenText text) {
    if (!text) return L"(none)";
    if (IsNT()) return static_cast<const wchar_t*>(text);
    const char* narrow = static_cast<const char*>(text);
    int n = ::MultiByteToWideChar(CP_ACP, 0, narrow, -1, nullptr, 0);
    if (n <= 0) return L"";
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

std::wstring Hex(uint32_t value) {
    wchar_t buffer[16];
    wsprintfW(buffer, L"0x%08X", value);
    return buffer;
}

// A handle-sized value: 8 hex digits in the 32-bit product, 16 in the 64-bit edition.
std::wstring HexPtr(const void* value) {
    const auto bits = reinterpret_cast<uintptr_t>(value);
    if constexpr (sizeof bits == 8) return Hex(static_cast<uint32_t>(uint64_t(bits) >> 32)) + Hex(static_cast<uint32_t>(bits)).substr(2);
    return Hex(static_cast<uint32_t>(bits));
}

std::wstring MenuText(HMENU menu, int position) {
    wchar_t text[256] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING | MIIM_FTYPE;
    info.dwTypeData = text;
    info.cch = 255;
    if (!::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) return L"?";
    if (info.fType & MFT_SEPARATOR) return L"-";
    return text;
}

std::wstring DescribeMenus(HMENU bar) {
    std::wstring out;
    int count = ::GetMenuItemCount(bar);
    for (int i = 0; i < count; ++i) {
        out += L"  menu " + MenuText(bar, i) + L":";
        HMENU sub = ::GetSubMenu(bar, i);
        int items = sub ? ::GetMenuItemCount(sub) : 0;
        for (int j = 0; j < items; ++j) out += (j ? L" | " : L" ") + MenuText(sub, j);
        out += L"\r\n";
    }
    return out;
}

const wchar_t* TaskName(int32_t mode) {
    switch (mode) {
    case 0: return L"audio disc";
    case 1: return L"data disc";
    case 3: return L"copy disc";
    case 11: return L"open document";
    case 16: return L"restore backup";
    case 17: return L"rip disc";
    default: return L"unknown task";
    }
}

const wchar_t* FlagName(int32_t flag) {
    switch (flag) {
    case 0: return L"plain start";
    case 1: return L"task from the command line";
    case 2: return L"data list from the command line";
    default: return L"unknown";
    }
}

std::wstring DescribeLaunch(const BlazenHostRecord& r) {
    std::wstring out = L"  launch request: mode " + std::to_wstring(r.launchMode) + L" (" + TaskName(r.launchMode) +
                       L"), flag " + std::to_wstring(r.launchFlag) + L" (" + FlagName(r.launchFlag) + L"), drive " +
                       HostText(r.autoplayDrive) + L"\r\n";
    if (!r.launchItems) return out + L"    no item list\r\n";
    if (r.launchMode == 0) {
        auto* list = static_cast<const AudioTrackList*>(r.launchItems);
        out += L"    " + std::to_wstring(list->count) + L" audio tracks\r\n";
        for (uint32_t i = 0; i < list->count; ++i) out += L"    track " + HostText(list->items[i]) + L"\r\n";
    } else if (r.launchMode == 1) {
        auto* list = static_cast<const DataItemList*>(r.launchItems);
        out += L"    " + std::to_wstring(list->count) + L" data items\r\n";
        for (uint32_t i = 0; i < list->count; ++i)
            out += L"    kind " + std::to_wstring(list->items[i].kind) + L" " + HostText(list->items[i].path) +
                   L" -> " + HostText(list->items[i].target) + L"\r\n";
    } else if (r.launchMode == 11) {
        auto* open = static_cast<const OpenRequest*>(r.launchItems);
        out += L"    open " + HostText(open->path) + L"\r\n";
    }
    return out;
}

std::wstring Summarize(const BlazenHostRecord& r, HMENU bar) {
    std::wstring s = L"Demo engine received the host record:\r\n";
    auto line = [&s](const wchar_t* name, const std::wstring& value) { s += L"  " + std::wstring(name) + L": " + value + L"\r\n"; };
    line(L"head", std::to_wstring(r.head));
    line(L"display name", HostText(r.displayName));
    line(L"product id", HostText(r.productId));
    line(L"version", HostText(r.version));
    line(L"full version", HostText(r.fullVersion));
    line(L"edition", HostText(r.edition));
    line(L"product code", HostText(r.productCode));
    line(L"registry path", HostText(r.registryPath));
    line(L"registry root", HexPtr(r.registryRoot));
    line(L"language", HostText(r.languageName));
    line(L"language pack", HostText(r.languagePackPath));
    line(L"upgrade name", r.upgradeName ? std::wstring(r.upgradeName) : L"(none)");
    line(L"report title", HostText(r.reportTitle));
    line(L"report address", HostText(r.reportAddress));
    line(L"report content type", HostText(r.reportContentType));
    line(L"report transform", HostText(r.reportTransform));
    line(L"report task", HostText(r.reportTaskDescription));
    line(L"report explanation", HostText(r.reportExplanation));
    line(L"support mail", r.supportMail ? std::wstring(r.supportMail) : L"(none)");
    line(L"font", r.font ? std::wstring(r.font->lfFaceName) + L", height " + std::to_wstring(r.font->lfHeight) +
                              L", weight " + std::to_wstring(r.font->lfWeight)
                        : L"(none)");
    line(L"icons", std::wstring(r.largeIcon ? L"large" : L"no large") + (r.smallIcon ? L", small" : L", no small"));
    line(L"application manager", r.applicationManager ? L"present" : L"(none)");
    if (r.helpTopics)
        line(L"help topics", std::to_wstring(r.helpTopics->rowCount) + L" rows, file " + HostText(r.helpTopics->helpFile));
    else
        line(L"help topics", L"(none)");
    s += DescribeLaunch(r);
    s += L"  about text:\r\n" + HostText(r.aboutText) + L"\r\n";
    s += L"  menus after set-up:\r\n" + DescribeMenus(bar);
    return s;
}

void Print(const std::wstring& text) {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (!out || out == INVALID_HANDLE_VALUE) return;
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
    // Unix line ends read better on the terminal that started Wine.
    std::string plain;
    for (char c : utf8)
        if (c != '\r') plain += c;
    DWORD written = 0;
    ::WriteFile(out, plain.data(), static_cast<DWORD>(plain.size()), &written, nullptr);
}

bool RunsHeadless() {
    wchar_t flag[8] = {};
    DWORD n = ::GetEnvironmentVariableW(L"QDX_DEMO_AUTOCLOSE", flag, 8);
    if (n > 0 && n < 8 && flag[0] == L'1') return true;
    // Wine's null graphics driver: windows exist, but nobody can see or close them.
    kest::win32::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Drivers", 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    wchar_t driver[64] = {};
    DWORD bytes = sizeof driver - sizeof(wchar_t), type = 0;
    if (::RegQueryValueExW(key.get(), L"Graphics", nullptr, &type, reinterpret_cast<BYTE*>(driver), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    return lstrcmpiW(driver, L"null") == 0;
}

LRESULT CALLBACK MainWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND: {
        UINT id = LOWORD(wParam);
        if (id == kFileExit) {
            ::DestroyWindow(wnd);
            return 0;
        }
        if ((id < kFirstOwnCommand || id > kLastOwnCommand) && g_record && g_record->menuCommand)
            g_record->menuCommand(id, 0);
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(wnd, &ps);
        if (dc) {
            RECT rc;
            ::GetClientRect(wnd, &rc);
            ::InflateRect(&rc, -8, -8);
            ::DrawTextW(dc, g_summary.c_str(), -1, &rc, DT_LEFT | DT_NOPREFIX | DT_WORDBREAK);
            ::EndPaint(wnd, &ps);
        }
        return 0;
    }
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(wnd, msg, wParam, lParam);
    }
}

HMENU BuildMenuBar() {
    HMENU bar = ::CreateMenu();
    HMENU file = ::CreatePopupMenu();
    HMENU options = ::CreatePopupMenu();
    HMENU help = ::CreatePopupMenu();
    if (!bar || !file || !options || !help) return bar;
    ::AppendMenuW(file, MF_STRING, kFileExit, L"E&xit");
    ::AppendMenuW(options, MF_STRING | MF_GRAYED, kFirstOwnCommand + 2, L"&Burn settings...");
    ::AppendMenuW(help, MF_STRING | MF_GRAYED, kFirstOwnCommand + 3, L"&Contents");
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(options), L"&Options");
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"&Help");
    return bar;
}

std::unique_ptr<DemoResults> g_results;

}  // namespace

extern "C" __declspec(dllexport) int WINAPI StartBlazen(BlazenHostRecord* record, BlazenResults** results) {
    if (!record || !results) return 0;
    g_record = record;
    HINSTANCE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&StartBlazen), &self);

    WNDCLASSW wc{};
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = self;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = record->largeIcon;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"QdxDemoEngineMain";
    if (!::RegisterClassW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return 0;

    HMENU bar = BuildMenuBar();
    std::wstring title = HostText(record->displayName) + L" - demo engine";
    kest::win32::UniqueWindow window(::CreateWindowExW(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW,
                                                       CW_USEDEFAULT, CW_USEDEFAULT, 720, 560, nullptr, bar, self,
                                                       nullptr));
    if (!window) {
        if (bar) ::DestroyMenu(bar);
        return 0;
    }
    g_mainWindow = window.get();
    if (record->menuSetup) record->menuSetup(bar);
    ::DrawMenuBar(window.get());
    if (record->mainWindowReady) record->mainWindowReady(0);
    g_summary = Summarize(*record, bar);

    if (RunsHeadless()) {
        Print(g_summary);
    } else {
        ::ShowWindow(window.get(), SW_SHOWDEFAULT);
        ::UpdateWindow(window.get());
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        (void)window.release();  // destroyed by the user
    }
    g_mainWindow = nullptr;
    g_record = nullptr;

    g_results = std::make_unique<DemoResults>();
    g_results->succeeded = 1;
    *results = g_results.get();
    Print(L"Demo engine finished: results 1\r\n");
    return 1;
}

extern "C" __declspec(dllexport) void WINAPI FreeBlazenResults(BlazenResults* results) {
    if (results && results == g_results.get()) g_results.reset();
}

extern "C" __declspec(dllexport) HWND WINAPI GetODMainWindow(void) {
    return g_mainWindow;
}
