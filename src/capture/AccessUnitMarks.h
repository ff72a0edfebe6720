// The access units a recorder's ring holds, as the capture thread counts them: where
// each begins in the recorded stream, when it arrived, whether it is a key frame and
// whether bytes were dropped or the recording paused just before it. The recorder's
// worker takes them in order as it writes the bytes, to tell the catalog which file
// holds which pictures.
//
// Threads: one producer (the capture thread, through CRecorder::Push) and one consumer
// (the recorder's worker, then Stop). Lock-free like the ring: each side stores its own
// position after its copy (release) and loads the other's before (acquire); a full
// queue refuses a mark, and the producer then drops the access unit with it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

struct AccessUnitMark {
    uint64_t Offset = 0;     // of its first byte in the stream the ring received
    int64_t WallMs = 0;      // arrival, wall-clock milliseconds (UTC)
    bool KeyFrame = false;   // an IDR access unit with its parameter sets
    bool AfterDrop = false;  // bytes were dropped between the previous unit and this one
    bool AfterCut = false;   // the recording paused on purpose (no motion) before this one
};

class CAccessUnitMarks {
public:
    explicit CAccessUnitMarks(uint32_t capacity);

    CAccessUnitMarks(const CAccessUnitMarks&) = delete;
    CAccessUnitMarks& operator=(const CAccessUnitMarks&) = delete;

    // Producer: false when the queue is full.
    bool HasRoom() const;
    bool Add(const AccessUnitMark& mark);
    // Consumer: the oldest mark, left in place; false when there is none.
    bool Peek(AccessUnitMark* mark) const;
    void Pop();

private:
    const uint32_t capacity_;                  // slots, one always left free
    std::unique_ptr<AccessUnitMark[]> slots_;  // written by the producer before head_
    std::atomic<uint32_t> head_{0};            // next slot to fill; producer stores
    std::atomic<uint32_t> tail_{0};            // next slot to take; consumer stores
};
