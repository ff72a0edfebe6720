#include "camcap/DeviceRegistry.h"

#include "camcap/GstDebug.h"
#include "camcap/SimulatedCameras.h"
#include "capture/CameraCap.h"

namespace {

CameraDevice SimulatedDevice(int index) {
    CameraDevice device;
    device.Name = SimulatedCameras::Name(index);
    device.Key = "simulated:" + std::to_string(index);
    device.Mode = SimulatedCameras::Mode();
    device.SimulatedIndex = index;
    return device;
}

std::vector<CameraDevice> RealCameras(size_t maxCount) {
    std::vector<CameraDevice> cameras;
    GstDeviceMonitorRef monitor(gst_device_monitor_new());
    if (!monitor) return cameras;
    gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    // A monitor that cannot start still probes once in get_devices; stop only what started.
    const bool started = gst_device_monitor_start(monitor.get()) == TRUE;
    GList* devices = gst_device_monitor_get_devices(monitor.get());
    if (started) gst_device_monitor_stop(monitor.get());

    for (GList* item = devices; item != nullptr; item = item->next) {
        // The list holds one reference per device; adopt it so that each is released.
        GstDeviceRef gstDevice(GST_DEVICE(item->data));
        if (cameras.size() >= maxCount) continue;
        GstCapsRef caps(gst_device_get_caps(gstDevice.get()));
        CameraDevice camera;
        if (!ChooseCaptureMode(caps.get(), camera.Mode)) continue;
        GCharRef name(gst_device_get_display_name(gstDevice.get()));
        camera.Name = name ? name.get() : "";
        // v4l2 names its node: two openings of one camera must share one stream.
        GstStructureRef properties(gst_device_get_properties(gstDevice.get()));
        const char* path =
            properties ? gst_structure_get_string(properties.get(), "device.path") : nullptr;
        camera.Key = path != nullptr ? std::string("device:") + path
                                     : camera.Name + "#" + std::to_string(cameras.size());
        camera.Device = std::move(gstDevice);
        cameras.push_back(std::move(camera));
    }
    g_list_free(devices);
    GST_INFO("%zu real camera(s) with a usable mode", cameras.size());
    return cameras;
}

}  // namespace

std::vector<CameraDevice> DeviceRegistry::Enumerate(size_t maxCount) {
    std::vector<CameraDevice> cameras = RealCameras(maxCount);
    const int simulated = SimulatedCameras::Count();
    for (int i = 0; i < simulated && cameras.size() < maxCount; ++i) {
        if (SimulatedCameras::IsPresent(i)) cameras.push_back(SimulatedDevice(i));
    }
    return cameras;
}

bool DeviceRegistry::Find(const char* name, int index, CameraDevice& device) {
    if (name == nullptr || name[0] == '\0') return false;
    const int simulated = SimulatedCameras::IndexOfName(name);
    if (simulated >= 0) {
        // An unplugged simulated camera is missing, not to be looked for among real ones.
        if (!SimulatedCameras::IsPresent(simulated)) return false;
        device = SimulatedDevice(simulated);
        return true;
    }
    std::vector<CameraDevice> cameras = RealCameras(kMaxDevices);
    const int position = PickByNameAndIndex(cameras, name, index);
    if (position < 0) return false;
    device = std::move(cameras[position]);
    return true;
}

int DeviceRegistry::PickByNameAndIndex(const std::vector<CameraDevice>& cameras, const char* name,
                                       int index) {
    if (name == nullptr) return -1;
    int first = -1;
    for (size_t i = 0; i < cameras.size(); ++i) {
        if (cameras[i].Name != name) continue;
        if (static_cast<int>(i) == index) return index;
        if (first < 0) first = static_cast<int>(i);
    }
    return first;
}

GstElement* DeviceRegistry::CreateSourceByName(const std::string& name, int index) {
    CameraDevice device;
    if (!Find(name.c_str(), index, device)) return nullptr;
    return CreateSource(device);
}

GstElement* DeviceRegistry::CreateSource(const CameraDevice& device) {
    if (device.SimulatedIndex >= 0) return SimulatedCameras::CreateSource(device.SimulatedIndex);
    if (!device.Device) return nullptr;
    return gst_device_create_element(device.Device.get(), nullptr);
}
