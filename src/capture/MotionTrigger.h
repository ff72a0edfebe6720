// What a camera's motion detector tells that camera's recording, and whether the
// recording keeps only the time around motion. The detector's thread writes the
// motion, the user-interface thread the mode, the capture thread reads both: atomics.
#pragma once

#include <atomic>
#include <cstdint>

class CMotionTrigger {
public:
    // Any thread: record only around motion (true) or continuously (false).
    void SetMotionOnly(bool on) { motionOnly_.store(on, std::memory_order_release); }
    bool MotionOnly() const { return motionOnly_.load(std::memory_order_acquire); }

    // The detector's thread: motion began / ended at wallMs.
    void MotionStarted(int64_t wallMs) {
        startedMs_.store(wallMs, std::memory_order_relaxed);
        active_.store(true, std::memory_order_release);
    }
    void MotionEnded(int64_t wallMs) {
        endedMs_.store(wallMs, std::memory_order_relaxed);
        active_.store(false, std::memory_order_release);
    }

    bool Active() const { return active_.load(std::memory_order_acquire); }
    // When the last motion began / ended; read after Active() for a consistent pair.
    int64_t StartedMs() const { return startedMs_.load(std::memory_order_relaxed); }
    int64_t EndedMs() const { return endedMs_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> motionOnly_{false};
    std::atomic<bool> active_{false};
    std::atomic<int64_t> startedMs_{0};
    std::atomic<int64_t> endedMs_{0};
};
