// The recordings on disk below a RecordDir, as the recorder names them:
// "<camera>/<yyyy-mm-dd>/<hh-mm-ss>[_n].264" (RecordingName). Nothing else is listed,
// symbolic links are not followed.
//
// Pure functions of the file system: any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RecordingOnDisk {
    std::string RelPath;      // below RecordDir, "/"-separated
    std::string Camera;       // the camera's folder (may itself hold "/")
    std::string Day;          // the day folder, "yyyy-mm-dd"
    int64_t NameStartMs = 0;  // the local time in its name, in milliseconds UTC
    int Suffix = 0;
    uint64_t Bytes = 0;
    int64_t ModifiedMs = 0;  // the last change of its bytes
};

// Every recording below root, in no particular order.
std::vector<RecordingOnDisk> ListRecordingsOnDisk(const std::string& root);

// Splits "<camera>/<day>/<file>" and reads the time of its name; false for a path that
// is not a recording's.
bool ParseRecordingPath(const std::string& relPath, RecordingOnDisk* recording);

// Fills Bytes and ModifiedMs from the file at root/RelPath; false when it is missing or
// not a regular file.
bool StatRecording(const std::string& root, RecordingOnDisk* recording);

// path relative to root ("" when path does not lie below root).
std::string RelativeToRoot(const std::string& root, const std::string& path);
