// The window handle of a Qt window: other threads post the system's private messages
// to it, and each arrives on the window's thread as a CPrivateMessageEvent whose type
// is the message's value (2690 to 2693 lie in Qt's user range).
//
// Threads: Post and IsAlive from any thread; neither waits for the window's thread
// (the lock below is held only for the post itself). MarkDead on the window's thread,
// from the window's destructor, before its QObject part goes: from then on posts are
// refused and the sender keeps its block. Events posted before and not yet delivered
// are deleted by Qt with the window, which frees their blocks.
//
// Every other hand-off to the UI thread goes through UiThread.h. The event is built
// completely before it is posted, and that is marked for ThreadSanitizer: Qt's queue
// hands it over with locks it cannot see, as Qt is not built for it.
#pragma once

#include <QEvent>
#include <QObject>
#include <mutex>

#include "common/WindowHandle.h"

// One posted message. It owns the heap block its message carries (see
// common/Messages.h) and frees it when deleted: after the receiver handled it, or
// undelivered. The receiver reads the block during handling and keeps no pointer to it.
class CPrivateMessageEvent : public QEvent {
public:
    CPrivateMessageEvent(unsigned message, WPARAM wParam, LPARAM lParam);
    ~CPrivateMessageEvent() override;
    CPrivateMessageEvent(const CPrivateMessageEvent&) = delete;
    CPrivateMessageEvent& operator=(const CPrivateMessageEvent&) = delete;

    unsigned Message() const { return message_; }
    WPARAM WParam() const { return wParam_; }
    LPARAM LParam() const { return lParam_; }

    // The event of one of the system's private messages, else null.
    static CPrivateMessageEvent* From(QEvent* event);

private:
    const unsigned message_;
    const WPARAM wParam_;
    const LPARAM lParam_;
};

class CQtWindowHandle : public IWindowHandle {
public:
    explicit CQtWindowHandle(QObject* receiver) : receiver_(receiver) {}

    bool Post(unsigned message, WPARAM wParam, LPARAM lParam) override;
    bool IsAlive() const override;
    void MarkDead();

private:
    mutable std::mutex lock_;  // held only to post or to mark dead
    QObject* receiver_;        // guarded by lock_; null once dead
};
