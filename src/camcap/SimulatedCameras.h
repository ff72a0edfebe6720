// The simulated cameras: when the environment variable ORVEX_SIMULATED_CAMERAS=N is
// set (N up to 10), the library offers N cameras named "Simulated Camera 1".. that
// show a moving test picture, each its own pattern, so that the program always has
// something to show on a machine without cameras.
// Threads: any. The variable is read at each call; set it before the first use.
#pragma once

#include <gst/gst.h>

#include <string>

namespace SimulatedCameras {

constexpr int kMaxCameras = 10;

// How many simulated cameras the environment asks for, 0..10.
int Count();

// The name of camera index (0-based): "Simulated Camera <index + 1>".
std::string Name(int index);

// The index of the simulated camera with that name among those enabled, or -1.
int IndexOfName(const char* name);

// A live source bin for camera index that delivers the simulated capture mode
// (see SimulatedCaptureMode), with a pad named "src"; the caller owns the
// reference. Null on failure.
GstElement* CreateSource(int index);

// The videotestsrc settings of camera index, for a bare pipeline of the same picture.
std::string SourceDescription(int index);

}  // namespace SimulatedCameras
