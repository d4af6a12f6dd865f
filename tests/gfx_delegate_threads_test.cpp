#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/support/GfxTestSurface.h"

using namespace gfxtest;

// The host sets values on its own thread while the editor's thread runs frames: the controls only
// ever move forward through the host's values and end with the last one.
TEST(ISurfaceEditorDelegateThreads, HostValuesFromAnotherThreadReachTheControlsInOrder)
{
  TestEditor e;
  TestControl* rising = e.Attach({10, 10, 50, 50}, 0);
  TestControl* falling = e.Attach({60, 10, 100, 50}, 1);
  falling->SetValue(1.0);
  constexpr int kSteps = 20000;
  std::atomic<bool> started{false}, done{false};
  std::thread host([&] {
    while (!started)
      std::this_thread::yield();
    for (int i = 1; i <= kSteps; ++i)
    {
      e.delegate.SendParameterValueFromDelegate(0, double(i) / kSteps, true);
      e.delegate.SendParameterValueFromDelegate(1, e.delegate.GetParam(1)->NormToValue(1.0 - double(i) / kSteps),
                                                false);
    }
    done = true;
  });
  IRECTList rects;
  double lastRising = 0.0, lastFalling = 1.0;
  started = true;
  do
  {
    rects.Clear();
    e.ui.IsDirty(rects);
    e.ui.SetAllControlsClean();
    EXPECT_GE(rising->GetValue(), lastRising);
    EXPECT_LE(falling->GetValue(), lastFalling + 1e-12);
    lastRising = rising->GetValue();
    lastFalling = falling->GetValue();
  } while (!done);
  host.join();
  // The last frame may have run before or after the host's last value: one more applies whatever
  // is still pending.
  rects.Clear();
  e.ui.IsDirty(rects);
  EXPECT_EQ(rising->GetValue(), 1.0);
  EXPECT_NEAR(falling->GetValue(), 0.0, 1e-12);
}
