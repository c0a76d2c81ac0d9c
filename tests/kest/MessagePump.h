// Pumps the calling thread's messages until a condition holds or a deadline passes.
#pragma once

#include "kest/win32/Win32.h"

namespace kest_test {

template <typename Condition>
bool PumpUntil(Condition done, DWORD timeoutMs = 5000) {
    DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
            if (done()) return true;
        }
        if (done()) return true;
        DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        // Sleeps only until the next message arrives.
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    }
}

}  // namespace kest_test
