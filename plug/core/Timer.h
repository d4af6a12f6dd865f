#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace plug {

class Timer;
struct TimerRecord;

using ITimerFunction = std::function<void(Timer&)>;

// The main thread's run loop for timers. Nothing runs by itself: due timers fire only when the
// main thread pumps the loop (from the host's idle calls and the editor's event handling; tests pump
// it themselves).
class RunLoop
{
public:
  // Milliseconds on a monotonic clock with any origin.
  using ClockFunction = int64_t (*)();

  // [main] Fires, in creation order, every running timer that was due when the pump began;
  // timers created during the pump wait for the next one. A nested call from inside a callback is
  // allowed (it skips the timer that is firing). A call from another thread while the main thread
  // is pumping fires nothing. Returns the number of callbacks run.
  static int Pump();

  // [any] For tests: replaces the clock (nullptr restores the steady clock).
  static void SetClock(ClockFunction clock);

  // [any] The number of running timers.
  static int NumRunningTimers();

  static int64_t NowMs(); // any thread: the run loop's clock
};

// A periodic callback on the main thread's run loop. It fires first at the next pump after its
// creation, then whenever a pump finds its period elapsed since the last firing (missed periods are
// not made up in bursts).
class Timer
{
public:
  // [any] A new running timer owned by the caller; nullptr without a callback.
  static std::unique_ptr<Timer> Create(ITimerFunction callback, uint32_t periodMs);

  // [any] Stops the timer (see Stop) and releases the callback.
  ~Timer();

  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // [any] Stopping twice is harmless. When it returns, the timer will not fire again and its
  // callback is not running on another thread (a Stop from another thread waits for a running
  // callback to finish). The callback is released at once, or, when called from inside the
  // callback itself, as soon as the callback returns.
  void Stop();

  bool IsRunning() const;                            // [any]
  uint32_t GetPeriodMs() const { return mPeriodMs; } // [any]

private:
  Timer(ITimerFunction callback, uint32_t periodMs);

  const uint32_t mPeriodMs;
  std::shared_ptr<TimerRecord> mRecord;
};

} // namespace plug
