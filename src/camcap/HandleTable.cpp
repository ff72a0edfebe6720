#include "camcap/HandleTable.h"

#include <limits>
#include <vector>

#include "camcap/CaptureSession.h"

CHandleTable::~CHandleTable() {
    // Sessions still open at exit are closed outside the lock.
    std::vector<std::shared_ptr<CCaptureSession>> left;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& entry : sessions_) left.push_back(std::move(entry.second));
        sessions_.clear();
    }
    for (auto& session : left) session->Close();
}

int32_t CHandleTable::Add(std::shared_ptr<CCaptureSession> session) {
    std::lock_guard<std::mutex> lock(mutex_);
    // After 2^31 openings the counter starts again at 0, skipping handles in use.
    while (sessions_.count(next_) != 0) {
        next_ = next_ == std::numeric_limits<int32_t>::max() ? 0 : next_ + 1;
    }
    const int32_t handle = next_;
    next_ = next_ == std::numeric_limits<int32_t>::max() ? 0 : next_ + 1;
    sessions_.emplace(handle, std::move(session));
    return handle;
}

std::shared_ptr<CCaptureSession> CHandleTable::Find(int32_t handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = sessions_.find(handle);
    return it != sessions_.end() ? it->second : nullptr;
}

size_t CHandleTable::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sessions_.size();
}

std::shared_ptr<CCaptureSession> CHandleTable::Remove(int32_t handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = sessions_.find(handle);
    if (it == sessions_.end()) return nullptr;
    std::shared_ptr<CCaptureSession> session = std::move(it->second);
    sessions_.erase(it);
    return session;
}
