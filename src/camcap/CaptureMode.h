// The mode a camera is captured in (encoding, size, frame rate), and the choice of
// that mode from the caps a device offers. Plain values and pure functions: any thread.
#pragma once

#include <gst/gst.h>

#include <string>
#include <vector>

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

    bool operator==(const CaptureMode&) const = default;
};

// "MJPEG 1280x720@30", "YUY2 640x480@30", "H.264 ...": for logs and test messages.
std::string CaptureModeText(const CaptureMode& mode);

// Every mode the library can handle that a device offers, best first: a size that
// fits in 1280x720 before one that does not, a rate of at least 15 per second before
// a slower one, then H.264 before MJPEG before raw, then the size closest to 640x480,
// then the rate closest to 30 per second. A capture whose mode fails as it starts
// tries the next one. Empty when the caps offer nothing the library can handle.
std::vector<CaptureMode> RankCaptureModes(const GstCaps* offered);

// The first of RankCaptureModes; false when there is none.
bool ChooseCaptureMode(const GstCaps* offered, CaptureMode& mode);

// Caps that pin a source to the mode (a new reference).
GstCaps* NewCaptureModeCaps(const CaptureMode& mode);
