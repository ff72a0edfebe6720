// A stand-in for the capture library, so the core's channel can be tested without
// GStreamer: counts every call, returns configurable results, and delivers stream
// bytes to the callback of the last opening on a thread of its own, as the real
// library does.
//
// Threads: configure and inspect from the test's thread only; FakeCapDeliver joins
// its delivery thread before it returns.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "capture/CameraCap.h"

struct FakeCapState {
    int32_t OpenResult = 0;   // handle (or failure) CameraCap_Open returns; for
                              // CameraCap_OpenReserved a result >= 0 means the reserved handle
    int32_t Reserved = -100;  // the handle of the last CameraCap_OpenReserved
    int32_t CapPicResult = 0;
    int OpenCalls = 0;
    int CloseCalls = 0;
    int CapPicCalls = 0;
    IFrameTarget* Video = nullptr;  // arguments of the last CameraCap_Open
    const DeviceInfo* Device = nullptr;
    HWND Notice = nullptr;
    StreamCallback Callback = nullptr;
    void* User = nullptr;
    int32_t ClosedHandle = -100;  // argument of the last CameraCap_Close
    int32_t CapPicHandle = -100;  // arguments of the last CameraCap_CapPic
    std::string CapPicPath;
    std::function<void()> OnOpen;   // runs inside CameraCap_Open
    std::function<void()> OnClose;  // runs inside CameraCap_Close
    bool Open = false;              // between a successful open and its close
};

// The fake's state; FakeCapReset starts every test from the defaults.
FakeCapState& FakeCap();
void FakeCapReset();

// Calls the last opening's callback with the bytes on a new thread and joins it.
// Does nothing when no camera is open.
void FakeCapDeliver(const uint8_t* data, int32_t length);
