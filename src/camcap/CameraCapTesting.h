// Hooks of the capture library for tests and benchmarks only; the program never
// calls them. Threads: as the calls of CameraCap.h.
#pragma once

#include <cstdint>

// How many handles are open now.
int CameraCapTest_OpenHandles();

// Makes the camera of handle behave as if it had been pulled from its socket: its
// source fails with a read error and its stream ends. 0, or -1 for an unknown handle.
int CameraCapTest_Unplug(int32_t handle);

// The x264 speed preset for cameras opened from now on ("fast" unless set);
// null restores the default.
void CameraCapTest_SetEncoderPreset(const char* preset);
