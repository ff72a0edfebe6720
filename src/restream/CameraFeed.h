// One published camera's stream to its restream clients: takes each access unit on
// the capture thread and pushes it into the appsrc of every client's media, never
// waiting. Each client's queue (its appsrc) is bounded: when it is full the client
// loses the rest of the group of pictures and resumes at a later key frame. The
// group since the latest key frame is kept, so a new client starts at once. A client
// that takes nothing for kStallMs while data waits for it is given up: the feed stops
// feeding it and tells the owner, who closes its connection; so are all clients when
// the feed closes.
//
// Threads: OnAccessUnit on the capture thread, which alone owns clients_ and the
// kept group; AddClient on a server thread (media-configure); Close once no access
// unit can arrive any more. A client is handed over through joining_ under mutex_.
#pragma once

#include <gst/gst.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "capture/StreamTap.h"

class CCameraFeed : public IStreamTap {
public:
    // About 16 s of a 2 Mbit/s camera: enough to ride out a slow network, and what a
    // stalled client may hold before it is given up.
    static constexpr size_t kClientQueueBytes = 4 * 1024 * 1024;
    static constexpr size_t kKeptGroupBytes = 16 * 1024 * 1024;
    static constexpr int64_t kStallMs = 10000;

    using ClockFn = std::function<int64_t()>;  // steady milliseconds
    // Called with the appsrc of each client the feed ends: on the capture thread for a
    // stalled one, in Close for the rest.
    using EndedFn = std::function<void(GstElement* appsrc, bool stalled)>;

    explicit CCameraFeed(size_t clientQueueBytes = kClientQueueBytes, ClockFn clock = {},
                         EndedFn onEnded = {});
    ~CCameraFeed() override;
    CCameraFeed(const CCameraFeed&) = delete;
    CCameraFeed& operator=(const CCameraFeed&) = delete;

    void OnAccessUnit(const uint8_t* data, int32_t length, int64_t wallMs) override;
    // Feeds appsrc (a reference is taken) once its pipeline asks for data.
    void AddClient(GstElement* appsrc);
    // Ends every client's stream; access units after it go nowhere.
    void Close();

private:
    struct Client;
    struct Unit {
        std::vector<uint8_t> Bytes;
        int64_t WallMs = 0;
    };
    void Keep(const uint8_t* data, int32_t length, int64_t wallMs, bool key);
    // False when the client's pipeline has stopped.
    bool Push(Client& client, const uint8_t* data, size_t length, int64_t wallMs, bool key);
    // True when the client has taken nothing for kStallMs while data waited for it.
    bool Stalled(Client& client, int64_t nowMs) const;

    const size_t clientQueueBytes_;
    const ClockFn clock_;
    const EndedFn onEnded_;
    std::mutex mutex_;
    std::vector<std::shared_ptr<Client>> joining_;  // under mutex_
    bool closed_ = false;                           // under mutex_
    std::vector<std::shared_ptr<Client>> clients_;  // capture thread
    std::vector<Unit> group_;                       // capture thread: since the last key frame
    size_t groupBytes_ = 0;                         // capture thread
    bool groupComplete_ = false;                    // capture thread: starts at a key frame
};
