// One handle of the capture library: what the opener gave (frame target, notice
// window, stream callback and user) and the gate they are reached through. It
// attaches to the shared capture of its camera, which hands it frames, stream bytes
// and notices; other handles on the same camera have their own session and gate.
//
// Threads:
// - Open and CapturePicture on the opener's thread;
// - Close on any thread, also while Open runs on another (it then ends the opening
//   without waiting for the camera) and also twice at once;
// - DeliverFrame, DeliverStream and Notify on the capture's streaming and supervisor
//   threads. Each passes gate_ before it calls out; Close shuts the gate (waiting for
//   callbacks inside to leave) before it detaches, so after Close returns nothing
//   reaches the opener's target, callback or window.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "camcap/CallbackGate.h"
#include "capture/CameraCap.h"

class CSharedCapture;

class CCaptureSession : public std::enable_shared_from_this<CCaptureSession> {
public:
    // target, notice and callback may each be null. cameraName names the camera in
    // notices, and in the picture when this session starts the capture.
    CCaptureSession(IFrameTarget* target, HWND notice, StreamCallback callback, void* user,
                    std::string cameraName);
    virtual ~CCaptureSession();
    CCaptureSession(const CCaptureSession&) = delete;
    CCaptureSession& operator=(const CCaptureSession&) = delete;

    // Attaches to the capture, starting it when no other session runs it. False when it
    // does not start, the reason then posted, or when the session was closed meanwhile;
    // the session is closed either way.
    bool Open(std::shared_ptr<CSharedCapture> capture);

    // Stops everything for this session; afterwards no frame, stream byte or notice
    // arrives. An opening under way on another thread ends within about 100 ms, not
    // waited for here: it leaves the capture itself. Idempotent.
    void Close();
    // Whether Close has begun: an opening polls it while it waits for the camera.
    bool Closing() const { return closing_.load(); }

    // Saves the camera's newest picture as JPEG: 0, -2 when there is none yet, -3 on
    // failure.
    int32_t CapturePicture(const char* path);

    const std::string& CameraName() const { return cameraName_; }
    bool WantsStream() const { return callback_ != nullptr; }

    // From the capture's threads.
    void DeliverFrame(const VideoFrame& frame);
    // Bytes of one access unit; after WaitForKeyFrame only from the next key frame on.
    void DeliverStream(const uint8_t* data, size_t length, bool keyFrame);
    void Notify(const std::string& text);
    void WaitForKeyFrame() { waitingForKey_.store(true); }

private:
    // Set at construction, read by every thread through the gate.
    IFrameTarget* const target_;
    const HWND notice_;
    const StreamCallback callback_;
    void* const user_;
    const std::string cameraName_;

    CCallbackGate gate_;
    std::mutex captureMutex_;  // held only to hand capture_ over, never while it works
    std::shared_ptr<CSharedCapture> capture_;  // guarded by captureMutex_: set once attached
    std::atomic<bool> closing_{false};         // written under captureMutex_, read anywhere
    std::atomic<bool> waitingForKey_{true};    // stream thread clears, capture sets
};
