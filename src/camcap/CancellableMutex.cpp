#include "camcap/CancellableMutex.h"

void CCancellableMutex::lock() {
    std::unique_lock<std::mutex> lock(mutex_);
    freed_.wait(lock, [this] { return !held_; });
    held_ = true;
}

void CCancellableMutex::unlock() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = false;
    }
    freed_.notify_all();
}

bool CCancellableMutex::LockUnless(const std::function<bool()>& cancelled) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (held_) {
        // The canceller does not know this mutex, so look at it every kPoll.
        freed_.wait_for(lock, kPoll);
        if (held_ && cancelled()) return false;
    }
    held_ = true;
    return true;
}
