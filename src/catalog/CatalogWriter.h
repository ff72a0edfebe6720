// The writes of the catalog on one connection: file rows as a recorder tells them, the
// key-frame index, gaps, deletions, and the seal of a file in the hash chain. Each call
// runs inside the caller's transaction; paths are relative to RecordDir.
//
// Threads: the connection's writing thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalog/CatalogReader.h"
#include "catalog/CatalogSchema.h"
#include "catalog/Sha256.h"
#include "catalog/SqliteDb.h"

struct CatalogFileRow {
    int64_t Id = 0;
    int64_t CameraId = 0;
    std::string RelPath;
    int64_t RunId = 0;  // 0: none (found by a scan)
    int64_t StartMs = 0;
    int64_t EndMs = 0;
    uint64_t Bytes = 0;
    uint32_t Pictures = 0;
    FileState State = FileState::Growing;
    bool Estimated = false;
    bool Indexed = true;
};

// A file's bytes as hashed for its seal.
struct FileSeal {
    Sha256Digest Sha{};
    uint64_t Bytes = 0;
};

class CCatalogWriter {
public:
    explicit CCatalogWriter(CSqliteDb& db) : db_(db) {}

    // The camera's id, made when new; 0 on a failure.
    int64_t CameraId(const std::string& name);
    // The row of relPath; false when there is none.
    bool FindFile(const std::string& relPath, CatalogFileRow* row);
    // Inserts the row (replacing one of the same path) with its key frames; its id.
    int64_t InsertFile(const CatalogFileRow& row, const std::vector<CatalogKeyFrame>& keyFrames);
    bool UpdateFile(const CatalogFileRow& row);
    std::vector<CatalogKeyFrame> KeyFrames(int64_t fileId);
    bool SetKeyFrames(int64_t fileId, const std::vector<CatalogKeyFrame>& keyFrames);
    bool DeleteFile(int64_t fileId);

    // What a recorder tells. A file told of before it was started here (a catalog opened
    // meanwhile) gets its row from its name.
    bool FileStarted(const std::string& relPath, int64_t startMs, int64_t runId);
    bool FileGrew(const std::string& relPath, uint64_t bytes, uint32_t pictures, int64_t endMs,
                  const std::vector<CatalogKeyFrame>& keyFrames, int64_t runId);
    // seal: the file's hash when it could be read; the file then joins its camera's chain.
    bool FileFinished(const std::string& relPath, uint64_t bytes, uint32_t pictures, int64_t endMs,
                      const std::vector<CatalogKeyFrame>& keyFrames, int64_t runId,
                      const std::optional<FileSeal>& seal, int64_t nowMs);
    bool GapNoted(const std::string& camera, int64_t fromMs, int64_t toMs, RecordingGapCause cause);
    // A motion detector's events. An end without its start here (told to another
    // catalog, or lost) makes the whole event.
    bool MotionStarted(const std::string& camera, int64_t startMs, int64_t runId);
    bool MotionEnded(const std::string& camera, int64_t startMs, int64_t endMs, double peakPct,
                     int64_t runId);
    // The retention deleted the file: its rows go, its chain entry becomes a known
    // deletion, and gaps and motion events older than the camera's oldest file go with
    // them.
    bool FileDeleted(const std::string& relPath, int64_t nowMs);

    // Appends the file of row to its camera's chain as kind.
    bool Seal(const CatalogFileRow& row, const FileSeal& seal, ChainKind kind, int64_t nowMs);

private:
    // The row of relPath, made from its name when missing.
    bool EnsureFile(const std::string& relPath, int64_t runId, CatalogFileRow* row);

    CSqliteDb& db_;
};
