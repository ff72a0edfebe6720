#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "restream/LoginLockout.h"

namespace {

// One step of a table: at atMs, `failures` failed logins from address, then whether
// the address is refused and whether the last failure was the one that refused it.
struct Step {
    int64_t atMs;
    std::string address;
    int failures;
    bool refused;
    bool refusedByLast;
};

struct Case {
    const char* name;
    std::vector<Step> steps;
};

TEST(LoginLockoutTest, TenFailuresWithinAMinuteRefuseTheAddressForAMinute) {
    const std::vector<Case> cases = {
        {"nine failures are tolerated", {{0, "10.0.0.1", 9, false, false}}},
        {"the tenth refuses",
         {{0, "10.0.0.1", 9, false, false}, {59999, "10.0.0.1", 1, true, true}}},
        {"failures older than a minute no longer count",
         {{0, "10.0.0.1", 9, false, false}, {60000, "10.0.0.1", 1, false, false}}},
        {"another address is not refused with it",
         {{0, "10.0.0.1", 10, true, true}, {1000, "10.0.0.2", 1, false, false}}},
        {"the refusal lasts a minute",
         {{0, "10.0.0.1", 10, true, true},
          {59999, "10.0.0.1", 0, true, false},
          {60000, "10.0.0.1", 0, false, false}}},
        {"failures while refused neither extend nor count",
         {{0, "10.0.0.1", 10, true, true},
          {30000, "10.0.0.1", 20, true, false},
          {60000, "10.0.0.1", 0, false, false},
          {60000, "10.0.0.1", 9, false, false}}},
        {"after a refusal ten more failures refuse again",
         {{0, "10.0.0.1", 10, true, true}, {60000, "10.0.0.1", 10, true, true}}},
    };
    for (const Case& c : cases) {
        int64_t now = 0;
        CLoginLockout lockout([&now] { return now; });
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            now = step.atMs;
            bool last = false;
            for (int n = 0; n < step.failures; ++n) last = lockout.RecordFailure(step.address);
            EXPECT_EQ(step.refusedByLast, last) << c.name << ", step " << i;
            EXPECT_EQ(step.refused, lockout.IsRefused(step.address)) << c.name << ", step " << i;
        }
    }
}

}  // namespace
