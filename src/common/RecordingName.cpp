#include "common/RecordingName.h"

#include <chrono>
#include <cstdio>

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr const char* kExtension = ".264";

// Each "/"-separated part that would name no folder or climb out ("" "." "..") is
// replaced, so a name can add folder levels but never leave RecordDir.
std::string SafeCameraFolder(const std::string& name) {
    std::string safe;
    size_t begin = 0;
    while (true) {
        const size_t slash = name.find('/', begin);
        const size_t end = slash == std::string::npos ? name.size() : slash;
        const std::string part = name.substr(begin, end - begin);
        safe += (part.empty() || part == "." || part == "..") ? RecordingName::kPlaceholderFolder
                                                              : part;
        if (slash == std::string::npos) break;
        safe += '/';
        begin = slash + 1;
    }
    return safe;
}

bool Digits(const std::string& text, size_t at, size_t count, int* value) {
    if (at + count > text.size()) return false;
    int v = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return true;
}

int64_t DaysOf(int year, int month, int day) {
    const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month),
                                           std::chrono::day(day)};
    return std::chrono::sys_days(date).time_since_epoch().count();
}

// Days since 1970-01-01 of a "yyyy-mm-dd" folder name; false for anything else.
bool ParseDay(const std::string& name, int64_t* days) {
    int y = 0, m = 0, d = 0;
    if (name.size() != 10 || name[4] != '-' || name[7] != '-' || !Digits(name, 0, 4, &y) ||
        !Digits(name, 5, 2, &m) || !Digits(name, 8, 2, &d)) {
        return false;
    }
    const std::chrono::year_month_day date{std::chrono::year(y), std::chrono::month(m),
                                           std::chrono::day(d)};
    if (!date.ok()) return false;
    *days = DaysOf(y, m, d);
    return true;
}

// Seconds into the day and the suffix of "hh-mm-ss.264" or "hh-mm-ss_<n>.264".
bool ParseTime(const std::string& name, int64_t* seconds, int* suffix) {
    int h = 0, m = 0, s = 0;
    if (name.size() < 12 || name[2] != '-' || name[5] != '-' || !Digits(name, 0, 2, &h) ||
        !Digits(name, 3, 2, &m) || !Digits(name, 6, 2, &s) || h > 23 || m > 59 || s > 59 ||
        name.compare(name.size() - 4, 4, kExtension) != 0) {
        return false;
    }
    *suffix = 0;
    const size_t rest = name.size() - 12;  // what lies between the time and ".264"
    if (rest > 0 &&
        (rest < 2 || rest > 4 || name[8] != '_' || !Digits(name, 9, rest - 1, suffix))) {
        return false;
    }
    *seconds = h * 3600 + m * 60 + s;
    return true;
}

}  // namespace

std::string RecordingName::CameraFolder(const std::string& cameraName) {
    return SafeCameraFolder(cameraName);
}

std::string RecordingName::Path(const std::string& recordDir, const std::string& cameraName,
                                const LocalTime& start, int suffix) {
    std::string folder = recordDir;
    if (!folder.empty() && folder.back() == '/') folder.pop_back();  // one only
    char day[32];
    char time[32];
    std::snprintf(day, sizeof day, "%04d-%02d-%02d", start.Year, start.Month, start.Day);
    std::snprintf(time, sizeof time, "%02d-%02d-%02d", start.Hour, start.Minute, start.Second);
    std::string path = folder + "/" + SafeCameraFolder(cameraName) + "/" + day + "/" + time;
    if (suffix > 0) path += "_" + std::to_string(suffix);
    return path + kExtension;
}

bool RecordingName::Parse(const std::string& dayFolder, const std::string& fileName,
                          Parsed* parsed) {
    int64_t day = 0, seconds = 0;
    int suffix = 0;
    if (!ParseDay(dayFolder, &day) || !ParseTime(fileName, &seconds, &suffix)) return false;
    parsed->StartSeconds = day * kSecondsPerDay + seconds;
    parsed->Suffix = suffix;
    return true;
}

int64_t RecordingName::SecondsOf(const LocalTime& t) {
    return DaysOf(t.Year, t.Month, t.Day) * kSecondsPerDay + t.Hour * 3600 + t.Minute * 60 +
           t.Second;
}
