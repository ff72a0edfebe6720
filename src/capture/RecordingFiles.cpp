#include "capture/RecordingFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>

namespace {
std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}
std::set<std::string>& OpenFiles() {
    static std::set<std::string> files;  // guarded by Lock()
    return files;
}
}  // namespace

int CRecordingFiles::Create(const std::string& path) {
    std::lock_guard<std::mutex> lock(Lock());
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) OpenFiles().insert(path);
    return fd;
}

void CRecordingFiles::Closed(const std::string& path) {
    std::lock_guard<std::mutex> lock(Lock());
    OpenFiles().erase(path);
}

bool CRecordingFiles::IsOpen(const std::string& path) {
    std::lock_guard<std::mutex> lock(Lock());
    return OpenFiles().count(path) != 0;
}

int CRecordingFiles::DeleteUnlessOpen(const std::string& path) {
    std::lock_guard<std::mutex> lock(Lock());
    if (OpenFiles().count(path) != 0) return 1;
    return unlink(path.c_str()) == 0 ? 0 : -1;
}
