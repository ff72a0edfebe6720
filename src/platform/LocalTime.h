// The local wall-clock time with milliseconds, and an injectable clock so that
// tests can cross midnight or a second boundary without waiting.
#pragma once

#include <cstdint>
#include <functional>

struct LocalTime {
    int Year = 0;
    int Month = 0;      // 1..12
    int DayOfWeek = 0;  // 0 = Sunday
    int Day = 0;        // 1..31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Milliseconds = 0;
};

using ClockFn = std::function<LocalTime()>;

// The system clock as local time.
LocalTime GetLocalTime();

// A time in milliseconds since 1970 (UTC) as local time; a time before 1970 falls in
// the right second too.
LocalTime LocalTimeAt(int64_t utcMs);

// The system clock in milliseconds since 1970 (UTC), as the catalog of recordings
// counts time; a plain function, so a recorder may read it on every access unit.
int64_t WallClockMs();
using WallClockFn = int64_t (*)();

// Same calendar date (year, month, day).
bool SameDate(const LocalTime& a, const LocalTime& b);
