#include "common/AnnexB.h"

namespace {
using namespace AnnexBNal;

// Offset of the first byte after the next start code (00 00 01) at or after from,
// or length when there is none.
size_t NextNal(const uint8_t* data, size_t length, size_t from) {
    for (size_t i = from; i + 2 < length; ++i) {
        if (data[i + 2] > 1) {
            i += 2;  // no start code can end at i + 1 or i + 2
        } else if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            return i + 3;
        }
    }
    return length;
}
}  // namespace

bool IsKeyFrameAccessUnit(const uint8_t* data, size_t length) {
    if (data == nullptr) return false;
    bool sps = false;
    bool pps = false;
    for (size_t at = NextNal(data, length, 0); at < length; at = NextNal(data, length, at)) {
        const uint8_t type = data[at] & 0x1F;
        if (type == kSps) sps = true;
        if (type == kPps) pps = true;
        if (type == kIdrSlice) return sps && pps;
        if (type == kSlice) return false;
    }
    return false;
}
