// The stable keys of real cameras, derived from what GStreamer's v4l2 device provider
// says of each device: "port:<USB port path>", else "serial:<serial>", else
// "node:<device node>"; a key that two devices share (two capture nodes of one
// camera) gets "#2", "#3"... in the order of their device nodes.
// Pure functions over plain values: any thread.
#pragma once

#include <gst/gst.h>

#include <string>
#include <vector>

// What identifies one device, as read from its GstDevice properties.
struct CameraKeyProperties {
    std::string Serial;  // device.serial (udev's ID_SERIAL); empty when unknown
    std::string Port;    // device.bus_path (udev's ID_PATH), else sysfs.path, else bus_info
    std::string Node;    // device.path, e.g. /dev/video0
};

// Reads the properties of one device; a null structure gives empty fields. A sysfs
// path loses its trailing "/video4linux/videoN", which changes when the kernel
// numbers the nodes anew.
CameraKeyProperties CameraKeyPropertiesOf(const GstStructure* properties);

// The key of each device, in the same order.
std::vector<std::string> DeriveCameraKeys(const std::vector<CameraKeyProperties>& devices);
