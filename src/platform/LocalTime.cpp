#include "platform/LocalTime.h"

#include <chrono>
#include <ctime>

LocalTime GetLocalTime() {
    return LocalTimeAt(WallClockMs());
}

LocalTime LocalTimeAt(int64_t utcMs) {
    int64_t seconds = utcMs / 1000;
    int64_t ms = utcMs % 1000;
    if (ms < 0) {
        --seconds;
        ms += 1000;
    }
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    LocalTime local;
    local.Year = tm.tm_year + 1900;
    local.Month = tm.tm_mon + 1;
    local.DayOfWeek = tm.tm_wday;
    local.Day = tm.tm_mday;
    local.Hour = tm.tm_hour;
    local.Minute = tm.tm_min;
    local.Second = tm.tm_sec;
    local.Milliseconds = static_cast<int>(ms);
    return local;
}

int64_t WallClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool SameDate(const LocalTime& a, const LocalTime& b) {
    return a.Year == b.Year && a.Month == b.Month && a.Day == b.Day;
}
