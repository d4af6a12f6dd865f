#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "plug/core/IParam.h"

// The audio thread reads a parameter while other threads store it: every read must give one of
// the stored values, never a mixture, and no data race may be reported.
TEST(IParamThreads, ValuesAreNeverTorn)
{
  plug::IParam param;
  param.InitDouble("Decay", 0.1, 0.1, 100.0, 0.1, "s", 0, "", plug::IParam::ShapeExp());
  constexpr double kA = 0.1;
  constexpr double kB = 100.0;

  std::atomic<bool> done{false};
  std::thread host([&] {
    for (int i = 0; i < 200000; ++i)
      param.SetValue(i % 2 ? kA : kB);
  });
  std::thread ui([&] {
    for (int i = 0; i < 200000; ++i)
      param.SetNormalizedValue(i % 2 ? 0.0 : 1.0);
  });

  int wrong = 0;
  std::thread audio([&] {
    while (!done.load())
    {
      const double v = param.GetValue();
      if (!(v == kA || v == kB || std::abs(v - kA) < 1e-12 || std::abs(v - kB) < 1e-9))
        ++wrong;
    }
  });

  host.join();
  ui.join();
  done = true;
  audio.join();
  EXPECT_EQ(wrong, 0);
}
