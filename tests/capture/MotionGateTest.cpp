// The motion gate against a recorder's stand-in, and with the real recorder: a synthetic
// stream of units of known sizes and arrival times (25 a second, a key frame every 2 s)
// under a fake clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "CaptureTestSupport.h"
#include "ToldFiles.h"
#include "capture/MotionGate.h"
#include "capture/Recorder.h"

namespace {

constexpr int64_t kT0 = 1704196800000;
constexpr int64_t kFrameMs = 40;
constexpr int kGroup = 50;

std::atomic<int64_t> nowMs{0};
int64_t FakeNow() {
    return nowMs.load();
}

int64_t ArrivalOf(int index) {
    return kT0 + kFrameMs * index;
}
bool IsKey(int index) {
    return index % kGroup == 0;
}
size_t SmallUnit(int index) {
    return IsKey(index) ? 3000 + index % 7 : 800 + index % 13;
}

// The unit's index ends it, in four bytes of seven bits with the top bit set: no zero
// byte, so no start code.
std::vector<uint8_t> MakeUnit(int index, size_t size) {
    std::vector<uint8_t> unit = AccessUnit(index, IsKey(index), 32);
    unit.resize(size, 0xA5);
    for (int k = 0; k < 4; ++k)
        unit[size - 4 + k] = static_cast<uint8_t>(0x80 | ((index >> (7 * k)) & 0x7F));
    return unit;
}
int IndexOf(const uint8_t* data, size_t length) {
    int index = 0;
    for (int k = 0; k < 4; ++k) index |= (data[length - 4 + k] & 0x7F) << (7 * k);
    return index;
}

// A recorder's stand-in: a ring of capacity bytes that the test empties, split into files
// where the gate asks. A unit pushed without a time is stamped now, as the recorder does.
class CFakeSink : public IAccessUnitSink {
public:
    using Files = std::vector<std::vector<std::pair<int, int64_t>>>;  // index, arrival

    explicit CFakeSink(uint64_t capacity = std::numeric_limits<uint64_t>::max())
        : capacity_(capacity) {}

    bool CanTake(uint32_t length) override {
        return length <= capacity_ - stored_ || length > capacity_;
    }
    void Push(const uint8_t* data, int32_t length) override { Push(data, length, FakeNow()); }
    void Push(const uint8_t* data, int32_t length, int64_t arrivalMs) override {
        const uint64_t size = static_cast<uint64_t>(length);
        if (size > capacity_ - stored_) {
            Dropped += size;
            return;
        }
        stored_ += size;
        Bytes += size;
        if (newFile_) Stored.emplace_back();
        newFile_ = false;
        Stored.back().emplace_back(IndexOf(data, size), arrivalMs);
    }
    void EndFileHere() override { newFile_ = true; }
    void Free(uint64_t bytes) { stored_ -= std::min(bytes, stored_); }

    Files Stored;
    uint64_t Bytes = 0;
    uint64_t Dropped = 0;

private:
    const uint64_t capacity_;
    uint64_t stored_ = 0;
    bool newFile_ = true;
};

// A gate in front of a stand-in, on motion only from its start.
struct CMotionOnlyTrigger : CMotionTrigger {
    CMotionOnlyTrigger() { SetMotionOnly(true); }
};
struct CGateRig {
    explicit CGateRig(uint64_t capacity = std::numeric_limits<uint64_t>::max()) : Sink(capacity) {}
    CMotionOnlyTrigger Trigger;
    CFakeSink Sink;
    CMotionGate Gate{Trigger, Sink, &FakeNow};
};

enum class Kind { Start, End, MotionOnly, Continuous };
struct Step {
    int64_t AtMs;  // after kT0
    Kind What;
};

// Delivers units [0, units) at their arrival times, applying each step due by then;
// after calls back after each unit.
void Play(CMotionGate& gate, CMotionTrigger& trigger, const std::vector<Step>& steps, int units,
          const std::function<size_t(int)>& sizeOf = SmallUnit,
          const std::function<void(int)>& after = {}) {
    size_t next = 0;
    for (int i = 0; i < units; ++i) {
        nowMs = ArrivalOf(i);
        for (; next < steps.size() && kT0 + steps[next].AtMs <= nowMs; ++next) {
            const int64_t at = kT0 + steps[next].AtMs;
            const Kind what = steps[next].What;
            if (what == Kind::Start)
                trigger.MotionStarted(at);
            else if (what == Kind::End)
                trigger.MotionEnded(at);
            else
                trigger.SetMotionOnly(what == Kind::MotionOnly);
        }
        const std::vector<uint8_t> unit = MakeUnit(i, sizeOf(i));
        gate.OnStream(unit.data(), static_cast<int32_t>(unit.size()));
        if (after) after(i);
    }
}
uint64_t BytesOf(int first, int last, const std::function<size_t(int)>& sizeOf = SmallUnit) {
    uint64_t bytes = 0;
    for (int i = first; i <= last; ++i) bytes += sizeOf(i);
    return bytes;
}

// The files the unit ranges [first, last] make, each unit with its true arrival.
CFakeSink::Files FilesOf(const std::vector<std::pair<int, int>>& ranges) {
    CFakeSink::Files files;
    for (const auto& [first, last] : ranges) {
        files.emplace_back();
        for (int i = first; i <= last; ++i) files.back().emplace_back(i, ArrivalOf(i));
    }
    return files;
}

TEST(MotionGateTest, KeepsTheGroupAlignedPreRollTheMotionAndTenSecondsAfterIt) {
    struct Case {
        const char* name;
        int units;
        std::vector<Step> steps;
        std::vector<std::pair<int, int>> files;  // unit ranges
    };
    using enum Kind;
    const std::vector<Case> cases = {
        {"continuous", 1000, {{0, Continuous}, {20000, Start}, {23000, End}}, {{0, 999}}},
        // The group from 14 s holds 15 s; the last unit before 33 s ends it.
        {"one motion", 1500, {{20000, Start}, {23000, End}}, {{350, 824}}},
        {"two motions",
         2500,
         {{20000, Start}, {23000, End}, {50000, Start}, {51000, End}},
         {{350, 824}, {1100, 1524}}},
        {"motion again within the post-roll",
         1500,
         {{20000, Start}, {23000, End}, {30000, Start}, {31000, End}},
         {{350, 1024}}},
        {"motion between two units", 1500, {{20010, Start}, {20020, End}}, {{350, 750}}},
        // The idle pre-roll reaches 6 s back from 29.96 s: the group from 22 s.
        {"to continuous while idle", 1500, {{30000, Continuous}}, {{550, 1499}}},
        // Continuous, then motion only with no motion: the file ends 10 s after the switch.
        {"to motion only while recording",
         2500,
         {{0, Continuous}, {30000, MotionOnly}, {60000, Start}, {61000, End}},
         {{0, 999}, {1350, 1774}}},
    };
    // Each case once into an endless ring, once into a ring of 64 KiB (less than the 6 s
    // from 14 s to 20 s) that the worker empties by 8 KiB a unit, about ten times what a
    // unit brings: a pre-roll that does not fit at once goes in whole and in order.
    constexpr uint64_t kRing = 65536;
    uint64_t mostWaiting = 0, mostHeld = 0;
    for (const Case& c : cases) {
        for (const uint64_t ring : {std::numeric_limits<uint64_t>::max(), kRing}) {
            SCOPED_TRACE(std::string(c.name) + (ring == kRing ? ", small ring" : ""));
            CGateRig rig(ring);
            Play(rig.Gate, rig.Trigger, c.steps, c.units, SmallUnit, [&](int) {
                mostWaiting = std::max(mostWaiting, rig.Gate.BacklogBytes());
                mostHeld = std::max(mostHeld, rig.Gate.PreRollBytes());
                rig.Sink.Free(8192);
            });
            EXPECT_EQ(FilesOf(c.files), rig.Sink.Stored);
            EXPECT_EQ(0u, rig.Sink.Dropped);
            EXPECT_EQ(BytesOf(0, c.units - 1), rig.Sink.Bytes + rig.Gate.SkippedBytes() +
                                                   rig.Gate.PreRollBytes() +
                                                   rig.Gate.BacklogBytes())
                << "every byte is recorded, held or let go";
        }
    }
    EXPECT_GT(mostWaiting, kRing / 2) << "a pre-roll did not fit the small ring at once";
    // Idle, the first group held starts within 8 s of the newest unit: 200 units at most,
    // of which 4 key frames.
    EXPECT_LE(mostHeld, 4 * 3006u + 196 * 812u);
}

TEST(MotionGateTest, WhatIsHeldStaysUnderTheCap) {
    // A runaway bitrate into a recorder whose disk stalls: 512 KiB units, a group more than
    // the cap. Pre-roll and backlog keep under the cap, the rest goes to the recorder to be
    // dropped there, and what it stores begins with a key frame and stays in order.
    const auto huge = [](int) -> size_t { return 1 << 19; };
    static_assert(kGroup * (1 << 19) > CMotionGate::kHoldCapBytes);
    CGateRig rig(1 << 20);
    uint64_t mostHeld = 0;
    Play(rig.Gate, rig.Trigger, {{3000, Kind::Start}}, 120, huge, [&](int) {
        mostHeld = std::max({mostHeld, rig.Gate.PreRollBytes(), rig.Gate.BacklogBytes()});
    });
    EXPECT_LE(mostHeld, CMotionGate::kHoldCapBytes);
    EXPECT_GT(rig.Sink.Dropped, 0u);
    ASSERT_EQ(1u, rig.Sink.Stored.size());
    const auto& file = rig.Sink.Stored[0];
    EXPECT_TRUE(IsKey(file.front().first));
    EXPECT_TRUE(std::is_sorted(file.begin(), file.end()));
}

TEST(MotionRecordingTest, EachEpisodeIsAFileOfItsOwnWithTrueTimesAndNoMotionBetween) {
    CTestApp app;
    CToldFiles told;
    CRecorder recorder("cam", app.Dir(), SteppingClock(MakeLocalTime(2024, 1, 2, 12, 0, 0)), &told);
    recorder.SetWallClock(&FakeNow);
    ASSERT_EQ(0, recorder.Start());
    CMotionTrigger trigger;
    trigger.SetMotionOnly(true);
    CMotionGate gate(trigger, recorder, &FakeNow);
    const auto sizeOf = [](int i) -> size_t { return IsKey(i) ? 60000 : 30000; };
    ASSERT_GT(BytesOf(350, 499, sizeOf), CRecorder::kRingBytes) << "a pre-roll the ring can't hold";

    // At a camera's pace: the ring has room for a few seconds again before each unit.
    bool paced = true;
    Play(gate, trigger,
         {{20000, Kind::Start}, {21000, Kind::End}, {45000, Kind::Start}, {46000, Kind::End}}, 1500,
         sizeOf, [&](int) {
             paced = paced &&
                     WaitUntil([&] { return recorder.BufferedBytes() < CRecorder::kRingBytes / 2; },
                               std::chrono::seconds(30));
         });
    EXPECT_TRUE(paced) << "waited for the worker to make room";
    gate.Close();
    recorder.Stop();
    EXPECT_EQ(0u, recorder.DroppedBytes());

    const std::vector<std::pair<int, int>> episodes = {{350, 774}, {1000, 1399}};
    const std::vector<std::string> paths = testsupport::ListFiles(app.RecordDir());
    const std::vector<CToldFiles::File> files = told.Files();
    ASSERT_EQ(episodes.size(), paths.size());
    ASSERT_EQ(episodes.size(), files.size());
    for (size_t f = 0; f < episodes.size(); ++f) {
        SCOPED_TRACE(paths[f]);
        const auto [first, last] = episodes[f];
        std::string expected;
        std::vector<int64_t> keyTimes, wantedKeyTimes;
        for (int i = first; i <= last; ++i) {
            const std::vector<uint8_t> unit = MakeUnit(i, sizeOf(i));
            expected.append(unit.begin(), unit.end());
            if (IsKey(i)) wantedKeyTimes.push_back(ArrivalOf(i));
        }
        EXPECT_TRUE(testsupport::ReadFile(paths[f]) == expected) << "the episode's units, whole";
        EXPECT_EQ(paths[f], files[f].Path);
        EXPECT_EQ(ArrivalOf(first), files[f].StartMs);
        EXPECT_EQ(ArrivalOf(last), files[f].EndMs);
        EXPECT_EQ(static_cast<uint32_t>(last - first + 1), files[f].Pictures);
        for (const RecordedKeyFrame& key : files[f].KeyFrames) keyTimes.push_back(key.WallMs);
        EXPECT_EQ(wantedKeyTimes, keyTimes);
    }
    // The hole between the episodes is told as one of no motion; none after the last.
    const std::vector<CToldFiles::Gap> gaps = told.Gaps();
    ASSERT_EQ(1u, gaps.size());
    EXPECT_EQ(ArrivalOf(774), gaps[0].FromMs);
    EXPECT_EQ(ArrivalOf(1000), gaps[0].ToMs);
    EXPECT_EQ(RecordingGapCause::NoMotion, gaps[0].Cause);
}

TEST(MotionRecordingTest, AFileEndsExactlyWhereItWasAskedToAndTheNextBeginsThere) {
    CTestApp app;
    CRecorder recorder("cam", app.Dir(), SteppingClock(MakeLocalTime(2024, 1, 2, 12, 0, 0)));
    ASSERT_EQ(0, recorder.Start());
    recorder.EndFileHere();  // nothing stored yet: no file to end
    // Runs of 1000, 2000 and 3000 bytes, each cut after: the first twice at the same byte,
    // which makes no empty file; the last just before Stop.
    const std::vector<uint8_t> stream = PatternBytes(0, 6000);
    for (int run = 1000, at = 0; run <= 3000; at += run, run += 1000) {
        recorder.Push(stream.data() + at, run);
        recorder.EndFileHere();
        if (at == 0) recorder.EndFileHere();
    }
    recorder.Stop();

    const std::vector<std::string> files = testsupport::ListFiles(app.RecordDir());
    ASSERT_EQ(3u, files.size());
    for (size_t f = 0; f < files.size(); ++f) EXPECT_EQ(1000 * (f + 1), FileSize(files[f]));
    EXPECT_EQ(-1, FirstPatternMismatch(files));
}

}  // namespace

TEST(MotionRecordingTest, ClosingJustAfterAStartKeepsTheWholePreRoll) {
    CTestApp app;
    CRecorder recorder("cam", app.Dir());
    recorder.SetWallClock(&FakeNow);
    ASSERT_EQ(0, recorder.Start());
    CMotionTrigger trigger;
    trigger.SetMotionOnly(true);
    CMotionGate gate(trigger, recorder, &FakeNow);
    const auto sizeOf = [](int i) -> size_t { return IsKey(i) ? 200000 : 100000; };
    // Motion seen at 7.9 s: the pre-roll from the key frame at 2 s (units 50 to 199, about
    // 15 MB) is far more than the ring holds, even if the worker empties it at each of
    // the two units after the start, and the camera closes before it made room.
    Play(gate, trigger, {{7900, Kind::Start}}, 200, sizeOf);
    ASSERT_GT(gate.BacklogBytes(), 0u);
    gate.Close();
    recorder.Stop();
    uint64_t expected = 0;
    for (int i = 50; i < 200; ++i) expected += sizeOf(i);
    EXPECT_EQ(0u, recorder.DroppedBytes());
    EXPECT_EQ(expected, recorder.WrittenBytes());
}
