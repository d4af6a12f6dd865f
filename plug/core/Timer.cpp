#include "plug/core/Timer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace plug {

// What the run loop knows of one timer. Shared between the Timer and any pump that is about to
// fire it, so a timer destroyed by its own callback leaves the pump nothing dangling.
// Every field is guarded by the run loop's mutex, except the callback while firing is true: then
// only the pumping thread touches it.
struct TimerRecord
{
  ITimerFunction callback;
  Timer* owner = nullptr;
  int64_t periodMs = 0;
  int64_t nextDueMs = 0;
  bool running = true;
  bool firing = false;
};

namespace {

struct RunLoopState
{
  std::mutex mutex;
  std::condition_variable callbackFinished;
  std::vector<std::shared_ptr<TimerRecord>> runningTimers; // in creation order
  std::thread::id pumpingThread;                           // valid while pumpDepth > 0
  int pumpDepth = 0;
  std::atomic<RunLoop::ClockFunction> clock{nullptr};
};

// Never destroyed, so timers that outlive static destruction still find it.
RunLoopState& State()
{
  static RunLoopState* state = new RunLoopState;
  return *state;
}

int64_t SteadyClockMs()
{
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The next due time after a firing that was due at dueMs and happened at nowMs. Periods missed
// because the loop was not pumped are skipped rather than fired in a burst.
int64_t NextDueTime(int64_t dueMs, int64_t nowMs, int64_t periodMs)
{
  const int64_t next = dueMs + periodMs;
  return next > nowMs ? next : nowMs + periodMs;
}

bool FireTimer(TimerRecord& record, int64_t nowMs)
{
  RunLoopState& state = State();
  Timer* owner = nullptr;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!record.running || record.firing)
      return false;
    record.firing = true;
    record.nextDueMs = NextDueTime(record.nextDueMs, nowMs, record.periodMs);
    owner = record.owner;
  }

  record.callback(*owner);

  ITimerFunction released; // destroyed after the lock is dropped: its captures may use timers too
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    record.firing = false;
    if (!record.running)
      released.swap(record.callback);
  }
  state.callbackFinished.notify_all();
  return true;
}

} // namespace

int RunLoop::Pump()
{
  RunLoopState& state = State();
  std::vector<std::shared_ptr<TimerRecord>> due;
  int64_t nowMs = 0;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    const std::thread::id self = std::this_thread::get_id();
    if (state.pumpDepth > 0 && state.pumpingThread != self)
      return 0;
    state.pumpingThread = self;
    ++state.pumpDepth;
    nowMs = NowMs();
    for (const auto& record : state.runningTimers)
    {
      if (!record->firing && record->nextDueMs <= nowMs)
        due.push_back(record);
    }
  }

  int fired = 0;
  for (const auto& record : due)
  {
    if (FireTimer(*record, nowMs))
      ++fired;
  }

  std::lock_guard<std::mutex> lock(state.mutex);
  if (--state.pumpDepth == 0)
    state.pumpingThread = std::thread::id();
  return fired;
}

void RunLoop::SetClock(ClockFunction clock)
{
  State().clock.store(clock);
}

int RunLoop::NumRunningTimers()
{
  RunLoopState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return static_cast<int>(state.runningTimers.size());
}

int64_t RunLoop::NowMs()
{
  const ClockFunction clock = State().clock.load();
  return clock ? clock() : SteadyClockMs();
}

std::unique_ptr<Timer> Timer::Create(ITimerFunction callback, uint32_t periodMs)
{
  if (!callback)
    return nullptr;
  return std::unique_ptr<Timer>(new Timer(std::move(callback), periodMs));
}

Timer::Timer(ITimerFunction callback, uint32_t periodMs)
  : mPeriodMs(periodMs),
    mRecord(std::make_shared<TimerRecord>())
{
  mRecord->callback = std::move(callback);
  mRecord->owner = this;
  mRecord->periodMs = periodMs;

  RunLoopState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  mRecord->nextDueMs = RunLoop::NowMs(); // due at once: the next pump fires it
  state.runningTimers.push_back(mRecord);
}

Timer::~Timer()
{
  Stop();
  RunLoopState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  mRecord->owner = nullptr;
}

void Timer::Stop()
{
  RunLoopState& state = State();
  ITimerFunction released; // destroyed after the lock is dropped
  {
    std::unique_lock<std::mutex> lock(state.mutex);
    TimerRecord& record = *mRecord;
    if (record.running)
    {
      record.running = false;
      auto& timers = state.runningTimers;
      timers.erase(std::remove(timers.begin(), timers.end(), mRecord), timers.end());
    }
    // From inside its own callback (or a pump nested in it) the callback is released by the pump
    // once it returns; from any other thread wait until the pump is done with it.
    const bool onPumpingThread = state.pumpDepth > 0 && state.pumpingThread == std::this_thread::get_id();
    if (record.firing && !onPumpingThread)
      state.callbackFinished.wait(lock, [&record] { return !record.firing; });
    if (!record.firing)
      released.swap(record.callback);
  }
}

bool Timer::IsRunning() const
{
  RunLoopState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return mRecord->running;
}

} // namespace plug
