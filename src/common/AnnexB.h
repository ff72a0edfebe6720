// Reading just enough of an H.264 Annex B access unit to know whether a decoder can
// start there: the recorder resumes at such a unit after it had to drop bytes, and
// notes it in the key-frame index of the file it lands in.
#pragma once

#include <cstddef>
#include <cstdint>

// True when the access unit holds an IDR slice (NAL type 5) with a sequence and a
// picture parameter set (types 7 and 8) in front of its first slice. Scans only up
// to that first slice, so a large picture costs no more than a small one.
bool IsKeyFrameAccessUnit(const uint8_t* data, size_t length);
