// The small grey picture motion is looked for in, made from a live frame.
#pragma once

#include <opencv2/core.hpp>

#include "capture/FrameTarget.h"

constexpr int kMotionPictureWidthPx = 160;

// The picture's size for a frame: kMotionPictureWidthPx wide (a narrower frame keeps
// its width), the height by the frame's aspect, at least one pixel.
cv::Size MotionPictureSize(int frameWidth, int frameHeight);

// Converts the frame's BGRx pixels to grey and scales them down by area into picture
// (its buffer is reused). grey: a buffer for the full-size grey frame, reused too.
// False for a frame without pixels or with an impossible stride.
bool MakeMotionPicture(const VideoFrame& frame, cv::Mat& grey, cv::Mat& picture);
