#include "CatalogTestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>

#include "catalog/CatalogTime.h"
#include "common/RecordingName.h"

namespace catalogtest {

std::vector<uint8_t> AccessUnit(int index, bool keyFrame, size_t size) {
    std::vector<uint8_t> unit = {0, 0, 0, 1, 0x09, 0xF0};
    const std::vector<uint8_t> head =
        keyFrame
            ? std::vector<uint8_t>{0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x68, 0xCE, 0, 0, 1, 0x65}
            : std::vector<uint8_t>{0, 0, 1, 0x41};
    unit.insert(unit.end(), head.begin(), head.end());
    // first_mb_in_slice = 0: the slice begins a picture.
    unit.push_back(0x88);
    while (unit.size() < size)
        unit.push_back(static_cast<uint8_t>((unit.size() * 7 + index) % 251 + 1));
    return unit;
}

int64_t MsOf(const LocalTime& time) {
    return LocalSecondsToUtcMs(RecordingName::SecondsOf(time)) + time.Milliseconds;
}

Recording WriteRecording(const std::string& root, const std::string& camera, const LocalTime& start,
                         int pictures, int keyEvery, size_t unitBytes) {
    Recording recording;
    recording.Path = RecordingName::Path(root, camera, start);
    recording.RelPath = recording.Path.substr(root.size() + 1);
    recording.StartMs = MsOf(start);
    const std::string folder = recording.Path.substr(0, recording.Path.rfind('/'));
    for (size_t slash = 0; slash != std::string::npos;) {
        slash = folder.find('/', slash + 1);
        mkdir(folder.substr(0, slash).c_str(), 0755);
    }
    std::ofstream out(recording.Path, std::ios::binary);
    for (int i = 0; i < pictures; ++i) {
        const bool key = i % keyEvery == 0;
        const std::vector<uint8_t> unit = AccessUnit(i, key, unitBytes);
        const int64_t at = recording.StartMs + 40 * i;
        if (key) recording.KeyFrames.push_back({recording.Bytes, at});
        out.write(reinterpret_cast<const char*>(unit.data()),
                  static_cast<std::streamsize>(unit.size()));
        recording.Bytes += unit.size();
        recording.EndMs = at;
    }
    out.close();
    recording.Pictures = static_cast<uint32_t>(pictures);
    const timespec end{recording.EndMs / 1000, (recording.EndMs % 1000) * 1000000};
    const timespec times[2] = {end, end};
    utimensat(AT_FDCWD, recording.Path.c_str(), times, 0);
    return recording;
}

void Tell(IRecordingObserver& observer, const std::string& camera, const Recording& recording) {
    observer.FileStarted(camera, recording.Path, recording.StartMs);
    const size_t half = recording.KeyFrames.size() / 2;
    const std::vector<RecordedKeyFrame> first(
        recording.KeyFrames.begin(), recording.KeyFrames.begin() + static_cast<long>(half));
    const std::vector<RecordedKeyFrame> rest(recording.KeyFrames.begin() + static_cast<long>(half),
                                             recording.KeyFrames.end());
    const uint64_t halfBytes =
        half < recording.KeyFrames.size() ? recording.KeyFrames[half].Offset : 0;
    observer.FileGrew(recording.Path, halfBytes, recording.Pictures / 2, recording.StartMs, first);
    observer.FileFinished(recording.Path, recording.Bytes, recording.Pictures, recording.EndMs,
                          rest);
}

CCatalog::LogFn CLogLines::Fn() {
    return [this](const std::string& line) {
        std::lock_guard<std::mutex> lock(lock_);
        lines_.push_back(line);
    };
}

bool CLogLines::Contains(const std::string& part) const {
    std::lock_guard<std::mutex> lock(lock_);
    for (const std::string& line : lines_) {
        if (line.find(part) != std::string::npos) return true;
    }
    return false;
}

std::string CLogLines::All() const {
    std::lock_guard<std::mutex> lock(lock_);
    std::string all;
    for (const std::string& line : lines_) all += line + "\n";
    return all;
}

CCatalog::Options TestOptions(CLogLines& log) {
    CCatalog::Options options;
    options.Log = log.Fn();
    options.BatchDelay = std::chrono::milliseconds(0);
    options.IndexInBackground = false;
    return options;
}

}  // namespace catalogtest
