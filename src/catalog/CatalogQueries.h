// The questions the catalog answers (ICatalogReader), on one reading connection of the
// catalog of RecordDir root. The holes between a camera's files are gaps as well: where
// the files of one run leave a hole the camera was absent, where they belong to two
// runs (or to none, found by a scan) the program was not running.
//
// Threads: the connection's (the store serializes readers).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/CatalogReader.h"
#include "catalog/SqliteDb.h"

class CCatalogQueries {
public:
    // A hole between two files shorter than this is no gap: a roll-over or a reopening.
    static constexpr int64_t kMinHoleMs = 3000;

    CCatalogQueries(CSqliteDb& db, std::string root) : db_(db), root_(std::move(root)) {}

    std::vector<std::string> Cameras();
    std::vector<int> DaysWithRecordings(const std::string& camera, int year, int month);
    std::vector<CatalogFile> Files(const std::string& camera, int64_t fromMs, int64_t toMs);
    // A file not scanned yet (found without rows) is scanned here, its times estimated.
    std::vector<CatalogKeyFrame> KeyFrames(int64_t fileId);
    std::vector<CatalogGap> Gaps(const std::string& camera, int64_t fromMs, int64_t toMs);
    std::vector<CatalogMotionEvent> MotionEvents(const std::string& camera, int64_t fromMs,
                                                 int64_t toMs);

private:
    // 0 when the camera is unknown.
    int64_t CameraId(const std::string& camera);

    CSqliteDb& db_;
    const std::string root_;
};
