#include "app/StartupTrace.h"

#include "kest/win32/Handles.h"

#include <windows.h>

#include <cstdio>

namespace startup_trace {
namespace {

struct TraceState {
    kest::win32::UniqueFile file;
    ULARGE_INTEGER created{};  // process creation, 100-nanosecond units of the system clock
    using PreciseClockFn = void(WINAPI*)(LPFILETIME);
    PreciseClockFn preciseClock = nullptr;
};

// Built on the first question; the file stays open for the whole run, so that appending a line
// costs one write and no open.
TraceState* State() {
    static TraceState* state = []() -> TraceState* {
        wchar_t path[MAX_PATH + 1];
        const DWORD n = ::GetEnvironmentVariableW(L"ORDAVIA_STARTUP_TRACE", path, MAX_PATH + 1);
        if (n == 0 || n > MAX_PATH) return nullptr;
        static TraceState s;
        s.file.reset(::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!s.file) return nullptr;
        FILETIME creation, exit, kernel, user;
        if (!::GetProcessTimes(::GetCurrentProcess(), &creation, &exit, &kernel, &user)) return nullptr;
        s.created.LowPart = creation.dwLowDateTime;
        s.created.HighPart = creation.dwHighDateTime;
        // The coarse clock moves in steps of up to 16 ms on some systems; the precise one is
        // there from Windows 8 on.
        if (HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll"))
            s.preciseClock = reinterpret_cast<TraceState::PreciseClockFn>(
                reinterpret_cast<void*>(::GetProcAddress(kernel32, "GetSystemTimePreciseAsFileTime")));
        return &s;
    }();
    return state;
}

}  // namespace

bool IsOn() {
    return State() != nullptr;
}

double SinceCreation() {
    TraceState* s = State();
    if (!s) return 0;
    FILETIME now;
    if (s->preciseClock)
        s->preciseClock(&now);
    else
        ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER n;
    n.LowPart = now.dwLowDateTime;
    n.HighPart = now.dwHighDateTime;
    // The clock may have been set back since the process was created.
    if (n.QuadPart < s->created.QuadPart) return 0;
    return double(n.QuadPart - s->created.QuadPart) / 10000.0;
}

void Write(const char* step, double atMs, double tookMs) {
    TraceState* s = State();
    if (!s) return;
    char line[160];
    const int n = std::snprintf(line, sizeof line, "%s\t%.1f\t%.1f\r\n", step, atMs, tookMs);
    if (n <= 0 || n >= static_cast<int>(sizeof line)) return;
    DWORD written = 0;
    // A trace that cannot be written must not disturb the start.
    (void)::WriteFile(s->file.get(), line, static_cast<DWORD>(n), &written, nullptr);
}

void Mark(const char* name) {
    if (!IsOn()) return;
    Write(name, SinceCreation(), 0);
}

CStep::CStep(const char* name) : m_name(IsOn() ? name : nullptr) {
    if (m_name) m_at = SinceCreation();
}

void CStep::End() {
    if (!m_name) return;
    const double end = SinceCreation();
    Write(m_name, m_at, end > m_at ? end - m_at : 0);
    m_name = nullptr;
}

}  // namespace startup_trace
