// Watches one open camera for motion. Placed in front of the live view's frame target:
// every frame goes on to that target, and at most one frame per kAnalysisIntervalMs is
// copied for the watch's own analysis thread, which finds motion events and tells them
// to the log, the observer (the catalog), the trigger (the camera's recording) and the
// state callback (the user interface).
//
// Threads: OnFrame runs on the capture library's thread and never waits for another
// thread beyond the copy of one frame. UpdateSettings may be called from any thread.
// The observer, the trigger and the state callback are called on the analysis thread
// (or on the caller of AnalyzeFrame, or of the destructor for the last end); they must
// return at once and must not call back into this watch.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/FrameTarget.h"
#include "capture/MotionTrigger.h"
#include "common/MotionObserver.h"
#include "common/MotionSettings.h"
#include "motion/MotionMeasure.h"
#include "platform/LocalTime.h"

class CMotionWatch : public IFrameTarget {
public:
    // moving: an event started (true) or ended (false).
    using StateFn = std::function<void(bool moving)>;
    // One finished log line.
    using LogFn = std::function<void(const std::string& line)>;

    static constexpr int64_t kAnalysisIntervalMs = 200;

    // next: the live view's target, may be null; observer, trigger: may be null;
    // onState: may be empty. log: empty sends the lines to the application's log.
    // Starts the analysis thread.
    CMotionWatch(std::string cameraName, IFrameTarget* next, const MotionSettings& settings,
                 IMotionObserver* observer, CMotionTrigger* trigger, StateFn onState,
                 WallClockFn clock = WallClockMs, LogFn log = {});
    // Stops and joins the analysis thread, then ends an event under way.
    ~CMotionWatch() override;

    CMotionWatch(const CMotionWatch&) = delete;
    CMotionWatch& operator=(const CMotionWatch&) = delete;

    void OnFrame(const VideoFrame& frame) override;

    // Any thread. Takes effect before the next analysis; turning detection off ends an
    // event under way.
    void UpdateSettings(const MotionSettings& settings);

    // Analyses the frame at once on the calling thread as if it arrived at wallMs: what
    // the analysis thread does with each frame it takes. For tests and benchmarks that
    // feed pictures faster than real time. Nothing when detection is off.
    MotionMeasure AnalyzeFrame(const VideoFrame& frame, int64_t wallMs);

private:
    struct Analysis;
    static constexpr int64_t kNeverMs = std::numeric_limits<int64_t>::min();

    void Run();
    // The members below ending in Locked need analysisLock_.
    void ApplyPendingSettingsLocked();
    MotionMeasure AnalyzeLocked(const VideoFrame& frame, int64_t wallMs);
    void ReportStartLocked();
    void ReportEndLocked();
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Set at construction, read-only after.
    const std::string cameraName_;
    IFrameTarget* const next_;
    IMotionObserver* const observer_;
    CMotionTrigger* const trigger_;
    const StateFn onState_;
    const WallClockFn clock_;
    const LogFn log_;

    std::atomic<bool> enabled_;        // written by UpdateSettings, read by OnFrame
    std::atomic<int64_t> lastCopyMs_;  // the capture thread's; atomic for a thread change

    std::mutex slotLock_;  // guards the fields below it, held only to copy or swap them
    std::condition_variable wake_;
    std::vector<uint8_t> slotPixels_;  // the newest copied frame, rows packed
    VideoFrame slotFrame_;             // its size; Pixels unused
    int64_t slotMs_ = 0;
    bool slotFull_ = false;
    MotionSettings pendingSettings_;
    bool settingsPending_ = false;
    bool stopping_ = false;

    std::mutex analysisLock_;             // held by whoever analyses: the thread or AnalyzeFrame
    std::unique_ptr<Analysis> analysis_;  // guarded by analysisLock_
    std::vector<uint8_t> workPixels_;     // the analysis thread's, swapped with slotPixels_

    std::thread thread_;  // last: started once every field above exists
};
