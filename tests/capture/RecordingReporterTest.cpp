#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "CaptureTestSupport.h"
#include "ToldFiles.h"
#include "capture/Recorder.h"
#include "common/AnnexB.h"
#include "common/RecordingObserver.h"

namespace {

using testsupport::ListFiles;

const LocalTime kNoon = MakeLocalTime(2024, 1, 2, 12, 0, 0);
constexpr int64_t kStartMs = 1704196800000;

// The arrival the test gives each access unit before it pushes it; the worker reads it
// too when it opens a file, without moving it.
std::atomic<int64_t> arrivalMs{0};
int64_t ArrivalClock() {
    return arrivalMs.load();
}

// Pushes unit i, arriving at its time, once the ring has room for it.
bool PushUnit(CRecorder& recorder, int i, bool keyFrame, size_t size, int64_t atMs) {
    const std::vector<uint8_t> unit = AccessUnit(i, keyFrame, size);
    if (!WaitUntil([&] { return recorder.BufferedBytes() + size < CRecorder::kRingBytes; },
                   std::chrono::seconds(30)))
        return false;
    arrivalMs = atMs;
    recorder.Push(unit.data(), static_cast<int32_t>(unit.size()));
    return true;
}

TEST(RecordingReporterTest, KeyFramesPointAtTheirAccessUnitsInEachFileAcrossARollOver) {
    CTestApp app;
    CToldFiles told;
    CRecorder recorder("cam", app.Dir(), SteppingClock(kNoon), &told);
    recorder.SetWallClock(&ArrivalClock);
    ASSERT_EQ(0, recorder.Start());
    // About 68 MiB in units of sizes no chunk divides, a key frame every 10: one
    // roll-over, which cuts a unit in two.
    constexpr int kUnits = 1100;
    for (int i = 0; i < kUnits; ++i) {
        ASSERT_TRUE(PushUnit(recorder, i, i % 10 == 0, 65000 + 37 * (i % 9), kStartMs + 40 * i))
            << "waited for room in the ring";
    }
    recorder.Stop();
    ASSERT_EQ(0u, recorder.DroppedBytes());

    const std::vector<std::string> paths = ListFiles(app.RecordDir());
    const std::vector<CToldFiles::File> files = told.Files();
    ASSERT_EQ(2u, paths.size());
    ASSERT_EQ(2u, files.size());
    uint32_t pictures = 0;
    size_t keys = 0;
    for (size_t f = 0; f < files.size(); ++f) {
        SCOPED_TRACE(paths[f]);
        const CToldFiles::File& file = files[f];
        EXPECT_EQ("cam", file.Camera);
        EXPECT_EQ(paths[f], file.Path);
        EXPECT_TRUE(file.Finished);
        const std::string bytes = testsupport::ReadFile(file.Path);
        EXPECT_EQ(bytes.size(), file.Bytes);
        const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
        for (const RecordedKeyFrame& key : file.KeyFrames) {
            ASSERT_LT(key.Offset, bytes.size());
            EXPECT_TRUE(IsKeyFrameAccessUnit(data + key.Offset, bytes.size() - key.Offset))
                << "offset " << key.Offset;
            EXPECT_EQ(0, (key.WallMs - kStartMs) % 400) << "a key frame arrives every tenth unit";
        }
        pictures += file.Pictures;
        keys += file.KeyFrames.size();
    }
    // The unit cut in two counts in the file it begins in; the next file starts with its
    // arrival and ends with the last unit's.
    EXPECT_EQ(static_cast<uint32_t>(kUnits), pictures);
    EXPECT_EQ(static_cast<size_t>(kUnits / 10), keys);
    EXPECT_EQ(kStartMs, files[0].StartMs);
    EXPECT_EQ(files[0].EndMs, files[1].StartMs);
    EXPECT_EQ(kStartMs + 40 * (kUnits - 1), files[1].EndMs);
    EXPECT_TRUE(told.Gaps().empty());
}

TEST(RecordingReporterTest, ASilentCameraAndDroppedBytesAreToldAsGaps) {
    CTestApp app;
    CToldFiles told;
    CRecorder recorder("cam", app.Dir(), FixedClock(kNoon), &told);
    recorder.SetWallClock(&ArrivalClock);
    ASSERT_EQ(0, recorder.Start());
    int64_t at = kStartMs;
    for (int i = 0; i < 20; ++i) {
        if (i == 10) at += 5000;  // nothing for 5 s after the tenth unit
        ASSERT_TRUE(PushUnit(recorder, i, i % 5 == 0, 200, at));
        at += 40;
    }
    // A unit larger than the ring is dropped; the key frame after it follows the hole.
    ASSERT_TRUE(PushUnit(recorder, 20, false, 64, at));
    const std::vector<uint8_t> huge = AccessUnit(21, false, CRecorder::kRingBytes);
    arrivalMs = at + 40;
    recorder.Push(huge.data(), static_cast<int32_t>(huge.size()));
    ASSERT_TRUE(PushUnit(recorder, 22, true, 200, at + 80));
    recorder.Stop();

    const std::vector<CToldFiles::Gap> gaps = told.Gaps();
    ASSERT_EQ(2u, gaps.size());
    EXPECT_EQ(kStartMs + 360, gaps[0].FromMs);
    EXPECT_EQ(kStartMs + 5400, gaps[0].ToMs);
    EXPECT_EQ(RecordingGapCause::CameraAbsent, gaps[0].Cause);
    EXPECT_EQ(at, gaps[1].FromMs);
    EXPECT_EQ(at + 80, gaps[1].ToMs);
    EXPECT_EQ(RecordingGapCause::DiskFull, gaps[1].Cause);
    ASSERT_EQ(1u, told.Files().size());
    EXPECT_EQ(22u, told.Files()[0].Pictures);
}

}  // namespace
