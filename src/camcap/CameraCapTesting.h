// Hooks of the capture library for tests and benchmarks only; the program never
// calls them. Threads: as the calls of CameraCap.h.
#pragma once

#include <cstdint>

// How many handles are open now (their opening has returned them).
int CameraCapTest_OpenHandles();
// How many handles are in use now: reserved, opening or open.
int CameraCapTest_HandlesInUse();

// The x264 speed preset for cameras opened from now on ("veryfast" unless set);
// null restores the default.
void CameraCapTest_SetEncoderPreset(const char* preset);

// The device of simulated camera index (0-based: "Simulated Camera <index + 1>"), as
// a test handles a real one. Each returns 0, or -1 for an index out of range.
// Unplugged (1) or plugged back (0): while unplugged its stream fails with a read
// error, as a V4L2 camera pulled from its socket, and it is neither listed nor opened.
int CameraCapTest_SimulatedUnplug(int index, int unplugged);
// Stalled (1): it delivers nothing and reports nothing, as a hung USB device; 0 ends it.
int CameraCapTest_SimulatedStall(int index, int stalled);
// It delivers one picture in divisor at their nominal times (1: every picture), as a
// camera that slows down in the dark.
int CameraCapTest_SimulatedRateDivisor(int index, int divisor);
// Its stream fails as it starts (1), as a USB controller without the bandwidth for one
// more camera makes it; 0 ends it.
int CameraCapTest_SimulatedNoBandwidth(int index, int noBandwidth);
// The simulated cameras are listed in this order (0-based indexes), then the others
// by number; a null order or a count of 0 restores numbering. A camera keeps its key
// ("simulated:<index + 1>") wherever it is listed.
void CameraCapTest_SimulatedPlugOrder(const int* order, int count);
// How many sources of simulated camera index exist now: 1 while a capture streams
// from it, 0 once every capture of it is gone.
int CameraCapTest_SimulatedStreams(int index);
// How many sources of simulated camera index were made in all: which camera an
// opening reached, and whether it reached one at all.
int CameraCapTest_SimulatedSourcesMade(int index);
// Every simulated device plugged in by number, delivering every picture.
void CameraCapTest_SimulatedReset();

// The picture size of simulated cameras opened or listed from now on (640x480 unless
// set; 0, 0 restores it). For benchmarks.
void CameraCapTest_SetSimulatedSize(int width, int height);
