// Fakes for the motion tests: an observer and a log that record what they are told,
// and a frame target that counts frames; each may be waited on with a bound.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "capture/FrameTarget.h"
#include "common/MotionObserver.h"

namespace motiontest {

constexpr auto kGenerous = std::chrono::seconds(20);

struct RecordedEvent {
    std::string Camera;
    int64_t StartMs = 0;
    int64_t EndMs = -1;  // -1 while under way
    double PeakPct = 0;
};

// What a watch told: events, log lines and state changes, from any thread.
class CRecorder : public IMotionObserver {
public:
    void MotionStarted(const std::string& camera, int64_t startMs) override {
        std::lock_guard<std::mutex> guard(lock_);
        events_.push_back({camera, startMs});
        changed_.notify_all();
    }
    void MotionEnded(const std::string& camera, int64_t startMs, int64_t endMs,
                     double peakPct) override {
        std::lock_guard<std::mutex> guard(lock_);
        events_.push_back({camera, startMs, endMs, peakPct});
        changed_.notify_all();
    }
    void Log(const std::string& line) {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.push_back(line);
    }
    void State(bool moving) {
        std::lock_guard<std::mutex> guard(lock_);
        states_.push_back(moving);
        changed_.notify_all();
    }

    // Starts and ends in order; an end is its own entry with EndMs set.
    std::vector<RecordedEvent> Events() const {
        std::lock_guard<std::mutex> guard(lock_);
        return events_;
    }
    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_;
    }
    std::vector<bool> States() const {
        std::lock_guard<std::mutex> guard(lock_);
        return states_;
    }
    // Waits until count state changes arrived, or the bound passed: false then.
    bool WaitForStates(size_t count, std::chrono::milliseconds bound = kGenerous) {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, bound, [&] { return states_.size() >= count; });
    }

private:
    mutable std::mutex lock_;  // guards the fields below
    std::condition_variable changed_;
    std::vector<RecordedEvent> events_;
    std::vector<std::string> lines_;
    std::vector<bool> states_;
};

// The live view behind a watch: counts frames and keeps the last one's fields.
class CCountingTarget : public IFrameTarget {
public:
    void OnFrame(const VideoFrame& frame) override {
        std::lock_guard<std::mutex> guard(lock_);
        ++frames_;
        last_ = frame;
    }
    int Frames() const {
        std::lock_guard<std::mutex> guard(lock_);
        return frames_;
    }
    VideoFrame Last() const {
        std::lock_guard<std::mutex> guard(lock_);
        return last_;
    }

private:
    mutable std::mutex lock_;  // guards the fields below
    int frames_ = 0;
    VideoFrame last_;
};

}  // namespace motiontest
