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
    if (key.empty()) key = ".";
    std::string existing = key;
    struct stat st {};
    while (stat(existing.c_str(), &st) != 0) {
        if (existing == "/" || existing == ".") return false;
        const size_t slash = existing.find_last_of('/');
        if (slash == std::string::npos) {
            existing = ".";
        } else if (slash == 0) {
            existing = "/";
        } else {
            existing.resize(slash);
        }
    }
    std::lock_guard<std::mutex> lock(Lock());
    const auto known = Devices().find(key);
    if (known != Devices().end()) return known->second == st.st_dev;
    if (existing == key) Devices().emplace(key, st.st_dev);
    return true;
}

void CRecordDirGuard::Forget() {
    std::lock_guard<std::mutex> lock(Lock());
    Devices().clear();
}
