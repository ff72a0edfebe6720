#include "restream/CameraFeed.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "common/AnnexB.h"

struct CCameraFeed::Client {
    explicit Client(GstElement* source)
        : Source(GST_APP_SRC(gst_object_ref(source))),
          Started(std::make_shared<std::atomic<bool>>(false)) {}
    ~Client() {
        gst_app_src_end_of_stream(Source);
        gst_object_unref(Source);
    }
    GstAppSrc* Source;
    // Set by the appsrc's streaming thread when it first wants data: before that a
    // push would be refused as flushing.
    std::shared_ptr<std::atomic<bool>> Started;
    // Capture thread only.
    bool WaitingForKey = true;
    bool Dropping = false;
    // The wall-clock time of the media's running time 0, so that a picture's timestamp
    // is its capture time and the RTCP sender reports map it to the wall clock.
    int64_t EpochWallMs = -1;
    GstClockTime LastPts = GST_CLOCK_TIME_NONE;
    uint64_t PushedBytes = 0;
    uint64_t TakenBytes = 0;  // pushed and no longer queued, at the last look
    int64_t LastProgressMs = -1;
};

namespace {
void OnNeedData(GstAppSrc*, guint, gpointer started) {
    static_cast<std::shared_ptr<std::atomic<bool>>*>(started)->get()->store(true);
}
void DeleteStarted(gpointer started) {
    delete static_cast<std::shared_ptr<std::atomic<bool>>*>(started);
}
int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
// The wall-clock time at which the element's running time was 0; wallMs when it has
// no clock yet.
int64_t RunningTimeEpochMs(GstElement* element, int64_t wallMs) {
    GstClock* clock = gst_element_get_clock(element);
    if (clock == nullptr) return wallMs;
    const GstClockTime now = gst_clock_get_time(clock);
    const GstClockTime base = gst_element_get_base_time(element);
    gst_object_unref(clock);
    if (!GST_CLOCK_TIME_IS_VALID(base) || now < base) return wallMs;
    return g_get_real_time() / 1000 - static_cast<int64_t>((now - base) / GST_MSECOND);
}
}  // namespace

CCameraFeed::CCameraFeed(size_t clientQueueBytes, ClockFn clock, EndedFn onEnded)
    : clientQueueBytes_(clientQueueBytes),
      clock_(clock ? std::move(clock) : ClockFn(SteadyMs)),
      onEnded_(std::move(onEnded)) {}

CCameraFeed::~CCameraFeed() {
    Close();
}

void CCameraFeed::AddClient(GstElement* appsrc) {
    auto client = std::make_shared<Client>(appsrc);
    // The queue is bounded here, by whole groups; the appsrc must never block the
    // capture thread.
    g_object_set(appsrc, "format", GST_FORMAT_TIME, "is-live", TRUE, "do-timestamp", FALSE, "block",
                 FALSE, "max-bytes", static_cast<guint64>(clientQueueBytes_ * 2), nullptr);
    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = OnNeedData;
    gst_app_src_set_callbacks(client->Source, &callbacks,
                              new std::shared_ptr<std::atomic<bool>>(client->Started),
                              DeleteStarted);
    std::lock_guard lock(mutex_);
    if (!closed_) joining_.push_back(std::move(client));
}

void CCameraFeed::Close() {
    std::vector<std::shared_ptr<Client>> ending;
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        closed_ = true;
        ending.swap(joining_);
    }
    ending.insert(ending.end(), clients_.begin(), clients_.end());
    clients_.clear();
    if (onEnded_) {
        for (const auto& client : ending) onEnded_(GST_ELEMENT(client->Source), false);
    }
}

void CCameraFeed::Keep(const uint8_t* data, int32_t length, int64_t wallMs, bool key) {
    if (key) {
        group_.clear();
        groupBytes_ = 0;
        groupComplete_ = true;
    }
    if (!groupComplete_) return;
    if (groupBytes_ + static_cast<size_t>(length) > kKeptGroupBytes) {
        // A group this long is not worth keeping: a joiner waits for the next key frame.
        group_.clear();
        groupBytes_ = 0;
        groupComplete_ = false;
        return;
    }
    group_.push_back(Unit{std::vector<uint8_t>(data, data + length), wallMs});
    groupBytes_ += static_cast<size_t>(length);
}

bool CCameraFeed::Push(Client& client, const uint8_t* data, size_t length, int64_t wallMs,
                       bool key) {
    if (client.WaitingForKey) {
        if (!key) return true;
        client.WaitingForKey = false;
    }
    const guint64 queued = gst_app_src_get_current_level_bytes(client.Source);
    if (client.Dropping) {
        if (!key || queued > clientQueueBytes_ / 2) return true;
        client.Dropping = false;
    }
    if (queued + length > clientQueueBytes_) {
        client.Dropping = true;  // the rest of this group is lost for this client
        return true;
    }
    if (client.EpochWallMs < 0) {
        client.EpochWallMs = RunningTimeEpochMs(GST_ELEMENT(client.Source), wallMs);
    }
    // Pictures captured before the client's media started (the kept group) are
    // squeezed in just after 0.
    GstClockTime pts =
        static_cast<GstClockTime>(std::max<int64_t>(0, wallMs - client.EpochWallMs)) * GST_MSECOND;
    // The wall clock may step back; timestamps may not.
    if (GST_CLOCK_TIME_IS_VALID(client.LastPts) && pts <= client.LastPts) {
        pts = client.LastPts + GST_MSECOND;
    }
    client.LastPts = pts;
    GstBuffer* buffer = gst_buffer_new_memdup(data, length);
    GST_BUFFER_PTS(buffer) = pts;
    GST_BUFFER_DTS(buffer) = pts;
    if (!key) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    client.PushedBytes += length;
    return gst_app_src_push_buffer(client.Source, buffer) == GST_FLOW_OK;
}

bool CCameraFeed::Stalled(Client& client, int64_t nowMs) const {
    const guint64 queued = gst_app_src_get_current_level_bytes(client.Source);
    const uint64_t taken = client.PushedBytes - std::min<uint64_t>(queued, client.PushedBytes);
    if (client.LastProgressMs < 0 || taken > client.TakenBytes || queued == 0) {
        client.TakenBytes = taken;
        client.LastProgressMs = nowMs;
        return false;
    }
    return nowMs - client.LastProgressMs >= kStallMs;
}

void CCameraFeed::OnAccessUnit(const uint8_t* data, int32_t length, int64_t wallMs) {
    if (data == nullptr || length <= 0) return;
    const bool key = IsKeyFrameAccessUnit(data, static_cast<size_t>(length));
    Keep(data, length, wallMs, key);

    std::vector<std::shared_ptr<Client>> started;
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        auto ready = std::stable_partition(joining_.begin(), joining_.end(),
                                           [](const auto& c) { return !c->Started->load(); });
        started.assign(std::make_move_iterator(ready), std::make_move_iterator(joining_.end()));
        joining_.erase(ready, joining_.end());
    }
    // A client whose pipeline stopped (it left) is dropped at its first refused push.
    const int64_t nowMs = clock_();
    std::erase_if(clients_, [&](const auto& client) {
        if (Stalled(*client, nowMs)) {
            if (onEnded_) onEnded_(GST_ELEMENT(client->Source), true);
            return true;
        }
        return !Push(*client, data, static_cast<size_t>(length), wallMs, key);
    });
    // A client that just started gets the kept group, which holds this unit already.
    for (auto& client : started) {
        bool running = true;
        if (groupComplete_) {
            for (const Unit& unit : group_) {
                running = Push(*client, unit.Bytes.data(), unit.Bytes.size(), unit.WallMs,
                               &unit == &group_.front());
                if (!running) break;
            }
        } else {
            running = Push(*client, data, static_cast<size_t>(length), wallMs, key);
        }
        if (running) clients_.push_back(std::move(client));
    }
}
