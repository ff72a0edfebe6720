#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "MotionScenes.h"
#include "motion/MotionDetector.h"
#include "motion/MotionPicture.h"

using motiontest::CScene;
using motiontest::SceneState;

namespace {

constexpr int64_t kStepMs = 200;

// Renders the scene at time ms and analyses its small grey picture.
MotionMeasure AnalyzeAt(CScene& scene, CMotionDetector& detector, const SceneState& state) {
    scene.Render(state);
    cv::Mat grey, picture;
    EXPECT_TRUE(MakeMotionPicture(scene.Frame(), grey, picture));
    return detector.Analyze(picture);
}

}  // namespace

TEST(MotionDetectorTest, PictureIsAbout160WideWithTheFramesAspect) {
    struct Row {
        int Width, Height, ExpectedWidth, ExpectedHeight;
    };
    for (const Row& row : std::vector<Row>{{640, 480, 160, 120},
                                           {1280, 720, 160, 90},
                                           {1920, 1080, 160, 90},
                                           {120, 90, 120, 90},
                                           {4000, 10, 160, 1}}) {
        EXPECT_EQ(MotionPictureSize(row.Width, row.Height),
                  cv::Size(row.ExpectedWidth, row.ExpectedHeight))
            << row.Width << "x" << row.Height;
    }
}

TEST(MotionDetectorTest, PictureIsGreyOfTheFramesPixelsWhateverTheStride) {
    // A frame whose rows are padded: only the first Width pixels of a row count.
    constexpr int kWidth = 320, kHeight = 240, kStride = kWidth * 4 + 64;
    std::vector<uint8_t> pixels(static_cast<size_t>(kStride) * kHeight, 255);
    for (int row = 0; row < kHeight; ++row)
        std::fill_n(pixels.begin() + static_cast<ptrdiff_t>(row) * kStride, kWidth * 4,
                    uint8_t{100});
    cv::Mat grey, picture;
    ASSERT_TRUE(
        MakeMotionPicture(VideoFrame{kWidth, kHeight, kStride, pixels.data()}, grey, picture));
    EXPECT_EQ(picture.size(), cv::Size(160, 120));
    EXPECT_EQ(picture.type(), CV_8UC1);
    EXPECT_NEAR(cv::mean(picture)[0], 100, 1);
    EXPECT_FALSE(
        MakeMotionPicture(VideoFrame{kWidth, kHeight, kWidth, pixels.data()}, grey, picture));
    EXPECT_FALSE(MakeMotionPicture(VideoFrame{kWidth, kHeight, kStride, nullptr}, grey, picture));
}

TEST(MotionDetectorTest, ABrightnessJumpIsALightChangeAndIsLearntAtOnce) {
    CScene scene(cv::Size(320, 240));
    CMotionDetector detector;
    for (int i = 0; i < 20; ++i) AnalyzeAt(scene, detector, {});
    EXPECT_LT(AnalyzeAt(scene, detector, {}).ChangedPct, 0.5);

    const SceneState lamp = SceneState().WithOffset(60);
    const MotionMeasure jump = AnalyzeAt(scene, detector, lamp);
    EXPECT_TRUE(jump.LightChange);
    // Settling, then the new light is the background.
    for (int i = 1; i < CMotionDetector::kSettleAnalyses; ++i)
        EXPECT_TRUE(AnalyzeAt(scene, detector, lamp).LightChange);
    const MotionMeasure after = AnalyzeAt(scene, detector, lamp);
    EXPECT_FALSE(after.LightChange);
    EXPECT_LT(after.ChangedPct, 0.5);
}

TEST(MotionDetectorTest, ExcludedCellsNeitherCountNorEnterTheShare) {
    // The same moving box seen by three detectors: one watching everything, one not
    // watching the right half (the box stays left: the share doubles), one not watching
    // the rows the box moves in (nothing changes).
    CScene scene(cv::Size(320, 240));
    std::bitset<MotionSettings::kMaskCells> rightHalf, boxRows;
    for (int row = 0; row < MotionSettings::kMaskRows; ++row)
        for (int column = 0; column < MotionSettings::kMaskColumns; ++column) {
            if (column >= MotionSettings::kMaskColumns / 2)
                rightHalf.set(MotionSettings::Cell(column, row));
            if (row >= 3 && row <= 8) boxRows.set(MotionSettings::Cell(column, row));
        }
    CMotionDetector all, left, outside;
    left.SetExcluded(rightHalf);
    outside.SetExcluded(boxRows);

    double allPct = 0, leftPct = 0, outsidePct = 0;
    for (int i = 0; i < 60; ++i) {
        SceneState state;
        if (i >= 30)
            state.Box =
                CScene::MovingBox(cv::Size(150, 240), cv::Size(30, 50), 80, 0, i * kStepMs, 80);
        scene.Render(state);
        cv::Mat grey, picture;
        ASSERT_TRUE(MakeMotionPicture(scene.Frame(), grey, picture));
        const MotionMeasure a = all.Analyze(picture);
        const MotionMeasure l = left.Analyze(picture);
        const MotionMeasure o = outside.Analyze(picture);
        if (i < 30) continue;
        allPct += a.ChangedPct;
        leftPct += l.ChangedPct;
        outsidePct += o.ChangedPct;
    }
    ASSERT_GT(allPct, 30 * 1.0);  // the box is seen: over 1 % on average
    EXPECT_NEAR(leftPct / allPct, 2.0, 0.2);
    EXPECT_EQ(outsidePct, 0.0);

    // Every cell excluded: nothing is watched, nothing changes.
    CMotionDetector none;
    none.SetExcluded(std::bitset<MotionSettings::kMaskCells>().set());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(
            AnalyzeAt(scene, none, SceneState().WithBox(cv::Rect(i * 20, 50, 60, 60))).ChangedPct,
            0.0);
}
