#include "camcap/CapturePipeline.h"

#include <gst/video/video.h>

#include <algorithm>
#include <vector>

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
constexpr GstClockTime kKeyFrameNs = CCapturePipeline::kKeyFrameSeconds * GST_SECOND;
// Timestamps are rounded to the nanosecond: a picture due exactly 2 s after the last
// key frame is still in time.
constexpr GstClockTime kKeyFrameSlackNs = GST_MSECOND;

guint BitrateKbps(const CaptureMode& mode) {
    const int fps = mode.FrameRate() > 0 ? mode.FrameRate() : kDefaultFps;
    int width = 0, height = 0;
    CCapturePipeline::FittedSize(mode, width, height);
    const double kbps = kBaseBitrateKbps * (double(width) * height * fps) / kBasePixelRate;
    return std::clamp(static_cast<guint>(kbps), kMinBitrateKbps, kMaxBitrateKbps);
}

void SetCaps(GstElement* capsfilter, GstCaps* caps) {
    g_object_set(capsfilter, "caps", caps, nullptr);
    gst_caps_unref(caps);
}

void SetCallbacks(GstElement* sink, GstAppSinkCallbacks callbacks, gpointer user) {
    if (user != nullptr) gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, user, nullptr);
}

}  // namespace

CCapturePipeline::~CCapturePipeline() {
    Release();
}

void CCapturePipeline::FittedSize(const CaptureMode& mode, int& width, int& height) {
    width = mode.Width;
    height = mode.Height;
    if (width <= kLargestWidth && height <= kLargestHeight) return;
    const double scale =
        std::min(double(kLargestWidth) / mode.Width, double(kLargestHeight) / mode.Height);
    // Even sizes: 4:2:0 pictures have chroma at half the size.
    width = std::max(2, int(mode.Width * scale) & ~1);
    height = std::max(2, int(mode.Height * scale) & ~1);
}

GstPadProbeReturn CCapturePipeline::OnSourceBuffer(GstPad*, GstPadProbeInfo*, gpointer user) {
    static_cast<CCapturePipeline*>(user)->lastBufferUs_.store(g_get_monotonic_time());
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn CCapturePipeline::OnEncoderInput(GstPad* pad, GstPadProbeInfo* info,
                                                   gpointer user) {
    auto* self = static_cast<CCapturePipeline*>(user);
    const GstClockTime pts = GST_BUFFER_PTS(GST_PAD_PROBE_INFO_BUFFER(info));
    const GstClockTime previous = self->lastInputPts_.exchange(pts);
    const GstClockTime lastKey = self->lastKeyPts_.load();
    bool force = self->keyFrameRequested_.exchange(false);
    // Counted in stream time, not in pictures: a camera slowed down by the dark must not
    // stretch the distance between key frames. A key frame is forced when the next
    // picture, coming after the same interval as this one, would be too late.
    if (GST_CLOCK_TIME_IS_VALID(pts) && GST_CLOCK_TIME_IS_VALID(lastKey) && pts >= lastKey) {
        const GstClockTime interval =
            GST_CLOCK_TIME_IS_VALID(previous) && pts > previous ? pts - previous : 0;
        if (pts - lastKey + interval > kKeyFrameNs + kKeyFrameSlackNs) force = true;
    }
    if (force) {
        // Serialized, so it reaches the encoder just before this picture.
        gst_pad_send_event(
            pad, gst_video_event_new_downstream_force_key_unit(
                     GST_CLOCK_TIME_NONE, GST_CLOCK_TIME_NONE, GST_CLOCK_TIME_NONE, TRUE, 0));
        self->lastKeyPts_.store(pts);
    }
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn CCapturePipeline::OnEncoderOutput(GstPad*, GstPadProbeInfo* info, gpointer user) {
    auto* self = static_cast<CCapturePipeline*>(user);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    // The encoder's own key frames count too. Its output timestamps are offset (x264
    // shifts them by 1000 hours to keep decoding times positive), so the key frame is
    // taken to be the picture last put in, which it is with zero latency.
    if (!GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT)) {
        self->lastKeyPts_.store(self->lastInputPts_.load());
    }
    return GST_PAD_PROBE_OK;
}

void CCapturePipeline::SetOverlayText(const std::string& text) {
    if (overlay_ == nullptr) return;
    // The overlay reads its text as Pango markup, and a name with "&" or "<" would
    // blank both the name and the clock.
    GCharRef escaped(g_markup_escape_text(text.c_str(), -1));
    g_object_set(overlay_, "text", escaped.get(), nullptr);
}

void CCapturePipeline::Release() {
    if (pipeline_) {
        // Joins the streaming threads: after this no appsink callback runs.
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
        pipeline_.reset();
    }
    source_ = nullptr;
    tee_ = nullptr;
    overlay_ = nullptr;
    displaySink_ = nullptr;
    streamSink_ = nullptr;
    streamFailed_ = false;
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
    SetCallbacks(sink, options_.DisplayCallbacks, options_.CallbackUser);
    if (!gst_element_link_many(queue, convert, bgrx, sink, nullptr)) {
        reason = "cannot link the display branch";
        return nullptr;
    }
    displaySink_ = GST_APP_SINK(sink);
    return queue;
}

namespace {

// Links the chain of new elements to a tee pad. On a playing pipeline the new
// elements are brought to its state first, so that the tee never pushes into a pad
// that is not ready.
bool LinkToTee(GstElement* tee, const std::vector<GstElement*>& chain, bool playing) {
    for (size_t i = 0; i + 1 < chain.size(); ++i) {
        if (!gst_element_link(chain[i], chain[i + 1])) return false;
    }
    if (playing) {
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            if (!gst_element_sync_state_with_parent(*it)) return false;
        }
    }
    return gst_element_link(tee, chain.front());
}

void SetStreamSink(GstElement* sink, bool playing) {
    // Added to a playing pipeline, a sink that waited for its first buffer to commit
    // its state would put the whole pipeline back into a state change.
    g_object_set(sink, "sync", FALSE, "wait-on-eos", FALSE, "enable-last-sample", FALSE, "async",
                 playing ? FALSE : TRUE, nullptr);
}

}  // namespace

bool CCapturePipeline::BuildEncodedStream(bool playing, std::string& reason) {
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
    const int fps = options_.Mode.FrameRate() > 0 ? options_.Mode.FrameRate() : kDefaultFps;
    gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset", options_.EncoderPreset.c_str());
    gst_util_set_object_arg(G_OBJECT(encoder), "tune", "zerolatency");
    // Left at its default, x264 gives one key frame per 10 s. This bound counts
    // pictures at the nominal rate; the input probe adds the bound in time.
    g_object_set(encoder, "key-int-max", guint(fps * kKeyFrameSeconds), "bitrate",
                 BitrateKbps(options_.Mode), nullptr);
    GstPadRef input(gst_element_get_static_pad(encoder, "sink"));
    GstPadRef output(gst_element_get_static_pad(encoder, "src"));
    if (!input || !output) {
        reason = "the encoder has no pads";
        return false;
    }
    gst_pad_add_probe(input.get(), GST_PAD_PROBE_TYPE_BUFFER, &CCapturePipeline::OnEncoderInput,
                      this, nullptr);
    gst_pad_add_probe(output.get(), GST_PAD_PROBE_TYPE_BUFFER, &CCapturePipeline::OnEncoderOutput,
                      this, nullptr);
    // SPS and PPS before every key frame, so that each recording file plays on its own.
    g_object_set(parser, "config-interval", -1, nullptr);
    SetCaps(byteStream,
            gst_caps_new_simple("video/x-h264", "stream-format", G_TYPE_STRING, "byte-stream",
                                "alignment", G_TYPE_STRING, "au", nullptr));
    // Compressed bytes only; bounded by time, never leaky.
    g_object_set(streamQueue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                 guint64(kStreamQueueNs), nullptr);
    SetStreamSink(sink, playing);
    SetCallbacks(sink, options_.StreamCallbacks, options_.CallbackUser);
    if (!LinkToTee(tee_, {rawQueue, encoder, parser, byteStream, streamQueue, sink}, playing)) {
        reason = "cannot link the encoder";
        return false;
    }
    streamSink_ = GST_APP_SINK(sink);
    return true;
}

bool CCapturePipeline::BuildPassedThroughStream(bool playing, std::string& reason) {
    GstElement* streamQueue = Add("queue", "stream-queue", reason);
    GstElement* sink = Add("appsink", "stream-sink", reason);
    if (streamQueue == nullptr || sink == nullptr) return false;
    g_object_set(streamQueue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                 guint64(kStreamQueueNs), nullptr);
    SetStreamSink(sink, playing);
    SetCallbacks(sink, options_.StreamCallbacks, options_.CallbackUser);
    if (!LinkToTee(tee_, {streamQueue, sink}, playing)) {
        reason = "cannot link the stream branch";
        return false;
    }
    streamSink_ = GST_APP_SINK(sink);
    return true;
}

bool CCapturePipeline::AddStream(std::string& reason) {
    if (streamSink_ != nullptr) return true;
    if (!pipeline_ || tee_ == nullptr || streamFailed_) {
        reason = streamFailed_ ? "the stream branch failed before" : "no pipeline";
        return false;
    }
    // Elements of a failed attempt stay in the bin unlinked; their names are taken.
    streamFailed_ =
        !(options_.Mode.Encoding == CaptureEncoding::H264 ? BuildPassedThroughStream(true, reason)
                                                          : BuildEncodedStream(true, reason));
    return !streamFailed_;
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
    options_ = options;
    const std::string name = "camera " + options.OverlayText;
    pipeline_.reset(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(name.c_str()))));
    gst_bin_add(GST_BIN(pipeline_.get()), ownedSource.get());
    source_ = ownedSource.get();
    lastBufferUs_.store(g_get_monotonic_time());
    GstPadRef sourcePad(gst_element_get_static_pad(source_, "src"));
    if (sourcePad) {
        gst_pad_add_probe(sourcePad.get(), GST_PAD_PROBE_TYPE_BUFFER,
                          &CCapturePipeline::OnSourceBuffer, this, nullptr);
    }

    bool built = false;
    GstElement* modeCaps = Add("capsfilter", "mode-caps", reason);
    GstElement* overlay = Add("clockoverlay", "overlay", reason);
    GstElement* tee = Add("tee", "tee", reason);
    tee_ = tee;
    if (modeCaps != nullptr && overlay != nullptr && tee != nullptr) {
        SetCaps(modeCaps, NewCaptureModeCaps(options.Mode));
        overlay_ = overlay;
        SetOverlayText(options.OverlayText);
        g_object_set(overlay, "time-format", kTimeFormat, "font-desc", kOverlayFont,
                     "shaded-background", TRUE, nullptr);
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
    int width = 0, height = 0;
    FittedSize(options.Mode, width, height);
    if (width != options.Mode.Width || height != options.Mode.Height) {
        // Scaled before the conversion, which then works on the smaller picture.
        GstElement* scale = Add("videoscale", "scale", reason);
        if (scale == nullptr || !gst_element_link(upstream, scale)) return false;
        upstream = scale;
    }
    GstElement* convert = Add("videoconvert", "convert", reason);
    GstElement* i420 = Add("capsfilter", "i420-caps", reason);
    if (convert == nullptr || i420 == nullptr) return false;
    // Left free, x264 picks 4:4:4 10-bit, which common decoders refuse.
    SetCaps(i420, gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", "width",
                                      G_TYPE_INT, width, "height", G_TYPE_INT, height, nullptr));
    if (!gst_element_link(source_, modeCaps) ||
        !gst_element_link_many(upstream, convert, i420, overlay, tee, nullptr)) {
        reason = "the camera does not deliver its mode";
        return false;
    }
    GstElement* display = BuildDisplayTail(reason);
    if (display == nullptr || !gst_element_link(tee, display)) return false;
    return !options.WithStream || BuildEncodedStream(false, reason);
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
    return !options.WithStream || BuildPassedThroughStream(false, reason);
}
