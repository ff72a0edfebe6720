#include "playback/SeekIndex.h"

#include <algorithm>

namespace SeekIndex {

int FileFor(const std::vector<CatalogFile>& files, int64_t targetMs) {
    if (files.empty()) return -1;
    const int count = static_cast<int>(files.size());
    for (int i = count - 1; i >= 0; --i) {
        if (files[i].StartMs > targetMs) continue;
        if (files[i].EndMs >= targetMs || files[i].Growing || i == count - 1) return i;
        return i + 1;  // in the hole after file i
    }
    return 0;
}

int KeyFrameAtOrBefore(const std::vector<CatalogKeyFrame>& keys, int64_t targetMs) {
    if (keys.empty()) return -1;
    const auto after = std::upper_bound(
        keys.begin(), keys.end(), targetMs,
        [](int64_t time, const CatalogKeyFrame& key) { return time < key.TimeMs; });
    return after == keys.begin() ? 0 : static_cast<int>(after - keys.begin()) - 1;
}

int KeyFrameNearest(const std::vector<CatalogKeyFrame>& keys, int64_t targetMs) {
    const int before = KeyFrameAtOrBefore(keys, targetMs);
    if (before < 0 || before + 1 >= static_cast<int>(keys.size())) return before;
    if (keys[before].TimeMs > targetMs) return before;  // all later: the first
    const int64_t early = targetMs - keys[before].TimeMs;
    const int64_t late = keys[before + 1].TimeMs - targetMs;
    return late < early ? before + 1 : before;
}

std::vector<int64_t> SpreadTimes(int64_t fromMs, int64_t toMs, size_t count, bool lastAtTo) {
    std::vector<int64_t> times(count, fromMs);
    const int64_t span = std::max<int64_t>(0, toMs - fromMs);
    const int64_t steps = static_cast<int64_t>(count) - (lastAtTo ? 1 : 0);
    if (steps <= 0) return times;
    for (size_t i = 1; i < count; ++i) {
        times[i] = fromMs + span * static_cast<int64_t>(i) / steps;
    }
    return times;
}

}  // namespace SeekIndex
