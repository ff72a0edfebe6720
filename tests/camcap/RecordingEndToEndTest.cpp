// A simulated camera recorded through the camera channel on the real capture
// library: the .264 file decodes, the snapshot decodes, and the opening is logged.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CamcapTestSupport.h"
#include "app/MonitorApp.h"
#include "capture/CameraCap.h"
#include "capture/CameraChannel.h"
#include "capture/Recorder.h"
#include "common/Messages.h"

using namespace std::chrono_literals;

namespace {

// The main window stand-in: keeps the system's own log lines (lParam 0).
class CLogWindow : public IWindowHandle {
public:
    bool Post(unsigned message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_LOG_TEXT && lParam == 0 && wParam != 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.emplace_back(reinterpret_cast<const char*>(wParam));
        }
        FreeMessagePayload(message, wParam, lParam);
        return true;
    }
    bool IsAlive() const override { return true; }
    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;  // guarded by mutex_
};

std::vector<std::string> FilesBelow(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    }
    return files;
}

TEST(RecordingEndToEndTest, SimulatedCameraRecordedThroughTheChannelDecodes) {
    const std::string folder = TestFolder() + "/recording";
    CLogWindow mainWindow;
    auto app = std::make_unique<CMonitorApp>(folder + "/bin/OrvexClient");
    AppSettings settings = app->Settings();
    settings.RecordDir = folder + "/rec";
    app->SetSettings(settings);
    app->SetMainWindow(&mainWindow);

    UseSimulatedCameras(1);
    DeviceInfo devices[kMaxDevices];
    int32_t count = 0;
    CameraCap_EnumDevice(devices, &count);
    ASSERT_GE(count, 1);
    DeviceInfo record = devices[count - 1];  // real cameras, if any, come first
    ASSERT_STREQ("Simulated Camera 1", record.DeviceName);
    SetDeviceName(record.CustomDeviceName, "前门");
    record.RecordFlag = 1;

    CCopyingTarget video;
    CCollectingWindow notice;
    uint64_t dropped = 0;
    {
        CCameraChannel channel([&] { return app->Settings().RecordDir; });
        ASSERT_EQ(1, channel.Open(&video, &record, &notice));
        ASSERT_NE(nullptr, channel.Recorder());
        // About three seconds of a 30-per-second camera.
        ASSERT_TRUE(video.WaitForFrames(90, 30s)) << "waited for 90 frames on screen";
        const std::string picture = folder + "/snapshot.jpg";
        EXPECT_EQ(0, channel.Snapshot(picture.c_str()));
        int jpegWidth = 0, jpegHeight = 0;
        EXPECT_TRUE(DecodeJpeg(picture, jpegWidth, jpegHeight));
        EXPECT_EQ(640, jpegWidth);
        EXPECT_EQ(480, jpegHeight);
        dropped = channel.Recorder()->DroppedBytes();
        channel.Close();
    }
    EXPECT_EQ(0u, dropped);

    const std::vector<std::string> files = FilesBelow(folder + "/rec/前门");
    ASSERT_EQ(1u, files.size());
    // A few seconds are far less than one 512 KiB chunk: everything reached the file
    // when the recorder stopped.
    const std::vector<uint8_t> bytes = ReadFileBytes(files[0]);
    ASSERT_FALSE(bytes.empty());
    const NalTypes types = ParseNalTypes(bytes.data(), bytes.size());
    // The file plays on its own: SPS and PPS come before its first slice, an IDR.
    const auto firstSlice =
        std::find_if(types.begin(), types.end(), [](int type) { return type >= 1 && type <= 5; });
    ASSERT_NE(types.end(), firstSlice);
    EXPECT_EQ(kNalIdr, *firstSlice);
    EXPECT_NE(firstSlice, std::find(types.begin(), firstSlice, kNalSps));
    EXPECT_NE(firstSlice, std::find(types.begin(), firstSlice, kNalPps));
    int width = 0, height = 0;
    EXPECT_GT(DecodeH264File(files[0], width, height), 0);
    EXPECT_EQ(640, width);
    EXPECT_EQ(480, height);

    const std::vector<std::string> lines = mainWindow.Lines();
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), " 成功打开设备 Simulated Camera 1"));

    app->SetMainWindow(nullptr);
    app.reset();
}

}  // namespace
