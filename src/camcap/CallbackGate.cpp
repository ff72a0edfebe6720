#include "camcap/CallbackGate.h"

void CCallbackGate::Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = !closed_;
}

bool CCallbackGate::Enter() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) return false;
    ++inside_;
    return true;
}

void CCallbackGate::Leave() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--inside_ == 0 && closed_) left_.notify_all();
}

void CCallbackGate::Close() {
    std::unique_lock<std::mutex> lock(mutex_);
    closed_ = true;
    open_ = false;
    left_.wait(lock, [this] { return inside_ == 0; });
}

bool CCallbackGate::IsClosed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}
