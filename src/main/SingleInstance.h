// One running copy per settings folder. The first start takes an flock(2) lock in
// the user's runtime folder and listens beside it for a request to bring its window
// to the front; a later start of the same copy (the login autostart, then a start by
// hand) finds the lock taken, sends that request and exits, instead of opening a
// second window that fights the first for every camera. The lock's name holds a hash
// of the settings folder, so portable copies with their own settings do not block
// each other. The kernel drops the lock with its process: a copy killed with -9
// blocks no later start.
//
// Threads: the main thread only; a request arrives through the UI thread's event loop.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "capture/UniqueFd.h"

class QObject;

class CSingleInstance {
public:
    // How long a second start tries to reach the running copy, which may still be
    // starting up (it takes the lock before it builds its window and listens).
    static constexpr int kReachBoundMs = 20000;
    static constexpr int kRetryIntervalMs = 100;
    // How long the request may take to be written once connected.
    static constexpr int kWriteBoundMs = 5000;
    // Lock files a copy may find replaced under it before it gives up.
    static constexpr int kLockAttempts = 5;

    // configDir: the folder that holds this copy's settings (AppPaths' ConfigDir).
    explicit CSingleInstance(const std::string& configDir);
    // Removes the lock file when this copy holds the lock.
    ~CSingleInstance();

    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // Takes the lock, or hands over to the copy that holds it. Nothing when this copy
    // is to run: it holds the lock, or no lock could be made (said on stderr; running
    // unguarded beats not recording). Otherwise the running copy was asked to raise
    // its window, one line on stderr says so, and the value is the exit code: 0 when
    // the request was delivered, 1 when the running copy could not be reached.
    // Before the application object exists; makes a short-lived QCoreApplication
    // only when it has to reach the other copy.
    std::optional<int> HandToRunningCopy(int& argc, char** argv);

    // Listens for raise requests and runs onRaise on the UI thread for each. The
    // listener is a child of owner and goes with it. Only while holding the lock.
    bool Listen(QObject* owner, std::function<void()> onRaise) const;

private:
    enum class LockState { Held, Taken, Unavailable };

    LockState TryLock();
    // Connects, writes the request and waits for it to be written.
    bool SendRaise() const;

    const std::string configDir_;
    std::string lockPath_;     // "" when there is no runtime folder
    std::string serverPath_;   // beside the lock
    CUniqueFd lock_;           // once handed over: open only while this copy holds the lock
    std::string lockProblem_;  // why the lock could not be had, for the operator
};
