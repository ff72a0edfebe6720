// A watch over a camera's frames: what it finds and ignores, whom it tells, and its thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>

#include "MotionFakes.h"
#include "MotionScenes.h"
#include "motion/MotionWatch.h"

using namespace motiontest;

namespace {

constexpr int64_t kStepMs = CMotionWatch::kAnalysisIntervalMs;
const cv::Size kFrameSize(320, 240);

std::atomic<int64_t> gNowMs{0};
int64_t FakeClock() {
    return gNowMs.load();
}

// Watching, with the mask's rows firstRow..lastRow excluded.
MotionSettings Watching(int firstRow = 0, int lastRow = -1) {
    MotionSettings settings;
    settings.Enabled = true;
    for (int row = firstRow; row <= lastRow; ++row)
        for (int column = 0; column < MotionSettings::kMaskColumns; ++column)
            settings.Excluded.set(MotionSettings::Cell(column, row));
    return settings;
}

// A watch whose every report goes to a recorder.
struct Watched {
    CRecorder Recorder;
    CCountingTarget Live;
    CMotionTrigger Trigger;
    std::unique_ptr<CMotionWatch> Watch;

    explicit Watched(const MotionSettings& settings, WallClockFn clock = WallClockMs) {
        Watch = std::make_unique<CMotionWatch>(
            "门口", &Live, settings, &Recorder, &Trigger,
            [this](bool moving) { Recorder.State(moving); }, clock,
            [this](const std::string& line) { Recorder.Log(line); });
    }
};

// A person walking across from fromMs to toMs.
SceneState Walking(int64_t fromMs, int64_t toMs, int64_t nowMs) {
    if (nowMs < fromMs || nowMs >= toMs) return {};
    return SceneState().WithBox(
        CScene::MovingBox(kFrameSize, cv::Size(40, 60), 90, fromMs, nowMs, 60));
}

}  // namespace

TEST(MotionWatchTest, FindsMovementAndIgnoresLightNoiseAndExcludedCells) {
    struct Row {
        const char* Name;
        bool Moving;  // one event from about 10 s to about 20 s; else none
        std::function<SceneState(int64_t ms)> Scene;
        MotionSettings Settings = Watching();
    };
    const auto walking = [](int64_t ms) { return Walking(10000, 20000, ms); };
    const std::vector<Row> rows = {
        {"a still room", false, [](int64_t) { return SceneState{}; }},
        {"a person walking", true, walking},
        {"a person walking in heavy noise", true,
         [&](int64_t ms) { return walking(ms).WithNoise(20); }},
        {"heavy sensor noise", false, [](int64_t) { return SceneState().WithNoise(20); }},
        {"a lamp switched on", false,
         [](int64_t ms) { return SceneState().WithOffset(ms < 15000 ? 0 : 60); }},
        {"the exposure settling over a second", false,
         [](int64_t ms) {
             return SceneState().WithGain(1.0 + 0.5 * std::clamp((ms - 15000) / 1000.0, 0.0, 1.0));
         }},
        {"daylight drifting slowly", false,
         [](int64_t ms) { return SceneState().WithOffset(-30.0 + ms / 1000.0); }},
        {"a person walking where nobody watches", false, walking, Watching(3, 8)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        CScene scene(kFrameSize);
        std::vector<RecordedEvent> events;
        {
            Watched watched(row.Settings);
            for (int64_t ms = 0; ms < 30000; ms += kStepMs) {
                scene.Render(row.Scene(ms));
                watched.Watch->AnalyzeFrame(scene.Frame(), ms);
            }
            events = watched.Recorder.Events();
        }
        if (!row.Moving) {
            EXPECT_TRUE(events.empty()) << events.size() << " reports, the first at "
                                        << (events.empty() ? 0 : events[0].StartMs);
            continue;
        }
        ASSERT_EQ(events.size(), 2u) << "one start and one end";
        // Found within a second of the first step, over once the person stopped.
        EXPECT_GE(events[0].StartMs, 10000);
        EXPECT_LE(events[0].StartMs, 11000);
        EXPECT_EQ(events[1].StartMs, events[0].StartMs);
        EXPECT_GE(events[1].EndMs, 19000);
        EXPECT_LE(events[1].EndMs, 20000);
        EXPECT_GT(events[1].PeakPct, MotionSettings::kDefaultMinAreaPct);
    }
}

TEST(MotionWatchTest, TellsEveryoneOfAnEventAndEndsItAtDestruction) {
    CScene scene(kFrameSize);
    Watched watched(Watching());
    for (int64_t ms = 0; ms < 8000; ms += kStepMs) {
        scene.Render(Walking(5000, 60000, ms));
        watched.Watch->AnalyzeFrame(scene.Frame(), ms);
    }
    ASSERT_TRUE(watched.Trigger.Active());
    const int64_t startMs = watched.Trigger.StartedMs();

    watched.Watch.reset();
    EXPECT_EQ(watched.Recorder.States(), (std::vector<bool>{true, false}));
    EXPECT_FALSE(watched.Trigger.Active());
    const std::vector<RecordedEvent> events = watched.Recorder.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].StartMs, startMs);
    EXPECT_EQ(events[1].Camera, "门口");
    EXPECT_EQ(events[1].StartMs, startMs);
    EXPECT_EQ(events[1].EndMs, 8000 - kStepMs);
    EXPECT_EQ(watched.Trigger.EndedMs(), events[1].EndMs);
    char ended[64];
    std::snprintf(ended, sizeof ended, "摄像头 门口 移动结束, 持续 %.1f 秒",
                  (events[1].EndMs - startMs) / 1000.0);
    EXPECT_EQ(watched.Recorder.Lines(),
              (std::vector<std::string>{"摄像头 门口 检测到移动", ended}));
}

// Live frames are each passed on, and analysed on the watch's own thread.
TEST(MotionWatchTest, AnalysisThreadFindsMovementInLiveFramesAndForwardsEach) {
    CScene scene(kFrameSize);
    gNowMs = 0;
    Watched watched(Watching(), FakeClock);
    // Frames at 25/s of the fake clock until the thread has reported a start; the thread
    // takes at most one per 200 ms and may miss some, which only delays the start.
    bool started = false;
    int frame = 0;
    for (; frame < 20000 && !started; ++frame) {
        gNowMs = frame * 40;
        scene.Render(Walking(2000, INT64_MAX, gNowMs));
        watched.Watch->OnFrame(scene.Frame());
        // Gives the thread its turn: what it waits for is the start.
        started = watched.Recorder.WaitForStates(1, std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(started);
    EXPECT_GE(watched.Recorder.Events().at(0).StartMs, 2000);
    EXPECT_EQ(watched.Live.Frames.load(), frame);

    // Turning detection off ends the event on the thread, without another frame.
    MotionSettings off = Watching();
    off.Enabled = false;
    watched.Watch->UpdateSettings(off);
    ASSERT_TRUE(watched.Recorder.WaitForStates(2)) << "waited for the end of the event";
    EXPECT_EQ(watched.Recorder.States(), (std::vector<bool>{true, false}));
    EXPECT_FALSE(watched.Trigger.Active());
    // Off: frames are passed on, none is analysed.
    scene.Render({});
    watched.Watch->OnFrame(scene.Frame());
    EXPECT_EQ(watched.Live.Frames.load(), frame + 1);
    EXPECT_EQ(watched.Live.LastPixels.load(), scene.Frame().Pixels);
    EXPECT_EQ(watched.Watch->AnalyzeFrame(scene.Frame(), gNowMs + 1000).ChangedPct, 0.0);

    // No live view behind it: frames are still analysed, nothing breaks.
    CMotionWatch alone("门口", nullptr, Watching(), nullptr, nullptr, {});
    alone.OnFrame(scene.Frame());
}
