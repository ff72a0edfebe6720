#include "catalog/CatalogTime.h"

#include <cstdio>
#include <ctime>

#include "platform/LocalTime.h"

namespace {
constexpr int64_t kMsPerSecond = 1000;
}  // namespace

int64_t LocalSecondsToUtcMs(int64_t localSeconds) {
    const std::time_t asUtc = static_cast<std::time_t>(localSeconds);
    std::tm tm{};
    gmtime_r(&asUtc, &tm);
    tm.tm_isdst = -1;  // whatever daylight saving time held then
    return static_cast<int64_t>(mktime(&tm)) * kMsPerSecond;
}

LocalDate LocalDateOf(int64_t utcMs) {
    const LocalTime local = LocalTimeAt(utcMs);
    return {local.Year, local.Month, local.Day};
}

int64_t LocalDayStartMs(int year, int month, int day) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&tm)) * kMsPerSecond;
}

std::string DayText(const LocalDate& date) {
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.Year, date.Month, date.Day);
    return text;
}

bool ParseDayText(const std::string& text, LocalDate* date) {
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' ||
        std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3 || m < 1 || m > 12 ||
        d < 1 || d > 31) {
        return false;
    }
    for (const size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    *date = {y, m, d};
    return true;
}

std::string LocalTimeText(int64_t utcMs) {
    const LocalTime t = LocalTimeAt(utcMs);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.Year, t.Month, t.Day,
                  t.Hour, t.Minute, t.Second);
    return text;
}
