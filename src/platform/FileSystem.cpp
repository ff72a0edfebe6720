#include "platform/FileSystem.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

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
