// The capture library through its four calls, on simulated cameras.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "CamcapTestSupport.h"
#include "camcap/CameraCapTesting.h"
#include "capture/CameraCap.h"

using namespace std::chrono_literals;

namespace {

// Generous bounds: under sanitizers a pipeline starts several times slower.
constexpr auto kArrival = 10s;
// What a test waits for something that must not happen.
constexpr auto kQuietPeriod = 300ms;
constexpr int kFramesPerKeyFrame = 60;  // 2 s at 30 per second

DeviceInfo SimulatedRecord(int number) {
    const std::string name = "Simulated Camera " + std::to_string(number);
    return RecordFor(name.c_str(), name.c_str(), number - 1);
}

}  // namespace

TEST(CameraCapEnumTest, ListsSimulatedCamerasWithTheirMode) {
    UseSimulatedCameras(3);
    DeviceInfo devices[kMaxDevices];
    std::memset(devices, 0xAB, sizeof devices);  // the library must write whole records
    int32_t count = 0;
    EXPECT_EQ(CameraCap_EnumDevice(devices, &count), count);
    ASSERT_GE(count, 3);
    ASSERT_LE(count, kMaxDevices);
    // Real cameras, if any, come first; the simulated ones are the last three.
    for (int i = 0; i < count; ++i) EXPECT_EQ(devices[i].DeviceIndex, i);
    for (int n = 1; n <= 3; ++n) {
        const DeviceInfo& d = devices[count - 4 + n];
        const std::string name = "Simulated Camera " + std::to_string(n);
        EXPECT_STREQ(d.DeviceName, name.c_str());
        EXPECT_STREQ(d.CustomDeviceName, name.c_str());
        EXPECT_EQ(d.Width, 640);
        EXPECT_EQ(d.Height, 480);
        EXPECT_EQ(d.FrameRate, 30);
        EXPECT_EQ(d.RecordFlag, 0);
        // The reserved words carry the identity of the camera's key.
        DeviceInfo keyed = d;
        SetCameraIdentity(keyed, "simulated:" + std::to_string(n));
        EXPECT_TRUE(SameIdentity(d, keyed));
    }
}

TEST(CameraCapEnumTest, NeverFillsMoreThanTenRecords) {
    UseSimulatedCameras(25);
    DeviceInfo devices[kMaxDevices + 1];
    std::memset(devices, 0, sizeof devices);
    devices[kMaxDevices].DeviceIndex = 77;  // a guard record behind the caller's ten
    int32_t count = 0;
    CameraCap_EnumDevice(devices, &count);
    EXPECT_EQ(count, kMaxDevices);
    EXPECT_EQ(devices[kMaxDevices].DeviceIndex, 77);
}

TEST(CameraCapEnumTest, ListsNoSimulatedCameraWhenNoneAreAsked) {
    UseSimulatedCameras(0);
    DeviceInfo devices[kMaxDevices];
    int32_t count = 0;
    CameraCap_EnumDevice(devices, &count);
    for (int i = 0; i < count; ++i) {
        EXPECT_NE(std::string(devices[i].DeviceName).rfind("Simulated Camera ", 0), 0u);
    }
}

TEST(CameraCapOpenTest, DeliversFramesAndAStreamThatStartsWithParameterSets) {
    UseSimulatedCameras(1);
    CCopyingTarget target;
    CStreamCollector stream;
    CCollectingWindow notice;
    const DeviceInfo record = SimulatedRecord(1);
    const int32_t handle =
        CameraCap_Open(&target, &record, &notice, &CStreamCollector::StreamProc, &stream);
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(target.WaitForFrames(5, kArrival));
    // Two key frames prove the interval; the first comes at once.
    ASSERT_TRUE(stream.WaitForKeyFrames(2, kArrival + 5s));
    EXPECT_EQ(CameraCap_Close(handle), 0);

    EXPECT_EQ(target.LastWidth(), 640);
    EXPECT_EQ(target.LastHeight(), 480);
    EXPECT_GE(target.LastStride(), 640 * 4);
    EXPECT_FALSE(target.SawBadFrame());

    const std::vector<NalTypes> units = stream.AccessUnits();
    ASSERT_FALSE(units.empty());
    // The very first bytes decode on their own: SPS and PPS, then an IDR slice.
    EXPECT_EQ(FirstSliceType(units), kNalIdr);
    EXPECT_EQ(IdrsWithoutParameterSets(units), 0);
    int sinceKey = 0;
    for (const NalTypes& unit : units) {
        sinceKey = HasIdr(unit) ? 0 : sinceKey + 1;
        EXPECT_LT(sinceKey, kFramesPerKeyFrame);
    }
    EXPECT_EQ(notice.PostCount(), 0u);  // nothing went wrong, nothing to tell
}

TEST(CameraCapOpenTest, KeyFramesComeEveryTwoSecondsOfStreamTimeAtAnyRate) {
    // A camera that says 30 per second but delivers a quarter of that in the dark:
    // 2 s of its stream are 15 pictures, not 60.
    constexpr int kDivisor = 4;
    constexpr int kPicturesInTwoSeconds = 2 * 30 / kDivisor;
    UseSimulatedCameras(1);
    CSimulatedDevices devices;
    ASSERT_EQ(CameraCapTest_SimulatedRateDivisor(0, kDivisor), 0);
    CStreamCollector stream;
    const DeviceInfo record = SimulatedRecord(1);
    const int32_t handle =
        CameraCap_Open(nullptr, &record, nullptr, &CStreamCollector::StreamProc, &stream);
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(stream.WaitForKeyFrames(3, kArrival + 10s));
    EXPECT_EQ(CameraCap_Close(handle), 0);
    const std::vector<NalTypes> units = stream.AccessUnits();
    EXPECT_EQ(FirstSliceType(units), kNalIdr);
    int sinceKey = 0, longest = 0;
    for (const NalTypes& unit : units) {
        sinceKey = HasIdr(unit) ? 0 : sinceKey + 1;
        longest = std::max(longest, sinceKey);
    }
    EXPECT_LT(longest, kPicturesInTwoSeconds) << "pictures after a key frame before the next";
}

TEST(CameraCapOpenTest, OpensARecordRebuiltFromTheCameraList) {
    UseSimulatedCameras(2);
    // As the camera list file rebuilds it: reserved words, rate and flag zero, the
    // operator's own name, and an index that no longer matches the enumeration.
    DeviceInfo record = RecordFor("Simulated Camera 2", "仓库 北门", 7);
    EXPECT_EQ(record.Reserved1 | record.Reserved2 | record.Reserved3, 0u);
    CCopyingTarget target;
    const int32_t handle = CameraCap_Open(&target, &record, nullptr, nullptr, nullptr);
    ASSERT_GE(handle, 0);
    EXPECT_TRUE(target.WaitForFrames(1, kArrival));
    EXPECT_EQ(CameraCap_Close(handle), 0);
}

TEST(CameraCapOpenTest, RefusesUnknownDevices) {
    UseSimulatedCameras(2);
    CCollectingWindow notice;
    DeviceInfo unknown = RecordFor("No Such Camera", "No Such Camera", 0);
    EXPECT_LT(CameraCap_Open(nullptr, &unknown, &notice, nullptr, nullptr), 0);
    DeviceInfo notEnabled = SimulatedRecord(3);  // only two are simulated
    EXPECT_LT(CameraCap_Open(nullptr, &notEnabled, &notice, nullptr, nullptr), 0);
    DeviceInfo empty = RecordFor("", "", 0);
    EXPECT_LT(CameraCap_Open(nullptr, &empty, &notice, nullptr, nullptr), 0);
    EXPECT_LT(CameraCap_Open(nullptr, nullptr, &notice, nullptr, nullptr), 0);
    // A name that fills its field without a NUL is read only within the field.
    DeviceInfo unterminated = RecordFor("x", "x", 0);
    std::memset(unterminated.DeviceName, 'A', sizeof unterminated.DeviceName);
    EXPECT_LT(CameraCap_Open(nullptr, &unterminated, &notice, nullptr, nullptr), 0);
}

TEST(CameraCapOpenTest, EachOpeningGetsANewHandle) {
    UseSimulatedCameras(1);
    const DeviceInfo record = SimulatedRecord(1);
    const int32_t first = CameraCap_Open(nullptr, &record, nullptr, nullptr, nullptr);
    ASSERT_GE(first, 0);
    EXPECT_EQ(CameraCap_Close(first), 0);
    const int32_t second = CameraCap_Open(nullptr, &record, nullptr, nullptr, nullptr);
    ASSERT_GE(second, 0);
    EXPECT_NE(second, first);
    EXPECT_EQ(CameraCap_Close(first), -1);  // the old handle stays dead
    EXPECT_EQ(CameraCap_Close(second), 0);
}

TEST(CameraCapOpenTest, TwoCamerasStreamAtOnce) {
    UseSimulatedCameras(2);
    CCopyingTarget targets[2];
    CStreamCollector streams[2];
    int32_t handles[2];
    for (int i = 0; i < 2; ++i) {
        const DeviceInfo record = SimulatedRecord(i + 1);
        handles[i] = CameraCap_Open(&targets[i], &record, nullptr, &CStreamCollector::StreamProc,
                                    &streams[i]);
        ASSERT_GE(handles[i], 0);
    }
    EXPECT_NE(handles[0], handles[1]);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(targets[i].WaitForFrames(10, kArrival));
        EXPECT_TRUE(streams[i].WaitForCallbacks(10, kArrival));
    }
    for (int32_t handle : handles) EXPECT_EQ(CameraCap_Close(handle), 0);
}

TEST(CameraCapOpenTest, ASlowDisplayDoesNotHoldUpTheStream) {
    UseSimulatedCameras(1);
    CCopyingTarget target;
    target.Delay = 300ms;  // a widget far slower than the camera
    CStreamCollector stream;
    const DeviceInfo record = SimulatedRecord(1);
    const int32_t handle =
        CameraCap_Open(&target, &record, nullptr, &CStreamCollector::StreamProc, &stream);
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(stream.WaitForCallbacks(60, kArrival + 10s));
    const int frames = target.Frames();
    EXPECT_EQ(CameraCap_Close(handle), 0);
    // At 30 per second the stream gets ten access units per displayed frame; a stalled
    // stream would get about one.
    EXPECT_GE(stream.Callbacks(), 3 * frames);
}

TEST(CameraCapCloseTest, NothingArrivesAfterCloseReturns) {
    UseSimulatedCameras(1);
    CCopyingTarget target;
    CStreamCollector stream;
    CCollectingWindow notice;
    const DeviceInfo record = SimulatedRecord(1);
    const int32_t handle =
        CameraCap_Open(&target, &record, &notice, &CStreamCollector::StreamProc, &stream);
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(target.WaitForFrames(3, kArrival));
    ASSERT_TRUE(stream.WaitForCallbacks(3, kArrival));
    EXPECT_EQ(CameraCap_Close(handle), 0);
    stream.MarkClosed();
    const int frames = target.Frames();
    const int units = stream.Callbacks();
    const size_t posts = notice.PostCount();
    // Waits for a frame or stream bytes that must not come.
    EXPECT_FALSE(target.FrameAfter(frames, kQuietPeriod));
    EXPECT_FALSE(stream.CallbackAfter(units, kQuietPeriod));
    EXPECT_FALSE(stream.CalledAfterClose());
    EXPECT_EQ(notice.PostCount(), posts);
}

TEST(CameraCapCloseTest, ClosingUnknownOrClosedHandlesIsHarmless) {
    EXPECT_EQ(CameraCap_Close(-1), -1);
    EXPECT_EQ(CameraCap_Close(123456), -1);
    UseSimulatedCameras(1);
    const DeviceInfo record = SimulatedRecord(1);
    const int32_t handle = CameraCap_Open(nullptr, &record, nullptr, nullptr, nullptr);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(CameraCap_Close(handle), 0);
    EXPECT_EQ(CameraCap_Close(handle), -1);
}

TEST(CameraCapCloseTest, AVanishedCameraIsReportedAndClosesSafely) {
    UseSimulatedCameras(1);
    CCopyingTarget target;
    CStreamCollector stream;
    CCollectingWindow notice;
    const DeviceInfo record = RecordFor("Simulated Camera 1", "前门", 0);
    const int32_t handle =
        CameraCap_Open(&target, &record, &notice, &CStreamCollector::StreamProc, &stream);
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(stream.WaitForCallbacks(3, kArrival));
    CSimulatedDevices devices;
    ASSERT_EQ(CameraCapTest_SimulatedUnplug(0, 1), 0);
    EXPECT_TRUE(notice.WaitForText("摄像头 前门 已断开", kArrival));
    // The stream ends: what was under way drains and then nothing more comes. However
    // slow the machine, a source still running (30 units a second) never falls quiet.
    EXPECT_TRUE(stream.FallsQuiet(1s, kArrival + 20s)) << "the stream went on after the unplug";
    EXPECT_EQ(CameraCap_Close(handle), 0);
    EXPECT_EQ(UnexpectedMessages(notice), 0);
    // One text for one vanished camera, though its pipeline reports several errors
    // and the library keeps looking for it.
    EXPECT_EQ(notice.Texts().size(), 1u);
    EXPECT_EQ(CameraCap_Close(handle), -1);
}

TEST(CameraCapPictureTest, SavesTheCurrentPictureAsJpeg) {
    UseSimulatedCameras(1);
    CCopyingTarget target;
    const DeviceInfo record = SimulatedRecord(1);
    const int32_t handle = CameraCap_Open(&target, &record, nullptr, nullptr, nullptr);
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(target.WaitForFrames(2, kArrival));
    const std::string path = TestFolder() + "/cappic.jpg";
    EXPECT_EQ(CameraCap_CapPic(handle, path.c_str()), 0);
    EXPECT_EQ(CameraCap_Close(handle), 0);

    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0xFF);  // SOI
    EXPECT_EQ(bytes[1], 0xD8);
    EXPECT_EQ(bytes[bytes.size() - 2], 0xFF);  // EOI
    EXPECT_EQ(bytes[bytes.size() - 1], 0xD9);
    int width = 0, height = 0;
    ASSERT_TRUE(DecodeJpeg(path, width, height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
}

TEST(CameraCapPictureTest, WorksWithoutAFrameTarget) {
    UseSimulatedCameras(1);
    CStreamCollector stream;
    const DeviceInfo record = SimulatedRecord(1);
    const int32_t handle =
        CameraCap_Open(nullptr, &record, nullptr, &CStreamCollector::StreamProc, &stream);
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(stream.WaitForCallbacks(5, kArrival));
    const std::string path = TestFolder() + "/headless.jpg";
    EXPECT_EQ(CameraCap_CapPic(handle, path.c_str()), 0);
    EXPECT_EQ(CameraCap_Close(handle), 0);
    int width = 0, height = 0;
    EXPECT_TRUE(DecodeJpeg(path, width, height));
}

TEST(CameraCapPictureTest, FailsForUnknownHandlesAndUnwritablePaths) {
    EXPECT_EQ(CameraCap_CapPic(98765, (TestFolder() + "/x.jpg").c_str()), -1);
    UseSimulatedCameras(1);
    CCopyingTarget target;
    const DeviceInfo record = SimulatedRecord(1);
    const int32_t handle = CameraCap_Open(&target, &record, nullptr, nullptr, nullptr);
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(target.WaitForFrames(2, kArrival));
    EXPECT_EQ(CameraCap_CapPic(handle, (TestFolder() + "/missing/folder/x.jpg").c_str()), -3);
    EXPECT_EQ(CameraCap_CapPic(handle, nullptr), -3);
    EXPECT_EQ(CameraCap_Close(handle), 0);
    EXPECT_EQ(CameraCap_CapPic(handle, (TestFolder() + "/closed.jpg").c_str()), -1);
}
