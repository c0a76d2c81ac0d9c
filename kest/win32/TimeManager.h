// Time from the multimedia tick, anchored once to the system clock; conversions through the
// system's time-zone functions, or through the zone's own daylight-saving rules where those
// functions are missing.
#pragma once

#include "kest/Thread.h"
#include "kest/Time.h"

#include "kest/win32/Win32.h"

namespace kest::win32 {

// File times are 100-nanosecond units since 1601; 0x014F373BFDE04000 is 1900-01-01.
inline constexpr int64_t kFileTime1900 = 0x014F373BFDE04000LL;

TimeValue FileTimeToTimeValue(int64_t fileTime);
int64_t TimeValueToFileTime(TimeValue value);

// The moment in a year at which a daylight-saving rule of the time-zone record switches, in
// local wall-clock time: rule.wMonth, the rule.wDay-th rule.wDayOfWeek of that month (5 = the
// last), at the rule's time of day. A rule with wYear set names an absolute date instead.
SYSTEMTIME RuleTransition(int32_t year, const SYSTEMTIME& rule);

class CTimeManager : public CObject, public ITimeManager {
public:
    using TickSource = DWORD (*)();
    using ClockSource = int64_t (*)();  // the system clock as a file time

    // The defaults are timeGetTime and GetSystemTimeAsFileTime; tests put their own clocks in.
    explicit CTimeManager(TickSource tick = nullptr, ClockSource clock = nullptr);

    int64_t NowMilliseconds() override;
    TimeValue NowMicroseconds() override;
    DateTime ToLocalDate(TimeValue value) override;
    DateTime ToUTCDate(TimeValue value) override;
    TimeValue FromLocalDate(const DateTime& date) override;
    TimeValue FromUTCDate(const DateTime& date) override;
    int64_t TimeZoneOffset() override;
    int64_t MillisecondsSince(int64_t earlierMilliseconds) override;
    String FormatDate(TimeValue value, bool longForm) override;
    String FormatTime(TimeValue value) override;

    // The rule-based conversions, also used where the system has no conversion of its own.
    static SYSTEMTIME UTCToLocalByRules(const TIME_ZONE_INFORMATION& zone, const SYSTEMTIME& utc,
                                        bool& daylight);
    static SYSTEMTIME LocalToUTCByRules(const TIME_ZONE_INFORMATION& zone, const SYSTEMTIME& local);

private:
    // Ticks elapsed since construction, carried across the 49-day wrap of the tick counter.
    int64_t ElapsedTicks();

    TickSource m_tick;
    P<IMutex> m_mutex;
    DWORD m_lastTick;
    int64_t m_elapsed = 0;
    int64_t m_startMilliseconds;  // since 1900

    using TzConvert = BOOL(WINAPI*)(const TIME_ZONE_INFORMATION*, const SYSTEMTIME*, SYSTEMTIME*);
    TzConvert m_utcToLocal = nullptr;
    TzConvert m_localToUtc = nullptr;
};

}  // namespace kest::win32
