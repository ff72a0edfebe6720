// The calls of the capture library: a handle table of slots, each holding the
// session of one opening, attached to the one shared capture of its camera.
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
#include "camcap/HandleSlot.h"
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

// The running captures by the stable key of their camera. The sessions own them; an
// entry whose capture has gone is replaced by the next opening. Never held while a
// capture works.
class CCaptureDirectory {
public:
    // The capture of the camera: the running one, or a new one that reopens the camera
    // by its key.
    std::shared_ptr<CSharedCapture> Acquire(CameraDevice camera) {
        const std::string key = camera.Key;
        std::lock_guard<std::mutex> lock(mutex_);
        std::shared_ptr<CSharedCapture> capture = captures_[key].lock();
        if (capture) return capture;
        std::vector<CaptureMode> modes = camera.Modes;
        // The first source comes from the device just found; later ones (another mode,
        // a reopening after an unplug) from the device that has the key then.
        auto found = std::make_shared<CameraDevice>(std::move(camera));
        auto factory = [found, key](const CaptureMode& mode) mutable -> GstElement* {
            if (found) {
                GstElement* source = DeviceRegistry::CreateSource(*found, mode);
                found.reset();
                return source;
            }
            return DeviceRegistry::CreateSourceByKey(key, mode);
        };
        capture =
            std::make_shared<CSharedCapture>(std::move(factory), std::move(modes), CurrentPreset());
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

// A name field of a record that may come from anywhere, read only within its bytes.
std::string FieldText(const char (&field)[256]) {
    return std::string(field, strnlen(field, sizeof field));
}

// Opens the session of a slot that began opening; the result for OpenReserved.
int32_t OpenSession(const std::shared_ptr<CCaptureSession>& session, const DeviceInfo& device,
                    const std::string& deviceName) {
    CameraDevice camera;
    if (!DeviceRegistry::Find(device, deviceName, camera)) return kUnknownDevice;
    return session->Open(Captures().Acquire(std::move(camera))) ? 0 : kNotStarted;
}

}  // namespace

int CameraCap_EnumDeviceKeys(DeviceInfo* devices, CameraKey* keys, int32_t* count) {
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
        record.Width = camera.Mode().Width;
        record.Height = camera.Mode().Height;
        record.FrameRate = camera.Mode().FrameRate();
        SetCameraIdentity(record, camera.Key);
        if (keys != nullptr) {
            CameraKey& key = keys[*count];
            std::memset(key.Text, 0, sizeof key.Text);
            camera.Key.copy(key.Text, sizeof key.Text - 1);
        }
        ++*count;
    }
    return *count;
}

int CameraCap_EnumDevice(DeviceInfo* devices, int32_t* count) {
    return CameraCap_EnumDeviceKeys(devices, nullptr, count);
}

int32_t CameraCap_Reserve() {
    return Handles().Reserve();
}

int32_t CameraCap_OpenReserved(int32_t handle, IFrameTarget* video, const DeviceInfo* device,
                               HWND notice, StreamCallback callback, void* user) {
    const std::shared_ptr<CHandleSlot> slot = Handles().Find(handle);
    // A handle handed out but no longer in the table was reserved and closed since.
    if (!slot) return Handles().HandedOut(handle) ? kCameraCapCancelled : kUnknownDevice;
    std::shared_ptr<CCaptureSession> session;
    std::string deviceName;
    if (device != nullptr) {
        deviceName = FieldText(device->DeviceName);
        const std::string customName = FieldText(device->CustomDeviceName);
        session = std::make_shared<CCaptureSession>(video, notice, callback, user,
                                                    customName.empty() ? deviceName : customName);
    }
    const CHandleSlot::State state = slot->BeginOpening(session);
    // Opening or open: the handle is another call's, not reserved for this one.
    if (state == CHandleSlot::State::Opening || state == CHandleSlot::State::Open) {
        return kUnknownDevice;
    }
    int32_t result = kUnknownDevice;
    if (state == CHandleSlot::State::Reserved && session) {
        result = !GstRuntime::EnsureInitialised() ? kNoRuntime
                                                  : OpenSession(session, *device, deviceName);
        if (result == 0 && slot->FinishOpening()) return handle;
    }
    // Failed, or closed before or during the opening: the handle is free again, and a
    // session that attached just before the close leaves its capture here.
    CHandleSlot::State before = CHandleSlot::State::Reserved;
    slot->Close(&before);
    if (session) session->Close();
    Handles().Remove(handle, slot.get());
    return before == CHandleSlot::State::Closed ? kCameraCapCancelled : result;
}

int32_t CameraCap_Open(IFrameTarget* video, const DeviceInfo* device, HWND notice,
                       StreamCallback callback, void* user) {
    return CameraCap_OpenReserved(CameraCap_Reserve(), video, device, notice, callback, user);
}

int CameraCap_Close(int32_t handle) {
    const std::shared_ptr<CHandleSlot> slot = Handles().Find(handle);
    if (!slot) return -1;
    // Of an opening under way this only shuts the gate and tells the opener to give up;
    // an overlapping second close waits here for the same gate.
    if (const std::shared_ptr<CCaptureSession> session = slot->Close()) session->Close();
    // Only now, so that a second close cannot find the handle gone and return early.
    Handles().Remove(handle, slot.get());
    return 0;
}

int32_t CameraCap_CapPic(int32_t handle, const char* path) {
    const std::shared_ptr<CHandleSlot> slot = Handles().Find(handle);
    const std::shared_ptr<CCaptureSession> session = slot ? slot->OpenSession() : nullptr;
    if (!session) return -1;
    return session->CapturePicture(path);
}

int CameraCapTest_OpenHandles() {
    return static_cast<int>(Handles().OpenCount());
}

int CameraCapTest_HandlesInUse() {
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

void CameraCapTest_SimulatedPlugOrder(const int* order, int count) {
    std::vector<int> indexes;
    for (int i = 0; order != nullptr && i < count; ++i) indexes.push_back(order[i]);
    SimulatedCameras::SetPlugOrder(indexes);
}

int CameraCapTest_SimulatedStreams(int index) {
    return SimulatedCameras::Streams(index);
}

int CameraCapTest_SimulatedSourcesMade(int index) {
    return SimulatedCameras::SourcesMade(index);
}

void CameraCapTest_SimulatedReset() {
    SimulatedCameras::ResetDevices();
}

void CameraCapTest_SetSimulatedSize(int width, int height) {
    SimulatedCameras::SetPictureSize(width, height);
}
