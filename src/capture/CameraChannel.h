// The system's handle on one opening of a camera: opens it through the capture
// library so live video reaches a frame target, owns the camera's recorder while it
// is recorded, forwards the library's stream to that recorder (through a motion gate
// when the camera has a motion trigger), takes still pictures and closes the camera.
// A video cell makes a new channel for every opening.
//
// Threads: Open, Close, Snapshot and destruction on one thread at a time (a video
// cell opens on a thread of its own and hands the channel to the user-interface
// thread when the opening ended); ChannelStreamProc and OnStream on the capture
// library's thread. There is no lock:
// the recorder and its gate exist before CameraCap_Open is called and are destroyed
// only after CameraCap_Close has returned, so no stream callback can meet them missing.
#pragma once

#include <cstdint>
#include <memory>

#include "capture/CaptureObject.h"
#include "capture/FrameTarget.h"
#include "capture/MotionGate.h"
#include "capture/MotionTrigger.h"
#include "capture/Recorder.h"
#include "capture/StreamTap.h"
#include "common/DeviceInfo.h"
#include "common/WindowHandle.h"

class CCameraChannel : public CCaptureObject {
public:
    // recordDir: where a recording of this channel goes (read at every new file);
    // recordings: told of its files (may be null; outlives the channel). motion: this
    // camera's trigger, which decides whether a recording keeps only the time around
    // motion (may be null: always continuous; outlives the channel).
    explicit CCameraChannel(RecordDirFn recordDir = {}, IRecordingObserver* recordings = nullptr,
                            CMotionTrigger* motion = nullptr);
    ~CCameraChannel() override;

    // 1 when the library opened the camera, 0 when not (also for a null device).
    // Starts a recorder first when device->RecordFlag is set, and discards it again,
    // without its stop line, when the opening fails; the library gets the caller's
    // record, not the channel's copy. A channel still open is closed first.
    // reserved: a handle from CameraCap_Reserve, so that another thread may end the
    // opening by closing it (nothing is logged then); -1 for a plain opening.
    // A failure logs one line: "摄像头 %s 未连接" (custom name) when the record names
    // its camera by identity and that camera is not attached, else "打开设备 %s 失败".
    int Open(IFrameTarget* video, DeviceInfo* device, HWND notice, int32_t reserved = -1);
    // Closes the camera (when the handle is 0 or more), then hands the recorder what the
    // gate still holds for it and destroys both.
    // Safe on a channel that is not open.
    void Close();
    // Also hands every access unit to tap (null: none, the default). Only while the
    // channel is not open; the tap must outlive the next Close.
    void SetStreamTap(IStreamTap* tap) { tap_ = tap; }
    // 0 or more while the camera is open; the library's negative result after a
    // failed opening; -1 when closed.
    int32_t GetHandle() const { return handle_; }
    // -1 when no camera is open, else CameraCap_CapPic's result.
    int Snapshot(const char* path);
    // Hands the bytes to the recorder, if any, through the gate if there is one; the
    // two values are not used.
    void OnStream(int32_t, int32_t, const uint8_t* data, int32_t length);

    // The record copied at Open; all zero before. Read by the recorder's worker
    // for the camera name (never written while the recorder runs).
    const DeviceInfo& Device() const { return device_; }
    const DeviceInfo* DeviceRecord() const override { return &device_; }
    // The recorder while the opened camera is recorded, else null.
    const CRecorder* Recorder() const { return recorder_.get(); }

private:
    const RecordDirFn recordDir_;
    IRecordingObserver* const recordings_;
    CMotionTrigger* const motion_;
    DeviceInfo device_;    // written at Open on the opening thread, before the recorder runs
    int32_t handle_ = -1;  // the thread that opens and closes
    // Set and cleared on the user-interface thread while no callback can run;
    // read by the capture thread in between.
    std::unique_ptr<CRecorder> recorder_;
    std::unique_ptr<CMotionGate> gate_;  // as recorder_, with a trigger only
    IStreamTap* tap_ = nullptr;          // set while closed, read by the capture thread
};

// The channel's stream callback: calls OnStream of the channel in user; nothing for null.
void ChannelStreamProc(int32_t value1, int32_t value2, const uint8_t* data, int32_t length,
                       void* user);
