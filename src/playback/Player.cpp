#include "playback/Player.h"

#include <gst/video/video.h>

#include <algorithm>
#include <cstdlib>

#include "playback/DecodePipeline.h"
#include "playback/GstSupport.h"
#include "playback/JpegFile.h"
#include "playback/RecordingCursor.h"

namespace {

int NearestRate(int rate) {
    int nearest = 1;
    for (int allowed = 1; allowed <= CPlayer::kMaxRate; allowed *= 2) {
        if (std::abs(allowed - rate) < std::abs(nearest - rate)) nearest = allowed;
    }
    return nearest;
}

// A picture's time is its wall-clock time: the feeding thread stamps each access unit so.
int64_t TimeOf(GstSample* sample) {
    const GstBuffer* buffer = gst_sample_get_buffer(sample);
    return buffer != nullptr && GST_BUFFER_PTS_IS_VALID(buffer)
               ? static_cast<int64_t>(GST_BUFFER_PTS(buffer) / GST_MSECOND)
               : 0;
}

}  // namespace

struct CPlayer::CRun {
    CDecodePipeline Pipeline;  // fed by the feeding thread, pulled by the player's
    PlaybackSampleRef Dropped;
    PlaybackSampleRef Held;
    mutable std::mutex ShownMutex;  // held only to swap or copy the reference
    PlaybackSampleRef Shown;        // guarded by ShownMutex: for snapshots
};

CPlayer::CPlayer(const ICatalogReader& catalog, IFrameTarget* target, IPlayerListener* listener)
    : catalog_(catalog), target_(target), listener_(listener), run_(std::make_unique<CRun>()) {
    thread_ = std::thread([this] { Run(); });
}

CPlayer::~CPlayer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void CPlayer::Open(const std::string& camera, int64_t timeMs) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        camera_ = camera;
        seek_ = CTarget{camera, timeMs};
    }
    wake_.notify_all();
}

void CPlayer::Seek(int64_t timeMs) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (camera_.empty()) return;
        seek_ = CTarget{camera_, timeMs};
    }
    wake_.notify_all();
}

void CPlayer::Play() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        playing_ = true;
        repace_ = true;
    }
    wake_.notify_all();
}

void CPlayer::Pause() {
    std::lock_guard<std::mutex> lock(mutex_);
    playing_ = false;
    steps_ = 0;
}

void CPlayer::SetRate(int rate) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        rate_ = NearestRate(rate);
        repace_ = true;
    }
    wake_.notify_all();
}

void CPlayer::Step() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (playing_) return;
        ++steps_;
    }
    wake_.notify_all();
}

bool CPlayer::Playing() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return playing_;
}

int CPlayer::Rate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return rate_;
}

int CPlayer::Snapshot(const std::string& path) const {
    PlaybackSampleRef sample;
    {
        std::lock_guard<std::mutex> lock(run_->ShownMutex);
        if (run_->Shown) sample.reset(gst_sample_ref(run_->Shown.get()));
    }
    if (!sample) return -2;
    return JpegFile::Write(sample.get(), path) ? 0 : -3;
}

void CPlayer::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        if (seek_) {
            const CTarget target = *seek_;
            seek_.reset();
            lock.unlock();
            Restart(target);
            lock.lock();
            continue;
        }
        if (!hasHeld_) {
            if (sampleWaiting_) {
                sampleWaiting_ = false;
                lock.unlock();
                TakeSample();
                lock.lock();
            } else if (seekTarget_ && hasDropped_ && dryMs_ == droppedMs_) {
                // All there is lies before the time asked for: its last picture.
                lock.unlock();
                ShowDropped();
                lock.lock();
            } else {
                wake_.wait(lock);
            }
            continue;
        }
        if (steps_ > 0) {
            --steps_;
        } else if (!playing_) {
            paced_ = false;
            wake_.wait(lock);
            continue;
        } else {
            if (repace_) paced_ = false;
            repace_ = false;
            const SteadyTime now = std::chrono::steady_clock::now();
            const SteadyTime due = DueTime(now);
            if (now < due) {
                wake_.wait_until(lock, due);
                continue;
            }
        }
        lock.unlock();
        ShowHeld();
        lock.lock();
    }
    lock.unlock();
    EndRun();
}

CPlayer::SteadyTime CPlayer::DueTime(SteadyTime now) {
    // A hole in the recording: the pace starts again at the picture after it.
    if (lastShownMs_ >= 0 && heldMs_ - lastShownMs_ > kSkippedHoleMs) paced_ = false;
    if (paced_) {
        const SteadyTime due =
            paceSteady_ + std::chrono::microseconds((heldMs_ - paceMs_) * 1000 / rate_);
        // Decoding that fell behind starts the pace again rather than rushing.
        if (now - due < std::chrono::milliseconds(kBehindMs)) return due;
    }
    // Counted from the picture shown, so that the next one follows it by its interval.
    const bool fromShown =
        lastShownMs_ >= 0 && lastShownMs_ <= heldMs_ && heldMs_ - lastShownMs_ <= kSkippedHoleMs;
    paceMs_ = fromShown ? lastShownMs_ : heldMs_;
    paceSteady_ = now;
    paced_ = true;
    return paceSteady_ + std::chrono::microseconds((heldMs_ - paceMs_) * 1000 / rate_);
}

void CPlayer::TakeSample() {
    PlaybackSampleRef sample = run_->Pipeline.Pull();
    if (!sample) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sampleWaiting_ = true;  // there may be more
    }
    const int64_t timeMs = TimeOf(sample.get());
    if (seekTarget_ && timeMs < *seekTarget_) {
        picturesSkipped_.fetch_add(1);
        run_->Dropped = std::move(sample);
        droppedMs_ = timeMs;
        hasDropped_ = true;
        return;
    }
    run_->Held = std::move(sample);
    heldMs_ = timeMs;
    hasHeld_ = true;
    // The picture of the time asked for shows at once, also while paused.
    if (seekTarget_) ShowHeld();
}

void CPlayer::ShowDropped() {
    run_->Held = std::move(run_->Dropped);
    heldMs_ = droppedMs_;
    hasHeld_ = true;
    ShowHeld();
}

void CPlayer::ShowHeld() {
    PlaybackSampleRef sample = std::move(run_->Held);
    hasHeld_ = false;
    seekTarget_.reset();
    run_->Dropped.reset();
    hasDropped_ = false;
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    GstVideoInfo info;
    GstMapInfo map;
    if (buffer != nullptr && gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get())) &&
        gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        const GstVideoMeta* meta = gst_buffer_get_video_meta(buffer);
        VideoFrame frame;
        frame.Width = GST_VIDEO_INFO_WIDTH(&info);
        frame.Height = GST_VIDEO_INFO_HEIGHT(&info);
        frame.Stride = meta != nullptr ? meta->stride[0] : GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
        frame.Pixels = map.data + (meta != nullptr ? meta->offset[0] : 0);
        if (target_ != nullptr) target_->OnFrame(frame);
        gst_buffer_unmap(buffer, &map);
    }
    lastShownMs_ = heldMs_;
    shownMs_.store(heldMs_);
    picturesShown_.fetch_add(1);
    {
        std::lock_guard<std::mutex> lock(run_->ShownMutex);
        run_->Shown = std::move(sample);
    }
    if (listener_ != nullptr) listener_->OnPicture(heldMs_);
}

void CPlayer::EndRun() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        feedStop_ = true;
    }
    feedWake_.notify_all();
    run_->Pipeline.Halt();
    if (feeder_.joinable()) feeder_.join();
    run_->Pipeline.Release();
    run_->Held.reset();
    run_->Dropped.reset();
    hasHeld_ = false;
    hasDropped_ = false;
    seekTarget_.reset();
}

void CPlayer::Restart(const CTarget& target) {
    EndRun();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        feedStop_ = false;
        sampleWaiting_ = false;
        dryMs_.reset();
    }
    paced_ = false;
    seekTarget_ = target.TimeMs;
    std::string reason;
    const bool built = run_->Pipeline.Build(
        [this] {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                sampleWaiting_ = true;
            }
            wake_.notify_all();
        },
        reason);
    if (built) feeder_ = std::thread([this, target] { Feed(target.Camera, target.TimeMs); });
}

void CPlayer::Feed(std::string camera, int64_t timeMs) {
    CRecordingCursor cursor(catalog_, std::move(camera));
    bool positioned = cursor.Seek(timeMs);
    std::optional<int64_t> lastMs;
    bool dry = false;
    TimedUnit unit;
    for (;;) {
        if (positioned && cursor.Next(unit)) {
            if (dry) {
                std::lock_guard<std::mutex> lock(mutex_);
                dryMs_.reset();
                dry = false;
            }
            const GstClockTime pts = static_cast<GstClockTime>(unit.TimeMs) * GST_MSECOND;
            if (!run_->Pipeline.Push(unit.Data, unit.Length, pts, GST_CLOCK_TIME_NONE)) return;
            lastMs = unit.TimeMs;
            continue;
        }
        // All there is on disk is in the pipeline: look again in a while.
        std::unique_lock<std::mutex> lock(mutex_);
        if (!dry) {
            dryMs_ = lastMs;
            dry = true;
            wake_.notify_all();
        }
        if (feedWake_.wait_for(lock, kFollowInterval, [this] { return feedStop_; })) return;
        lock.unlock();
        if (!positioned) positioned = cursor.Seek(timeMs);
    }
}
