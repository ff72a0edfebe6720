#include "app/EventLog.h"

#include <cstring>

#include "platform/FileSystem.h"

CEventLog::CEventLog(std::string baseFolder, ClockFn clock)
    : baseFolder_(std::move(baseFolder)),
      clock_(clock ? std::move(clock) : ClockFn(&GetLocalTime)),
      lineBuffer_(new char[kLineBufferBytes]) {
    if (baseFolder_.empty()) {
        const std::string folder = FolderOf(::ModulePath());
        baseFolder_ = folder.empty() ? "." : folder.substr(0, folder.size() - 1);
    }
    while (baseFolder_.size() > 1 && baseFolder_.back() == '/') baseFolder_.pop_back();
}

CEventLog::~CEventLog() {
    CloseFile();
}

std::string CEventLog::FormatStamp(const LocalTime& t) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d %03d", t.Year, t.Month, t.Day,
                  t.Hour, t.Minute, t.Second, t.Milliseconds);
    return stamp;
}

int CEventLog::SetLogName(const char* name) {
    if (name == nullptr || name[0] == '\0') return 0;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    logName_ = name;
    StartNewFile();
    return 1;
}

int CEventLog::AddLine(const char* text) {
    if (text == nullptr) return 0;
    const size_t length = std::strlen(text);
    if (length > kMaxTextBytes) return 0;

    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::string stamp = FormatStamp(clock_());
    std::memset(lineBuffer_.get(), 0, kLineBufferBytes);
    const int lineLength =
        std::snprintf(lineBuffer_.get(), kLineBufferBytes, "%s  %s", stamp.c_str(), text);
    if (lineLength < 0) return 0;

    if (file_ == nullptr) EnsureOpen();
    if (file_ == nullptr) return 0;

    const size_t written =
        std::fwrite(lineBuffer_.get(), 1, static_cast<size_t>(lineLength), file_);
    byteCount_ += static_cast<uint32_t>(written);
    const size_t ends = std::fwrite("\n", 1, 1, file_);
    byteCount_ += static_cast<uint32_t>(ends);
    const bool ok =
        written == static_cast<size_t>(lineLength) && ends == 1 && std::fflush(file_) == 0;
    if (!ok) std::clearerr(file_);

    if (byteCount_ >= kFileLimitBytes) {
        CloseFile();
        StartNewFile();
    }
    if (!SameDate(clock_(), fileStart_)) {
        CloseFile();
        StartNewFile();
    }
    return ok ? 1 : 0;
}

int CEventLog::CloseFile() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    byteCount_ = 0;
    currentPath_.clear();
    return 1;
}

int CEventLog::StartNewFile() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (logName_.empty()) return 0;
    fileStart_ = clock_();
    char relative[2048];
    std::snprintf(relative, sizeof relative, "%04d-%02d-%02d/%s/%02d-%02d-%02d-%03d.log",
                  fileStart_.Year, fileStart_.Month, fileStart_.Day, logName_.c_str(),
                  fileStart_.Hour, fileStart_.Minute, fileStart_.Second, fileStart_.Milliseconds);
    OpenLogFile(relative);
    return 1;
}

int CEventLog::OpenLogFile(const std::string& relativeName) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (file_ != nullptr) return 0;
    currentPath_ = baseFolder_ + "/Log/" + relativeName;
    EnsureOpen();
    return 1;
}

int CEventLog::EnsureOpen() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (currentPath_.empty()) return 0;
    CreatePathFolders(currentPath_);
    if (file_ == nullptr) file_ = std::fopen(currentPath_.c_str(), "a");
    return 1;
}

int CEventLog::CreatePathFolders(const std::string& path) {
    if (path.empty()) return 0;
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] == '/') CreateDirectory(path.substr(0, i));
    }
    return 1;
}

std::string CEventLog::CurrentPath() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return currentPath_;
}

uint32_t CEventLog::ByteCount() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return byteCount_;
}
