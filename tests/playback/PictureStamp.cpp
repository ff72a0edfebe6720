#include "PictureStamp.h"

#include <cstring>

namespace {

constexpr uint8_t kDarkLuma = 16;
constexpr uint8_t kLightLuma = 235;
constexpr uint8_t kNeutralChroma = 128;

// Blocks a multiple of 8 pixels wide, so that each fills whole coding blocks.
int BlockWidth(int width) {
    return (width / PictureStamp::kBits) & ~7;
}

bool BitOf(uint32_t value, int bit, int row) {
    const bool set = ((value >> bit) & 1u) != 0;
    return row == 0 ? set : !set;
}

}  // namespace

namespace PictureStamp {

void Draw(GstVideoFrame& frame, uint32_t value) {
    const int blockWidth = BlockWidth(GST_VIDEO_FRAME_WIDTH(&frame));
    if (blockWidth == 0 || GST_VIDEO_FRAME_HEIGHT(&frame) < 2 * kRowHeightPx) return;
    auto* luma = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const int lumaStride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    for (int y = 0; y < 2 * kRowHeightPx; ++y) {
        const int row = y / kRowHeightPx;
        for (int bit = 0; bit < kBits; ++bit) {
            std::memset(luma + y * lumaStride + bit * blockWidth,
                        BitOf(value, bit, row) ? kLightLuma : kDarkLuma, blockWidth);
        }
    }
    // Grey chroma under the blocks: black and white whatever the pattern's colours.
    for (int plane = 1; plane <= 2; ++plane) {
        auto* chroma = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, plane));
        const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, plane);
        for (int y = 0; y < kRowHeightPx; ++y)
            std::memset(chroma + y * stride, kNeutralChroma, kBits * blockWidth / 2);
    }
}

int64_t Read(const VideoFrame& frame) {
    const int blockWidth = BlockWidth(frame.Width);
    if (frame.Pixels == nullptr || blockWidth == 0 || frame.Height < 2 * kRowHeightPx) return -1;
    uint32_t value = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        bool light[2] = {false, false};
        for (int row = 0; row < 2; ++row) {
            // The middle of the block, away from the edges the encoder blurs.
            const uint8_t* pixel = frame.Pixels +
                                   (row * kRowHeightPx + kRowHeightPx / 2) * frame.Stride +
                                   (bit * blockWidth + blockWidth / 2) * 4;
            light[row] = (pixel[0] + pixel[1] + pixel[2]) / 3 >= 128;
        }
        if (light[0] == light[1]) return -1;
        if (light[0]) value |= 1u << bit;
    }
    return value;
}

}  // namespace PictureStamp
