#include "camcap/SharedCapture.h"

#include <gst/video/video.h>

#include <algorithm>
#include <chrono>
#include <system_error>

#include "camcap/CaptureSession.h"
#include "camcap/GstDebug.h"
#include "camcap/JpegSnapshot.h"
#include "camcap/NoticeText.h"

namespace {

constexpr int32_t kNoPicture = -2;
// How often the supervisor looks at its pipeline; also how soon a start notices Stop.
constexpr auto kTick = std::chrono::milliseconds(100);
constexpr GstClockTime kStartPollNs = 50 * GST_MSECOND;
constexpr GstClockTime kErrorWaitNs = GST_SECOND;

// The first error or end of stream waiting on the bus; other messages are dropped,
// so that the bus never fills up.
GstMessageRef PopEnd(GstElement* pipeline) {
    GstBusRef bus(gst_element_get_bus(pipeline));
    while (GstMessageRef message{gst_bus_pop(bus.get())}) {
        const GstMessageType type = GST_MESSAGE_TYPE(message.get());
        if (type == GST_MESSAGE_ERROR || type == GST_MESSAGE_EOS) return message;
    }
    return nullptr;
}

}  // namespace

CSharedCapture::CSharedCapture(SourceFactory factory, std::vector<CaptureMode> modes,
                               std::string encoderPreset)
    : factory_(std::move(factory)),
      modes_(std::move(modes)),
      encoderPreset_(std::move(encoderPreset)),
      sessions_(std::make_shared<const SessionList>()) {}

CSharedCapture::~CSharedCapture() {
    std::lock_guard<CCancellableMutex> life(lifeMutex_);
    if (running_) Stop();
}

bool CSharedCapture::Attach(const std::shared_ptr<CCaptureSession>& session) {
    // Another session may be starting this camera: wait for it, unless closed meanwhile.
    if (!lifeMutex_.LockUnless([&] { return session->Closing(); })) return false;
    std::lock_guard<CCancellableMutex> life(lifeMutex_, std::adopt_lock);
    if (session->Closing()) return false;
    {
        SessionList sessions = *Sessions();
        sessions.push_back(session);
        SetSessions(std::move(sessions));
    }
    session->WaitForKeyFrame();
    if (session->WantsStream()) wantStream_.store(true);
    if (running_) {
        if (!session->WantsStream()) return true;
        std::lock_guard<std::mutex> lock(pipelineMutex_);
        // The recorded picture is named as the recording camera is, not as a preview
        // that started the capture.
        if (!overlayNamesStream_) {
            overlayName_ = session->CameraName();
            overlayNamesStream_ = true;
            if (pipeline_) pipeline_->SetOverlayText(overlayName_);
        }
        // Down for now: the supervisor builds the stream in when the camera is back.
        if (!pipeline_) return true;
        std::string reason;
        if (!pipeline_->AddStream(reason)) {
            GST_WARNING("camera %s: no stream for a new session: %s", overlayName_.c_str(),
                        reason.c_str());
        }
        pipeline_->RequestKeyFrame();
        return true;
    }

    const std::string name = session->CameraName();
    {
        std::lock_guard<std::mutex> lock(pipelineMutex_);
        overlayName_ = name;
        overlayNamesStream_ = session->WantsStream();
    }
    stopping_.store(false);
    auto pipeline = std::make_unique<CCapturePipeline>();
    StartFailure failure;
    bool started = StartAnyMode(
        *pipeline, name, wantStream_.load(), [&] { return session->Closing(); }, failure);
    if (started) {
        Install(std::move(pipeline));
        try {
            supervisor_ = std::thread(&CSharedCapture::Supervise, this);
            running_ = true;
        } catch (const std::system_error&) {
            TakeDown();
            failure.Reason = "cannot start a thread";
            started = false;
        }
    }
    if (!started) {
        if (session->Closing()) {
            GST_INFO("camera %s: closed while starting", name.c_str());
        } else {
            GST_WARNING("camera %s does not start: %s", name.c_str(), failure.Reason.c_str());
            session->Notify(
                StartFailedText(failure.Error.get(), session->CameraName(), failure.Reason));
        }
        SessionList sessions;
        SetSessions(sessions);
        wantStream_.store(false);
    }
    return started;
}

void CSharedCapture::Detach(const CCaptureSession* session) {
    std::lock_guard<CCancellableMutex> life(lifeMutex_);
    SessionList sessions = *Sessions();
    sessions.erase(std::remove_if(sessions.begin(), sessions.end(),
                                  [&](const auto& s) { return s.get() == session; }),
                   sessions.end());
    // The stream branch stays while the pipeline runs; a rebuilt one has it only when
    // someone still takes the stream.
    wantStream_.store(std::any_of(sessions.begin(), sessions.end(),
                                  [](const auto& s) { return s->WantsStream(); }));
    const bool last = sessions.empty();
    SetSessions(std::move(sessions));
    if (last && running_) Stop();
}

int32_t CSharedCapture::CapturePicture(const char* path) {
    GstSampleRef sample;
    {
        std::lock_guard<std::mutex> lock(sampleMutex_);
        if (lastSample_) sample.reset(gst_sample_ref(lastSample_.get()));
    }
    if (!sample) return kNoPicture;
    return JpegSnapshot::Write(sample.get(), path);
}

CaptureMode CSharedCapture::WorkingMode() const {
    return modes_.empty() ? CaptureMode() : modes_[workingMode_.load()];
}

bool CSharedCapture::StartAnyMode(CCapturePipeline& pipeline, const std::string& overlayName,
                                  bool withStream, const Abandoned& abandoned,
                                  StartFailure& failure) {
    if (modes_.empty()) {
        failure.Reason = "the camera offers no mode";
        return false;
    }
    const size_t working = workingMode_.load();
    std::vector<size_t> order = {working};
    for (size_t i = 0; i < modes_.size(); ++i) {
        if (i != working) order.push_back(i);
    }
    const gint64 deadline = g_get_monotonic_time() + gint64(kStartTimeoutNs / GST_USECOND);
    for (size_t i : order) {
        // The first failure is the one told: the best mode's, or the one that worked before.
        StartFailure attempt;
        if (Start(pipeline, modes_[i], overlayName, withStream, abandoned, deadline, attempt)) {
            if (i != working) {
                GST_INFO("camera %s starts in %s", overlayName.c_str(),
                         CaptureModeText(modes_[i]).c_str());
            }
            workingMode_.store(i);
            return true;
        }
        const bool tryNext =
            attempt.ModeFailed && !abandoned() && g_get_monotonic_time() < deadline;
        if (i == order.front()) failure = std::move(attempt);
        if (!tryNext) break;
        GST_INFO("camera %s: %s fails, trying the next mode", overlayName.c_str(),
                 CaptureModeText(modes_[i]).c_str());
    }
    return false;
}

bool CSharedCapture::Start(CCapturePipeline& pipeline, const CaptureMode& mode,
                           const std::string& overlayName, bool withStream,
                           const Abandoned& abandoned, gint64 deadline, StartFailure& failure) {
    GstElement* source = factory_(mode);
    if (source == nullptr) {
        failure.Reason = "the camera is not there";
        return false;
    }
    CapturePipelineOptions options;
    options.Mode = mode;
    options.OverlayText = overlayName;
    options.WithStream = withStream;
    options.EncoderPreset = encoderPreset_;
    options.DisplayCallbacks.new_sample = &CSharedCapture::OnDisplaySample;
    options.StreamCallbacks.new_sample = &CSharedCapture::OnStreamSample;
    options.CallbackUser = this;
    if (!pipeline.Build(source, options, failure.Reason)) {
        // A source that will not link to the mode's caps does not offer that mode.
        failure.ModeFailed = true;
        return false;
    }

    // A live pipeline completes its change to PLAYING only when the first picture has
    // reached every sink: that is the proof that the camera delivers. A camera that
    // fails while starting says so on the bus at once, long before the time-out.
    GstStateChangeReturn result = gst_element_set_state(pipeline.Pipeline(), GST_STATE_PLAYING);
    bool gaveUp = false;
    while (result != GST_STATE_CHANGE_FAILURE) {
        result = gst_element_get_state(pipeline.Pipeline(), nullptr, nullptr, kStartPollNs);
        if (result == GST_STATE_CHANGE_SUCCESS || result == GST_STATE_CHANGE_NO_PREROLL) break;
        failure.Error = PopEnd(pipeline.Pipeline());
        gaveUp = abandoned();
        if (failure.Error || gaveUp || g_get_monotonic_time() > deadline) break;
    }
    if (result == GST_STATE_CHANGE_SUCCESS || result == GST_STATE_CHANGE_NO_PREROLL) {
        // Written only when GST_DEBUG_DUMP_DOT_DIR is set.
        GST_DEBUG_BIN_TO_DOT_FILE_WITH_TS(GST_BIN(pipeline.Pipeline()), GST_DEBUG_GRAPH_SHOW_ALL,
                                          "orvex-camera-playing");
        return true;
    }
    if (!failure.Error && result == GST_STATE_CHANGE_FAILURE) {
        // The failed state change can be seen before the error that caused it reaches
        // the pipeline's bus from the streaming thread.
        GstBusRef bus(gst_element_get_bus(pipeline.Pipeline()));
        failure.Error.reset(gst_bus_timed_pop_filtered(bus.get(), kErrorWaitNs, GST_MESSAGE_ERROR));
    }
    failure.Reason = gaveUp ? "closed while starting" : "no picture from the camera";
    failure.ModeFailed = !gaveUp && BlamesTheMode(failure.Error.get());
    pipeline.Release();
    return false;
}

void CSharedCapture::Install(std::unique_ptr<CCapturePipeline> pipeline) {
    std::lock_guard<std::mutex> lock(pipelineMutex_);
    pipeline_ = std::move(pipeline);
}

void CSharedCapture::TakeDown() {
    std::unique_ptr<CCapturePipeline> pipeline;
    {
        std::lock_guard<std::mutex> lock(pipelineMutex_);
        pipeline = std::move(pipeline_);
    }
    // Joins the streaming threads, which take none of the locks held here.
    if (pipeline) pipeline->Release();
    std::lock_guard<std::mutex> lock(sampleMutex_);
    lastSample_.reset();
}

void CSharedCapture::Stop() {
    {
        std::lock_guard<std::mutex> lock(stopMutex_);
        stopping_.store(true);
    }
    stopWake_.notify_all();
    if (supervisor_.joinable()) supervisor_.join();
    TakeDown();
    running_ = false;
}

bool CSharedCapture::CheckRunning(std::function<std::string(const std::string&)>& notice) {
    std::lock_guard<std::mutex> lock(pipelineMutex_);
    if (!pipeline_) return false;
    if (wantStream_.load() && !pipeline_->HasStream()) {
        std::string reason;
        if (!pipeline_->AddStream(reason)) GST_WARNING("no stream: %s", reason.c_str());
    }
    if (GstMessageRef end = PopEnd(pipeline_->Pipeline())) {
        GST_INFO("camera %s: %s from %s", overlayName_.c_str(), GST_MESSAGE_TYPE_NAME(end.get()),
                 GST_MESSAGE_SRC_NAME(end.get()));
        // An unplugged camera reports a read error, then a stream error, then perhaps
        // end of stream: the first one is told, the rest go with the pipeline.
        auto message = std::shared_ptr<GstMessage>(end.release(), GstMessageUnref());
        notice = [message](const std::string& name) { return NoticeTextFor(message.get(), name); };
        return false;
    }
    if (g_get_monotonic_time() - pipeline_->LastBufferUs() > kStallUs) {
        GST_INFO("camera %s delivers nothing", overlayName_.c_str());
        notice = &NoPictureText;
        return false;
    }
    return true;
}

void CSharedCapture::Supervise() {
    bool up = true;
    gint64 nextTry = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(stopMutex_);
            if (stopWake_.wait_for(lock, kTick, [this] { return stopping_.load(); })) return;
        }
        if (up) {
            std::function<std::string(const std::string&)> notice;
            if (CheckRunning(notice)) continue;
            NotifyAll(notice);
            TakeDown();
            up = false;
            nextTry = g_get_monotonic_time() + kRetryUs;
        } else if (g_get_monotonic_time() >= nextTry) {
            // The stream resumes for every session at the new pipeline's first key frame.
            const auto sessions = Sessions();
            for (const auto& session : *sessions) session->WaitForKeyFrame();
            std::string name;
            {
                std::lock_guard<std::mutex> lock(pipelineMutex_);
                name = overlayName_;
            }
            auto pipeline = std::make_unique<CCapturePipeline>();
            StartFailure failure;
            if (StartAnyMode(
                    *pipeline, name, wantStream_.load(), [this] { return stopping_.load(); },
                    failure)) {
                Install(std::move(pipeline));
                up = true;
                GST_INFO("camera %s is back", name.c_str());
                NotifyAll(&ReconnectedText);
            } else {
                // Quietly: the operator has been told that the camera is gone.
                nextTry = g_get_monotonic_time() + kRetryUs;
            }
        }
    }
}

std::shared_ptr<const CSharedCapture::SessionList> CSharedCapture::Sessions() const {
    std::lock_guard<std::mutex> lock(sessionsMutex_);
    return sessions_;
}

void CSharedCapture::SetSessions(SessionList sessions) {
    auto list = std::make_shared<const SessionList>(std::move(sessions));
    std::lock_guard<std::mutex> lock(sessionsMutex_);
    sessions_ = std::move(list);
}

void CSharedCapture::NotifyAll(const std::function<std::string(const std::string&)>& textFor) {
    // A named copy: the list a temporary pointed to may be replaced and freed meanwhile.
    const auto sessions = Sessions();
    for (const auto& session : *sessions) session->Notify(textFor(session->CameraName()));
}

GstFlowReturn CSharedCapture::OnDisplaySample(GstAppSink* sink, gpointer user) {
    auto* self = static_cast<CSharedCapture*>(user);
    GstSampleRef sample(gst_app_sink_pull_sample(sink));
    if (!sample) return GST_FLOW_OK;
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample.get());
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    GstVideoFrame frame;
    if (caps != nullptr && buffer != nullptr && gst_video_info_from_caps(&info, caps) &&
        gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
        VideoFrame picture;
        picture.Width = GST_VIDEO_FRAME_WIDTH(&frame);
        picture.Height = GST_VIDEO_FRAME_HEIGHT(&frame);
        picture.Stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
        picture.Pixels = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
        const auto sessions = self->Sessions();
        for (const auto& session : *sessions) session->DeliverFrame(picture);
        gst_video_frame_unmap(&frame);
    }
    std::lock_guard<std::mutex> lock(self->sampleMutex_);
    self->lastSample_ = std::move(sample);
    return GST_FLOW_OK;
}

GstFlowReturn CSharedCapture::OnStreamSample(GstAppSink* sink, gpointer user) {
    auto* self = static_cast<CSharedCapture*>(user);
    GstSampleRef sample(gst_app_sink_pull_sample(sink));
    if (!sample) return GST_FLOW_OK;
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    if (buffer == nullptr) return GST_FLOW_OK;
    const bool keyFrame = !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return GST_FLOW_OK;
    const auto sessions = self->Sessions();
    for (const auto& session : *sessions) session->DeliverStream(map.data, map.size, keyFrame);
    gst_buffer_unmap(buffer, &map);
    return GST_FLOW_OK;
}
