// Helpers of the catalog tests: recordings written as the recorder names and shapes
// them (H.264 Annex B access units), times in the catalog's milliseconds, and a
// catalog whose log lines are kept.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "catalog/Catalog.h"
#include "platform/LocalTime.h"

namespace catalogtest {

// One access unit of size bytes (at least 32): a delimiter, then SPS, PPS and an IDR
// slice for a key frame, else a P slice; its payload holds no zero byte.
std::vector<uint8_t> AccessUnit(int index, bool keyFrame, size_t size);

// A recording on disk and what the recorder would have told of it.
struct Recording {
    std::string RelPath;  // below the RecordDir
    std::string Path;     // full
    int64_t StartMs = 0;
    int64_t EndMs = 0;
    uint64_t Bytes = 0;
    uint32_t Pictures = 0;
    std::vector<RecordedKeyFrame> KeyFrames;  // a picture every 40 ms
};

// The milliseconds of a local time, as file names count it.
int64_t MsOf(const LocalTime& time);

// Writes "<root>/<camera>/<day>/<time>.264" of pictures access units of unitBytes, a
// key frame every keyEvery; its last change is set to its end.
Recording WriteRecording(const std::string& root, const std::string& camera, const LocalTime& start,
                         int pictures, int keyEvery = 10, size_t unitBytes = 200);

// Tells observer of the recording as a recorder does, from start to finish.
void Tell(IRecordingObserver& observer, const std::string& camera, const Recording& recording);

// Collects log lines from any thread.
class CLogLines {
public:
    CCatalog::LogFn Fn();
    bool Contains(const std::string& part) const;
    std::string All() const;

private:
    mutable std::mutex lock_;  // guards lines_
    std::vector<std::string> lines_;
};

// Options of a catalog for tests: no background scan, log lines kept.
CCatalog::Options TestOptions(CLogLines& log);

}  // namespace catalogtest
