// A number drawn into a picture so that it survives encoding and can be read back
// from the decoded picture: a row of black and white blocks, one per bit, with the
// same bits inverted in the row below as a check. The synthetic recorder stamps each
// picture with its index, so a test or benchmark knows which recorded picture it is
// shown and thus its true time.
// Threads: plain functions.
#pragma once

#include <gst/video/video.h>

#include <cstdint>

#include "capture/FrameTarget.h"

namespace PictureStamp {

constexpr int kBits = 20;
constexpr int kRowHeightPx = 16;

// Draws value (its kBits low bits) into the top rows of an I420 picture mapped for
// writing. Pictures narrower than 8 pixels a bit are left as they are.
void Draw(GstVideoFrame& frame, uint32_t value);
// The value drawn into a decoded BGRx picture, or -1 when the blocks do not read as
// a stamp.
int64_t Read(const VideoFrame& frame);

}  // namespace PictureStamp
