#include "ui/FrameSlot.h"

#include <cstring>
#include <utility>

uint64_t CFrameSlot::Reset() {
    std::lock_guard<std::mutex> lock(lock_);
    back_ = FrameBuffer{};
    front_ = FrameBuffer{};
    fresh_ = false;
    return ++generation_;
}

bool CFrameSlot::Publish(uint64_t generation, const VideoFrame& frame) {
    if (frame.Pixels == nullptr || frame.Width <= 0 || frame.Height <= 0 ||
        frame.Stride < frame.Width * 4) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (generation != generation_) return false;
        const size_t rowBytes = static_cast<size_t>(frame.Width) * 4;
        back_.Width = frame.Width;
        back_.Height = frame.Height;
        back_.Stride = static_cast<int>(rowBytes);
        back_.Pixels.resize(rowBytes * frame.Height);
        for (int y = 0; y < frame.Height; ++y) {
            std::memcpy(back_.Pixels.data() + y * rowBytes,
                        frame.Pixels + static_cast<size_t>(y) * frame.Stride, rowBytes);
        }
        fresh_ = true;
    }
    published_.fetch_add(1);
    if (!repaintRequested_.exchange(true)) repaint_();
    return true;
}

const FrameBuffer& CFrameSlot::Take() {
    repaintRequested_.store(false);
    std::lock_guard<std::mutex> lock(lock_);
    if (fresh_) {
        std::swap(back_, front_);
        fresh_ = false;
    }
    return front_;
}
