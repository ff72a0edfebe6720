// The simulated cameras: when the environment variable ORVEX_SIMULATED_CAMERAS=N is
// set (N up to 10), the library offers N cameras that show a moving test picture,
// each its own pattern, so that the program always has something to show on a
// machine without cameras. Camera N is "Simulated Camera N", delivering I420
// 640x480 at 30 per second, unless ORVEX_SIMULATED_PROFILES gives it the mode table
// and name of a real class of camera (SimulatedProfiles.h); two cameras of one
// profile then share a name, as two identical webcams do. Each is known by the key
// "simulated:N", wherever it stands in the enumeration.
//
// Each simulated camera is also a device that tests can pull out, plug back, stall,
// slow down, starve of USB bandwidth or plug in another order, and that
// ORVEX_SIMULATED_FAULTS can stall or pull out for a while (SimulatedEnvironment.h);
// with ORVEX_SIMULATED_EXCLUSIVE=1 it refuses a second stream at once, as a V4L2
// device answers "busy". ORVEX_SIMULATED_SCENES gives a camera a scripted picture
// instead of its test pattern, a room where a figure crosses or a lamp is switched at
// known seconds (SceneScript.h), in every mode its profile offers.
// Threads: any. The variables are read at each call; set them before the first use.
// The device states are guarded by one mutex and read by the sources' streaming threads.
#pragma once

#include <gst/gst.h>

#include <string>
#include <string_view>
#include <vector>

#include "camcap/CaptureMode.h"

struct SimulatedProfile;

namespace SimulatedCameras {

constexpr int kMaxCameras = 10;

// How many simulated cameras the environment asks for, 0..10.
int Count();

// The profile of camera index (0-based): the default one unless the environment names one.
const SimulatedProfile& Profile(int index);

// The name of camera index: its profile's, else "Simulated Camera <index + 1>".
std::string Name(int index);

// "simulated:<index + 1>".
std::string Key(int index);

// The enabled camera of that key, or -1.
int IndexOfKey(std::string_view key);

// The enabled camera of the default profile named name ("Simulated Camera N"), or -1:
// a name only that one camera can have.
int IndexOfOwnName(const char* name);

// The enabled cameras in the order they are plugged in: by number, unless a test
// plugged them in another order (SetPlugOrder).
std::vector<int> EnumerationOrder();

// Whether camera index is enabled and plugged in.
bool IsPresent(int index);

// The modes camera index offers, ranked as the library chooses among them.
std::vector<CaptureMode> Modes(int index);

// A live source bin for camera index that delivers mode as the device would (raw,
// JPEG or H.264 byte stream), with a pad named "src"; the caller owns the reference.
// A mode the camera does not offer gets its first listed mode instead, which then
// does not negotiate. Null on failure or when the camera is unplugged.
GstElement* CreateSource(int index, const CaptureMode& mode);

// The videotestsrc settings of camera index, for a bare pipeline of the same picture.
std::string SourceDescription(int index);
// The whole source of camera index in mode, as gst-launch-1.0 words.
std::string SourceDescription(int index, const CaptureMode& mode);

// How many sources of camera index exist now (made and not yet released), and how
// many were made since the program started.
int Streams(int index);
int SourcesMade(int index);

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
// The enumeration lists these cameras first, in this order, then the others by
// number; an empty order restores numbering. Indexes out of range are left out.
void SetPlugOrder(const std::vector<int>& order);
// Back to plugged in by number, delivering every frame.
void ResetDevices();

// The size of the picture of every default-profile camera opened or listed from now
// on (640x480 unless set; benchmarks only).
void SetPictureSize(int width, int height);

}  // namespace SimulatedCameras
