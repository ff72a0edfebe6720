// The player on recordings made in the test: a seek shows the picture of the time asked
// for (inside a file, in a hole, before and after everything, in the next file), one
// picture forward, playing on, following a file as it grows, and a snapshot.
#include <gtest/gtest.h>

#include <algorithm>

#include "MemoryCatalog.h"
#include "PlaybackTestSupport.h"
#include "SyntheticRecorder.h"
#include "playback/Player.h"
#include "support/TestSupport.h"

namespace {

constexpr int64_t kStartMs = 1767261600000;  // 2026-01-01 10:00 UTC
constexpr int64_t kIntervalMs = 33;          // 30 pictures a second

class PlayerTest : public testing::Test {
protected:
    void SetUp() override {
        PlaybackTestFolder();
        // Two files of 20 s with a 10 s hole between them.
        CSyntheticRecorder recorder(catalog_, dir_.Path(), "cam");
        first_ = CSyntheticRecorder::Times(kStartMs, 30, 600);
        ASSERT_TRUE(recorder.Record(first_));
        recorder.Finish();
        second_ = CSyntheticRecorder::Times(first_.back() + 10000, 30, 600);
        ASSERT_TRUE(recorder.Record(second_));
        recorder.Finish();
    }

    testsupport::TempDir dir_;
    CMemoryCatalog catalog_;
    std::vector<int64_t> first_;
    std::vector<int64_t> second_;
};

TEST_F(PlayerTest, ASeekShowsThePictureOfTheTimeAskedFor) {
    CShownPictures shown;
    CPlayer player(catalog_, &shown, &shown);
    const struct {
        const char* What;
        int64_t Target;
        int64_t Lowest;  // the time of the picture shown lies in [Lowest, Highest]
        int64_t Highest;
    } cases[] = {
        {"inside the first file", kStartMs + 7400, kStartMs + 7400, kStartMs + 7400 + kIntervalMs},
        {"its first picture", kStartMs, kStartMs, kStartMs},
        {"in the hole", first_.back() + 4000, second_.front(), second_.front()},
        {"inside the second file", second_.front() + 12345, second_.front() + 12345,
         second_.front() + 12345 + kIntervalMs},
        {"before everything", kStartMs - 3600000, kStartMs, kStartMs},
        {"after everything: the last picture", second_.back() + 60000, second_.back(),
         second_.back()},
    };
    for (const auto& c : cases) {
        const size_t before = shown.Times().size();
        player.Open("cam", c.Target);
        ASSERT_TRUE(shown.WaitFor([&](const auto& times) { return times.size() > before; }))
            << c.What;
        const int64_t time = shown.Times()[before];
        EXPECT_GE(time, c.Lowest) << c.What;
        EXPECT_LE(time, c.Highest) << c.What;
        EXPECT_EQ(time, player.ShownMs()) << c.What;
    }
    EXPECT_EQ(320, shown.LastWidth());
    EXPECT_GT(player.PicturesSkipped(), 0u);
}

TEST_F(PlayerTest, StepsOnePictureWhilePausedAndPlaysOnIntoTheNextFile) {
    CShownPictures shown;
    CPlayer player(catalog_, &shown, &shown);
    player.Open("cam", first_.back() - 500);
    ASSERT_TRUE(shown.WaitFor([](const auto& times) { return times.size() == 1; }));
    for (int i = 0; i < 3; ++i) player.Step();
    ASSERT_TRUE(shown.WaitFor([](const auto& times) { return times.size() == 4; }));
    std::vector<int64_t> times = shown.Times();
    // One picture each, each the next one recorded (times spread from the key frames
    // fall within a millisecond of the recorded ones).
    const auto at = std::lower_bound(first_.begin(), first_.end(), times[0] - 1);
    ASSERT_LT(at + 4, first_.end());
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(at[i], times[i], 1) << i;

    // At 8x the hole between the files is skipped, not waited out.
    player.SetRate(8);
    player.Play();
    ASSERT_TRUE(shown.WaitFor(
        [&](const auto& t) { return !t.empty() && t.back() >= second_.front() + 1000; }));
    player.Pause();
    times = shown.Times();
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    EXPECT_TRUE(std::binary_search(times.begin(), times.end(), second_.front()));
    EXPECT_EQ(8, player.Rate());

    const std::string jpeg = dir_ / "shown.jpg";
    EXPECT_EQ(0, player.Snapshot(jpeg));
    EXPECT_GT(testsupport::ReadFile(jpeg).size(), 1000u);
}

TEST_F(PlayerTest, FollowsAFileAsItIsWritten) {
    CSyntheticRecorder live(catalog_, dir_.Path(), "live");
    const std::vector<int64_t> start = CSyntheticRecorder::Times(kStartMs + 3600000, 30, 90);
    ASSERT_TRUE(live.Record(start));
    CShownPictures shown;
    CPlayer player(catalog_, &shown, &shown);
    EXPECT_EQ(-2, player.Snapshot(dir_ / "none.jpg"));
    player.SetRate(8);
    player.Open("live", start.front());
    player.Play();
    // All but the newest picture, which may not be whole on disk yet.
    ASSERT_TRUE(shown.WaitFor([&](const auto& t) { return t.size() == start.size() - 1; }));
    EXPECT_NEAR(start[start.size() - 2], shown.Times().back(), 100);

    // More is written, the catalog hears nothing yet: the player finds it on disk.
    const std::vector<int64_t> more = CSyntheticRecorder::Times(start.back() + 33, 30, 90);
    ASSERT_TRUE(live.Record(more, false));
    ASSERT_TRUE(
        shown.WaitFor([&](const auto& t) { return t.size() >= start.size() + more.size() - 1; }));
    const std::vector<int64_t> times = shown.Times();
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    EXPECT_GE(times.back(), more[more.size() - 10]);
}

}  // namespace
