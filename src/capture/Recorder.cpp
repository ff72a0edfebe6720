#include "capture/Recorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <thread>

#include "capture/RecordDirGuard.h"
#include "capture/RecordingFiles.h"
#include "common/AnnexB.h"
#include "common/RecordingName.h"
#include "platform/FileSystem.h"

namespace {

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Creates the file exclusively, so an existing recording is never emptied: when the
// name is taken the next free "_<n>" name in the same folder is used. Each chunk
// then goes to the kernel in one write(2), whose count is what the file received.
int CreateUniqueFile(const std::string& recordDir, const std::string& camera,
                     const LocalTime& start, std::string* usedPath) {
    for (int suffix = 0;; ++suffix) {
        const std::string candidate = RecordingName::Path(recordDir, camera, start, suffix);
        const int fd = CRecordingFiles::Create(candidate);
        if (fd >= 0) {
            *usedPath = candidate;
            return fd;
        }
        if (errno != EEXIST || suffix >= RecordingName::kMaxSuffix) return -1;
    }
}

// A new file's name must survive a power cut as well as its bytes.
void SyncFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return;
    const std::string folder = slash == 0 ? std::string("/") : path.substr(0, slash);
    CUniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) fsync(fd.Get());
}

// Failures after which the same file is not expected to take bytes again: the disk
// has gone or failed. A full disk (ENOSPC, EDQUOT, EFBIG) is waited out instead.
bool IsDiskError(int error) {
    return error == EIO || error == ENODEV || error == ENXIO || error == EROFS || error == ESTALE;
}
}  // namespace

CRecorder::CRecorder(CCaptureObject* owner, RecordDirFn recordDir, ClockFn clock,
                     IRecordingObserver* recordings)
    : recordDir_(std::move(recordDir)),
      clock_(clock ? std::move(clock) : ClockFn(&GetLocalTime)),
      disk_{&::write, &::fdatasync},
      reporter_(recordings) {
    SetOwner(owner);
}

CRecorder::CRecorder(std::string cameraName, RecordDirFn recordDir, ClockFn clock,
                     IRecordingObserver* recordings)
    : cameraName_(std::move(cameraName)),
      recordDir_(std::move(recordDir)),
      clock_(clock ? std::move(clock) : ClockFn(&GetLocalTime)),
      disk_{&::write, &::fdatasync},
      reporter_(recordings) {}

CRecorder::~CRecorder() {
    Stop();
}

void CRecorder::SetDiskCalls(RecorderDiskCalls calls) {
    if (calls.Write) disk_.Write = std::move(calls.Write);
    if (calls.Sync) disk_.Sync = std::move(calls.Sync);
}

std::string CRecorder::CameraName() const {
    const CCaptureObject* owner = Owner();
    if (const DeviceInfo* device = owner != nullptr ? owner->DeviceRecord() : nullptr) {
        const char* name = device->CustomDeviceName;
        return std::string(name, strnlen(name, sizeof device->CustomDeviceName));
    }
    return cameraName_;
}

uint32_t CRecorder::BufferedBytes() const {
    // Counters rather than the ring, which Stop frees. Taken is read first: the worker
    // takes only stored bytes, though it may see a run a moment before Push counts it.
    const uint64_t taken = takenBytes_.load(std::memory_order_acquire);
    const uint64_t stored = storedBytes_.load(std::memory_order_acquire);
    return stored > taken ? static_cast<uint32_t>(std::min<uint64_t>(stored - taken, kRingBytes))
                          : 0;
}

int CRecorder::Start() {
    if (!chunk_) {
        chunk_.reset(new (std::nothrow) uint8_t[kChunkBytes]);
        if (!chunk_) return -1;
    }
    if (!ring_) {
        ring_.reset(new (std::nothrow) CStreamBuffer(kRingBytes));
        if (!ring_) return -4;
        ring_->Allocate();
    }
    if (reporter_.Active() && !marks_) {
        marks_.reset(new (std::nothrow) CAccessUnitMarks(kMarkSlots));
        if (!marks_) return -4;
    }
    reporter_.Begin(marks_.get(), wallClock_);
    streamWritten_ = 0;
    dropNoted_ = false;
    cutNoted_ = false;
    lastCutAt_ = storedBytes_.load(std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(cutsLock_);
        cuts_.clear();
    }
    started_ = true;
    lastSync_ = std::chrono::steady_clock::now();
    worker_.SetThreadFunction(&RecordThreadProc, this);
    worker_.StartThread();
    return 0;
}

void CRecorder::Drop(uint32_t count) {
    droppedBytes_.fetch_add(count, std::memory_order_relaxed);
}

void CRecorder::Push(const uint8_t* data, int32_t length) {
    Store(data, length, nullptr);
}

void CRecorder::Push(const uint8_t* data, int32_t length, int64_t arrivalMs) {
    Store(data, length, &arrivalMs);
}

bool CRecorder::CanTake(uint32_t length) {
    CStreamBuffer* ring = ring_.get();
    // Without a ring, or for a unit the ring can never hold, Push drops at once.
    if (ring == nullptr || length > ring->Capacity() - 1) return true;
    CAccessUnitMarks* marks = marks_.get();
    return length <= ring->Capacity() - 1 - ring->Available() &&
           (marks == nullptr || marks->HasRoom());
}

void CRecorder::EndFileHere() {
    const uint64_t at = storedBytes_.load(std::memory_order_relaxed);
    if (at == lastCutAt_) return;  // no byte since the last cut (or since Start)
    lastCutAt_ = at;
    cutNoted_ = true;
    std::lock_guard<std::mutex> lock(cutsLock_);
    cuts_.push_back(at);
}

uint64_t CRecorder::NextCut() {
    std::lock_guard<std::mutex> lock(cutsLock_);
    return cuts_.empty() ? std::numeric_limits<uint64_t>::max() : cuts_.front();
}

void CRecorder::EndFileAtCut(bool sync) {
    // Nothing is pending, so every byte taken is in a file.
    const uint64_t taken = takenBytes_.load(std::memory_order_relaxed);
    bool reached = false;
    {
        std::lock_guard<std::mutex> lock(cutsLock_);
        while (!cuts_.empty() && cuts_.front() <= taken) {
            cuts_.pop_front();
            reached = true;
        }
    }
    if (!reached || !file_) return;
    if (sync) SyncFile(std::chrono::steady_clock::now());
    CloseFile();
}

void CRecorder::Store(const uint8_t* data, int32_t length, const int64_t* arrivalMs) {
    if (data == nullptr || length <= 0) return;
    const uint32_t count = static_cast<uint32_t>(length);
    const bool awaiting = awaitingKeyFrame_.load(std::memory_order_relaxed);
    CAccessUnitMarks* marks = marks_.get();
    // Bytes after a gap do not decode before the next key frame; the observer is told
    // of every key frame. The test reads only up to the first slice.
    const bool keyFrame = (awaiting || marks != nullptr) && IsKeyFrameAccessUnit(data, count);
    if (awaiting && !keyFrame) {
        Drop(count);
        return;
    }
    CStreamBuffer* ring = ring_.get();
    // This thread alone adds bytes and marks, so the room seen here can only grow.
    const bool fits = ring != nullptr && count <= ring->Capacity() - 1 - ring->Available() &&
                      (marks == nullptr || marks->HasRoom());
    if (!fits) {
        Drop(count);
        dropNoted_ = true;
        if (!awaiting) awaitingKeyFrame_.store(true, std::memory_order_relaxed);
        return;
    }
    if (marks != nullptr) {
        // The mark goes first: the worker, having seen the bytes, finds their mark too.
        const uint64_t offset = storedBytes_.load(std::memory_order_relaxed);
        const int64_t wallMs = arrivalMs != nullptr ? *arrivalMs : wallClock_();
        marks->Add({offset, wallMs, keyFrame, dropNoted_, cutNoted_});
        dropNoted_ = false;
        cutNoted_ = false;
    }
    ring->Write(data, count);
    storedBytes_.fetch_add(count, std::memory_order_release);
    if (awaiting) awaitingKeyFrame_.store(false, std::memory_order_relaxed);
}

bool CRecorder::TakeFromRing(SteadyTime now) {
    const uint32_t stored = ring_->Available();
    if (stored == 0) {
        oldestWaiting_.reset();
        return false;
    }
    if (!oldestWaiting_) oldestWaiting_ = now;
    // Nothing past a cut goes into this file; the bytes up to it are the file's last,
    // so they need not wait for more.
    const uint64_t toCut = NextCut() - takenBytes_.load(std::memory_order_relaxed);
    if (toCut == 0) return false;
    const uint32_t takeable = static_cast<uint32_t>(std::min<uint64_t>(stored, toCut));
    uint32_t wanted = kChunkBytes;
    if (takeable < kChunkBytes) {
        if (takeable < toCut && now - *oldestWaiting_ < kPartialWriteAge) return false;
        wanted = takeable;
    }
    // This thread is the only reader: at least wanted bytes are stored.
    pendingLength_ = ring_->Read(chunk_.get(), wanted);
    pendingOffset_ = 0;
    takenBytes_.fetch_add(pendingLength_, std::memory_order_release);
    // What stays behind came in no later than now, so its wait counts from here.
    if (stored > pendingLength_) {
        oldestWaiting_ = now;
    } else {
        oldestWaiting_.reset();
    }
    return pendingLength_ > 0;
}

bool CRecorder::OpenNextFile() {
    const std::string recordDir = recordDir_ ? recordDir_() : std::string();
    if (!CRecordDirGuard::Usable(recordDir)) {
        createFailures_.fetch_add(1, std::memory_order_relaxed);
        if (!dirRefused_)
            ComponentLog(this, "录像目录所在磁盘不可用, 暂停录像 %s", recordDir.c_str());
        dirRefused_ = true;
        return false;
    }
    dirRefused_ = false;
    const std::string camera = CameraName();
    const LocalTime start = clock_();
    const std::string path = RecordingName::Path(recordDir, camera, start);
    if (CreateFileFolders(path.c_str()) != 0) {
        if (!folderFailing_) {
            ComponentLog(
                this, madeFirstFile_ ? "回调中 创建录像文件目录失败 %s" : "创建录像文件目录失败 %s",
                path.c_str());
        }
        folderFailing_ = true;
    } else {
        folderFailing_ = false;
    }
    const int fd = CreateUniqueFile(recordDir, camera, start, &filePath_);
    if (fd < 0) {
        createFailures_.fetch_add(1, std::memory_order_relaxed);
        if (!createFailing_) ComponentLog(this, "创建录像文件失败 %s", path.c_str());
        createFailing_ = true;
        return false;
    }
    file_.Reset(fd);
    createFailing_ = false;
    madeFirstFile_ = true;
    byteCount_ = 0;
    syncedFolder_ = false;
    CRecordDirGuard::Usable(recordDir);  // remembers the disk of a RecordDir just made
    reporter_.FileOpened(RecordingName::CameraFolder(camera), filePath_, streamWritten_);
    return true;
}

void CRecorder::CloseFile() {
    if (!file_) return;
    file_.Reset();
    CRecordingFiles::Closed(filePath_);
    reporter_.FileClosed(static_cast<uint64_t>(byteCount_));
    byteCount_ = 0;
}

bool CRecorder::FlushPending(bool worker) {
    if (pendingLength_ == 0) return true;
    if (!file_ && !OpenNextFile()) return false;
    const ssize_t written = disk_.Write(file_.Get(), chunk_.get() + pendingOffset_, pendingLength_);
    const int error = written < 0 ? errno : 0;
    if (written > 0) {
        // Only what the file really took is counted; the rest stays pending and goes
        // to the same file, right behind it, once the disk takes it again.
        const uint32_t n = static_cast<uint32_t>(written);
        byteCount_ += n;
        writtenBytes_.fetch_add(n, std::memory_order_relaxed);
        pendingOffset_ += n;
        pendingLength_ -= n;
        streamWritten_ += n;
        reporter_.Written(streamWritten_, static_cast<uint64_t>(byteCount_));
    }
    if (pendingLength_ == 0) {
        writeFailing_ = false;
        wroteSinceTrouble_ = true;
        diskErrors_ = 0;
        return true;
    }
    if (error == EINTR) return false;
    NoteWriteFailure();
    if (worker && IsDiskError(error) && ++diskErrors_ >= kDiskErrorAttempts) MoveToNewFile();
    return false;
}

void CRecorder::NoteWriteFailure() {
    writeFailures_.fetch_add(1, std::memory_order_relaxed);
    if (!writeFailing_) ComponentLog(this, "写入录像文件失败 %s", filePath_.c_str());
    writeFailing_ = true;
    wroteSinceTrouble_ = false;
}

void CRecorder::MoveToNewFile() {
    // What is pending goes to a new file: on this disk if it comes back, else
    // wherever RecordDir leads by then (CRecordDirGuard refuses the wrong disk).
    ComponentLog(this, "录像磁盘出错, 改写新文件 %s", filePath_.c_str());
    diskErrors_ = 0;
    CloseFile();
}

void CRecorder::SyncFile(SteadyTime now) {
    lastSync_ = now;
    const uint64_t written = writtenBytes_.load(std::memory_order_relaxed);
    // EINVAL: a file system that has nothing to sync.
    if (disk_.Sync(file_.Get()) == 0 || errno == EINVAL) {
        syncedBytes_.store(written, std::memory_order_relaxed);
        if (!syncedFolder_) SyncFolderOf(filePath_);
        syncedFolder_ = true;
        return;
    }
    const int error = errno;
    NoteWriteFailure();
    // After a failed writeback the kernel may have dropped what it held for this
    // file; retrying the sync proves nothing.
    if (IsDiskError(error)) MoveToNewFile();
}

void CRecorder::RollOverIfFull(bool sync) {
    if (byteCount_ <= kFileLimitBytes) return;  // exactly the limit stays
    if (sync) SyncFile(std::chrono::steady_clock::now());
    CloseFile();
}

void CRecorder::BeginTrouble() {
    if (troubled_) return;
    troubled_ = true;
    wroteSinceTrouble_ = false;
}

void CRecorder::EndTroubleIfOver(SteadyTime now) {
    const uint64_t dropped = droppedBytes_.load(std::memory_order_relaxed);
    if (dropped > droppedReported_ && !dropsSeen_) {
        dropsSeen_ = now;
        BeginTrouble();
    }
    if (!troubled_ || !wroteSinceTrouble_ || writeFailing_ || createFailing_ || dirRefused_ ||
        awaitingKeyFrame_.load(std::memory_order_relaxed)) {
        return;
    }
    const double seconds = dropsSeen_ ? Seconds(now - *dropsSeen_) : 0.0;
    ComponentLog(this, "录像恢复 %s, 期间丢弃 %llu 字节 (约 %.1f 秒)", filePath_.c_str(),
                 static_cast<unsigned long long>(dropped - droppedReported_), seconds);
    droppedReported_ = dropped;
    dropsSeen_.reset();
    troubled_ = false;
}

void CRecorder::RecordStep() {
    if (!chunk_ || !ring_) return;
    const SteadyTime now = std::chrono::steady_clock::now();
    const bool due = pendingLength_ > 0 || TakeFromRing(now);
    if (due && !FlushPending(true)) {
        // While the disk refuses, the chunk is held and the ring fills; Push then
        // drops the newest runs rather than this thread discarding older bytes.
        BeginTrouble();
        EndTroubleIfOver(now);
        SleepMs(kRetrySleepMs);
        return;
    }
    if (due) RollOverIfFull(true);
    if (pendingLength_ == 0) EndFileAtCut(true);
    const bool unsynced = syncedBytes_.load(std::memory_order_relaxed) <
                          writtenBytes_.load(std::memory_order_relaxed);
    if (file_ && unsynced && now - lastSync_ >= kSyncInterval) SyncFile(now);
    EndTroubleIfOver(now);
    if (!due) SleepMs(ring_->Available() == 0 ? kEmptySleepMs : kPartialSleepMs);
}

// Runs after the worker has ended: what the ring still holds is written with the
// same roll-over rule, so a short recording is not lost.
void CRecorder::DrainRing() {
    if (!chunk_ || !ring_) return;
    while (true) {
        if (pendingLength_ == 0) {
            EndFileAtCut(false);
            const uint64_t toCut = NextCut() - takenBytes_.load(std::memory_order_relaxed);
            pendingLength_ = ring_->Read(
                chunk_.get(), static_cast<uint32_t>(std::min<uint64_t>(kChunkBytes, toCut)));
            pendingOffset_ = 0;
            takenBytes_.fetch_add(pendingLength_, std::memory_order_release);
            if (pendingLength_ == 0) return;
        }
        // Closing must not wait for a disk that refuses: what is left is lost, and the
        // failure has been logged.
        if (!FlushPending(false)) return;
        RollOverIfFull(false);
    }
}

void CRecorder::Stop() {
    StopWorkerAndFlush(true);
}

void CRecorder::Discard() {
    StopWorkerAndFlush(false);
}

void CRecorder::StopWorkerAndFlush(bool report) {
    worker_.SetThreadFunction(nullptr, nullptr);
    worker_.StopThread();
    DrainRing();
    // What could not be written is lost: count it, so that written and dropped add up
    // to what the camera delivered.
    const uint32_t unread = ring_ ? ring_->Available() : 0;
    takenBytes_.fetch_add(unread, std::memory_order_release);
    droppedBytes_.fetch_add(unread + pendingLength_, std::memory_order_relaxed);
    pendingLength_ = 0;
    pendingOffset_ = 0;
    CloseFile();
    {
        std::lock_guard<std::mutex> lock(cutsLock_);
        cuts_.clear();
    }
    if (started_ && report) {
        ComponentLog(
            this,
            "录像停止 %s, 写入 %llu 字节, 丢弃 %llu 字节, 写入失败 %llu 次, 创建文件失败 %llu 次",
            CameraName().c_str(), static_cast<unsigned long long>(WrittenBytes()),
            static_cast<unsigned long long>(DroppedBytes()),
            static_cast<unsigned long long>(WriteFailures()),
            static_cast<unsigned long long>(CreateFailures()));
    }
    started_ = false;
    chunk_.reset();
    if (ring_) {
        ring_->Release();
        ring_.reset();
    }
    marks_.reset();
}

int32_t RecordThreadProc(void* user) {
    if (user != nullptr) static_cast<CRecorder*>(user)->RecordStep();
    return 0;
}

int CreateFileFolders(const char* path) {
    if (path == nullptr) return 1;
    const std::string text = path;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '/') CreateDirectory(text.substr(0, i));  // failures ignored
    }
    const size_t last = text.rfind('/');
    if (last == std::string::npos) return 0;  // the current folder holds it
    const std::string holder = last == 0 ? std::string("/") : text.substr(0, last);
    return IsDirectory(holder) ? 0 : 1;
}
