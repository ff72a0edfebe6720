#include "playback/AccessUnits.h"

#include "common/AnnexB.h"

namespace {

using namespace AnnexBNal;

struct NalStart {
    size_t StartCode = 0;  // the first zero of its start code
    size_t Header = 0;     // its header byte
};

// The next NAL unit at or after from, or false. A four-byte start code counts from
// its leading zero, so that it stays with the unit it introduces.
bool NextNal(const uint8_t* data, size_t length, size_t from, NalStart& nal) {
    for (size_t i = from; i + 2 < length; ++i) {
        if (data[i + 2] > 1) {
            i += 2;  // no start code can end at i + 1 or i + 2
        } else if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (i + 3 >= length) return false;  // the header byte has not come yet
            nal.StartCode = i > from && data[i - 1] == 0 ? i - 1 : i;
            nal.Header = i + 3;
            return true;
        }
    }
    return false;
}

bool IsSlice(uint8_t type) {
    return type >= kSlice && type <= kIdrSlice;
}

}  // namespace

std::vector<AccessUnitSpan> SplitAccessUnits(const uint8_t* data, size_t length, bool complete) {
    std::vector<AccessUnitSpan> units;
    if (data == nullptr) return units;
    bool open = false;       // a unit has started
    bool sawSlice = false;   // ... and holds a slice
    bool sawParams = false;  // ... and an SPS and PPS before its first slice
    bool key = false;
    bool sps = false;
    size_t start = 0;
    auto close = [&](size_t end) {
        if (open && sawSlice) units.push_back({start, end - start, key});
    };
    NalStart nal;
    for (size_t from = 0; NextNal(data, length, from, nal); from = nal.Header) {
        const uint8_t type = data[nal.Header] & 0x1F;
        bool starts = !open;
        if (open && sawSlice) {
            if (type == kDelimiter || type == kSei || type == kSps || type == kPps) {
                starts = true;
            } else if (IsSlice(type)) {
                // first_mb_in_slice is the slice header's first Exp-Golomb value; a
                // leading 1 bit codes 0, a new picture.
                starts = nal.Header + 1 < length && (data[nal.Header + 1] & 0x80) != 0;
            }
        }
        if (starts) {
            close(nal.StartCode);
            open = true;
            sawSlice = false;
            sawParams = false;
            key = false;
            sps = false;
            start = nal.StartCode;
        }
        if (!sawSlice) {
            if (type == kSps) sps = true;
            if (type == kPps && sps) sawParams = true;
        }
        if (IsSlice(type)) {
            if (!sawSlice) key = type == kIdrSlice && sawParams;
            sawSlice = true;
        }
    }
    if (complete) close(length);
    return units;
}
