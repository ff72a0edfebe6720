#include "capture/Recorder.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "app/MonitorApp.h"
#include "platform/FileSystem.h"

namespace {
// Names tried after "<hh-mm-ss>.264" is taken: "<hh-mm-ss>_1.264" up to this suffix.
constexpr int kMaxNameSuffix = 999;

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Each "/"-separated part that would name no folder or climb out ("" "." "..") is
// replaced, so a name can add folder levels but never leave RecordDir.
std::string SafeCameraFolder(const std::string& name) {
    std::string safe;
    size_t begin = 0;
    while (true) {
        const size_t slash = name.find('/', begin);
        const size_t end = slash == std::string::npos ? name.size() : slash;
        const std::string part = name.substr(begin, end - begin);
        safe +=
            (part.empty() || part == "." || part == "..") ? CRecorder::kPlaceholderFolder : part;
        if (slash == std::string::npos) break;
        safe += '/';
        begin = slash + 1;
    }
    return safe;
}

// Creates the file exclusively ("x"), so an existing recording is never emptied:
// when the name is taken the next free "_<n>" name in the same folder is used.
FILE* CreateUniqueFile(const std::string& path, std::string* usedPath) {
    const size_t dot = path.rfind('.');
    const std::string stem = path.substr(0, dot);
    const std::string extension = path.substr(dot);
    std::string candidate = path;
    for (int suffix = 1;; ++suffix) {
        FILE* file = std::fopen(candidate.c_str(), "wbx");
        if (file != nullptr) {
            // Unbuffered: each chunk goes to the kernel in one write, and the count
            // fwrite returns is what the file really received.
            std::setvbuf(file, nullptr, _IONBF, 0);
            *usedPath = candidate;
            return file;
        }
        if (errno != EEXIST || suffix > kMaxNameSuffix) return nullptr;
        candidate = stem + "_" + std::to_string(suffix) + extension;
    }
}

std::string RecordDirSetting() {
    const CMonitorApp* app = TheApp();
    return app != nullptr ? app->RecordDir() : std::string();
}
}  // namespace

CRecorder::CRecorder(CCaptureObject* owner, ClockFn clock)
    : clock_(clock ? std::move(clock) : ClockFn(&GetLocalTime)) {
    SetOwner(owner);
}

CRecorder::CRecorder(std::string cameraName, ClockFn clock)
    : cameraName_(std::move(cameraName)),
      clock_(clock ? std::move(clock) : ClockFn(&GetLocalTime)) {}

CRecorder::~CRecorder() {
    Stop();
}

std::string CRecorder::FilePath(const std::string& recordDir, const std::string& cameraName,
                                const LocalTime& time) {
    std::string folder = recordDir;
    if (!folder.empty() && folder.back() == '/') folder.pop_back();  // one only
    const std::string camera = SafeCameraFolder(cameraName);
    const char* const format = "%s/%s/%04d-%02d-%02d/%02d-%02d-%02d.264";
    const int length = std::snprintf(nullptr, 0, format, folder.c_str(), camera.c_str(), time.Year,
                                     time.Month, time.Day, time.Hour, time.Minute, time.Second);
    if (length < 0) return {};
    std::string path(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(path.data(), path.size(), format, folder.c_str(), camera.c_str(), time.Year,
                  time.Month, time.Day, time.Hour, time.Minute, time.Second);
    path.pop_back();
    return path;
}

std::string CRecorder::CameraName() const {
    const CCaptureObject* owner = Owner();
    if (const DeviceInfo* device = owner != nullptr ? owner->DeviceRecord() : nullptr) {
        const char* name = device->CustomDeviceName;
        return std::string(name, strnlen(name, sizeof device->CustomDeviceName));
    }
    return cameraName_;
}

// RecordDir is read anew for every file, so a folder changed in the settings applies
// from the next file on.
std::string CRecorder::NextFilePath() const {
    return FilePath(RecordDirSetting(), CameraName(), clock_());
}

uint32_t CRecorder::BufferedBytes() const {
    return ring_ ? ring_->Available() : 0;
}

int CRecorder::Start() {
    if (!chunk_) {
        chunk_.reset(new (std::nothrow) uint8_t[kChunkBytes]);
        if (!chunk_) return -1;
    }
    if (!file_) {
        const std::string path = NextFilePath();
        if (CreateFileFolders(path.c_str()) != 0) {
            ComponentLog(this, "创建录像文件目录失败 %s", path.c_str());
            return -2;
        }
        file_.reset(CreateUniqueFile(path, &filePath_));
        if (!file_) {
            ComponentLog(this, "创建录像文件失败 %s", path.c_str());
            return -3;
        }
        byteCount_ = 0;
    }
    if (!ring_) {
        ring_.reset(new (std::nothrow) CStreamBuffer(kRingBytes));
        if (!ring_) return -4;
        ring_->Allocate();
    }
    worker_.SetThreadFunction(&RecordThreadProc, this);
    worker_.StartThread();
    return 0;
}

int CRecorder::Push(const uint8_t* data, int32_t length) {
    if (data == nullptr || length <= 0) return 0;
    const uint32_t count = static_cast<uint32_t>(length);
    const uint32_t stored = ring_ ? ring_->Write(data, count) : 0;
    if (stored < count) droppedBytes_.fetch_add(count - stored, std::memory_order_relaxed);
    return 0;
}

bool CRecorder::OpenNextFile() {
    const std::string path = NextFilePath();
    if (CreateFileFolders(path.c_str()) != 0) {
        if (!folderFailing_) ComponentLog(this, "回调中 创建录像文件目录失败 %s", path.c_str());
        folderFailing_ = true;
    } else {
        folderFailing_ = false;
    }
    file_.reset(CreateUniqueFile(path, &filePath_));
    byteCount_ = 0;
    if (!file_) {
        createFailures_.fetch_add(1, std::memory_order_relaxed);
        if (!createFailing_) ComponentLog(this, "创建录像文件失败 %s", path.c_str());
        createFailing_ = true;
        return false;
    }
    createFailing_ = false;
    return true;
}

bool CRecorder::FlushPending() {
    if (pendingLength_ == 0) return true;
    if (!file_ && !OpenNextFile()) return false;
    const size_t written =
        std::fwrite(chunk_.get() + pendingOffset_, 1, pendingLength_, file_.get());
    // Only what the file really took is counted; the rest stays pending and goes to
    // the same file, right behind it, once the disk takes it again.
    byteCount_ += static_cast<int64_t>(written);
    writtenBytes_.fetch_add(written, std::memory_order_relaxed);
    pendingOffset_ += static_cast<uint32_t>(written);
    pendingLength_ -= static_cast<uint32_t>(written);
    if (pendingLength_ == 0) {
        writeFailing_ = false;
        return true;
    }
    std::clearerr(file_.get());
    writeFailures_.fetch_add(1, std::memory_order_relaxed);
    if (!writeFailing_) ComponentLog(this, "写入录像文件失败 %s", filePath_.c_str());
    writeFailing_ = true;
    return false;
}

void CRecorder::RollOverIfFull(bool openNext) {
    if (byteCount_ <= kFileLimitBytes) return;  // exactly the limit stays
    file_.reset();
    byteCount_ = 0;
    if (openNext) OpenNextFile();  // a failure is retried at the next chunk
}

int CRecorder::RecordStep() {
    if (!chunk_ || !ring_) return 0;
    if (pendingLength_ == 0) {
        const uint32_t stored = ring_->Available();
        if (stored == 0) {
            SleepMs(kEmptySleepMs);
            return 0;
        }
        if (stored < kChunkBytes) {
            SleepMs(kPartialSleepMs);
            return 0;
        }
        // This thread is the only reader and a whole chunk is stored.
        pendingLength_ = ring_->Read(chunk_.get(), kChunkBytes);
        pendingOffset_ = 0;
    }
    // While the disk refuses, the chunk is held and the ring fills; Push then drops
    // (and counts) the newest bytes rather than this thread discarding older ones.
    if (!FlushPending()) {
        SleepMs(kRetrySleepMs);
        return 0;
    }
    RollOverIfFull(true);
    return 0;
}

// Runs after the worker has ended: what the ring still holds (often less than a
// chunk) is written with the same roll-over rule, so a short recording is not empty.
void CRecorder::DrainRing() {
    if (!chunk_ || !ring_) return;
    while (true) {
        if (pendingLength_ == 0) {
            pendingLength_ = ring_->Read(chunk_.get(), kChunkBytes);
            pendingOffset_ = 0;
            if (pendingLength_ == 0) return;
        }
        // Closing must not wait for a disk that refuses: what is left is lost, and the
        // failure has been logged.
        if (!FlushPending()) return;
        RollOverIfFull(false);
    }
}

int CRecorder::Stop() {
    worker_.SetThreadFunction(nullptr, nullptr);
    worker_.StopThread();
    DrainRing();
    pendingLength_ = 0;
    pendingOffset_ = 0;
    file_.reset();
    chunk_.reset();
    if (ring_) {
        ring_->Release();
        ring_.reset();
    }
    return 0;
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
