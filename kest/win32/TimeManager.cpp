#include "kest/win32/TimeManager.h"

#include "kest/Error.h"
#include "kest/ServiceSlot.h"
#include "kest/win32/ProcAddress.h"

#include <mmsystem.h>

#include <limits>
#include <memory>

namespace kest {

P<ITimeManager>& GetTimeManager() {
    static TServiceSlot<ITimeManager> slot;
    return slot.Get([]() -> P<ITimeManager> { return New<win32::CTimeManager>(); });
}

}  // namespace kest

namespace kest::win32 {

namespace {

constexpr int64_t kFileTimePerMinute = 600000000LL;

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int64_t ToInt64(const FILETIME& ft) {
    return int64_t((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

FILETIME ToFileTime(int64_t value) {
    FILETIME ft;
    ft.dwLowDateTime = DWORD(uint64_t(value) & 0xFFFFFFFFu);
    ft.dwHighDateTime = DWORD(uint64_t(value) >> 32);
    return ft;
}

[[noreturn]] void RaiseBadDate(const char* method) {
    throw CInvalidArgError(String("the date is outside the range the system can represent"),
                           String(method));
}

int64_t SystemTimeToInt64(const SYSTEMTIME& st, const char* method) {
    FILETIME ft;
    if (!::SystemTimeToFileTime(&st, &ft)) RaiseBadDate(method);
    return ToInt64(ft);
}

SYSTEMTIME Int64ToSystemTime(int64_t fileTime, const char* method) {
    SYSTEMTIME st;
    if (fileTime < 0) RaiseBadDate(method);
    FILETIME ft = ToFileTime(fileTime);
    if (!::FileTimeToSystemTime(&ft, &st)) RaiseBadDate(method);
    return st;
}

int64_t ValueToFileTimeChecked(TimeValue value, const char* method) {
    // Beyond these bounds value * 10 would overflow or the file time would be negative.
    constexpr int64_t kMax = (std::numeric_limits<int64_t>::max() - kFileTime1900) / 10;
    if (value > kMax || value < -(kFileTime1900 / 10)) RaiseBadDate(method);
    return TimeValueToFileTime(value);
}

SYSTEMTIME ToSystemTime(const DateTime& date) {
    SYSTEMTIME st = {};
    st.wYear = WORD(date.year);
    st.wMonth = WORD(date.month);
    st.wDay = WORD(date.day);
    st.wHour = WORD(date.hour);
    st.wMinute = WORD(date.minute);
    st.wSecond = WORD(date.second);
    st.wMilliseconds = WORD(date.millisecond);
    return st;
}

bool FitsSystemTime(const DateTime& date) {
    return date.year >= 1601 && date.year <= 30827 && date.month >= 1 && date.month <= 12 &&
           date.day >= 1 && date.day <= 31 && date.hour >= 0 && date.hour <= 23 && date.minute >= 0 &&
           date.minute <= 59 && date.second >= 0 && date.second <= 59 && date.millisecond >= 0 &&
           date.millisecond <= 999;
}

DateTime ToDateTime(const SYSTEMTIME& st) {
    DateTime date;
    date.year = st.wYear;
    date.month = st.wMonth;
    date.day = st.wDay;
    date.hour = st.wHour;
    date.minute = st.wMinute;
    date.second = st.wSecond;
    date.millisecond = st.wMilliseconds;
    date.dayOfWeek = st.wDayOfWeek;
    return date;
}

DWORD SystemTick() { return ::timeGetTime(); }

int64_t SystemClock() {
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    return ToInt64(ft);
}

TIME_ZONE_INFORMATION CurrentZone() {
    TIME_ZONE_INFORMATION zone = {};
    if (::GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) RaiseSystemError(::GetLastError());
    return zone;
}

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// Whether the zone has daylight-saving rules this code can evaluate.
bool HasRules(const TIME_ZONE_INFORMATION& zone) {
    return zone.StandardDate.wMonth >= 1 && zone.StandardDate.wMonth <= 12 &&
           zone.DaylightDate.wMonth >= 1 && zone.DaylightDate.wMonth <= 12;
}

// Whether t lies in daylight time, with both transitions given on the same clock as t.
bool InDaylight(int64_t t, int64_t start, int64_t end) {
    return start < end ? (t >= start && t < end) : (t >= start || t < end);
}

}  // namespace

TimeValue FileTimeToTimeValue(int64_t fileTime) { return FloorDiv(fileTime - kFileTime1900, 10); }
int64_t TimeValueToFileTime(TimeValue value) { return value * 10 + kFileTime1900; }

SYSTEMTIME RuleTransition(int32_t year, const SYSTEMTIME& rule) {
    SYSTEMTIME at = {};
    at.wYear = WORD(rule.wYear != 0 ? rule.wYear : year);
    at.wMonth = rule.wMonth >= 1 && rule.wMonth <= 12 ? rule.wMonth : 1;
    int last = DaysInMonth(at.wYear, at.wMonth);
    if (rule.wYear != 0) {
        at.wDay = WORD(rule.wDay >= 1 && rule.wDay <= last ? rule.wDay : last);
    } else {
        SYSTEMTIME first = at;
        first.wDay = 1;
        first = Int64ToSystemTime(SystemTimeToInt64(first, "RuleTransition"), "RuleTransition");
        int week = rule.wDay < 1 ? 1 : (rule.wDay > 5 ? 5 : rule.wDay);
        int day = 1 + (int(rule.wDayOfWeek % 7) - int(first.wDayOfWeek) + 7) % 7 + (week - 1) * 7;
        while (day > last) day -= 7;  // week 5 means the last one in the month
        at.wDay = WORD(day);
    }
    // The rule's time of day may name the end of the day (24:00 and the like); let the
    // arithmetic carry it into the next day.
    int64_t t = SystemTimeToInt64(at, "RuleTransition") +
                ((int64_t(rule.wHour) * 60 + rule.wMinute) * 60 + rule.wSecond) * 10000000LL +
                int64_t(rule.wMilliseconds) * 10000;
    return Int64ToSystemTime(t, "RuleTransition");
}

SYSTEMTIME CTimeManager::UTCToLocalByRules(const TIME_ZONE_INFORMATION& zone, const SYSTEMTIME& utc,
                                           bool& daylight) {
    int64_t t = SystemTimeToInt64(utc, "ToLocalDate");
    daylight = false;
    if (HasRules(zone)) {
        // Daylight time begins at a moment of standard time and ends at one of daylight time.
        int64_t start = SystemTimeToInt64(RuleTransition(utc.wYear, zone.DaylightDate), "ToLocalDate") +
                        int64_t(zone.Bias + zone.StandardBias) * kFileTimePerMinute;
        int64_t end = SystemTimeToInt64(RuleTransition(utc.wYear, zone.StandardDate), "ToLocalDate") +
                      int64_t(zone.Bias + zone.DaylightBias) * kFileTimePerMinute;
        daylight = InDaylight(t, start, end);
    }
    int64_t bias = zone.Bias + (daylight ? zone.DaylightBias : (HasRules(zone) ? zone.StandardBias : 0));
    return Int64ToSystemTime(t - bias * kFileTimePerMinute, "ToLocalDate");
}

SYSTEMTIME CTimeManager::LocalToUTCByRules(const TIME_ZONE_INFORMATION& zone, const SYSTEMTIME& local) {
    int64_t t = SystemTimeToInt64(local, "FromLocalDate");
    bool daylight = false;
    if (HasRules(zone)) {
        int64_t start = SystemTimeToInt64(RuleTransition(local.wYear, zone.DaylightDate), "FromLocalDate");
        int64_t end = SystemTimeToInt64(RuleTransition(local.wYear, zone.StandardDate), "FromLocalDate");
        daylight = InDaylight(t, start, end);
    }
    int64_t bias = zone.Bias + (daylight ? zone.DaylightBias : (HasRules(zone) ? zone.StandardBias : 0));
    return Int64ToSystemTime(t + bias * kFileTimePerMinute, "FromLocalDate");
}

CTimeManager::CTimeManager(TickSource tick, ClockSource clock)
    : m_tick(tick ? tick : &SystemTick), m_mutex(GetMutexFactory().CreateMutex()) {
    m_lastTick = m_tick();
    m_startMilliseconds = FloorDiv(FileTimeToTimeValue((clock ? clock : &SystemClock)()), 1000);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    m_utcToLocal = ProcAddress<TzConvert>(kernel, "SystemTimeToTzSpecificLocalTime");
    m_localToUtc = ProcAddress<TzConvert>(kernel, "TzSpecificLocalTimeToSystemTime");
}

int64_t CTimeManager::ElapsedTicks() {
    CMutexLock lock(m_mutex.Get());
    DWORD tick = m_tick();
    m_elapsed += DWORD(tick - m_lastTick);  // modulo 2^32: survives the counter's wrap
    m_lastTick = tick;
    return m_elapsed;
}

int64_t CTimeManager::NowMilliseconds() { return m_startMilliseconds + ElapsedTicks(); }
TimeValue CTimeManager::NowMicroseconds() { return NowMilliseconds() * 1000; }
int64_t CTimeManager::MillisecondsSince(int64_t earlier) { return NowMilliseconds() - earlier; }

int64_t CTimeManager::TimeZoneOffset() { return -int64_t(CurrentZone().Bias) * 60 * kMicrosecondsPerSecond; }

DateTime CTimeManager::ToUTCDate(TimeValue value) {
    DateTime date = ToDateTime(Int64ToSystemTime(ValueToFileTimeChecked(value, "ToUTCDate"), "ToUTCDate"));
    date.millisecond = int32_t(FloorDiv(value, 1000) - FloorDiv(value, 1000000) * 1000);
    return date;
}

DateTime CTimeManager::ToLocalDate(TimeValue value) {
    int64_t utcTime = ValueToFileTimeChecked(value, "ToLocalDate");
    SYSTEMTIME utc = Int64ToSystemTime(utcTime, "ToLocalDate");
    TIME_ZONE_INFORMATION zone = CurrentZone();
    SYSTEMTIME local;
    bool daylight = false;
    if (!m_utcToLocal || !m_utcToLocal(&zone, &utc, &local)) {
        local = UTCToLocalByRules(zone, utc, daylight);
    }
    DateTime date = ToDateTime(local);
    date.zoneOffset = -int64_t(zone.Bias) * 60 * kMicrosecondsPerSecond;
    // Whatever the local clock shows beyond the zone's own offset is daylight saving.
    int64_t total = (SystemTimeToInt64(local, "ToLocalDate") - (utcTime - utcTime % 10000)) / 10;
    date.daylightOffset = total - date.zoneOffset;
    return date;
}

TimeValue CTimeManager::FromUTCDate(const DateTime& date) {
    if (!FitsSystemTime(date)) RaiseBadDate("FromUTCDate");
    return FileTimeToTimeValue(SystemTimeToInt64(ToSystemTime(date), "FromUTCDate"));
}

TimeValue CTimeManager::FromLocalDate(const DateTime& date) {
    if (!FitsSystemTime(date)) RaiseBadDate("FromLocalDate");
    SYSTEMTIME local = ToSystemTime(date);
    TIME_ZONE_INFORMATION zone = CurrentZone();
    SYSTEMTIME utc;
    if (!m_localToUtc || !m_localToUtc(&zone, &local, &utc)) utc = LocalToUTCByRules(zone, local);
    return FileTimeToTimeValue(SystemTimeToInt64(utc, "FromLocalDate"));
}

namespace {

template <typename Format>
String FormatWith(Format format) {
    int size = format(nullptr, 0);
    if (size <= 0) RaiseSystemError(::GetLastError());
    auto buffer = std::make_unique<wchar_t[]>(size_t(size));
    int written = format(buffer.get(), size);
    if (written <= 0) RaiseSystemError(::GetLastError());
    return String::Copy(buffer.get(), written - 1);
}

}  // namespace

String CTimeManager::FormatDate(TimeValue value, bool longForm) {
    DateTime date = ToLocalDate(value);
    SYSTEMTIME st = ToSystemTime(date);
    DWORD flags = longForm ? DATE_LONGDATE : DATE_SHORTDATE;
    return FormatWith([&](wchar_t* out, int size) {
        return ::GetDateFormatW(LOCALE_USER_DEFAULT, flags, &st, nullptr, out, size);
    });
}

String CTimeManager::FormatTime(TimeValue value) {
    DateTime date = ToLocalDate(value);
    SYSTEMTIME st = ToSystemTime(date);
    return FormatWith([&](wchar_t* out, int size) {
        return ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, out, size);
    });
}

}  // namespace kest::win32
