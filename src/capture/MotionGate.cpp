#include "capture/MotionGate.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "common/AnnexB.h"

CMotionGate::CMotionGate(const CMotionTrigger& trigger, IAccessUnitSink& sink, WallClockFn clock)
    : trigger_(trigger),
      sink_(sink),
      clock_(clock != nullptr ? clock : &WallClockMs),
      passThrough_(!trigger.MotionOnly()),
      recording_(!trigger.MotionOnly()),
      wasMotionOnly_(trigger.MotionOnly()),
      seenStartMs_(trigger.StartedMs()) {}

void CMotionGate::OnStream(const uint8_t* data, int32_t length) {
    const bool motionOnly = trigger_.MotionOnly();
    if (!motionOnly && passThrough_) {
        sink_.Push(data, length);
        return;
    }
    if (data == nullptr || length <= 0) return;
    const uint32_t size = static_cast<uint32_t>(length);
    const int64_t nowMs = clock_();
    const bool keyFrame = IsKeyFrameAccessUnit(data, size);
    Drain();
    if (motionOnly) {
        FollowMotion(nowMs);
    } else if (!recording_) {
        BeginRecording();  // switched to continuous while idle
    }
    wasMotionOnly_ = motionOnly;
    if (recording_) {
        HandOver(data, size, nowMs, keyFrame);
    } else {
        Hold(data, size, nowMs, keyFrame);
    }
    passThrough_ = !motionOnly && backlog_.empty() && !awaitingKeyFrame_;
}

void CMotionGate::FollowMotion(int64_t nowMs) {
    const bool active = trigger_.Active();
    const int64_t startedMs = trigger_.StartedMs();
    const int64_t endedMs = trigger_.EndedMs();
    // A start whose flag is not seen yet counts as motion, and so does a motion that
    // began and ended between two units.
    const bool moving = active || startedMs > endedMs;
    const bool newMotion = startedMs != seenStartMs_;
    seenStartMs_ = startedMs;
    if (recording_ && !wasMotionOnly_) quietFromMs_ = nowMs;  // switched from continuous
    if (!recording_ && (moving || newMotion)) {
        TrimPreRoll(startedMs - kPreRollMs);
        BeginRecording();
        quietFromMs_ = startedMs;
    }
    if (recording_ && !moving && nowMs >= std::max(quietFromMs_, endedMs) + kPostRollMs) {
        EndEpisode();
    }
}

void CMotionGate::BeginRecording() {
    recording_ = true;
    // A pre-roll begins with a key frame; without one the file waits for the next.
    awaitingKeyFrame_ = preRoll_.empty();
    for (Unit& unit : preRoll_) backlog_.push_back(std::move(unit));
    backlogBytes_ += preRollBytes_;
    preRoll_.clear();
    preRollBytes_ = 0;
}

void CMotionGate::EndEpisode() {
    recording_ = false;
    awaitingKeyFrame_ = true;
    // The file ends behind the episode's last unit, which may still wait in the backlog.
    if (backlog_.empty()) {
        sink_.EndFileHere();
    } else {
        backlog_.back().EndsFile = true;
    }
}

void CMotionGate::Hold(const uint8_t* data, uint32_t length, int64_t nowMs, bool keyFrame) {
    if (preRoll_.empty() && !keyFrame) {
        skippedBytes_ += length;  // nothing decodes from here
        return;
    }
    preRoll_.push_back({std::vector<uint8_t>(data, data + length), nowMs, keyFrame, false});
    preRollBytes_ += length;
    TrimPreRoll(nowMs - kPreRollMs - kStartLagMs);
    while (preRollBytes_ > kHoldCapBytes) DropOldestGroup();
}

void CMotionGate::TrimPreRoll(int64_t fromMs) {
    while (!preRoll_.empty()) {
        const auto next = std::find_if(preRoll_.begin() + 1, preRoll_.end(),
                                       [](const Unit& unit) { return unit.KeyFrame; });
        if (next == preRoll_.end() || next->ArrivalMs > fromMs) return;
        DropOldestGroup();
    }
}

void CMotionGate::DropOldestGroup() {
    do {
        preRollBytes_ -= preRoll_.front().Bytes.size();
        skippedBytes_ += preRoll_.front().Bytes.size();
        preRoll_.pop_front();
    } while (!preRoll_.empty() && !preRoll_.front().KeyFrame);
}

void CMotionGate::HandOver(const uint8_t* data, uint32_t length, int64_t nowMs, bool keyFrame) {
    if (awaitingKeyFrame_) {
        if (!keyFrame) {
            skippedBytes_ += length;
            return;
        }
        awaitingKeyFrame_ = false;
    }
    Drain();
    if (backlog_.empty() && sink_.CanTake(length)) {
        sink_.Push(data, static_cast<int32_t>(length), nowMs);
        return;
    }
    backlog_.push_back({std::vector<uint8_t>(data, data + length), nowMs, keyFrame, false});
    backlogBytes_ += length;
    if (backlogBytes_ > kHoldCapBytes) Drain();
}

// The recorder's ring never waits for its disk: a unit that does not fit is dropped,
// and with it every unit up to the next key frame. A pre-roll can be larger than the
// whole ring, so what the ring cannot take now waits here and goes in at the next units
// as the worker frees room; live units queue behind it, so none is lost or reordered,
// and the capture thread never waits for the disk either.
void CMotionGate::Drain() {
    while (!backlog_.empty()) {
        Unit& unit = backlog_.front();
        const uint32_t length = static_cast<uint32_t>(unit.Bytes.size());
        // Past the cap the disk has fallen far behind: the unit goes all the same and
        // the recorder drops it as it drops any unit that meets a full ring (counted,
        // told as a hole, resumed at a key frame).
        if (backlogBytes_ <= kHoldCapBytes && !sink_.CanTake(length)) return;
        sink_.Push(unit.Bytes.data(), static_cast<int32_t>(length), unit.ArrivalMs);
        if (unit.EndsFile) sink_.EndFileHere();
        backlogBytes_ -= length;
        backlog_.pop_front();
    }
}

void CMotionGate::Close() {
    // The camera is closed, so nothing new comes; the recorder's Stop waits for its disk
    // next all the same. Waiting here for room in the ring, bounded, loses no second of
    // an event that began just before the close.
    const auto deadline = std::chrono::steady_clock::now() + kCloseWait;
    for (Unit& unit : backlog_) {
        const uint32_t length = static_cast<uint32_t>(unit.Bytes.size());
        while (!sink_.CanTake(length) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kCloseRetryMs));
        }
        sink_.Push(unit.Bytes.data(), static_cast<int32_t>(length), unit.ArrivalMs);
        if (unit.EndsFile) sink_.EndFileHere();
    }
    backlog_.clear();
    backlogBytes_ = 0;
    skippedBytes_ += preRollBytes_;
    preRoll_.clear();
    preRollBytes_ = 0;
}
