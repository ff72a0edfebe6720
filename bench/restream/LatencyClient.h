// An RTSP client inside the benchmark that decodes (rtspsrc, depay, parse, avdec_h264,
// appsink) and times each decoded picture against the wall-clock arrival of the same
// access unit at the camera's tap, found by the hash of a slice it held on its way in.
//
// Threads: Start, WaitFirstPicture, Stop and the results on the benchmark's thread;
// the probe and the sink callback on GStreamer's streaming threads. The coded pictures
// and the results are shared under mutex_, held only to note or copy one value.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "RecordingTap.h"
#include "camcap/GstRef.h"

class CLatencyClient {
public:
    // jitterLatencyMs: rtspsrc's latency property, the client's own reordering delay.
    CLatencyClient(std::string url, std::string user, std::string password,
                   const CRecordingTap& tap, int jitterLatencyMs);
    ~CLatencyClient();
    CLatencyClient(const CLatencyClient&) = delete;
    CLatencyClient& operator=(const CLatencyClient&) = delete;

    // Empty on success, else why the pipeline did not start.
    std::string Start();
    // True once a decoded picture arrived within timeoutMs of the call.
    bool WaitFirstPicture(int timeoutMs);
    // Stops the pipeline; the streaming threads are joined when it returns.
    void Stop();

    // Milliseconds from Start to the first decoded picture; -1 when none came.
    int64_t FirstPictureMs() const;
    // Capture (tap) to decoded picture, for pictures that reached the tap after Start:
    // the kept group a new client gets first is older by design.
    std::vector<double> LiveDelaysMs() const;
    int Pictures() const;
    int Unmatched() const;
    // The first error the pipeline posted, if any.
    std::string Error() const;

private:
    void NoteCoded(GstBuffer* buffer);
    static GstPadProbeReturn OnCoded(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    static GstFlowReturn OnSample(GstAppSink* sink, gpointer self);

    const std::string url_;
    const std::string user_;
    const std::string password_;
    const CRecordingTap& tap_;
    const int jitterLatencyMs_;
    GstElementRef pipeline_;     // the benchmark's thread
    int64_t startWallMs_ = 0;    // written before the pipeline runs
    int64_t startSteadyMs_ = 0;  // written before the pipeline runs
    int lastIndex_ = -1;         // the sink's streaming thread

    mutable std::mutex mutex_;
    std::condition_variable pictureArrived_;
    std::deque<uint64_t> coded_;        // under mutex_: entering the decoder, oldest first
    int64_t firstPictureMs_ = -1;       // under mutex_
    std::vector<double> liveDelaysMs_;  // under mutex_
    int pictures_ = 0;                  // under mutex_
    int unmatched_ = 0;                 // under mutex_
};
