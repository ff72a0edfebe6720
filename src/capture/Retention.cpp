#include "capture/Retention.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <tuple>

#include "app/MonitorApp.h"
#include "capture/CaptureObject.h"
#include "capture/RecordDirGuard.h"
#include "capture/RecordingFiles.h"

namespace fs = std::filesystem;

namespace {
constexpr int64_t kSecondsPerDay = 86400;

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
    *days = std::chrono::sys_days(date).time_since_epoch().count();
    return true;
}

// Seconds into the day and the suffix of "hh-mm-ss.264" or "hh-mm-ss_<n>.264".
bool ParseTime(const std::string& name, int64_t* seconds, int* suffix) {
    int h = 0, m = 0, s = 0;
    if (name.size() < 12 || name[2] != '-' || name[5] != '-' || !Digits(name, 0, 2, &h) ||
        !Digits(name, 3, 2, &m) || !Digits(name, 6, 2, &s) || h > 23 || m > 59 || s > 59 ||
        name.compare(name.size() - 4, 4, ".264") != 0) {
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

std::string RecordDirSetting() {
    const CMonitorApp* app = TheApp();
    std::string dir = app != nullptr ? app->RecordDir() : std::string();
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}
}  // namespace

CRetention::CRetention() : CRetention(Options()) {}

CRetention::CRetention(Options options)
    : clock_(options.Clock ? std::move(options.Clock) : ClockFn(&GetLocalTime)),
      space_(options.Space ? std::move(options.Space) : DiskSpaceFn(&StatDiskSpace)),
      minReserveBytes_(options.MinReserveBytes),
      spaceCheckInterval_(options.SpaceCheckInterval) {}

CRetention::~CRetention() {
    Stop();
}

uint64_t CRetention::ReserveBytes(uint64_t totalBytes, uint64_t minReserveBytes) {
    return std::max(minReserveBytes, totalBytes / 100 * kReservePercent);
}

CRetention::DiskSpace CRetention::StatDiskSpace(const std::string& folder) {
    struct statvfs vfs {};
    DiskSpace space;
    if (statvfs(folder.c_str(), &vfs) != 0) return space;
    space.Known = true;
    space.TotalBytes = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    space.FreeBytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    return space;
}

bool CRetention::Recording::operator<(const Recording& other) const {
    return std::tie(Start, Suffix, Path) < std::tie(other.Start, other.Suffix, other.Path);
}

int64_t CRetention::Now() const {
    const LocalTime t = clock_();
    const std::chrono::year_month_day date{std::chrono::year(t.Year), std::chrono::month(t.Month),
                                           std::chrono::day(t.Day)};
    return std::chrono::sys_days(date).time_since_epoch().count() * kSecondsPerDay + t.Hour * 3600 +
           t.Minute * 60 + t.Second;
}

std::vector<CRetention::Recording> CRetention::ListRecordings(const std::string& recordDir) const {
    std::vector<Recording> found;
    std::error_code error;
    // Symbolic links are not followed, so nothing outside RecordDir is ever reached.
    fs::recursive_directory_iterator it(recordDir, fs::directory_options::skip_permission_denied,
                                        error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
        // <camera>/<day>/<file>: at least two folders below RecordDir.
        if (it.depth() < 2 || !fs::is_regular_file(it->symlink_status(error))) continue;
        const fs::path& path = it->path();
        int64_t day = 0, seconds = 0;
        int suffix = 0;
        if (!ParseDay(path.parent_path().filename().string(), &day) ||
            !ParseTime(path.filename().string(), &seconds, &suffix)) {
            continue;
        }
        found.push_back({path.string(), day * kSecondsPerDay + seconds, suffix});
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool CRetention::Delete(const Recording& recording, const char* format, int64_t today) {
    const int result = CRecordingFiles::DeleteUnlessOpen(recording.Path);
    if (result == 1) return false;
    if (result != 0) {
        if (failedPaths_.insert(recording.Path).second) {
            ComponentLog(nullptr, "删除录像失败 %s", recording.Path.c_str());
        }
        return false;
    }
    ComponentLog(nullptr, format, recording.Path.c_str());
    // Fails, as it should, while the folder holds anything else.
    if (recording.Start / kSecondsPerDay != today) {
        rmdir(fs::path(recording.Path).parent_path().c_str());
    }
    return true;
}

int CRetention::RunAgePass() {
    const CMonitorApp* app = TheApp();
    const std::string recordDir = RecordDirSetting();
    if (app == nullptr || recordDir.empty() || !CRecordDirGuard::Usable(recordDir)) return 0;
    const int64_t now = Now();
    const int64_t cutoff = now - int64_t{app->RecordSaveDay()} * kSecondsPerDay;
    int deleted = 0;
    for (const Recording& recording : ListRecordings(recordDir)) {
        if (recording.Start >= cutoff || stopping_.load()) break;
        if (Delete(recording, "删除过期录像 %s", now / kSecondsPerDay)) ++deleted;
    }
    return deleted;
}

int CRetention::RunSpacePass() {
    const std::string recordDir = RecordDirSetting();
    if (recordDir.empty() || !CRecordDirGuard::Usable(recordDir)) return 0;
    DiskSpace space = space_(recordDir);
    if (!space.Known) return 0;
    const uint64_t reserve = ReserveBytes(space.TotalBytes, minReserveBytes_);
    if (space.FreeBytes >= reserve) {
        spaceShortLogged_ = false;
        return 0;
    }
    const int64_t today = Now() / kSecondsPerDay;
    int deleted = 0;
    for (const Recording& recording : ListRecordings(recordDir)) {
        if (stopping_.load()) return deleted;
        if (!Delete(recording, "磁盘空间不足, 删除最早的录像 %s", today)) continue;
        ++deleted;
        space = space_(recordDir);
        if (!space.Known || space.FreeBytes >= reserve) return deleted;
    }
    if (!spaceShortLogged_)
        ComponentLog(nullptr, "磁盘空间不足, 没有可删除的录像 %s", recordDir.c_str());
    spaceShortLogged_ = true;
    return deleted;
}

int CRetention::Start() {
    if (thread_.joinable()) return 0;
    stopping_.store(false);
    try {
        thread_ = std::thread(&CRetention::Body, this);
    } catch (const std::system_error&) {
        return -1;
    }
    return 0;
}

void CRetention::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(lock_);
        stopping_.store(true);
    }
    wake_.notify_all();
    thread_.join();
}

void CRetention::Body() {
    using Clock = std::chrono::steady_clock;
    Clock::time_point nextAgePass = Clock::now();
    Clock::time_point nextSpaceCheck = nextAgePass;
    while (!stopping_.load()) {
        const Clock::time_point now = Clock::now();
        if (now >= nextAgePass) {
            RunAgePass();
            nextAgePass = now + kAgePassInterval;
        }
        if (now >= nextSpaceCheck) {
            RunSpacePass();
            nextSpaceCheck = now + spaceCheckInterval_;
        }
        std::unique_lock<std::mutex> lock(lock_);
        wake_.wait_until(lock, std::min(nextAgePass, nextSpaceCheck),
                         [this] { return stopping_.load(); });
    }
}
