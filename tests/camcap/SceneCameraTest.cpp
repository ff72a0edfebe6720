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

// The size and the mean grey level of each of kColumns x kRows blocks, row by row.
struct Blocks {
    int Width = 0, Height = 0;
    std::vector<double> Means;
};

template <typename Level>
Blocks BlocksOf(int width, int height, Level level) {
    Blocks blocks{width, height, std::vector<double>(kColumns * kRows, 0)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            blocks.Means[(y * kRows / height) * kColumns + x * kColumns / width] += level(x, y);
    for (double& sum : blocks.Means) sum /= double(width / kColumns) * double(height / kRows);
    return blocks;
}

// Keeps the blocks of the newest frame (green stands for grey) and counts frames.
class CBlockTarget : public IFrameTarget {
public:
    void OnFrame(const VideoFrame& frame) override {
        Blocks blocks = BlocksOf(frame.Width, frame.Height, [&](int x, int y) {
            return frame.Pixels[size_t(y) * frame.Stride + size_t(x) * 4 + 1];
        });
        std::lock_guard<std::mutex> lock(mutex_);
        last_ = std::move(blocks);
        ++frames_;
        arrived_.notify_all();
    }

    // The newest blocks once count frames came; none after timeout.
    Blocks WaitForFrames(int count, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!arrived_.wait_for(lock, timeout, [&] { return frames_ >= count; })) return {};
        return last_;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    Blocks last_;     // guarded by mutex_
    int frames_ = 0;  // guarded by mutex_
};

DeviceInfo FirstSimulatedRecord() {
    DeviceInfo devices[kMaxDevices];
    CameraKey keys[kMaxDevices];
    int32_t count = 0;
    CameraCap_EnumDeviceKeys(devices, keys, &count);
    for (int i = 0; i < count; ++i)
        if (std::string(keys[i].Text) == "simulated:1") return devices[i];
    ADD_FAILURE() << "simulated camera 1 is not listed";
    return RecordFor("", "", 0);
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
        BlocksOf(kWidth, kHeight, [&](int x, int y) { return luma[size_t(y) * kWidth + x]; }).Means;

    UseSimulatedCameras(1);
    CVariable scenes("ORVEX_SIMULATED_SCENES", "1:still");
    for (const char* profile : {"", "yuyv", "mjpeg1080", "h264"}) {  // I420, YUY2, MJPEG, H.264
        SCOPED_TRACE(profile);
        CVariable profiles("ORVEX_SIMULATED_PROFILES", (std::string("1:") + profile).c_str());
        const DeviceInfo record = FirstSimulatedRecord();
        CBlockTarget target;
        CCollectingWindow notice;
        const int32_t handle = CameraCap_Open(&target, &record, &notice, nullptr, nullptr);
        ASSERT_GE(handle, 0);
        const Blocks shown = target.WaitForFrames(3, 20s);
        EXPECT_EQ(CameraCap_Close(handle), 0);
        EXPECT_EQ(shown.Width, kWidth) << "waited for three frames";
        EXPECT_EQ(shown.Height, kHeight);
        ASSERT_EQ(shown.Means.size(), painted.size());
        // Grey is luma over the video range (16..235) or, as JPEG takes it, the full
        // range. The top row is left out: the library writes the clock over it.
        double videoRange = 0, fullRange = 0;
        for (size_t i = kColumns; i < painted.size(); ++i) {
            videoRange =
                std::max(videoRange, std::abs(shown.Means[i] - (painted[i] - 16) * 255 / 219));
            fullRange = std::max(fullRange, std::abs(shown.Means[i] - painted[i]));
        }
        EXPECT_LT(std::min(videoRange, fullRange), 6);
    }
}
