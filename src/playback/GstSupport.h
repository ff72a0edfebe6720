// Owners for the GStreamer handles playback and export take, and GStreamer's start.
// The capture library keeps its own; the two libraries sit side by side and neither
// reaches into the other. Plain types; EnsureGstreamer from any thread.
#pragma once

#include <gst/gst.h>

#include <memory>
#include <string>

struct PlaybackObjectUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
struct PlaybackSampleUnref {
    void operator()(GstSample* sample) const { gst_sample_unref(sample); }
};
struct PlaybackCapsUnref {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
struct PlaybackMessageUnref {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
struct PlaybackErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};

using PlaybackElementRef = std::unique_ptr<GstElement, PlaybackObjectUnref>;
using PlaybackBusRef = std::unique_ptr<GstBus, PlaybackObjectUnref>;
using PlaybackSampleRef = std::unique_ptr<GstSample, PlaybackSampleUnref>;
using PlaybackCapsRef = std::unique_ptr<GstCaps, PlaybackCapsUnref>;
using PlaybackMessageRef = std::unique_ptr<GstMessage, PlaybackMessageUnref>;
using PlaybackErrorRef = std::unique_ptr<GError, PlaybackErrorFree>;

// Initialises GStreamer once per process; true when it is usable. Concurrent first
// calls are serialised.
bool EnsureGstreamer();

// The text of an error message from a pipeline's bus.
std::string ErrorText(GstMessage* message);
