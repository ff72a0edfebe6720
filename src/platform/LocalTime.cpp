#include "platform/LocalTime.h"

#include <chrono>
#include <ctime>

LocalTime GetLocalTime() {
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    LocalTime t;
    t.Year = tm.tm_year + 1900;
    t.Month = tm.tm_mon + 1;
    t.DayOfWeek = tm.tm_wday;
    t.Day = tm.tm_mday;
    t.Hour = tm.tm_hour;
    t.Minute = tm.tm_min;
    t.Second = tm.tm_sec;
    t.Milliseconds = static_cast<int>(ms.count() % 1000);
    return t;
}

int64_t WallClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool SameDate(const LocalTime& a, const LocalTime& b) {
    return a.Year == b.Year && a.Month == b.Month && a.Day == b.Day;
}
