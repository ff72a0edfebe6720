// A camera that goes away, stalls or cannot start: the operator is told in plain
// words, and the same handle resumes live view and recording by itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CamcapTestSupport.h"
#include "camcap/CameraCapTesting.h"
#include "capture/CameraCap.h"

using namespace std::chrono_literals;

namespace {

// Generous bounds: under sanitizers and load a pipeline starts several times slower.
constexpr auto kArrival = 20s;
constexpr int kReplugs = 20;

// One opened camera, shown and recorded, as a video cell has it.
struct CRecordedCamera {
    CCopyingTarget Target;
    CStreamCollector Stream;
    CCollectingWindow Notice;
    int32_t Handle = -1;

    explicit CRecordedCamera(const char* customName) {
        const DeviceInfo record = RecordFor("Simulated Camera 1", customName, 0);
        Handle = CameraCap_Open(&Target, &record, &Notice, &CStreamCollector::StreamProc, &Stream);
    }
    ~CRecordedCamera() { CameraCap_Close(Handle); }

    // How many posted texts are exactly text.
    int Count(const std::string& text) const {
        int count = 0;
        for (const std::string& posted : Notice.Texts()) count += posted == text ? 1 : 0;
        return count;
    }
};

// Waits (bounded) until text has been posted count times.
bool WaitForCount(CRecordedCamera& camera, const std::string& text, int count) {
    const auto end = std::chrono::steady_clock::now() + kArrival;
    while (camera.Count(text) < count) {
        const size_t posts = camera.Notice.PostCount();
        if (std::chrono::steady_clock::now() > end) return false;
        camera.Notice.WaitForMessages(posts + 1, 1000);
    }
    return true;
}

// The access units from position first on begin with a key frame that decodes alone.
void ExpectResumesAtAKeyFrame(const CStreamCollector& stream, int first) {
    std::vector<NalTypes> units = stream.AccessUnits();
    ASSERT_GT(int(units.size()), first);
    units.erase(units.begin(), units.begin() + first);
    EXPECT_EQ(FirstSliceType(units), kNalIdr);
    EXPECT_EQ(IdrsWithoutParameterSets(units), 0);
}

}  // namespace

TEST(CameraCapRecoveryTest, ACameraThatWentAwayOrStalledResumesByItself) {
    const struct {
        int (*Fault)(int index, int on);
        const char* Told;
    } cases[] = {
        {&CameraCapTest_SimulatedUnplug, "摄像头 前门 已断开"},
        // No error, no end of stream: the camera just stops delivering.
        {&CameraCapTest_SimulatedStall, "摄像头 前门 无画面"},
    };
    UseSimulatedCameras(1);
    CSimulatedDevices devices;
    for (const auto& c : cases) {
        CRecordedCamera camera("前门");
        ASSERT_GE(camera.Handle, 0);
        ASSERT_TRUE(camera.Stream.WaitForCallbacks(3, kArrival));
        ASSERT_EQ(c.Fault(0, 1), 0);
        EXPECT_TRUE(camera.Notice.WaitForText(c.Told, kArrival));
        // Whatever was under way drains; a camera still running never falls quiet.
        ASSERT_TRUE(camera.Stream.FallsQuiet(1s, kArrival)) << c.Told;
        const int units = camera.Stream.Callbacks();
        const int frames = camera.Target.Frames();

        ASSERT_EQ(c.Fault(0, 0), 0);
        EXPECT_TRUE(camera.Notice.WaitForText("摄像头 前门 已重新连接", kArrival));
        ASSERT_TRUE(camera.Stream.WaitForCallbacks(units + 3, kArrival)) << c.Told;
        EXPECT_TRUE(camera.Target.FrameAfter(frames, kArrival));
        // The recorder simply goes on: its next bytes start a picture of their own.
        ExpectResumesAtAKeyFrame(camera.Stream, units);
        EXPECT_EQ(camera.Notice.Texts(),
                  (std::vector<std::string>{c.Told, "摄像头 前门 已重新连接"}));
    }
}

TEST(CameraCapRecoveryTest, RecordingResumesAfterEachOfTwentyReplugs) {
    UseSimulatedCameras(1);
    CSimulatedDevices devices;
    CRecordedCamera camera("走廊");
    ASSERT_GE(camera.Handle, 0);
    ASSERT_TRUE(camera.Stream.WaitForKeyFrames(1, kArrival));
    for (int i = 1; i <= kReplugs; ++i) {
        ASSERT_EQ(CameraCapTest_SimulatedUnplug(0, 1), 0);
        ASSERT_TRUE(WaitForCount(camera, "摄像头 走廊 已断开", i)) << "replug " << i;
        const int keyFrames = camera.Stream.KeyFrames();
        ASSERT_EQ(CameraCapTest_SimulatedUnplug(0, 0), 0);
        ASSERT_TRUE(WaitForCount(camera, "摄像头 走廊 已重新连接", i)) << "replug " << i;
        // A new stream starts with a key frame, and goes on after it.
        ASSERT_TRUE(camera.Stream.WaitForKeyFrames(keyFrames + 1, kArrival)) << "replug " << i;
        ASSERT_TRUE(camera.Stream.CallbackAfter(camera.Stream.Callbacks(), kArrival))
            << "replug " << i;
    }
    EXPECT_EQ(UnexpectedMessages(camera.Notice), 0);
    EXPECT_EQ(IdrsWithoutParameterSets(camera.Stream.AccessUnits()), 0);
}

TEST(CameraCapRecoveryTest, ACameraShortOfUsbBandwidthAtOpeningIsToldInPlainWords) {
    UseSimulatedCameras(1);
    CSimulatedDevices devices;
    ASSERT_EQ(CameraCapTest_SimulatedNoBandwidth(0, 1), 0);
    CCollectingWindow notice;
    const DeviceInfo record = RecordFor("Simulated Camera 1", "三号", 0);
    EXPECT_EQ(CameraCap_Open(nullptr, &record, &notice, nullptr, nullptr), -2);
    EXPECT_EQ(notice.Texts(), std::vector<std::string>{"摄像头 三号 USB 带宽不足"});
    EXPECT_EQ(CameraCapTest_OpenHandles(), 0);
}
