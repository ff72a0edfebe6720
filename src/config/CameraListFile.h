// The camera list file CameraList.xml beside the executable: the cameras of the
// last discovery with the operator's names. Written whole by SaveCameraList, read
// once at start by LoadCameraList. No Qt.
//
// Threads: any thread; the callers never overlap (the settings dialog is modal and
// the main window disables it while its loader runs).
#pragma once

#include <string>

#include "capture/DeviceInfo.h"
#include "platform/WindowHandle.h"

// "<ExeDir>CameraList.xml" of the application object.
std::string CameraListPath();

// Writes the first count records (0..10) to path, atomically: the file is always
// the old list or the new one, whole. True when written.
bool SaveCameraList(const DeviceInfo* table, int count, const std::string& path);
// The same at CameraListPath().
bool SaveCameraList(const DeviceInfo* table, int count);

// Reads path into table (room for 10 records), sets *count to the records read.
// RecordFlag of each is 1 when supportRecord. Returns 1 when a document with a root
// element was read (even with no item), 0 when the file is missing, unreadable,
// not well-formed or refused, and -1 when it has no root element ("解析xml错误"
// logged).
int ReadCameraList(const std::string& path, DeviceInfo* table, int* count, bool supportRecord);

// Reads CameraListPath() into a new camera table and posts it to window as
// WM_CAMERA_LIST (the receiver frees it; freed here when the post fails). Returns
// the number of records read, 0 when none.
int LoadCameraList(HWND window);
