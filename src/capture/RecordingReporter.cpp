#include "capture/RecordingReporter.h"

void CRecordingReporter::Begin(CAccessUnitMarks* marks, WallClockFn wallClock) {
    marks_ = marks;
    wallClock_ = wallClock != nullptr ? wallClock : &WallClockMs;
    open_ = false;
    last_.reset();
}

void CRecordingReporter::FileOpened(const std::string& camera, const std::string& path,
                                    uint64_t streamStart) {
    if (observer_ == nullptr) return;
    camera_ = camera;
    path_ = path;
    open_ = true;
    fileStart_ = streamStart;
    pictures_ = 0;
    untold_.clear();
    changed_ = false;
    lastTold_ = std::chrono::steady_clock::now();
    // The unit the file begins with: the next mark when the file starts on a unit's
    // first byte, else the unit that a roll-over cut in two.
    AccessUnitMark next;
    const bool haveNext = marks_ != nullptr && marks_->Peek(&next);
    int64_t startMs = wallClock_();
    if (haveNext && next.Offset == streamStart) {
        startMs = next.WallMs;
    } else if (last_) {
        startMs = last_->WallMs;
    } else if (haveNext) {
        startMs = next.WallMs;
    }
    endMs_ = startMs;
    observer_->FileStarted(camera_, path_, startMs);
}

void CRecordingReporter::TakeMarks(uint64_t streamEnd) {
    AccessUnitMark mark;
    while (marks_ != nullptr && marks_->Peek(&mark) && mark.Offset < streamEnd) {
        marks_->Pop();
        if (last_) {
            // Lost bytes weigh more than a pause: the hole held wanted pictures too.
            if (mark.AfterDrop) {
                observer_->GapNoted(camera_, last_->WallMs, mark.WallMs,
                                    RecordingGapCause::DiskFull);
            } else if (mark.AfterCut) {
                observer_->GapNoted(camera_, last_->WallMs, mark.WallMs,
                                    RecordingGapCause::NoMotion);
            } else if (mark.WallMs - last_->WallMs > kSilentGapMs) {
                observer_->GapNoted(camera_, last_->WallMs, mark.WallMs,
                                    RecordingGapCause::CameraAbsent);
            }
        }
        ++pictures_;
        endMs_ = mark.WallMs;
        if (mark.KeyFrame) untold_.push_back({mark.Offset - fileStart_, mark.WallMs});
        last_ = mark;
        changed_ = true;
    }
}

void CRecordingReporter::Written(uint64_t streamEnd, uint64_t fileBytes) {
    if (observer_ == nullptr || !open_) return;
    TakeMarks(streamEnd);
    const auto now = std::chrono::steady_clock::now();
    if (!changed_ || now - lastTold_ < kGrowInterval) return;
    observer_->FileGrew(path_, fileBytes, pictures_, endMs_, untold_);
    untold_.clear();
    changed_ = false;
    lastTold_ = now;
}

void CRecordingReporter::FileClosed(uint64_t fileBytes) {
    if (observer_ == nullptr || !open_) return;
    observer_->FileFinished(path_, fileBytes, pictures_, endMs_, untold_);
    untold_.clear();
    open_ = false;
}
