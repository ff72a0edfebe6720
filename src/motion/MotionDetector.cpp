#include "motion/MotionDetector.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

CMotionDetector::CMotionDetector()
    : kernel_(cv::getStructuringElement(cv::MORPH_ELLIPSE,
                                        cv::Size(kOpeningKernelPx, kOpeningKernelPx))) {
    Reset();
}

void CMotionDetector::SetExcluded(const std::bitset<MotionSettings::kMaskCells>& excluded) {
    if (excluded == excluded_) return;
    excluded_ = excluded;
    if (!watchMask_.empty()) BuildWatchMask(watchMask_.size());
}

void CMotionDetector::Reset() {
    // Shadows off: marking them costs time and a shadow that moves is motion here.
    model_ = cv::createBackgroundSubtractorMOG2(kHistoryAnalyses, kVarThreshold, false);
    settleLeft_ = kSettleAnalyses;
    settlingLight_ = false;
    lastMean_ = -1;
}

void CMotionDetector::BuildWatchMask(cv::Size size) {
    watchMask_ = cv::Mat::zeros(size, CV_8UC1);
    for (int row = 0; row < MotionSettings::kMaskRows; ++row) {
        for (int column = 0; column < MotionSettings::kMaskColumns; ++column) {
            if (excluded_.test(MotionSettings::Cell(column, row))) continue;
            // Integer edges, so the cells tile a picture of any size without a gap.
            const int left = column * size.width / MotionSettings::kMaskColumns;
            const int right = (column + 1) * size.width / MotionSettings::kMaskColumns;
            const int top = row * size.height / MotionSettings::kMaskRows;
            const int bottom = (row + 1) * size.height / MotionSettings::kMaskRows;
            watchMask_(cv::Rect(left, top, right - left, bottom - top)).setTo(255);
        }
    }
    watchedPixels_ = cv::countNonZero(watchMask_);
}

void CMotionDetector::Relearn(const cv::Mat& picture) {
    // A new model rather than a learning rate of 1: that rate sets every pixel's variance
    // to the (clamped) square of the light's jump, which then hides a person for minutes.
    model_ = cv::createBackgroundSubtractorMOG2(kHistoryAnalyses, kVarThreshold, false);
    model_->apply(picture, foreground_);
    settleLeft_ = kSettleAnalyses - 1;
}

MotionMeasure CMotionDetector::Analyze(const cv::Mat& grey) {
    MotionMeasure measure;
    if (grey.empty() || grey.type() != CV_8UC1) return measure;
    if (grey.size() != watchMask_.size()) {
        BuildWatchMask(grey.size());
        Reset();
    }
    cv::GaussianBlur(grey, blurred_, cv::Size(kBlurKernelPx, kBlurKernelPx), 0);
    // Light that changes the whole picture alike (drift, a lamp) is taken out first: the
    // picture's mean is brought to a fixed level. The model's means would follow slow
    // drift only with a lag, and that lag widens every pixel's variance until a person
    // no longer stands out. A quick jump of the mean (the exposure's gain, which the
    // level alone does not undo) is a change of light: a person entering moves it by a
    // few levels only.
    const double mean = cv::mean(blurred_, watchedPixels_ > 0 ? watchMask_ : cv::noArray())[0];
    const bool meanJumped = lastMean_ >= 0 && std::abs(mean - lastMean_) > kLightStepLevels;
    lastMean_ = mean;
    blurred_.convertTo(blurred_, -1, 1.0, kLevelledMean - mean);
    if (meanJumped) {
        measure.LightChange = true;
        settlingLight_ = true;
        Relearn(blurred_);
        return measure;
    }
    model_->apply(blurred_, foreground_);
    if (settleLeft_ > 0) {
        --settleLeft_;
        measure.LightChange = settlingLight_;
        return measure;
    }
    if (watchedPixels_ == 0) return measure;

    cv::morphologyEx(foreground_, opened_, cv::MORPH_OPEN, kernel_);
    cv::bitwise_and(opened_, watchMask_, counted_);
    measure.ChangedPct = 100.0 * cv::countNonZero(counted_) / watchedPixels_;
    if (measure.ChangedPct > kLightChangePct) {
        measure.LightChange = true;
        settlingLight_ = true;
        Relearn(blurred_);
    }
    return measure;
}
