// Fakes for the motion tests: an observer and a log that record what they are told,
// and a frame target that counts frames; each may be read from any thread.
#pragma once

#include <atomic>
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

// What a watch told: events (a start and an end each an entry), log lines and states.
class CRecorder : public IMotionObserver {
public:
    void MotionStarted(const std::string& camera, int64_t startMs) override {
        Add(events_, RecordedEvent{camera, startMs});
    }
    void MotionEnded(const std::string& camera, int64_t startMs, int64_t endMs,
                     double peakPct) override {
        Add(events_, RecordedEvent{camera, startMs, endMs, peakPct});
    }
    void Log(const std::string& line) { Add(lines_, line); }
    void State(bool moving) { Add(states_, moving); }

    std::vector<RecordedEvent> Events() const { return Copy(events_); }
    std::vector<std::string> Lines() const { return Copy(lines_); }
    std::vector<bool> States() const { return Copy(states_); }
    // Waits until count state changes arrived, or the bound passed: false then.
    bool WaitForStates(size_t count, std::chrono::milliseconds bound = kGenerous) {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, bound, [&] { return states_.size() >= count; });
    }

private:
    template <typename T>
    void Add(std::vector<T>& to, T item) {
        std::lock_guard<std::mutex> guard(lock_);
        to.push_back(std::move(item));
        changed_.notify_all();
    }
    template <typename T>
    std::vector<T> Copy(const std::vector<T>& from) const {
        std::lock_guard<std::mutex> guard(lock_);
        return from;
    }

    mutable std::mutex lock_;  // guards the fields below
    std::condition_variable changed_;
    std::vector<RecordedEvent> events_;
    std::vector<std::string> lines_;
    std::vector<bool> states_;
};

// The live view behind a watch: counts frames and keeps the last one's pixels.
struct CCountingTarget : IFrameTarget {
    void OnFrame(const VideoFrame& frame) override {
        LastPixels.store(frame.Pixels);
        Frames.fetch_add(1);
    }
    std::atomic<int> Frames{0};  // written by the delivering thread
    std::atomic<const uint8_t*> LastPixels{nullptr};
};

}  // namespace motiontest
