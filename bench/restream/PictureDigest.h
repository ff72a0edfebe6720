// Names each coded slice by a hash of its bytes, so that a picture a client received
// can be found among the access units the camera handed its tap. Only the slice's own
// bytes count: the RTP path may add or move parameter sets, delimiters and start
// codes, but it carries every slice unchanged. Slices, not pictures: the encoder cuts
// a picture into several, and a byte stream does not say cheaply where pictures end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class CPictureDigest {
public:
    using SliceFn = std::function<void(uint64_t hash)>;

    explicit CPictureDigest(SliceFn onSlice) : onSlice_(std::move(onSlice)) {}

    // The hashes of the access unit's slices, in order; none for parameter sets alone.
    static std::vector<uint64_t> OfAccessUnit(const uint8_t* data, size_t length);

    // Takes the next bytes of an Annex B stream and reports each slice as soon as it is
    // complete (the next start code has arrived).
    void Feed(const uint8_t* data, size_t length);
    // Reports the last slice, which no start code follows.
    void Finish();

private:
    void TakeUnit(const uint8_t* unit, size_t length);

    SliceFn onSlice_;
    std::vector<uint8_t> pending_;  // bytes after the last start code seen
    bool inUnit_ = false;
};
