#include "camcap/SimulatedProfiles.h"

namespace {

constexpr CaptureEncoding kRaw = CaptureEncoding::Raw;
constexpr CaptureEncoding kMjpeg = CaptureEncoding::Mjpeg;
constexpr CaptureEncoding kH264 = CaptureEncoding::H264;

const std::vector<SimulatedProfile>& Profiles() {
    static const std::vector<SimulatedProfile> profiles = {
        {"", nullptr, {{kRaw, "I420", 640, 480, 30}}},
        // A 1080p desktop webcam: YUYV is limited by USB 2 bandwidth, MJPEG is not.
        {"mjpeg1080",
         "FHD USB Webcam",
         {{kRaw, "YUY2", 640, 480, 30},
          {kRaw, "YUY2", 800, 600, 20},
          {kRaw, "YUY2", 1280, 720, 10},
          {kRaw, "YUY2", 1920, 1080, 5},
          {kMjpeg, nullptr, 640, 480, 30},
          {kMjpeg, nullptr, 1280, 720, 30},
          {kMjpeg, nullptr, 1920, 1080, 30}}},
        // A full-HD camera module that offers its sensor's size only.
        {"hd1080",
         "1080P USB Camera Module",
         {{kMjpeg, nullptr, 1920, 1080, 30}, {kRaw, "YUY2", 1920, 1080, 5}}},
        // A cheap VGA camera without a JPEG encoder.
        {"yuyv",
         "USB 2.0 PC Camera",
         {{kRaw, "YUY2", 640, 480, 30},
          {kRaw, "YUY2", 1280, 720, 10},
          {kRaw, "YUY2", 320, 240, 30}}},
        // A USB 3 board camera: raw at 720p is within its bandwidth.
        {"yuyv720",
         "USB 3.0 HD Board Camera",
         {{kRaw, "YUY2", 1280, 720, 30}, {kRaw, "YUY2", 1920, 1080, 10}}},
        // A UVC conference camera with its own H.264 encoder.
        {"h264",
         "H.264 USB Conference Camera",
         {{kH264, nullptr, 640, 480, 30},
          {kH264, nullptr, 1280, 720, 30},
          {kH264, nullptr, 1920, 1080, 30},
          {kMjpeg, nullptr, 640, 480, 30},
          {kMjpeg, nullptr, 1280, 720, 30},
          {kMjpeg, nullptr, 1920, 1080, 30},
          {kRaw, "YUY2", 640, 480, 30}}},
        // Lists MJPEG as its best mode but cannot stream it on its controller.
        {"flaky",
         "VGA USB Webcam",
         {{kMjpeg, nullptr, 640, 480, 30, true}, {kRaw, "YUY2", 640, 480, 30}}},
    };
    return profiles;
}

}  // namespace

CaptureMode SimulatedMode::Mode() const {
    CaptureMode mode;
    mode.Encoding = Encoding;
    mode.Width = Width;
    mode.Height = Height;
    mode.FpsNumerator = Fps;
    mode.FpsDenominator = 1;
    mode.RawFormat = Encoding == CaptureEncoding::Raw && RawFormat != nullptr ? RawFormat : "";
    return mode;
}

const SimulatedProfile& SimulatedProfiles::Default() {
    return Profiles().front();
}

const SimulatedProfile* SimulatedProfiles::Find(std::string_view id) {
    for (const SimulatedProfile& profile : Profiles()) {
        if (id == profile.Id) return &profile;
    }
    return nullptr;
}

const std::vector<SimulatedProfile>& SimulatedProfiles::All() {
    return Profiles();
}

GstCaps* SimulatedProfiles::NewCaps(const std::vector<SimulatedMode>& modes) {
    GstCaps* caps = gst_caps_new_empty();
    for (const SimulatedMode& listed : modes) {
        GstCaps* one = NewCaptureModeCaps(listed.Mode());
        if (listed.Encoding == CaptureEncoding::H264) {
            gst_caps_set_simple(one, "stream-format", G_TYPE_STRING, "byte-stream", "alignment",
                                G_TYPE_STRING, "au", nullptr);
        }
        gst_caps_append(caps, one);
    }
    return caps;
}

const SimulatedMode* SimulatedProfiles::Match(const std::vector<SimulatedMode>& modes,
                                              const CaptureMode& mode) {
    for (const SimulatedMode& listed : modes) {
        if (listed.Mode() == mode) return &listed;
    }
    return nullptr;
}
