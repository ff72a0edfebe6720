// One prepared SQLite statement, finalized with its owner: bind by position (from 1),
// step, read columns (from 0), reset to run it again.
//
// Threads: those of its connection.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/SqliteDb.h"

struct sqlite3_stmt;

class CSqliteStatement {
public:
    CSqliteStatement(CSqliteDb& db, const char* sql);
    ~CSqliteStatement();

    CSqliteStatement(const CSqliteStatement&) = delete;
    CSqliteStatement& operator=(const CSqliteStatement&) = delete;

    // False when the statement could not be prepared; every other call then fails.
    bool Ok() const { return statement_ != nullptr; }

    CSqliteStatement& Bind(int index, int64_t value);
    CSqliteStatement& Bind(int index, const std::string& text);
    CSqliteStatement& BindBlob(int index, const void* data, size_t size);
    CSqliteStatement& BindNull(int index);
    // Named apart: an int literal would fit both this and Bind(int64_t).
    CSqliteStatement& BindReal(int index, double value);

    // True while there is a row to read; false at the end or on a failure (Done tells).
    bool Step();
    // The last Step finished the statement without a failure.
    bool Done() const { return done_; }
    // Steps through a statement that returns no rows; true when it finished.
    bool Run();
    void Reset();

    int64_t Int(int column) const;
    double Real(int column) const;
    bool IsNull(int column) const;
    std::string Text(int column) const;
    std::vector<uint8_t> Blob(int column) const;

private:
    sqlite3_stmt* statement_ = nullptr;
    bool done_ = false;
};
