#include "MemoryCatalog.h"

#include <algorithm>
#include <ctime>
#include <set>

int64_t CMemoryCatalog::AddFile(CatalogFile file, std::vector<CatalogKeyFrame> keys) {
    std::lock_guard<std::mutex> lock(lock_);
    file.Id = static_cast<int64_t>(files_.size()) + 1;
    files_.push_back({file, std::move(keys)});
    std::stable_sort(files_.begin(), files_.end(), [](const CEntry& a, const CEntry& b) {
        return a.File.StartMs < b.File.StartMs;
    });
    return file.Id;
}

void CMemoryCatalog::UpdateFile(const CatalogFile& file,
                                const std::vector<CatalogKeyFrame>& newKeys) {
    std::lock_guard<std::mutex> lock(lock_);
    for (CEntry& entry : files_) {
        if (entry.File.Id != file.Id) continue;
        entry.File = file;
        entry.Keys.insert(entry.Keys.end(), newKeys.begin(), newKeys.end());
    }
}

void CMemoryCatalog::AddGap(const std::string& camera, const CatalogGap& gap) {
    std::lock_guard<std::mutex> lock(lock_);
    gaps_.push_back({camera, gap});
}

void CMemoryCatalog::AddMotionEvent(const std::string& camera, const CatalogMotionEvent& event) {
    std::lock_guard<std::mutex> lock(lock_);
    motion_.emplace_back(camera, event);
    std::stable_sort(motion_.begin(), motion_.end(), [](const auto& a, const auto& b) {
        return a.second.StartMs < b.second.StartMs;
    });
}

CatalogFile CMemoryCatalog::File(int64_t id) const {
    std::lock_guard<std::mutex> lock(lock_);
    for (const CEntry& entry : files_) {
        if (entry.File.Id == id) return entry.File;
    }
    return {};
}

std::vector<std::string> CMemoryCatalog::Cameras() const {
    std::lock_guard<std::mutex> lock(lock_);
    std::set<std::string> cameras;
    for (const CEntry& entry : files_) cameras.insert(entry.File.Camera);
    return {cameras.begin(), cameras.end()};
}

std::vector<int> CMemoryCatalog::DaysWithRecordings(const std::string& camera, int year,
                                                    int month) const {
    std::lock_guard<std::mutex> lock(lock_);
    std::set<int> days;
    for (const CEntry& entry : files_) {
        if (entry.File.Camera != camera) continue;
        // Every local day the file touches, a day at a time.
        for (int64_t ms = entry.File.StartMs;; ms += 3600 * 1000) {
            const std::time_t seconds =
                static_cast<std::time_t>(std::min(ms, entry.File.EndMs) / 1000);
            std::tm tm{};
            localtime_r(&seconds, &tm);
            if (tm.tm_year + 1900 == year && tm.tm_mon + 1 == month) days.insert(tm.tm_mday);
            if (ms >= entry.File.EndMs) break;
        }
    }
    return {days.begin(), days.end()};
}

std::vector<CatalogFile> CMemoryCatalog::Files(const std::string& camera, int64_t fromMs,
                                               int64_t toMs) const {
    std::lock_guard<std::mutex> lock(lock_);
    std::vector<CatalogFile> files;
    for (const CEntry& entry : files_) {
        if (entry.File.Camera == camera && entry.File.StartMs < toMs && entry.File.EndMs >= fromMs)
            files.push_back(entry.File);
    }
    return files;
}

std::vector<CatalogKeyFrame> CMemoryCatalog::KeyFrames(int64_t fileId) const {
    std::lock_guard<std::mutex> lock(lock_);
    for (const CEntry& entry : files_) {
        if (entry.File.Id == fileId) return entry.Keys;
    }
    return {};
}

std::vector<CatalogGap> CMemoryCatalog::Gaps(const std::string& camera, int64_t fromMs,
                                             int64_t toMs) const {
    std::lock_guard<std::mutex> lock(lock_);
    std::vector<CatalogGap> gaps;
    for (const CCameraGap& gap : gaps_) {
        if (gap.Camera == camera && gap.Gap.FromMs < toMs && gap.Gap.ToMs > fromMs)
            gaps.push_back(gap.Gap);
    }
    return gaps;
}

std::vector<CatalogMotionEvent> CMemoryCatalog::MotionEvents(const std::string& camera,
                                                             int64_t fromMs, int64_t toMs) const {
    std::lock_guard<std::mutex> lock(lock_);
    std::vector<CatalogMotionEvent> events;
    for (const auto& [name, event] : motion_) {
        if (name == camera && event.StartMs < toMs && (event.Ongoing || event.EndMs >= fromMs))
            events.push_back(event);
    }
    return events;
}
