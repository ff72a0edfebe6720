#include "catalog/SqliteDb.h"

#include <sqlite3.h>

namespace {
// A file name as a URI, so that options can follow it.
std::string FileUri(const std::string& path) {
    std::string uri = "file:";
    for (const char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            static const char kHex[] = "0123456789ABCDEF";
            uri += '%';
            uri += kHex[(static_cast<unsigned char>(c) >> 4) & 15];
            uri += kHex[static_cast<unsigned char>(c) & 15];
        } else {
            uri += c;
        }
    }
    return uri;
}
}  // namespace

std::unique_ptr<CSqliteDb> CSqliteDb::Open(const std::string& path, Mode mode, std::string* error) {
    int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
    std::string name = path;
    switch (mode) {
        case Mode::Create:
            flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
            break;
        case Mode::ReadOnly:
            flags |= SQLITE_OPEN_READONLY;
            break;
        case Mode::Frozen:
            // Nothing may change the file meanwhile: SQLite then needs no lock and no
            // shared-memory file beside it, which a read-only folder cannot hold.
            flags |= SQLITE_OPEN_READONLY;
            name = FileUri(path) + "?immutable=1";
            break;
        case Mode::Memory:
            flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY;
            name = ":memory:";
            break;
    }
    if (mode == Mode::Create || mode == Mode::ReadOnly) {
        // A path that holds '?' or '#' would be read as a URI's query.
        flags &= ~SQLITE_OPEN_URI;
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(name.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        if (error != nullptr) *error = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    return std::unique_ptr<CSqliteDb>(new CSqliteDb(db));
}

CSqliteDb::~CSqliteDb() {
    sqlite3_close_v2(db_);
}

bool CSqliteDb::Exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string CSqliteDb::QueryText(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    std::string text;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        if (const unsigned char* value = sqlite3_column_text(statement, 0))
            text = reinterpret_cast<const char*>(value);
    }
    sqlite3_finalize(statement);
    return text;
}

int64_t CSqliteDb::LastInsertId() const {
    return sqlite3_last_insert_rowid(db_);
}

int CSqliteDb::Changes() const {
    return sqlite3_changes(db_);
}

int CSqliteDb::ErrorCode() const {
    return sqlite3_extended_errcode(db_);
}

std::string CSqliteDb::ErrorText() const {
    return sqlite3_errmsg(db_);
}

bool CSqliteDb::CopyFrom(CSqliteDb& from) {
    sqlite3_backup* backup = sqlite3_backup_init(db_, "main", from.db_, "main");
    if (backup == nullptr) return false;
    const int rc = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    return rc == SQLITE_DONE;
}
