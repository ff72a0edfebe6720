// H.264 access units made by x264enc from a test picture, handed to a stream tap on a
// thread of its own as a camera's capture thread would (SPS and PPS before every key
// frame, a key frame each second at 15 pictures per second).
#pragma once

#include <gst/gst.h>

#include <atomic>
#include <thread>

#include "capture/StreamTap.h"

class CH264TestSource {
public:
    explicit CH264TestSource(IStreamTap* tap);
    // Stops the encoder and joins the thread; the tap gets nothing afterwards.
    ~CH264TestSource();
    CH264TestSource(const CH264TestSource&) = delete;
    CH264TestSource& operator=(const CH264TestSource&) = delete;

    int Delivered() const { return delivered_.load(); }

private:
    void Run();

    IStreamTap* const tap_;
    GstElement* pipeline_ = nullptr;  // made before the thread starts, freed after the join
    GstElement* sink_ = nullptr;
    std::atomic<bool> stop_{false};
    std::atomic<int> delivered_{0};
    std::thread thread_;
};
