// Writes the encoded stream of one opened camera to disk as a chain of raw .264
// files "<RecordDir>/<camera>/<yyyy-mm-dd>/<hh-mm-ss>.264". The capture thread only
// copies into a 4 MiB ring (Push); the recorder's worker takes 512 KiB chunks out
// and appends them to the current file, starting the next file after the chunk that
// takes it past 64 MiB (so every file but the last holds 129 chunks).
//
// Threads: the owner's thread (user-interface) runs construction, Start, Stop and
// destruction; the capture library's thread runs Push; the worker runs RecordStep
// and with it every file operation. The counters may be read from any thread.
// Stop must not run while Push may still be called (the channel closes the camera
// first).
//
// Paths are std::string, not fixed 260-byte buffers: a long RecordDir or camera name
// is never cut; the file system refuses what it cannot hold and that is logged.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "capture/CaptureObject.h"
#include "capture/StreamBuffer.h"
#include "capture/WorkerThread.h"
#include "platform/LocalTime.h"

class CRecorder : public CCaptureObject {
public:
    static constexpr uint32_t kChunkBytes = 524288;       // 512 KiB, one write call
    static constexpr uint32_t kRingBytes = 4194304;       // 4 MiB
    static constexpr int64_t kFileLimitBytes = 67108864;  // roll over when strictly past it
    static constexpr int kEmptySleepMs = 1;               // nothing stored
    static constexpr int kPartialSleepMs = 5;             // less than one chunk stored
    // Pause between attempts while the disk refuses a write or a new file.
    static constexpr int kRetrySleepMs = 50;
    // Folder used for a camera name (or one "/"-separated part of it) that is empty,
    // "." or "..", so that no recording lands outside RecordDir.
    static constexpr const char* kPlaceholderFolder = "_";

    // Records for owner (the channel), whose DeviceRecord gives the camera name.
    explicit CRecorder(CCaptureObject* owner = nullptr, ClockFn clock = {});
    // Records with no channel under a fixed camera name (tools and tests).
    explicit CRecorder(std::string cameraName, ClockFn clock = {});
    ~CRecorder() override;

    // 0 when recording runs; -1 no chunk buffer, -2 the first file's folder cannot
    // be created, -3 the first file cannot be created, -4 no stream buffer.
    int Start();
    // Copies the bytes into the ring; what does not fit is dropped and counted.
    // Never touches the disk, never waits for it. Returns 0.
    int Push(const uint8_t* data, int32_t length);
    // One pass of the worker. Returns 0.
    int RecordStep();
    // Ends the worker, writes what the ring still holds, closes the file and frees
    // everything Start acquired. Returns 0.
    int Stop();

    // Bytes that reached recording files so far (whole run, all files).
    uint64_t WrittenBytes() const { return writtenBytes_.load(std::memory_order_relaxed); }
    // Bytes Push could not store because the ring was full or missing.
    uint64_t DroppedBytes() const { return droppedBytes_.load(std::memory_order_relaxed); }
    // Bytes waiting in the ring; 0 when there is none.
    uint32_t BufferedBytes() const;
    // Write attempts that the disk refused wholly or in part, and file creations that
    // failed, since Start.
    uint64_t WriteFailures() const { return writeFailures_.load(std::memory_order_relaxed); }
    uint64_t CreateFailures() const { return createFailures_.load(std::memory_order_relaxed); }

    // The full path of a recording file started at time: RecordDir without one
    // trailing "/", the camera name made safe (see kPlaceholderFolder), date, time.
    static std::string FilePath(const std::string& recordDir, const std::string& cameraName,
                                const LocalTime& time);

private:
    struct FileCloser {
        void operator()(FILE* file) const { std::fclose(file); }
    };

    std::string CameraName() const;
    std::string NextFilePath() const;
    // Opens the next file in the worker's context: failures are logged once per
    // episode and retried by the caller. False when there is no file afterwards.
    bool OpenNextFile();
    // Writes the pending part of the chunk, opening a file first when there is none.
    // True when nothing is pending afterwards.
    bool FlushPending();
    // After the write that takes the file past the limit: close it, and open the next
    // one now when openNext (while recording), or lazily at the next write (at Stop).
    void RollOverIfFull(bool openNext);
    void DrainRing();

    const std::string cameraName_;  // used when the owner is not a channel
    const ClockFn clock_;

    // Owned by the worker while it runs; by the owner's thread before and after.
    std::unique_ptr<uint8_t[]> chunk_;
    std::unique_ptr<FILE, FileCloser> file_;
    std::string filePath_;        // path of file_, for log lines
    int64_t byteCount_ = 0;       // bytes written to the current file
    uint32_t pendingOffset_ = 0;  // the part of chunk_ not yet written
    uint32_t pendingLength_ = 0;
    bool writeFailing_ = false;   // an episode of failed writes was logged
    bool folderFailing_ = false;  // an episode of failed folder creation was logged
    bool createFailing_ = false;  // an episode of failed file creation was logged

    // Set by Start and cleared by Stop on the owner's thread; used by Push and the
    // worker only in between.
    std::unique_ptr<CStreamBuffer> ring_;
    CWorkerThread worker_;

    std::atomic<uint64_t> writtenBytes_{0};    // written by the worker
    std::atomic<uint64_t> droppedBytes_{0};    // written by the capture thread (Push)
    std::atomic<uint64_t> writeFailures_{0};   // written by the worker
    std::atomic<uint64_t> createFailures_{0};  // written by the worker
};

// The worker's function: one RecordStep of the recorder in user; nothing for null.
int32_t RecordThreadProc(void* user);

// Creates every folder of path up to its last "/" (mode 0755), ignoring single
// failures. 0 when the folder that is to hold the file exists afterwards; non-zero
// for a null path or when it does not. Only "/" separates folders.
int CreateFileFolders(const char* path);
