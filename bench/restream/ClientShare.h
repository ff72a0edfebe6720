// How much of a camera's stream one client received: its slices matched, in order,
// to the access units the camera's tap saw.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "RecordingTap.h"

struct ClientShare {
    int Received = 0;  // access units (pictures) matched, each once
    int Expected = 0;  // tap units from the client's first picture to its last
    // How far the client's last picture was behind its stop: units still on their way
    // (in the server's queue, the sockets or the client) when it was stopped.
    int64_t BehindMs = 0;
    int Unmatched = 0;  // slices found nowhere in the tap (should be none)
    int Lifetime = 0;   // tap units between the client's start and stop
    // The runs of units missed inside the window, as milliseconds after the client's
    // start (first and last unit of each run), for a reader looking for a pattern.
    std::vector<std::pair<int64_t, int64_t>> Gaps;
    double Percent() const { return Expected > 0 ? 100.0 * Received / Expected : 0.0; }
};

// slices: the client's slice hashes in order; startWallMs and stopWallMs bound its
// life. A unit missing between the client's first and last picture is lost; those
// after its last one were still on their way and show as BehindMs.
ClientShare MeasureShare(const CRecordingTap& tap, const std::vector<uint64_t>& slices,
                         int64_t startWallMs, int64_t stopWallMs);

// Prints the first few gaps of share, if any, on one line.
void PrintGaps(const ClientShare& share);
