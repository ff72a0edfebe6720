#include "platform/FileSystem.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

namespace {

constexpr mode_t kFallbackUmask = 022;

bool Fail(std::string* reason, const std::string& what, int error) {
    if (reason != nullptr) *reason = what + ": " + std::generic_category().message(error);
    return false;
}

mode_t CurrentUmask() {
    // umask() would have to change the mask to read it, racing other threads.
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
        }
    }
    return kFallbackUmask;
}

// What fopen(path, "w") would leave: the old file's permissions, or a new file's.
mode_t ModeFor(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    return 0666 & ~CurrentUmask();
}

// Removes the temporary file unless it was renamed into place.
class CTempFile {
public:
    explicit CTempFile(std::string path) : path_(std::move(path)) {}
    ~CTempFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;
    void Keep() { path_.clear(); }

private:
    std::string path_;
};

class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) : fd_(fd) {}
    ~CFileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return fd_; }
    int Close() { return ::close(std::exchange(fd_, -1)); }

private:
    int fd_;
};

void SyncFolder(const std::string& folder) {
    CFileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Best effort: some file systems refuse it, and the data is already safe.
    if (fd.Get() >= 0) ::fsync(fd.Get());
}

}  // namespace

std::string ModulePath() {
    std::vector<char> buffer(PATH_MAX + 1, '\0');
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return {};
    return std::string(buffer.data(), static_cast<size_t>(n));
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash + 1);
}

bool CreateDirectory(const std::string& path) {
    return !path.empty() && mkdir(path.c_str(), 0755) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {
std::string FromEnvOrHome(const char* variable, const char* homeSubfolder) {
    if (const char* v = std::getenv(variable); v != nullptr && v[0] != '\0') {
        std::string dir = v;
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        return dir;
    }
    const char* home = std::getenv("HOME");
    std::string dir = (home != nullptr && home[0] != '\0') ? home : "/tmp";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir + "/" + homeSubfolder;
}
}  // namespace

std::string UserVideosDir() {
    return FromEnvOrHome("XDG_VIDEOS_DIR", "Videos");
}

std::string UserPicturesDir() {
    return FromEnvOrHome("XDG_PICTURES_DIR", "Pictures");
}

bool ReplaceFile(const std::string& path, const std::string& content, std::string* reason) {
    const std::string folder = FolderOf(path);
    std::string tempPath = folder + "." + path.substr(folder.size()) + ".XXXXXX";
    CFileDescriptor fd(::mkostemp(tempPath.data(), O_CLOEXEC));
    if (fd.Get() < 0) return Fail(reason, "create a file in " + folder, errno);
    CTempFile temp(tempPath);
    ::fchmod(fd.Get(), ModeFor(path));  // best effort: mkostemp leaves 0600
    for (size_t done = 0; done < content.size();) {
        const ssize_t n = ::write(fd.Get(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Fail(reason, "write " + tempPath, errno);
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd.Get()) != 0) return Fail(reason, "write " + tempPath, errno);
    if (fd.Close() != 0) return Fail(reason, "write " + tempPath, errno);
    if (std::rename(tempPath.c_str(), path.c_str()) != 0) {
        return Fail(reason, "replace " + path, errno);
    }
    temp.Keep();
    SyncFolder(folder.empty() ? "." : folder);
    return true;
}
