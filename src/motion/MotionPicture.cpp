#include "motion/MotionPicture.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

cv::Size MotionPictureSize(int frameWidth, int frameHeight) {
    const int width = std::min(frameWidth, kMotionPictureWidthPx);
    const int height = static_cast<int>(static_cast<int64_t>(frameHeight) * width / frameWidth);
    return cv::Size(width, std::max(height, 1));
}

bool MakeMotionPicture(const VideoFrame& frame, cv::Mat& grey, cv::Mat& picture) {
    if (frame.Pixels == nullptr || frame.Width <= 0 || frame.Height <= 0 ||
        frame.Stride < frame.Width * 4)
        return false;
    // Wraps the caller's pixels without a copy; OpenCV only reads them.
    const cv::Mat bgrx(frame.Height, frame.Width, CV_8UC4, const_cast<uint8_t*>(frame.Pixels),
                       static_cast<size_t>(frame.Stride));
    // Grey first: the scaling then reads one channel instead of four.
    cv::cvtColor(bgrx, grey, cv::COLOR_BGRA2GRAY);
    cv::resize(grey, picture, MotionPictureSize(frame.Width, frame.Height), 0, 0, cv::INTER_AREA);
    return true;
}
