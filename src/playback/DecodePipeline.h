// The decoding pipeline of the player, built anew for every run from a seek:
//
//   source (appsrc, H.264 access units with their times) -> parser -> decoder
//       -> convert -> BGRx caps -> sink (appsink, a few pictures at most)
//
// The source blocks a pusher while a few megabytes wait, and the sink holds a few
// decoded pictures, so decoding never runs far ahead of what is shown. Its own
// pipeline and threads: nothing is shared with a capture.
//
// Threads: Build, Halt, Pull and Release on the owner's thread; Push on one feeding
// thread. Halt makes a blocked Push, and every later one, return false; the feeding
// thread is joined after Halt and before Release. The sink's callback (onSample) runs
// on a streaming thread and must only signal.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "playback/GstSupport.h"

class CDecodePipeline {
public:
    CDecodePipeline() = default;
    ~CDecodePipeline();
    CDecodePipeline(const CDecodePipeline&) = delete;
    CDecodePipeline& operator=(const CDecodePipeline&) = delete;

    // Builds the pipeline and sets it playing; onSample is called whenever a decoded
    // picture comes into the sink. False with a reason.
    bool Build(std::function<void()> onSample, std::string& reason);
    // Queues an access unit with its time and duration from the start of the run; false
    // once the pipeline is released or has failed.
    bool Push(const uint8_t* data, size_t length, GstClockTime pts, GstClockTime duration);
    // A decoded picture waiting in the sink, or null at once when there is none.
    PlaybackSampleRef Pull();
    // The first error the pipeline reported, or empty.
    std::string Error() const;
    // Stops the pipeline: a blocked Push returns, and no callback runs any more.
    void Halt();
    // Halts and releases the pipeline.
    void Release();

private:
    static GstFlowReturn OnNewSample(GstAppSink* sink, gpointer user);

    PlaybackElementRef pipeline_;     // owner's thread
    GstAppSrc* source_ = nullptr;     // owned by the pipeline
    GstAppSink* sink_ = nullptr;      // owned by the pipeline
    std::function<void()> onSample_;  // set before the pipeline plays
};
