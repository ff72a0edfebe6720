#include "ui/QtWindowHandle.h"

#include <QCoreApplication>
#include <new>

#include "common/Messages.h"

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace {

// The event was built before it was posted: what its thread wrote happens before its
// handling.
void MarkPosted(QEvent* event) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(event);
#else
    (void)event;
#endif
}

void MarkReceived(QEvent* event) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(event);
#else
    (void)event;
#endif
}

}  // namespace

CPrivateMessageEvent::CPrivateMessageEvent(unsigned message, WPARAM wParam, LPARAM lParam)
    : QEvent(static_cast<QEvent::Type>(message)),
      message_(message),
      wParam_(wParam),
      lParam_(lParam) {}

CPrivateMessageEvent::~CPrivateMessageEvent() {
    FreeMessagePayload(message_, wParam_, lParam_);
}

CPrivateMessageEvent* CPrivateMessageEvent::From(QEvent* event) {
    const int type = event->type();
    if (type < static_cast<int>(WM_CELL_NOTIFY) || type > static_cast<int>(WM_CELL_OPEN)) {
        return nullptr;
    }
    MarkReceived(event);
    return dynamic_cast<CPrivateMessageEvent*>(event);
}

bool CQtWindowHandle::Post(unsigned message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::mutex> lock(lock_);
    if (receiver_ == nullptr) return false;
    auto* event = new (std::nothrow) CPrivateMessageEvent(message, wParam, lParam);
    if (event == nullptr) return false;
    MarkPosted(event);
    // Qt owns the event from here; it frees the block once handled or discarded.
    QCoreApplication::postEvent(receiver_, event);
    return true;
}

bool CQtWindowHandle::IsAlive() const {
    std::lock_guard<std::mutex> lock(lock_);
    return receiver_ != nullptr;
}

void CQtWindowHandle::MarkDead() {
    std::lock_guard<std::mutex> lock(lock_);
    receiver_ = nullptr;
}
