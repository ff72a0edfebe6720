#include "FakeCameraCap.h"

#include <thread>

namespace {
FakeCapState gState;
}  // namespace

FakeCapState& FakeCap() {
    return gState;
}

void FakeCapReset() {
    gState = FakeCapState();
}

void FakeCapDeliver(const uint8_t* data, int32_t length) {
    if (!gState.Open || gState.Callback == nullptr) return;
    const StreamCallback callback = gState.Callback;
    void* user = gState.User;
    std::thread capture([=] { callback(7, 9, data, length, user); });
    capture.join();
}

int CameraCap_EnumDevice(DeviceInfo*, int32_t* count) {
    if (count != nullptr) *count = 0;
    return 0;
}

int CameraCap_EnumDeviceKeys(DeviceInfo*, CameraKey*, int32_t* count) {
    if (count != nullptr) *count = 0;
    return 0;
}

int32_t CameraCap_Reserve() {
    return 40;
}

int32_t CameraCap_OpenReserved(int32_t handle, IFrameTarget* video, const DeviceInfo* device,
                               HWND notice, StreamCallback callback, void* user) {
    gState.Reserved = handle;
    const int32_t result = CameraCap_Open(video, device, notice, callback, user);
    return result >= 0 ? handle : result;
}

int32_t CameraCap_Open(IFrameTarget* video, const DeviceInfo* device, HWND notice,
                       StreamCallback callback, void* user) {
    ++gState.OpenCalls;
    gState.Video = video;
    gState.Device = device;
    gState.Notice = notice;
    gState.Callback = callback;
    gState.User = user;
    if (gState.OnOpen) gState.OnOpen();
    gState.Open = gState.OpenResult >= 0;
    return gState.OpenResult;
}

int CameraCap_Close(int32_t handle) {
    ++gState.CloseCalls;
    gState.ClosedHandle = handle;
    if (gState.OnClose) gState.OnClose();
    gState.Open = false;
    gState.Callback = nullptr;
    gState.User = nullptr;
    return 0;
}

int32_t CameraCap_CapPic(int32_t handle, const char* path) {
    ++gState.CapPicCalls;
    gState.CapPicHandle = handle;
    gState.CapPicPath = path != nullptr ? path : "";
    return gState.CapPicResult;
}
