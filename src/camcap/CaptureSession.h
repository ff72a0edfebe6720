// One opening of a camera: owns its pipeline, hands live frames to the frame target
// and the encoded stream to the stream callback, keeps the newest picture for still
// pictures, and turns bus events into texts for the notice window.
//
// Threads:
// - Open, Close, CapturePicture and SimulateUnplug run on the caller's thread (one
//   at a time for a session).
// - OnDisplaySample runs on the display branch's streaming thread, OnStreamSample on
//   the stream branch's; OnBusMessage on the bus watcher's thread.
// Every one of those passes gate_ before it calls out; Close shuts the gate (waiting
// for callbacks inside to leave), stops the bus watcher and sets the pipeline to
// NULL, which joins the streaming threads. After Close returns nothing calls out.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "camcap/BusWatcher.h"
#include "camcap/CallbackGate.h"
#include "camcap/CapturePipeline.h"
#include "camcap/DeviceRegistry.h"
#include "camcap/GstRef.h"
#include "capture/CameraCap.h"

class CCaptureSession {
public:
    // How long Open waits for the camera's first picture to pass every branch.
    static constexpr GstClockTime kStartTimeoutNs = 10 * GST_SECOND;

    // target, notice and callback may each be null. cameraName names the camera in
    // the picture and in notices.
    CCaptureSession(IFrameTarget* target, HWND notice, StreamCallback callback, void* user,
                    std::string cameraName);
    virtual ~CCaptureSession();
    CCaptureSession(const CCaptureSession&) = delete;
    CCaptureSession& operator=(const CCaptureSession&) = delete;

    // Builds the pipeline around source (taken over) and starts it. False when it does
    // not build or does not deliver within kStartTimeoutNs; the session is then closed
    // and the reason has been posted to the notice window.
    bool Open(GstElement* source, const CaptureMode& mode, const std::string& encoderPreset);

    // Stops everything; afterwards no frame, stream byte or notice arrives. Idempotent.
    void Close();

    // Saves the newest picture as JPEG: 0, -2 when there is none yet, -3 on failure.
    int32_t CapturePicture(const char* path);

    // Makes the source fail as a camera pulled from its socket does. False when not open.
    bool SimulateUnplug();

private:
    static GstFlowReturn OnDisplaySample(GstAppSink* sink, gpointer user);
    static GstFlowReturn OnStreamSample(GstAppSink* sink, gpointer user);
    static GstPadProbeReturn OnUnpluggedBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer user);
    void DeliverFrame(GstSample* sample);
    void OnBusMessage(GstMessage* message);
    void Notify(const std::string& text);

    // Set at construction, read by every thread through the gate.
    IFrameTarget* const target_;
    const HWND notice_;
    const StreamCallback callback_;
    void* const user_;
    const std::string cameraName_;

    CCallbackGate gate_;
    CCapturePipeline pipeline_;  // caller's thread only
    CBusWatcher busWatcher_;     // caller's thread only
    bool noticedEnd_ = false;    // bus watcher's thread only: one end-of-camera text per opening

    std::mutex sampleMutex_;
    GstSampleRef lastSample_;  // guarded by sampleMutex_: display thread stores, caller reads
};
