// A camera channel handed a motion trigger: its stream reaches the recording through
// the gate, on the fake capture library's thread.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CaptureTestSupport.h"
#include "FakeCameraCap.h"
#include "capture/CameraChannel.h"
#include "capture/MotionTrigger.h"

namespace {

class CNullTarget : public IFrameTarget {
public:
    void OnFrame(const VideoFrame&) override {}
};

TEST(MotionChannelTest, TheTriggerDecidesWhatOfTheStreamIsRecorded) {
    struct Case {
        const char* name;
        bool motionOnly;
        bool motionMidway;  // motion starts after the tenth unit and lasts
        bool recorded;      // all 20 units in one file, else no file at all
    };
    const std::vector<Case> cases = {
        {"continuous", false, false, true},
        {"motion only, nothing moves", true, false, false},
        // One key frame, at the start: the pre-roll cannot lose its only group.
        {"motion only, motion midway", true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeCapReset();
        CTestApp app;
        DeviceInfo device;
        ZeroDeviceInfo(device);
        SetDeviceName(device.DeviceName, "USB Camera");
        SetDeviceName(device.CustomDeviceName, "门口");
        device.RecordFlag = 1;
        CNullTarget video;
        testsupport::FakeWindow notice;
        CMotionTrigger trigger;
        trigger.SetMotionOnly(c.motionOnly);

        CCameraChannel channel(app.Dir(), nullptr, &trigger);
        ASSERT_EQ(1, channel.Open(&video, &device, &notice));
        std::string stream;
        for (int i = 0; i < 20; ++i) {
            if (i == 10 && c.motionMidway) trigger.MotionStarted(WallClockMs());
            const std::vector<uint8_t> unit = AccessUnit(i, i == 0, 1000);
            FakeCapDeliver(unit.data(), static_cast<int32_t>(unit.size()));
            stream.append(unit.begin(), unit.end());
        }
        channel.Close();

        const auto files = testsupport::ListFiles(app.RecordDir() + "/门口");
        ASSERT_EQ(c.recorded ? 1u : 0u, files.size());
        EXPECT_TRUE(!c.recorded || testsupport::ReadFile(files[0]) == stream);
    }
    FakeCapReset();
}

}  // namespace
