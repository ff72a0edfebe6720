// A second listener to a camera's H.264 stream beside its recorder (the restream
// server's feed of one camera). Called on the capture library's thread for every
// access unit; it must return at once and never wait for a client or a lock held long.
#pragma once

#include <cstdint>

class IStreamTap {
public:
    virtual ~IStreamTap() = default;
    // One Annex B access unit (valid only during the call) and the wall-clock time
    // in milliseconds since the epoch at which it arrived.
    virtual void OnAccessUnit(const uint8_t* data, int32_t length, int64_t wallMs) = 0;
};
