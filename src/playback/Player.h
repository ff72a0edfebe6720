// Plays one camera's recordings from a wall-clock time into a frame target, as the live
// view shows a camera: pause, play at 1x, 2x, 4x or 8x, one picture forward, and a seek
// to any time, across file boundaries and into the file being recorded, up to what it
// holds on disk (about 2 s behind live).
//
// A seek starts a new run: a decoding pipeline of its own (CDecodePipeline) fed from the
// key frame at or before the time (CRecordingCursor); pictures before the time are
// decoded and dropped, and the first at or after it is shown at once, also while paused.
// Pictures are shown at their wall-clock times divided by the rate, counted from the
// picture the pace was last set at; a hole in the recording is skipped, not waited out.
//
// It never disturbs a recording: it only reads files, on threads of its own, and takes
// nothing from the capture library.
//
// Threads: the commands from any thread, never waiting for the player's threads (the
// destructor joins them). The player's thread builds and tears down runs and hands
// pictures to the target and times to the listener; a feeding thread per run reads the
// files and the catalog. The catalog and the frame target must outlive the player.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "capture/FrameTarget.h"
#include "catalog/CatalogReader.h"

class IPlayerListener {
public:
    virtual ~IPlayerListener() = default;
    // The picture of timeMs went to the frame target. On the player's thread: only post.
    virtual void OnPicture(int64_t timeMs) = 0;
};

class CPlayer {
public:
    static constexpr int kMaxRate = 8;
    // A hole this long between two pictures is skipped: the next one shows at once.
    static constexpr int64_t kSkippedHoleMs = 3000;
    // Running this far behind (decoding slower than the rate), the pace starts anew.
    static constexpr int64_t kBehindMs = 1000;
    // How often a run that has shown all there is looks for more on disk.
    static constexpr std::chrono::milliseconds kFollowInterval{200};

    CPlayer(const ICatalogReader& catalog, IFrameTarget* target,
            IPlayerListener* listener = nullptr);
    ~CPlayer();
    CPlayer(const CPlayer&) = delete;
    CPlayer& operator=(const CPlayer&) = delete;

    // Plays camera from now on, starting with the picture of timeMs.
    void Open(const std::string& camera, int64_t timeMs);
    // Shows the picture of timeMs of the camera opened (a later seek replaces one not
    // yet done).
    void Seek(int64_t timeMs);
    void Play();
    void Pause();
    // 1, 2, 4 or 8; other values are taken to the nearest of these.
    void SetRate(int rate);
    // While paused: shows the next picture.
    void Step();

    bool Playing() const;
    int Rate() const;
    // The wall-clock time of the picture shown last, -1 before the first.
    int64_t ShownMs() const { return shownMs_.load(); }
    uint64_t PicturesShown() const { return picturesShown_.load(); }
    // Pictures decoded and dropped on the way to a seek's time, since the start.
    uint64_t PicturesSkipped() const { return picturesSkipped_.load(); }
    // Saves the picture shown as JPEG: 0, -2 when none is shown, -3 on failure.
    int Snapshot(const std::string& path) const;

private:
    struct CTarget {
        std::string Camera;
        int64_t TimeMs = 0;
    };
    struct CRun;  // the GStreamer side, the player's thread's own
    using SteadyTime = std::chrono::steady_clock::time_point;

    void Run();
    void Restart(const CTarget& target);
    void EndRun();
    void Feed(std::string camera, int64_t timeMs);
    void TakeSample();
    void ShowHeld();
    void ShowDropped();
    SteadyTime DueTime(SteadyTime now);

    const ICatalogReader& catalog_;
    IFrameTarget* const target_;
    IPlayerListener* const listener_;

    mutable std::mutex mutex_;      // guards the fields down to thread_; never held into GStreamer
    std::condition_variable wake_;  // the player's thread waits here
    std::condition_variable feedWake_;  // the feeding thread waits here
    bool stop_ = false;
    std::optional<CTarget> seek_;  // the seek not yet begun
    std::string camera_;           // of the last Open
    bool playing_ = false;
    int rate_ = 1;
    bool repace_ = false;         // the pace starts anew at the next picture
    int steps_ = 0;               // pictures to show at once
    bool sampleWaiting_ = false;  // the sink may hold a decoded picture
    bool feedStop_ = false;       // the run's feeding thread ends
    // The time of the last access unit pushed when the feeding thread found nothing more
    // on disk; empty while it finds more.
    std::optional<int64_t> dryMs_;
    std::thread thread_;  // the player's

    // The player's thread only.
    const std::unique_ptr<CRun> run_;
    std::thread feeder_;
    std::optional<int64_t> seekTarget_;  // dropping pictures up to this time
    bool hasDropped_ = false;            // the run holds the last picture dropped on the way
    int64_t droppedMs_ = 0;
    bool hasHeld_ = false;  // the run holds a decoded picture waiting for its time
    int64_t heldMs_ = 0;
    int64_t lastShownMs_ = -1;
    bool paced_ = false;
    SteadyTime paceSteady_{};
    int64_t paceMs_ = 0;

    std::atomic<int64_t> shownMs_{-1};  // written by the player's thread
    std::atomic<uint64_t> picturesShown_{0};
    std::atomic<uint64_t> picturesSkipped_{0};
};
