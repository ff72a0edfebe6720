// One SQLite connection, closed with its owner. Errors are results: false, with the
// text of the last one kept for the log.
//
// Threads: one thread at a time (the owner serializes; SQLite is built thread-safe).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct sqlite3;

class CSqliteDb {
public:
    enum class Mode {
        Create,    // read and write, the file made when missing
        ReadOnly,  // never writes; waits for writers of other connections
        Frozen,    // read-only from a folder that cannot be written: no lock, no WAL read
        Memory,    // a private database in memory
    };
    // How long a connection waits for another one's lock before it gives up.
    static constexpr int kBusyTimeoutMs = 10000;

    // Null, with the reason in error (may be null), when it cannot be opened.
    static std::unique_ptr<CSqliteDb> Open(const std::string& path, Mode mode, std::string* error);
    ~CSqliteDb();

    CSqliteDb(const CSqliteDb&) = delete;
    CSqliteDb& operator=(const CSqliteDb&) = delete;

    sqlite3* Handle() const { return db_; }
    // Runs one or more statements that return nothing worth reading.
    bool Exec(const char* sql);
    // The first column of the first row of sql as text ("" when none or on failure).
    std::string QueryText(const char* sql);
    int64_t LastInsertId() const;
    int Changes() const;
    // The result code and text of the last failure.
    int ErrorCode() const;
    std::string ErrorText() const;
    // Copies the whole of from into this database (SQLite's online backup).
    bool CopyFrom(CSqliteDb& from);

private:
    explicit CSqliteDb(sqlite3* db) : db_(db) {}
    sqlite3* db_;
};
