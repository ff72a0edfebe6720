// The pictures of scripted scenes: the figure changes its own box and nothing else, only
// while it crosses; the lamp and the drift move the whole picture's brightness; the noise
// is as strong as scripted; a picture depends on nothing but its script, time and size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
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

std::vector<uint8_t> Picture(const SceneScript& script, double seconds) {
    CScenePainter painter(kWidth, kHeight);
    std::vector<uint8_t> luma(size_t(kWidth) * kHeight);
    painter.Paint(script, seconds, luma.data(), kWidth);
    return luma;
}

}  // namespace

TEST(ScenePainterTest, TheFigureChangesItsBoxOnlyWhileItCrosses) {
    const SceneScript motion = Script("motion@10-15,30-32");
    for (const double seconds : {9.99, 10.0, 12.5, 14.99, 15.0, 20.0, 30.5, 32.0}) {
        const std::vector<uint8_t> background = Picture(Script("still"), seconds);
        const std::vector<uint8_t> scene = Picture(motion, seconds);
        SceneBox box;
        const bool crossing = (seconds >= 10 && seconds < 15) || (seconds >= 30 && seconds < 32);
        ASSERT_EQ(CScenePainter::FigureAt(motion, seconds, kWidth, kHeight, box), crossing)
            << seconds;
        if (!crossing) {
            EXPECT_EQ(scene, background) << seconds;
            continue;
        }
        ASSERT_GE(box.Left, 0) << seconds;
        ASSERT_LE(box.Left + box.Width, kWidth) << seconds;
        int darker = 0, changedOutside = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const size_t at = size_t(y) * kWidth + x;
                const bool inBox = x >= box.Left && x < box.Left + box.Width && y >= box.Top &&
                                   y < box.Top + box.Height;
                if (inBox)
                    darker += scene[at] + 25 < background[at];
                else
                    changedOutside += scene[at] != background[at];
            }
        }
        EXPECT_EQ(changedOutside, 0) << seconds;
        EXPECT_GT(darker, box.Width * box.Height / 3) << seconds << ": the figure fills its box";
    }
    SceneBox first, last;
    ASSERT_TRUE(CScenePainter::FigureAt(motion, 10, kWidth, kHeight, first));
    ASSERT_TRUE(CScenePainter::FigureAt(motion, 14.99, kWidth, kHeight, last));
    EXPECT_EQ(first.Left, 0);
    EXPECT_GE(last.Left, kWidth - last.Width - 2) << "walks from one edge to the other";
}

// The lamp and the drift change the mean grey level; the noise, two pictures a frame
// apart differing by noise alone, has the scripted strength.
TEST(ScenePainterTest, TheLampDriftAndNoiseAreAsScripted) {
    const struct {
        const char* Kind;
        double Before, After, Change;
    } lights[] = {
        {"light@20", 19.5, 20.5, 40}, {"light@20,40", 39.5, 40.5, -40},
        {"drift", 0, 75, 20},         {"drift", 75, 225, -40},
        {"still", 10, 20, 0},         {"motion@50-60", 1, 2, 0},
    };
    const auto mean = [](const std::vector<uint8_t>& luma) {
        double sum = 0;
        for (const uint8_t level : luma) sum += level;
        return sum / double(luma.size());
    };
    for (const auto& c : lights) {
        const SceneScript script = Script(c.Kind);
        EXPECT_NEAR(mean(Picture(script, c.After)) - mean(Picture(script, c.Before)), c.Change, 1.5)
            << c.Kind << " " << c.Before << "-" << c.After;
    }
    for (const auto& [kind, sigma] : {std::pair{"still", SceneScript::kStillNoiseSigma},
                                      std::pair{"noise", SceneScript::kHeavyNoiseSigma}}) {
        const std::vector<uint8_t> a = Picture(Script(kind), 100);
        const std::vector<uint8_t> b = Picture(Script(kind), 100 + 1.0 / 30);
        double squares = 0;
        for (size_t i = 0; i < a.size(); ++i) squares += std::pow(double(a[i]) - double(b[i]), 2);
        EXPECT_NEAR(std::sqrt(squares / double(a.size()) / 2), sigma, sigma * 0.12) << kind;
    }
}

TEST(ScenePainterTest, APictureDependsOnlyOnItsScriptTimeAndSize) {
    SceneScript script = Script("motion@1-9");
    ASSERT_TRUE(script.Add("light@3"));
    ASSERT_TRUE(script.Add("noise"));
    CScenePainter painter(kWidth, kHeight);
    std::vector<uint8_t> first(size_t(kWidth) * kHeight);
    painter.Paint(script, 4.2, first.data(), kWidth);
    std::vector<uint8_t> again(first.size());
    painter.Paint(Script("still"), 7, again.data(), kWidth);  // changes nothing after it
    painter.Paint(script, 4.2, again.data(), kWidth);
    EXPECT_EQ(again, first);
    EXPECT_EQ(Picture(script, 4.2), first);
    EXPECT_NE(Picture(script, 4.2 + 1.0 / 30), first);

    // Into rows wider than the picture: the same, and the padding left alone.
    constexpr int kStride = kWidth + 16;
    std::vector<uint8_t> padded(size_t(kStride) * kHeight, 7);
    PaintScene(script, 4.2, padded.data(), kWidth, kHeight, kStride);
    for (int y = 0; y < kHeight; ++y) {
        const uint8_t* row = padded.data() + size_t(y) * kStride;
        ASSERT_TRUE(std::equal(row, row + kWidth, first.begin() + size_t(y) * kWidth)) << y;
        ASSERT_EQ(row[kWidth], 7) << y;
    }
}
