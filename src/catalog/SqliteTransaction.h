// A write transaction that rolls back unless committed. BEGIN IMMEDIATE takes the write
// lock at once, so a second writer (a check run from the command line) waits for it
// within the busy timeout instead of failing half-way.
//
// Threads: those of its connection.
#pragma once

#include "catalog/SqliteDb.h"

class CSqliteTransaction {
public:
    explicit CSqliteTransaction(CSqliteDb& db) : db_(db), open_(db.Exec("BEGIN IMMEDIATE")) {}
    ~CSqliteTransaction() {
        if (open_) db_.Exec("ROLLBACK");
    }
    CSqliteTransaction(const CSqliteTransaction&) = delete;
    CSqliteTransaction& operator=(const CSqliteTransaction&) = delete;

    bool Open() const { return open_; }
    bool Commit() {
        if (!open_) return false;
        open_ = false;
        if (db_.Exec("COMMIT")) return true;
        db_.Exec("ROLLBACK");
        return false;
    }

private:
    CSqliteDb& db_;
    bool open_;
};
