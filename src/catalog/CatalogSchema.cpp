#include "catalog/CatalogSchema.h"

#include <string>

namespace {

constexpr const char* kCreate = R"sql(
CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE cameras(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);
CREATE TABLE runs(
  id INTEGER PRIMARY KEY,
  started_ms INTEGER NOT NULL,
  alive_ms INTEGER NOT NULL,
  ended INTEGER NOT NULL DEFAULT 0      -- 0 running (or crashed), 1 clean end, 2 crashed
);
CREATE TABLE files(
  id INTEGER PRIMARY KEY,
  camera_id INTEGER NOT NULL,
  rel_path TEXT NOT NULL UNIQUE,
  run_id INTEGER,                       -- null: found by a scan
  start_ms INTEGER NOT NULL,
  end_ms INTEGER NOT NULL,
  bytes INTEGER NOT NULL,
  pictures INTEGER NOT NULL,
  state INTEGER NOT NULL,
  estimated INTEGER NOT NULL DEFAULT 0, -- some times come from a scan
  indexed INTEGER NOT NULL DEFAULT 1    -- 0: key frames still to be scanned
);
CREATE INDEX files_by_start ON files(camera_id, start_ms);
CREATE TABLE key_frames(file_id INTEGER PRIMARY KEY, data BLOB NOT NULL);
CREATE TABLE gaps(
  id INTEGER PRIMARY KEY,
  camera_id INTEGER NOT NULL,
  from_ms INTEGER NOT NULL,
  to_ms INTEGER NOT NULL,
  cause INTEGER NOT NULL
);
CREATE INDEX gaps_by_from ON gaps(camera_id, from_ms);
CREATE TABLE chain(
  camera_id INTEGER NOT NULL,
  seq INTEGER NOT NULL,
  rel_path TEXT NOT NULL,
  bytes INTEGER NOT NULL,
  sha256 BLOB NOT NULL,
  start_ms INTEGER NOT NULL,
  end_ms INTEGER NOT NULL,
  kind INTEGER NOT NULL,
  sealed_ms INTEGER NOT NULL,
  entry_hash BLOB NOT NULL,
  deleted_ms INTEGER,                   -- the retention deleted the file
  PRIMARY KEY(camera_id, seq)
) WITHOUT ROWID;
CREATE INDEX chain_by_path ON chain(rel_path);
CREATE TABLE anchors(
  camera_id INTEGER PRIMARY KEY,
  seq INTEGER NOT NULL,
  entry_hash BLOB NOT NULL,
  moved_ms INTEGER NOT NULL
);
)sql";

// Tables added after the first version, each made when missing. The version stays: an
// older program opens the catalog as before and leaves them alone, where a new version
// would make it move the whole catalog aside.
constexpr const char* kLaterTables = R"sql(
CREATE TABLE IF NOT EXISTS motion_events(
  id INTEGER PRIMARY KEY,
  camera_id INTEGER NOT NULL,
  run_id INTEGER,                       -- the run that was told of it
  start_ms INTEGER NOT NULL,
  end_ms INTEGER,                       -- null while under way
  peak_pct REAL NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS motion_events_by_start ON motion_events(camera_id, start_ms);
)sql";

}  // namespace

bool AddLaterCatalogTables(CSqliteDb& db) {
    const bool missing =
        db.QueryText("SELECT count(*) FROM sqlite_schema WHERE name = 'motion_events'") == "0";
    if (!missing) return true;
    if (!db.Exec("BEGIN IMMEDIATE")) return false;
    if (db.Exec(kLaterTables) && db.Exec("COMMIT")) return true;
    db.Exec("ROLLBACK");
    return false;
}

bool PrepareCatalogSchema(CSqliteDb& db) {
    const std::string tables = db.QueryText("SELECT count(*) FROM sqlite_schema");
    if (tables.empty()) return false;  // not a database SQLite can read
    if (tables == "0") {
        const std::string insert =
            "INSERT INTO meta VALUES('schema', '" + std::to_string(kCatalogSchemaVersion) + "');";
        if (!db.Exec("BEGIN IMMEDIATE")) return false;
        if (db.Exec(kCreate) && db.Exec(kLaterTables) && db.Exec(insert.c_str()) &&
            db.Exec("COMMIT"))
            return true;
        db.Exec("ROLLBACK");
        return false;
    }
    return db.QueryText("SELECT value FROM meta WHERE key = 'schema'") ==
               std::to_string(kCatalogSchemaVersion) &&
           AddLaterCatalogTables(db);
}
