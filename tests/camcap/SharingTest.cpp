// One camera opened by several handles at once, as a video cell that records it and
// the settings dialog's preview: the simulated cameras refuse a second stream of one
// device here, as V4L2 devices do.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "CamcapTestSupport.h"
#include "capture/CameraCap.h"

using namespace std::chrono_literals;

namespace {

constexpr auto kArrival = 20s;
constexpr int kPreviews = 20;
// Far longer than any pause of a running camera's stream, even on a loaded machine.
constexpr auto kLongestPause = 2s;

// Simulated cameras that answer "busy" to a second stream, while in scope.
class CExclusiveCameras {
public:
    CExclusiveCameras() { setenv("ORVEX_SIMULATED_EXCLUSIVE", "1", 1); }
    ~CExclusiveCameras() { unsetenv("ORVEX_SIMULATED_EXCLUSIVE"); }
};

struct CPreview {
    CCopyingTarget Target;
    int FramesAtClose = 0;
};

}  // namespace

TEST(CameraCapSharingTest, APreviewComesAndGoesBesideARecordingWithoutDisturbingIt) {
    UseSimulatedCameras(1);
    CExclusiveCameras exclusive;
    const DeviceInfo cellRecord = RecordFor("Simulated Camera 1", "前门", 0);
    CCopyingTarget cell;
    CStreamCollector recording;
    CCollectingWindow notice;
    const auto recordingStart = std::chrono::steady_clock::now();
    const int32_t recorded =
        CameraCap_Open(&cell, &cellRecord, &notice, &CStreamCollector::StreamProc, &recording);
    ASSERT_GE(recorded, 0);
    ASSERT_TRUE(recording.WaitForCallbacks(3, kArrival));

    // The preview passes the discovered record and three nulls.
    const DeviceInfo previewRecord = RecordFor("Simulated Camera 1", "Simulated Camera 1", 0);
    std::vector<std::unique_ptr<CPreview>> previews;
    for (int i = 0; i < kPreviews; ++i) {
        auto preview = std::make_unique<CPreview>();
        const int32_t handle =
            CameraCap_Open(&preview->Target, &previewRecord, nullptr, nullptr, nullptr);
        ASSERT_GE(handle, 0) << "preview " << i;
        ASSERT_NE(handle, recorded);
        ASSERT_TRUE(preview->Target.WaitForFrames(2, kArrival)) << "preview " << i;
        // Still pictures are per handle.
        const std::string picture = TestFolder() + "/preview-" + std::to_string(i) + ".jpg";
        EXPECT_EQ(CameraCap_CapPic(handle, picture.c_str()), 0);
        ASSERT_EQ(CameraCap_Close(handle), 0);
        preview->FramesAtClose = preview->Target.Frames();
        EXPECT_EQ(CameraCap_CapPic(handle, picture.c_str()), -1);
        previews.push_back(std::move(preview));
    }
    // The recording goes on after the last preview left.
    ASSERT_TRUE(recording.CallbackAfter(recording.Callbacks(), kArrival));
    ASSERT_TRUE(recording.WaitForKeyFrames(2, kArrival));

    // The handle that started the capture leaves; a preview opened since goes on.
    CCopyingTarget lastPreview;
    const int32_t last = CameraCap_Open(&lastPreview, &previewRecord, nullptr, nullptr, nullptr);
    ASSERT_GE(last, 0);
    ASSERT_EQ(CameraCap_Close(recorded), 0);
    const auto recordingTime = std::chrono::steady_clock::now() - recordingStart;
    recording.MarkClosed();
    const int cellFrames = cell.Frames();
    ASSERT_TRUE(lastPreview.FrameAfter(lastPreview.Frames() + 3, kArrival));
    EXPECT_EQ(CameraCap_Close(last), 0);

    EXPECT_FALSE(recording.CalledAfterClose());
    EXPECT_EQ(cell.Frames(), cellFrames);
    for (size_t i = 0; i < previews.size(); ++i) {
        EXPECT_EQ(previews[i]->Target.Frames(), previews[i]->FramesAtClose) << "preview " << i;
    }
    EXPECT_EQ(notice.PostCount(), 0u);

    // Never paused, never restarted, never made to key-frame by a preview. A loaded
    // machine makes the live source skip pictures and the encoder then keys on stream
    // time after fewer of them, so key frames are counted against the time the
    // recording ran: at most one per second (one per two is the encoder's own pace),
    // where a key frame per preview would give several per second. x264 introduces
    // itself in one SEI unit at its first picture, so a restarted encoder shows twice.
    EXPECT_LT(recording.LongestPause(), kLongestPause);
    const std::vector<NalTypes> units = recording.AccessUnits();
    EXPECT_EQ(FirstSliceType(units), kNalIdr);
    const auto keyFrames = std::count_if(units.begin(), units.end(), HasIdr);
    const double seconds = std::chrono::duration<double>(recordingTime).count();
    EXPECT_LE(double(keyFrames), 1 + seconds) << "over " << seconds << " s";
    const auto introductions = std::count_if(units.begin(), units.end(), [](const NalTypes& unit) {
        return std::count(unit.begin(), unit.end(), kNalSei) > 0;
    });
    EXPECT_EQ(introductions, 1);
    // Every access unit decodes.
    const std::string file = TestFolder() + "/shared-recording.264";
    ASSERT_TRUE(WriteFileBytes(file, recording.Bytes()));
    int width = 0, height = 0;
    EXPECT_EQ(DecodeH264File(file, width, height), int(units.size()));
    EXPECT_EQ(width, 640);
}

TEST(CameraCapSharingTest, ARecordingJoinsAPreviewAtAKeyFrame) {
    UseSimulatedCameras(1);
    CExclusiveCameras exclusive;
    const DeviceInfo record = RecordFor("Simulated Camera 1", "前门", 0);
    CCopyingTarget preview;
    const int32_t previewed = CameraCap_Open(&preview, &record, nullptr, nullptr, nullptr);
    ASSERT_GE(previewed, 0);
    ASSERT_TRUE(preview.WaitForFrames(2, kArrival));
    // The preview has no stream; the cell's recording needs one from its first byte.
    CStreamCollector recording;
    const int32_t recorded =
        CameraCap_Open(nullptr, &record, nullptr, &CStreamCollector::StreamProc, &recording);
    ASSERT_GE(recorded, 0);
    ASSERT_TRUE(recording.WaitForKeyFrames(2, kArrival));
    EXPECT_EQ(CameraCap_Close(previewed), 0);
    ASSERT_TRUE(recording.CallbackAfter(recording.Callbacks(), kArrival));
    EXPECT_EQ(CameraCap_Close(recorded), 0);
    const std::vector<NalTypes> units = recording.AccessUnits();
    EXPECT_EQ(FirstSliceType(units), kNalIdr);
    EXPECT_EQ(IdrsWithoutParameterSets(units), 0);
}
