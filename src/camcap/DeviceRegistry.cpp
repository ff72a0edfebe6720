#include "camcap/DeviceRegistry.h"

#include "camcap/CameraKeys.h"
#include "camcap/GstDebug.h"
#include "camcap/SimulatedCameras.h"
#include "capture/CameraCap.h"

namespace {

bool SimulatedDevice(int index, CameraDevice& device) {
    device.Name = SimulatedCameras::Name(index);
    device.Key = SimulatedCameras::Key(index);
    device.Modes = SimulatedCameras::Modes(index);
    device.SimulatedIndex = index;
    return !device.Modes.empty();
}

std::vector<CameraDevice> RealCameras(size_t maxCount) {
    std::vector<CameraDevice> cameras;
    std::vector<CameraKeyProperties> keyProperties;
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
        GstCapsRef caps(gst_device_get_caps(gstDevice.get()));
        CameraDevice camera;
        camera.Modes = RankCaptureModes(caps.get());
        if (camera.Modes.empty()) continue;
        GCharRef name(gst_device_get_display_name(gstDevice.get()));
        camera.Name = name ? name.get() : "";
        GstStructureRef properties(gst_device_get_properties(gstDevice.get()));
        keyProperties.push_back(CameraKeyPropertiesOf(properties.get()));
        camera.Device = std::move(gstDevice);
        cameras.push_back(std::move(camera));
    }
    g_list_free(devices);
    // Keys over every attached camera, so that a serial is unique among all of them.
    const std::vector<std::string> keys = DeriveCameraKeys(keyProperties);
    for (size_t i = 0; i < cameras.size(); ++i) cameras[i].Key = keys[i];
    if (cameras.size() > maxCount) cameras.resize(maxCount);
    GST_INFO("%zu real camera(s) with a usable mode", cameras.size());
    return cameras;
}

bool HasIdentityOf(const DeviceInfo& record, const std::string& key) {
    DeviceInfo keyed;
    ZeroDeviceInfo(keyed);
    SetCameraIdentity(keyed, key);
    return SameIdentity(record, keyed);
}

}  // namespace

std::vector<CameraDevice> DeviceRegistry::Enumerate(size_t maxCount) {
    std::vector<CameraDevice> cameras = RealCameras(maxCount);
    for (int index : SimulatedCameras::EnumerationOrder()) {
        if (cameras.size() >= maxCount) break;
        CameraDevice device;
        if (SimulatedCameras::IsPresent(index) && SimulatedDevice(index, device)) {
            cameras.push_back(std::move(device));
        }
    }
    return cameras;
}

bool DeviceRegistry::Find(const DeviceInfo& record, const std::string& deviceName,
                          CameraDevice& device) {
    if (HasCameraIdentity(record)) {
        for (int index : SimulatedCameras::EnumerationOrder()) {
            if (HasIdentityOf(record, SimulatedCameras::Key(index))) {
                return SimulatedCameras::IsPresent(index) && SimulatedDevice(index, device);
            }
        }
        for (CameraDevice& camera : RealCameras(kMaxDevices)) {
            if (HasIdentityOf(record, camera.Key)) {
                device = std::move(camera);
                return true;
            }
        }
        return false;
    }
    if (deviceName.empty()) return false;
    // "Simulated Camera N" is that camera's alone: no need to probe real devices.
    const int simulated = SimulatedCameras::IndexOfOwnName(deviceName.c_str());
    if (simulated >= 0) {
        // An unplugged simulated camera is missing, not to be looked for among real ones.
        return SimulatedCameras::IsPresent(simulated) && SimulatedDevice(simulated, device);
    }
    std::vector<CameraDevice> cameras = Enumerate(kMaxDevices);
    const int position = PickByNameAndIndex(cameras, deviceName.c_str(), record.DeviceIndex);
    if (position < 0) return false;
    device = std::move(cameras[position]);
    return true;
}

bool DeviceRegistry::FindByKey(const std::string& key, CameraDevice& device) {
    const int simulated = SimulatedCameras::IndexOfKey(key);
    if (simulated >= 0) {
        return SimulatedCameras::IsPresent(simulated) && SimulatedDevice(simulated, device);
    }
    for (CameraDevice& camera : RealCameras(kMaxDevices)) {
        if (camera.Key == key) {
            device = std::move(camera);
            return true;
        }
    }
    return false;
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

GstElement* DeviceRegistry::CreateSourceByKey(const std::string& key, const CaptureMode& mode) {
    CameraDevice device;
    if (!FindByKey(key, device)) return nullptr;
    return CreateSource(device, mode);
}

GstElement* DeviceRegistry::CreateSource(const CameraDevice& device, const CaptureMode& mode) {
    if (device.SimulatedIndex >= 0)
        return SimulatedCameras::CreateSource(device.SimulatedIndex, mode);
    if (!device.Device) return nullptr;
    return gst_device_create_element(device.Device.get(), nullptr);
}
