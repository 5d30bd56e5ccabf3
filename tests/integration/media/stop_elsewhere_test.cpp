// SPDX-License-Identifier: GPL-3.0-or-later
// A client may stop and release channels on a thread of its own while its UI thread goes on with the
// others (makes channels of the same devices, plays them, closes their statistics periods): the desktop
// client does so, so that no stop holds its window. Never two threads on one channel, and a camera is made
// again only after its stop has ended. Run under ThreadSanitizer (the tsan preset) a data race between
// the two threads fails it.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "media_harness.h"

namespace corvel::test {
namespace {

// The client's stopping thread, reduced: it stops and releases what it is handed, in order.
class StopThread {
  public:
    StopThread()
        : thread_([this] {
              std::unique_lock lock(mutex_);
              for (;;) {
                  wake_.wait(lock, [this] { return done_ || !queue_.empty(); });
                  if (queue_.empty()) return;
                  AppChannel* channel = queue_.front();
                  queue_.pop_front();
                  lock.unlock();
                  VelqChn_RecordStop(channel);
                  VelqChn_VideoStop(channel);
                  VelqChn_Release(channel);
                  released_.fetch_add(1);
                  lock.lock();
              }
          }) {}
    ~StopThread() { Join(); }
    void Hand(AppChannel* channel) {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(channel);
        }
        wake_.notify_one();
    }
    void Join() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
    }
    int released() const { return released_.load(); }

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<AppChannel*> queue_;
    bool done_ = false;
    std::atomic<int> released_{0};
    std::thread thread_;  // last: starts after the members it reads
};

class StopElsewhere : public MediaHarness {};

TEST_F(StopElsewhere, ReleasesOnASecondThreadWhileTheFirstMakesPlaysAndTimesOthers) {
    StartPlatform();
    LoginAndList();
    AppDevice* devices[2] = {Device("MDVR-10001"), Device("MDVR-10002")};
    ASSERT_NE(devices[0], nullptr);
    ASSERT_NE(devices[1], nullptr);
    constexpr int kRounds = 12;
    constexpr size_t kLive = 3;  // a camera comes round again 8 rounds later, long after its stop
    StopThread stopper;
    std::vector<AppChannel*> live;
    for (int round = 0; round < kRounds; ++round) {
        AppChannel* channel = VelqDev_CreateChannel(devices[round / 4 % 2], round % 4 + 1, &display_);
        ASSERT_NE(channel, nullptr);
        VelqChn_SetBufKeep(channel, 0);
        ASSERT_EQ(VelqChn_VideoPlay(channel), 1);
        live.push_back(channel);
        // The oldest goes to the stopping thread while this one plays and times the rest.
        if (live.size() > kLive) {
            stopper.Hand(live.front());
            live.erase(live.begin());
        }
        const int presented = display_.presented();
        ASSERT_TRUE(WaitUntil([&] {
            for (AppChannel* c : live) {
                VelqChn_OnTimer(c);
                intptr_t frames = 0;
                VelqChn_GetChnInfo(c, VELQ_CHN_FRAMES, &frames);
            }
            return display_.presented() >= presented + 10;
        })) << "round "
            << round;
    }
    for (AppChannel* channel : live) stopper.Hand(channel);
    stopper.Join();
    EXPECT_EQ(stopper.released(), kRounds);
    for (AppDevice* device : devices) {
        std::lock_guard guard(device->channels_lock);
        EXPECT_TRUE(device->channels.empty());
    }
}

}  // namespace
}  // namespace corvel::test
