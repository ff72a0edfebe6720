#include "capture/RecordDirGuard.h"

#include <sys/stat.h>

#include <map>
#include <mutex>

namespace {
std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}
std::map<std::string, dev_t>& Devices() {
    static std::map<std::string, dev_t> devices;  // RecordDir -> its file system; Lock()
    return devices;
}
}  // namespace

bool CRecordDirGuard::Usable(const std::string& recordDir) {
    std::string key = recordDir;
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    struct stat st {};
    const bool exists = !key.empty() && stat(key.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    std::lock_guard<std::mutex> lock(Lock());
    const auto known = Devices().find(key);
    if (!exists) return known == Devices().end();
    if (known == Devices().end()) {
        Devices().emplace(key, st.st_dev);
        return true;
    }
    return known->second == st.st_dev;
}

void CRecordDirGuard::Forget() {
    std::lock_guard<std::mutex> lock(Lock());
    Devices().clear();
}
