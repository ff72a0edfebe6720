#include "MotionScenes.h"

#include <cmath>
#include <opencv2/imgproc.hpp>

namespace motiontest {

CScene::CScene(cv::Size size, uint64_t seed) : rng_(seed) {
    // Coarse random blocks smoothed by scaling up, then a few shapes: texture at
    // several scales, as a room or a street shows.
    cv::Mat coarse(size.height / 16 + 1, size.width / 16 + 1, CV_8UC3);
    rng_.fill(coarse, cv::RNG::UNIFORM, 60, 200);
    cv::resize(coarse, background_, size, 0, 0, cv::INTER_LINEAR);
    for (int i = 0; i < 40; ++i) {
        const cv::Point center(rng_.uniform(0, size.width), rng_.uniform(0, size.height));
        const int radius = rng_.uniform(3, size.width / 12 + 4);
        const cv::Scalar color(rng_.uniform(40, 220), rng_.uniform(40, 220), rng_.uniform(40, 220));
        if (i % 2 == 0)
            cv::circle(background_, center, radius, color, cv::FILLED);
        else
            cv::rectangle(background_, cv::Rect(center, cv::Size(radius * 2, radius)), color, 2);
    }
}

const cv::Mat& CScene::Render(const SceneState& state) {
    background_.convertTo(work_, CV_16SC3, state.Gain, state.Offset);
    if (state.Box) {
        const cv::Rect box = *state.Box & cv::Rect(cv::Point(0, 0), background_.size());
        // A dark box with a light stripe: a person's coat and face, roughly.
        work_(box).setTo(cv::Scalar(30, 30, 40));
        const cv::Rect stripe(box.x, box.y, box.width, std::max(1, box.height / 5));
        work_(stripe).setTo(cv::Scalar(180, 170, 160));
    }
    if (state.NoiseSigma > 0) {
        noise_.create(work_.size(), CV_16SC3);
        rng_.fill(noise_, cv::RNG::NORMAL, 0, state.NoiseSigma);
        work_ += noise_;
    }
    cv::Mat bgr;
    work_.convertTo(bgr, CV_8UC3);  // saturates
    cv::cvtColor(bgr, frame_, cv::COLOR_BGR2BGRA);
    return frame_;
}

VideoFrame CScene::Frame() const {
    return VideoFrame{frame_.cols, frame_.rows, static_cast<int>(frame_.step[0]), frame_.data};
}

cv::Rect CScene::MovingBox(cv::Size picture, cv::Size boxSize, int y, int64_t fromMs, int64_t nowMs,
                           double speedPxPerS, int x0) {
    const int travel = std::max(1, picture.width - boxSize.width);
    const double moved = x0 + speedPxPerS * static_cast<double>(nowMs - fromMs) / 1000.0;
    // Bounces: the position runs 0..travel..0 in a triangle wave.
    const int phase = static_cast<int>(std::fmod(std::max(0.0, moved), 2.0 * travel));
    const int x = phase <= travel ? phase : 2 * travel - phase;
    return cv::Rect(cv::Point(x, y), boxSize);
}

}  // namespace motiontest
