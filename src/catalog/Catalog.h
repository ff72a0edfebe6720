// The catalog of recordings as the program uses it: the recorders and the retention
// tell it of files (IRecordingObserver), the motion detectors of the motion they see
// (IMotionObserver), the playback window and the command line ask it (ICatalogReader).
// It owns "the catalog of the current RecordDir" (CCatalogStore): Open opens and
// reconciles the catalog of the RecordDir in the settings, SwitchTo moves to another
// RecordDir when the settings change. A catalog left behind stays open until the files
// still growing in it are finished.
//
// What it is told is only queued: its own thread writes batches of it in one
// transaction (at least once a second while anything comes), computes the SHA-256 of
// each finished file and seals it in the hash chain, keeps its run alive with a
// heartbeat, and when idle scans the files that were found without rows.
//
// Threads: Open, SwitchTo, Close and destruction on the owner's thread; the observer's
// calls on any thread, never waiting for a disk or the database; the reader's calls on
// any thread, answered from a reading connection of their own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "catalog/CatalogEvent.h"
#include "catalog/CatalogReader.h"
#include "catalog/CatalogStore.h"
#include "catalog/Reconciler.h"
#include "common/MotionObserver.h"
#include "common/RecordingObserver.h"
#include "platform/LocalTime.h"

class CCatalog : public IRecordingObserver, public IMotionObserver, public ICatalogReader {
public:
    using LogFn = std::function<void(const std::string&)>;

    struct Options {
        LogFn Log;  // a line for each fault handled and each reconciliation
        WallClockFn Clock = &WallClockMs;
        // How long told events gather before they are written together.
        std::chrono::milliseconds BatchDelay{500};
        std::chrono::milliseconds HeartbeatInterval{5000};
        // Scan files found without rows while idle.
        bool IndexInBackground = true;
    };

    CCatalog();
    explicit CCatalog(Options options);
    ~CCatalog() override;
    CCatalog(const CCatalog&) = delete;
    CCatalog& operator=(const CCatalog&) = delete;

    // Opens the catalog of recordDir and reconciles it on this thread, then starts the
    // writing thread. Once only.
    ReconcileReport Open(const std::string& recordDir);
    // Moves to the catalog of recordDir (the same folder: nothing); the writing thread
    // opens and reconciles it.
    void SwitchTo(const std::string& recordDir);
    // Waits up to bound until everything told before the call has been written; false
    // on time-out.
    bool Flush(std::chrono::milliseconds bound);
    // Writes what is queued, ends this program's runs cleanly and stops the thread.
    // Nothing told afterwards is kept. Idempotent.
    void Close();
    // The RecordDir of the catalog that answers.
    std::string RecordDir() const;

    // IRecordingObserver.
    void FileStarted(const std::string& camera, const std::string& path, int64_t startMs) override;
    void FileGrew(const std::string& path, uint64_t bytes, uint32_t pictures, int64_t endMs,
                  const std::vector<RecordedKeyFrame>& keyFrames) override;
    void FileFinished(const std::string& path, uint64_t bytes, uint32_t pictures, int64_t endMs,
                      const std::vector<RecordedKeyFrame>& keyFrames) override;
    void GapNoted(const std::string& camera, int64_t fromMs, int64_t toMs,
                  RecordingGapCause cause) override;
    void FileDeleted(const std::string& path) override;

    // IMotionObserver: the events of a camera go where its recordings do.
    void MotionStarted(const std::string& camera, int64_t startMs) override;
    void MotionEnded(const std::string& camera, int64_t startMs, int64_t endMs,
                     double peakPct) override;

    // ICatalogReader.
    std::vector<std::string> Cameras() const override;
    std::vector<int> DaysWithRecordings(const std::string& camera, int year,
                                        int month) const override;
    std::vector<CatalogFile> Files(const std::string& camera, int64_t fromMs,
                                   int64_t toMs) const override;
    std::vector<CatalogKeyFrame> KeyFrames(int64_t fileId) const override;
    std::vector<CatalogGap> Gaps(const std::string& camera, int64_t fromMs,
                                 int64_t toMs) const override;
    std::vector<CatalogMotionEvent> MotionEvents(const std::string& camera, int64_t fromMs,
                                                 int64_t toMs) const override;

private:
    void Queue(CatalogEvent event);
    void Body();
    // Writes a batch: switches in order, the rest grouped per catalog.
    void Apply(std::vector<CatalogEvent>& batch);
    void Write(const std::shared_ptr<CCatalogStore>& store, std::vector<CatalogEvent>& events);
    void SwitchNow(const std::string& recordDir);
    // The open catalog whose RecordDir holds path; null when none does.
    std::shared_ptr<CCatalogStore> StoreOf(const std::string& path) const;
    // The catalog a camera records into: where its file grows, else the current one.
    std::shared_ptr<CCatalogStore> StoreOfCamera(const std::string& camera) const;
    void Heartbeat();
    // Ends the runs of catalogs left behind whose files are all finished.
    void CloseIdleStores();
    // Scans one file found without rows; false when none is left.
    bool IndexOne();
    std::shared_ptr<CCatalogStore> Current() const;
    void Log(const std::string& line) const;

    const Options options_;

    std::mutex queueLock_;  // guards the fields up to thread_
    std::condition_variable queueSignal_;
    std::condition_variable writtenSignal_;
    std::vector<CatalogEvent> queue_;
    uint64_t queued_ = 0;   // events queued since Open
    uint64_t written_ = 0;  // of those, written (or dropped)
    int flushWaiters_ = 0;
    bool accepting_ = false;
    bool stopping_ = false;
    std::thread thread_;  // owner's thread

    // The writing thread's (Open's before it starts, Close's after it ended).
    std::vector<std::shared_ptr<CCatalogStore>> stores_;
    std::map<const CCatalogStore*, std::set<std::string>> growing_;  // full paths
    std::chrono::steady_clock::time_point nextHeartbeat_{};
    bool indexPending_ = true;

    mutable std::mutex currentLock_;  // guards current_, for a copy only
    std::shared_ptr<CCatalogStore> current_;
};
