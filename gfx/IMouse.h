#pragma once

#include <cstdint>
#include <vector>

namespace plug::gfx {

// The modifier state travelling with every pointer event.
struct IMouseMod
{
  bool L = false;        // left button
  bool R = false;        // right button (on this platform also: nothing else counts as a right click)
  bool S = false;        // shift
  bool C = false;        // control
  bool A = false;        // alt
  uintptr_t touchID = 0; // 0 for the mouse
  float touchRadius = 0.f;

  IMouseMod() = default;
  IMouseMod(bool l, bool r = false, bool s = false, bool c = false, bool a = false, uintptr_t touch = 0)
    : L(l),
      R(r),
      S(s),
      C(c),
      A(a),
      touchID(touch)
  {
  }
};

// One pointer sample in user points, with the movement since the previous one.
struct IMouseInfo
{
  float x = 0.f;
  float y = 0.f;
  float dX = 0.f;
  float dY = 0.f;
  IMouseMod ms;
};

using IMouseInfoList = std::vector<IMouseInfo>;

// Pointer shapes.
enum class ECursor
{
  kArrow = 0,
  kIBeam = 1,
  kWait = 2, // busy, but clickable
  kCross = 3,
  kUpArrow = 4,
  kSizeNWSE = 5,
  kSizeNESW = 6,
  kSizeWE = 7,
  kSizeNS = 8,
  kSizeAll = 9, // move
  kNo = 10,     // operation not allowed
  kHand = 11,   // pointing hand
  kClosedHand = 12,
  kOpenHand = 13,
  kAppStarting = 14, // busy, but clickable
  kHelp = 15,
  kDragCopy = 16
};

enum class EDirection
{
  kVertical = 0,
  kHorizontal = 1
};

} // namespace plug::gfx
