#include "catalog/KeyFrameBlob.h"

namespace {

void PutVarint(std::vector<uint8_t>* out, uint64_t value) {
    while (value >= 0x80) {
        out->push_back(static_cast<uint8_t>(value | 0x80));
        value >>= 7;
    }
    out->push_back(static_cast<uint8_t>(value));
}

bool GetVarint(const std::vector<uint8_t>& in, size_t* at, uint64_t* value) {
    uint64_t result = 0;
    for (int shift = 0; shift < 64 && *at < in.size(); shift += 7) {
        const uint8_t byte = in[(*at)++];
        result |= static_cast<uint64_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            *value = result;
            return true;
        }
    }
    return false;
}

// Times may step back when the clock is set back: signed differences, zigzag-coded.
uint64_t ZigZag(int64_t value) {
    return (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
}

int64_t UnZigZag(uint64_t value) {
    return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1);
}

}  // namespace

std::vector<uint8_t> PackKeyFrames(const std::vector<CatalogKeyFrame>& keyFrames) {
    std::vector<uint8_t> blob;
    blob.reserve(keyFrames.size() * 5 + 2);
    PutVarint(&blob, keyFrames.size());
    uint64_t offset = 0;
    int64_t time = 0;
    for (const CatalogKeyFrame& frame : keyFrames) {
        PutVarint(&blob, ZigZag(static_cast<int64_t>(frame.Offset - offset)));
        PutVarint(&blob, ZigZag(frame.TimeMs - time));
        offset = frame.Offset;
        time = frame.TimeMs;
    }
    return blob;
}

bool UnpackKeyFrames(const std::vector<uint8_t>& blob, std::vector<CatalogKeyFrame>* keyFrames) {
    keyFrames->clear();
    size_t at = 0;
    uint64_t count = 0;
    if (!GetVarint(blob, &at, &count)) return blob.empty();
    // Each entry takes at least two bytes: a count beyond that is damage.
    if (count > blob.size()) return false;
    keyFrames->reserve(count);
    uint64_t offset = 0;
    int64_t time = 0;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t offsetStep = 0, timeStep = 0;
        if (!GetVarint(blob, &at, &offsetStep) || !GetVarint(blob, &at, &timeStep)) return false;
        offset += static_cast<uint64_t>(UnZigZag(offsetStep));
        time += UnZigZag(timeStep);
        keyFrames->push_back({offset, time});
    }
    return at == blob.size();
}
