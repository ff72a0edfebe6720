// Finds the share of a camera's watched picture that changed: OpenCV's Gaussian-mixture
// background model over a small, lightly blurred grey picture, cleaned with a
// morphological opening. Sensor noise and slow light drift go into the model; a change
// of most of the watched picture at once (a lamp, the camera's exposure) is taken for
// a change of light: the model is learnt afresh and no motion is reported.
//
// Threads: not thread-safe; one analysis thread owns an instance.
#pragma once

#include <bitset>
#include <opencv2/core.hpp>
#include <opencv2/video/background_segm.hpp>

#include "common/MotionSettings.h"
#include "motion/MotionMeasure.h"

class CMotionDetector {
public:
    // Over this share of the watched picture at once, a change is one of light.
    static constexpr double kLightChangePct = 60.0;
    // Analyses after a fresh start of the model (the first picture, a light change, a
    // new picture size) that report nothing while the model settles.
    static constexpr int kSettleAnalyses = 2;
    // About 50 s of history at 5 analyses per second: slow drift is learnt, a person
    // standing still for a few seconds is not.
    static constexpr int kHistoryAnalyses = 250;
    // Squared distance in model deviations beyond which a pixel is foreground.
    static constexpr double kVarThreshold = 25.0;
    static constexpr int kBlurKernelPx = 5;
    // The mean grey level every picture is shifted to before the model sees it.
    static constexpr double kLevelledMean = 128.0;
    // A jump of the picture's mean by more than this from one analysis to the next is one
    // of light.
    static constexpr double kLightStepLevels = 10.0;
    static constexpr int kOpeningKernelPx = 3;

    CMotionDetector();

    // Cells set here are neither counted nor in the denominator.
    void SetExcluded(const std::bitset<MotionSettings::kMaskCells>& excluded);
    // Forgets the background; the next pictures learn it afresh.
    void Reset();

    // grey: one 8-bit channel, any size (about 160 wide is meant); a picture of
    // another size than the last starts the model afresh.
    MotionMeasure Analyze(const cv::Mat& grey);

private:
    void Relearn(const cv::Mat& picture);
    void BuildWatchMask(cv::Size size);

    cv::Ptr<cv::BackgroundSubtractorMOG2> model_;
    std::bitset<MotionSettings::kMaskCells> excluded_;
    cv::Mat watchMask_;  // 255 in watched cells, at the picture's size
    int watchedPixels_ = 0;
    double lastMean_ = -1;        // of the last picture analysed; -1: none
    int settleLeft_ = 0;          // analyses still to report nothing
    bool settlingLight_ = false;  // the settling follows a light change
    cv::Mat blurred_, foreground_, opened_, counted_, kernel_;  // reused buffers
};
