// Records a camera around motion only: sits between the camera channel's stream
// callback and its recorder and decides, unit by unit, what the recorder gets.
//
// Continuous (the trigger's default) passes every unit straight on. On motion only,
// while nothing moves it keeps the last 5 s in memory in whole groups of pictures (each
// from a key frame on); when motion starts, the group holding "start - 5 s" and all
// after it go to the recorder, then the live units, until 10 s after the motion's end
// (motion that starts again before then only lengthens the episode). Each episode ends
// its file, so the next one begins a file of its own with a key frame. The mode may
// change at any time: to continuous, what is held goes on in order and then everything;
// to motion only, the current file ends when the post-roll after the latest motion (or
// after the switch) has passed.
//
// Threads: OnStream runs on the capture library's thread, which owns every field; it
// reads the trigger's atomics. Construction, Close and destruction run on the owner's
// thread while no OnStream can run (the channel closes the camera first). The counters
// may be read on the capture thread or once it is done.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

#include "capture/AccessUnitSink.h"
#include "capture/MotionTrigger.h"
#include "platform/LocalTime.h"

class CMotionGate {
public:
    static constexpr int64_t kPreRollMs = 5000;    // kept from before a motion's start
    static constexpr int64_t kPostRollMs = 10000;  // recorded after its end
    // The detector tells a start a little after the pictures that show it; the pre-roll
    // kept while idle reaches this much further back, so the group holding "start - 5 s"
    // is still there when the start is told.
    static constexpr int64_t kStartLagMs = 1000;
    // Bytes held in the pre-roll, and again in the backlog, at most: 6 s of a camera
    // at 32 Mbit/s. Past it the oldest group goes (pre-roll) or the recorder drops
    // units as for a full ring (backlog).
    static constexpr uint64_t kHoldCapBytes = 25165824;  // 24 MiB
    static constexpr std::chrono::seconds kCloseWait{10};
    static constexpr int kCloseRetryMs = 2;

    // trigger and sink must outlive the gate; clock stamps each unit's arrival.
    CMotionGate(const CMotionTrigger& trigger, IAccessUnitSink& sink,
                WallClockFn clock = &WallClockMs);

    CMotionGate(const CMotionGate&) = delete;
    CMotionGate& operator=(const CMotionGate&) = delete;

    // Capture thread: one whole access unit, just arrived.
    void OnStream(const uint8_t* data, int32_t length);
    // Once no OnStream can come: the units held for the recorder go to it as its ring
    // makes room (waiting up to kCloseWait in all; past it the recorder drops and counts
    // what does not fit); the pre-roll is let go.
    void Close();

    // Whether units go to the recorder now (continuous, or within an episode).
    bool Recording() const { return recording_; }
    uint64_t PreRollBytes() const { return preRollBytes_; }
    uint64_t BacklogBytes() const { return backlogBytes_; }
    // Bytes let go by design: outside every pre- and post-roll, or before the key frame
    // a new file must begin with.
    uint64_t SkippedBytes() const { return skippedBytes_; }

private:
    struct Unit {
        std::vector<uint8_t> Bytes;
        int64_t ArrivalMs = 0;
        bool KeyFrame = false;
        bool EndsFile = false;  // the last unit of an episode
    };

    // Motion only: starts or ends an episode as the trigger says.
    void FollowMotion(int64_t nowMs);
    void BeginRecording();
    void EndEpisode();
    // Idle: keeps the unit in the pre-roll, within its bounds.
    void Hold(const uint8_t* data, uint32_t length, int64_t nowMs, bool keyFrame);
    // Drops leading groups while the next group starts no later than fromMs.
    void TrimPreRoll(int64_t fromMs);
    void DropOldestGroup();
    // Recording: the unit goes to the recorder now, or behind the backlog.
    void HandOver(const uint8_t* data, uint32_t length, int64_t nowMs, bool keyFrame);
    // Hands the backlog on as far as the recorder has room (all of it past the cap).
    void Drain();

    const CMotionTrigger& trigger_;
    IAccessUnitSink& sink_;
    const WallClockFn clock_;

    // The capture thread's, as every OnStream (the owner's before and after them).
    bool passThrough_;               // continuous with nothing held: units go straight on
    bool recording_;                 // units go to the recorder
    bool wasMotionOnly_;             // the mode of the previous unit
    bool awaitingKeyFrame_ = false;  // a new file must begin with a key frame
    int64_t seenStartMs_;            // the trigger's last start this gate saw
    int64_t quietFromMs_ = 0;        // the post-roll counts from here at the earliest
    std::deque<Unit> preRoll_;       // idle: the last seconds, from a key frame on
    std::deque<Unit> backlog_;       // recording: units waiting for room in the ring
    uint64_t preRollBytes_ = 0;
    uint64_t backlogBytes_ = 0;
    uint64_t skippedBytes_ = 0;
};
