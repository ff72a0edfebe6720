#include "catalog/SqliteStatement.h"

#include <sqlite3.h>

CSqliteStatement::CSqliteStatement(CSqliteDb& db, const char* sql) {
    if (sqlite3_prepare_v2(db.Handle(), sql, -1, &statement_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement_);
        statement_ = nullptr;
    }
}

CSqliteStatement::~CSqliteStatement() {
    sqlite3_finalize(statement_);
}

CSqliteStatement& CSqliteStatement::Bind(int index, int64_t value) {
    if (statement_ != nullptr) sqlite3_bind_int64(statement_, index, value);
    return *this;
}

CSqliteStatement& CSqliteStatement::Bind(int index, const std::string& text) {
    if (statement_ != nullptr)
        sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    return *this;
}

CSqliteStatement& CSqliteStatement::BindBlob(int index, const void* data, size_t size) {
    // An empty blob is still a blob, not NULL.
    static const char kEmpty = 0;
    if (statement_ != nullptr)
        sqlite3_bind_blob(statement_, index, size > 0 ? data : &kEmpty, static_cast<int>(size),
                          SQLITE_TRANSIENT);
    return *this;
}

CSqliteStatement& CSqliteStatement::BindNull(int index) {
    if (statement_ != nullptr) sqlite3_bind_null(statement_, index);
    return *this;
}

CSqliteStatement& CSqliteStatement::BindReal(int index, double value) {
    if (statement_ != nullptr) sqlite3_bind_double(statement_, index, value);
    return *this;
}

bool CSqliteStatement::Step() {
    done_ = false;
    if (statement_ == nullptr) return false;
    const int rc = sqlite3_step(statement_);
    done_ = rc == SQLITE_DONE;
    return rc == SQLITE_ROW;
}

bool CSqliteStatement::Run() {
    while (Step()) {
    }
    const bool done = done_;
    Reset();
    return done;
}

void CSqliteStatement::Reset() {
    if (statement_ == nullptr) return;
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

int64_t CSqliteStatement::Int(int column) const {
    return sqlite3_column_int64(statement_, column);
}

double CSqliteStatement::Real(int column) const {
    return sqlite3_column_double(statement_, column);
}

bool CSqliteStatement::IsNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::string CSqliteStatement::Text(int column) const {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text), size) : std::string();
}

std::vector<uint8_t> CSqliteStatement::Blob(int column) const {
    const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    return data != nullptr ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>();
}
