// A window that other threads reach only by posting messages to it.
// Post and IsAlive may be called from any thread; neither ever blocks on the
// window's own thread. That is what makes it safe to post from inside a capture
// callback or a worker that the window's thread may be waiting for (closing a camera,
// joining a loader): a sender never waits for the receiver. A handle object outlives every thread
// that was given it: the window that owns it marks it dead instead of deleting it early.
#pragma once

#include <cstdint>

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

class IWindowHandle {
public:
    virtual ~IWindowHandle() = default;

    // Queues the message for the window's thread. True when queued: a heap block
    // carried in wParam then belongs to the receiver. False when the window is gone
    // or the queue refused it: the block still belongs to the caller.
    virtual bool Post(unsigned message, WPARAM wParam, LPARAM lParam) = 0;

    // Whether the window exists and can still receive posts.
    virtual bool IsAlive() const = 0;
};

using HWND = IWindowHandle*;
