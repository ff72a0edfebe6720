// Ages recordings out of RecordDir, so that cameras left recording for months keep
// recording: deletes those older than RecordSaveDay days (at Start and then
// hourly), and whenever free space on RecordDir's file system falls below a
// reserve, the oldest ones first until the reserve is back. Only files this program
// writes are touched, "<RecordDir>/<camera>/<yyyy-mm-dd>/<hh-mm-ss>[_n].264", and
// never one a recorder has open (CRecordingFiles). Every deletion is logged; a day
// folder left empty is removed (not today's, which a recorder may be about to use).
// RecordDir and RecordSaveDay are asked for at every pass (Options::Policy). The
// catalog of recordings is told of each deletion (Options::Recordings).
//
// Threads: Start, Stop and destruction on the owner's thread (the main window's).
// The passes run on the retention's own thread, or on the caller's thread through
// RunAgePass / RunSpacePass (tests and tools) while that thread is not started.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/RecordingObserver.h"
#include "platform/LocalTime.h"

class CRetention {
public:
    // Free space kept on RecordDir's file system: the larger of these two.
    static constexpr uint64_t kMinReserveBytes = uint64_t{2} << 30;  // 2 GiB
    static constexpr uint64_t kReservePercent = 2;                   // of its size
    static constexpr std::chrono::minutes kAgePassInterval{60};
    // Four cameras write about 1 MB/s: a minute costs far less than the reserve.
    static constexpr std::chrono::seconds kSpaceCheckInterval{60};

    struct DiskSpace {
        bool Known = false;
        uint64_t TotalBytes = 0;
        uint64_t FreeBytes = 0;  // what an unprivileged writer may still use
    };
    using DiskSpaceFn = std::function<DiskSpace(const std::string& folder)>;

    // The settings a pass works with.
    struct Policy {
        std::string RecordDir;
        int SaveDays = 0;  // recordings older than this many days go; 0 or less: none
    };
    // Called on the pass thread at every pass: returns whole copies of values the
    // settings dialog may replace meanwhile.
    using PolicyFn = std::function<Policy()>;

    struct Options {
        PolicyFn Policy;    // no passes without it
        ClockFn Clock;      // local time; the system clock when empty
        DiskSpaceFn Space;  // statvfs when empty
        // Told of each deleted recording on the pass thread; may be null, else it
        // outlives the retention.
        IRecordingObserver* Recordings = nullptr;
        uint64_t MinReserveBytes = kMinReserveBytes;
        std::chrono::milliseconds SpaceCheckInterval = kSpaceCheckInterval;
    };

    CRetention();
    explicit CRetention(Options options);
    virtual ~CRetention();

    CRetention(const CRetention&) = delete;
    CRetention& operator=(const CRetention&) = delete;

    // Starts the thread, which runs both passes at once and then on their intervals.
    // 0 when it runs (also when it already did), -1 when it cannot be created.
    int Start();
    // Wakes and joins the thread; a pass stops after its current deletion. Nothing
    // when not started.
    void Stop();

    // Deletes the recordings older than RecordSaveDay days. Returns how many.
    int RunAgePass();
    // Deletes the oldest recordings while free space is below the reserve. Returns
    // how many; when none is left to delete, that is logged once per episode.
    int RunSpacePass();

    static uint64_t ReserveBytes(uint64_t totalBytes, uint64_t minReserveBytes = kMinReserveBytes);
    static DiskSpace StatDiskSpace(const std::string& folder);

private:
    struct Recording {
        std::string Path;
        int64_t Start = 0;  // seconds of the local date and time in its name
        int Suffix = 0;     // the _n of a second recording started in the same second
        bool operator<(const Recording& other) const;
    };

    // The policy with RecordDir's trailing "/" removed; an empty RecordDir without one.
    Policy CurrentPolicy() const;

    // The recordings below recordDir, oldest first.
    std::vector<Recording> ListRecordings(const std::string& recordDir) const;
    // Deletes one recording, logging with format, and its day folder when that is
    // left empty. False when it is open or could not be deleted.
    bool Delete(const Recording& recording, const char* format, int64_t today);
    int64_t Now() const;
    void Body();

    const PolicyFn policy_;
    const ClockFn clock_;
    const DiskSpaceFn space_;
    IRecordingObserver* const recordings_;
    const uint64_t minReserveBytes_;
    const std::chrono::milliseconds spaceCheckInterval_;

    // The pass thread's (or the caller's, when not started).
    bool spaceShortLogged_ = false;      // this episode of too little space was logged
    std::set<std::string> failedPaths_;  // deletions that failed, logged once each

    std::atomic<bool> stopping_{false};  // set by Stop, read by the passes
    std::mutex lock_;                    // guards the wait for stopping_ with wake_
    std::condition_variable wake_;
    std::thread thread_;  // owner's thread only
};
