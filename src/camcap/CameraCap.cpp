// The four calls of the capture library: a handle table of sessions, each attached
// to the one shared capture of its camera.
#include "capture/CameraCap.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camcap/CameraCapTesting.h"
#include "camcap/CaptureSession.h"
#include "camcap/DeviceRegistry.h"
#include "camcap/GstRuntime.h"
#include "camcap/HandleTable.h"
#include "camcap/SharedCapture.h"
#include "camcap/SimulatedCameras.h"

namespace {

constexpr int32_t kUnknownDevice = -1;
constexpr int32_t kNotStarted = -2;
constexpr int32_t kNoRuntime = -3;
constexpr const char* kDefaultPreset = "veryfast";

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

// The running captures by device key. The sessions own them; an entry whose capture
// has gone is replaced by the next opening. Never held while a capture works.
class CCaptureDirectory {
public:
    // The capture of the camera: the running one, or a new one that reopens the camera
    // by its name and the index the record asked for.
    std::shared_ptr<CSharedCapture> Acquire(CameraDevice camera, int requestedIndex) {
        const std::string key = camera.Key;
        std::lock_guard<std::mutex> lock(mutex_);
        std::shared_ptr<CSharedCapture> capture = captures_[key].lock();
        if (capture) return capture;
        const std::string name = camera.Name;
        const CaptureMode mode = camera.Mode;
        // The first start uses the device just found; a reopening looks for it anew.
        auto found = std::make_shared<CameraDevice>(std::move(camera));
        auto factory = [found, name, requestedIndex]() mutable -> GstElement* {
            if (found) {
                GstElement* source = DeviceRegistry::CreateSource(*found);
                found.reset();
                return source;
            }
            return DeviceRegistry::CreateSourceByName(name, requestedIndex);
        };
        capture = std::make_shared<CSharedCapture>(std::move(factory), mode, CurrentPreset());
        captures_[key] = capture;
        return capture;
    }

private:
    std::mutex mutex_;
    std::map<std::string, std::weak_ptr<CSharedCapture>> captures_;  // guarded by mutex_
};

CCaptureDirectory& Captures() {
    static CCaptureDirectory directory;
    return directory;
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
    std::shared_ptr<CSharedCapture> capture =
        Captures().Acquire(std::move(camera), device->DeviceIndex);
    auto session = std::make_shared<CCaptureSession>(video, notice, callback, user,
                                                     customName.empty() ? deviceName : customName);
    if (!session->Open(std::move(capture))) return kNotStarted;
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

void CameraCapTest_SetEncoderPreset(const char* preset) {
    std::lock_guard<std::mutex> lock(PresetMutex());
    Preset() = preset != nullptr ? preset : kDefaultPreset;
}

int CameraCapTest_SimulatedUnplug(int index, int unplugged) {
    return SimulatedCameras::SetUnplugged(index, unplugged != 0) ? 0 : -1;
}

int CameraCapTest_SimulatedStall(int index, int stalled) {
    return SimulatedCameras::SetStalled(index, stalled != 0) ? 0 : -1;
}

int CameraCapTest_SimulatedRateDivisor(int index, int divisor) {
    return SimulatedCameras::SetRateDivisor(index, divisor) ? 0 : -1;
}

int CameraCapTest_SimulatedNoBandwidth(int index, int noBandwidth) {
    return SimulatedCameras::SetNoBandwidth(index, noBandwidth != 0) ? 0 : -1;
}

void CameraCapTest_SimulatedReset() {
    SimulatedCameras::ResetDevices();
}

void CameraCapTest_SetSimulatedSize(int width, int height) {
    SimulatedCameras::SetPictureSize(width, height);
}
