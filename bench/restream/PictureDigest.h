// Names a coded picture by a hash of its first slice, so that a picture a client
// received can be found among the access units the camera handed its tap. Only the
// slice's own bytes count: the RTP path may add or move parameter sets, delimiters
// and start codes, but it carries every slice unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class CPictureDigest {
public:
    using PictureFn = std::function<void(uint64_t hash)>;

    explicit CPictureDigest(PictureFn onPicture) : onPicture_(std::move(onPicture)) {}

    // The hash of the access unit's first slice that begins a picture; 0 when it has none.
    static uint64_t OfAccessUnit(const uint8_t* data, size_t length);

    // Takes the next bytes of an Annex B stream and reports each picture as soon as its
    // first slice is complete (the next start code has arrived).
    void Feed(const uint8_t* data, size_t length);
    // Reports the last slice, which no start code follows.
    void Finish();

private:
    void TakeUnit(const uint8_t* unit, size_t length);

    PictureFn onPicture_;
    std::vector<uint8_t> pending_;  // bytes after the last start code seen
    bool inUnit_ = false;
};
