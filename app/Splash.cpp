#include "app/Splash.h"

#include "app/Framework.h"
#include "app/Resources.h"
#include "app/StartupTrace.h"
#include "kest/win32/Handles.h"

#include <mmsystem.h>

#include <algorithm>
#include <memory>

using kest::win32::UniqueGdiObject;
using kest::win32::UniqueMemoryDC;
using kest::win32::UniqueModule;

namespace {

const wchar_t kSplashClass[] = L"OrdaviaSplash";
const DWORD kFadeInMs = 5000;

typedef BOOL(WINAPI* AlphaBlendFn)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);

class CSplashWnd;
bool g_enabled = false;
CSplashWnd* g_splash = nullptr;  // the current splash, owned by the ShowSplash call
const SplashTestHooks* g_hooks = nullptr;

class CSplashWnd {
public:
    CSplashWnd() {
        m_msimg32.reset(::LoadLibraryW(g_hooks && g_hooks->blendLibrary ? g_hooks->blendLibrary : L"msimg32.dll"));
        if (m_msimg32)
            m_blend = reinterpret_cast<AlphaBlendFn>(
                reinterpret_cast<void*>(::GetProcAddress(m_msimg32.get(), "AlphaBlend")));
    }
    ~CSplashWnd() { Destroy(); }

    bool Create(HWND parent) {
        HINSTANCE instance = ::GetModuleHandleW(nullptr);
        HINSTANCE resources = g_hooks && g_hooks->resources ? g_hooks->resources : instance;
        m_picture.reset(::LoadImageW(resources, MAKEINTRESOURCEW(IDB_SPLASH), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        if (!m_picture) return false;
        BITMAP info{};
        if (!::GetObjectW(m_picture.get(), sizeof info, &info)) return false;
        m_width = info.bmWidth;
        m_height = info.bmHeight;

        WNDCLASSW wc{};
        wc.lpfnWndProc = &CSplashWnd::WndProc;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kSplashClass;
        if (!::RegisterClassW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

        m_created = ::timeGetTime();
        HWND wnd = ::CreateWindowExW(0, kSplashClass, L"", WS_POPUP | WS_VISIBLE, 0, 0, m_width, m_height, parent,
                                     nullptr, instance, this);
        if (!wnd) return false;
        CenterOn(parent);
        return true;
    }

    void CenterOnScreen() {
        RECT r{};
        if (!::GetWindowRect(m_wnd, &r)) return;
        int x = (r.left + ::GetSystemMetrics(SM_CXSCREEN) - r.right) / 2;
        int y = (r.top + ::GetSystemMetrics(SM_CYSCREEN) - r.bottom) / 2;
        ::SetWindowPos(m_wnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ::UpdateWindow(m_wnd);
        startup_trace::Mark("splash-shown");
    }

    // Fades the picture in; answers how long the fade took.
    DWORD Fade(DWORD stepMs) {
        const DWORD start = ::timeGetTime();
        kest::win32::CWindowDC dc(m_wnd);
        if (!dc) return 0;
        for (int alpha = 0; alpha < 255 && Exists(); alpha += 8) {
            const DWORD before = ::timeGetTime();
            Draw(dc.get(), static_cast<BYTE>(alpha), SplashDrawing::Fade);
            const DWORD took = ::timeGetTime() - before;
            Wait(took < stepMs ? stepMs - took : 0);
        }
        return ::timeGetTime() - start;
    }

    void DrawOnce() {
        kest::win32::CWindowDC dc(m_wnd);
        if (dc) Draw(dc.get(), 255, SplashDrawing::Once);
    }

    bool Exists() const { return m_wnd != nullptr && ::IsWindow(m_wnd); }

    void Destroy() {
        if (m_wnd && ::IsWindow(m_wnd)) ::DestroyWindow(m_wnd);
        m_wnd = nullptr;
    }

    // Waits the given time, still answering the window's messages so that it paints and a
    // key press or click can close it early.
    void Wait(DWORD ms) {
        const DWORD end = ::timeGetTime() + ms;
        for (;;) {
            if (CFrameworkApp* app = AfxGetApp())
                app->PumpWaitingMessages();
            if (!Exists()) return;
            const DWORD now = ::timeGetTime();
            if (static_cast<LONG>(end - now) <= 0) return;
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
        }
    }

private:
    void CenterOn(HWND parent) {
        RECT area{};
        if (parent) {
            if (!::GetWindowRect(parent, &area)) return;
        } else if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
            return;
        }
        int x = area.left + (area.right - area.left - m_width) / 2;
        int y = area.top + (area.bottom - area.top - m_height) / 2;
        ::SetWindowPos(m_wnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void Draw(HDC dc, BYTE alpha, SplashDrawing kind) {
        if (g_hooks && g_hooks->onDraw) g_hooks->onDraw(kind, alpha);
        UniqueMemoryDC memory(::CreateCompatibleDC(dc));
        if (!memory) return;
        HGDIOBJ previous = ::SelectObject(memory.get(), m_picture.get());
        if (m_blend) {
            BLENDFUNCTION blend{AC_SRC_OVER, 0, alpha, 0};
            m_blend(dc, 0, 0, m_width, m_height, memory.get(), 0, 0, m_width, m_height, blend);
        } else {
            ::BitBlt(dc, 0, 0, m_width, m_height, memory.get(), 0, 0, SRCCOPY);
        }
        ::SelectObject(memory.get(), previous);
    }

    void OnPaint() {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(m_wnd, &ps);
        if (!dc) return;
        Draw(dc, SplashPaintAlpha(m_created, ::timeGetTime()), SplashDrawing::Paint);
        ::EndPaint(m_wnd, &ps);
    }

    static LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_NCCREATE) {
            auto* self = static_cast<CSplashWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            self->m_wnd = wnd;
            ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        auto* self = reinterpret_cast<CSplashWnd*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
        if (self) {
            switch (msg) {
            case WM_PAINT:
                self->OnPaint();
                return 0;
            case WM_NCDESTROY:
                self->m_wnd = nullptr;
                ::SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
                // Gone from the screen is gone for the filter too: input that arrives before
                // ShowSplash returns is the program's again.
                if (g_splash == self) g_splash = nullptr;
                break;
            default:
                break;
            }
        }
        return ::DefWindowProcW(wnd, msg, wParam, lParam);
    }

    UniqueModule m_msimg32;
    AlphaBlendFn m_blend = nullptr;
    UniqueGdiObject m_picture;
    int m_width = 0;
    int m_height = 0;
    HWND m_wnd = nullptr;
    DWORD m_created = 0;
};

}  // namespace

BYTE SplashPaintAlpha(DWORD createdMs, DWORD nowMs) {
    // The difference of two tick counts stays right when the counter wraps between them.
    const DWORD elapsed = std::min<DWORD>(nowMs - createdMs, kFadeInMs);
    return static_cast<BYTE>(elapsed * 255 / kFadeInMs);
}

void SetSplashTestHooks(const SplashTestHooks* hooks) {
    g_hooks = hooks;
}

void EnableSplash(bool enable) {
    g_enabled = enable;
}

bool IsSplashShowing() {
    return g_splash != nullptr;
}

void ShowSplash(bool fade, DWORD totalMs, DWORD stepMs, HWND parent) {
    if (!g_enabled || g_splash) return;
    auto splash = std::make_unique<CSplashWnd>();
    g_splash = splash.get();
    struct ClearCurrent {
        const CSplashWnd* splash;
        ~ClearCurrent() {
            if (g_splash == splash) g_splash = nullptr;
        }
    } clearCurrent{splash.get()};
    if (!splash->Create(parent)) return;
    splash->CenterOnScreen();
    DWORD remaining = totalMs;
    if (fade) {
        const DWORD took = splash->Fade(stepMs);
        remaining = took < totalMs ? totalMs - took : 0;
    } else {
        splash->DrawOnce();
    }
    if (splash->Exists()) splash->Wait(remaining);
    splash->Destroy();
}

bool SplashPreTranslate(const MSG* msg) {
    if (!g_splash || !msg) return false;
    switch (msg->message) {
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        g_splash->Destroy();
        return true;
    default:
        return false;
    }
}
