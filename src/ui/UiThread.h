// The one way from another thread to the user-interface thread, besides the four
// private messages of QtWindowHandle.h: a queued call to a QObject through
// QMetaObject::invokeMethod with Qt::QueuedConnection, which Qt runs on the
// receiver's thread and drops when the receiver is deleted first.
//
// PostToUi is for senders that the receiver outlives (a worker the receiver joins
// before it goes). A sender that may outlive its receiver (a camera opening that ends
// after the widget has gone) posts through a CUiLink, which the receiver cuts in its
// destructor: from then on posts are dropped, never made to a deleted object.
//
// Threads: PostToUi and CUiLink::Post from any thread, never waiting for the UI
// thread; Cut on the receiver's thread. What the sender wrote before posting is seen
// by the call (marked for ThreadSanitizer, which cannot see Qt's own queue).
#pragma once

#include <QObject>
#include <functional>
#include <mutex>

void PostToUi(QObject* receiver, std::function<void()> call);

class CUiLink {
public:
    explicit CUiLink(QObject* receiver) : receiver_(receiver) {}
    CUiLink(const CUiLink&) = delete;
    CUiLink& operator=(const CUiLink&) = delete;

    // False when the receiver has gone.
    bool Post(std::function<void()> call);
    void Cut();

private:
    std::mutex lock_;    // held only to post or to cut
    QObject* receiver_;  // guarded by lock_; null once cut
};
