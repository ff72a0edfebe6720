// Finds the cameras the library can open: real ones through GStreamer's device
// monitor (class Video/Source), then the simulated ones, and makes their sources.
// Each camera is known by a stable key (CameraKeys.h; "simulated:N" for simulated
// ones), which the capture directory shares captures by and a capture reopens its
// camera by.
// Threads: any; nothing is shared between calls (each call probes anew).
#pragma once

#include <gst/gst.h>

#include <cstddef>
#include <string>
#include <vector>

#include "camcap/CaptureMode.h"
#include "camcap/GstRef.h"
#include "common/DeviceInfo.h"

// One camera as enumerated: its name, its key, the modes the library would capture
// it in (best first), and what makes its source.
struct CameraDevice {
    std::string Name;
    std::string Key;
    std::vector<CaptureMode> Modes;  // never empty for a listed camera
    GstDeviceRef Device;             // real cameras only
    int SimulatedIndex = -1;         // simulated cameras only

    // The mode the library captures in first.
    const CaptureMode& Mode() const { return Modes.front(); }
};

namespace DeviceRegistry {

// Real cameras first, then simulated ones in the order they are plugged in, at most
// maxCount in all. A device offering no mode the library handles is left out.
// Probing real devices may take a while; it runs on the caller's thread.
std::vector<CameraDevice> Enumerate(size_t maxCount);

// The camera of the record: with an identity (HasCameraIdentity) the attached one
// whose key has that identity and no other; without, the one named DeviceName, among
// several of that name the one at position DeviceIndex, else the first of them.
// Simulated cameras are matched without probing real devices where the record
// allows it. False when there is none.
bool Find(const DeviceInfo& record, const std::string& deviceName, CameraDevice& device);

// The camera of that key, or false when it is not attached.
bool FindByKey(const std::string& key, CameraDevice& device);

// The position in cameras of the one named name: among several of that name the
// one at position index, else the first of them. -1 when there is none.
int PickByNameAndIndex(const std::vector<CameraDevice>& cameras, const char* name, int index);

// A new source for the camera of key in mode, or null when it is not there now: what
// a capture uses to reopen its camera after it came back.
GstElement* CreateSourceByKey(const std::string& key, const CaptureMode& mode);

// A new source element for the camera in mode; the caller owns the reference (it
// may be floating). A real camera's source takes its mode from the caps after it.
// Null on failure.
GstElement* CreateSource(const CameraDevice& device, const CaptureMode& mode);

}  // namespace DeviceRegistry
