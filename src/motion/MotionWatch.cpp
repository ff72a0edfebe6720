#include "motion/MotionWatch.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <opencv2/core.hpp>

#include "app/MonitorApp.h"
#include "motion/MotionDetector.h"
#include "motion/MotionEventTracker.h"
#include "motion/MotionPicture.h"

namespace {
// Room for the longest camera name (255 bytes) and the text around it.
constexpr size_t kLogLineBytes = 520;
}  // namespace

// What the analysing thread owns; kept here so the header needs no OpenCV.
struct CMotionWatch::Analysis {
    MotionSettings Settings;  // as applied to the detector
    CMotionDetector Detector;
    CMotionEventTracker Tracker;
    cv::Mat Grey, Picture;  // reused buffers
};

CMotionWatch::CMotionWatch(std::string cameraName, IFrameTarget* next,
                           const MotionSettings& settings, IMotionObserver* observer,
                           CMotionTrigger* trigger, StateFn onState, WallClockFn clock, LogFn log)
    : cameraName_(std::move(cameraName)),
      next_(next),
      observer_(observer),
      trigger_(trigger),
      onState_(std::move(onState)),
      clock_(clock != nullptr ? clock : WallClockMs),
      log_(std::move(log)),
      enabled_(settings.Enabled),
      lastCopyMs_(kNeverMs),
      analysis_(std::make_unique<Analysis>()) {
    analysis_->Settings = settings;
    analysis_->Detector.SetExcluded(settings.Excluded);
    thread_ = std::thread([this] { Run(); });
}

CMotionWatch::~CMotionWatch() {
    {
        std::lock_guard<std::mutex> guard(slotLock_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    std::lock_guard<std::mutex> guard(analysisLock_);
    if (analysis_->Tracker.Stop() == CMotionEventTracker::Change::Ended) ReportEndLocked();
}

void CMotionWatch::OnFrame(const VideoFrame& frame) {
    if (next_ != nullptr) next_->OnFrame(frame);
    if (!enabled_.load(std::memory_order_relaxed)) return;
    if (frame.Pixels == nullptr || frame.Width <= 0 || frame.Height <= 0 ||
        frame.Stride < frame.Width * 4)
        return;
    const int64_t now = clock_();
    const int64_t last = lastCopyMs_.load(std::memory_order_relaxed);
    // A clock set back copies at once rather than waiting for it to catch up.
    if (last != kNeverMs && now >= last && now - last < kAnalysisIntervalMs) return;
    lastCopyMs_.store(now, std::memory_order_relaxed);

    const size_t rowBytes = static_cast<size_t>(frame.Width) * 4;
    {
        std::lock_guard<std::mutex> guard(slotLock_);
        slotPixels_.resize(rowBytes * static_cast<size_t>(frame.Height));
        if (static_cast<size_t>(frame.Stride) == rowBytes) {
            std::memcpy(slotPixels_.data(), frame.Pixels, slotPixels_.size());
        } else {
            for (int row = 0; row < frame.Height; ++row)
                std::memcpy(slotPixels_.data() + rowBytes * static_cast<size_t>(row),
                            frame.Pixels + static_cast<size_t>(frame.Stride) * row, rowBytes);
        }
        slotFrame_ = VideoFrame{frame.Width, frame.Height, static_cast<int>(rowBytes), nullptr};
        slotMs_ = now;
        slotFull_ = true;
    }
    wake_.notify_one();
}

void CMotionWatch::UpdateSettings(const MotionSettings& settings) {
    {
        std::lock_guard<std::mutex> guard(slotLock_);
        pendingSettings_ = settings;
        settingsPending_ = true;
    }
    enabled_.store(settings.Enabled, std::memory_order_relaxed);
    // Wakes the thread even without frames, so that turning off ends an event now.
    wake_.notify_one();
}

MotionMeasure CMotionWatch::AnalyzeFrame(const VideoFrame& frame, int64_t wallMs) {
    std::lock_guard<std::mutex> guard(analysisLock_);
    ApplyPendingSettingsLocked();
    if (!analysis_->Settings.Enabled) return {};
    return AnalyzeLocked(frame, wallMs);
}

void CMotionWatch::Run() {
    for (;;) {
        {
            std::unique_lock<std::mutex> slot(slotLock_);
            wake_.wait(slot, [this] { return stopping_ || slotFull_ || settingsPending_; });
            if (stopping_) return;
        }
        // The analysis lock before the slot lock, as AnalyzeFrame takes them: settings
        // and frame are then taken and used by the same analysis.
        std::lock_guard<std::mutex> guard(analysisLock_);
        ApplyPendingSettingsLocked();
        VideoFrame frame;
        int64_t frameMs = 0;
        {
            std::lock_guard<std::mutex> slot(slotLock_);
            if (slotFull_) {
                workPixels_.swap(slotPixels_);
                frame = slotFrame_;
                frameMs = slotMs_;
                slotFull_ = false;
            }
        }
        if (frame.Width == 0 || !analysis_->Settings.Enabled) continue;
        frame.Pixels = workPixels_.data();
        AnalyzeLocked(frame, frameMs);
    }
}

void CMotionWatch::ApplyPendingSettingsLocked() {
    MotionSettings settings;
    {
        std::lock_guard<std::mutex> slot(slotLock_);
        if (!settingsPending_) return;
        settings = pendingSettings_;
        settingsPending_ = false;
    }
    Analysis& a = *analysis_;
    a.Detector.SetExcluded(settings.Excluded);
    if (!settings.Enabled && a.Tracker.Stop() == CMotionEventTracker::Change::Ended)
        ReportEndLocked();
    // The background learnt before detection was off is stale by now.
    if (settings.Enabled && !a.Settings.Enabled) a.Detector.Reset();
    a.Settings = settings;
}

MotionMeasure CMotionWatch::AnalyzeLocked(const VideoFrame& frame, int64_t wallMs) {
    Analysis& a = *analysis_;
    if (!MakeMotionPicture(frame, a.Grey, a.Picture)) return {};
    const MotionMeasure measure = a.Detector.Analyze(a.Picture);
    switch (
        a.Tracker.Update(measure.ChangedPct, measure.LightChange, a.Settings.MinAreaPct, wallMs)) {
        case CMotionEventTracker::Change::Started:
            ReportStartLocked();
            break;
        case CMotionEventTracker::Change::Ended:
            ReportEndLocked();
            break;
        case CMotionEventTracker::Change::None:
            break;
    }
    return measure;
}

void CMotionWatch::ReportStartLocked() {
    const int64_t startMs = analysis_->Tracker.StartMs();
    Log("摄像头 %s 检测到移动", cameraName_.c_str());
    if (observer_ != nullptr) observer_->MotionStarted(cameraName_, startMs);
    if (trigger_ != nullptr) trigger_->MotionStarted(startMs);
    if (onState_) onState_(true);
}

void CMotionWatch::ReportEndLocked() {
    const CMotionEventTracker& tracker = analysis_->Tracker;
    const double seconds = static_cast<double>(tracker.EndMs() - tracker.StartMs()) / 1000.0;
    Log("摄像头 %s 移动结束, 持续 %.1f 秒", cameraName_.c_str(), seconds);
    if (observer_ != nullptr)
        observer_->MotionEnded(cameraName_, tracker.StartMs(), tracker.EndMs(), tracker.PeakPct());
    if (trigger_ != nullptr) trigger_->MotionEnded(tracker.EndMs());
    if (onState_) onState_(false);
}

void CMotionWatch::Log(const char* format, ...) {
    char line[kLogLineBytes];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (log_)
        log_(line);
    else
        AppLog(line);
}
