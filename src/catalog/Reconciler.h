// Brings a catalog back in line with the files after a crash, a power cut or a change
// made by hand: rows whose file is gone are dropped (their chain entries stay, so
// --verify still reports the file missing); the growing files of a program that is no
// longer running are brought up to what the file holds (scanned when the rows are
// behind) and sealed as found, marked cut short; files without rows are indexed from
// their names and times, those a crashed run was writing when it died sealed as cut
// short too, the others kept as found (listed, never proven). Files a running program
// is recording are left to it.
//
// Threads: the store's writing thread; the writer's lock is held for the whole run.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "catalog/CatalogStore.h"

struct ReconcileReport {
    int OnDisk = 0;     // recordings on disk
    int Added = 0;      // files without rows, now listed
    int Extended = 0;   // rows behind their file, brought up to it
    int Sealed = 0;     // files a crash cut short, sealed as found
    int Dropped = 0;    // rows whose file is gone
    int Differing = 0;  // sealed files whose size is no longer the sealed one
    int Left = 0;       // files of a running program, left to it

    // The log line.
    std::string Text(const std::string& root) const;
};

class CReconciler {
public:
    // A file without rows whose name is at most this much older than a crashed run's
    // last sign of life was being written when it died (the heartbeat comes every 5 s,
    // and a file reaches the catalog within about a second).
    static constexpr int64_t kCrashWindowBeforeMs = 10000;
    static constexpr int64_t kCrashWindowAfterMs = 15000;
    // File names count whole seconds.
    static constexpr int64_t kNameSlackMs = 2000;
    // The longest a file found without rows is taken to run.
    static constexpr int64_t kMaxFoundSpanMs = 24 * 3600 * 1000;

    // nowMs: the wall clock; recordingSinceMs: when this program began recording into
    // the folder, if it does (files named from then on are its own).
    CReconciler(CCatalogStore& store, int64_t nowMs, std::optional<int64_t> recordingSinceMs,
                CCatalogStore::LogFn log);
    ReconcileReport Run();

private:
    CCatalogStore& store_;
    const int64_t nowMs_;
    const std::optional<int64_t> recordingSinceMs_;
    const CCatalogStore::LogFn log_;
};
