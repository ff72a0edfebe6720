#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "capture/WorkerThread.h"

namespace {

constexpr auto kGenerous = std::chrono::seconds(10);

// Counts passes and the threads that ran them; optionally pauses its worker
// after each pass, as a run-once task does.
struct Task {
    std::mutex lock;
    std::condition_variable changed;
    int passes = 0;                           // guarded by lock
    std::set<std::thread::id> threads;        // guarded by lock
    CWorkerThread* pauseAfterPass = nullptr;  // set before the worker starts

    static int32_t Run(void* user) {
        if (user == nullptr) return 0;
        auto* self = static_cast<Task*>(user);
        if (self->pauseAfterPass != nullptr) self->pauseAfterPass->Pause();
        {
            std::lock_guard<std::mutex> guard(self->lock);
            ++self->passes;
            self->threads.insert(std::this_thread::get_id());
            self->changed.notify_all();
        }
        // Outside the lock, so that the waiting test thread is not starved.
        if (self->pauseAfterPass == nullptr)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
    }

    bool WaitForPasses(int count) {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, kGenerous, [&] { return passes >= count; });
    }
    int Passes() {
        std::lock_guard<std::mutex> guard(lock);
        return passes;
    }
};

}  // namespace

TEST(WorkerThreadTest, StopOnAWorkerNeverStartedReturnsAtOnce) {
    CWorkerThread worker;
    worker.StopThread();
    EXPECT_FALSE(worker.IsRunning());
}

TEST(WorkerThreadTest, StartingTwiceMakesOneThread) {
    Task task;
    CWorkerThread worker;
    worker.SetThreadFunction(&Task::Run, &task);
    EXPECT_EQ(worker.StartThread(), 0);
    EXPECT_EQ(worker.StartThread(), 0);
    ASSERT_TRUE(task.WaitForPasses(20)) << "waited for 20 passes";
    worker.StopThread();
    EXPECT_EQ(task.threads.size(), 1u);
    EXPECT_NE(*task.threads.begin(), std::this_thread::get_id());

    // A stopped worker can be started again.
    const int before = task.Passes();
    EXPECT_EQ(worker.StartThread(), 0);
    ASSERT_TRUE(task.WaitForPasses(before + 1)) << "waited for a pass after the restart";
    worker.StopThread();
}

TEST(WorkerThreadTest, RunOnceTaskRunsExactlyOncePerResume) {
    Task task;
    CWorkerThread worker;
    task.pauseAfterPass = &worker;
    worker.SetThreadFunction(&Task::Run, &task);
    worker.StartThread();
    ASSERT_TRUE(task.WaitForPasses(1)) << "waited for the first pass";
    for (int i = 2; i <= 5; ++i) {
        // Idle while paused: the thread stays alive and sleeps between checks.
        EXPECT_EQ(task.Passes(), i - 1);
        worker.Resume();
        ASSERT_TRUE(task.WaitForPasses(i)) << "waited for pass " << i;
    }
    EXPECT_TRUE(worker.IsRunning());
    worker.StopThread();
    EXPECT_EQ(task.Passes(), 5);
}

TEST(WorkerThreadTest, StopWaitsForThePassUnderWayAndNoPassFollows) {
    struct Slow {
        std::atomic<int> started{0};
        std::atomic<int> finished{0};
        static int32_t Run(void* user) {
            if (user == nullptr) return 0;
            auto* self = static_cast<Slow*>(user);
            ++self->started;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ++self->finished;
            return 0;
        }
    } slow;
    CWorkerThread worker;
    worker.SetThreadFunction(&Slow::Run, &slow);
    worker.StartThread();
    while (slow.started.load() == 0) std::this_thread::yield();
    worker.StopThread();
    EXPECT_EQ(slow.started.load(), slow.finished.load()) << "a begun pass runs to its end";
    const int passes = slow.finished.load();
    EXPECT_EQ(slow.started.load(), passes);
}

TEST(WorkerThreadTest, ClearedFunctionAndNullUserDoNothing) {
    Task task;
    CWorkerThread worker;
    worker.SetThreadFunction(&Task::Run, nullptr);  // functions ignore a null pointer
    worker.StartThread();
    worker.SetThreadFunction(nullptr, nullptr);
    worker.StopThread();
    EXPECT_EQ(task.Passes(), 0);
}
