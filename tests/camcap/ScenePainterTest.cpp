// The pictures of scripted scenes: the figure changes its own box and nothing else,
// only while it crosses; the lamp and the drift move the whole picture's brightness;
// the noise is as strong as scripted; and a picture depends on nothing but its script,
// time and size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "camcap/ScenePainter.h"
#include "camcap/SceneScript.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

SceneScript Script(const char* kind) {
    SceneScript script;
    EXPECT_TRUE(script.Add(kind)) << kind;
    return script;
}

std::vector<uint8_t> Picture(CScenePainter& painter, const SceneScript& script, double seconds) {
    std::vector<uint8_t> luma(size_t(painter.Width()) * painter.Height());
    painter.Paint(script, seconds, luma.data(), painter.Width());
    return luma;
}

double Mean(const std::vector<uint8_t>& luma) {
    double sum = 0;
    for (uint8_t level : luma) sum += level;
    return sum / double(luma.size());
}

bool InBox(const SceneBox& box, int x, int y) {
    return x >= box.Left && x < box.Left + box.Width && y >= box.Top && y < box.Top + box.Height;
}

}  // namespace

TEST(ScenePainterTest, TheFigureChangesItsBoxOnlyWhileItCrosses) {
    CScenePainter painter(kWidth, kHeight);
    const SceneScript still = Script("still");
    const SceneScript motion = Script("motion@10-15,30-32");
    const struct {
        double Seconds;
        bool Crossing;
    } cases[] = {{9.99, false}, {10, true},  {12.5, true}, {14.99, true},
                 {15, false},   {20, false}, {30.5, true}, {32, false}};
    for (const auto& c : cases) {
        const std::vector<uint8_t> background = Picture(painter, still, c.Seconds);
        const std::vector<uint8_t> scene = Picture(painter, motion, c.Seconds);
        SceneBox box;
        ASSERT_EQ(CScenePainter::FigureAt(motion, c.Seconds, kWidth, kHeight, box), c.Crossing)
            << c.Seconds;
        if (!c.Crossing) {
            EXPECT_EQ(scene, background) << c.Seconds;
            continue;
        }
        EXPECT_EQ(box.Width, kWidth / 8);
        EXPECT_EQ(box.Height, kHeight / 3);
        ASSERT_GE(box.Left, 0) << c.Seconds;
        ASSERT_LE(box.Left + box.Width, kWidth) << c.Seconds;
        int darker = 0, changedOutside = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const size_t at = size_t(y) * kWidth + x;
                if (!InBox(box, x, y)) {
                    changedOutside += scene[at] != background[at];
                } else {
                    darker += scene[at] + 25 < background[at];
                }
            }
        }
        EXPECT_EQ(changedOutside, 0) << c.Seconds;
        EXPECT_GT(darker, box.Width * box.Height / 3) << c.Seconds << ": the figure fills its box";
    }
    SceneBox first, last;
    ASSERT_TRUE(CScenePainter::FigureAt(motion, 10, kWidth, kHeight, first));
    ASSERT_TRUE(CScenePainter::FigureAt(motion, 14.99, kWidth, kHeight, last));
    EXPECT_EQ(first.Left, 0);
    EXPECT_GE(last.Left, kWidth - last.Width - 2) << "walks from one edge to the other";
}

TEST(ScenePainterTest, TheLampAndTheDriftMoveTheWholePicturesBrightness) {
    CScenePainter painter(kWidth, kHeight);
    const struct {
        const char* Kind;
        double Before, After;
        double Change;  // of the mean grey level
    } cases[] = {
        {"light@20", 19.5, 20.5, 40}, {"light@20,40", 39.5, 40.5, -40},
        {"drift", 0, 75, 20},         {"drift", 75, 225, -40},
        {"still", 10, 20, 0},         {"motion@50-60", 1, 2, 0},
    };
    for (const auto& c : cases) {
        const SceneScript script = Script(c.Kind);
        const double change =
            Mean(Picture(painter, script, c.After)) - Mean(Picture(painter, script, c.Before));
        EXPECT_NEAR(change, c.Change, 1.5) << c.Kind << " " << c.Before << "-" << c.After;
    }
}

TEST(ScenePainterTest, TheNoiseIsAsStrongAsScriptedAndNewInEachPicture) {
    CScenePainter painter(kWidth, kHeight);
    const struct {
        const char* Kind;
        double Sigma;
    } cases[] = {{"still", SceneScript::kStillNoiseSigma},
                 {"noise", SceneScript::kHeavyNoiseSigma}};
    for (const auto& c : cases) {
        const SceneScript script = Script(c.Kind);
        // Two pictures a frame apart share the room: their difference is noise alone,
        // with twice the variance of one picture's.
        const std::vector<uint8_t> a = Picture(painter, script, 100);
        const std::vector<uint8_t> b = Picture(painter, script, 100 + 1.0 / 30);
        double squares = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            const double d = double(a[i]) - double(b[i]);
            squares += d * d;
        }
        const double sigma = std::sqrt(squares / double(a.size()) / 2);
        EXPECT_NEAR(sigma, c.Sigma, c.Sigma * 0.12) << c.Kind;
    }
}

TEST(ScenePainterTest, APictureDependsOnlyOnItsScriptTimeAndSize) {
    SceneScript script = Script("motion@1-9");
    ASSERT_TRUE(script.Add("light@3"));
    ASSERT_TRUE(script.Add("noise"));
    CScenePainter one(kWidth, kHeight);
    CScenePainter other(kWidth, kHeight);
    const std::vector<uint8_t> first = Picture(one, script, 4.2);
    Picture(one, Script("still"), 7);  // another script in between changes nothing
    EXPECT_EQ(Picture(one, script, 4.2), first);
    EXPECT_EQ(Picture(other, script, 4.2), first);
    EXPECT_NE(Picture(other, script, 4.2 + 1.0 / 30), first);

    // The free function, into rows wider than the picture, paints the same and leaves
    // the padding alone.
    constexpr int kStride = kWidth + 16;
    std::vector<uint8_t> padded(size_t(kStride) * kHeight, 7);
    PaintScene(script, 4.2, padded.data(), kWidth, kHeight, kStride);
    for (int y = 0; y < kHeight; ++y) {
        const uint8_t* row = padded.data() + size_t(y) * kStride;
        ASSERT_TRUE(std::equal(row, row + kWidth, first.begin() + size_t(y) * kWidth)) << y;
        ASSERT_EQ(row[kWidth], 7) << y;
    }
}
