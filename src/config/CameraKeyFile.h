// CameraKeys.xml, beside the camera list: the stable key of each camera of the list
// (its USB serial or port path, as the capture library reports it) in list order,
// with the camera's DeviceName. CameraList.xml keeps its six elements; this file says
// which physical camera each entry means. An entry counts only for the list entry at
// its position with the same DeviceName, so a list written by another program, or
// before keys were kept, never takes a stranger's key: its cameras are then found by
// name and index as before.
//
//   <?xml version="1.0" ?>
//   <CameraKeys>
//       <Camera>
//           <DeviceName>USB Camera</DeviceName>
//           <Key>port:pci-0000:00:14.0-usb-0:1:1.0</Key>
//       </Camera>
//   </CameraKeys>
//
// Threads: any; no state is shared (the callers of the camera list never overlap).
#pragma once

#include <string>
#include <vector>

#include "common/DeviceInfo.h"

// The key file beside the camera list at cameraListPath.
std::string CameraKeysPath(const std::string& cameraListPath);

// Writes the keys of the first count records (a missing or empty key: an empty
// element) to path, replacing the file whole. False, the old file untouched, when it
// cannot be written.
bool SaveCameraKeys(const std::string& path, const DeviceInfo* table,
                    const std::vector<std::string>& keys, int count);

// Gives each of the count records of table whose entry matches (same position, same
// DeviceName, a key) the identity of that key. Returns how many; 0 for a missing,
// unreadable or refused file.
int ApplyCameraKeys(const std::string& path, DeviceInfo* table, int count);
