// The four calls of the capture library, over a handle table of capture sessions.
#include "capture/CameraCap.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camcap/CameraCapTesting.h"
#include "camcap/CaptureSession.h"
#include "camcap/DeviceRegistry.h"
#include "camcap/GstRuntime.h"
#include "camcap/HandleTable.h"

namespace {

constexpr int32_t kUnknownDevice = -1;
constexpr int32_t kNotStarted = -2;
constexpr int32_t kNoRuntime = -3;
constexpr const char* kDefaultPreset = "fast";

CHandleTable& Handles() {
    static CHandleTable table;
    return table;
}

std::mutex& PresetMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string& Preset() {
    static std::string preset = kDefaultPreset;  // guarded by PresetMutex()
    return preset;
}

std::string CurrentPreset() {
    std::lock_guard<std::mutex> lock(PresetMutex());
    return Preset();
}

}  // namespace

int CameraCap_EnumDevice(DeviceInfo* devices, int32_t* count) {
    if (devices == nullptr || count == nullptr) return 0;
    *count = 0;
    if (!GstRuntime::EnsureInitialised()) return 0;
    const std::vector<CameraDevice> cameras = DeviceRegistry::Enumerate(kMaxDevices);
    for (const CameraDevice& camera : cameras) {
        DeviceInfo& record = devices[*count];
        ZeroDeviceInfo(record);
        record.DeviceIndex = *count;
        SetDeviceName(record.DeviceName, camera.Name.c_str());
        SetDeviceName(record.CustomDeviceName, camera.Name.c_str());
        record.Width = camera.Mode.Width;
        record.Height = camera.Mode.Height;
        record.FrameRate = camera.Mode.FrameRate();
        ++*count;
    }
    return *count;
}

int32_t CameraCap_Open(IFrameTarget* video, const DeviceInfo* device, HWND notice,
                       StreamCallback callback, void* user) {
    if (device == nullptr) return kUnknownDevice;
    if (!GstRuntime::EnsureInitialised()) return kNoRuntime;
    // The record may come from anywhere: read its names only within their fields.
    const std::string deviceName(device->DeviceName,
                                 strnlen(device->DeviceName, sizeof device->DeviceName));
    const std::string customName(
        device->CustomDeviceName,
        strnlen(device->CustomDeviceName, sizeof device->CustomDeviceName));
    CameraDevice camera;
    if (!DeviceRegistry::Find(deviceName.c_str(), device->DeviceIndex, camera)) {
        return kUnknownDevice;
    }
    GstElement* source = DeviceRegistry::CreateSource(camera);
    if (source == nullptr) return kUnknownDevice;
    auto session = std::make_shared<CCaptureSession>(video, notice, callback, user,
                                                     customName.empty() ? deviceName : customName);
    if (!session->Open(source, camera.Mode, CurrentPreset())) return kNotStarted;
    return Handles().Add(std::move(session));
}

int CameraCap_Close(int32_t handle) {
    std::shared_ptr<CCaptureSession> session = Handles().Remove(handle);
    if (!session) return -1;
    session->Close();
    return 0;
}

int32_t CameraCap_CapPic(int32_t handle, const char* path) {
    std::shared_ptr<CCaptureSession> session = Handles().Find(handle);
    if (!session) return -1;
    return session->CapturePicture(path);
}

int CameraCapTest_OpenHandles() {
    return static_cast<int>(Handles().Count());
}

int CameraCapTest_Unplug(int32_t handle) {
    std::shared_ptr<CCaptureSession> session = Handles().Find(handle);
    if (!session || !session->SimulateUnplug()) return -1;
    return 0;
}

void CameraCapTest_SetEncoderPreset(const char* preset) {
    std::lock_guard<std::mutex> lock(PresetMutex());
    Preset() = preset != nullptr ? preset : kDefaultPreset;
}
