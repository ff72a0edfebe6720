// MotionSettings.xml, beside the camera list: how each camera watches for motion.
// CameraList.xml keeps its six elements; a camera's entry here is found by its
// identity, or by its DeviceName when its record carries none (a list from before
// camera keys), so a camera keeps its settings wherever it sits in the list.
//
//   <?xml version="1.0" ?>
//   <MotionSettings>
//       <Camera>
//           <Key>id:0123456789abcdef01234567</Key>      (or "name:<DeviceName>")
//           <Enabled>1</Enabled>
//           <MinAreaPct>1.5</MinAreaPct>
//           <Recording>motion</Recording>            (or "continuous")
//           <Excluded>0000000000000011 ...</Excluded>  (12 rows of 16, "1" excluded)
//       </Camera>
//   </MotionSettings>
//
// Threads: any; no state is shared.
#pragma once

#include <map>
#include <string>

#include "common/DeviceInfo.h"
#include "common/MotionSettings.h"

using MotionSettingsTable = std::map<std::string, MotionSettings>;

// The settings file beside the camera list at cameraListPath.
std::string MotionSettingsPath(const std::string& cameraListPath);
// The key a camera's settings are kept under.
std::string MotionSettingsKey(const DeviceInfo& record);

// The camera's settings in table, or the defaults (off) when it has none.
MotionSettings MotionSettingsFor(const MotionSettingsTable& table, const DeviceInfo& record);

// Replaces the file whole. False, the old file untouched, when it cannot be written.
bool SaveMotionSettings(const std::string& path, const MotionSettingsTable& table);
// The entries of the file; an entry with a bad value keeps that value's default, and
// a missing, unreadable or refused file gives an empty table.
MotionSettingsTable LoadMotionSettings(const std::string& path);
