// Time values: signed 64-bit microseconds since 1900-01-01 00:00:00 UTC.
#pragma once

#include "kest/Object.h"
#include "kest/String.h"

#include <cstdint>

namespace kest {

using TimeValue = int64_t;

inline constexpr int64_t kMicrosecondsPerSecond = 1000000;

// A time value broken down into calendar fields, in UTC or in local time.
struct DateTime {
    int32_t year = 1900;
    int32_t month = 1;  // 1..12
    int32_t day = 1;    // 1..31
    int32_t hour = 0;
    int32_t minute = 0;
    int32_t second = 0;
    int32_t millisecond = 0;
    int32_t dayOfWeek = 1;       // 0 = Sunday
    int64_t zoneOffset = 0;      // microseconds east of UTC, without daylight saving
    int64_t daylightOffset = 0;  // microseconds added by daylight saving at that moment
};

class ITimeManager : public virtual IBase {
public:
    // Never goes backwards within one run, whatever happens to the system clock.
    virtual int64_t NowMilliseconds() = 0;
    virtual TimeValue NowMicroseconds() = 0;
    virtual DateTime ToLocalDate(TimeValue value) = 0;
    virtual DateTime ToUTCDate(TimeValue value) = 0;
    // The fields year to millisecond are read; the offsets and the day of week are ignored.
    virtual TimeValue FromLocalDate(const DateTime& date) = 0;
    virtual TimeValue FromUTCDate(const DateTime& date) = 0;
    // Microseconds east of UTC, without daylight saving.
    virtual int64_t TimeZoneOffset() = 0;
    virtual int64_t MillisecondsSince(int64_t earlierMilliseconds) = 0;
    // The local date or time of day in the user's locale.
    virtual String FormatDate(TimeValue value, bool longForm) = 0;
    virtual String FormatTime(TimeValue value) = 0;
};

P<ITimeManager>& GetTimeManager();

}  // namespace kest
