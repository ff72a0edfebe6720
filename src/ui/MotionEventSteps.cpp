#include "ui/MotionEventSteps.h"

namespace MotionEventSteps {

std::optional<int64_t> Previous(const std::vector<CatalogMotionEvent>& events, int64_t positionMs) {
    std::optional<int64_t> found;
    for (const CatalogMotionEvent& event : events) {
        if (event.StartMs < positionMs - kAtStartMs) found = event.StartMs;
    }
    return found;
}

std::optional<int64_t> Next(const std::vector<CatalogMotionEvent>& events, int64_t positionMs) {
    for (const CatalogMotionEvent& event : events) {
        if (event.StartMs > positionMs + kAtStartMs) return event.StartMs;
    }
    return std::nullopt;
}

}  // namespace MotionEventSteps
