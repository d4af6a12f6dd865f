#pragma once

// The effect's rotary knob: from top to bottom inside its rectangle a caption, a round body with a
// value arc and a pointer, and the parameter's value with its unit.
//
// Gestures: a vertical (or horizontal) drag over the knob, geared so that the control's full
// height moves a quarter of the range (a fortieth with Shift or Control); the wheel; a double click
// back to the default; a press on the value text, or a right press anywhere on the knob, opens a
// text field for a typed value. The body and its drop shadow are drawn once into a cached layer.
// Threads: [main] throughout.

#include <string>

#include "effect/TControl.h"
#include "gfx/IBitmap.h"

namespace quillon {

class TKnob : public TControl
{
public:
  // anchorAngle: where the value arc starts, in degrees clockwise from straight up (-135 for
  // parameters that grow from their minimum, 0 for a bipolar one).
  TKnob(const plug::gfx::IRECT& bounds, int paramIdx, const char* label, float anchorAngle);

  void OnMouseDown(float x, float y, const plug::gfx::IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const plug::gfx::IMouseMod& mod) override;
  void OnMouseDrag(float x, float y, float dX, float dY, const plug::gfx::IMouseMod& mod) override;
  void OnMouseDblClick(float x, float y, const plug::gfx::IMouseMod& mod) override;
  void OnCaptureLost() override;
  void OnMouseWheel(float x, float y, const plug::gfx::IMouseMod& mod, float delta) override;
  void OnMouseOver(float x, float y, const plug::gfx::IMouseMod& mod) override;
  void OnMouseOut() override;
  void OnResize() override;
  void OnInit() override;
  void OnAttached() override;
  void Draw(plug::gfx::ISurface& g) override;
  void SetDisabled(bool disable) override;
  void SetDirty(bool triggerAction = true, int valIdx = -1) override;

  // Lays the caption, knob and value rectangles out in bounds; returns the hit area (the bounds
  // below the caption).
  plug::gfx::IRECT MakeRects(const plug::gfx::IRECT& bounds, bool inset);
  static bool IsFineControl(const plug::gfx::IMouseMod& mod, bool wheel);
  // The bound parameter's normalised value, read from the parameter itself.
  double ForceGetValue() const;
  float GetRadius() const;

  const plug::gfx::IRECT& GetKnobRect() const { return mKnobRect; }
  const plug::gfx::IRECT& GetLabelRect() const { return mLabelRect; }
  const plug::gfx::IRECT& GetValueRect() const { return mValueRect; }
  const std::string& GetValueStr() const { return mValueStr; }
  bool IsTextEditing() const { return mTextEditing; }
  void SetGearing(double gearing) { mGearing = gearing; }

protected:
  // Draws the cached body (made when missing or stale) for an arc of radius a.
  virtual void DrawBG(plug::gfx::ISurface& g, float a);
  void DrawBGLayer(plug::gfx::ISurface& g, float a);
  void RefreshValueStr();
  void EndDrag();
  // The text field for a typed value, over the value text, holding the value without its unit.
  void OpenValueField();

  plug::gfx::IText mLabelText;
  plug::gfx::IText mValueText;
  std::string mLabel;
  std::string mValueStr;
  bool mDragging = false;
  bool mTextEditing = false;
  bool mHideCursorOnDrag = true;
  float mAnchorAngle;
  float mAngle1 = -135.f;
  float mAngle2 = 135.f;
  float mTrackWidth = 2.f;
  float mBodyInset = 3.f;
  float mPointerInner = 0.1f;
  float mPointerOuter = 0.7f;
  float mPointerWidth = 2.5f;
  float mValueWidthFactor = 0.66f;
  float mLabelGap = 4.f;
  plug::gfx::IRECT mKnobRect;
  plug::gfx::IRECT mLabelRect;
  plug::gfx::IRECT mValueRect;
  double mGearing = 4.0;
  int mDirection = 0; // 0: vertical drags, else horizontal
  plug::gfx::ILayerPtr mBGLayer;
};

} // namespace quillon
