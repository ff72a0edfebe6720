// Builds and owns the GStreamer pipeline of one opened camera, "camera <name>". The
// elements are named after their roles:
//
//   source -> mode-caps -> [jpeg-decoder] -> convert -> i420-caps -> overlay -> tee
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
// The recorded stream then carries no overlay: drawing one would mean re-encoding.
// The display branch drops frames when its consumer is slow, so it never stalls the
// stream; the stream branch never drops (a lost access unit corrupts the picture up
// to the next key frame). The stream branch exists only when it is asked for.
//
// Threads: built and torn down on the thread that opens and closes the camera. The
// appsinks call back on GStreamer's streaming threads, one per branch.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <string>

#include "camcap/CaptureMode.h"
#include "camcap/GstRef.h"

struct CapturePipelineOptions {
    CaptureMode Mode;
    std::string OverlayText;             // drawn before the date and time
    bool WithStream = true;              // false: no encoder, display only (the preview)
    std::string EncoderPreset = "fast";  // x264 speed preset
};

class CCapturePipeline {
public:
    // A key frame at least every 2 s.
    static constexpr int kKeyFrameSeconds = 2;
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

    // Sets the pipeline to NULL (joining its streaming threads) and releases it.
    void Release();

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
    bool BuildEncodedStream(GstElement* tee, const CapturePipelineOptions& options,
                            std::string& reason);
    GstElement* BuildDisplayTail(std::string& reason);

    GstElementRef pipeline_;  // all fields: the opening/closing thread only
    GstElement* source_ = nullptr;
    GstAppSink* displaySink_ = nullptr;
    GstAppSink* streamSink_ = nullptr;
};
