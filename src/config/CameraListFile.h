// The camera list file CameraList.xml: the cameras of the last discovery with the
// operator's names, and beside it the key file (CameraKeyFile.h) that says which
// physical camera each one is. Written whole by SaveCameraList, read
// once at start by LoadCameraList, both through TinyXML. No Qt.
//
// File: the declaration <?xml version="1.0" ?>, the root "CameraList" and one "Item"
// per camera holding DeviceIndex, DeviceName, CustomDeviceName, Width, Height and
// FrameRate, laid out exactly as TinyXML prints a document. Reading keeps TinyXML's
// default white-space condensing, takes every element after the first "Item" as a
// camera whatever its name (up to 10), never reads FrameRate and sets RecordFlag
// from the SupportRecord setting alone.
//
// Threads: any thread; the callers never overlap (the settings dialog is modal and
// the main window disables it while its loader runs), and no state is shared.
#pragma once

#include <string>
#include <vector>

#include "common/DeviceInfo.h"
#include "common/WindowHandle.h"

// Results of ReadCameraList.
constexpr int kCameraListRead = 0;        // a root element was found; count may be 0
constexpr int kCameraListNotLoaded = -1;  // missing, unreadable, empty or not well-formed
constexpr int kCameraListRefused = -2;    // refused unparsed: too large or too much markup
constexpr int kCameraListNoRoot = -3;     // well-formed but without a root element

// Writes the first count records (0..10) of table to path, and keys[i] (the key of
// record i; missing ones empty) to the key file beside it. The new list goes to a
// temporary file in the same folder, is flushed to disk and then renamed over the old
// file, so the file is always the old list or the new one, whole; the old file's
// permissions are kept. False, with the old file untouched, when anything fails or
// count is out of range.
bool SaveCameraList(const DeviceInfo* table, int count, const std::string& path,
                    const std::vector<std::string>& keys = {});

// Reads path into table (room for 10 records) and sets *count to the records read
// (0 unless kCameraListRead). RecordFlag of each is 1 exactly when supportRecord; a
// record the key file names gets its camera's identity. Touches nothing else: no
// log, no post. Returns one of the kCameraList* results.
int ReadCameraList(const std::string& path, DeviceInfo* table, int* count, bool supportRecord);

// Reads path into a new camera table as ReadCameraList does and posts it to window
// as WM_CAMERA_LIST with the count (also a count of 0); the receiver frees the table,
// and it is freed here when the post fails or window is null. Logs "解析xml错误" for
// a file without a root element. Returns the number of records read, 0 when none; a
// failed post does not change it.
int LoadCameraList(HWND window, const std::string& path, bool supportRecord);
