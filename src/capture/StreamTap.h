// A second listener to a camera's H.264 stream beside its recorder (the restream
// server's feed of one camera). Called on the capture library's thread for every
// access unit; it must return at once and never wait for a client or a lock held long.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class IStreamTap {
public:
    virtual ~IStreamTap() = default;
    // One Annex B access unit (valid only during the call) and the wall-clock time
    // in milliseconds since the epoch at which it arrived.
    virtual void OnAccessUnit(const uint8_t* data, int32_t length, int64_t wallMs) = 0;
};

// Where a camera channel offers its stream to others (the restream server).
class IStreamPublisher {
public:
    virtual ~IStreamPublisher() = default;
    // The tap of the camera at place (1-based in the camera list) with its custom name:
    // the camera is offered for as long as the tap lives, which must be after its
    // channel is closed. Null when the camera is not offered. Any thread.
    virtual std::shared_ptr<IStreamTap> Publish(int place, const std::string& customName) = 0;
};
