// The table from capture handles to their slots (reserved, opening or open).
// Handles are small non-negative integers from an increasing counter, so a handle
// just closed is not handed out again at once and a late call with it finds nothing.
// Threads: any; one mutex guards the table and is never held while a session works.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

class CHandleSlot;

class CHandleTable {
public:
    CHandleTable() = default;
    virtual ~CHandleTable();
    CHandleTable(const CHandleTable&) = delete;
    CHandleTable& operator=(const CHandleTable&) = delete;

    // Stores a new reserved slot under a new handle and returns the handle.
    int32_t Reserve();
    // The slot of handle, or null.
    std::shared_ptr<CHandleSlot> Find(int32_t handle) const;
    // Takes handle out of the table if it still holds that slot.
    void Remove(int32_t handle, const CHandleSlot* slot);
    // Whether the counter has handed handle out (until the counter first wraps, that
    // tells a handle once reserved from one never given).
    bool HandedOut(int32_t handle) const;
    // How many handles the table holds, and how many of them are open.
    size_t Count() const;
    size_t OpenCount() const;

private:
    mutable std::mutex mutex_;
    std::map<int32_t, std::shared_ptr<CHandleSlot>> slots_;  // guarded by mutex_
    int32_t next_ = 0;                                       // guarded by mutex_
    bool wrapped_ = false;                                   // guarded by mutex_
};
