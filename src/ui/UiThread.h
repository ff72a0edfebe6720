// The one way from another thread to the user-interface thread, besides the four
// private messages of QtWindowHandle.h: a CUiLink of the receiving object. A post puts
// the call into the link's mailbox, a child of the receiver, under a lock, and asks Qt
// for a queued QMetaObject::invokeMethod of the mailbox, which runs the calls waiting
// in it on the receiver's thread. The lock hands the call over (ThreadSanitizer sees
// it, where Qt's own queue it cannot); Qt only delivers the wake-up.
//
// A sender that may outlive the receiver (a camera opening that ends after its widget
// has gone) is safe: the receiver cuts the link in its destructor, after which posts
// are dropped, and calls already waiting go with the mailbox.
//
// Threads: the link is made on the receiver's thread; Post from any thread, never
// waiting for the receiver's thread; Cut on the receiver's thread.
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

class CUiMailbox : public QObject {
    Q_OBJECT

public:
    explicit CUiMailbox(QObject* receiver) : QObject(receiver) {}
    void Put(std::function<void()> call);  // any thread
    Q_INVOKABLE void Deliver();            // the receiver's thread

private:
    std::mutex lock_;                          // held only to put or take calls
    std::deque<std::function<void()>> calls_;  // guarded by lock_
};

class CUiLink {
public:
    explicit CUiLink(QObject* receiver) : mailbox_(new CUiMailbox(receiver)) {}
    ~CUiLink() { Cut(); }
    CUiLink(const CUiLink&) = delete;
    CUiLink& operator=(const CUiLink&) = delete;

    // Runs call on the receiver's thread; false when the link is cut.
    bool Post(std::function<void()> call);
    void Cut();

private:
    std::mutex lock_;                // held only to post or to cut
    CUiMailbox* mailbox_ = nullptr;  // guarded by lock_; the receiver's child; null once cut
};
