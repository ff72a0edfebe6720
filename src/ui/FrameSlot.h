// The newest frame of a live view's camera, handed from the capture library's thread
// to the user-interface thread. The capture library calls Publish inside its callback
// gate, and CameraCap_Close on the UI thread waits for that gate: so Publish never
// waits for the UI thread. It copies the frame under a lock that is held only for the
// copy and that the UI thread takes only to swap buffers or to start a new opening,
// never while closing a camera; and it asks for a repaint through a callback that
// only posts (at most one request is outstanding).
//
// Every opening gets a generation; a frame of an opening the view has since closed is
// dropped, so a closed view never shows a stale picture.
//
// Threads: Publish from capture threads; everything else on the UI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "capture/FrameTarget.h"

struct FrameBuffer {
    int Width = 0;
    int Height = 0;
    int Stride = 0;  // bytes per row, 4 bytes per pixel (B, G, R, x)
    std::vector<uint8_t> Pixels;
    bool Empty() const { return Width <= 0 || Height <= 0; }
};

class CFrameSlot {
public:
    // repaint is called from the publishing thread and must only post.
    explicit CFrameSlot(std::function<void()> repaint) : repaint_(std::move(repaint)) {}

    // Forgets every frame and starts a new generation; frames of older ones are
    // dropped from now on. Returns the new generation.
    uint64_t Reset();

    // Stores a copy of frame as the newest of generation; false when the generation is
    // no longer current or the frame is unusable.
    bool Publish(uint64_t generation, const VideoFrame& frame);

    // The frame to paint: the newest published one, or the last one taken when none
    // came since. Clears the repaint request first, so that a frame arriving meanwhile
    // asks again.
    const FrameBuffer& Take();

    uint64_t Published() const { return published_.load(); }

private:
    const std::function<void()> repaint_;
    std::atomic<bool> repaintRequested_{false};
    std::atomic<uint64_t> published_{0};  // frames stored, for tests and benchmarks

    std::mutex lock_;          // held only to copy a frame in or swap buffers
    uint64_t generation_ = 0;  // guarded by lock_
    FrameBuffer back_;         // guarded by lock_: the newest published frame
    bool fresh_ = false;       // guarded by lock_: back_ holds a frame not yet taken
    FrameBuffer front_;        // UI thread only: the frame being painted
};

// The frame target of one opening: forwards frames to a view's slot under the
// generation the opening started with. It keeps the slot alive, as an opening may end
// after its view has gone.
class CFrameForwarder : public IFrameTarget {
public:
    CFrameForwarder(std::shared_ptr<CFrameSlot> slot, uint64_t generation)
        : slot_(std::move(slot)), generation_(generation) {}
    void OnFrame(const VideoFrame& frame) override { slot_->Publish(generation_, frame); }

private:
    const std::shared_ptr<CFrameSlot> slot_;
    const uint64_t generation_;
};
