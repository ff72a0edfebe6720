// The capture library: finds cameras, captures each opened camera, hands its live
// picture to a frame target and its H.264 stream to a callback, and saves still
// pictures. A module of its own behind this small C-style interface.
//
// Threads: every call may come from any thread, but calls for one handle are not
// made concurrently, except CameraCap_Close (see there). Callbacks and frames arrive
// on the library's own threads. Ownership: the library keeps no pointer to the
// caller's DeviceInfo after CameraCap_Open returns. The frame target and the notice window must stay valid
// until CameraCap_Close for the handle has returned.
#pragma once

#include <cstdint>

#include "capture/FrameTarget.h"
#include "common/DeviceInfo.h"
#include "common/WindowHandle.h"

// A run of H.264 Annex B bytes (SPS and PPS before every key frame). The two
// leading values are not used by the system. The bytes are valid only during the call.
using StreamCallback = void (*)(int32_t, int32_t, const uint8_t* data, int32_t length, void* user);

constexpr int kMaxDevices = 10;

// A camera's stable key, NUL-terminated, from the camera's own properties alone (a
// twin plugged in beside it changes nothing): for a real camera "port:<USB port
// path>", else "serial:<serial>", else "node:<device node>"; for a simulated camera
// "simulated:<n>", n its 1-based number, whatever its place in the enumeration.
constexpr size_t kCameraKeyBytes = 256;
struct CameraKey {
    char Text[kCameraKeyBytes];
};

// Fills up to 10 records (the caller zeroes *count and passes room for 10) and sets
// *count. DeviceIndex is the position; DeviceName and CustomDeviceName the device's
// name; Width, Height and FrameRate the mode the library captures in; the reserved
// words the identity of the device's key (SetCameraIdentity). Returns *count.
int CameraCap_EnumDevice(DeviceInfo* devices, int32_t* count);
// The same, and the key of each device into keys (room for 10; may be null).
int CameraCap_EnumDeviceKeys(DeviceInfo* devices, CameraKey* keys, int32_t* count);

// Opens the camera of the record. A record with an identity (HasCameraIdentity) means
// the attached device of that identity and no other: -1 when it is not attached,
// whatever other camera has the record's name. A record without one is found by
// DeviceName and, among devices of the same name, by DeviceIndex. Live frames go to
// video (may be null), the stream to callback (may be null) with user, texts for the
// operator to notice as WM_LOG_TEXT with lParam 1 (may be null). Waits until the
// camera's first picture has passed (at most 10 s). Returns a handle >= 0, never one
// just closed; -1 for an unknown device, -2 when the camera does not start (the
// reason then went to notice), -3 when GStreamer cannot be initialised.
//
// A camera already open under another handle is shared, not opened twice (a device
// gives its stream to one opener only): the new handle joins the running capture at
// once, and its stream starts at the next key frame. Closing one handle leaves the
// others running undisturbed.
//
// A camera that goes away, reports an error or delivers nothing for a few seconds is
// told to notice ("摄像头 %s 已断开", "摄像头 %s 无画面", ...) and reopened by itself
// each second; when it delivers again, "摄像头 %s 已重新连接" follows and frames and
// stream resume on the same handle, the stream at a key frame.
constexpr int32_t kCameraCapUnknownDevice = -1;
int32_t CameraCap_Open(IFrameTarget* video, const DeviceInfo* device, HWND notice,
                       StreamCallback callback, void* user);

// An opening that another thread can end while it waits for the camera: reserve the
// handle first, open on a worker with CameraCap_OpenReserved, and close the handle from
// any thread to end the opening. A handle >= 0, never one just closed or in use.
int32_t CameraCap_Reserve();
constexpr int32_t kCameraCapCancelled = -4;
// As CameraCap_Open, for a handle from CameraCap_Reserve: returns that handle on
// success, or CameraCap_Open's negative results; -4 when the handle was closed before
// or during the opening (the start then ended within about 100 ms, and the handle is
// free again), and for any other handle handed out and closed since. -1 for a handle
// never handed out or in use.
int32_t CameraCap_OpenReserved(int32_t handle, IFrameTarget* video, const DeviceInfo* device,
                               HWND notice, StreamCallback callback, void* user);

// Closes the handle. After it returns no frame, stream callback or notice for that
// handle arrives. Closing an unknown or already closed handle does nothing. Never
// call it from a stream callback or OnFrame. Returns 0, or -1 for an unknown handle.
// It may come from another thread while the handle's opening (CameraCap_OpenReserved)
// runs: it then ends that opening and returns without waiting for the camera. Two
// closes of one handle may overlap; each returns only when nothing of the handle can
// arrive any more.
int CameraCap_Close(int32_t handle);

// Saves the current picture as JPEG at path. 0 on success; -1 for an unknown
// handle, -2 when no picture has arrived yet, -3 when encoding or writing failed.
int32_t CameraCap_CapPic(int32_t handle, const char* path);
