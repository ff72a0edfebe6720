// The mode tables of the simulated cameras, as data: each profile is modelled on the
// published mode list of a common class of USB camera (MJPEG at large sizes, YUYV
// only at small sizes or low rates, sometimes H.264, sometimes a mode that is listed
// but fails as the stream starts). Plain constant data: any thread.
#pragma once

#include <gst/gst.h>

#include <string_view>
#include <vector>

#include "camcap/CaptureMode.h"

struct SimulatedMode {
    CaptureEncoding Encoding = CaptureEncoding::Raw;
    const char* RawFormat = nullptr;  // for raw modes: "YUY2", "I420"
    int Width = 0;
    int Height = 0;
    int Fps = 0;
    // Listed, but its stream fails as it starts, as a camera whose USB controller
    // lacks the bandwidth for it.
    bool FailsAtStart = false;

    // The mode as the library captures it.
    CaptureMode Mode() const;
};

struct SimulatedProfile {
    const char* Id;          // as ORVEX_SIMULATED_PROFILES names it; "" for the default
    const char* DeviceName;  // shared by every camera of the profile; null: "Simulated Camera N"
    std::vector<SimulatedMode> Modes;
};

namespace SimulatedProfiles {

// Today's simulated camera: I420 640x480 at 30 per second, named after its number.
const SimulatedProfile& Default();

// The profile with that id, or null.
const SimulatedProfile* Find(std::string_view id);

// Every profile, the default first.
const std::vector<SimulatedProfile>& All();

// What the device offers, as gst_device_get_caps would give it (a new reference).
GstCaps* NewCaps(const std::vector<SimulatedMode>& modes);

// The listed mode that the library's mode is, or null when the device does not offer it.
const SimulatedMode* Match(const std::vector<SimulatedMode>& modes, const CaptureMode& mode);

}  // namespace SimulatedProfiles
