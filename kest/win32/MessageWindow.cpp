#include "kest/win32/MessageWindow.h"

#include "kest/Error.h"
#include "kest/Localizer.h"
#include "kest/ServiceSlot.h"

namespace kest::win32 {

namespace {

const wchar_t kClassName[] = L"kest.win32.CMessageWindow.WindowClass";

HINSTANCE ThisModule(const void* address) {
    HMODULE module = nullptr;
    // The module this code lives in, also when the library is linked into a DLL.
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &module)) {
        module = ::GetModuleHandleW(nullptr);
    }
    return module;
}

[[noreturn]] void RaiseCreateWindowError() {
    throw CError(LookupLocalizedText(String("kest.gui.win32.CreateWindowError"), String(L"Error creating window.")));
}

}  // namespace

CMessageWindow::CMessageWindow(HWND parent) {
    HINSTANCE instance = ThisModule(reinterpret_cast<const void*>(&WindowProc));
    {
        // Once per process; a failed registration is tried again by the next window.
        CGlobalLock lock;
        static bool registered = false;
        if (!registered) {
            WNDCLASSEXW windowClass = {};
            windowClass.cbSize = sizeof(windowClass);
            windowClass.lpfnWndProc = &WindowProc;
            windowClass.hInstance = instance;
            windowClass.lpszClassName = kClassName;
            if (!::RegisterClassExW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
                RaiseCreateWindowError();
            }
            registered = true;
        }
    }
    m_window.reset(::CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 0, 0, parent, nullptr, instance, nullptr));
    if (!m_window) RaiseCreateWindowError();
    ::SetWindowLongPtrW(m_window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CMessageWindow::~CMessageWindow() {
    // Messages that still come during destruction go to the default procedure.
    if (m_window) ::SetWindowLongPtrW(m_window.get(), GWLP_USERDATA, 0);
}

void CMessageWindow::AddListener(IMessageListener* listener) {
    if (!listener) throw CInvalidArgError(String("listener"), String("AddListener"), this);
    m_listeners.Add(listener);
}

void CMessageWindow::RemoveListener(IMessageListener* listener) { m_listeners.Remove(listener); }

LRESULT CMessageWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    for (int32_t i = m_listeners.Count() - 1; i >= 0; --i) {
        if (i >= m_listeners.Count()) continue;  // listeners removed themselves meanwhile
        LRESULT result = 0;
        if (m_listeners.Get(i)->OnMessage(this, message, wParam, lParam, result)) return result;
    }
    return ::DefWindowProcW(m_window.get(), message, wParam, lParam);
}

LRESULT CALLBACK CMessageWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* owner = reinterpret_cast<CMessageWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!owner) return ::DefWindowProcW(window, message, wParam, lParam);
    // A listener may drop the last reference to the window object while it runs.
    P<CMessageWindow> keep(owner);
    try {
        return owner->HandleMessage(message, wParam, lParam);
    } catch (...) {
        // An error must not unwind through the system's message dispatch, which cannot pass it
        // on; the message counts as not handled.
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

// ------------------------------------------------------------------------------- CWindowTimer

namespace {
void CheckInterval(int32_t milliseconds, const IBase* timer) {
    if (milliseconds <= 0) {
        throw CInvalidArgError(LookupLocalizedText(String("kest.win32.CWindowTimer.IntervalGEZero"),
                                                   String(L"window timer intervals have to be >=0")),
                               String("SetInterval"), timer);
    }
}
}  // namespace

CWindowTimer::CWindowTimer(int32_t intervalMilliseconds, HWND parent)
    : CMessageWindow(parent), m_interval(intervalMilliseconds) {
    CheckInterval(intervalMilliseconds, nullptr);
}

CWindowTimer::~CWindowTimer() { Stop(); }

void CWindowTimer::SetInterval(int32_t milliseconds) {
    CheckInterval(milliseconds, this);
    m_interval = milliseconds;
    if (m_timerId != 0) Start();
}

void CWindowTimer::DrainTimerMessages() {
    MSG message;
    while (::PeekMessageW(&message, GetWindow(), WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
}

void CWindowTimer::Start() {
    if (m_timerId != 0) {
        ::KillTimer(GetWindow(), m_timerId);
        m_timerId = 0;
    }
    DrainTimerMessages();
    UINT_PTR id = ::SetTimer(GetWindow(), kTimerId, UINT(m_interval), nullptr);
    if (id == 0) RaiseSystemError(::GetLastError());
    m_timerId = id;
}

void CWindowTimer::Stop() {
    if (m_timerId == 0) return;
    ::KillTimer(GetWindow(), m_timerId);
    m_timerId = 0;
}

void CWindowTimer::AddListener(ITimerListener* listener) {
    if (!listener) throw CInvalidArgError(String("listener"), String("AddListener"), this);
    m_timerListeners.Add(listener);
}

void CWindowTimer::RemoveListener(ITimerListener* listener) { m_timerListeners.Remove(listener); }

LRESULT CWindowTimer::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_TIMER || wParam != kTimerId) return CMessageWindow::HandleMessage(message, wParam, lParam);
    if (m_timerId == 0) return 0;  // stopped; a message was already under way
    DrainTimerMessages();
    for (int32_t i = m_timerListeners.Count() - 1; i >= 0; --i) {
        if (i >= m_timerListeners.Count()) continue;
        m_timerListeners.Get(i)->OnTimer(this);
    }
    return 0;
}

}  // namespace kest::win32
