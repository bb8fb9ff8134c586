#include "Threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The walk's wait for a worker must come back when its time is up even though nobody wakes it
// (it then redraws and looks for Esc), and at once when the worker is done.
TEST(SlimConditionTest, TimedWaitEndsAtItsTimeOrWhenTheConditionHolds) {
  TSlimLock Lock;
  TSlimCondition Changed;
  bool Ready = false;
  {
    std::unique_lock<TSlimLock> Guard(Lock);
    const ULONGLONG Before = ::GetTickCount64();
    EXPECT_FALSE(Changed.wait_for(Guard, 60ms, [&] { return Ready; }));
    EXPECT_GE(::GetTickCount64() - Before + 16, 60u) << "woke before its time with nothing done";
    EXPECT_TRUE(Guard.owns_lock());
  }
  std::thread Worker([&] {
    std::this_thread::sleep_for(20ms);
    {
      std::lock_guard<TSlimLock> Guard(Lock);
      Ready = true;
    }
    Changed.notify_all();
  });
  {
    std::unique_lock<TSlimLock> Guard(Lock);
    // Far longer than the worker takes: only the wake-up can end it in time for the test.
    EXPECT_TRUE(Changed.wait_for(Guard, 60s, [&] { return Ready; }));
  }
  Worker.join();
  // A condition that already holds is never waited for.
  std::unique_lock<TSlimLock> Guard(Lock);
  EXPECT_TRUE(Changed.wait_for(Guard, 0ms, [&] { return Ready; }));
}

TEST(SlimLockTest, KeepsEveryIncrementOfSeveralThreads) {
  TSlimLock Lock;
  TSlimCondition Changed;
  long Count = 0;
  int Finished = 0;
  constexpr int Threads = 4, Rounds = 20000;
  std::vector<std::thread> Workers;
  for (int I = 0; I < Threads; ++I)
    Workers.emplace_back([&] {
      for (int Round = 0; Round < Rounds; ++Round) {
        std::lock_guard<TSlimLock> Guard(Lock);
        ++Count;
      }
      {
        std::lock_guard<TSlimLock> Guard(Lock);
        ++Finished;
      }
      Changed.notify_one();
    });
  {
    std::unique_lock<TSlimLock> Guard(Lock);
    Changed.wait(Guard, [&] { return Finished == Threads; });
    EXPECT_EQ(long(Threads) * Rounds, Count);
  }
  for (std::thread &Worker : Workers)
    Worker.join();
}

} // namespace
