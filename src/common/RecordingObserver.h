// What a recorder tells about the files it writes, for the catalog of recordings
// beside them. The recorder is handed an observer (or none) and calls it on its worker
// thread, and from Stop on its owner's thread; an observer only queues what it is told
// and returns at once: it never waits for a disk or a database, and never calls back.
// Times are wall-clock milliseconds since 1970 (UTC).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Why a camera's recording has a hole.
enum class RecordingGapCause {
    NotRunning,    // the program did not run
    CameraAbsent,  // the camera was gone or delivered nothing
    DiskFull,      // bytes were dropped: the disk was full, failed or fell behind
    NoMotion,      // a camera recording on motion only saw none
};

// A key frame of a file: where its access unit starts and when it arrived.
struct RecordedKeyFrame {
    uint64_t Offset = 0;
    int64_t WallMs = 0;
};

class IRecordingObserver {
public:
    virtual ~IRecordingObserver() = default;

    // A new file was created for camera (the camera's folder name) at path; its first
    // access unit arrived at startMs.
    virtual void FileStarted(const std::string& camera, const std::string& path,
                             int64_t startMs) = 0;
    // What the file holds now, told at least every 5 s while it grows: bytes written,
    // access units (pictures) in them, the arrival of the last one, and the key frames
    // written since the last call.
    virtual void FileGrew(const std::string& path, uint64_t bytes, uint32_t pictures, int64_t endMs,
                          const std::vector<RecordedKeyFrame>& keyFrames) = 0;
    // The file is closed (roll-over or stop) and holds what the last FileGrew said,
    // plus the key frames given here.
    virtual void FileFinished(const std::string& path, uint64_t bytes, uint32_t pictures,
                              int64_t endMs, const std::vector<RecordedKeyFrame>& keyFrames) = 0;
    // The camera's recording has a hole from fromMs to toMs.
    virtual void GapNoted(const std::string& camera, int64_t fromMs, int64_t toMs,
                          RecordingGapCause cause) = 0;
    // The retention deleted the file.
    virtual void FileDeleted(const std::string& path) = 0;
};
