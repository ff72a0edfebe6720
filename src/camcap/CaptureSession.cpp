#include "camcap/CaptureSession.h"

#include <gst/video/video.h>

#include "camcap/GstDebug.h"
#include "camcap/JpegSnapshot.h"
#include "camcap/NoticeText.h"
#include "common/Messages.h"

namespace {

constexpr int32_t kNoPicture = -2;

// The reason of the first error waiting on a bus that nobody watches yet.
std::string PendingError(GstElement* pipeline) {
    if (pipeline == nullptr) return {};
    GstBusRef bus(gst_element_get_bus(pipeline));
    GstMessageRef message(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    if (!message) return {};
    GError* error = nullptr;
    gst_message_parse_error(message.get(), &error, nullptr);
    GErrorRef errorRef(error);
    return error != nullptr && error->message != nullptr ? error->message : "";
}

}  // namespace

CCaptureSession::CCaptureSession(IFrameTarget* target, HWND notice, StreamCallback callback,
                                 void* user, std::string cameraName)
    : target_(target),
      notice_(notice),
      callback_(callback),
      user_(user),
      cameraName_(std::move(cameraName)) {}

CCaptureSession::~CCaptureSession() {
    Close();
}

bool CCaptureSession::Open(GstElement* source, const CaptureMode& mode,
                           const std::string& encoderPreset) {
    // Opening the gate under its mutex also publishes the fields set at construction
    // to the streaming threads, which read them only after passing that mutex.
    gate_.Open();
    CapturePipelineOptions options;
    options.Mode = mode;
    options.OverlayText = cameraName_;
    options.WithStream = callback_ != nullptr;
    options.EncoderPreset = encoderPreset;
    std::string reason;
    if (!pipeline_.Build(source, options, reason)) {
        GST_WARNING("camera %s does not build: %s", cameraName_.c_str(), reason.c_str());
        Notify(OpenFailedText(cameraName_, reason.c_str()));
        Close();
        return false;
    }

    GstAppSinkCallbacks display = {};
    display.new_sample = &CCaptureSession::OnDisplaySample;
    gst_app_sink_set_callbacks(pipeline_.DisplaySink(), &display, this, nullptr);
    if (pipeline_.StreamSink() != nullptr) {
        GstAppSinkCallbacks stream = {};
        stream.new_sample = &CCaptureSession::OnStreamSample;
        gst_app_sink_set_callbacks(pipeline_.StreamSink(), &stream, this, nullptr);
    }

    // A live pipeline completes its change to PLAYING only when the first picture has
    // reached every sink: that is the proof that the camera delivers.
    GstStateChangeReturn result = gst_element_set_state(pipeline_.Pipeline(), GST_STATE_PLAYING);
    if (result != GST_STATE_CHANGE_FAILURE) {
        result = gst_element_get_state(pipeline_.Pipeline(), nullptr, nullptr, kStartTimeoutNs);
    }
    if (result != GST_STATE_CHANGE_SUCCESS && result != GST_STATE_CHANGE_NO_PREROLL) {
        std::string why = PendingError(pipeline_.Pipeline());
        if (why.empty() && result == GST_STATE_CHANGE_ASYNC) why = "no picture from the camera";
        GST_WARNING("camera %s does not start: %s", cameraName_.c_str(), why.c_str());
        Notify(OpenFailedText(cameraName_, why.c_str()));
        Close();
        return false;
    }

    // Written only when GST_DEBUG_DUMP_DOT_DIR is set.
    GST_DEBUG_BIN_TO_DOT_FILE_WITH_TS(GST_BIN(pipeline_.Pipeline()), GST_DEBUG_GRAPH_SHOW_ALL,
                                      "orvex-camera-playing");
    GST_INFO("camera %s is playing", cameraName_.c_str());
    GstBusRef bus(gst_element_get_bus(pipeline_.Pipeline()));
    if (!busWatcher_.Start(bus.get(), [this](GstMessage* message) { OnBusMessage(message); })) {
        Notify(OpenFailedText(cameraName_, "cannot start a thread"));
        Close();
        return false;
    }
    return true;
}

void CCaptureSession::Close() {
    // Order matters: shut the gate first so that a callback blocked in the caller's
    // code is waited for here and none starts later; then stop the bus watcher; then
    // the pipeline, whose change to NULL joins the streaming threads. Nothing of this
    // holds a lock that a callback needs.
    gate_.Close();
    busWatcher_.Stop();
    pipeline_.Release();
    // Streaming threads that met the shut gate passed its mutex before the pipeline
    // stopped them; passing it once more makes that ordering visible to race checkers.
    gate_.Close();
    std::lock_guard<std::mutex> lock(sampleMutex_);
    lastSample_.reset();
}

int32_t CCaptureSession::CapturePicture(const char* path) {
    GstSampleRef sample;
    {
        std::lock_guard<std::mutex> lock(sampleMutex_);
        if (lastSample_) sample.reset(gst_sample_ref(lastSample_.get()));
    }
    if (!sample) return kNoPicture;
    return JpegSnapshot::Write(sample.get(), path);
}

bool CCaptureSession::SimulateUnplug() {
    if (pipeline_.Source() == nullptr) return false;
    GstPadRef pad(gst_element_get_static_pad(pipeline_.Source(), "src"));
    if (!pad) return false;
    gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, &CCaptureSession::OnUnpluggedBuffer,
                      nullptr, nullptr);
    return true;
}

GstPadProbeReturn CCaptureSession::OnUnpluggedBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer) {
    // As v4l2src does when its device node vanishes: a read error on the bus, then
    // the source stops with a flow error, which ends the stream downstream.
    GstElement* source = gst_pad_get_parent_element(pad);
    if (source != nullptr) {
        GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ,
                                            "Could not read from resource.");
        gst_element_post_message(
            source, gst_message_new_error(GST_OBJECT(source), error, "poll error: No such device"));
        g_error_free(error);
        gst_object_unref(source);
    }
    GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_ERROR;
    return GST_PAD_PROBE_HANDLED;
}

GstFlowReturn CCaptureSession::OnDisplaySample(GstAppSink* sink, gpointer user) {
    auto* self = static_cast<CCaptureSession*>(user);
    GstSampleRef sample(gst_app_sink_pull_sample(sink));
    if (!sample) return GST_FLOW_OK;
    CCallbackGate::CPass pass(self->gate_);
    if (!pass.Entered()) return GST_FLOW_FLUSHING;
    if (self->target_ != nullptr) self->DeliverFrame(sample.get());
    std::lock_guard<std::mutex> lock(self->sampleMutex_);
    self->lastSample_ = std::move(sample);
    return GST_FLOW_OK;
}

void CCaptureSession::DeliverFrame(GstSample* sample) {
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (caps == nullptr || buffer == nullptr || !gst_video_info_from_caps(&info, caps)) return;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) return;
    VideoFrame picture;
    picture.Width = GST_VIDEO_FRAME_WIDTH(&frame);
    picture.Height = GST_VIDEO_FRAME_HEIGHT(&frame);
    picture.Stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    picture.Pixels = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    target_->OnFrame(picture);
    gst_video_frame_unmap(&frame);
}

GstFlowReturn CCaptureSession::OnStreamSample(GstAppSink* sink, gpointer user) {
    auto* self = static_cast<CCaptureSession*>(user);
    GstSampleRef sample(gst_app_sink_pull_sample(sink));
    if (!sample) return GST_FLOW_OK;
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    if (buffer == nullptr) return GST_FLOW_OK;
    CCallbackGate::CPass pass(self->gate_);
    if (!pass.Entered()) return GST_FLOW_FLUSHING;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return GST_FLOW_OK;
    self->callback_(0, 0, map.data, static_cast<int32_t>(map.size), self->user_);
    gst_buffer_unmap(buffer, &map);
    return GST_FLOW_OK;
}

void CCaptureSession::OnBusMessage(GstMessage* message) {
    const NoticeKind kind = ClassifyBusMessage(message);
    if (kind == NoticeKind::None || noticedEnd_) return;
    GST_INFO("camera %s: %s from %s", cameraName_.c_str(), GST_MESSAGE_TYPE_NAME(message),
             GST_MESSAGE_SRC_NAME(message));
    // An unplugged camera reports a read error, then a stream error, then perhaps end
    // of stream: the operator gets the first one only.
    noticedEnd_ = true;
    Notify(NoticeTextFor(message, cameraName_));
}

void CCaptureSession::Notify(const std::string& text) {
    if (notice_ == nullptr || text.empty()) return;
    CCallbackGate::CPass pass(gate_);
    if (!pass.Entered()) return;
    PostLogText(notice_, NewMessageText(text.c_str()), 1);
}
