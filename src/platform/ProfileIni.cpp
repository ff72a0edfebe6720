#include "platform/ProfileIni.h"

#include <SimpleIni.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <system_error>
#include <utility>

#include "platform/FileSystem.h"

namespace {

constexpr mode_t kNewFileMode = 0644;  // what a settings file created by fopen gets

// Multi-key on, so that of duplicate keys the first is read, as Windows does.
SI_Error Load(CSimpleIniA& ini, const std::string& path) {
    ini.SetUnicode(true);
    ini.SetMultiKey(true);
    ini.SetMultiLine(false);
    return ini.LoadFile(path.c_str());  // A missing or unreadable file leaves it empty.
}

bool Fail(std::string* reason, const std::string& what, int error) {
    if (reason != nullptr) *reason = what + ": " + std::generic_category().message(error);
    return false;
}

// Removes the temporary file unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    ~TempFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    void Keep() { path_.clear(); }

private:
    std::string path_;
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    int Close() { return ::close(std::exchange(fd_, -1)); }

private:
    int fd_;
};

// Writes content to a fresh file beside path and renames it over path.
bool ReplaceFile(const std::string& path, const std::string& content, std::string* reason) {
    const std::string folder = FolderOf(path);
    std::string tempPath = folder + "." + path.substr(folder.size()) + ".XXXXXX";
    FileDescriptor fd(::mkostemp(tempPath.data(), O_CLOEXEC));
    if (fd.Get() < 0) return Fail(reason, "create a file in " + folder, errno);
    TempFile temp(tempPath);
    struct stat old {};
    ::fchmod(fd.Get(), ::stat(path.c_str(), &old) == 0 ? old.st_mode & 07777 : kNewFileMode);
    for (size_t done = 0; done < content.size();) {
        const ssize_t n = ::write(fd.Get(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Fail(reason, "write " + tempPath, errno);
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd.Get()) != 0) return Fail(reason, "write " + tempPath, errno);
    if (fd.Close() != 0) return Fail(reason, "write " + tempPath, errno);
    if (std::rename(tempPath.c_str(), path.c_str()) != 0)
        return Fail(reason, "replace " + path, errno);
    temp.Keep();
    return true;
}

}  // namespace

int ParseLeadingInt(const char* text) {
    if (text == nullptr) return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != '\0' && std::isspace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
        ++p;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    return static_cast<int>(value);
}

std::string GetProfileString(const std::string& path, const char* section, const char* key,
                             const char* defaultValue) {
    CSimpleIniA ini;
    Load(ini, path);
    const char* value = ini.GetValue(section, key, nullptr);
    return value != nullptr ? value : (defaultValue != nullptr ? defaultValue : "");
}

int GetProfileInt(const std::string& path, const char* section, const char* key, int defaultValue) {
    CSimpleIniA ini;
    Load(ini, path);
    const char* value = ini.GetValue(section, key, nullptr);
    return value != nullptr ? ParseLeadingInt(value) : defaultValue;
}

bool WriteProfileString(const std::string& path, const char* section, const char* key,
                        const char* value) {
    return WriteProfileStrings(path, section, {{key, value != nullptr ? value : ""}});
}

bool WriteProfileStrings(const std::string& path, const char* section,
                         const std::vector<std::pair<std::string, std::string>>& keysAndValues,
                         std::string* reason) {
    CSimpleIniA ini;
    errno = 0;
    const SI_Error loaded = Load(ini, path);
    if (loaded == SI_FILE && errno != ENOENT) return Fail(reason, "read " + path, errno);
    if (loaded < 0 && loaded != SI_FILE) return Fail(reason, "read " + path, EILSEQ);
    for (const auto& [key, value] : keysAndValues) {
        if (ini.SetValue(section, key.c_str(), value.c_str(), nullptr, true) < 0) {
            return Fail(reason, "set " + key, ENOMEM);
        }
    }
    std::string content;
    if (ini.Save(content, false) < 0) return Fail(reason, "format " + path, ENOMEM);
    return ReplaceFile(path, content, reason);
}
