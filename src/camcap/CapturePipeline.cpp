#include "camcap/CapturePipeline.h"

#include <algorithm>

namespace {

constexpr const char* kTimeFormat = "%Y-%m-%d %H:%M:%S";
constexpr const char* kOverlayFont = "Sans 16";
constexpr guint kDisplayQueueBuffers = 2;
// Before a decoder a dropped access unit smears the picture, so the display of a
// passed-through stream drops only when its decoder falls a whole second behind.
constexpr guint64 kDecoderQueueNs = GST_SECOND;
// x264 at 2 Mbit/s for 640x480 at 30 per second, scaled with the pixel rate.
constexpr double kBaseBitrateKbps = 2048.0;
constexpr double kBasePixelRate = 640.0 * 480.0 * 30.0;
constexpr guint kMinBitrateKbps = 512;
constexpr guint kMaxBitrateKbps = 8192;
constexpr int kDefaultFps = 30;

guint BitrateKbps(const CaptureMode& mode) {
    const int fps = mode.FrameRate() > 0 ? mode.FrameRate() : kDefaultFps;
    const double kbps =
        kBaseBitrateKbps * (double(mode.Width) * mode.Height * fps) / kBasePixelRate;
    return std::clamp(static_cast<guint>(kbps), kMinBitrateKbps, kMaxBitrateKbps);
}

void SetCaps(GstElement* capsfilter, GstCaps* caps) {
    g_object_set(capsfilter, "caps", caps, nullptr);
    gst_caps_unref(caps);
}

}  // namespace

CCapturePipeline::~CCapturePipeline() {
    Release();
}

void CCapturePipeline::Release() {
    if (pipeline_) {
        // Joins the streaming threads: after this no appsink callback runs.
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
        pipeline_.reset();
    }
    source_ = nullptr;
    displaySink_ = nullptr;
    streamSink_ = nullptr;
}

GstElement* CCapturePipeline::Add(const char* factory, const char* role, std::string& reason) {
    GstElement* element = gst_element_factory_make(factory, role);
    if (element == nullptr) {
        reason = std::string("missing GStreamer element ") + factory;
        return nullptr;
    }
    gst_bin_add(GST_BIN(pipeline_.get()), element);
    return element;
}

GstElement* CCapturePipeline::BuildDisplayTail(std::string& reason) {
    GstElement* queue = Add("queue", "display-queue", reason);
    GstElement* convert = Add("videoconvert", "display-convert", reason);
    GstElement* bgrx = Add("capsfilter", "display-caps", reason);
    GstElement* sink = Add("appsink", "display-sink", reason);
    if (queue == nullptr || convert == nullptr || bgrx == nullptr || sink == nullptr)
        return nullptr;
    // Leaky downstream: a slow frame target loses old frames instead of holding the tee.
    gst_util_set_object_arg(G_OBJECT(queue), "leaky", "downstream");
    g_object_set(queue, "max-size-buffers", kDisplayQueueBuffers, "max-size-bytes", 0u,
                 "max-size-time", guint64(0), nullptr);
    SetCaps(bgrx, gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr));
    g_object_set(sink, "drop", TRUE, "max-buffers", kDisplayQueueBuffers, "sync", FALSE,
                 "wait-on-eos", FALSE, "enable-last-sample", FALSE, nullptr);
    if (!gst_element_link_many(queue, convert, bgrx, sink, nullptr)) {
        reason = "cannot link the display branch";
        return nullptr;
    }
    displaySink_ = GST_APP_SINK(sink);
    return queue;
}

bool CCapturePipeline::BuildEncodedStream(GstElement* tee, const CapturePipelineOptions& options,
                                          std::string& reason) {
    GstElement* rawQueue = Add("queue", "encoder-queue", reason);
    GstElement* encoder = Add("x264enc", "encoder", reason);
    GstElement* parser = Add("h264parse", "parser", reason);
    GstElement* byteStream = Add("capsfilter", "stream-caps", reason);
    GstElement* streamQueue = Add("queue", "stream-queue", reason);
    GstElement* sink = Add("appsink", "stream-sink", reason);
    if (rawQueue == nullptr || encoder == nullptr || parser == nullptr || byteStream == nullptr ||
        streamQueue == nullptr || sink == nullptr) {
        return false;
    }
    const int fps = options.Mode.FrameRate() > 0 ? options.Mode.FrameRate() : kDefaultFps;
    gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset", options.EncoderPreset.c_str());
    gst_util_set_object_arg(G_OBJECT(encoder), "tune", "zerolatency");
    // Left at its default, x264 gives one key frame per 10 s.
    g_object_set(encoder, "key-int-max", guint(fps * kKeyFrameSeconds), "bitrate",
                 BitrateKbps(options.Mode), nullptr);
    // SPS and PPS before every key frame, so that each recording file plays on its own.
    g_object_set(parser, "config-interval", -1, nullptr);
    SetCaps(byteStream,
            gst_caps_new_simple("video/x-h264", "stream-format", G_TYPE_STRING, "byte-stream",
                                "alignment", G_TYPE_STRING, "au", nullptr));
    // Compressed bytes only; bounded by time, never leaky.
    g_object_set(streamQueue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                 guint64(kStreamQueueNs), nullptr);
    g_object_set(sink, "sync", FALSE, "wait-on-eos", FALSE, "enable-last-sample", FALSE, nullptr);
    if (!gst_element_link_many(tee, rawQueue, encoder, parser, byteStream, streamQueue, sink,
                               nullptr)) {
        reason = "cannot link the encoder";
        return false;
    }
    streamSink_ = GST_APP_SINK(sink);
    return true;
}

bool CCapturePipeline::Build(GstElement* source, const CapturePipelineOptions& options,
                             std::string& reason) {
    Release();
    if (source == nullptr) {
        reason = "no source";
        return false;
    }
    // Take over the caller's reference: a floating one is sunk, an owned one adopted.
    if (g_object_is_floating(source)) gst_object_ref_sink(source);
    GstElementRef ownedSource(source);
    gst_object_set_name(GST_OBJECT(source), "source");
    const std::string name = "camera " + options.OverlayText;
    pipeline_.reset(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(name.c_str()))));
    gst_bin_add(GST_BIN(pipeline_.get()), ownedSource.get());
    source_ = ownedSource.get();

    bool built = false;
    GstElement* modeCaps = Add("capsfilter", "mode-caps", reason);
    GstElement* overlay = Add("clockoverlay", "overlay", reason);
    GstElement* tee = Add("tee", "tee", reason);
    if (modeCaps != nullptr && overlay != nullptr && tee != nullptr) {
        SetCaps(modeCaps, NewCaptureModeCaps(options.Mode));
        g_object_set(overlay, "text", options.OverlayText.c_str(), "time-format", kTimeFormat,
                     "font-desc", kOverlayFont, "shaded-background", TRUE, nullptr);
        gst_util_set_object_arg(G_OBJECT(overlay), "halignment", "left");
        gst_util_set_object_arg(G_OBJECT(overlay), "valignment", "top");
        built = options.Mode.Encoding == CaptureEncoding::H264
                    ? BuildPassThrough(modeCaps, overlay, tee, options, reason)
                    : BuildEncoding(modeCaps, overlay, tee, options, reason);
    }
    if (!built) Release();
    return built;
}

bool CCapturePipeline::BuildEncoding(GstElement* modeCaps, GstElement* overlay, GstElement* tee,
                                     const CapturePipelineOptions& options, std::string& reason) {
    GstElement* upstream = modeCaps;
    if (options.Mode.Encoding == CaptureEncoding::Mjpeg) {
        GstElement* decoder = Add("jpegdec", "jpeg-decoder", reason);
        if (decoder == nullptr || !gst_element_link(modeCaps, decoder)) return false;
        upstream = decoder;
    }
    GstElement* convert = Add("videoconvert", "convert", reason);
    GstElement* i420 = Add("capsfilter", "i420-caps", reason);
    if (convert == nullptr || i420 == nullptr) return false;
    // Left free, x264 picks 4:4:4 10-bit, which common decoders refuse.
    SetCaps(i420, gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", nullptr));
    if (!gst_element_link(source_, modeCaps) ||
        !gst_element_link_many(upstream, convert, i420, overlay, tee, nullptr)) {
        reason = "the camera does not deliver its mode";
        return false;
    }
    GstElement* display = BuildDisplayTail(reason);
    if (display == nullptr || !gst_element_link(tee, display)) return false;
    return !options.WithStream || BuildEncodedStream(tee, options, reason);
}

bool CCapturePipeline::BuildPassThrough(GstElement* modeCaps, GstElement* overlay, GstElement* tee,
                                        const CapturePipelineOptions& options,
                                        std::string& reason) {
    GstElement* parser = Add("h264parse", "parser", reason);
    GstElement* byteStream = Add("capsfilter", "stream-caps", reason);
    GstElement* decoderQueue = Add("queue", "decoder-queue", reason);
    GstElement* decoder = Add("avdec_h264", "decoder", reason);
    GstElement* convert = Add("videoconvert", "convert", reason);
    if (parser == nullptr || byteStream == nullptr || decoderQueue == nullptr ||
        decoder == nullptr || convert == nullptr) {
        return false;
    }
    g_object_set(parser, "config-interval", -1, nullptr);
    SetCaps(byteStream,
            gst_caps_new_simple("video/x-h264", "stream-format", G_TYPE_STRING, "byte-stream",
                                "alignment", G_TYPE_STRING, "au", nullptr));
    if (!gst_element_link(source_, modeCaps) ||
        !gst_element_link_many(modeCaps, parser, byteStream, tee, nullptr)) {
        reason = "the camera does not deliver its mode";
        return false;
    }
    gst_util_set_object_arg(G_OBJECT(decoderQueue), "leaky", "downstream");
    g_object_set(decoderQueue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                 guint64(kDecoderQueueNs), nullptr);
    GstElement* display = BuildDisplayTail(reason);
    if (display == nullptr ||
        !gst_element_link_many(tee, decoderQueue, decoder, convert, overlay, display, nullptr)) {
        if (reason.empty()) reason = "cannot link the decoder";
        return false;
    }
    if (!options.WithStream) return true;
    GstElement* streamQueue = Add("queue", "stream-queue", reason);
    GstElement* sink = Add("appsink", "stream-sink", reason);
    if (streamQueue == nullptr || sink == nullptr) return false;
    g_object_set(streamQueue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                 guint64(kStreamQueueNs), nullptr);
    g_object_set(sink, "sync", FALSE, "wait-on-eos", FALSE, "enable-last-sample", FALSE, nullptr);
    if (!gst_element_link_many(tee, streamQueue, sink, nullptr)) {
        reason = "cannot link the stream branch";
        return false;
    }
    streamSink_ = GST_APP_SINK(sink);
    return true;
}
