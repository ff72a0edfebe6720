#include "capture/WorkerThread.h"

#include <chrono>
#include <system_error>

CWorkerThread::~CWorkerThread() {
    StopThread();
}

void CWorkerThread::SetThreadFunction(ThreadFunction function, void* user) {
    function_.store(function);
    user_.store(user);
}

int32_t CWorkerThread::StartThread() {
    if (thread_.joinable()) return 0;
    runFlag_.store(1);
    try {
        thread_ = std::thread(&CWorkerThread::Body, this);
    } catch (const std::system_error&) {
        return -1;
    }
    return 0;
}

void CWorkerThread::StopThread() {
    if (!thread_.joinable()) return;
    runFlag_.store(0);
    // The caller's own worker stopping itself would deadlock on join; detach is not
    // an option either (the object may be freed), so this is a programming error.
    thread_.join();
}

void CWorkerThread::Pause() {
    pausedFlag_.store(1);
}

void CWorkerThread::Resume() {
    pausedFlag_.store(0);
}

void CWorkerThread::Body() {
    // The run flag is tested before every pass, so a worker stopped before its
    // thread got going does no pass at all.
    while (runFlag_.load() != 0) {
        const ThreadFunction function = function_.load();
        if (function != nullptr && pausedFlag_.load() == 0) {
            function(user_.load());
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(kIdleSleepMs));
        }
    }
}
