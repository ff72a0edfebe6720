#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "camcap/CallbackGate.h"

TEST(CallbackGateTest, LetsCallersInOnlyWhileOpen) {
    CCallbackGate gate;
    EXPECT_FALSE(gate.Enter());  // before the session is set up
    gate.Open();
    ASSERT_TRUE(gate.Enter());
    gate.Leave();
    gate.Close();
    EXPECT_FALSE(gate.Enter());
    gate.Open();  // a closed gate stays closed
    EXPECT_FALSE(gate.Enter());
    EXPECT_TRUE(gate.IsClosed());
}

TEST(CallbackGateTest, CloseWaitsForTheCallbackInside) {
    CCallbackGate gate;
    gate.Open();
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> left{false};
    std::thread callback([&] {
        CCallbackGate::CPass pass(gate);
        ASSERT_TRUE(pass.Entered());
        entered.set_value();
        released.wait();
        left.store(true);
    });
    entered.get_future().wait();
    auto closing = std::async(std::launch::async, [&] {
        gate.Close();
        return left.load();
    });
    // Close must still be waiting for the callback that is inside.
    EXPECT_EQ(closing.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    release.set_value();
    EXPECT_TRUE(closing.get());
    callback.join();
}
