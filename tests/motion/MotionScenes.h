// Synthetic camera pictures for the motion tests and benchmark: a textured still
// background, optionally a moving box, a change of brightness and sensor noise.
#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <optional>

#include "capture/FrameTarget.h"

namespace motiontest {

// What one picture shows.
struct SceneState {
    std::optional<cv::Rect> Box;  // a dark box in front of the background
    double Gain = 1.0;            // brightness: every pixel times this
    double Offset = 0.0;          // then plus this, in grey levels
    double NoiseSigma = 2.0;      // Gaussian sensor noise, in grey levels

    // For one-line scenes: SceneState().WithBox(box).WithNoise(20).
    SceneState WithBox(std::optional<cv::Rect> box) const { return With(&SceneState::Box, box); }
    SceneState WithGain(double gain) const { return With(&SceneState::Gain, gain); }
    SceneState WithOffset(double offset) const { return With(&SceneState::Offset, offset); }
    SceneState WithNoise(double sigma) const { return With(&SceneState::NoiseSigma, sigma); }

private:
    template <typename T>
    SceneState With(T SceneState::*field, T value) const {
        SceneState copy = *this;
        copy.*field = value;
        return copy;
    }
};

class CScene {
public:
    // size: of the BGRx frames; seed: for the background and the noise.
    explicit CScene(cv::Size size, uint64_t seed = 7);

    // A new BGRx picture (CV_8UC4) showing state; the noise differs on each call.
    const cv::Mat& Render(const SceneState& state);
    // The last rendered picture as a frame for a frame target.
    VideoFrame Frame() const;
    cv::Size Size() const { return background_.size(); }

    // A box of boxSize whose top left moves on a horizontal line at row y, from x0 at
    // fromMs at speedPxPerS, bouncing between the picture's sides.
    static cv::Rect MovingBox(cv::Size picture, cv::Size boxSize, int y, int64_t fromMs,
                              int64_t nowMs, double speedPxPerS, int x0 = 0);

private:
    cv::Mat background_;  // BGR, 8 bits
    cv::Mat work_, noise_, frame_;
    cv::RNG rng_;
};

}  // namespace motiontest
