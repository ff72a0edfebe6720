// Walking a camera's recordings: every picture comes out once with a time close to
// the one it was recorded at, also when the camera slows from 30 to 7.5 pictures a
// second and back, across files, and into a file still being written whose key frames
// the catalog has not heard of yet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "MemoryCatalog.h"
#include "PlaybackTestSupport.h"
#include "SyntheticRecorder.h"
#include "playback/RecordingCursor.h"
#include "support/TestSupport.h"

namespace {

constexpr int64_t kStartMs = 1767261600000;  // 2026-01-01 10:00 UTC

std::vector<int64_t> Concat(std::initializer_list<std::vector<int64_t>> parts) {
    std::vector<int64_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Every unit the cursor hands out from targetMs on, up to what there is now.
std::vector<TimedUnit> Drain(CRecordingCursor& cursor) {
    std::vector<TimedUnit> units;
    TimedUnit unit;
    while (cursor.Next(unit)) units.push_back(unit);
    return units;
}

int64_t LargestError(const std::vector<TimedUnit>& units, const std::vector<int64_t>& truth) {
    int64_t largest = 0;
    for (size_t i = 0; i < units.size() && i < truth.size(); ++i) {
        largest = std::max(largest, std::abs(units[i].TimeMs - truth[i]));
    }
    return largest;
}

class RecordingCursorTest : public testing::Test {
protected:
    testsupport::TempDir dir_;
    CMemoryCatalog catalog_;
};

TEST_F(RecordingCursorTest, PicturesKeepTheirTimesThroughARateChangeAndAcrossFiles) {
    CSyntheticRecorder recorder(catalog_, dir_.Path(), "前门");
    // 10 s at 30 a second, 12 s at 7.5 (a dark room), 6 s at 30 again; then a second
    // file after a 5 s hole.
    const std::vector<int64_t> fast = CSyntheticRecorder::Times(kStartMs, 30, 300);
    const std::vector<int64_t> slow = CSyntheticRecorder::Times(fast.back() + 133, 7.5, 90);
    const std::vector<int64_t> again = CSyntheticRecorder::Times(slow.back() + 33, 30, 180);
    ASSERT_TRUE(recorder.Record(Concat({fast, slow, again})));
    recorder.Finish();
    const std::vector<int64_t> second = CSyntheticRecorder::Times(again.back() + 5000, 30, 90);
    ASSERT_TRUE(recorder.Record(second));
    recorder.Finish();
    const std::vector<int64_t> truth = Concat({fast, slow, again, second});

    CRecordingCursor cursor(catalog_, "前门");
    ASSERT_TRUE(cursor.Seek(kStartMs));
    const std::vector<TimedUnit> units = Drain(cursor);
    ASSERT_EQ(truth.size(), units.size());
    // Times never go back, and stay well within a second of the truth, whatever the rate.
    for (size_t i = 1; i < units.size(); ++i) ASSERT_LE(units[i - 1].TimeMs, units[i].TimeMs);
    EXPECT_LT(LargestError(units, truth), 500);
    // The slow part plays slow: its 90 pictures span about its 12 s.
    const int64_t slowSpan = units[300 + 89].TimeMs - units[300].TimeMs;
    EXPECT_NEAR(slowSpan, slow.back() - slow.front(), 500);
    EXPECT_TRUE(units.front().Key);
    EXPECT_NE(units.front().FileId, units.back().FileId);
}

TEST_F(RecordingCursorTest, ASeekStartsAtTheKeyFrameForTheTime) {
    CSyntheticRecorder recorder(catalog_, dir_.Path(), "cam");
    const std::vector<int64_t> times = CSyntheticRecorder::Times(kStartMs, 30, 600);
    ASSERT_TRUE(recorder.Record(times));
    recorder.Finish();
    const std::vector<CatalogKeyFrame> keys = recorder.KeyFrames();
    ASSERT_GE(keys.size(), 9u);

    const struct {
        int64_t Target;
        CRecordingCursor::StartAt Start;
        int64_t FirstMs;  // of the first unit handed out
    } cases[] = {
        {kStartMs + 4500, CRecordingCursor::StartAt::KeyFrameAtOrBefore, keys[2].TimeMs},
        {kStartMs + 5500, CRecordingCursor::StartAt::KeyFrameAtOrBefore, keys[2].TimeMs},
        {kStartMs + 5500, CRecordingCursor::StartAt::NearestKeyFrame, keys[3].TimeMs},
        {kStartMs - 60000, CRecordingCursor::StartAt::KeyFrameAtOrBefore, keys[0].TimeMs},
        {kStartMs + 3600000, CRecordingCursor::StartAt::KeyFrameAtOrBefore, keys.back().TimeMs},
    };
    for (const auto& c : cases) {
        CRecordingCursor cursor(catalog_, "cam");
        ASSERT_TRUE(cursor.Seek(c.Target, c.Start));
        TimedUnit unit;
        ASSERT_TRUE(cursor.Next(unit));
        EXPECT_TRUE(unit.Key);
        EXPECT_EQ(c.FirstMs, unit.TimeMs) << "target " << c.Target - kStartMs;
    }
    CRecordingCursor unknown(catalog_, "no such camera");
    EXPECT_FALSE(unknown.Seek(kStartMs));
}

TEST_F(RecordingCursorTest, AGrowingFileIsReadBeyondWhatTheCatalogKnows) {
    CSyntheticRecorder recorder(catalog_, dir_.Path(), "cam");
    const std::vector<int64_t> first = CSyntheticRecorder::Times(kStartMs, 30, 150);
    ASSERT_TRUE(recorder.Record(first));
    const int64_t nowMs = kStartMs + 20000;
    CRecordingCursor cursor(catalog_, "cam", [nowMs] { return nowMs; });
    ASSERT_TRUE(cursor.Seek(kStartMs));
    std::vector<TimedUnit> units = Drain(cursor);
    // The last picture may still be incomplete on disk: all but it come out.
    EXPECT_EQ(first.size() - 1, units.size());

    // 5 s more reach the file; the catalog hears nothing of them yet.
    const std::vector<int64_t> more = CSyntheticRecorder::Times(first.back() + 33, 30, 150);
    ASSERT_TRUE(recorder.Record(more, false));
    const std::vector<TimedUnit> later = Drain(cursor);
    ASSERT_EQ(first.size() + more.size() - 1, units.size() + later.size());
    // Guessed from the camera's recent interval: close to the truth, never after now.
    units.insert(units.end(), later.begin(), later.end());
    EXPECT_LT(LargestError(units, Concat({first, more})), 500);
    EXPECT_LE(units.back().TimeMs, nowMs);
    EXPECT_GE(std::count_if(later.begin(), later.end(), [](const TimedUnit& u) { return u.Key; }),
              2);

    // The file is finished and a new one starts: the cursor goes on into it.
    recorder.Finish();
    const std::vector<int64_t> next = CSyntheticRecorder::Times(more.back() + 1000, 30, 60);
    ASSERT_TRUE(recorder.Record(next));
    recorder.Finish();
    const std::vector<TimedUnit> last = Drain(cursor);
    ASSERT_EQ(1 + next.size(), last.size());  // the held-back picture, then the new file
    EXPECT_EQ(next.front(), last[1].TimeMs);
}

}  // namespace
