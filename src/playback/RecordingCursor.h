// Walks one camera's recordings from a time on, access unit by access unit, each with
// the wall-clock time of its picture: from the key frame the catalog names for that
// time, through the file and on into the next ones, and into the file still being
// written up to what it holds on disk. Playback and export read recordings through it.
//
// Times: a key frame's from the catalog, the pictures up to the next key frame spread
// evenly between the two (the end of a finished file counts as its last picture). Past
// the last key frame the catalog knows of a growing file (it is told every few seconds)
// the file itself is scanned for key frames, and pictures take the camera's recent
// picture interval, never a time later than now.
//
// Files are only read (O_RDONLY), never locked or written: a recording goes on
// undisturbed. A file that is gone or cannot be read is skipped.
//
// Threads: one at a time (the owner's); the catalog is read on the caller's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/UniqueFd.h"
#include "catalog/CatalogReader.h"
#include "playback/AccessUnits.h"

// One access unit handed out by the cursor. Data stays valid until the cursor's next call.
struct TimedUnit {
    const uint8_t* Data = nullptr;
    size_t Length = 0;
    int64_t TimeMs = 0;
    bool Key = false;
    int64_t FileId = 0;
    uint64_t Offset = 0;  // in its file
};

class CRecordingCursor {
public:
    // Wall-clock milliseconds since 1970 (UTC), for the pictures of a growing file.
    using NowFn = std::function<int64_t()>;
    enum class StartAt { KeyFrameAtOrBefore, NearestKeyFrame };

    CRecordingCursor(const ICatalogReader& catalog, std::string camera, NowFn now = {});
    CRecordingCursor(const CRecordingCursor&) = delete;
    CRecordingCursor& operator=(const CRecordingCursor&) = delete;

    // Goes to the key frame for targetMs (see SeekIndex): false when the camera has no
    // recording that can be read.
    bool Seek(int64_t targetMs, StartAt start = StartAt::KeyFrameAtOrBefore);
    // The next access unit; false when there is none for now. A later call may find
    // more: a growing file grows, a new file starts.
    bool Next(TimedUnit& unit);

    // The file being read, for its row (all zero before a Seek succeeded).
    const CatalogFile& File() const { return file_; }

private:
    bool Open(const CatalogFile& file);
    bool StartFileAt(int64_t targetMs, StartAt start);
    void BeginSegment(uint64_t offset, int64_t timeMs);
    void LoadSegment();
    void TimeOpenUnits(size_t from);
    bool NextFile();
    std::vector<CatalogFile> FilesAfter() const;
    void RefreshFile();
    uint64_t FileSize() const;
    bool Read(uint64_t from, uint64_t to, std::vector<uint8_t>& bytes) const;
    int64_t NowMs() const;

    const ICatalogReader& catalog_;
    const std::string camera_;
    const NowFn now_;

    bool positioned_ = false;
    CatalogFile file_;
    std::vector<CatalogKeyFrame> keys_;  // of file_, as the catalog last told
    CUniqueFd fd_;
    bool finished_ = false;   // file_ holds all it will, whatever the catalog says yet
    int64_t intervalMs_ = 0;  // the camera's recent time between two pictures

    // The segment being handed out: from a key frame up to the next one, or to the end
    // of what the file holds.
    uint64_t segOffset_ = 0;
    int64_t segTimeMs_ = 0;
    std::vector<uint8_t> segBytes_;
    std::vector<AccessUnitSpan> units_;
    std::vector<int64_t> times_;  // of units_
    size_t next_ = 0;             // the next unit to hand out
    bool segClosed_ = false;      // units_ is all the segment holds
    bool segToKey_ = false;       // ... and a key frame follows at segEnd_
    uint64_t segEnd_ = 0;
    int64_t segEndMs_ = 0;
    int64_t lastMs_ = 0;  // of the last unit handed out: times never go back
    bool handedOut_ = false;
};
