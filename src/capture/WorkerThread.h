// A thread that calls one function pass after pass until stopped, with pause and
// resume. A task meant to run once pauses its own worker as its last step.
//
// Threads: the control fields are atomics written by the owner's thread and read by
// the worker on every pass without a lock. Function and user pointer are two
// separate words, so a pass may see a new function with an old pointer: functions
// given to a worker do nothing for a null pointer, and owners clear both before
// stopping. StopThread joins: never call it while the function waits for the
// calling thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

using ThreadFunction = int32_t (*)(void* user);

class CWorkerThread {
public:
    static constexpr int kIdleSleepMs = 5;

    CWorkerThread() = default;
    virtual ~CWorkerThread();

    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Stores both; the next pass uses them.
    void SetThreadFunction(ThreadFunction function, void* user);
    // Creates the thread when there is none; 0 when a thread exists or was created,
    // -1 when creating it failed.
    int32_t StartThread();
    // Clears the run flag and joins the thread; nothing when there is no thread.
    void StopThread();
    void Pause();
    void Resume();

    bool IsRunning() const { return thread_.joinable(); }  // owner's thread only

private:
    void Body();

    std::atomic<int32_t> runFlag_{0};                // written by the owner, read by the worker
    std::atomic<int32_t> pausedFlag_{0};             // written by anyone, read by the worker
    std::atomic<ThreadFunction> function_{nullptr};  // as above
    std::atomic<void*> user_{nullptr};               // as above
    std::thread thread_;                             // owner's thread only
};
