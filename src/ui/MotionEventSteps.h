// Where the playback window's "上一个事件" and "下一个事件" go from the picture shown:
// the start of the motion event before it or after it. A picture shown just after a
// start (a seek lands on the first picture at or after it) counts as that start, so a
// second press moves on to the event beyond. Pure functions: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "catalog/CatalogReader.h"

namespace MotionEventSteps {

// How far from an event's start the picture shown still counts as at the start.
constexpr int64_t kAtStartMs = 1000;

// events: oldest first. None when there is no event before (after) positionMs.
std::optional<int64_t> Previous(const std::vector<CatalogMotionEvent>& events, int64_t positionMs);
std::optional<int64_t> Next(const std::vector<CatalogMotionEvent>& events, int64_t positionMs);

}  // namespace MotionEventSteps
