#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

#include "MotionFakes.h"
#include "MotionScenes.h"
#include "motion/MotionWatch.h"

using motiontest::CCountingTarget;
using motiontest::CRecorder;
using motiontest::CScene;
using motiontest::RecordedEvent;
using motiontest::SceneState;

namespace {

constexpr int64_t kStepMs = CMotionWatch::kAnalysisIntervalMs;
const cv::Size kFrameSize(320, 240);

std::atomic<int64_t> gNowMs{0};
int64_t FakeClock() {
    return gNowMs.load();
}

MotionSettings Watching(double minAreaPct = MotionSettings::kDefaultMinAreaPct) {
    MotionSettings settings;
    settings.Enabled = true;
    settings.MinAreaPct = minAreaPct;
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

// A box moving from 10 s to 20 s of a scene, at walking pace for the picture.
std::optional<cv::Rect> BoxBetween(int64_t fromMs, int64_t toMs, int64_t nowMs, int y = 90) {
    if (nowMs < fromMs || nowMs >= toMs) return std::nullopt;
    return CScene::MovingBox(kFrameSize, cv::Size(40, 60), y, fromMs, nowMs, 60);
}

}  // namespace

TEST(MotionWatchTest, FindsMovementAndIgnoresLightNoiseAndExcludedCells) {
    MotionSettings boxRowsExcluded = Watching();
    for (int row = 3; row <= 8; ++row)
        for (int column = 0; column < MotionSettings::kMaskColumns; ++column)
            boxRowsExcluded.Excluded.set(MotionSettings::Cell(column, row));
    MotionSettings topExcluded = Watching();
    for (int column = 0; column < MotionSettings::kMaskColumns; ++column)
        topExcluded.Excluded.set(MotionSettings::Cell(column, 0));

    struct Row {
        const char* Name;
        std::function<SceneState(int64_t ms)> Scene;
        MotionSettings Settings;
        bool Moving;  // one event from about 10 s to about 20 s; else none
    };
    const std::vector<Row> rows = {
        {"a still room", [](int64_t) { return SceneState{}; }, Watching(), false},
        {"a person walking",
         [](int64_t ms) { return SceneState().WithBox(BoxBetween(10000, 20000, ms)); }, Watching(),
         true},
        {"a person walking in heavy noise",
         [](int64_t ms) {
             return SceneState().WithBox(BoxBetween(10000, 20000, ms)).WithNoise(20);
         },
         Watching(), true},
        {"heavy sensor noise", [](int64_t) { return SceneState().WithNoise(20); }, Watching(),
         false},
        {"a lamp switched on",
         [](int64_t ms) { return SceneState().WithOffset(ms >= 15000 ? 60.0 : 0.0); }, Watching(),
         false},
        {"a lamp switched off",
         [](int64_t ms) { return SceneState().WithGain(ms >= 15000 ? 0.5 : 1.0); }, Watching(),
         false},
        {"the exposure settling over a second",
         [](int64_t ms) {
             const double t = std::clamp((ms - 15000) / 1000.0, 0.0, 1.0);
             return SceneState().WithGain(1.0 + 0.5 * t);
         },
         Watching(), false},
        {"daylight drifting slowly",
         [](int64_t ms) { return SceneState().WithOffset(-30.0 + ms / 1000.0); }, Watching(),
         false},
        {"a person walking where nobody watches",
         [](int64_t ms) { return SceneState().WithBox(BoxBetween(10000, 20000, ms)); },
         boxRowsExcluded, false},
        {"a person walking below an excluded top row",
         [](int64_t ms) { return SceneState().WithBox(BoxBetween(10000, 20000, ms)); }, topExcluded,
         true},
    };
    constexpr int64_t kRunMs = 30000;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        CScene scene(kFrameSize);
        std::vector<RecordedEvent> events;
        {
            Watched watched(row.Settings);
            for (int64_t ms = 0; ms < kRunMs; ms += kStepMs) {
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
        scene.Render(SceneState().WithBox(BoxBetween(5000, 60000, ms)));
        watched.Watch->AnalyzeFrame(scene.Frame(), ms);
    }
    ASSERT_EQ(watched.Recorder.States(), std::vector<bool>{true});
    EXPECT_TRUE(watched.Trigger.Active());
    const int64_t startMs = watched.Recorder.Events().at(0).StartMs;
    EXPECT_EQ(watched.Trigger.StartedMs(), startMs);

    watched.Watch.reset();
    EXPECT_EQ(watched.Recorder.States(), (std::vector<bool>{true, false}));
    EXPECT_FALSE(watched.Trigger.Active());
    const std::vector<RecordedEvent> events = watched.Recorder.Events();
    ASSERT_EQ(events.size(), 2u);
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

TEST(MotionWatchTest, ForwardsEveryFrameWhetherWatchingOrNot) {
    CScene scene(kFrameSize);
    scene.Render({});
    for (const bool enabled : {true, false}) {
        MotionSettings settings = Watching();
        settings.Enabled = enabled;
        Watched watched(settings);
        for (int i = 0; i < 100; ++i) watched.Watch->OnFrame(scene.Frame());
        EXPECT_EQ(watched.Live.Frames(), 100);
        EXPECT_EQ(watched.Live.Last().Pixels, scene.Frame().Pixels);
    }
    // No live view behind it: frames are still analysed, nothing breaks.
    CMotionWatch alone("门口", nullptr, Watching(), nullptr, nullptr, {});
    alone.OnFrame(scene.Frame());
}

TEST(MotionWatchTest, AnalysisThreadFindsMovementInLiveFrames) {
    CScene scene(kFrameSize);
    gNowMs = 0;
    Watched watched(Watching(), FakeClock);
    // Frames at 25/s of the fake clock until the thread has reported a start; the thread
    // takes at most one per 200 ms and may miss some, which only delays the start.
    bool started = false;
    for (int frame = 0; frame < 20000 && !started; ++frame) {
        const int64_t ms = frame * 40;
        gNowMs = ms;
        scene.Render(SceneState().WithBox(BoxBetween(2000, INT64_MAX, ms)));
        watched.Watch->OnFrame(scene.Frame());
        // Gives the thread its turn: what it waits for is the start.
        started = watched.Recorder.WaitForStates(1, std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(started);
    EXPECT_GE(watched.Recorder.Events().at(0).StartMs, 2000);

    // Turning detection off ends the event on the thread, without another frame.
    MotionSettings off = Watching();
    off.Enabled = false;
    watched.Watch->UpdateSettings(off);
    ASSERT_TRUE(watched.Recorder.WaitForStates(2)) << "waited for the end of the event";
    EXPECT_EQ(watched.Recorder.States(), (std::vector<bool>{true, false}));
    EXPECT_FALSE(watched.Trigger.Active());
    // Off: frames are passed on, none is analysed.
    EXPECT_EQ(watched.Watch->AnalyzeFrame(scene.Frame(), gNowMs + 1000).ChangedPct, 0.0);
}
