#include "playback/RecordingCursor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <limits>

#include "playback/SeekIndex.h"

namespace {

constexpr int64_t kDefaultIntervalMs = 33;  // 30 pictures a second
// How far around a time the catalog is asked for files first; a day holds a few
// hundred files of one camera.
constexpr int64_t kLookAroundMs = 24LL * 3600 * 1000;
constexpr int64_t kEndOfTimeMs = std::numeric_limits<int64_t>::max() / 2;

// The first unit after the first that starts a key frame, or units.size().
size_t NextKeyUnit(const std::vector<AccessUnitSpan>& units) {
    for (size_t i = 1; i < units.size(); ++i) {
        if (units[i].Key) return i;
    }
    return units.size();
}

}  // namespace

CRecordingCursor::CRecordingCursor(const ICatalogReader& catalog, std::string camera, NowFn now)
    : catalog_(catalog), camera_(std::move(camera)), now_(std::move(now)) {}

int64_t CRecordingCursor::NowMs() const {
    if (now_) return now_();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool CRecordingCursor::Seek(int64_t targetMs, StartAt start) {
    positioned_ = false;
    handedOut_ = false;
    std::vector<CatalogFile> files =
        catalog_.Files(camera_, targetMs - kLookAroundMs, targetMs + kLookAroundMs);
    if (files.empty()) files = catalog_.Files(camera_, targetMs, kEndOfTimeMs);
    if (files.empty()) files = catalog_.Files(camera_, -kEndOfTimeMs, targetMs);
    for (int i = SeekIndex::FileFor(files, targetMs); i >= 0 && i < int(files.size()); ++i) {
        if (Open(files[i]) && StartFileAt(targetMs, start)) {
            positioned_ = true;
            return true;
        }
    }
    return false;
}

bool CRecordingCursor::Open(const CatalogFile& file) {
    fd_.Reset(open(file.Path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd_) return false;
    file_ = file;
    finished_ = !file.Growing;
    keys_ = catalog_.KeyFrames(file.Id);
    if (file.Pictures > 1 && file.EndMs > file.StartMs) {
        intervalMs_ = (file.EndMs - file.StartMs) / (file.Pictures - 1);
    }
    if (intervalMs_ <= 0) intervalMs_ = kDefaultIntervalMs;
    return true;
}

bool CRecordingCursor::StartFileAt(int64_t targetMs, StartAt start) {
    if (keys_.empty() && !finished_) {
        // A file so new the catalog knows none of its key frames yet: its first one.
        std::vector<uint8_t> bytes;
        if (!Read(0, FileSize(), bytes)) return false;
        const std::vector<AccessUnitSpan> units =
            SplitAccessUnits(bytes.data(), bytes.size(), false);
        const auto key = std::find_if(units.begin(), units.end(),
                                      [](const AccessUnitSpan& unit) { return unit.Key; });
        if (key == units.end()) return false;
        BeginSegment(key->Offset, file_.StartMs);
    } else {
        const int k = start == StartAt::NearestKeyFrame
                          ? SeekIndex::KeyFrameNearest(keys_, targetMs)
                          : SeekIndex::KeyFrameAtOrBefore(keys_, targetMs);
        if (k < 0) return false;
        BeginSegment(keys_[k].Offset, keys_[k].TimeMs);
    }
    LoadSegment();
    return !units_.empty() || !segClosed_;
}

void CRecordingCursor::BeginSegment(uint64_t offset, int64_t timeMs) {
    segOffset_ = offset;
    segTimeMs_ = timeMs;
    segBytes_.clear();
    units_.clear();
    times_.clear();
    next_ = 0;
    segClosed_ = false;
    segToKey_ = false;
}

void CRecordingCursor::LoadSegment() {
    if (!finished_) {
        RefreshFile();
        keys_ = catalog_.KeyFrames(file_.Id);
    }
    const auto nextKey =
        std::find_if(keys_.begin(), keys_.end(),
                     [this](const CatalogKeyFrame& key) { return key.Offset > segOffset_; });
    if (nextKey != keys_.end()) {
        // Both ends known: the pictures between are spread evenly.
        if (!Read(segOffset_, nextKey->Offset, segBytes_)) segBytes_.clear();
        units_ = SplitAccessUnits(segBytes_.data(), segBytes_.size(), true);
        const std::vector<int64_t> spread =
            SeekIndex::SpreadTimes(segTimeMs_, nextKey->TimeMs, units_.size(), false);
        // Pictures already handed out with a guessed time keep it.
        times_.resize(std::min(times_.size(), next_));
        times_.insert(times_.end(), spread.begin() + times_.size(), spread.end());
        if (!units_.empty() && nextKey->TimeMs > segTimeMs_) {
            intervalMs_ = std::max<int64_t>(
                1, (nextKey->TimeMs - segTimeMs_) / static_cast<int64_t>(units_.size()));
        }
        segClosed_ = true;
        segToKey_ = true;
        segEnd_ = nextKey->Offset;
        segEndMs_ = nextKey->TimeMs;
        return;
    }
    if (!Read(segOffset_, FileSize(), segBytes_)) segBytes_.clear();
    units_ = SplitAccessUnits(segBytes_.data(), segBytes_.size(), finished_);
    if (finished_) {
        const std::vector<int64_t> spread =
            SeekIndex::SpreadTimes(segTimeMs_, file_.EndMs, units_.size(), true);
        times_.resize(std::min(times_.size(), next_));
        times_.insert(times_.end(), spread.begin() + times_.size(), spread.end());
        segClosed_ = true;
        return;
    }
    // The growing end of a file, past the key frames the catalog knows.
    const size_t key = NextKeyUnit(units_);
    if (key < units_.size()) {
        segClosed_ = true;
        segToKey_ = true;
        segEnd_ = segOffset_ + units_[key].Offset;
        units_.resize(key);
    }
    TimeOpenUnits(std::min(times_.size(), next_));
    if (segToKey_) segEndMs_ = std::min(NowMs(), times_.back() + intervalMs_);
}

void CRecordingCursor::TimeOpenUnits(size_t from) {
    times_.resize(from);
    const int64_t nowMs = NowMs();
    for (size_t i = from; i < units_.size(); ++i) {
        const int64_t guess = segTimeMs_ + static_cast<int64_t>(i) * intervalMs_;
        times_.push_back(std::max(i == 0 ? segTimeMs_ : times_[i - 1], std::min(guess, nowMs)));
    }
}

void CRecordingCursor::RefreshFile() {
    for (const CatalogFile& file : catalog_.Files(camera_, file_.StartMs, file_.StartMs + 1)) {
        if (file.Id == file_.Id) {
            file_ = file;
            break;
        }
    }
    if (!file_.Growing) finished_ = true;
}

std::vector<CatalogFile> CRecordingCursor::FilesAfter() const {
    std::vector<CatalogFile> files =
        catalog_.Files(camera_, file_.EndMs, file_.EndMs + kLookAroundMs);
    if (files.empty() || files.back().Id == file_.Id) {
        files = catalog_.Files(camera_, file_.EndMs, kEndOfTimeMs);
    }
    files.erase(std::remove_if(files.begin(), files.end(),
                               [this](const CatalogFile& file) {
                                   return file.StartMs < file_.StartMs ||
                                          (file.StartMs == file_.StartMs && file.Id <= file_.Id);
                               }),
                files.end());
    return files;
}

bool CRecordingCursor::NextFile() {
    for (const CatalogFile& file : FilesAfter()) {
        const CatalogFile previous = file_;
        if (Open(file) && StartFileAt(file.StartMs, StartAt::KeyFrameAtOrBefore)) return true;
        file_ = previous;  // unreadable: the next one, from the same place
    }
    return false;
}

bool CRecordingCursor::Next(TimedUnit& unit) {
    if (!positioned_) return false;
    for (;;) {
        if (next_ < units_.size()) {
            const AccessUnitSpan& span = units_[next_];
            unit.Data = segBytes_.data() + span.Offset;
            unit.Length = span.Length;
            unit.TimeMs = handedOut_ ? std::max(lastMs_, times_[next_]) : times_[next_];
            unit.Key = span.Key;
            unit.FileId = file_.Id;
            unit.Offset = segOffset_ + span.Offset;
            lastMs_ = unit.TimeMs;
            handedOut_ = true;
            ++next_;
            return true;
        }
        if (!segClosed_) {
            const size_t had = units_.size();
            LoadSegment();
            if (units_.size() > had || segClosed_) continue;
            // Nothing new in a file the catalog still calls growing: when a later file
            // has started, this one has ended.
            if (FilesAfter().empty()) return false;
            finished_ = true;
            LoadSegment();
            continue;
        }
        if (segToKey_) {
            BeginSegment(segEnd_, segEndMs_);
            LoadSegment();
            continue;
        }
        if (!NextFile()) return false;
    }
}

uint64_t CRecordingCursor::FileSize() const {
    struct stat info {};
    if (!fd_ || fstat(fd_.Get(), &info) != 0) return 0;
    return static_cast<uint64_t>(info.st_size);
}

bool CRecordingCursor::Read(uint64_t from, uint64_t to, std::vector<uint8_t>& bytes) const {
    bytes.clear();
    if (to <= from) return true;
    bytes.resize(to - from);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = pread(fd_.Get(), bytes.data() + done, bytes.size() - done,
                                static_cast<off_t>(from + done));
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    return done > 0;
}
