// The simulated cameras: when the environment variable ORVEX_SIMULATED_CAMERAS=N is
// set (N up to 10), the library offers N cameras named "Simulated Camera 1".. that
// show a moving test picture, each its own pattern, so that the program always has
// something to show on a machine without cameras.
//
// Each simulated camera is also a device that tests can pull out, plug back, stall,
// slow down or starve of USB bandwidth, and with ORVEX_SIMULATED_EXCLUSIVE=1 it
// refuses a second stream at once, as a V4L2 device answers "busy".
// Threads: any. The variables are read at each call; set them before the first use.
// The device states are guarded by one mutex and read by the sources' streaming threads.
#pragma once

#include <gst/gst.h>

#include <string>

#include "camcap/CaptureMode.h"

namespace SimulatedCameras {

constexpr int kMaxCameras = 10;

// How many simulated cameras the environment asks for, 0..10.
int Count();

// The name of camera index (0-based): "Simulated Camera <index + 1>".
std::string Name(int index);

// The index of the simulated camera with that name among those enabled, or -1.
int IndexOfName(const char* name);

// Whether camera index is enabled and plugged in.
bool IsPresent(int index);

// A live source bin for camera index that delivers the simulated capture mode
// (see SimulatedCaptureMode), with a pad named "src"; the caller owns the
// reference. Null on failure or when the camera is unplugged.
GstElement* CreateSource(int index);

// The mode of every simulated camera: SimulatedCaptureMode at the picture size.
CaptureMode Mode();

// The videotestsrc settings of camera index, for a bare pipeline of the same picture.
std::string SourceDescription(int index);

// What a test does to the device of camera index; false for an index out of range.
// Unplugged: streams fail with a read error, as v4l2src does when its node vanishes,
// and the camera is neither listed nor found. Stalled: streams deliver nothing and
// report nothing. RateDivisor n: one frame in n is delivered, at the nominal
// timestamps (a camera slowed down by the dark). NoBandwidth: a stream fails as it
// starts, as a USB controller without the bandwidth for one more camera makes it.
bool SetUnplugged(int index, bool unplugged);
bool SetStalled(int index, bool stalled);
bool SetRateDivisor(int index, int divisor);
bool SetNoBandwidth(int index, bool noBandwidth);
// Back to plugged in, delivering every frame.
void ResetDevices();

// The size of the picture of every simulated camera opened or listed from now on
// (640x480 unless set; benchmarks only).
void SetPictureSize(int width, int height);

}  // namespace SimulatedCameras
