// Tells a recording observer (the catalog) what a recorder's worker writes: which file
// holds which access units, its key frames with their file offsets and arrival times,
// and the holes in the stream. The worker hands it each file it opens, the stream
// position each write reaches and each file it closes; the marks the capture thread
// queued say where the access units begin. A file is told at once when opened, then
// every kGrowInterval while it grows, and when closed.
//
// Threads: the recorder's worker, then Stop on the owner's thread once the worker has
// ended. Without an observer every call does nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/AccessUnitMarks.h"
#include "common/RecordingObserver.h"
#include "platform/LocalTime.h"

class CRecordingReporter {
public:
    static constexpr std::chrono::milliseconds kGrowInterval{2000};
    // A stream silent this long while recording is a hole: the camera delivered nothing.
    static constexpr int64_t kSilentGapMs = 3000;

    explicit CRecordingReporter(IRecordingObserver* observer) : observer_(observer) {}

    bool Active() const { return observer_ != nullptr; }
    // The marks of a new recording run, and the clock for a file opened before any
    // mark (none at all without an observer).
    void Begin(CAccessUnitMarks* marks, WallClockFn wallClock);
    // A file of camera (its folder name) was created at path for the stream from
    // streamStart on.
    void FileOpened(const std::string& camera, const std::string& path, uint64_t streamStart);
    // The stream before streamEnd is in the current file, which now holds fileBytes.
    void Written(uint64_t streamEnd, uint64_t fileBytes);
    // The current file was closed holding fileBytes.
    void FileClosed(uint64_t fileBytes);

private:
    // Takes the marks of the units that begin before streamEnd into the current file.
    void TakeMarks(uint64_t streamEnd);

    IRecordingObserver* const observer_;
    CAccessUnitMarks* marks_ = nullptr;  // set by Begin on the owner's thread, before the worker
    WallClockFn wallClock_ = &WallClockMs;

    // The worker's, then Stop's.
    std::string camera_;
    std::string path_;
    bool open_ = false;
    uint64_t fileStart_ = 0;  // stream position of the file's first byte
    uint32_t pictures_ = 0;
    int64_t endMs_ = 0;
    std::vector<RecordedKeyFrame> untold_;  // key frames not told yet
    bool changed_ = false;
    std::optional<AccessUnitMark> last_;  // the latest unit taken, of any file
    std::chrono::steady_clock::time_point lastTold_{};
};
