#include "camcap/SimulatedCameras.h"

#include <cstdlib>

#include "camcap/CaptureMode.h"
#include "camcap/GstRef.h"

namespace {

constexpr const char* kCountVariable = "ORVEX_SIMULATED_CAMERAS";
constexpr const char* kNamePrefix = "Simulated Camera ";

// Each camera its own picture. Patterns that do not animate by themselves scroll
// sideways so that the picture visibly moves.
constexpr const char* kLooks[SimulatedCameras::kMaxCameras] = {
    "pattern=smpte horizontal-speed=2",
    "pattern=ball motion=wavy",
    "pattern=pinwheel horizontal-speed=3",
    "pattern=spokes horizontal-speed=2",
    "pattern=circular horizontal-speed=2",
    "pattern=colors horizontal-speed=4",
    "pattern=checkers-8 horizontal-speed=1",
    "pattern=zone-plate kx2=20 ky2=20 kt2=1",
    "pattern=ball motion=sweep foreground-color=0xffff8000",
    "pattern=smpte75 horizontal-speed=3",
};

}  // namespace

int SimulatedCameras::Count() {
    const char* text = std::getenv(kCountVariable);
    if (text == nullptr) return 0;
    const int n = std::atoi(text);
    if (n < 0) return 0;
    return n > kMaxCameras ? kMaxCameras : n;
}

std::string SimulatedCameras::Name(int index) {
    return kNamePrefix + std::to_string(index + 1);
}

int SimulatedCameras::IndexOfName(const char* name) {
    if (name == nullptr) return -1;
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        if (Name(i) == name) return i;
    }
    return -1;
}

std::string SimulatedCameras::SourceDescription(int index) {
    return std::string("videotestsrc is-live=true ") + kLooks[index % kMaxCameras];
}

GstElement* SimulatedCameras::CreateSource(int index) {
    if (index < 0 || index >= kMaxCameras) return nullptr;
    const std::string description = SourceDescription(index) + " ! capsfilter name=mode";
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &error);
    GErrorRef errorRef(error);
    if (bin == nullptr) return nullptr;
    GstElementRef owned(GST_ELEMENT(gst_object_ref_sink(bin)));
    if (error != nullptr) return nullptr;
    GstElementRef modeFilter(gst_bin_get_by_name(GST_BIN(bin), "mode"));
    if (!modeFilter) return nullptr;
    GstCapsRef caps(NewCaptureModeCaps(SimulatedCaptureMode()));
    g_object_set(modeFilter.get(), "caps", caps.get(), nullptr);
    return owned.release();
}
