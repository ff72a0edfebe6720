// What a camera's motion detector tells about the motion it saw: the catalog keeps the
// events beside the recordings. Called on the detector's thread; an observer only queues
// what it is told and returns at once. Times are wall-clock milliseconds since 1970 (UTC).
#pragma once

#include <cstdint>
#include <string>

class IMotionObserver {
public:
    virtual ~IMotionObserver() = default;

    // camera: the camera's folder name (its custom name), as the recordings use it.
    virtual void MotionStarted(const std::string& camera, int64_t startMs) = 0;
    // The event that began at startMs is over; peakPct: the largest share of the watched
    // picture that changed during it, in percent.
    virtual void MotionEnded(const std::string& camera, int64_t startMs, int64_t endMs,
                             double peakPct) = 0;
};
