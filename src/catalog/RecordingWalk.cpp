#include "catalog/RecordingWalk.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "catalog/CatalogTime.h"
#include "common/RecordingName.h"

namespace fs = std::filesystem;

bool ParseRecordingPath(const std::string& relPath, RecordingOnDisk* recording) {
    const size_t file = relPath.rfind('/');
    if (file == std::string::npos || file == 0) return false;
    const size_t day = relPath.rfind('/', file - 1);
    if (day == std::string::npos || day == 0) return false;
    RecordingName::Parsed name;
    const std::string dayFolder = relPath.substr(day + 1, file - day - 1);
    if (!RecordingName::Parse(dayFolder, relPath.substr(file + 1), &name)) return false;
    recording->RelPath = relPath;
    recording->Camera = relPath.substr(0, day);
    recording->Day = dayFolder;
    recording->NameStartMs = LocalSecondsToUtcMs(name.StartSeconds);
    recording->Suffix = name.Suffix;
    return true;
}

bool StatRecording(const std::string& root, RecordingOnDisk* recording) {
    struct stat info {};
    if (lstat((root + "/" + recording->RelPath).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    recording->Bytes = static_cast<uint64_t>(info.st_size);
    recording->ModifiedMs =
        static_cast<int64_t>(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
    return true;
}

std::vector<RecordingOnDisk> ListRecordingsOnDisk(const std::string& root) {
    std::vector<RecordingOnDisk> found;
    std::error_code error;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
        // <camera>/<day>/<file>: at least two folders below root.
        if (it.depth() < 2 || it->is_symlink(error) || it->is_directory(error)) continue;
        RecordingOnDisk recording;
        if (!ParseRecordingPath(RelativeToRoot(root, it->path().string()), &recording)) continue;
        if (StatRecording(root, &recording)) found.push_back(std::move(recording));
    }
    return found;
}

std::string RelativeToRoot(const std::string& root, const std::string& path) {
    std::string base = root;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (path.size() <= base.size() + 1 || path.compare(0, base.size(), base) != 0 ||
        path[base.size()] != '/') {
        return {};
    }
    return path.substr(base.size() + 1);
}
