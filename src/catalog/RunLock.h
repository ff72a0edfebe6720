// Tells whether another program is recording into a RecordDir's catalog right now: each
// one holds a shared lock (flock) on "<RecordDir>/OrvexCatalog.sqlite3.lock" for as long
// as it writes there, and a reconciliation first asks for the lock alone. The kernel
// drops the lock of a killed program, so a crash is told from a running copy at once,
// where a heartbeat would need its time-out.
//
// Threads: its owner's.
#pragma once

#include <string>

class CRunLock {
public:
    static constexpr const char* kFileName = "OrvexCatalog.sqlite3.lock";

    // Opens (creates) the lock file of folder; holds no lock yet.
    explicit CRunLock(const std::string& folder);
    ~CRunLock();
    CRunLock(const CRunLock&) = delete;
    CRunLock& operator=(const CRunLock&) = delete;

    bool Usable() const { return fd_ >= 0; }
    // True when no other holder exists: this one then holds the lock alone.
    bool TryAlone();
    // Holds the lock shared with other recording programs (waits for one alone).
    bool Share();

private:
    int fd_ = -1;
};
