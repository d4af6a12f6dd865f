#pragma once

#include <array>
#include <string>

#include "gfx/IControl.h"

namespace plug::gfx {

// The performance display: the last 100 frame times as a graph with the latest reading; a click
// cycles through frame rate, frame time and the graph alone. Always dirty, so it redraws every
// frame.
class IFPSDisplayControl : public IControl
{
public:
  enum class EStyle
  {
    kFPS,
    kMilliseconds,
    kGraphOnly
  };
  static constexpr int kNumFrames = 100;

  IFPSDisplayControl(const IRECT& bounds, const char* caption = "Frame Time");

  void Draw(ISurface& g) override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  bool IsDirty() override { return true; }

  // [main] Records the time one frame took, in seconds, at the next place of the ring.
  void Update(float frameSeconds);
  EStyle GetStyle() const { return mStyle; }
  // The most recent frame time in seconds (0 before the first).
  float GetLatest() const;

private:
  std::array<float, kNumFrames> mFrameTimes{};
  int mNext = 0;
  int mCount = 0;
  EStyle mStyle = EStyle::kFPS;
  std::string mCaption;
};

} // namespace plug::gfx
