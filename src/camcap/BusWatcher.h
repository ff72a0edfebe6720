// A thread of the library's own that takes one pipeline's errors and end of stream
// off its bus and hands them to a handler, so that bus events never run on the
// caller's thread nor block it.
// Threads: Start and Stop on the owner's thread (the session's opener and closer);
// the handler runs on the watcher's thread only. Stop joins that thread.
#pragma once

#include <gst/gst.h>

#include <atomic>
#include <functional>
#include <thread>

#include "camcap/GstRef.h"

class CBusWatcher {
public:
    using Handler = std::function<void(GstMessage* message)>;

    CBusWatcher() = default;
    virtual ~CBusWatcher();
    CBusWatcher(const CBusWatcher&) = delete;
    CBusWatcher& operator=(const CBusWatcher&) = delete;

    // Starts watching bus (a new reference is taken). False when the thread cannot start.
    bool Start(GstBus* bus, Handler handler);
    // Wakes the thread, waits for it to end and drops the bus. Safe when not started.
    void Stop();

private:
    void Run();

    GstBusRef bus_;    // set by Start before the thread exists, cleared by Stop after the join
    Handler handler_;  // as bus_
    std::atomic<bool> stopping_{false};  // written by the owner, read by the watcher
    std::thread thread_;                 // owner's thread only
};
