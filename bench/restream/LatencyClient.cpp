#include "LatencyClient.h"

#include <algorithm>
#include <chrono>

#include "PictureDigest.h"
#include "platform/LocalTime.h"

namespace {

// Coded pictures waiting for their decoded picture; a decoder holds only a few.
constexpr size_t kMaxCodedWaiting = 300;

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

CLatencyClient::CLatencyClient(std::string url, std::string user, std::string password,
                               const CRecordingTap& tap, int jitterLatencyMs)
    : url_(std::move(url)),
      user_(std::move(user)),
      password_(std::move(password)),
      tap_(tap),
      jitterLatencyMs_(jitterLatencyMs) {}

CLatencyClient::~CLatencyClient() {
    Stop();
}

std::string CLatencyClient::Start() {
    GError* error = nullptr;
    pipeline_.reset(gst_parse_launch(
        "rtspsrc name=src protocols=tcp ! rtph264depay ! h264parse ! "
        "video/x-h264,stream-format=byte-stream,alignment=au ! avdec_h264 name=dec ! "
        "appsink name=sink sync=false max-buffers=4 drop=false",
        &error));
    if (error != nullptr) {
        std::string reason = error->message;
        g_error_free(error);
        pipeline_.reset();
        return reason;
    }
    GstElementRef source(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "src"));
    GstElementRef decoder(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "dec"));
    GstElementRef sink(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "sink"));
    g_object_set(source.get(), "location", url_.c_str(), "user-id", user_.c_str(), "user-pw",
                 password_.c_str(), "latency", static_cast<guint>(jitterLatencyMs_), nullptr);
    GstPadRef coded(gst_element_get_static_pad(decoder.get(), "sink"));
    gst_pad_add_probe(
        coded.get(),
        static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
        OnCoded, this, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = OnSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, this, nullptr);

    startWallMs_ = WallClockMs();
    startSteadyMs_ = SteadyMs();
    if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return "the client pipeline did not start";
    return {};
}

bool CLatencyClient::WaitFirstPicture(int timeoutMs) {
    std::unique_lock lock(mutex_);
    return pictureArrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [this] { return firstPictureMs_ >= 0; });
}

void CLatencyClient::Stop() {
    if (pipeline_) gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
}

std::string CLatencyClient::Error() const {
    if (!pipeline_) return {};
    GstBusRef bus(gst_element_get_bus(pipeline_.get()));
    GstMessageRef message(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    if (!message) return {};
    GError* error = nullptr;
    gst_message_parse_error(message.get(), &error, nullptr);
    std::string text = error != nullptr ? error->message : "unknown error";
    if (error != nullptr) g_error_free(error);
    return text;
}

void CLatencyClient::NoteCoded(GstBuffer* buffer) {
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
    const std::vector<uint64_t> slices = CPictureDigest::OfAccessUnit(map.data, map.size);
    gst_buffer_unmap(buffer, &map);
    // Parameter sets alone carry no picture; any slice names its picture.
    if (slices.empty()) return;
    std::lock_guard lock(mutex_);
    coded_.push_back(slices.front());
    if (coded_.size() > kMaxCodedWaiting) coded_.pop_front();
}

GstPadProbeReturn CLatencyClient::OnCoded(GstPad*, GstPadProbeInfo* info, gpointer self) {
    auto* client = static_cast<CLatencyClient*>(self);
    if (GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info)) {
        if (info->type & GST_PAD_PROBE_TYPE_BUFFER) client->NoteCoded(buffer);
    }
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        GstBufferList* list = GST_PAD_PROBE_INFO_BUFFER_LIST(info);
        for (guint i = 0; list != nullptr && i < gst_buffer_list_length(list); ++i)
            client->NoteCoded(gst_buffer_list_get(list, i));
    }
    return GST_PAD_PROBE_OK;
}

GstFlowReturn CLatencyClient::OnSample(GstAppSink* sink, gpointer self) {
    auto* client = static_cast<CLatencyClient*>(self);
    const int64_t nowWallMs = WallClockMs();
    const int64_t nowSteadyMs = SteadyMs();
    GstSampleRef sample(gst_app_sink_pull_sample(sink));
    if (!sample) return GST_FLOW_EOS;

    // Pictures leave the decoder in the order they entered it: the oldest coded picture
    // found at the tap after the last one matched is this one. An entry left over
    // (a picture the decoder did not give out) matches nothing later and is dropped.
    int index = -1;
    {
        std::lock_guard lock(client->mutex_);
        auto& coded = client->coded_;
        auto entry = coded.begin();
        for (; entry != coded.end() && index < 0; ++entry) {
            index = client->lastIndex_ < 0 ? client->tap_.FindFirst(*entry, nowWallMs)
                                           : client->tap_.FindNext(*entry, client->lastIndex_ + 1);
        }
        coded.erase(coded.begin(), entry);
    }
    if (index >= 0) client->lastIndex_ = index;
    const CRecordingTap::Unit unit = client->tap_.At(index);

    std::lock_guard lock(client->mutex_);
    ++client->pictures_;
    if (index < 0) {
        ++client->unmatched_;
    } else if (unit.WallMs >= client->startWallMs_) {
        client->liveDelaysMs_.push_back(static_cast<double>(nowWallMs - unit.WallMs));
    }
    if (client->firstPictureMs_ < 0) {
        client->firstPictureMs_ = nowSteadyMs - client->startSteadyMs_;
        client->pictureArrived_.notify_all();
    }
    return GST_FLOW_OK;
}

int64_t CLatencyClient::FirstPictureMs() const {
    std::lock_guard lock(mutex_);
    return firstPictureMs_;
}

std::vector<double> CLatencyClient::LiveDelaysMs() const {
    std::lock_guard lock(mutex_);
    return liveDelaysMs_;
}

int CLatencyClient::Pictures() const {
    std::lock_guard lock(mutex_);
    return pictures_;
}

int CLatencyClient::Unmatched() const {
    std::lock_guard lock(mutex_);
    return unmatched_;
}
