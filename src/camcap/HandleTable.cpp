#include "camcap/HandleTable.h"

#include <limits>
#include <vector>

#include "camcap/CaptureSession.h"
#include "camcap/HandleSlot.h"

CHandleTable::~CHandleTable() {
    // Sessions still open at exit are closed outside the lock.
    std::vector<std::shared_ptr<CHandleSlot>> left;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& entry : slots_) left.push_back(std::move(entry.second));
        slots_.clear();
    }
    for (auto& slot : left) {
        if (auto session = slot->Close()) session->Close();
    }
}

int32_t CHandleTable::Reserve() {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto advance = [this] {
        if (next_ == std::numeric_limits<int32_t>::max()) {
            next_ = 0;
            wrapped_ = true;
        } else {
            ++next_;
        }
    };
    // After 2^31 handles the counter starts again at 0, skipping handles in use.
    while (slots_.count(next_) != 0) advance();
    const int32_t handle = next_;
    advance();
    slots_.emplace(handle, std::make_shared<CHandleSlot>());
    return handle;
}

std::shared_ptr<CHandleSlot> CHandleTable::Find(int32_t handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = slots_.find(handle);
    return it != slots_.end() ? it->second : nullptr;
}

void CHandleTable::Remove(int32_t handle, const CHandleSlot* slot) {
    std::shared_ptr<CHandleSlot> removed;  // released outside the lock
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = slots_.find(handle);
    if (it == slots_.end() || it->second.get() != slot) return;
    removed = std::move(it->second);
    slots_.erase(it);
}

bool CHandleTable::HandedOut(int32_t handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return handle >= 0 && (wrapped_ || handle < next_);
}

size_t CHandleTable::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return slots_.size();
}

size_t CHandleTable::OpenCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t open = 0;
    for (const auto& entry : slots_) open += entry.second->OpenSession() ? 1 : 0;
    return open;
}
