#include "restream/LoginLockout.h"

#include <utility>

CLoginLockout::CLoginLockout(ClockFn nowMs) : nowMs_(std::move(nowMs)) {}

void CLoginLockout::Forget(const std::string& address, int64_t now) {
    auto found = failures_.find(address);
    if (found != failures_.end()) {
        auto& times = found->second;
        while (!times.empty() && now - times.front() >= kWindowMs) times.pop_front();
        if (times.empty()) failures_.erase(found);
    }
    auto refused = refusedUntil_.find(address);
    if (refused != refusedUntil_.end() && now >= refused->second) refusedUntil_.erase(refused);
}

bool CLoginLockout::RecordFailure(const std::string& address) {
    const int64_t now = nowMs_();
    Forget(address, now);
    if (refusedUntil_.count(address) != 0) return false;
    auto& times = failures_[address];
    times.push_back(now);
    if (static_cast<int>(times.size()) < kMaxFailures) return false;
    // The count starts again once the refusal ends.
    failures_.erase(address);
    refusedUntil_[address] = now + kLockMs;
    return true;
}

bool CLoginLockout::IsRefused(const std::string& address) {
    Forget(address, nowMs_());
    return refusedUntil_.count(address) != 0;
}
