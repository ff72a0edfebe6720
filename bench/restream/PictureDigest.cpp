#include "PictureDigest.h"

#include <algorithm>

#include "common/AnnexB.h"

namespace {

constexpr uint64_t kFnvOffset = 1469598103934665603ULL;
constexpr uint64_t kFnvPrime = 1099511628211ULL;

uint64_t Fnv1a(const uint8_t* data, size_t length) {
    uint64_t hash = kFnvOffset;
    for (size_t i = 0; i < length; ++i) hash = (hash ^ data[i]) * kFnvPrime;
    return hash == 0 ? 1 : hash;
}

bool IsSlice(const uint8_t* unit, size_t length) {
    if (length < 2) return false;
    const uint8_t type = unit[0] & 0x1f;
    return type == AnnexBNal::kSlice || type == AnnexBNal::kIdrSlice;
}

// Trailing zero bytes belong to the next start code, whichever way it was written.
size_t TrimmedLength(const uint8_t* unit, size_t length) {
    while (length > 0 && unit[length - 1] == 0) --length;
    return length;
}

}  // namespace

std::vector<uint64_t> CPictureDigest::OfAccessUnit(const uint8_t* data, size_t length) {
    std::vector<uint64_t> found;
    CPictureDigest digest([&found](uint64_t hash) { found.push_back(hash); });
    digest.Feed(data, length);
    digest.Finish();
    return found;
}

void CPictureDigest::Feed(const uint8_t* data, size_t length) {
    pending_.insert(pending_.end(), data, data + length);
    size_t begin = 0;
    size_t i = 0;
    // Split at each 00 00 01; a unit is complete once the next start code is seen.
    while (i + 3 <= pending_.size()) {
        if (pending_[i] == 0 && pending_[i + 1] == 0 && pending_[i + 2] == 1) {
            if (inUnit_) TakeUnit(pending_.data() + begin, i - begin);
            inUnit_ = true;
            i += 3;
            begin = i;
        } else {
            ++i;
        }
    }
    if (!inUnit_) begin = pending_.size() > 2 ? pending_.size() - 2 : 0;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(begin));
}

void CPictureDigest::Finish() {
    if (inUnit_) TakeUnit(pending_.data(), pending_.size());
    pending_.clear();
    inUnit_ = false;
}

void CPictureDigest::TakeUnit(const uint8_t* unit, size_t length) {
    length = TrimmedLength(unit, length);
    if (IsSlice(unit, length)) onSlice_(Fnv1a(unit, length));
}
