#include "restream/CameraFeed.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>

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
    int64_t FirstWallMs = -1;
    GstClockTime LastPts = GST_CLOCK_TIME_NONE;
};

namespace {
void OnNeedData(GstAppSrc*, guint, gpointer started) {
    static_cast<std::shared_ptr<std::atomic<bool>>*>(started)->get()->store(true);
}
void DeleteStarted(gpointer started) {
    delete static_cast<std::shared_ptr<std::atomic<bool>>*>(started);
}
}  // namespace

CCameraFeed::CCameraFeed(size_t clientQueueBytes) : clientQueueBytes_(clientQueueBytes) {}

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
        closed_ = true;
        ending.swap(joining_);
    }
    ending.clear();
    clients_.clear();
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
    if (client.FirstWallMs < 0) client.FirstWallMs = wallMs;
    GstClockTime pts =
        static_cast<GstClockTime>(std::max<int64_t>(0, wallMs - client.FirstWallMs)) * GST_MSECOND;
    // The wall clock may step back; timestamps may not.
    if (GST_CLOCK_TIME_IS_VALID(client.LastPts) && pts <= client.LastPts) {
        pts = client.LastPts + GST_MSECOND;
    }
    client.LastPts = pts;
    GstBuffer* buffer = gst_buffer_new_memdup(data, length);
    GST_BUFFER_PTS(buffer) = pts;
    GST_BUFFER_DTS(buffer) = pts;
    if (!key) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    return gst_app_src_push_buffer(client.Source, buffer) == GST_FLOW_OK;
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
    std::erase_if(clients_, [&](const auto& client) {
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
