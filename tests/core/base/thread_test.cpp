// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/thread.h"

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "base/event.h"
#include "base/locks.h"
#include "base/tick.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;

class CountingWorker : public CMyThread {
  public:
    ~CountingWorker() override {
        Stop(kStopTimeoutMs);
        WaitForExit();
    }
    int Run() override {
        while (running()) {
            loops.fetch_add(1);
            SleepWhileRunning(5);
        }
        return 0;
    }
    std::atomic<int> loops{0};
};

TEST(CMyThread, StartRunsUntilStopAndCanStartAgain) {
    CountingWorker worker;
    EXPECT_FALSE(worker.HasThread());
    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(worker.HasThread());
    EXPECT_FALSE(worker.Start());  // one thread per object
    while (worker.loops.load() < 3) std::this_thread::sleep_for(1ms);
    worker.Stop(kStopTimeoutMs);
    EXPECT_FALSE(worker.HasThread());
    const int after_stop = worker.loops.load();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(worker.loops.load(), after_stop);
    ASSERT_TRUE(worker.Start());
    worker.Stop(kStopTimeoutMs);
}

// Reads the name its own thread carries, as `top -H` and gdb show it.
class NamedWorker : public CMyThread {
  public:
    ~NamedWorker() override {
        Stop(kStopTimeoutMs);
        WaitForExit();
    }
    int Run() override {
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        seen = name;
        done.Set();
        return 0;
    }
    const char* ThreadName() const override { return "corvel-named"; }
    std::string seen;
    Event done;
};

TEST(CMyThread, WorkersCarryTheirName) {
    NamedWorker worker;
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.done.Wait(kStopTimeoutMs));
    worker.Stop(kStopTimeoutMs);
    EXPECT_EQ(worker.seen, "corvel-named");
}

// A worker that ignores the stop request until the test lets it go.
class StubbornWorker : public CMyThread {
  public:
    explicit StubbornWorker(Event& release) : release_(release) {}
    ~StubbornWorker() override {
        Stop(0);
        WaitForExit();
    }
    int Run() override {
        release_.Wait();
        touched.store(true);  // the object is still alive here: the owner waits for this
        return 0;
    }
    std::atomic<bool> touched{false};

  private:
    Event& release_;
};

TEST(CMyThread, AbandonedWorkerIsNeitherRevivedNorOutlivedByItsObject) {
    Event release;
    auto worker = std::make_unique<StubbornWorker>(release);
    ASSERT_TRUE(worker->Start());
    const auto start = std::chrono::steady_clock::now();
    worker->Stop(50);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_FALSE(worker->HasThread());
    // Still inside Run: a new start would put two workers on one object.
    EXPECT_FALSE(worker->Start());
    EXPECT_FALSE(worker->running());
    std::thread releaser([&] {
        std::this_thread::sleep_for(50ms);
        release.Set();
    });
    worker.reset();  // waits for the abandoned worker to leave Run before the memory goes
    releaser.join();
}

TEST(CMyThread, SleepWhileRunningEndsSoonAfterStop) {
    class Sleeper : public CMyThread {
      public:
        ~Sleeper() override {
            Stop(kStopTimeoutMs);
            WaitForExit();
        }
        int Run() override {
            SleepWhileRunning(60000);
            return 0;
        }
    } sleeper;
    ASSERT_TRUE(sleeper.Start());
    std::this_thread::sleep_for(20ms);
    const auto start = std::chrono::steady_clock::now();
    sleeper.Stop(kStopTimeoutMs);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
}

TEST(Tick, WrapsLikeA32BitCounter) {
    EXPECT_EQ(TickDiff(5u, 0xFFFFFFFBu), 10);
    EXPECT_EQ(TickDiff(0xFFFFFFFBu, 5u), -10);
    const uint32_t a = TickCount32();
    std::this_thread::sleep_for(20ms);
    EXPECT_GE(TickDiff(TickCount32(), a), 15);
}

TEST(Event, AutoResetsAndTimesOut) {
    Event event;
    EXPECT_FALSE(event.Wait(10));
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));  // the first wait consumed the signal
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        event.Set();
    });
    EXPECT_TRUE(event.Wait(5000));
    setter.join();
}

TEST(SpinLock, LongHoldMakesTheWaiterSleepInsteadOfSpinning) {
    spin_lock lock;
    lock.lock();
    std::atomic<bool> got{false};
    std::thread waiter([&] {
        lock.lock();
        got = true;
        lock.unlock();
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(got.load());
    lock.unlock();
    waiter.join();
    EXPECT_TRUE(got.load());
    // After 64 spins the waiter sleeps 1 ms per attempt: at most about 200 sleeps in 200 ms (fewer on a
    // loaded machine), far fewer than the millions of attempts a pure spin would make.
    EXPECT_GT(lock.long_waits(), 0u);
    EXPECT_LT(lock.long_waits(), 1000u);
}

TEST(SpinLock, ExcludesUnderContention) {
    spin_lock lock;
    int64_t counter = 0;
    auto add = [&] {
        for (int i = 0; i < 100000; ++i) {
            std::lock_guard guard(lock);
            ++counter;
        }
    };
    std::thread a(add), b(add);
    a.join();
    b.join();
    EXPECT_EQ(counter, 200000);
}

TEST(LongLock, SecondLockerWaitsForTheFirst) {
    long_lock lock;
    lock.lock();
    std::atomic<bool> entered{false};
    std::thread second([&] {
        lock.lock();
        entered = true;
        lock.unlock();
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(entered.load());
    lock.unlock();
    second.join();
    EXPECT_TRUE(entered.load());
    // Free again: an uncontended lock does not wait.
    lock.lock();
    lock.unlock();
}

}  // namespace
}  // namespace corvel
