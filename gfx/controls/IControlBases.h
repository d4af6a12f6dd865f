#pragma once

// Mouse behaviour shared by families of controls; each leaves Draw to the concrete control.
//   IKnobControlBase   relative drag (and wheel) along one direction, with gearing
//   ISliderControlBase the value jumps to the pointer on the track, then follows the drag
//   ISwitchControlBase each click steps to the next of its states, wrapping
//   IButtonControlBase a click sets 1 and runs the action, the end of its animation sets 0

#include "gfx/IControl.h"

namespace plug::gfx {

// Control or shift held: movements count a tenth.
inline bool IsFineControl(const IMouseMod& mod)
{
  return mod.C || mod.S;
}

class IKnobControlBase : public IControl
{
public:
  IKnobControlBase(const IRECT& bounds, int paramIdx = -1, EDirection direction = EDirection::kVertical,
                   double gearing = 4.0);

  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const IMouseMod& mod) override;
  // A drag whose capture is taken away ends as a release ends it: the pointer shows again.
  void OnCaptureLost() override;
  // Moving over the whole drag bounds at gearing 1 covers the whole range; up (or right) raises.
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod) override;
  void OnMouseWheel(float x, float y, const IMouseMod& mod, float delta) override;

  void SetGearing(double gearing) { mGearing = gearing; }
  double GetGearing() const { return mGearing; }
  void SetHideCursorOnDrag(bool hide) { mHideCursorOnDrag = hide; }
  bool IsMouseDown() const { return mMouseDown; }

protected:
  virtual IRECT GetKnobDragBounds() { return mTargetRECT; }

  bool mHideCursorOnDrag = true;
  EDirection mDirection;
  double mGearing;
  bool mMouseDown = false;
};

class ISliderControlBase : public IControl
{
public:
  ISliderControlBase(const IRECT& bounds, int paramIdx = -1, EDirection direction = EDirection::kVertical,
                     double gearing = 1.0, float handleSize = 0.f);

  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const IMouseMod& mod) override;
  // As the knob's.
  void OnCaptureLost() override;
  // A touch follows the finger; the mouse moves the value relatively over the track.
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod) override;
  void OnMouseWheel(float x, float y, const IMouseMod& mod, float delta) override;

  // The concrete slider sets the track (in OnResize) where its handle runs.
  void SetTrack(const IRECT& track) { mTrack = track; }
  const IRECT& GetTrack() const { return mTrack; }
  void SetHideCursorOnDrag(bool hide) { mHideCursorOnDrag = hide; }
  bool IsMouseDown() const { return mMouseDown; }

protected:
  bool mHideCursorOnDrag = true;
  EDirection mDirection;
  IRECT mTrack;
  float mHandleSize;
  double mGearing;
  bool mMouseDown = false;
};

class ISwitchControlBase : public IControl
{
public:
  ISwitchControlBase(const IRECT& bounds, int paramIdx = -1, IActionFunction actionFunc = nullptr, int numStates = 2);

  // With a parameter, one state per whole number in its range.
  void OnInit() override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const IMouseMod& mod) override;

  int GetNumStates() const { return mNumStates; }
  bool IsMouseDown() const { return mMouseDown; }

protected:
  int mNumStates;
  bool mMouseDown = false;
};

class IButtonControlBase : public IControl
{
public:
  explicit IButtonControlBase(const IRECT& bounds, IActionFunction actionFunc = DefaultClickActionFunc);

  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnEndAnimation() override;
};

} // namespace plug::gfx
