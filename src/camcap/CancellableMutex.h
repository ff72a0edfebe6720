// A mutex whose waiters can give up: a session that waits for another session's start
// of the same camera (up to 10 s) must be able to leave as soon as it is closed.
// Lockable, so that std::lock_guard holds it where giving up is not wanted.
// Threads: any; the internal mutex is held only for the bookkeeping.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class CCancellableMutex {
public:
    // How soon a waiter notices that it should give up.
    static constexpr std::chrono::milliseconds kPoll{50};

    CCancellableMutex() = default;
    virtual ~CCancellableMutex() = default;
    CCancellableMutex(const CCancellableMutex&) = delete;
    CCancellableMutex& operator=(const CCancellableMutex&) = delete;

    void lock();
    void unlock();
    // Locks unless cancelled() turns true first; true when locked.
    bool LockUnless(const std::function<bool()>& cancelled);

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    bool held_ = false;  // guarded by mutex_
};
