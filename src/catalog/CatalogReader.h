// What the catalog of recordings answers: the cameras, the days that hold recordings,
// the files of a span with their key-frame index, the holes between them and the
// motion events seen meanwhile. The playback window, export and the command line read
// recordings through it only.
// Times are wall-clock milliseconds since 1970 (UTC); days are local dates.
//
// Threads: any; each call answers from the catalog as it is at that moment (a file
// being recorded is listed with what it holds so far, Growing set).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/RecordingObserver.h"

struct CatalogFile {
    int64_t Id = 0;
    std::string Camera;  // the camera's folder name (its custom name)
    std::string Path;    // the file's full path
    int64_t StartMs = 0;
    int64_t EndMs = 0;
    uint64_t Bytes = 0;
    uint32_t Pictures = 0;
    bool Growing = false;  // still being written
};

struct CatalogKeyFrame {
    uint64_t Offset = 0;  // of its access unit in the file
    int64_t TimeMs = 0;
};

struct CatalogGap {
    int64_t FromMs = 0;
    int64_t ToMs = 0;
    RecordingGapCause Cause = RecordingGapCause::NotRunning;
};

// A span in which a camera's motion detector saw motion.
struct CatalogMotionEvent {
    int64_t StartMs = 0;
    int64_t EndMs = 0;     // while under way: its start
    double PeakPct = 0;    // the largest share of the watched picture that changed
    bool Ongoing = false;  // not ended yet
};

class ICatalogReader {
public:
    virtual ~ICatalogReader() = default;

    // The cameras that have recordings, by name.
    virtual std::vector<std::string> Cameras() const = 0;
    // The days (1..31) of a month, in local time, on which camera recorded.
    virtual std::vector<int> DaysWithRecordings(const std::string& camera, int year,
                                                int month) const = 0;
    // The files of camera that overlap [fromMs, toMs), oldest first.
    virtual std::vector<CatalogFile> Files(const std::string& camera, int64_t fromMs,
                                           int64_t toMs) const = 0;
    // The key frames of a file, in file order.
    virtual std::vector<CatalogKeyFrame> KeyFrames(int64_t fileId) const = 0;
    // The holes of camera's recording that overlap [fromMs, toMs), oldest first.
    virtual std::vector<CatalogGap> Gaps(const std::string& camera, int64_t fromMs,
                                         int64_t toMs) const = 0;
    // The motion events of camera that overlap [fromMs, toMs) (their end included, so
    // an event of no length counts), oldest first.
    virtual std::vector<CatalogMotionEvent> MotionEvents(const std::string& camera, int64_t fromMs,
                                                         int64_t toMs) const = 0;
};
