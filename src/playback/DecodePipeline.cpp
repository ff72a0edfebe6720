#include "playback/DecodePipeline.h"

namespace {

// About two key-frame intervals of a 4 Mbit/s stream.
constexpr guint64 kQueuedBytes = 2 * 1024 * 1024;
constexpr guint kSinkPictures = 3;

GstElement* Make(GstElement* pipeline, const char* factory, const char* role, std::string& reason) {
    GstElement* element = gst_element_factory_make(factory, role);
    if (element == nullptr) {
        if (reason.empty()) reason = std::string("missing GStreamer element ") + factory;
        return nullptr;
    }
    gst_bin_add(GST_BIN(pipeline), element);
    return element;
}

}  // namespace

CDecodePipeline::~CDecodePipeline() {
    Release();
}

GstFlowReturn CDecodePipeline::OnNewSample(GstAppSink*, gpointer user) {
    static_cast<CDecodePipeline*>(user)->onSample_();
    return GST_FLOW_OK;
}

bool CDecodePipeline::Build(std::function<void()> onSample, std::string& reason) {
    Release();
    if (!EnsureGstreamer()) {
        reason = "GStreamer cannot be initialised";
        return false;
    }
    onSample_ = std::move(onSample);
    pipeline_.reset(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("playback"))));
    GstElement* pipeline = pipeline_.get();
    GstElement* source = Make(pipeline, "appsrc", "source", reason);
    GstElement* parser = Make(pipeline, "h264parse", "parser", reason);
    GstElement* decoder = Make(pipeline, "avdec_h264", "decoder", reason);
    GstElement* convert = Make(pipeline, "videoconvert", "convert", reason);
    GstElement* bgrx = Make(pipeline, "capsfilter", "bgrx-caps", reason);
    GstElement* sink = Make(pipeline, "appsink", "sink", reason);
    if (source == nullptr || parser == nullptr || decoder == nullptr || convert == nullptr ||
        bgrx == nullptr || sink == nullptr) {
        Release();
        return false;
    }
    PlaybackCapsRef h264(gst_caps_new_simple("video/x-h264", "stream-format", G_TYPE_STRING,
                                             "byte-stream", "alignment", G_TYPE_STRING, "au",
                                             nullptr));
    g_object_set(source, "caps", h264.get(), "format", GST_FORMAT_TIME, "is-live", FALSE, "block",
                 TRUE, "max-bytes", kQueuedBytes, nullptr);
    // Slices, not frames, in parallel: frame threads hold pictures back until more
    // input comes, and the newest picture of a growing file would wait for the next.
    gst_util_set_object_arg(G_OBJECT(decoder), "thread-type", "slice");
    g_object_set(decoder, "output-corrupt", FALSE, nullptr);
    PlaybackCapsRef raw(
        gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr));
    g_object_set(bgrx, "caps", raw.get(), nullptr);
    // Pulled by the player, which paces the pictures itself.
    g_object_set(sink, "sync", FALSE, "max-buffers", kSinkPictures, "drop", FALSE,
                 "enable-last-sample", FALSE, "wait-on-eos", FALSE, nullptr);
    GstAppSinkCallbacks callbacks = {};
    callbacks.new_sample = &CDecodePipeline::OnNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    if (!gst_element_link_many(source, parser, decoder, convert, bgrx, sink, nullptr)) {
        reason = "cannot link the playback pipeline";
        Release();
        return false;
    }
    source_ = GST_APP_SRC(source);
    sink_ = GST_APP_SINK(sink);
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        reason = "the playback pipeline does not start";
        Release();
        return false;
    }
    return true;
}

bool CDecodePipeline::Push(const uint8_t* data, size_t length, GstClockTime pts,
                           GstClockTime duration) {
    if (source_ == nullptr || data == nullptr || length == 0) return false;
    GstBuffer* buffer = gst_buffer_new_memdup(data, length);
    GST_BUFFER_PTS(buffer) = pts;
    GST_BUFFER_DTS(buffer) = pts;
    GST_BUFFER_DURATION(buffer) = duration;
    return gst_app_src_push_buffer(source_, buffer) == GST_FLOW_OK;
}

PlaybackSampleRef CDecodePipeline::Pull() {
    if (sink_ == nullptr) return nullptr;
    return PlaybackSampleRef(gst_app_sink_try_pull_sample(sink_, 0));
}

std::string CDecodePipeline::Error() const {
    if (!pipeline_) return {};
    PlaybackBusRef bus(gst_element_get_bus(pipeline_.get()));
    PlaybackMessageRef message(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    return ErrorText(message.get());
}

void CDecodePipeline::Halt() {
    // Joins the streaming threads; the source, now flushing, refuses every push.
    if (pipeline_) gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
}

void CDecodePipeline::Release() {
    Halt();
    pipeline_.reset();
    source_ = nullptr;
    sink_ = nullptr;
}
