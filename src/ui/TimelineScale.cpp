#include "ui/TimelineScale.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

constexpr int64_t kMinuteMs = 60 * 1000;
constexpr int64_t kHourMs = 60 * kMinuteMs;
constexpr int64_t kTickSteps[] = {kMinuteMs,      2 * kMinuteMs,  5 * kMinuteMs, 10 * kMinuteMs,
                                  15 * kMinuteMs, 30 * kMinuteMs, kHourMs,       2 * kHourMs,
                                  3 * kHourMs,    6 * kHourMs};

}  // namespace

void CTimelineScale::SetDay(int64_t dayStartMs, int64_t dayEndMs) {
    dayStartMs_ = dayStartMs;
    dayEndMs_ = std::max(dayEndMs, dayStartMs + kNarrowestMs);
    fromMs_ = dayStartMs_;
    toMs_ = dayEndMs_;
}

void CTimelineScale::SetWidth(int widthPx) {
    widthPx_ = std::max(1, widthPx);
}

double CTimelineScale::XOf(int64_t ms) const {
    return double(ms - fromMs_) * widthPx_ / double(toMs_ - fromMs_);
}

int64_t CTimelineScale::TimeAt(double x) const {
    const int64_t ms = fromMs_ + std::llround(x * double(toMs_ - fromMs_) / widthPx_);
    return std::clamp(ms, dayStartMs_, dayEndMs_);
}

void CTimelineScale::Zoom(double x, double factor) {
    const int64_t anchor = TimeAt(x);
    const double share = std::clamp(x / widthPx_, 0.0, 1.0);
    const int64_t dayMs = dayEndMs_ - dayStartMs_;
    const int64_t span =
        std::clamp<int64_t>(std::llround(double(toMs_ - fromMs_) * factor), kNarrowestMs, dayMs);
    fromMs_ = anchor - std::llround(share * double(span));
    toMs_ = fromMs_ + span;
    Clamp();
}

void CTimelineScale::ShowRange(int64_t fromMs, int64_t toMs) {
    const int64_t span = std::clamp<int64_t>(toMs - fromMs, kNarrowestMs, dayEndMs_ - dayStartMs_);
    fromMs_ = (fromMs + toMs) / 2 - span / 2;
    toMs_ = fromMs_ + span;
    Clamp();
}

void CTimelineScale::Pan(double px) {
    const int64_t shift = std::llround(px * double(toMs_ - fromMs_) / widthPx_);
    fromMs_ += shift;
    toMs_ += shift;
    Clamp();
}

void CTimelineScale::Reveal(int64_t ms) {
    const int64_t span = toMs_ - fromMs_;
    if (ms >= fromMs_ && ms < toMs_) return;
    fromMs_ = ms - span / 2;
    toMs_ = fromMs_ + span;
    Clamp();
}

void CTimelineScale::Clamp() {
    const int64_t span = toMs_ - fromMs_;
    if (fromMs_ < dayStartMs_) {
        fromMs_ = dayStartMs_;
        toMs_ = fromMs_ + span;
    }
    if (toMs_ > dayEndMs_) {
        toMs_ = dayEndMs_;
        fromMs_ = std::max(dayStartMs_, toMs_ - span);
    }
}

int64_t CTimelineScale::TickMs() const {
    for (int64_t step : kTickSteps) {
        if (XOf(fromMs_ + step) >= kTickSpacingPx) return step;
    }
    return kTickSteps[std::size(kTickSteps) - 1];
}
