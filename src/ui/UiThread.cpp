#include "ui/UiThread.h"

void CUiMailbox::Put(std::function<void()> call) {
    std::lock_guard<std::mutex> lock(lock_);
    calls_.push_back(std::move(call));
}

void CUiMailbox::Deliver() {
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard<std::mutex> lock(lock_);
        calls.swap(calls_);
    }
    for (auto& call : calls) call();
}

bool CUiLink::Post(std::function<void()> call) {
    std::lock_guard<std::mutex> lock(lock_);
    if (mailbox_ == nullptr) return false;
    mailbox_->Put(std::move(call));
    // By name: Qt makes and queues the wake-up event itself; nothing of ours goes
    // through its queue.
    QMetaObject::invokeMethod(mailbox_, "Deliver", Qt::QueuedConnection);
    return true;
}

void CUiLink::Cut() {
    std::lock_guard<std::mutex> lock(lock_);
    mailbox_ = nullptr;
}
