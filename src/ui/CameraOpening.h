// One opening of a camera for a video cell, run on a thread of its own: the capture
// library waits up to 10 s for a camera's first picture, and the user-interface thread
// must never wait for a camera. Openings of one device, from any cell, take their
// turns, so two captures of one device never overlap however fast the operator moves
// a camera between cells; a cancelled opening closes its camera again on its own
// thread before the next one of that device starts.
//
// Threads: constructed, cancelled, finished and destroyed on the UI thread; the
// opening itself runs on the thread it starts. done is called on that thread when the
// opening has ended (opened, failed, or cancelled and closed) and must only post.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "capture/CameraChannel.h"
#include "common/DeviceInfo.h"
#include "common/WindowHandle.h"
#include "ui/FrameSlot.h"

// An opened camera: its channel and the frame target the channel draws into, which
// must outlive the channel's capture. So the channel always goes first: on
// destruction (it is declared last) and on assignment (which a defaulted operator
// would do the other way round).
struct COpenCamera {
    std::unique_ptr<CFrameForwarder> Target;
    std::unique_ptr<CCameraChannel> Channel;

    COpenCamera() = default;
    COpenCamera(COpenCamera&&) = default;
    COpenCamera& operator=(COpenCamera&& other) noexcept {
        Channel.reset();
        Target = std::move(other.Target);
        Channel = std::move(other.Channel);
        return *this;
    }
};

class CCameraOpening {
public:
    CCameraOpening(const DeviceInfo& record, CFrameSlot& slot, uint64_t generation, HWND notice,
                   std::function<void()> done);
    // Cancels and waits for the thread; the camera is then closed if it had opened.
    ~CCameraOpening();
    CCameraOpening(const CCameraOpening&) = delete;
    CCameraOpening& operator=(const CCameraOpening&) = delete;

    // From now on the opening closes whatever it opens; Finish then hands over nothing.
    void Cancel() { cancelled_.store(true); }
    bool Cancelled() const { return cancelled_.load(); }
    const DeviceInfo& Record() const { return record_; }

    // After done: joins the thread and hands over the camera with CCameraChannel::Open's
    // result (1 opened, 0 not): nothing when the opening was cancelled before it ended,
    // and a camera the caller must close itself when it was cancelled after.
    COpenCamera Finish(int* result);

private:
    void Run();

    const DeviceInfo record_;  // read-only while the thread runs: the library reads it
    const HWND notice_;
    const std::function<void()> done_;
    std::atomic<bool> cancelled_{false};
    COpenCamera camera_;  // the opening's thread until it is joined
    int result_ = 0;      // as camera_
    bool kept_ = false;   // as camera_
    std::thread thread_;  // UI thread only
};
