// Counts failed logins per client address and refuses an address that failed too
// often: ten failures within a minute refuse it for a minute. A plain class with an
// injected clock; the restream server calls it under its own lock.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>

class CLoginLockout {
public:
    using ClockFn = std::function<int64_t()>;  // milliseconds, never going back
    static constexpr int kMaxFailures = 10;
    static constexpr int64_t kWindowMs = 60000;
    static constexpr int64_t kLockMs = 60000;

    explicit CLoginLockout(ClockFn nowMs);
    // Notes one failed login; true when this failure makes the address refused.
    bool RecordFailure(const std::string& address);
    bool IsRefused(const std::string& address);

private:
    void Forget(const std::string& address, int64_t now);

    const ClockFn nowMs_;
    std::map<std::string, std::deque<int64_t>> failures_;  // times within the window
    std::map<std::string, int64_t> refusedUntil_;
};
