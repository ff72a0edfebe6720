// Builds and owns the GStreamer pipeline of one opened camera, "camera <name>". The
// elements are named after their roles:
//
//   source -> mode-caps -> [jpeg-decoder] -> [scale] -> convert -> i420-caps -> overlay -> tee
//   tee -> display-queue (leaky, 2 buffers) -> display-convert -> display-caps (BGRx)
//       -> display-sink
//   tee -> encoder-queue -> encoder (x264) -> parser -> stream-caps (byte-stream/au)
//       -> stream-queue (large) -> stream-sink
//
// A camera that delivers H.264 itself is passed through instead:
//
//   source -> mode-caps -> parser -> stream-caps -> tee
//   tee -> stream-queue -> stream-sink
//   tee -> decoder-queue (leaky) -> decoder -> convert -> overlay -> display tail
//
// A mode larger than 1280x720 is scaled to fit 1280x720 before anything else, so
// that it costs what that size costs. The encoder gets a key frame at least every
// 2 s of stream time, whatever rate the camera really delivers at. The recorded
// stream of a passed-through camera carries no overlay: drawing one would mean
// re-encoding, and it is passed through at its own size for the same reason.
// The display branch drops frames when its consumer is slow, so it never stalls the
// stream; the stream branch never drops (a lost access unit corrupts the picture up
// to the next key frame). The stream branch exists only when it is asked for, at
// build time or later while the pipeline plays.
//
// Threads: built and torn down on the thread that opens and closes the camera. The
// appsinks call back on GStreamer's streaming threads, one per branch. The probes
// run on the streaming threads too and touch only the atomics below.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "camcap/CaptureMode.h"
#include "camcap/GstRef.h"

struct CapturePipelineOptions {
    CaptureMode Mode;
    std::string OverlayText;                 // drawn before the date and time
    bool WithStream = true;                  // false: no encoder, display only (the preview)
    std::string EncoderPreset = "veryfast";  // x264 speed preset
    // Given to each appsink as it is made, before it is linked, so that none holds a
    // sample nobody takes; none when CallbackUser is null.
    GstAppSinkCallbacks DisplayCallbacks = {};
    GstAppSinkCallbacks StreamCallbacks = {};
    gpointer CallbackUser = nullptr;
};

class CCapturePipeline {
public:
    // A key frame at least every 2 s of stream time.
    static constexpr int kKeyFrameSeconds = 2;
    // The largest picture encoded; larger modes are scaled down to fit.
    static constexpr int kLargestWidth = 1280;
    static constexpr int kLargestHeight = 720;
    // How much encoded stream may wait for a slow consumer before the encoder waits.
    static constexpr GstClockTime kStreamQueueNs = 10 * GST_SECOND;

    CCapturePipeline() = default;
    virtual ~CCapturePipeline();
    CCapturePipeline(const CCapturePipeline&) = delete;
    CCapturePipeline& operator=(const CCapturePipeline&) = delete;

    // Builds the pipeline around source, taking over the caller's reference to it
    // (floating or not), also on failure. False with a reason when an element is missing or will
    // not link; the pipeline is then released.
    bool Build(GstElement* source, const CapturePipelineOptions& options, std::string& reason);

    // Adds the stream branch to a pipeline built without one, also while it plays.
    // True when it is there; after a failure it is not tried again on this pipeline.
    bool AddStream(std::string& reason);
    bool HasStream() const { return streamSink_ != nullptr; }

    // Draws text (shown as written) before the date and time from now on.
    void SetOverlayText(const std::string& text);

    // Makes the encoder's next picture a key frame (a new stream consumer waits for one).
    void RequestKeyFrame() { keyFrameRequested_.store(true); }

    // When the source last delivered a buffer, in g_get_monotonic_time microseconds;
    // the time of Build until the first.
    int64_t LastBufferUs() const { return lastBufferUs_.load(); }

    // Sets the pipeline to NULL (joining its streaming threads) and releases it.
    void Release();

    // The size a mode is encoded at: the mode's own, or scaled to fit 1280x720 with
    // its aspect kept.
    static void FittedSize(const CaptureMode& mode, int& width, int& height);

    GstElement* Pipeline() const { return pipeline_.get(); }
    GstElement* Source() const { return source_; }            // owned by the pipeline
    GstAppSink* DisplaySink() const { return displaySink_; }  // owned by the pipeline
    GstAppSink* StreamSink() const { return streamSink_; }    // null without stream

private:
    // Adds a new element named after its role in the pipeline ("encoder",
    // "display-queue"), so that GST_DEBUG output and pipeline graphs read.
    GstElement* Add(const char* factory, const char* role, std::string& reason);
    bool BuildEncoding(GstElement* modeCaps, GstElement* overlay, GstElement* tee,
                       const CapturePipelineOptions& options, std::string& reason);
    bool BuildPassThrough(GstElement* modeCaps, GstElement* overlay, GstElement* tee,
                          const CapturePipelineOptions& options, std::string& reason);
    bool BuildEncodedStream(bool playing, std::string& reason);
    bool BuildPassedThroughStream(bool playing, std::string& reason);
    GstElement* BuildDisplayTail(std::string& reason);
    static GstPadProbeReturn OnSourceBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer user);
    static GstPadProbeReturn OnEncoderInput(GstPad* pad, GstPadProbeInfo* info, gpointer user);
    static GstPadProbeReturn OnEncoderOutput(GstPad* pad, GstPadProbeInfo* info, gpointer user);

    GstElementRef pipeline_;  // the fields up to the atomics: the owner's thread only
    CapturePipelineOptions options_;
    GstElement* source_ = nullptr;
    GstElement* tee_ = nullptr;
    GstElement* overlay_ = nullptr;
    GstAppSink* displaySink_ = nullptr;
    GstAppSink* streamSink_ = nullptr;
    bool streamFailed_ = false;

    std::atomic<int64_t> lastBufferUs_{0};        // source's streaming thread writes
    std::atomic<bool> keyFrameRequested_{false};  // owner sets, encoder's thread clears
    // The encoder's input and output probes: atomics, as an encoder may hand its
    // pictures on from a thread of its own.
    std::atomic<uint64_t> lastKeyPts_{GST_CLOCK_TIME_NONE};
    std::atomic<uint64_t> lastInputPts_{GST_CLOCK_TIME_NONE};
};
