// Writes a decoded picture to a file as JPEG, converted by GStreamer. Runs on the
// caller's thread; a 640x480 picture takes a few milliseconds.
#pragma once

#include <gst/gst.h>

#include <string>

namespace JpegFile {

// True when the picture of sample was written to path.
bool Write(GstSample* sample, const std::string& path);

}  // namespace JpegFile
