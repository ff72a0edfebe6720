// The catalog database of one RecordDir: "<RecordDir>/OrvexCatalog.sqlite3" in WAL mode,
// so readers never wait for the writer and a check from the command line runs beside a
// recording program. Opening it handles the faults: a damaged database (or one of
// another version) is moved aside as "OrvexCatalog.sqlite3.damaged-<time>" and made
// anew; a folder that cannot be written (a read-only archive) gets a copy held in
// memory; a folder that does not exist yet (a first start) gets an empty one in memory,
// written to the folder once a recorder has made it (PromoteToFile).
//
// Threads: one writing thread at a time (LockWriter, Writer); readers on any thread
// through Read, each on the reading connection under its own lock (in memory, the one
// connection under the writer's lock).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "catalog/RunLock.h"
#include "catalog/SqliteDb.h"

class CCatalogStore {
public:
    using LogFn = std::function<void(const std::string&)>;
    // A run whose last sign of life is younger than this counts as recording, when
    // another program holds the RecordDir's lock and the lock cannot say which run.
    static constexpr int64_t kLiveRunMs = 30000;

    // Opens the catalog of root (without a trailing "/"); never fails, falling back to
    // memory. log gets a line for each fault handled. readOnly: treat the folder as one
    // that cannot be written, as it is found to be when it cannot.
    static std::unique_ptr<CCatalogStore> Open(const std::string& root, const LogFn& log,
                                               int64_t nowMs, bool readOnly = false);
    ~CCatalogStore();
    CCatalogStore(const CCatalogStore&) = delete;
    CCatalogStore& operator=(const CCatalogStore&) = delete;

    const std::string& Root() const { return root_; }
    std::string DatabasePath() const;
    bool InMemory() const { return memory_.load(); }
    // Held in memory only until the folder exists.
    bool AwaitingFolder() const { return awaitingFolder_; }
    // Another program may be recording here: its runs are told by their heartbeat.
    bool OthersMayRecord() const { return othersMayRecord_; }

    // The writing side.
    std::unique_lock<std::mutex> LockWriter() const {
        return std::unique_lock<std::mutex>(writerLock_);
    }
    CSqliteDb& Writer() { return *writer_; }

    // Runs read(CSqliteDb&) on the reading connection and returns what it returns.
    template <class F>
    auto Read(F&& read) const {
        if (memory_.load()) {
            std::lock_guard<std::mutex> lock(writerLock_);
            return read(*writer_);
        }
        std::lock_guard<std::mutex> lock(readerLock_);
        if (!reader_) reader_ = CSqliteDb::Open(DatabasePath(), CSqliteDb::Mode::ReadOnly, nullptr);
        return read(reader_ ? *reader_ : *writer_);
    }

    // This program's run in this catalog: begun when it starts writing here (taking
    // the shared lock), kept alive by a heartbeat, ended cleanly when it stops (its
    // motion events still open end then too).
    bool BeginRun(int64_t nowMs);
    void Heartbeat(int64_t nowMs);
    void EndRun(int64_t nowMs);
    int64_t RunId() const { return runId_; }

    // For a store awaiting its folder: once the folder exists, writes what is held in
    // memory to the database file there and goes on with the file. True when done.
    bool PromoteToFile(const LogFn& log, int64_t nowMs);

private:
    explicit CCatalogStore(std::string root) : root_(std::move(root)) {}
    // WAL, its sync level, an intact database with this schema. False when not.
    static bool PrepareFile(CSqliteDb& db);
    void UseMemory();
    void OpenInFolder(const LogFn& log, int64_t nowMs);
    void OpenReadOnly(const LogFn& log);

    const std::string root_;
    std::atomic<bool> memory_{false};  // cleared by PromoteToFile under both locks
    bool awaitingFolder_ = false;      // writer's thread
    bool othersMayRecord_ = false;
    std::unique_ptr<CRunLock> lock_;  // the writer's thread
    int64_t runId_ = 0;               // the writer's thread
    mutable std::mutex writerLock_;   // guards writer_ (its swap by PromoteToFile too)
    std::unique_ptr<CSqliteDb> writer_;
    mutable std::mutex readerLock_;  // guards reader_
    mutable std::unique_ptr<CSqliteDb> reader_;
};
