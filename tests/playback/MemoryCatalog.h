// A catalog of recordings held in memory, for the tests of playback and export: files
// with their key frames, holes and motion events, added and grown by hand as a recorder
// would tell the real catalog. Threads: any; every call takes one lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "catalog/CatalogReader.h"

class CMemoryCatalog : public ICatalogReader {
public:
    // Adds a file (its Id is given here) with its key frames; returns the Id.
    int64_t AddFile(CatalogFile file, std::vector<CatalogKeyFrame> keys);
    // What a growing file holds now: its row, and key frames added to it.
    void UpdateFile(const CatalogFile& file, const std::vector<CatalogKeyFrame>& newKeys);
    void AddGap(const std::string& camera, const CatalogGap& gap);
    void AddMotionEvent(const std::string& camera, const CatalogMotionEvent& event);
    CatalogFile File(int64_t id) const;

    std::vector<std::string> Cameras() const override;
    std::vector<int> DaysWithRecordings(const std::string& camera, int year,
                                        int month) const override;
    std::vector<CatalogFile> Files(const std::string& camera, int64_t fromMs,
                                   int64_t toMs) const override;
    std::vector<CatalogKeyFrame> KeyFrames(int64_t fileId) const override;
    std::vector<CatalogGap> Gaps(const std::string& camera, int64_t fromMs,
                                 int64_t toMs) const override;
    std::vector<CatalogMotionEvent> MotionEvents(const std::string& camera, int64_t fromMs,
                                                 int64_t toMs) const override;

private:
    struct CEntry {
        CatalogFile File;
        std::vector<CatalogKeyFrame> Keys;
    };
    struct CCameraGap {
        std::string Camera;
        CatalogGap Gap;
    };

    mutable std::mutex lock_;
    std::vector<CEntry> files_;     // guarded by lock_, oldest first
    std::vector<CCameraGap> gaps_;  // guarded by lock_
    std::vector<std::pair<std::string, CatalogMotionEvent>> motion_;  // guarded by lock_
};
