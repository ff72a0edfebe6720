// The event log: writes each text as one stamped, flushed line into a dated log
// file "<exe folder>/Log/<yyyy-mm-dd>/<log name>/<hh-mm-ss-mmm>.log", and starts a
// new file after the line that brings the file to 1,024,000 bytes and after the
// first line of a new local date.
//
// Threads: any thread may call every operation; one re-entrant lock guards all
// fields. Under it only the clock and the file system are called.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "platform/LocalTime.h"

class CEventLog {
public:
    static constexpr size_t kLineBufferBytes = 1500;
    static constexpr size_t kStampChars = 23;
    // Stamp, two spaces, text and NUL must fit the line buffer.
    static constexpr size_t kMaxTextBytes = kLineBufferBytes - kStampChars - 2 - 1;  // 1474
    static constexpr uint32_t kFileLimitBytes = 1024000;

    // baseFolder: the folder that holds "Log" (no trailing "/"); empty means the
    // executable's folder. clock: empty means the system's local time.
    explicit CEventLog(std::string baseFolder = {}, ClockFn clock = {});
    ~CEventLog();

    CEventLog(const CEventLog&) = delete;
    CEventLog& operator=(const CEventLog&) = delete;

    // 0 for a null or empty name; else stores it, starts a new file and returns 1.
    int SetLogName(const char* name);
    // 1 when the line was written; 0 when refused (text over 1474 bytes), when the
    // file cannot be opened, or when writing failed.
    int AddLine(const char* text);
    // Closes the file, forgets its path, resets the byte count. Always 1.
    int CloseFile();

    std::string CurrentPath() const;
    uint32_t ByteCount() const;

private:
    int StartNewFile();
    int OpenLogFile(const std::string& relativeName);
    int EnsureOpen();
    static int CreatePathFolders(const std::string& path);
    static std::string FormatStamp(const LocalTime& t);

    mutable std::recursive_mutex lock_;  // guards every field below
    std::string baseFolder_;
    ClockFn clock_;
    std::string currentPath_;  // empty when no file is chosen
    FILE* file_ = nullptr;
    std::unique_ptr<char[]> lineBuffer_;
    uint32_t byteCount_ = 0;
    std::string logName_ = "Log";
    LocalTime fileStart_{};
};
