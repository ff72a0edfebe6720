// The table from capture handles to open sessions. Handles are small non-negative
// integers from an increasing counter, so a handle just closed is not handed out
// again at once and a late call with it finds nothing.
// Threads: any; one mutex guards the table and is never held while a session works.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

class CCaptureSession;

class CHandleTable {
public:
    CHandleTable() = default;
    virtual ~CHandleTable();
    CHandleTable(const CHandleTable&) = delete;
    CHandleTable& operator=(const CHandleTable&) = delete;

    // Stores the session under a new handle and returns it.
    int32_t Add(std::shared_ptr<CCaptureSession> session);
    // The session of handle, or null.
    std::shared_ptr<CCaptureSession> Find(int32_t handle) const;
    // Takes the session of handle out of the table; null when there is none.
    std::shared_ptr<CCaptureSession> Remove(int32_t handle);
    // How many sessions the table holds.
    size_t Count() const;

private:
    mutable std::mutex mutex_;
    std::map<int32_t, std::shared_ptr<CCaptureSession>> sessions_;  // guarded by mutex_
    int32_t next_ = 0;                                              // guarded by mutex_
};
