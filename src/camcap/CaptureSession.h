// One handle of the capture library: what the opener gave (frame target, notice
// window, stream callback and user) and the gate they are reached through. It
// attaches to the shared capture of its camera, which hands it frames, stream bytes
// and notices; other handles on the same camera have their own session and gate.
//
// Threads:
// - Open, Close and CapturePicture on the opener's thread (one at a time for a session);
// - DeliverFrame, DeliverStream and Notify on the capture's streaming and supervisor
//   threads. Each passes gate_ before it calls out; Close shuts the gate (waiting for
//   callbacks inside to leave) before it detaches, so after Close returns nothing
//   reaches the opener's target, callback or window.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
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
    // does not start; the session is then closed and the reason has been posted.
    bool Open(std::shared_ptr<CSharedCapture> capture);

    // Stops everything for this session; afterwards no frame, stream byte or notice
    // arrives. Idempotent.
    void Close();

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
    std::shared_ptr<CSharedCapture> capture_;  // opener's thread only
    std::atomic<bool> waitingForKey_{true};    // stream thread clears, capture sets
};
