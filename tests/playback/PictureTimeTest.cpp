// The time the player gives each picture against the time it was recorded at: each
// recorded picture carries its index, so the test knows which one it is shown.
#include <gtest/gtest.h>

#include <cstdlib>

#include "MemoryCatalog.h"
#include "PlaybackTestSupport.h"
#include "SyntheticRecorder.h"
#include "playback/Player.h"
#include "support/TestSupport.h"

namespace {

constexpr int64_t kStartMs = 1767261600000;  // 2026-01-01 10:00 UTC
constexpr int64_t kToleranceMs = 1000;

std::vector<int64_t> Concatenated(const std::vector<std::vector<int64_t>>& parts) {
    std::vector<int64_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(PictureTimeTest, EveryPictureShowsWithinASecondOfItsRecordedTime) {
    PlaybackTestFolder();
    const std::vector<int64_t> steady = CSyntheticRecorder::Times(kStartMs, 30, 600);
    // 10 s at 30 a second, 10 s at 7.5 (a camera in the dark), and 30 again.
    const std::vector<int64_t> fast = CSyntheticRecorder::Times(kStartMs, 30, 300);
    const std::vector<int64_t> slow = CSyntheticRecorder::Times(fast.back() + 133, 7.5, 75);
    const std::vector<int64_t> again = CSyntheticRecorder::Times(slow.back() + 33, 30, 300);
    const struct {
        const char* What;
        std::vector<int64_t> Times;
        int64_t ExactWithinMs;  // where the rate is steady, the times agree this closely
    } cases[] = {
        {"a steady 30 a second", steady, 2},
        {"30, 7.5 and 30 a second", Concatenated({fast, slow, again}), kToleranceMs},
    };
    for (const auto& c : cases) {
        testsupport::TempDir dir;
        CMemoryCatalog catalog;
        CSyntheticRecorder recorder(catalog, dir.Path(), "cam");
        CSyntheticRecorder::Look look;
        look.Stamped = true;
        recorder.SetLook(look);
        ASSERT_TRUE(recorder.Record(c.Times)) << c.What;
        recorder.Finish();

        CShownPictures shown;
        CPlayer player(catalog, &shown, &shown);
        player.SetRate(8);
        player.Open("cam", c.Times.front());
        player.Play();
        const int64_t last = c.Times.back();
        ASSERT_TRUE(shown.WaitFor([&](const auto& times) {
            return !times.empty() && times.back() >= last;
        })) << c.What;
        const std::vector<int64_t> times = shown.Times();
        const std::vector<int64_t> stamps = shown.Stamps();
        ASSERT_EQ(times.size(), stamps.size()) << c.What;
        EXPECT_EQ(c.Times.size(), times.size()) << c.What;
        int64_t worstMs = 0;
        for (size_t i = 0; i < times.size(); ++i) {
            ASSERT_GE(stamps[i], 0) << c.What << ": picture " << i << " carries no index";
            ASSERT_LT(stamps[i], static_cast<int64_t>(c.Times.size())) << c.What;
            worstMs = std::max(worstMs, std::abs(times[i] - c.Times[stamps[i]]));
        }
        EXPECT_LE(worstMs, c.ExactWithinMs) << c.What;
    }
}

}  // namespace
