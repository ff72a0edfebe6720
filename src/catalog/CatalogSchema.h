// The tables of the catalog of recordings, one database per RecordDir
// ("<RecordDir>/OrvexCatalog.sqlite3"):
//   cameras   the cameras that recorded, by folder name
//   runs      each start of a recording program: when it began, its last sign of life
//             and whether it ended cleanly; a file's run tells a crash from a clean stop
//   files     one row per recording: its path below RecordDir, times, bytes, pictures,
//             state (FileState) and whether its times are estimated by a scan
//   key_frames the key-frame index of each file, one packed blob (KeyFrameBlob.h)
//   gaps      the holes a recorder noted inside its recording, with their cause
//   chain     per camera the SHA-256 of each sealed file, each entry hashed over the one
//             before it (HashChain.h); a file the retention deleted keeps its entry,
//             marked, until the anchor moves past it
//   anchors   per camera the last entry the retention aged out: where the chain starts
//   motion_events the spans in which a camera's motion detector saw motion, with the
//             run told of them (an event a crash left open is closed at that run's last
//             sign of life) and the peak share of the picture that changed
//   meta      the schema version
//
// Pure functions of a connection: its thread.
#pragma once

#include "catalog/SqliteDb.h"

// What a file row is.
enum class FileState {
    Growing = 0,   // being recorded, or cut short before reconciliation saw it
    Finished = 1,  // closed by its recorder and sealed in the chain
    CutShort = 2,  // a crash ended it; sealed as found at reconciliation
    Found = 3,     // on disk without rows: indexed by a scan, not sealed (not proven)
};

// What a chain entry seals.
enum class ChainKind {
    Finished = 0,
    CutShort = 1,
};

constexpr const char* kCatalogFileName = "OrvexCatalog.sqlite3";
constexpr int kCatalogSchemaVersion = 1;

// Creates the tables when the database is empty, and adds the later ones to a catalog
// made before them. False when it holds something else (a database of another version
// or another program), or on a failure.
bool PrepareCatalogSchema(CSqliteDb& db);
// Adds the tables made after the first version when missing (the version stays);
// false on a failure.
bool AddLaterCatalogTables(CSqliteDb& db);
