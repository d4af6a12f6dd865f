#pragma once

// The pointer's side of the surface: which control a point reaches, which control holds each
// touch (the capture), which one the pointer is over, and the host gestures that bracket a user's
// edit. The surface owns one, over its control tree and its delegate, and hands it the pointer
// events that are not the corner resizer's drag.
//
// A press on a control captures its touch and, for every value bound to a parameter the host
// hears about, begins a host gesture; the capture's end (the release, a cancelled touch, a
// capture released or a control removed while pressed) ends the same gestures, so every begin
// has its end. A value the user gives a parameter without a press (the wheel, a double click's
// reset, a typed or picked value) is sent in a gesture of its own.
//
// Threads: the editor's thread only ([main]).

#include <cstdint>
#include <functional>
#include <unordered_map>

#include "gfx/IMouse.h"

namespace plug::gfx {

class IControl;
class IControlTree;
class ISurfaceEditorDelegate;

// Opens the context menu of a control pressed with the right button at (x, y); false when the
// control offers no items (no menu opens).
using IContextMenuFunc = std::function<bool(IControl& control, float x, float y)>;

class IInputCapture
{
public:
  IInputCapture(const IControlTree& controls, ISurfaceEditorDelegate& delegate, IContextMenuFunc openContextMenu);
  IInputCapture(const IInputCapture&) = delete;
  IInputCapture& operator=(const IInputCapture&) = delete;

  // --- Target search ---

  void EnableMouseOver(bool enable) { mEnableMouseOver = enable; }
  bool MouseOverEnabled() const { return mEnableMouseOver; }
  // The control a point reaches, first match winning: the control that captured the touch, an
  // open menu, a text entry in progress, the notice, the corner resizer, the performance display,
  // then the listed controls from the last down (down to index 1 for mouse-over: the background
  // never gets it) that are shown, take the mouse, are enabled or take the event while disabled,
  // and are hit. With capture, the control captures the touch (an existing capture stays). Null
  // when nothing is hit.
  IControl* GetMouseControl(float x, float y, bool capture, bool mouseOver = false, uintptr_t touchID = 0);

  // --- Pointer events ---

  // Each point goes to its target. A right press on a control bound to a parameter opens the
  // control's context menu, or, when it has none and takes typed values, reaches the control to
  // ask for one; either way no gesture begins and the rest of the list is left. Any other press
  // begins the control's host gestures, then reaches it.
  void OnMouseDown(const IMouseInfoList& points);
  // Each captured point reaches its control, then its capture and gestures end.
  void OnMouseUp(const IMouseInfoList& points);
  // Each captured point that moved reaches its control.
  void OnMouseDrag(const IMouseInfoList& points);
  void OnTouchCancelled(const IMouseInfoList& points);
  // A control that takes double clicks as clicks gets a press; another gets the double click and
  // loses the capture. The second press of a double click whose first press opened or closed a
  // menu goes nowhere. False when nothing is hit.
  bool OnMouseDblClick(float x, float y, const IMouseMod& mod);
  // The control under the pointer hears that it is; the one before it, that it no longer is.
  // False when nothing is under the pointer.
  bool OnMouseOver(float x, float y, const IMouseMod& mod);
  // Every control hears that the pointer left.
  void OnMouseOut();
  void OnMouseWheel(float x, float y, const IMouseMod& mod, float delta);
  void OnDrop(const char* str, float x, float y);

  // --- Capture and mouse-over ---

  bool ControlIsCaptured() const { return !mCaptures.empty(); }
  bool ControlIsCaptured(const IControl* control) const;
  // Forgets the whole capture. With informHost, each captured control hears that it lost the
  // capture (OnCaptureLost) and the host gestures that presses began for them end; without it
  // (the delegate or the surface is being destroyed) the capture is only dropped.
  void EndCaptures(bool informHost);
  IControl* GetMouseOver() const { return mMouseOver; }
  // The mouse-over control's index in the list; -1 when there is none or it is not listed.
  int GetMouseOverIdx() const;
  void ClearMouseOver() { mMouseOver = nullptr; }
  // Drops every reference to a control about to be removed: a capture it holds ends (with its
  // gestures), and it is no longer the mouse-over control.
  void Forget(const IControl* control);
  // Where the last single-point press was (-1, -1 before any): the corner resizer scales from it.
  void GetMouseDownPoint(float& x, float& y) const
  {
    x = mMouseDownX;
    y = mMouseDownY;
  }

  // --- Host gestures ---

  // A value the user gave a parameter goes to the delegate inside a host gesture: the one a press
  // began for the parameter, or else a begin and an end of its own around it (none for a
  // host-private parameter).
  void SendParameterValueFromUI(int paramIdx, double normalizedValue);

private:
  struct Capture
  {
    IControl* control = nullptr;
    bool gestureBegun = false; // a press told the host that a gesture began
  };

  void DispatchMouseDown(const IMouseInfoList& points);
  int GetMouseControlIdx(float x, float y, bool mouseOver) const;
  bool MenuExpanded() const;
  // Calls func with every parameter of the control's values that the host hears about (bound,
  // not host-private).
  template <typename Func>
  void ForHostGestureParams(const IControl& control, Func&& func) const;
  // A press began a host gesture that is still open for the parameter.
  bool GestureOpenFor(int paramIdx) const;
  // Forgets one touch's capture, ending the gesture its press began.
  void EndCapture(uintptr_t touchID);

  const IControlTree& mControls;
  ISurfaceEditorDelegate& mDelegate;
  IContextMenuFunc mOpenContextMenu;

  std::unordered_map<uintptr_t, Capture> mCaptures;
  IControl* mMouseOver = nullptr;
  float mMouseDownX = -1.f;
  float mMouseDownY = -1.f;
  bool mEnableMouseOver = false;
  // Never set on this platform (no touch screens): one control holds any number of touches.
  bool mEnableMultiTouch = false;
  // The last press opened or closed a menu: the second press of a double click belongs to it.
  bool mPressToggledMenu = false;
};

} // namespace plug::gfx
