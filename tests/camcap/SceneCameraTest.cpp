// A simulated camera with a scene shows the painter's picture through the capture
// library, in each kind of mode a profile offers.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "CamcapTestSupport.h"
#include "camcap/ScenePainter.h"
#include "camcap/SceneScript.h"
#include "capture/CameraCap.h"

using namespace std::chrono_literals;

namespace {

constexpr auto kArrival = 20s;
constexpr int kColumns = 8;
constexpr int kRows = 6;

// Sets an environment variable while in scope.
class CVariable {
public:
    CVariable(const char* name, const char* value) : name_(name) { setenv(name, value, 1); }
    ~CVariable() { unsetenv(name_); }

private:
    const char* name_;
};

// The mean grey level of each of kColumns x kRows blocks, row by row.
template <typename Level>
std::vector<double> BlockMeans(int width, int height, Level level) {
    std::vector<double> sums(kColumns * kRows, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            sums[(y * kRows / height) * kColumns + x * kColumns / width] += level(x, y);
        }
    }
    const double perBlock = double(width / kColumns) * double(height / kRows);
    for (double& sum : sums) sum /= perBlock;
    return sums;
}

// Keeps the block means of the newest frame (green stands for grey).
class CBlockTarget : public IFrameTarget {
public:
    void OnFrame(const VideoFrame& frame) override {
        std::vector<double> means = BlockMeans(frame.Width, frame.Height, [&](int x, int y) {
            return frame.Pixels[size_t(y) * frame.Stride + size_t(x) * 4 + 1];
        });
        std::lock_guard<std::mutex> lock(mutex_);
        means_ = std::move(means);
        width_ = frame.Width;
        height_ = frame.Height;
        ++frames_;
        arrived_.notify_all();
    }

    // Waits for count frames; false after timeout.
    bool WaitForFrames(int count, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return arrived_.wait_for(lock, timeout, [&] { return frames_ >= count; });
    }

    std::vector<double> Means(int& width, int& height) const {
        std::lock_guard<std::mutex> lock(mutex_);
        width = width_;
        height = height_;
        return means_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<double> means_;  // guarded by mutex_
    int width_ = 0;              // guarded by mutex_
    int height_ = 0;             // guarded by mutex_
    int frames_ = 0;             // guarded by mutex_
};

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

// The largest difference between a frame's blocks and the painted ones, grey being
// luma either over the video range (16..235) or the full range, as JPEG takes it. The
// top row is left out: the library writes the clock over it.
double LargestDifference(const std::vector<double>& shown, const std::vector<double>& painted) {
    double videoRange = 0, fullRange = 0;
    for (size_t i = kColumns; i < shown.size(); ++i) {
        videoRange = std::max(videoRange, std::abs(shown[i] - (painted[i] - 16) * 255 / 219));
        fullRange = std::max(fullRange, std::abs(shown[i] - painted[i]));
    }
    return std::min(videoRange, fullRange);
}

}  // namespace

TEST(SceneCameraTest, ACameraWithAStillSceneShowsThePaintersPictureInEachKindOfMode) {
    constexpr int kWidth = 640;
    constexpr int kHeight = 480;
    SceneScript still;
    ASSERT_TRUE(still.Add("still"));
    CScenePainter painter(kWidth, kHeight);
    std::vector<uint8_t> luma(size_t(kWidth) * kHeight);
    painter.Paint(still, 0, luma.data(), kWidth);
    const std::vector<double> painted =
        BlockMeans(kWidth, kHeight, [&](int x, int y) { return luma[size_t(y) * kWidth + x]; });

    const char* profiles[] = {"", "yuyv", "mjpeg1080", "h264"};  // I420, YUY2, MJPEG, H.264
    UseSimulatedCameras(1);
    CVariable scenes("ORVEX_SIMULATED_SCENES", "1:still");
    for (const char* profile : profiles) {
        const std::string assignment = std::string("1:") + profile;
        CVariable profiles("ORVEX_SIMULATED_PROFILES", assignment.c_str());
        const DeviceInfo record = FirstSimulatedRecord();
        CBlockTarget target;
        CCollectingWindow notice;
        const int32_t handle = CameraCap_Open(&target, &record, &notice, nullptr, nullptr);
        ASSERT_GE(handle, 0) << profile;
        EXPECT_TRUE(target.WaitForFrames(3, kArrival)) << profile << ": frames shown";
        EXPECT_EQ(CameraCap_Close(handle), 0);
        int width = 0, height = 0;
        const std::vector<double> shown = target.Means(width, height);
        EXPECT_EQ(width, kWidth) << profile;
        EXPECT_EQ(height, kHeight) << profile;
        ASSERT_EQ(shown.size(), painted.size()) << profile;
        EXPECT_LT(LargestDifference(shown, painted), 6) << profile;
    }
}
