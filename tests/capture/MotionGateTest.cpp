// The motion gate against a recorder's stand-in, and once with the real recorder: a
// synthetic stream of units of known sizes and arrival times (25 a second, a key frame
// every 2 s) under a fake clock.
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
#include "common/AnnexB.h"

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

// Unit index as AccessUnit builds it, its index written after the slice header in four
// bytes of seven bits with the top bit set: no zero byte, so no start code.
size_t IndexAt(bool keyFrame) {
    return keyFrame ? 22 : 10;
}
std::vector<uint8_t> MakeUnit(int index, size_t size) {
    std::vector<uint8_t> unit = AccessUnit(index, IsKey(index), 32);
    unit.resize(size, 0xA5);
    for (int k = 0; k < 4; ++k)
        unit[IndexAt(IsKey(index)) + k] = static_cast<uint8_t>(0x80 | ((index >> (7 * k)) & 0x7F));
    return unit;
}
int IndexOf(const uint8_t* data, size_t length) {
    const size_t at = IndexAt(IsKeyFrameAccessUnit(data, length));
    int index = 0;
    for (int k = 0; k < 4; ++k) index |= (data[at + k] & 0x7F) << (7 * k);
    return index;
}

// A recorder's stand-in: a ring of capacity bytes that the test empties, split into
// files where the gate asks.
class CFakeSink : public IAccessUnitSink {
public:
    struct Got {
        int Index;
        int64_t ArrivalMs;
        bool Timed;  // handed with its arrival time
    };

    explicit CFakeSink(uint64_t capacity = std::numeric_limits<uint64_t>::max())
        : capacity_(capacity) {}

    bool CanTake(uint32_t length) override {
        return length <= capacity_ - stored_ || length > capacity_;
    }
    void Push(const uint8_t* data, int32_t length) override { Take(data, length, 0, false); }
    void Push(const uint8_t* data, int32_t length, int64_t arrivalMs) override {
        Take(data, length, arrivalMs, true);
    }
    void EndFileHere() override {
        if (!files_.back().empty()) files_.emplace_back();
    }
    void Free(uint64_t bytes) { stored_ -= std::min(bytes, stored_); }

    std::vector<std::vector<Got>> Files() const {
        std::vector<std::vector<Got>> files = files_;
        if (files.back().empty()) files.pop_back();
        return files;
    }
    uint64_t Bytes = 0;
    uint64_t Dropped = 0;

private:
    void Take(const uint8_t* data, int32_t length, int64_t arrivalMs, bool timed) {
        const uint64_t size = static_cast<uint64_t>(length);
        if (size > capacity_ - stored_) {
            Dropped += size;
            return;
        }
        stored_ += size;
        Bytes += size;
        files_.back().push_back({IndexOf(data, size), arrivalMs, timed});
    }

    const uint64_t capacity_;
    uint64_t stored_ = 0;
    std::vector<std::vector<Got>> files_{1};
};

enum class Kind { Start, End, MotionOnly, Continuous };
struct Step {
    int64_t AtMs;  // after kT0
    Kind What;
};

// Delivers units [0, units) at their arrival times, applying each step due by then;
// after calls back after each unit. Returns the bytes delivered.
uint64_t Play(CMotionGate& gate, CMotionTrigger& trigger, const std::vector<Step>& steps, int units,
              const std::function<size_t(int)>& sizeOf = SmallUnit,
              const std::function<void(int)>& after = {}) {
    uint64_t delivered = 0;
    size_t next = 0;
    for (int i = 0; i < units; ++i) {
        nowMs = ArrivalOf(i);
        for (; next < steps.size() && kT0 + steps[next].AtMs <= nowMs; ++next) {
            const int64_t at = kT0 + steps[next].AtMs;
            switch (steps[next].What) {
                case Kind::Start:
                    trigger.MotionStarted(at);
                    break;
                case Kind::End:
                    trigger.MotionEnded(at);
                    break;
                case Kind::MotionOnly:
                    trigger.SetMotionOnly(true);
                    break;
                case Kind::Continuous:
                    trigger.SetMotionOnly(false);
                    break;
            }
        }
        const std::vector<uint8_t> unit = MakeUnit(i, sizeOf(i));
        gate.OnStream(unit.data(), static_cast<int32_t>(unit.size()));
        delivered += unit.size();
        if (after) after(i);
    }
    return delivered;
}

// Every file holds the units [first, last] of its range, in order, beginning with a key
// frame; a unit handed with a time has its true arrival. Returns the bytes expected.
uint64_t ExpectFiles(const CFakeSink& sink, const std::vector<std::pair<int, int>>& ranges,
                     const std::function<size_t(int)>& sizeOf = SmallUnit) {
    const auto files = sink.Files();
    EXPECT_EQ(ranges.size(), files.size());
    uint64_t bytes = 0;
    for (size_t f = 0; f < std::min(ranges.size(), files.size()); ++f) {
        const auto [first, last] = ranges[f];
        std::vector<int> got;
        for (const CFakeSink::Got& unit : files[f]) {
            got.push_back(unit.Index);
            if (unit.Timed) {
                EXPECT_EQ(ArrivalOf(unit.Index), unit.ArrivalMs) << unit.Index;
            }
        }
        std::vector<int> wanted;
        for (int i = first; i <= last; ++i) {
            wanted.push_back(i);
            bytes += sizeOf(i);
        }
        EXPECT_EQ(wanted, got) << "file " << f;
        EXPECT_TRUE(IsKey(first)) << "file " << f;
    }
    return bytes;
}

TEST(MotionGateTest, KeepsTheGroupAlignedPreRollTheMotionAndTenSecondsAfterIt) {
    struct Case {
        const char* name;
        bool motionOnly;
        int units;
        std::vector<Step> steps;
        std::vector<std::pair<int, int>> files;  // unit ranges
        int untimed;                             // units passed straight on
    };
    using enum Kind;
    const std::vector<Case> cases = {
        {"continuous", false, 1000, {{20000, Start}, {23000, End}}, {{0, 999}}, 1000},
        // The group from 14 s holds 15 s; the last unit before 33 s ends it.
        {"one motion", true, 1500, {{20000, Start}, {23000, End}}, {{350, 824}}, 0},
        {"two motions",
         true,
         2500,
         {{20000, Start}, {23000, End}, {50000, Start}, {51000, End}},
         {{350, 824}, {1100, 1524}},
         0},
        {"motion again within the post-roll",
         true,
         1500,
         {{20000, Start}, {23000, End}, {30000, Start}, {31000, End}},
         {{350, 1024}},
         0},
        {"motion between two units", true, 1500, {{20010, Start}, {20020, End}}, {{350, 750}}, 0},
        // The idle pre-roll reaches 6 s back from 29.96 s: the group from 22 s.
        {"to continuous while idle", true, 1500, {{30000, Continuous}}, {{550, 1499}}, 749},
        // Continuous, then motion only with no motion: the file ends 10 s after the switch.
        {"to motion only while recording",
         false,
         2500,
         {{30000, MotionOnly}, {60000, Start}, {61000, End}},
         {{0, 999}, {1350, 1774}},
         750},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMotionTrigger trigger;
        trigger.SetMotionOnly(c.motionOnly);
        CFakeSink sink;
        CMotionGate gate(trigger, sink, &FakeNow);
        const uint64_t delivered = Play(gate, trigger, c.steps, c.units);

        EXPECT_EQ(ExpectFiles(sink, c.files), sink.Bytes);
        int untimed = 0;
        for (const auto& file : sink.Files())
            for (const CFakeSink::Got& unit : file) untimed += unit.Timed ? 0 : 1;
        EXPECT_EQ(c.untimed, untimed);
        EXPECT_EQ(delivered,
                  sink.Bytes + gate.SkippedBytes() + gate.PreRollBytes() + gate.BacklogBytes())
            << "every byte is recorded, held or let go";
    }
}

TEST(MotionGateTest, APreRollLargerThanTheRingGoesInWholeAndInOrderAsRoomComes) {
    CMotionTrigger trigger;
    trigger.SetMotionOnly(true);
    constexpr uint64_t kRing = 65536;  // less than the 6 s from 14 s to 20 s
    CFakeSink sink(kRing);
    CMotionGate gate(trigger, sink, &FakeNow);
    uint64_t mostWaiting = 0;
    // The worker frees 8 KiB per unit, about ten times what a unit brings.
    Play(gate, trigger, {{20000, Kind::Start}, {23000, Kind::End}}, 1500, SmallUnit, [&](int) {
        mostWaiting = std::max(mostWaiting, gate.BacklogBytes());
        sink.Free(8192);
    });
    EXPECT_GT(mostWaiting, kRing / 2) << "the pre-roll did not fit at once";
    EXPECT_EQ(ExpectFiles(sink, {{350, 824}}), sink.Bytes);
    EXPECT_EQ(0u, sink.Dropped);
    EXPECT_EQ(0u, gate.BacklogBytes());
}

TEST(MotionGateTest, WhatIsHeldStaysBoundedByTimeAndByTheCap) {
    // Idle on an ordinary stream: at most 6 s and the group reaching past them.
    {
        CMotionTrigger trigger;
        trigger.SetMotionOnly(true);
        CFakeSink sink;
        CMotionGate gate(trigger, sink, &FakeNow);
        uint64_t most = 0;
        Play(gate, trigger, {}, 1500, SmallUnit,
             [&](int) { most = std::max(most, gate.PreRollBytes()); });
        // The first group starts within 8 s of the newest unit: 200 units at most.
        uint64_t eightSeconds = 0;
        for (int first = 0; first + 200 <= 1500; first += kGroup) {
            uint64_t sum = 0;
            for (int i = first; i < first + 200; ++i) sum += SmallUnit(i);
            eightSeconds = std::max(eightSeconds, sum);
        }
        EXPECT_GT(most, 0u);
        EXPECT_LE(most, eightSeconds);
        EXPECT_TRUE(sink.Files().empty());
    }
    // A runaway bitrate: 512 KiB units, a group more than the cap. The pre-roll keeps
    // under the cap, and the motion's file still begins with a key frame.
    const auto huge = [](int) -> size_t { return 1 << 19; };
    static_assert(kGroup * (1 << 19) > CMotionGate::kHoldCapBytes);
    {
        CMotionTrigger trigger;
        trigger.SetMotionOnly(true);
        CFakeSink sink;
        CMotionGate gate(trigger, sink, &FakeNow);
        uint64_t most = 0;
        Play(gate, trigger, {{3000, Kind::Start}}, 120, huge,
             [&](int) { most = std::max(most, gate.PreRollBytes()); });
        EXPECT_LE(most, CMotionGate::kHoldCapBytes);
        ASSERT_EQ(1u, sink.Files().size());
        EXPECT_TRUE(IsKey(sink.Files()[0].front().Index));
    }
    // A recorder whose disk stalls: the backlog keeps under the cap, the rest goes to
    // the recorder to be dropped there, and what it stores stays in order.
    {
        CMotionTrigger trigger;
        trigger.SetMotionOnly(true);
        trigger.MotionStarted(kT0);
        CFakeSink sink(1 << 20);
        CMotionGate gate(trigger, sink, &FakeNow);
        uint64_t most = 0;
        Play(gate, trigger, {}, 100, huge,
             [&](int) { most = std::max(most, gate.BacklogBytes()); });
        EXPECT_LE(most, CMotionGate::kHoldCapBytes);
        EXPECT_GT(sink.Dropped, 0u);
        for (const auto& file : sink.Files())
            EXPECT_TRUE(std::is_sorted(file.begin(), file.end(),
                                       [](auto& a, auto& b) { return a.Index < b.Index; }));
    }
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
    uint64_t preRoll = 0;
    for (int i = 350; i < 500; ++i) preRoll += sizeOf(i);
    ASSERT_GT(preRoll, CRecorder::kRingBytes);

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
        for (int i = first; i <= last; ++i) {
            const std::vector<uint8_t> unit = MakeUnit(i, sizeOf(i));
            expected.append(unit.begin(), unit.end());
        }
        EXPECT_TRUE(testsupport::ReadFile(paths[f]) == expected) << "the episode's units, whole";
        EXPECT_EQ(paths[f], files[f].Path);
        EXPECT_EQ(ArrivalOf(first), files[f].StartMs);
        EXPECT_EQ(ArrivalOf(last), files[f].EndMs);
        EXPECT_EQ(static_cast<uint32_t>(last - first + 1), files[f].Pictures);
        std::vector<int64_t> keyTimes;
        for (const RecordedKeyFrame& key : files[f].KeyFrames) keyTimes.push_back(key.WallMs);
        std::vector<int64_t> wanted;
        for (int i = first; i <= last; i += kGroup) wanted.push_back(ArrivalOf(i));
        EXPECT_EQ(wanted, keyTimes);
    }
    // Nothing is told for the time after the last episode: the recording stopped.
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
    const std::vector<uint8_t> stream = PatternBytes(0, 6000);
    // Runs of 1000, 2000 and 3000 bytes, each in a file of its own; asking twice at the
    // same byte makes no empty file, and the last cut comes just before Stop.
    recorder.Push(stream.data(), 1000);
    recorder.EndFileHere();
    recorder.EndFileHere();
    recorder.Push(stream.data() + 1000, 2000);
    recorder.EndFileHere();
    recorder.Push(stream.data() + 3000, 3000);
    recorder.EndFileHere();
    recorder.Stop();

    const std::vector<std::string> files = testsupport::ListFiles(app.RecordDir());
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ(1000u, FileSize(files[0]));
    EXPECT_EQ(2000u, FileSize(files[1]));
    EXPECT_EQ(3000u, FileSize(files[2]));
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
    const auto sizeOf = [](int i) -> size_t { return IsKey(i) ? 60000 : 30000; };
    // Motion seen at 7.9 s: the pre-roll from the key frame at 2 s (units 50 to 199) is
    // more than the ring holds, and the camera closes before the worker made room.
    Play(gate, trigger, {{7900, Kind::Start}}, 200, sizeOf);
    ASSERT_GT(gate.BacklogBytes(), 0u);
    gate.Close();
    recorder.Stop();
    uint64_t expected = 0;
    for (int i = 50; i < 200; ++i) expected += sizeOf(i);
    EXPECT_EQ(0u, recorder.DroppedBytes());
    EXPECT_EQ(expected, recorder.WrittenBytes());
}
