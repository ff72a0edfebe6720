// The mode a camera is captured in (encoding, size, frame rate), and the choice of
// that mode from the caps a device offers. Plain values and pure functions: any thread.
#pragma once

#include <gst/gst.h>

#include <string>

enum class CaptureEncoding {
    Raw,    // uncompressed video, encoded by the library
    Mjpeg,  // JPEG frames, decoded and then encoded by the library
    H264,   // H.264 from the camera, passed through without re-encoding
};

struct CaptureMode {
    CaptureEncoding Encoding = CaptureEncoding::Raw;
    int Width = 0;
    int Height = 0;
    int FpsNumerator = 0;  // 0 when the device does not say
    int FpsDenominator = 1;
    std::string RawFormat;  // e.g. "YUY2"; empty when the device leaves it open

    // Frames per second rounded to an integer, as DeviceInfo carries it.
    int FrameRate() const;
};

// The mode of every simulated camera: 640x480 I420 at 30 frames per second.
CaptureMode SimulatedCaptureMode();

// Picks the mode to capture in from what a device offers: a size that fits in
// 1280x720 and is closest to 640x480, a rate of at least 15 and closest to 30 per
// second, and among those H.264 before MJPEG before raw. False when the caps offer
// nothing the library can handle.
bool ChooseCaptureMode(const GstCaps* offered, CaptureMode& mode);

// Caps that pin a source to the mode (a new reference).
GstCaps* NewCaptureModeCaps(const CaptureMode& mode);
