// Reading just enough of an H.264 Annex B access unit to know whether a decoder can
// start there: the recorder resumes at such a unit after it had to drop bytes, and
// notes it in the key-frame index of the file it lands in.
#pragma once

#include <cstddef>
#include <cstdint>

// The NAL unit types (the low five bits of a unit's header) that the recorder, the
// catalog's scanner and the player tell apart.
namespace AnnexBNal {
constexpr uint8_t kSlice = 1;
constexpr uint8_t kIdrSlice = 5;
constexpr uint8_t kSei = 6;
constexpr uint8_t kSps = 7;
constexpr uint8_t kPps = 8;
constexpr uint8_t kDelimiter = 9;
}  // namespace AnnexBNal

// True when the access unit holds an IDR slice (NAL type 5) with a sequence and a
// picture parameter set (types 7 and 8) in front of its first slice. Scans only up
// to that first slice, so a large picture costs no more than a small one.
bool IsKeyFrameAccessUnit(const uint8_t* data, size_t length);
