// Writes a video sample to a file as JPEG. Runs on the caller's thread; converting
// a 640x480 picture takes a few milliseconds.
#pragma once

#include <gst/gst.h>

#include <cstdint>

class CJpegSnapshot {
public:
    // 0 when written, -3 when converting or writing failed.
    static int32_t Write(GstSample* sample, const char* path);
};
