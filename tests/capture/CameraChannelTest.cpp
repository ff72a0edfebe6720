#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "CaptureTestSupport.h"
#include "FakeCameraCap.h"
#include "capture/CameraChannel.h"
#include "capture/Recorder.h"

namespace {

using testsupport::ListFiles;

class CNullTarget : public IFrameTarget {
public:
    void OnFrame(const VideoFrame&) override {}
};

class CameraChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        FakeCapReset();
        ZeroDeviceInfo(device_);
        SetDeviceName(device_.DeviceName, "USB Camera");
        SetDeviceName(device_.CustomDeviceName, "门口");
    }
    void TearDown() override { FakeCapReset(); }

    std::string RecordingFolder() const { return app_.RecordDir() + "/门口"; }

    CTestApp app_;
    DeviceInfo device_{};
    CNullTarget video_;
    testsupport::FakeWindow notice_;
};

TEST_F(CameraChannelTest, FailedOpenLeavesTheLibraryAloneForSnapshotAndClose) {
    FakeCap().OpenResult = -5;
    CCameraChannel channel(app_.Dir());
    EXPECT_EQ(0, channel.Open(&video_, &device_, &notice_));
    EXPECT_EQ(-5, channel.GetHandle());
    EXPECT_EQ(1, CountLines(app_.Log(), " 打开设备 USB Camera 失败"));

    EXPECT_EQ(-1, channel.Snapshot("/never/used.jpg"));
    EXPECT_EQ(0, FakeCap().CapPicCalls);
    channel.Close();
    EXPECT_EQ(0, FakeCap().CloseCalls);
    EXPECT_EQ(-1, channel.GetHandle());
}

TEST_F(CameraChannelTest, SuccessfulOpenHandsTheCallersRecordToTheLibraryAndLogs) {
    FakeCap().OpenResult = 3;
    FakeCap().CapPicResult = -2;
    {
        CCameraChannel channel(app_.Dir());
        EXPECT_EQ(1, channel.Open(&video_, &device_, &notice_));
        EXPECT_EQ(3, channel.GetHandle());
        EXPECT_EQ(&video_, FakeCap().Video);
        EXPECT_EQ(&device_, FakeCap().Device) << "the caller's record, not the channel's copy";
        EXPECT_EQ(&notice_, FakeCap().Notice);
        EXPECT_EQ(&ChannelStreamProc, FakeCap().Callback);
        EXPECT_EQ(&channel, FakeCap().User);
        EXPECT_EQ(0, std::memcmp(&device_, &channel.Device(), sizeof device_));
        EXPECT_EQ(nullptr, channel.Recorder()) << "RecordFlag is 0";
        // The stamp's two spaces are followed by one more: the channel has no name.
        EXPECT_EQ(1, CountLines(app_.Log(), " 成功打开设备 USB Camera"));

        EXPECT_EQ(-2, channel.Snapshot("/tmp/x.jpg"));
        EXPECT_EQ(3, FakeCap().CapPicHandle);
        EXPECT_EQ("/tmp/x.jpg", FakeCap().CapPicPath);

        channel.Close();
        EXPECT_EQ(1, FakeCap().CloseCalls);
        EXPECT_EQ(3, FakeCap().ClosedHandle);
        EXPECT_EQ(-1, channel.GetHandle());
        channel.Close();
    }  // destruction closes once more, which must not reach the library
    EXPECT_EQ(1, FakeCap().CloseCalls);
}

TEST_F(CameraChannelTest, FailedOpenDiscardsTheRecorderAndLeavesNoFile) {
    device_.RecordFlag = 1;
    FakeCap().OpenResult = -1;
    CCameraChannel channel(app_.Dir());
    bool recorderAtOpen = false;
    FakeCap().OnOpen = [&] { recorderAtOpen = channel.Recorder() != nullptr; };
    EXPECT_EQ(0, channel.Open(&video_, &device_, &notice_));
    EXPECT_TRUE(recorderAtOpen) << "a first callback would have found it";
    EXPECT_EQ(nullptr, channel.Recorder()) << "stopped and gone with its thread";
    EXPECT_FALSE(testsupport::Exists(app_.RecordDir())) << "no recording file, empty or not";
}

TEST_F(CameraChannelTest, AFailedOpeningLogsOneLineAndNoStopOfARecordingThatNeverBegan) {
    struct Case {
        int32_t result;
        bool identity;
        int32_t reserved;
        std::vector<std::string> lines;  // every line the opening logs
    };
    const std::vector<Case> cases = {
        {-2, false, -1, {" 打开设备 USB Camera 失败"}},
        {-1, false, -1, {" 打开设备 USB Camera 失败"}},  // no identity: found by name
        {-1, true, -1, {" 摄像头 门口 未连接"}},         // that camera is not attached
        {-2, true, 40, {" 打开设备 USB Camera 失败"}},
        {kCameraCapCancelled, true, 40, {}},  // ended by the caller: nothing to tell
    };
    for (const Case& c : cases) {
        FakeCapReset();
        const size_t before = LogLines(app_.Log()).size();
        DeviceInfo device = device_;
        device.RecordFlag = 1;
        if (c.identity) SetCameraIdentity(device, "port:1-2");
        FakeCap().OpenResult = c.result;
        CCameraChannel channel(app_.Dir());
        EXPECT_EQ(0, channel.Open(&video_, &device, &notice_, c.reserved));
        const std::vector<std::string> all = LogLines(app_.Log());
        EXPECT_EQ(c.lines, std::vector<std::string>(all.begin() + before, all.end()))
            << c.result << " " << c.identity;
        if (c.reserved >= 0) {
            EXPECT_EQ(c.reserved, FakeCap().Reserved);
        }
    }
}

TEST_F(CameraChannelTest, StreamFromTheLibraryThreadReachesTheRecording) {
    device_.RecordFlag = 1;
    CCameraChannel channel(app_.Dir());
    ASSERT_EQ(1, channel.Open(&video_, &device_, &notice_));
    const std::vector<uint8_t> stream = PatternBytes(0, 30000);
    for (size_t at = 0; at < stream.size(); at += 10000) FakeCapDeliver(stream.data() + at, 10000);
    // Not for this channel: a null user pointer drops the bytes.
    const std::vector<uint8_t> stray(500, 0xEE);
    ChannelStreamProc(0, 0, stray.data(), static_cast<int32_t>(stray.size()), nullptr);
    channel.Close();

    const auto files = ListFiles(RecordingFolder());
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ(stream.size(), FileSize(files[0]));
    EXPECT_EQ(-1, FirstPatternMismatch(files));
}

TEST_F(CameraChannelTest, StreamOnAChannelWithoutRecorderIsDropped) {
    CCameraChannel channel(app_.Dir());
    ASSERT_EQ(1, channel.Open(&video_, &device_, &notice_));
    const std::vector<uint8_t> stream = PatternBytes(0, 4096);
    FakeCapDeliver(stream.data(), static_cast<int32_t>(stream.size()));
    channel.OnStream(0, 0, stream.data(), static_cast<int32_t>(stream.size()));
    channel.Close();
    EXPECT_TRUE(ListFiles(app_.RecordDir()).empty());
}

// Counts what reaches a tap; the fake delivers on a thread it joins before returning.
class CCountingTap : public IStreamTap {
public:
    void OnAccessUnit(const uint8_t* data, int32_t length, int64_t wallMs) override {
        Bytes.insert(Bytes.end(), data, data + length);
        LastWallMs = wallMs;
    }
    std::vector<uint8_t> Bytes;
    int64_t LastWallMs = 0;
};

TEST_F(CameraChannelTest, ATapSeesTheStreamWhetherOrNotTheCameraIsRecorded) {
    for (const int recordFlag : {0, 1}) {
        device_.RecordFlag = recordFlag;
        CCountingTap tap;
        CCameraChannel channel(app_.Dir());
        channel.SetStreamTap(&tap);
        ASSERT_EQ(1, channel.Open(&video_, &device_, &notice_));
        const std::vector<uint8_t> stream = PatternBytes(0, 20000);
        for (size_t at = 0; at < stream.size(); at += 5000)
            FakeCapDeliver(stream.data() + at, 5000);
        channel.Close();
        EXPECT_EQ(stream, tap.Bytes) << "record flag " << recordFlag;
        // Wall-clock milliseconds, not a monotonic count: after 2020.
        EXPECT_GT(tap.LastWallMs, int64_t{1577836800000}) << "record flag " << recordFlag;
        EXPECT_EQ(recordFlag == 1, !ListFiles(app_.RecordDir()).empty());
    }
}

TEST_F(CameraChannelTest, CloseEndsTheLibraryBeforeTheRecorder) {
    device_.RecordFlag = 1;
    CCameraChannel channel(app_.Dir());
    ASSERT_EQ(1, channel.Open(&video_, &device_, &notice_));
    bool recorderAliveAtClose = false;
    FakeCap().OnClose = [&] { recorderAliveAtClose = channel.Recorder() != nullptr; };
    channel.Close();
    EXPECT_TRUE(recorderAliveAtClose);
    EXPECT_EQ(nullptr, channel.Recorder());
}

TEST_F(CameraChannelTest, RecorderNamesItsFolderAfterTheChannelsCustomName) {
    device_.RecordFlag = 1;
    CCameraChannel channel(app_.Dir());
    ASSERT_EQ(1, channel.Open(&video_, &device_, &notice_));
    // The caller's record may change after Open; the channel's copy decides.
    SetDeviceName(device_.CustomDeviceName, "elsewhere");
    const std::vector<uint8_t> stream = PatternBytes(0, 100);
    FakeCapDeliver(stream.data(), static_cast<int32_t>(stream.size()));
    channel.Close();
    EXPECT_EQ(1u, ListFiles(RecordingFolder()).size());
    EXPECT_TRUE(ListFiles(app_.RecordDir() + "/elsewhere").empty());
}

TEST_F(CameraChannelTest, OpeningAnOpenChannelClosesTheFirstOpening) {
    FakeCap().OpenResult = 4;
    CCameraChannel channel(app_.Dir());
    ASSERT_EQ(1, channel.Open(&video_, &device_, &notice_));
    FakeCap().OpenResult = 6;
    ASSERT_EQ(1, channel.Open(&video_, &device_, &notice_));
    EXPECT_EQ(1, FakeCap().CloseCalls);
    EXPECT_EQ(4, FakeCap().ClosedHandle);
    EXPECT_EQ(6, channel.GetHandle());
}

TEST_F(CameraChannelTest, NullRecordIsRefusedWithoutCallingTheLibrary) {
    CCameraChannel channel(app_.Dir());
    EXPECT_EQ(0, channel.Open(&video_, nullptr, &notice_));
    EXPECT_EQ(0, FakeCap().OpenCalls);
    EXPECT_EQ(-1, channel.GetHandle());
}

}  // namespace
