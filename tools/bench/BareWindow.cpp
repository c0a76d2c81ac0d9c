// The yardstick of the start-up benchmark: the least a Windows program does to put a window on
// screen. It shows a 400 x 300 pop-up window, marks the moment in the start-up trace, and ends.
#include "app/StartupTrace.h"

#include <windows.h>

namespace {

LRESULT CALLBACK BareProc(HWND wnd, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        if (::BeginPaint(wnd, &ps)) {
            ::FillRect(ps.hdc, &ps.rcPaint, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
            ::EndPaint(wnd, &ps);
        }
        return 0;
    }
    return ::DefWindowProcW(wnd, message, w, l);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = BareProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"OrdaviaBareWindow";
    if (!::RegisterClassW(&wc)) return 1;
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - 400) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - 300) / 2;
    HWND wnd = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, x, y, 400, 300, nullptr, nullptr,
                                 instance, nullptr);
    if (!wnd) return 1;
    ::UpdateWindow(wnd);
    startup_trace::Mark("window-shown");
    ::DestroyWindow(wnd);
    return 0;
}
