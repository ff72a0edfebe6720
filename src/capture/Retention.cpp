#include "capture/Retention.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <tuple>

#include "capture/CaptureObject.h"
#include "capture/RecordDirGuard.h"
#include "capture/RecordingFiles.h"
#include "common/RecordingName.h"

namespace fs = std::filesystem;

namespace {
constexpr int64_t kSecondsPerDay = 86400;
}  // namespace

CRetention::CRetention() : CRetention(Options()) {}

CRetention::CRetention(Options options)
    : policy_(std::move(options.Policy)),
      clock_(options.Clock ? std::move(options.Clock) : ClockFn(&GetLocalTime)),
      space_(options.Space ? std::move(options.Space) : DiskSpaceFn(&StatDiskSpace)),
      recordings_(options.Recordings),
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
    return RecordingName::SecondsOf(clock_());
}

CRetention::Policy CRetention::CurrentPolicy() const {
    Policy policy = policy_ ? policy_() : Policy();
    while (policy.RecordDir.size() > 1 && policy.RecordDir.back() == '/') {
        policy.RecordDir.pop_back();
    }
    return policy;
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
        RecordingName::Parsed name;
        if (!RecordingName::Parse(path.parent_path().filename().string(), path.filename().string(),
                                  &name)) {
            continue;
        }
        found.push_back({path.string(), name.StartSeconds, name.Suffix});
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
    if (recordings_ != nullptr) recordings_->FileDeleted(recording.Path);
    // Fails, as it should, while the folder holds anything else.
    if (recording.Start / kSecondsPerDay != today) {
        rmdir(fs::path(recording.Path).parent_path().c_str());
    }
    return true;
}

int CRetention::RunAgePass() {
    const Policy policy = CurrentPolicy();
    const std::string& recordDir = policy.RecordDir;
    if (recordDir.empty() || policy.SaveDays <= 0 || !CRecordDirGuard::Usable(recordDir)) return 0;
    const int64_t now = Now();
    const int64_t cutoff = now - int64_t{policy.SaveDays} * kSecondsPerDay;
    int deleted = 0;
    for (const Recording& recording : ListRecordings(recordDir)) {
        if (recording.Start >= cutoff || stopping_.load()) break;
        if (Delete(recording, "删除过期录像 %s", now / kSecondsPerDay)) ++deleted;
    }
    return deleted;
}

int CRetention::RunSpacePass() {
    const std::string recordDir = CurrentPolicy().RecordDir;
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
