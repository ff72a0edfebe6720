#include "motion/MotionEventTracker.h"

#include <algorithm>

CMotionEventTracker::Change CMotionEventTracker::Update(double changedPct, bool lightChange,
                                                        double minAreaPct, int64_t wallMs) {
    const bool above = !lightChange && changedPct >= minAreaPct;
    if (active_) {
        if (above) {
            lastAboveMs_ = wallMs;
            peakPct_ = std::max(peakPct_, changedPct);
            return Change::None;
        }
        if (wallMs - lastAboveMs_ < kQuietEndMs) return Change::None;
        active_ = false;
        run_ = 0;
        return Change::Ended;
    }
    if (!above) {
        run_ = 0;
        return Change::None;
    }
    if (run_ == 0) {
        runStartMs_ = wallMs;
        runPeakPct_ = 0;
    }
    ++run_;
    runPeakPct_ = std::max(runPeakPct_, changedPct);
    if (run_ < kStartRunAnalyses) return Change::None;
    active_ = true;
    startMs_ = runStartMs_;
    lastAboveMs_ = wallMs;
    peakPct_ = runPeakPct_;
    return Change::Started;
}

CMotionEventTracker::Change CMotionEventTracker::Stop() {
    run_ = 0;
    if (!active_) return Change::None;
    active_ = false;
    return Change::Ended;
}
