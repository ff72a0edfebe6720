// Simulated cameras with the mode tables of real classes of webcam: the mode the
// library chooses and the order it falls back in, the environment that sets them up,
// and each profile captured for real through the library's calls.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <string>
#include <vector>

#include "CamcapTestSupport.h"
#include "camcap/CameraCapTesting.h"
#include "camcap/CaptureSession.h"
#include "camcap/DeviceRegistry.h"
#include "camcap/GstRuntime.h"
#include "camcap/SharedCapture.h"
#include "camcap/SimulatedCameras.h"
#include "camcap/SimulatedEnvironment.h"
#include "camcap/SimulatedProfiles.h"
#include "capture/CameraCap.h"

using namespace std::chrono_literals;

namespace {

constexpr auto kArrival = 20s;

// Sets an environment variable while in scope.
class CVariable {
public:
    CVariable(const char* name, const char* value) : name_(name) { setenv(name, value, 1); }
    ~CVariable() { unsetenv(name_); }

private:
    const char* name_;
};

std::vector<std::string> RankingOf(const SimulatedProfile& profile) {
    GstCapsRef caps(SimulatedProfiles::NewCaps(profile.Modes));
    std::vector<std::string> texts;
    for (const CaptureMode& mode : RankCaptureModes(caps.get())) {
        texts.push_back(CaptureModeText(mode));
    }
    return texts;
}

DeviceInfo FirstSimulatedRecord() {
    DeviceInfo devices[kMaxDevices];
    CameraKey keys[kMaxDevices];
    int32_t count = 0;
    CameraCap_EnumDeviceKeys(devices, keys, &count);
    for (int i = 0; i < count; ++i) {
        if (std::string(keys[i].Text) == "simulated:1") return devices[i];
    }
    ADD_FAILURE() << "simulated camera 1 is not listed";
    return RecordFor("", "", 0);
}

}  // namespace

TEST(SimulatedProfilesTest, EachProfileRanksItsModesAsTheLibraryChooses) {
    ASSERT_TRUE(GstRuntime::EnsureInitialised());
    const struct {
        const char* Profile;
        std::vector<std::string> Ranking;
    } cases[] = {
        {"", {"I420 640x480@30"}},
        {"mjpeg1080",
         {"MJPEG 640x480@30", "MJPEG 1280x720@30", "YUY2 640x480@30", "YUY2 800x600@20",
          "YUY2 1280x720@10", "MJPEG 1920x1080@30", "YUY2 1920x1080@5"}},
        // Nothing fits in 1280x720: the smooth MJPEG mode, to be scaled down.
        {"hd1080", {"MJPEG 1920x1080@30", "YUY2 1920x1080@5"}},
        {"yuyv", {"YUY2 640x480@30", "YUY2 320x240@30", "YUY2 1280x720@10"}},
        {"yuyv720", {"YUY2 1280x720@30", "YUY2 1920x1080@10"}},
        {"h264",
         {"H.264 640x480@30", "H.264 1280x720@30", "MJPEG 640x480@30", "MJPEG 1280x720@30",
          "YUY2 640x480@30", "H.264 1920x1080@30", "MJPEG 1920x1080@30"}},
        {"flaky", {"MJPEG 640x480@30", "YUY2 640x480@30"}},
    };
    ASSERT_EQ(std::size(cases), SimulatedProfiles::All().size()) << "a profile without a row";
    for (const auto& c : cases) {
        const SimulatedProfile* profile = SimulatedProfiles::Find(c.Profile);
        ASSERT_NE(profile, nullptr) << c.Profile;
        EXPECT_EQ(RankingOf(*profile), c.Ranking) << c.Profile;
    }
}

TEST(SimulatedProfilesTest, TheEnvironmentAssignsProfilesAndFaultsAndIgnoresTheRest) {
    const struct {
        const char* Profiles;
        const char* Faults;
        std::map<int, std::string> Assigned;  // index to profile id
        std::vector<std::string> Faulted;     // "index kind from to"
        std::vector<std::string> Rejected;
    } cases[] = {
        {"1:mjpeg1080,2:yuyv,3:h264",
         "4:stall",
         {{0, "mjpeg1080"}, {1, "yuyv"}, {2, "h264"}},
         {"3 0 0 inf"},
         {}},
        {" 2 : flaky , ,",
         "2:unplug@20-30, 1:nobandwidth@5",
         {{1, "flaky"}},
         {"1 1 20 30", "0 2 5 inf"},
         {}},
        {"0:yuyv,11:yuyv,1:webcam9000,1,:yuyv,x:yuyv",
         "1:explode,2:stall@30-20,3:unplug@-1,5:",
         {},
         {},
         {"0:yuyv", "11:yuyv", "1:webcam9000", "1", ":yuyv", "x:yuyv", "1:explode", "2:stall@30-20",
          "3:unplug@-1", "5:"}},
        {"", "", {}, {}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> rejected;
        const auto profiles = SimulatedEnvironment::ParseProfiles(c.Profiles, 10, rejected);
        std::map<int, std::string> assigned;
        for (const auto& [index, profile] : profiles) assigned[index] = profile->Id;
        EXPECT_EQ(assigned, c.Assigned) << c.Profiles;
        std::vector<std::string> faulted;
        for (const SimulatedFault& f : SimulatedEnvironment::ParseFaults(c.Faults, 10, rejected)) {
            auto number = [](double v) {
                return std::isinf(v) ? std::string("inf") : std::to_string(int(v));
            };
            faulted.push_back(std::to_string(f.Index) + " " + std::to_string(int(f.Kind)) + " " +
                              number(f.FromSeconds) + " " + number(f.ToSeconds));
        }
        EXPECT_EQ(faulted, c.Faulted) << c.Faults;
        EXPECT_EQ(rejected, c.Rejected) << c.Profiles << " / " << c.Faults;
    }
    SimulatedFault window;
    window.FromSeconds = 20;
    window.ToSeconds = 30;
    EXPECT_FALSE(window.ActiveAt(19.9));
    EXPECT_TRUE(window.ActiveAt(20));
    EXPECT_FALSE(window.ActiveAt(30));
}

TEST(SimulatedProfilesTest, EachProfileIsCapturedShownAndRecorded) {
    const struct {
        const char* Profile;
        int Width, Height;  // of the frames shown and the stream recorded
    } cases[] = {
        {"mjpeg1080", 640, 480},  // decoded from MJPEG
        {"hd1080", 1280, 720},    // 1920x1080 scaled to fit
        {"h264", 640, 480},       // passed through
        {"flaky", 640, 480},      // its MJPEG mode fails: YUYV instead
    };
    UseSimulatedCameras(1);
    for (const auto& c : cases) {
        const std::string assignment = std::string("1:") + c.Profile;
        CVariable profiles("ORVEX_SIMULATED_PROFILES", assignment.c_str());
        const DeviceInfo record = FirstSimulatedRecord();
        CCopyingTarget target;
        CStreamCollector stream;
        CCollectingWindow notice;
        const int32_t handle =
            CameraCap_Open(&target, &record, &notice, &CStreamCollector::StreamProc, &stream);
        ASSERT_GE(handle, 0) << c.Profile;
        EXPECT_TRUE(target.WaitForFrames(3, kArrival)) << c.Profile;
        EXPECT_TRUE(stream.WaitForKeyFrames(1, kArrival)) << c.Profile;
        EXPECT_TRUE(stream.WaitForCallbacks(10, kArrival)) << c.Profile;
        EXPECT_EQ(CameraCap_Close(handle), 0);
        EXPECT_EQ(target.LastWidth(), c.Width) << c.Profile;
        EXPECT_EQ(target.LastHeight(), c.Height) << c.Profile;
        EXPECT_EQ(notice.PostCount(), 0u) << c.Profile << ": a fallback is not the operator's";
        const std::vector<NalTypes> units = stream.AccessUnits();
        EXPECT_EQ(FirstSliceType(units), kNalIdr) << c.Profile;
        EXPECT_EQ(IdrsWithoutParameterSets(units), 0) << c.Profile;
        const std::string file = TestFolder() + "/" + c.Profile + ".264";
        ASSERT_TRUE(WriteFileBytes(file, stream.Bytes()));
        int width = 0, height = 0;
        EXPECT_EQ(DecodeH264File(file, width, height), int(units.size())) << c.Profile;
        EXPECT_EQ(width, c.Width) << c.Profile;
        EXPECT_EQ(height, c.Height) << c.Profile;
    }
}

TEST(SimulatedProfilesTest, AModeThatFailsIsSkippedAndTheOneThatWorkedIsKeptForReopening) {
    UseSimulatedCameras(1);
    CVariable profiles("ORVEX_SIMULATED_PROFILES", "1:flaky");
    CSimulatedDevices devices;
    ASSERT_TRUE(GstRuntime::EnsureInitialised());
    CameraDevice camera;
    ASSERT_TRUE(DeviceRegistry::FindByKey("simulated:1", camera));
    auto capture = std::make_shared<CSharedCapture>(
        [](const CaptureMode& mode) {
            return DeviceRegistry::CreateSourceByKey("simulated:1", mode);
        },
        camera.Modes, "ultrafast");
    CCopyingTarget target;
    CStreamCollector stream;
    CCollectingWindow notice;
    auto session = std::make_shared<CCaptureSession>(&target, &notice,
                                                     &CStreamCollector::StreamProc, &stream, "F");
    const int made = CameraCapTest_SimulatedSourcesMade(0);
    ASSERT_TRUE(session->Open(capture));
    EXPECT_EQ(CaptureModeText(capture->WorkingMode()), "YUY2 640x480@30");
    EXPECT_EQ(CameraCapTest_SimulatedSourcesMade(0), made + 2);  // MJPEG, then YUYV
    ASSERT_TRUE(stream.WaitForKeyFrames(1, kArrival));

    // Pulled out and plugged back: reopened in YUYV at once.
    ASSERT_EQ(CameraCapTest_SimulatedUnplug(0, 1), 0);
    ASSERT_TRUE(notice.WaitForText("摄像头 F 已断开", kArrival));
    const int beforeReplug = CameraCapTest_SimulatedSourcesMade(0);
    ASSERT_EQ(CameraCapTest_SimulatedUnplug(0, 0), 0);
    ASSERT_TRUE(notice.WaitForText("摄像头 F 已重新连接", kArrival));
    EXPECT_EQ(CameraCapTest_SimulatedSourcesMade(0), beforeReplug + 1);
    const int units = stream.Callbacks();
    EXPECT_TRUE(stream.CallbackAfter(units, kArrival));
    session->Close();
}

TEST(SimulatedProfilesTest, ACameraWhoseEveryModeFailsIsReportedOnce) {
    UseSimulatedCameras(1);
    CVariable profiles("ORVEX_SIMULATED_PROFILES", "1:flaky");
    CSimulatedDevices devices;
    ASSERT_EQ(CameraCapTest_SimulatedNoBandwidth(0, 1), 0);
    CCollectingWindow notice;
    const DeviceInfo record = FirstSimulatedRecord();
    DeviceInfo named = record;
    SetDeviceName(named.CustomDeviceName, "三号");
    EXPECT_EQ(CameraCap_Open(nullptr, &named, &notice, nullptr, nullptr), -2);
    EXPECT_EQ(notice.Texts(), std::vector<std::string>{"摄像头 三号 USB 带宽不足"});
    EXPECT_EQ(CameraCapTest_HandlesInUse(), 0);
    EXPECT_EQ(CameraCapTest_SimulatedStreams(0), 0);
}
