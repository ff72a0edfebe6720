#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "motion/MotionEventTracker.h"

namespace {

constexpr double kLight = -1;  // marks an analysis that saw a change of light
constexpr double kMinAreaPct = 1.0;
constexpr int64_t kStepMs = 200;  // 5 analyses per second

struct Row {
    const char* Name;
    std::vector<double> Shares;  // one per analysis, kStepMs apart; kLight for light
    // One character per analysis: '.' nothing, 'S' started, 'E' ended.
    std::string Expected;
    int StartIndex = -1;  // the analysis whose time the last event starts at
    int EndIndex = -1;    // the analysis whose time the last event ends at
    double PeakPct = 0;
};

std::vector<double> Repeat(std::vector<double> head, double value, int count) {
    head.insert(head.end(), static_cast<size_t>(count), value);
    return head;
}

}  // namespace

TEST(MotionEventTrackerTest, StartsAfterTwoAnalysesAboveAndEndsAfterTwoQuietSeconds) {
    const std::vector<Row> rows = {
        {"one analysis above is no event", {0, 5, 0, 0, 5, 0}, "......"},
        {"two in a row start at the first", {0, 5, 3, 0}, "..S.", 1, 2, 5},
        {"the sensitivity itself counts", {1.0, 1.0}, ".S", 0, 1, 1.0},
        {"just below never starts", {0.99, 0.99, 0.99}, "..."},
        {"a light change breaks the run", {5, kLight, 5, 5}, "...S", 2, 3, 5},
        {"light changes alone never start", Repeat({}, kLight, 8), "........"},
        {"ends two seconds after the last above", Repeat({5, 7, 3}, 0, 10),
         "" + std::string(".S") + std::string(10, '.') + "E", 0, 2, 7},
        {"a dip shorter than two seconds does not end", Repeat(Repeat({5, 5}, 0, 9), 4, 1),
         ".S" + std::string(10, '.'), 0, 11, 5},
        {"light during an event is quiet", Repeat({5, 5}, kLight, 10), ".S.........E", 0, 1, 5},
        {"a second event starts afresh", Repeat(Repeat({5, 5}, 0, 10), 9, 2), ".S.........E.S", 12,
         13, 9},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        ASSERT_EQ(row.Shares.size(), row.Expected.size());
        CMotionEventTracker tracker;
        std::string seen;
        for (size_t i = 0; i < row.Shares.size(); ++i) {
            const bool light = row.Shares[i] == kLight;
            const auto change = tracker.Update(light ? 80.0 : row.Shares[i], light, kMinAreaPct,
                                               1000 + static_cast<int64_t>(i) * kStepMs);
            seen += change == CMotionEventTracker::Change::Started ? 'S'
                    : change == CMotionEventTracker::Change::Ended ? 'E'
                                                                   : '.';
        }
        EXPECT_EQ(seen, row.Expected);
        if (row.StartIndex >= 0) {
            EXPECT_EQ(tracker.StartMs(), 1000 + row.StartIndex * kStepMs);
            EXPECT_EQ(tracker.EndMs(), 1000 + row.EndIndex * kStepMs);
            EXPECT_DOUBLE_EQ(tracker.PeakPct(), row.PeakPct);
        }
    }
}

TEST(MotionEventTrackerTest, StopEndsOnlyAnEventUnderWayAndForgetsTheRun) {
    CMotionEventTracker tracker;
    EXPECT_EQ(tracker.Stop(), CMotionEventTracker::Change::None);
    tracker.Update(5, false, kMinAreaPct, 0);
    EXPECT_EQ(tracker.Stop(), CMotionEventTracker::Change::None);
    // The run was forgotten: one more analysis above does not start.
    EXPECT_EQ(tracker.Update(5, false, kMinAreaPct, 200), CMotionEventTracker::Change::None);
    EXPECT_EQ(tracker.Update(5, false, kMinAreaPct, 400), CMotionEventTracker::Change::Started);
    EXPECT_TRUE(tracker.Active());
    EXPECT_EQ(tracker.Stop(), CMotionEventTracker::Change::Ended);
    EXPECT_FALSE(tracker.Active());
    EXPECT_EQ(tracker.EndMs(), 400);
}
