// One handle of the capture library, from its reservation to its close: reserved
// (no session yet), opening (its session attaches on the opener's thread), open, or
// closed. Close may come from any thread in any state; the slot tells each party
// what is left for it to do, so that an opening ended by a close never leaves a
// session attached and never reports success.
// Threads: any; mutex_ is held only for the bookkeeping, never while a session works.
#pragma once

#include <memory>
#include <mutex>

class CCaptureSession;

class CHandleSlot {
public:
    enum class State { Reserved, Opening, Open, Closed };

    CHandleSlot() = default;
    virtual ~CHandleSlot() = default;
    CHandleSlot(const CHandleSlot&) = delete;
    CHandleSlot& operator=(const CHandleSlot&) = delete;

    // Opener: a reserved slot begins opening with session and returns Reserved; in any
    // other state nothing changes and the state is returned (Closed: closed before
    // the opening began).
    State BeginOpening(std::shared_ptr<CCaptureSession> session);
    // Opener, after the session attached: true when the slot is open now, false when it
    // was closed meanwhile (the opener then closes the session itself).
    bool FinishOpening();

    // Any thread: marks the slot closed and returns its session (null when none began),
    // also to a second close, which must wait for the session's gate as the first does.
    // before, when given, receives the state the slot was in.
    std::shared_ptr<CCaptureSession> Close(State* before = nullptr);

    // The session of an open slot, else null.
    std::shared_ptr<CCaptureSession> OpenSession() const;

private:
    mutable std::mutex mutex_;
    State state_ = State::Reserved;             // guarded by mutex_
    std::shared_ptr<CCaptureSession> session_;  // guarded by mutex_
};
