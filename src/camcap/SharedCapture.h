// One camera's capture, shared by every handle opened on it: a V4L2 device gives its
// stream to one opener only, so a camera shown in a video cell and previewed in the
// settings dialog at once runs one pipeline whose frames, stream and notices go to
// each attached session. The first session starts the capture, the last one to leave
// stops it, and the others are not disturbed by either.
//
// A camera offers its modes ranked, best first. A start whose mode fails as the
// stream starts (an error that blames the mode, such as a controller without the
// bandwidth for it) tries the next mode, and the mode that worked is tried first
// when the camera is reopened.
//
// While it runs, a supervisor thread of its own watches it: a camera that reports an
// error or the end of its stream, or that delivers nothing for kStallUs, is told to
// every session once, taken down and reopened every kRetryUs until it delivers
// again; the sessions then hear that it is back, and its stream resumes at a key
// frame, to the same callbacks.
//
// Threads:
// - Attach, Detach and CapturePicture on the callers' threads, Attach and Detach one
//   at a time (lifeMutex_); an Attach whose session is closed while it waits for
//   lifeMutex_ or for the camera's first picture gives up within about 100 ms;
// - OnDisplaySample and OnStreamSample on the pipeline's streaming threads; they take
//   only sessionsMutex_ (to copy the list) and sampleMutex_, never a lock that the
//   teardown of a pipeline holds;
// - Supervise on the supervisor thread, which takes pipelines down and brings them up.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camcap/CancellableMutex.h"
#include "camcap/CaptureMode.h"
#include "camcap/CapturePipeline.h"
#include "camcap/GstRef.h"

class CCaptureSession;

class CSharedCapture {
public:
    // Makes a new source for the camera in a mode, or null when the camera is not there.
    using SourceFactory = std::function<GstElement*(const CaptureMode&)>;

    // How long a start waits for the camera's first picture to pass every branch.
    static constexpr GstClockTime kStartTimeoutNs = 10 * GST_SECOND;
    // A camera that delivers nothing this long has stalled (well below the 5 s within
    // which the operator is told, well above the gaps of a camera slowed by the dark).
    static constexpr int64_t kStallUs = 4 * G_USEC_PER_SEC;
    // How often a camera that went away is tried again.
    static constexpr int64_t kRetryUs = G_USEC_PER_SEC;

    // modes: what the camera offers, best first; never empty.
    CSharedCapture(SourceFactory factory, std::vector<CaptureMode> modes,
                   std::string encoderPreset);
    virtual ~CSharedCapture();
    CSharedCapture(const CSharedCapture&) = delete;
    CSharedCapture& operator=(const CSharedCapture&) = delete;

    // Adds the session. The first one starts the capture and waits for its first
    // picture; false when it does not start, the reason then posted to the session,
    // or when the session is closed before it is attached.
    bool Attach(const std::shared_ptr<CCaptureSession>& session);

    // Removes the session, whose gate is shut already; the last one stops the capture.
    void Detach(const CCaptureSession* session);

    // Saves the newest picture as JPEG: 0, -2 when there is none, -3 on failure.
    int32_t CapturePicture(const char* path);

    // The mode the capture runs in, or last ran in.
    CaptureMode WorkingMode() const;

private:
    using SessionList = std::vector<std::shared_ptr<CCaptureSession>>;
    using Abandoned = std::function<bool()>;

    // Why a start failed: the error the pipeline reported (if any) and a reason.
    struct StartFailure {
        GstMessageRef Error;
        std::string Reason;
        bool ModeFailed = false;  // the mode, not the camera, is to blame
    };

    // Starts in the working mode, then in the others best first while the failure
    // blames the mode, all within kStartTimeoutNs; remembers the mode that started.
    bool StartAnyMode(CCapturePipeline& pipeline, const std::string& overlayName, bool withStream,
                      const Abandoned& abandoned, StartFailure& failure);
    // Builds and plays a pipeline in mode until its first picture passed, or until
    // abandoned() turns true or the deadline (g_get_monotonic_time) passes. On failure
    // it is released.
    bool Start(CCapturePipeline& pipeline, const CaptureMode& mode, const std::string& overlayName,
               bool withStream, const Abandoned& abandoned, gint64 deadline, StartFailure& failure);
    void Install(std::unique_ptr<CCapturePipeline> pipeline);
    void TakeDown();
    void Stop();
    void Supervise();
    // Checks the running pipeline once: false with a notice text maker when it ended.
    bool CheckRunning(std::function<std::string(const std::string&)>& notice);

    std::shared_ptr<const SessionList> Sessions() const;
    void SetSessions(SessionList sessions);
    void NotifyAll(const std::function<std::string(const std::string&)>& textFor);

    static GstFlowReturn OnDisplaySample(GstAppSink* sink, gpointer user);
    static GstFlowReturn OnStreamSample(GstAppSink* sink, gpointer user);

    const SourceFactory factory_;  // callers' thread, then the supervisor's
    const std::vector<CaptureMode> modes_;
    const std::string encoderPreset_;
    // The index in modes_ of the mode that last started: written by the thread that
    // starts the camera (an attaching caller, else the supervisor), read anywhere.
    std::atomic<size_t> workingMode_{0};

    CCancellableMutex lifeMutex_;  // serializes Attach and Detach; taken before the others
    bool running_ = false;         // guarded by lifeMutex_
    std::thread supervisor_;       // guarded by lifeMutex_

    std::mutex stopMutex_;
    std::condition_variable stopWake_;
    std::atomic<bool> stopping_{false};    // written under stopMutex_, read anywhere
    std::atomic<bool> wantStream_{false};  // whether an attached session takes the stream

    std::mutex pipelineMutex_;                    // never taken by a streaming thread
    std::unique_ptr<CCapturePipeline> pipeline_;  // guarded by pipelineMutex_
    std::string overlayName_;                     // guarded by pipelineMutex_
    bool overlayNamesStream_ = false;             // guarded by pipelineMutex_: named by a recording

    mutable std::mutex sessionsMutex_;
    std::shared_ptr<const SessionList> sessions_;  // guarded by sessionsMutex_; copy on write

    std::mutex sampleMutex_;
    GstSampleRef lastSample_;  // guarded by sampleMutex_: display thread stores, callers read
};
