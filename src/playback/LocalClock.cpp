#include "playback/LocalClock.h"

#include <cstdio>
#include <ctime>

#include "catalog/CatalogTime.h"

namespace {

constexpr int64_t kMsPerSecond = 1000;

}  // namespace

bool LocalClock::Parse(const std::string& text, int64_t& ms) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &year, &month, &day, &hour, &minute,
                    &second, &consumed) != 6 ||
        consumed != static_cast<int>(text.size()) || text.size() != 19) {
        return false;
    }
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;  // whatever daylight saving time says for that day
    std::tm normalised = tm;
    const std::time_t seconds = std::mktime(&normalised);
    // mktime moves 2024-02-30 to March: a date that does not exist is refused.
    if (seconds == static_cast<std::time_t>(-1) || normalised.tm_mday != day ||
        normalised.tm_mon != month - 1 || normalised.tm_year != year - 1900 || hour > 23 ||
        minute > 59 || second > 59) {
        return false;
    }
    ms = static_cast<int64_t>(seconds) * kMsPerSecond;
    return true;
}

std::string LocalClock::Text(int64_t ms) {
    return LocalTimeText(ms);
}
