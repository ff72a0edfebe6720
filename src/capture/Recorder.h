// Writes the encoded stream of one opened camera to disk as a chain of raw .264
// files named by RecordingName: "<RecordDir>/<camera>/<yyyy-mm-dd>/<hh-mm-ss>.264".
// RecordDir is asked for anew at every file, so a folder chosen in the settings
// applies from the next file on. The capture thread only
// copies into a 4 MiB ring (Push); the recorder's worker takes the bytes out and
// appends them to the current file: a whole 512 KiB chunk as soon as one is waiting,
// less once the oldest waiting byte is 1 s old, so a quiet camera loses at most
// about a second to a crash. The worker makes the file durable (fdatasync) every
// few seconds and at each roll-over, so a power cut loses at most about 5 s. The
// file is made when its first bytes are written, so an opening that records
// nothing leaves no empty file; the next one starts after the write that takes the
// current file past 64 MiB.
//
// What reaches the disk always decodes: Push takes each run (one access unit) whole
// or not at all, and after it had to drop one it drops everything up to the next
// key frame.
//
// A recorder handed an observer (the catalog) tells it of every file it makes, of the
// pictures and key frames in it and of the holes in the stream (CRecordingReporter).
// Push then notes each access unit's position and arrival in a lock-free queue beside
// the ring; the worker tells the observer as it writes.
//
// A camera recorded on motion only hands its units through a gate (CMotionGate): units
// held back come with their real arrival time, and each episode of motion ends its
// file (EndFileHere) at exactly the byte it was asked at.
//
// Threads: the owner's thread (user-interface) runs construction, Start, Stop and
// destruction; the capture library's thread runs Push; the worker runs RecordStep
// and with it every file operation, the log lines of trouble and the observer's calls
// (Stop makes the last ones). The counters and
// BufferedBytes may be read from any thread at any time, also during and after
// Stop. Stop must not run while Push may still be called (the channel closes the
// camera first).
//
// Paths are std::string, not fixed 260-byte buffers: a long RecordDir or camera name
// is never cut; the file system refuses what it cannot hold and that is logged.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "capture/AccessUnitMarks.h"
#include "capture/AccessUnitSink.h"
#include "capture/CaptureObject.h"
#include "capture/RecordingReporter.h"
#include "capture/StreamBuffer.h"
#include "capture/UniqueFd.h"
#include "capture/WorkerThread.h"
#include "platform/LocalTime.h"

// The two calls through which the worker reaches the disk; tests replace them to
// play a disk that fails or stalls. They behave as write(2) and fdatasync(2).
struct RecorderDiskCalls {
    std::function<ssize_t(int fd, const void* data, size_t size)> Write;
    std::function<int(int fd)> Sync;
};

// The current recording folder; called on the recorder's worker at every new file, so
// it must return a whole copy of a value another thread may replace.
using RecordDirFn = std::function<std::string()>;

class CRecorder : public CCaptureObject, public IAccessUnitSink {
public:
    static constexpr uint32_t kChunkBytes = 524288;       // 512 KiB, the largest write
    static constexpr uint32_t kRingBytes = 4194304;       // 4 MiB
    static constexpr int64_t kFileLimitBytes = 67108864;  // roll over when strictly past it
    static constexpr int kEmptySleepMs = 1;               // nothing stored
    static constexpr int kPartialSleepMs = 5;             // less than one chunk stored
    // Less than a chunk is written once its oldest byte has waited this long: the
    // bytes a crash can cost.
    static constexpr std::chrono::milliseconds kPartialWriteAge{1000};
    // fdatasync at least this often while bytes are unsynced: with the wait above,
    // a power cut costs at most about 4 s of video.
    static constexpr std::chrono::milliseconds kSyncInterval{3000};
    // Pause between attempts while the disk refuses a write or a new file.
    static constexpr int kRetrySleepMs = 50;
    // Attempts at a write that fails with a disk error (EIO, ENODEV...) before the
    // file is given up and the bytes go to a new file: about a second.
    static constexpr int kDiskErrorAttempts = 20;
    // Access units noted for the observer and not yet written: far more than the ring
    // holds at any real rate; a full queue drops units as a full ring does.
    static constexpr uint32_t kMarkSlots = 8192;
    // Records for owner (the channel), whose DeviceRecord gives the camera name, below
    // the folder recordDir gives (none: nothing can be recorded). recordings (may be
    // null) is told of the files; it must outlive the recorder.
    CRecorder(CCaptureObject* owner, RecordDirFn recordDir, ClockFn clock = {},
              IRecordingObserver* recordings = nullptr);
    // Records with no channel under a fixed camera name (tools and tests).
    CRecorder(std::string cameraName, RecordDirFn recordDir, ClockFn clock = {},
              IRecordingObserver* recordings = nullptr);
    ~CRecorder() override;

    // Replaces write and fdatasync; only before Start.
    void SetDiskCalls(RecorderDiskCalls calls);
    // Replaces the wall clock that stamps each access unit for the observer; only
    // before Start.
    void SetWallClock(WallClockFn wallClock) { wallClock_ = wallClock; }

    // 0 when recording runs; -1 no chunk buffer, -4 no stream buffer. Touches no
    // disk: the first file, its folder, and their failures (logged, then retried
    // until the file can be made) come with the first bytes to write, so -2 and -3
    // are no longer returned.
    int Start();
    // Stores the run (one access unit) in the ring whole, or drops it whole when it
    // does not fit; after a drop, every run up to the next key frame is dropped too.
    // Never touches the disk, never waits for it.
    void Push(const uint8_t* data, int32_t length) override;
    // The same for a unit that arrived at arrivalMs and was held back since: the
    // observer is told that time, not the time of this call.
    void Push(const uint8_t* data, int32_t length, int64_t arrivalMs) override;
    // Capture thread: whether Push would store a unit of length bytes now (see
    // IAccessUnitSink).
    bool CanTake(uint32_t length) override;
    // Capture thread: the worker ends the current file right after the bytes stored so
    // far (synced, as at a roll-over) and the next unit stored begins a new file; with
    // an observer, the hole before that unit is told as no motion. Nothing when no byte
    // was stored since the last call.
    void EndFileHere() override;
    // One pass of the worker.
    void RecordStep();
    // Ends the worker, writes what the ring still holds, closes the file, logs the
    // counters ("录像停止 ...") and frees everything Start acquired.
    void Stop();
    // Stop without the counters line, for a recording that never began: its camera
    // did not open, so no byte could come.
    void Discard();

    // Bytes stored in the ring by Push (whole run, all files).
    uint64_t StoredBytes() const { return storedBytes_.load(std::memory_order_acquire); }
    // Bytes that reached recording files so far.
    uint64_t WrittenBytes() const { return writtenBytes_.load(std::memory_order_relaxed); }
    // Of those, the bytes a successful fdatasync has made durable.
    uint64_t SyncedBytes() const { return syncedBytes_.load(std::memory_order_relaxed); }
    // Bytes that never reach a file: runs Push dropped (ring full or missing, or
    // waiting for a key frame) and what Stop could not write.
    uint64_t DroppedBytes() const { return droppedBytes_.load(std::memory_order_relaxed); }
    // Bytes waiting in the ring (stored and not yet taken by the worker).
    uint32_t BufferedBytes() const;
    // Write or sync attempts that the disk refused wholly or in part, and file
    // creations that failed (or were refused, see CRecordDirGuard), since Start.
    uint64_t WriteFailures() const { return writeFailures_.load(std::memory_order_relaxed); }
    uint64_t CreateFailures() const { return createFailures_.load(std::memory_order_relaxed); }

private:
    using SteadyTime = std::chrono::steady_clock::time_point;

    std::string CameraName() const;
    void Drop(uint32_t count);
    // arrivalMs null: the unit arrived now.
    void Store(const uint8_t* data, int32_t length, const int64_t* arrivalMs);
    // The first stream position at which a file must end, or UINT64_MAX.
    uint64_t NextCut();
    // With nothing pending: when the bytes taken reach the next cut, closes the file
    // (synced first when sync).
    void EndFileAtCut(bool sync);
    // Takes a chunk, or less once the oldest waiting byte is old enough, into the
    // chunk buffer. False when nothing is due.
    bool TakeFromRing(SteadyTime now);
    // Makes the next file: failures are logged once per episode and retried by the
    // caller. False when there is no file afterwards.
    bool OpenNextFile();
    void CloseFile();
    // Writes the pending part of the chunk, opening a file first when there is none.
    // True when nothing is pending afterwards. Only the worker (not Stop) gives up a
    // file that keeps failing with a disk error.
    bool FlushPending(bool worker);
    void NoteWriteFailure();
    void MoveToNewFile();
    void SyncFile(SteadyTime now);
    // After the write that takes the file past the limit: close it (synced first when
    // sync); the next write makes the next file.
    void RollOverIfFull(bool sync);
    // An episode of trouble (a refused write or file, or dropped runs) opens at its
    // first sign; its end, when bytes flow to a file again, is logged with its cost.
    void BeginTrouble();
    void EndTroubleIfOver(SteadyTime now);
    void DrainRing();
    void StopWorkerAndFlush(bool report);

    const std::string cameraName_;  // used when the owner is not a channel
    const RecordDirFn recordDir_;
    const ClockFn clock_;
    RecorderDiskCalls disk_;                // set before Start, read by the worker and Stop
    WallClockFn wallClock_ = &WallClockMs;  // set before Start, read by Push
    bool started_ = false;                  // owner's thread

    // Owned by the worker while it runs; by the owner's thread before and after.
    std::unique_ptr<uint8_t[]> chunk_;
    CUniqueFd file_;
    std::string filePath_;        // path of file_ (or of the last file), for log lines
    bool madeFirstFile_ = false;  // later files log their folder failure "回调中"
    int64_t byteCount_ = 0;       // bytes written to the current file
    uint32_t pendingOffset_ = 0;  // the part of chunk_ not yet written
    uint32_t pendingLength_ = 0;
    std::optional<SteadyTime> oldestWaiting_;  // when the oldest unwritten byte was seen
    SteadyTime lastSync_{};
    bool syncedFolder_ = false;            // the folder entry of file_ is durable
    int diskErrors_ = 0;                   // attempts in a row refused with a disk error
    bool writeFailing_ = false;            // an episode of failed writes was logged
    bool folderFailing_ = false;           // an episode of failed folder creation was logged
    bool createFailing_ = false;           // an episode of failed file creation was logged
    bool dirRefused_ = false;              // an episode of a refused RecordDir was logged
    bool troubled_ = false;                // an episode of trouble is open
    bool wroteSinceTrouble_ = false;       // a whole write succeeded since it opened
    std::optional<SteadyTime> dropsSeen_;  // when the worker first saw this episode's drops
    uint64_t droppedReported_ = 0;         // dropped bytes already logged in an episode's end
    uint64_t streamWritten_ = 0;           // stream bytes that reached files since Start
    CRecordingReporter reporter_;          // told of each file and write

    // Set by Start and cleared by Stop on the owner's thread; used by Push and the
    // worker only in between.
    std::unique_ptr<CStreamBuffer> ring_;
    std::unique_ptr<CAccessUnitMarks> marks_;  // with an observer only
    CWorkerThread worker_;

    // Written by the capture thread (Push), read by the worker: drop runs until
    // the next key frame.
    std::atomic<bool> awaitingKeyFrame_{false};
    bool dropNoted_ = false;  // capture thread: the next mark follows dropped bytes
    bool cutNoted_ = false;   // capture thread: the next mark begins a file after a cut
    uint64_t lastCutAt_ = 0;  // capture thread: position of the last cut asked for

    // Stream positions where a file ends, oldest first: added by the capture thread,
    // removed by the worker (then Stop), each under cutsLock_ for the copy only.
    std::mutex cutsLock_;
    std::deque<uint64_t> cuts_;

    std::atomic<uint64_t> storedBytes_{0};     // written by the capture thread (Push)
    std::atomic<uint64_t> takenBytes_{0};      // written by the worker, then by Stop
    std::atomic<uint64_t> writtenBytes_{0};    // written by the worker, then by Stop
    std::atomic<uint64_t> syncedBytes_{0};     // written by the worker
    std::atomic<uint64_t> droppedBytes_{0};    // written by Push, then by Stop
    std::atomic<uint64_t> writeFailures_{0};   // written by the worker, then by Stop
    std::atomic<uint64_t> createFailures_{0};  // written by the worker, then by Stop
};

// The worker's function: one RecordStep of the recorder in user; nothing for null.
int32_t RecordThreadProc(void* user);

// Creates every folder of path up to its last "/" (mode 0755), ignoring single
// failures. 0 when the folder that is to hold the file exists afterwards; non-zero
// for a null path or when it does not. Only "/" separates folders.
int CreateFileFolders(const char* path);
