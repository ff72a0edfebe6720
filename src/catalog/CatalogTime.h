// The catalog counts time in wall-clock milliseconds since 1970 (UTC); file names and
// days are local. These convert between the two with the system's time zone.
//
// Pure functions of the time zone: any thread.
#pragma once

#include <cstdint>
#include <string>

struct LocalDate {
    int Year = 0;
    int Month = 0;  // 1..12
    int Day = 0;    // 1..31
};

// A local date and time counted as RecordingName counts it (seconds since 1970 as if
// local time were UTC), in milliseconds UTC.
int64_t LocalSecondsToUtcMs(int64_t localSeconds);
LocalDate LocalDateOf(int64_t utcMs);
// The start of a local day in milliseconds UTC; a day or month past its end rolls
// over (day 32 of January is the 1st of February).
int64_t LocalDayStartMs(int year, int month, int day);
// "yyyy-mm-dd" of a local date, as the recordings' day folders are named.
std::string DayText(const LocalDate& date);
// Reads "yyyy-mm-dd"; false for anything else.
bool ParseDayText(const std::string& text, LocalDate* date);
// "yyyy-mm-dd hh:mm:ss" in local time, for reports.
std::string LocalTimeText(int64_t utcMs);
