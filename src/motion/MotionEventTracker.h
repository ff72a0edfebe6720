// Turns the changed share of each analysis into motion events: an event starts when
// the share reached the sensitivity in kStartRunAnalyses analyses in a row, and ends
// once it stayed below for kQuietEndMs. A change of light never starts an event nor
// keeps one going. Pure: the caller passes the time of each analysis.
//
// Threads: not thread-safe; the analysis thread owns an instance.
#pragma once

#include <cstdint>

class CMotionEventTracker {
public:
    // At 5 analyses per second, motion is found at most 0.4 s after it begins.
    static constexpr int kStartRunAnalyses = 2;
    static constexpr int64_t kQuietEndMs = 2000;

    enum class Change { None, Started, Ended };

    // One analysis at wallMs; minAreaPct: the sensitivity in percent.
    Change Update(double changedPct, bool lightChange, double minAreaPct, int64_t wallMs);
    // Ends an event under way (detection turned off, the camera closing): Ended when
    // there was one, None otherwise. The run towards a start is forgotten either way.
    Change Stop();

    bool Active() const { return active_; }
    // The event under way or the last one: its first analysis over the sensitivity,
    // its last one, and the largest share seen in it.
    int64_t StartMs() const { return startMs_; }
    int64_t EndMs() const { return lastAboveMs_; }
    double PeakPct() const { return peakPct_; }

private:
    bool active_ = false;
    int run_ = 0;  // analyses in a row over the sensitivity
    int64_t runStartMs_ = 0;
    double runPeakPct_ = 0;
    int64_t startMs_ = 0;
    int64_t lastAboveMs_ = 0;
    double peakPct_ = 0;
};
