#include "capture/CameraChannel.h"

#include <cstring>
#include <string>

#include "capture/CameraCap.h"

namespace {
// A name field may fill all 256 bytes without a NUL; log only what is inside it.
std::string FieldText(const char (&field)[256]) {
    return std::string(field, strnlen(field, sizeof field));
}
}  // namespace

CCameraChannel::CCameraChannel(RecordDirFn recordDir, IRecordingObserver* recordings,
                               CMotionTrigger* motion)
    : recordDir_(std::move(recordDir)), recordings_(recordings), motion_(motion) {
    ZeroDeviceInfo(device_);
}

CCameraChannel::~CCameraChannel() {
    Close();
}

int CCameraChannel::Open(IFrameTarget* video, DeviceInfo* device, HWND notice, int32_t reserved) {
    if (device == nullptr) return 0;
    if (handle_ >= 0 || recorder_) Close();
    std::memcpy(&device_, device, sizeof device_);
    // The recorder runs before the library is asked, so the first callback finds it.
    // A failed Start has logged why; the camera is shown all the same.
    if (device_.RecordFlag != 0) {
        recorder_ = std::make_unique<CRecorder>(this, recordDir_, ClockFn(), recordings_);
        recorder_->Start();
        if (motion_ != nullptr) gate_ = std::make_unique<CMotionGate>(*motion_, *recorder_);
    }
    handle_ = reserved >= 0 ? CameraCap_OpenReserved(reserved, video, device, notice,
                                                     &ChannelStreamProc, this)
                            : CameraCap_Open(video, device, notice, &ChannelStreamProc, this);
    if (handle_ >= 0) {
        ComponentLog(this, "成功打开设备 %s", FieldText(device_.DeviceName).c_str());
        return 1;
    }
    if (handle_ == kCameraCapUnknownDevice && HasCameraIdentity(device_)) {
        std::string name = FieldText(device_.CustomDeviceName);
        if (name.empty()) name = FieldText(device_.DeviceName);
        ComponentLog(this, "摄像头 %s 未连接", name.c_str());
    } else if (handle_ != kCameraCapCancelled) {
        ComponentLog(this, "打开设备 %s 失败", FieldText(device_.DeviceName).c_str());
    }
    // No callback comes from a failed opening: the recorder goes now, and with it its
    // thread; its file is made only with the first bytes, so none is left behind.
    gate_.reset();
    if (recorder_) recorder_->Discard();
    recorder_.reset();
    return 0;
}

void CCameraChannel::Close() {
    // No callback arrives once CameraCap_Close has returned; only then may the
    // recorder the callback feeds go away.
    if (handle_ >= 0) CameraCap_Close(handle_);
    handle_ = -1;
    if (gate_) gate_->Close();
    gate_.reset();
    recorder_.reset();
}

int CCameraChannel::Snapshot(const char* path) {
    if (handle_ < 0) return -1;
    return CameraCap_CapPic(handle_, path);
}

void CCameraChannel::OnStream(int32_t, int32_t, const uint8_t* data, int32_t length) {
    if (gate_) {
        gate_->OnStream(data, length);
    } else if (recorder_) {
        recorder_->Push(data, length);
    }
    if (tap_ != nullptr) tap_->OnAccessUnit(data, length, WallClockMs());
}

void ChannelStreamProc(int32_t value1, int32_t value2, const uint8_t* data, int32_t length,
                       void* user) {
    if (user != nullptr) static_cast<CCameraChannel*>(user)->OnStream(value1, value2, data, length);
}
