// The gate every callback of one capture session passes: frames, stream bytes and
// notices. It lets nobody in before Open (so that whatever the session set up before
// opening it is published to the threads that pass it) and nobody after Close, and
// Close waits for the callbacks inside to leave: once it returns, nothing more
// reaches the caller's target, callback or window.
// Threads: Enter/Leave on the library's streaming and bus threads, Open and Close
// on the thread that opens and closes the session. The mutex is held only for the
// bookkeeping, never while a callback runs, and Close never holds it while
// GStreamer works.
#pragma once

#include <condition_variable>
#include <mutex>

class CCallbackGate {
public:
    // Enters the gate for one scope.
    class CPass {
    public:
        explicit CPass(CCallbackGate& gate) : gate_(gate), entered_(gate.Enter()) {}
        ~CPass() {
            if (entered_) gate_.Leave();
        }
        CPass(const CPass&) = delete;
        CPass& operator=(const CPass&) = delete;

        bool Entered() const { return entered_; }

    private:
        CCallbackGate& gate_;
        const bool entered_;
    };

    CCallbackGate() = default;
    virtual ~CCallbackGate() = default;
    CCallbackGate(const CCallbackGate&) = delete;
    CCallbackGate& operator=(const CCallbackGate&) = delete;

    // Lets callers in from now on, unless the gate was closed already.
    void Open();

    // True when the gate is open; the caller may then call out and must call Leave
    // once done.
    bool Enter();
    void Leave();

    // Refuses every later Enter and waits until every caller inside has left.
    // Must not be called from inside the gate.
    void Close();

    bool IsClosed() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable left_;
    bool open_ = false;    // guarded by mutex_
    bool closed_ = false;  // guarded by mutex_
    int inside_ = 0;       // guarded by mutex_
};
