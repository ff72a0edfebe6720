// Writes a video sample to a file as JPEG. Runs on the caller's thread; converting
// a 640x480 picture takes a few milliseconds.
#pragma once

#include <gst/gst.h>

#include <cstdint>

namespace JpegSnapshot {

// 0 when written, -3 when converting or writing failed.
int32_t Write(GstSample* sample, const char* path);

}  // namespace JpegSnapshot
