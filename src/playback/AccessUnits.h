// Splits an H.264 Annex B byte run into access units, the pictures a decoder takes one
// at a time. A recording file holds nothing else: SPS and PPS before every key frame,
// each picture's slices behind them. A new access unit starts at an access unit
// delimiter, SEI, SPS or PPS that follows a slice, or at a slice that starts a picture
// (its first macroblock is 0). Pure functions: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct AccessUnitSpan {
    size_t Offset = 0;  // of its first start code, from the start of the run
    size_t Length = 0;
    bool Key = false;  // an IDR picture with SPS and PPS in front of it: decoding can start here
};

// The access units of data. With complete false the run may end inside a picture (a
// file still being written): the last unit is then left out, since more of it may come.
std::vector<AccessUnitSpan> SplitAccessUnits(const uint8_t* data, size_t length, bool complete);
