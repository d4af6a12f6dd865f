#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "plug/core/Timer.h"

using namespace plug;

namespace {

std::atomic<int64_t> gFakeNowMs{1000};
int64_t FakeClock()
{
  return gFakeNowMs.load();
}

// Runs each test on a clock that only moves when the test moves it.
class TimerTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    gFakeNowMs = 1000;
    RunLoop::SetClock(&FakeClock);
  }
  void TearDown() override
  {
    RunLoop::SetClock(nullptr);
    EXPECT_EQ(RunLoop::NumRunningTimers(), 0) << "a test left a timer running";
  }
  static void Advance(int64_t ms) { gFakeNowMs += ms; }
};

} // namespace

TEST_F(TimerTest, FiresAtTheNextPumpThenOncePerElapsedPeriod)
{
  int fired = 0;
  Timer* seen = nullptr;
  auto timer = Timer::Create(
      [&](Timer& t) {
        ++fired;
        seen = &t;
      },
      20);
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->IsRunning());
  EXPECT_EQ(timer->GetPeriodMs(), 20u);
  EXPECT_EQ(fired, 0) << "creation alone must not fire";

  EXPECT_EQ(RunLoop::Pump(), 1);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(seen, timer.get()) << "the callback receives the timer itself";

  RunLoop::Pump();
  Advance(19);
  RunLoop::Pump();
  EXPECT_EQ(fired, 1) << "fired before its period elapsed";
  Advance(1);
  RunLoop::Pump();
  EXPECT_EQ(fired, 2);

  // A late pump fires once; the missed periods are skipped, and the period restarts from then.
  Advance(105);
  RunLoop::Pump();
  EXPECT_EQ(fired, 3);
  RunLoop::Pump();
  EXPECT_EQ(fired, 3);
  Advance(20);
  RunLoop::Pump();
  EXPECT_EQ(fired, 4);

  EXPECT_EQ(Timer::Create(nullptr, 20), nullptr);
}

TEST_F(TimerTest, StopIsIdempotentAndDestructionReleasesTheCallback)
{
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> watch = token;
  int fired = 0;
  auto timer = Timer::Create([&fired, token](Timer&) { ++fired; }, 10);
  token.reset();
  EXPECT_EQ(RunLoop::NumRunningTimers(), 1);

  timer->Stop();
  timer->Stop();
  EXPECT_FALSE(timer->IsRunning());
  EXPECT_TRUE(watch.expired()) << "a stopped timer keeps its callback alive";
  Advance(100);
  RunLoop::Pump();
  EXPECT_EQ(fired, 0);

  auto token2 = std::make_shared<int>(0);
  std::weak_ptr<int> watch2 = token2;
  auto second = Timer::Create([token2](Timer&) {}, 10);
  token2.reset();
  second.reset();
  EXPECT_TRUE(watch2.expired());
  timer.reset();
  EXPECT_EQ(RunLoop::NumRunningTimers(), 0);
}

TEST_F(TimerTest, CallbackMayStopOrDestroyItselfAndCreateOthersDuringAPump)
{
  // Stops itself at its first firing (the deferred-action pattern).
  int oneShotFired = 0;
  auto oneShot = Timer::Create(
      [&](Timer& t) {
        ++oneShotFired;
        t.Stop();
        t.Stop();
      },
      1);

  // Destroys itself; its captures must stay valid until it returns, then be released.
  auto token = std::make_shared<int>(42);
  std::weak_ptr<int> watch = token;
  std::unique_ptr<Timer> selfDestroying;
  int seenValue = 0;
  selfDestroying = Timer::Create(
      [&selfDestroying, &seenValue, token](Timer&) {
        selfDestroying.reset();
        seenValue = *token; // captures still alive after the timer object is gone
      },
      1);
  token.reset();

  // Creates a new timer and destroys one that is due later in the same pump.
  std::vector<std::unique_ptr<Timer>> created;
  int createdFired = 0;
  int victimFired = 0;
  std::unique_ptr<Timer> victim;
  auto creator = Timer::Create(
      [&](Timer&) {
        created.push_back(Timer::Create([&](Timer&) { ++createdFired; }, 1));
        victim.reset();
      },
      1000);
  victim = Timer::Create([&](Timer&) { ++victimFired; }, 1);

  EXPECT_EQ(RunLoop::Pump(), 3);
  EXPECT_EQ(oneShotFired, 1);
  EXPECT_EQ(selfDestroying, nullptr);
  EXPECT_EQ(seenValue, 42);
  EXPECT_TRUE(watch.expired()) << "self-destroyed timer's callback not released after it returned";
  EXPECT_EQ(victimFired, 0) << "a timer destroyed earlier in the pump still fired";
  EXPECT_EQ(createdFired, 0) << "a timer created during a pump fires at the next pump";
  ASSERT_EQ(created.size(), 1u);

  Advance(1);
  RunLoop::Pump();
  EXPECT_EQ(oneShotFired, 1);
  EXPECT_EQ(createdFired, 1);
  EXPECT_EQ(created.size(), 1u) << "creator fired again before its period";

  oneShot.reset();
  creator.reset();
  created.clear();
}

TEST_F(TimerTest, NestedPumpDoesNotReenterTheFiringTimer)
{
  int outer = 0;
  int inner = 0;
  auto other = Timer::Create([&](Timer&) { ++inner; }, 1);
  auto timer = Timer::Create(
      [&](Timer&) {
        ++outer;
        RunLoop::Pump();
      },
      0);
  RunLoop::Pump();
  EXPECT_EQ(outer, 1);
  EXPECT_EQ(inner, 1); // fired once, by whichever pump reached it first
}

TEST_F(TimerTest, TimersMayBeCreatedAndStoppedFromAnotherThread)
{
  std::unique_ptr<Timer> fromThread;
  std::atomic<int> fired{0};
  std::thread([&] { fromThread = Timer::Create([&](Timer&) { ++fired; }, 5); }).join();
  RunLoop::Pump();
  EXPECT_EQ(fired.load(), 1);

  // A Stop from another thread returns only after a running callback has finished.
  std::atomic<bool> entered{false};
  std::atomic<bool> finished{false};
  std::atomic<bool> finishedWhenStopReturned{false};
  auto slow = Timer::Create(
      [&](Timer&) {
        entered = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        finished = true;
      },
      5);
  std::thread stopper([&] {
    while (!entered)
      std::this_thread::yield();
    slow->Stop();
    finishedWhenStopReturned = finished.load();
  });
  RunLoop::Pump();
  stopper.join();
  EXPECT_TRUE(finishedWhenStopReturned.load());
  EXPECT_FALSE(slow->IsRunning());

  // While the main thread pumps, a pump from another thread fires nothing.
  std::atomic<int> otherPumpResult{-1};
  auto probe = Timer::Create([&](Timer&) { std::thread([&] { otherPumpResult = RunLoop::Pump(); }).join(); }, 5);
  Advance(10);
  RunLoop::Pump();
  EXPECT_EQ(otherPumpResult.load(), 0);
  fromThread.reset();
  probe.reset();
}

TEST(TimerRealClock, FiresAgainAfterItsPeriodHasPassed)
{
  int fired = 0;
  auto timer = Timer::Create([&](Timer&) { ++fired; }, 20);
  RunLoop::Pump();
  EXPECT_EQ(fired, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(45));
  RunLoop::Pump();
  EXPECT_EQ(fired, 2);
}
