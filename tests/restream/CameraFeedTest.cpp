#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "restream/CameraFeed.h"

namespace {

constexpr size_t kUnitBytes = 1000;
constexpr size_t kQueueBytes = 10 * kUnitBytes;
constexpr uint8_t kWarmUpGroup = 255;

// A key frame (SPS, PPS, IDR slice) or a delta frame (a plain slice) that carries its
// group and frame number, padded to kUnitBytes.
std::vector<uint8_t> Unit(uint8_t group, uint8_t frame) {
    std::vector<uint8_t> unit;
    if (frame == 0) {
        unit = {0, 0, 0, 1, 0x67, 0, 0, 0, 1, 0x68, 0, 0, 0, 1, 0x65, group, frame};
    } else {
        unit = {0, 0, 0, 1, 0x41, group, frame};
    }
    unit.resize(kUnitBytes, 0xAA);
    return unit;
}

std::pair<int, int> UnitId(GstBuffer* buffer) {
    GstMapInfo map;
    EXPECT_TRUE(gst_buffer_map(buffer, &map, GST_MAP_READ));
    const bool key = map.data[4] == 0x67;
    const std::pair<int, int> id = key ? std::pair<int, int>{map.data[15], map.data[16]}
                                       : std::pair<int, int>{map.data[5], map.data[6]};
    gst_buffer_unmap(buffer, &map);
    return id;
}

void Deliver(CCameraFeed& feed, uint8_t group, uint8_t frame, int64_t wallMs) {
    const std::vector<uint8_t> unit = Unit(group, frame);
    feed.OnAccessUnit(unit.data(), static_cast<int32_t>(unit.size()), wallMs);
}

// Holds a pad's data until the probe is removed, and tells when it first held some.
class CStall {
public:
    static GstPadProbeReturn OnBlocked(GstPad*, GstPadProbeInfo*, gpointer self) {
        auto* stall = static_cast<CStall*>(self);
        std::lock_guard lock(stall->mutex_);
        stall->blocked_ = true;
        stall->changed_.notify_all();
        return GST_PAD_PROBE_OK;
    }
    // True once the pad holds data; waits at most 50 ms for it.
    bool WaitBlocked() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(50), [this] { return blocked_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool blocked_ = false;
};

// A client whose sink takes one picture and then stalls: the feed must neither wait
// for it nor queue more than its bound, and it loses whole tails of groups, so that
// every picture it does get follows its predecessor in the same group. After 10 s
// without taking anything it is given up, once.
TEST(CameraFeedTest, AStalledClientLosesTheRestOfGroupsAndIsGivenUpAfterTenSeconds) {
    gst_init(nullptr, nullptr);
    GstElement* pipeline =
        gst_parse_launch("appsrc name=src ! appsink name=sink sync=false", nullptr);
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    int64_t nowMs = 0;  // the test's thread alone
    std::vector<std::pair<GstElement*, int64_t>> ended;
    CCameraFeed feed(
        kQueueBytes, [&nowMs] { return nowMs; },
        [&](GstElement* appsrc, bool stalled) {
            EXPECT_TRUE(stalled);
            ended.emplace_back(appsrc, nowMs);
        });
    feed.AddClient(source);
    // The client stalls: its first picture is held at the source's pad, the rest queue.
    CStall stall;
    GstPad* pad = gst_element_get_static_pad(source, "src");
    const gulong probe = gst_pad_add_probe(
        pad, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER),
        &CStall::OnBlocked, &stall, nullptr);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    int64_t wallMs = 1000;
    // Key frames, as a camera sends them, until the client has started and stalls: at
    // most 20 s.
    for (int attempt = 0; attempt < 400 && !stall.WaitBlocked(); ++attempt) {
        Deliver(feed, kWarmUpGroup, 0, wallMs += 66);
    }
    ASSERT_TRUE(stall.WaitBlocked());

    constexpr int kGroups = 20;
    constexpr int kFramesPerGroup = 5;
    const int64_t stalledSinceMs = nowMs;
    guint64 queuedWhenGivenUp = 0;
    for (int group = 0; group < kGroups; ++group) {
        for (int frame = 0; frame < kFramesPerGroup; ++frame) {
            nowMs += 150;  // 15 s in all
            Deliver(feed, static_cast<uint8_t>(group), static_cast<uint8_t>(frame), wallMs += 66);
            if (ended.empty())
                queuedWhenGivenUp = gst_app_src_get_current_level_bytes(GST_APP_SRC(source));
        }
    }
    EXPECT_LE(queuedWhenGivenUp, kQueueBytes);
    ASSERT_EQ(1u, ended.size());
    EXPECT_EQ(source, ended[0].first);
    EXPECT_GE(ended[0].second - stalledSinceMs, CCameraFeed::kStallMs);
    EXPECT_LE(ended[0].second - stalledSinceMs, CCameraFeed::kStallMs + 300);
    feed.Close();  // the client was ended already: nothing more is told
    EXPECT_EQ(1u, ended.size());

    gst_pad_remove_probe(pad, probe);
    gst_object_unref(pad);
    std::vector<std::pair<int, int>> got;
    // Everything queued, then the end of the stream: at most 20 s.
    for (int attempt = 0; attempt < 200 && !gst_app_sink_is_eos(GST_APP_SINK(sink)); ++attempt) {
        if (GstSample* sample =
                gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 100 * GST_MSECOND)) {
            got.push_back(UnitId(gst_sample_get_buffer(sample)));
            gst_sample_unref(sample);
        }
    }
    EXPECT_TRUE(gst_app_sink_is_eos(GST_APP_SINK(sink)));
    size_t tested = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i].first == kWarmUpGroup) continue;
        ++tested;
        if (got[i].second == 0) continue;  // a key frame may follow anything
        ASSERT_GT(i, 0u);
        EXPECT_EQ(got[i - 1], std::make_pair(got[i].first, got[i].second - 1))
            << "picture " << i << " has a hole before it";
    }
    EXPECT_GT(tested, 0u) << "the client got none of the groups";
    EXPECT_LT(tested, static_cast<size_t>(kGroups * kFramesPerGroup)) << "nothing was dropped";

    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(source);
    gst_object_unref(pipeline);
}

}  // namespace
