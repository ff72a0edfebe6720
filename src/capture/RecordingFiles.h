// The process-wide list of recording files being written, so that deleting old
// recordings never removes a file a recorder still has open.
//
// Threads: any. One lock guards the list and is held across a creation (Create)
// and across a check-and-delete (DeleteUnlessOpen), so the two never interleave.
#pragma once

#include <string>

class CRecordingFiles {
public:
    CRecordingFiles() = delete;

    // Creates path exclusively (mode 0644, close-on-exec) and lists it as open.
    // The descriptor, or -1 with errno set.
    static int Create(const std::string& path);
    // Unlists a file after its descriptor was closed.
    static void Closed(const std::string& path);
    static bool IsOpen(const std::string& path);
    // 0 deleted, 1 kept because it is open, -1 unlink failed (errno set).
    static int DeleteUnlessOpen(const std::string& path);
};
