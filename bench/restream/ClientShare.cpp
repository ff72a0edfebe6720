#include "ClientShare.h"

#include <algorithm>
#include <cstdio>

namespace {
// A client connects within this long; its first picture arrived at the tap before.
constexpr int64_t kConnectMs = 1000;
}  // namespace

ClientShare MeasureShare(const CRecordingTap& tap, const std::vector<uint64_t>& slices,
                         int64_t startWallMs, int64_t stopWallMs) {
    ClientShare share;
    share.Lifetime = tap.IndexAtWall(stopWallMs) - tap.IndexAtWall(startWallMs);
    int first = -1;
    int last = -1;
    for (uint64_t hash : slices) {
        // The first picture may come from the group the server kept before the client.
        const int index =
            last < 0 ? tap.FindFirst(hash, startWallMs + kConnectMs) : tap.FindNext(hash, last);
        if (index < 0) {
            ++share.Unmatched;
            continue;
        }
        // The other slices of the picture just counted.
        if (index == last) continue;
        if (first < 0) first = index;
        if (last >= 0 && index > last + 1) {
            share.Gaps.emplace_back(tap.At(last + 1).WallMs - startWallMs,
                                    tap.At(index - 1).WallMs - startWallMs);
        }
        last = index;
        ++share.Received;
    }
    if (first >= 0) {
        share.Expected = last - first + 1;
        share.BehindMs = stopWallMs - tap.At(last).WallMs;
    }
    return share;
}

void PrintGaps(const ClientShare& share) {
    if (share.Gaps.empty()) return;
    constexpr size_t kShown = 8;
    std::printf("      missed (ms after its start):");
    for (size_t i = 0; i < share.Gaps.size() && i < kShown; ++i)
        std::printf(" %lld-%lld", static_cast<long long>(share.Gaps[i].first),
                    static_cast<long long>(share.Gaps[i].second));
    std::printf("%s\n", share.Gaps.size() > kShown ? " ..." : "");
}
