// One thing a recorder, a motion detector, the retention or the settings told the
// catalog, queued for its writing thread. A plain value: it moves from the telling
// thread to the writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/RecordingObserver.h"

struct CatalogEvent {
    enum class Kind { Started, Grew, Finished, Gap, Deleted, Switch, MotionStarted, MotionEnded };

    Kind What = Kind::Started;
    std::string Camera;  // Started, Gap, Motion...: the camera's folder name
    std::string Path;    // the file's full path; Switch: the new RecordDir
    int64_t FromMs = 0;  // Started: the start; Gap: the hole's start; Deleted: when;
                         // Motion...: the event's start
    int64_t ToMs = 0;    // Grew, Finished: the end; Gap: the hole's end; MotionEnded: the end
    uint64_t Bytes = 0;
    uint32_t Pictures = 0;
    std::vector<RecordedKeyFrame> KeyFrames;
    RecordingGapCause Cause = RecordingGapCause::NotRunning;
    double PeakPct = 0;  // MotionEnded
};
