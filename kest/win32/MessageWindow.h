// A hidden window that receives messages for its listeners, and the window timer built on it.
// Both belong to the thread that created them: their messages arrive, and their listeners are
// called, only on that thread while it pumps messages.
#pragma once

#include "kest/Containers.h"
#include "kest/Object.h"
#include "kest/win32/Handles.h"
#include "kest/win32/Win32.h"

namespace kest::win32 {

class CMessageWindow;

class IMessageListener : public virtual IBase {
public:
    // Every message of the window. Return true, with result set, to answer it.
    virtual bool OnMessage(CMessageWindow* window, UINT message, WPARAM wParam, LPARAM lParam,
                           LRESULT& result) = 0;
};

class CMessageWindow : public CObject {
public:
    // Raises CError "Error creating window." when the window cannot be made.
    explicit CMessageWindow(HWND parent = nullptr);
    ~CMessageWindow() override;

    HWND GetWindow() const { return m_window.get(); }
    // Listeners are not owned: each removes itself before it dies.
    void AddListener(IMessageListener* listener);
    void RemoveListener(IMessageListener* listener);

protected:
    // Hands the message to the listeners, the last added first; the first answer counts.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UniqueWindow m_window;
    TFrailArray<IMessageListener> m_listeners;
};

class CWindowTimer;

class ITimerListener : public virtual IBase {
public:
    virtual void OnTimer(CWindowTimer* timer) = 0;
};

class CWindowTimer : public CMessageWindow {
public:
    static constexpr UINT_PTR kTimerId = 17;

    // Raises CInvalidArgError unless the interval is above 0.
    explicit CWindowTimer(int32_t intervalMilliseconds = 1000, HWND parent = nullptr);
    ~CWindowTimer() override;

    // Above 0, else CInvalidArgError; a running timer restarts with the new interval.
    void SetInterval(int32_t milliseconds);
    int32_t GetInterval() const { return m_interval; }
    void Start();
    void Stop();
    bool IsRunning() const { return m_timerId != 0; }

    using CMessageWindow::AddListener;
    using CMessageWindow::RemoveListener;
    void AddListener(ITimerListener* listener);
    void RemoveListener(ITimerListener* listener);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Pending timer messages say only "time passed": one notification covers them all.
    void DrainTimerMessages();

    int32_t m_interval;
    UINT_PTR m_timerId = 0;
    TFrailArray<ITimerListener> m_timerListeners;
};

}  // namespace kest::win32
