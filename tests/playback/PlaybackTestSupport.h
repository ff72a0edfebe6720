// What the playback tests share: a temporary folder per test process (GStreamer's
// registry goes there, never under $HOME), a frame target and a listener that keep
// what a player shows and can be waited on, and what a decoded MP4 file holds.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "capture/FrameTarget.h"
#include "playback/Player.h"

// The temporary folder of this test process, made before the first test that asks.
const std::string& PlaybackTestFolder();

// Bound of every wait for a player or a pipeline: generous, for a loaded machine.
constexpr std::chrono::seconds kPlaybackWait{60};
// The same in GStreamer's nanoseconds, for a pipeline's pull.
constexpr uint64_t PlaybackWaitNs() {
    return static_cast<uint64_t>(kPlaybackWait.count()) * 1000000000ULL;
}

// Keeps the size of each frame shown, the stamp it carries (PictureStamp.h, -1 for
// none) and the time of each picture, in order.
class CShownPictures : public IFrameTarget, public IPlayerListener {
public:
    void OnFrame(const VideoFrame& frame) override;
    void OnPicture(int64_t timeMs) override;

    // Waits until the pictures shown satisfy done; false after kPlaybackWait.
    bool WaitFor(const std::function<bool(const std::vector<int64_t>& times)>& done);
    std::vector<int64_t> Times() const;
    std::vector<int64_t> Stamps() const;
    int Frames() const;
    int LastWidth() const;

private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<int64_t> times_;   // guarded by lock_
    std::vector<int64_t> stamps_;  // guarded by lock_
    int frames_ = 0;               // guarded by lock_
    int width_ = 0;                // guarded by lock_
};

// What an MP4 file holds when GStreamer demuxes and decodes it.
struct DecodedMovie {
    bool Decoded = false;
    int Pictures = 0;
    int64_t DurationMs = -1;  // as the demuxer reports it
};
DecodedMovie DecodeMovie(const std::string& path);

// The output of a shell command, and its exit status.
int RunCommand(const std::string& command, std::string& output);
