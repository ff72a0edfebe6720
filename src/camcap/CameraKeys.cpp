#include "camcap/CameraKeys.h"

#include <algorithm>
#include <map>
#include <numeric>

namespace {

std::string StringField(const GstStructure* s, const char* field) {
    const char* value = s != nullptr ? gst_structure_get_string(s, field) : nullptr;
    return value != nullptr ? value : "";
}

// "/sys/devices/.../1-2:1.0/video4linux/video0" names the USB interface of the port
// in front of the node's own number.
std::string WithoutNodeNumber(std::string path) {
    const size_t at = path.rfind("/video4linux/");
    if (at != std::string::npos) path.erase(at);
    return path;
}

}  // namespace

CameraKeyProperties CameraKeyPropertiesOf(const GstStructure* properties) {
    CameraKeyProperties key;
    key.Serial = StringField(properties, "device.serial");
    // Without udev's ID_PATH the provider puts the sysfs path here.
    key.Port = WithoutNodeNumber(StringField(properties, "device.bus_path"));
    if (key.Port.empty()) key.Port = WithoutNodeNumber(StringField(properties, "sysfs.path"));
    // Probed without udev: the driver's bus info ("usb-0000:00:14.0-2") names the port.
    if (key.Port.empty()) key.Port = StringField(properties, "v4l2.device.bus_info");
    key.Node = StringField(properties, "device.path");
    return key;
}

std::vector<std::string> DeriveCameraKeys(const std::vector<CameraKeyProperties>& devices) {
    // Each key comes from the device's own properties alone, so that plugging in a
    // twin never changes the key of a camera already listed. The port first: identical
    // cheap webcams have no serial, or one serial for all of them.
    std::vector<std::string> keys;
    for (const CameraKeyProperties& device : devices) {
        if (!device.Port.empty()) {
            keys.push_back("port:" + device.Port);
        } else if (!device.Serial.empty()) {
            keys.push_back("serial:" + device.Serial);
        } else {
            keys.push_back("node:" + device.Node);
        }
    }
    // Devices left with one key are numbered in the order of their nodes.
    std::vector<size_t> order(devices.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return devices[a].Node < devices[b].Node; });
    std::map<std::string, int> seen;
    std::vector<std::string> unique = keys;
    for (size_t i : order) {
        const int n = ++seen[keys[i]];
        if (n > 1) unique[i] = keys[i] + "#" + std::to_string(n);
    }
    return unique;
}
