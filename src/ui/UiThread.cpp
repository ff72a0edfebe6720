#include "ui/UiThread.h"

#include <memory>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

void PostToUi(QObject* receiver, std::function<void()> call) {
    auto shared = std::make_shared<std::function<void()>>(std::move(call));
#if defined(__SANITIZE_THREAD__)
    __tsan_release(shared.get());
#endif
    QMetaObject::invokeMethod(
        receiver,
        [shared] {
#if defined(__SANITIZE_THREAD__)
            __tsan_acquire(shared.get());
#endif
            (*shared)();
        },
        Qt::QueuedConnection);
}

bool CUiLink::Post(std::function<void()> call) {
    std::lock_guard<std::mutex> lock(lock_);
    if (receiver_ == nullptr) return false;
    PostToUi(receiver_, std::move(call));
    return true;
}

void CUiLink::Cut() {
    std::lock_guard<std::mutex> lock(lock_);
    receiver_ = nullptr;
}
