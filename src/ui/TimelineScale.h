// The arithmetic of the playback window's timeline: which part of the chosen day it
// shows across how many pixels, the time under a pixel and the pixel of a time, zooming
// around a point between the whole day and a few minutes, panning, and the spacing of
// its tick marks. A plain value: the UI thread, no Qt.
#pragma once

#include <cstdint>

class CTimelineScale {
public:
    // The narrowest view: a few minutes across the whole bar.
    static constexpr int64_t kNarrowestMs = 2 * 60 * 1000;
    // Tick labels at least this far apart.
    static constexpr int kTickSpacingPx = 70;

    // The day [dayStartMs, dayEndMs) (24 hours, or 23 or 25 when the clocks change),
    // shown whole across widthPx.
    void SetDay(int64_t dayStartMs, int64_t dayEndMs);
    void SetWidth(int widthPx);

    int64_t DayStartMs() const { return dayStartMs_; }
    int64_t DayEndMs() const { return dayEndMs_; }
    int64_t ViewFromMs() const { return fromMs_; }
    int64_t ViewToMs() const { return toMs_; }
    int WidthPx() const { return widthPx_; }

    // The pixel of a time (outside the bar for a time outside the view), and the time
    // at a pixel, kept inside the day.
    double XOf(int64_t ms) const;
    int64_t TimeAt(double x) const;

    // Narrows (factor < 1) or widens the view around the time at pixel x, which stays
    // under it; the view stays within the day and no narrower than kNarrowestMs.
    void Zoom(double x, double factor);
    // Shows [fromMs, toMs) across the bar: widened to kNarrowestMs around its middle
    // when narrower, and kept within the day.
    void ShowRange(int64_t fromMs, int64_t toMs);
    // Moves the view by a number of pixels (positive: later), within the day.
    void Pan(double px);
    // Moves the view, keeping its width, so that ms is in it.
    void Reveal(int64_t ms);

    // The distance between two tick marks: the smallest of 1, 2, 5, 10, 15, 30 minutes,
    // 1, 2, 3, 6 hours that keeps labels kTickSpacingPx apart.
    int64_t TickMs() const;

private:
    void Clamp();

    int64_t dayStartMs_ = 0;
    int64_t dayEndMs_ = 24LL * 3600 * 1000;
    int64_t fromMs_ = 0;
    int64_t toMs_ = 24LL * 3600 * 1000;
    int widthPx_ = 1;
};
