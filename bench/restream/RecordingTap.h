// Stands between a camera's channel and the restream server's tap: notes every access
// unit (the hashes of its slices and its wall-clock arrival) and hands it on unchanged,
// so that what clients receive can be matched to what the camera delivered.
//
// Threads: OnAccessUnit on the capture thread; the lookups on any thread. The list is
// shared under mutex_, held only to append or to read one answer.
#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "capture/StreamTap.h"

class CRecordingTap : public IStreamTap {
public:
    struct Unit {
        int64_t WallMs = 0;
    };

    explicit CRecordingTap(IStreamTap* next) : next_(next) {}

    void OnAccessUnit(const uint8_t* data, int32_t length, int64_t wallMs) override;

    int Count() const;
    // Distinct slice hashes: a scene that repeats itself repeats slices.
    int DistinctHashes() const;
    Unit At(int index) const;
    // The first unit that arrived at or after wallMs; Count() when none has yet.
    int IndexAtWall(int64_t wallMs) const;
    // A client's first slice: the latest unit holding it that arrived before
    // notAfterWallMs (a joining client starts at a kept key frame); -1 when none.
    int FindFirst(uint64_t hash, int64_t notAfterWallMs) const;
    // A client's next slice: the earliest unit holding it, from index on; -1 if none.
    int FindNext(uint64_t hash, int from) const;

private:
    IStreamTap* const next_;
    mutable std::mutex mutex_;
    std::vector<Unit> units_;                                // under mutex_
    std::unordered_map<uint64_t, std::vector<int>> byHash_;  // under mutex_: slice -> units
};
