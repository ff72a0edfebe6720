// The name of a recording file below RecordDir:
// "<camera>/<yyyy-mm-dd>/<hh-mm-ss>[_<n>].264", the camera's folder, the day the file
// was started and its start time; "_<n>" (1..999) tells apart files started in the
// same second. The recorder makes names here; the retention and the catalog read them
// back: nothing else writes or parses this form. Pure functions: any thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/LocalTime.h"

namespace RecordingName {

constexpr int kMaxSuffix = 999;
// The folder used for a camera name (or one "/"-separated part of it) that is empty,
// "." or "..", so that no recording lands outside RecordDir.
constexpr const char* kPlaceholderFolder = "_";

// The folder a camera's recordings go to below RecordDir: its name, with every
// "/"-separated part that is empty, "." or ".." replaced by kPlaceholderFolder.
std::string CameraFolder(const std::string& cameraName);

// The full path: recordDir without one trailing "/", the camera name made safe, the
// date and the time of start, and "_<suffix>" when suffix > 0.
std::string Path(const std::string& recordDir, const std::string& cameraName,
                 const LocalTime& start, int suffix = 0);

struct Parsed {
    int64_t StartSeconds = 0;  // local date and time of the name, in seconds since 1970
    int Suffix = 0;
};

// Reads a file's day folder name and file name; false for anything that is not a
// recording name.
bool Parse(const std::string& dayFolder, const std::string& fileName, Parsed* parsed);

// Seconds since 1970 of a local date and time, as Parsed counts them.
int64_t SecondsOf(const LocalTime& time);

}  // namespace RecordingName
