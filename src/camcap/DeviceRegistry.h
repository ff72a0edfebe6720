// Finds the cameras the library can open: real ones through GStreamer's device
// monitor (class Video/Source), then the simulated ones, and makes their sources.
// Threads: any; nothing is shared between calls (each call probes anew).
#pragma once

#include <gst/gst.h>

#include <cstddef>
#include <string>
#include <vector>

#include "camcap/CaptureMode.h"
#include "camcap/GstRef.h"

// One camera as enumerated: its name, the mode the library captures it in, and
// what makes its source.
struct CameraDevice {
    std::string Name;
    std::string Key;  // the same for every opening of one device: its node, else name and position
    CaptureMode Mode;
    GstDeviceRef Device;      // real cameras only
    int SimulatedIndex = -1;  // simulated cameras only
};

namespace DeviceRegistry {

// Real cameras first, then simulated ones, at most maxCount in all. A device
// offering no mode the library handles is left out. Probing real devices may
// take a while; it runs on the caller's thread.
std::vector<CameraDevice> Enumerate(size_t maxCount);

// The camera named name; among several of that name, the one at position index
// of the enumeration, else the first of them. A simulated camera is found without
// probing real devices. False when there is none of that name.
bool Find(const char* name, int index, CameraDevice& device);

// The position in cameras of the one named name: among several of that name the
// one at position index, else the first of them. -1 when there is none.
int PickByNameAndIndex(const std::vector<CameraDevice>& cameras, const char* name, int index);

// A new source for the camera named name (index as for Find), or null when it is not
// there now: what a capture uses to reopen its camera after it came back.
GstElement* CreateSourceByName(const std::string& name, int index);

// A new source element for the camera; the caller owns the reference (it may be
// floating). Null on failure.
GstElement* CreateSource(const CameraDevice& device);

}  // namespace DeviceRegistry
