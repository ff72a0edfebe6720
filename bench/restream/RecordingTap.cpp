#include "RecordingTap.h"

#include <algorithm>

#include "PictureDigest.h"

void CRecordingTap::OnAccessUnit(const uint8_t* data, int32_t length, int64_t wallMs) {
    if (data != nullptr && length > 0) {
        const std::vector<uint64_t> slices =
            CPictureDigest::OfAccessUnit(data, static_cast<size_t>(length));
        std::lock_guard lock(mutex_);
        const int index = static_cast<int>(units_.size());
        for (uint64_t hash : slices) {
            std::vector<int>& units = byHash_[hash];
            // A unit that repeats a slice of its own is noted once.
            if (units.empty() || units.back() != index) units.push_back(index);
        }
        units_.push_back(Unit{wallMs});
    }
    if (next_ != nullptr) next_->OnAccessUnit(data, length, wallMs);
}

int CRecordingTap::Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(units_.size());
}

int CRecordingTap::DistinctHashes() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(byHash_.size());
}

CRecordingTap::Unit CRecordingTap::At(int index) const {
    std::lock_guard lock(mutex_);
    return index >= 0 && index < static_cast<int>(units_.size()) ? units_[index] : Unit{};
}

int CRecordingTap::IndexAtWall(int64_t wallMs) const {
    std::lock_guard lock(mutex_);
    const auto found =
        std::lower_bound(units_.begin(), units_.end(), wallMs,
                         [](const Unit& unit, int64_t wall) { return unit.WallMs < wall; });
    return static_cast<int>(found - units_.begin());
}

int CRecordingTap::FindFirst(uint64_t hash, int64_t notAfterWallMs) const {
    std::lock_guard lock(mutex_);
    const auto found = byHash_.find(hash);
    if (found == byHash_.end()) return -1;
    int best = found->second.front();
    for (int index : found->second) {
        if (units_[index].WallMs <= notAfterWallMs) best = index;
    }
    return best;
}

int CRecordingTap::FindNext(uint64_t hash, int from) const {
    std::lock_guard lock(mutex_);
    const auto found = byHash_.find(hash);
    if (found == byHash_.end()) return -1;
    const auto next = std::lower_bound(found->second.begin(), found->second.end(), from);
    return next == found->second.end() ? -1 : *next;
}
