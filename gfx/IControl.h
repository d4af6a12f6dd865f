#pragma once

// The base of everything that sits in the editor.
//
// A control owns a rectangle, draws itself when asked, receives the pointer and key events that
// the surface routes to it, and holds one or more normalised values (0..1), each optionally bound
// to a plug-in parameter. SetDirty(true) marks a change made by the user: it clamps the values,
// sends them to the plug-in (which tells the host, inside a gesture: ISurface::SendParameterValueFromUI)
// and to every other control bound to the same parameter, and runs the action function.
// SetDirty(false) only asks for a redraw.
//
// Threads: [main] throughout, except SetValueFromDelegate, which the graphics editor delegate
// calls only on the editor's thread (it defers values that the host sets on other threads).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gfx/IBitmap.h"
#include "gfx/IMouse.h"
#include "gfx/IPattern.h"
#include "gfx/IRECT.h"
#include "gfx/IText.h"
#include "plug/core/IKeyPress.h"
#include "plug/core/IMidi.h"

namespace plug {
class IParam;
}

namespace plug::gfx {

class ISurface;
class ISurfaceEditorDelegate;
class IPopupMenu;

class IControl;
using IActionFunction = std::function<void(IControl* control)>;
using IAnimationFunction = std::function<void(IControl* control)>;

// One value of a control: the parameter it is bound to (-1 for none) and its normalised value.
struct ParamTuple
{
  int idx = -1;
  double value = 0.0;
};

class IControl
{
public:
  // One value bound to paramIdx (-1: unbound).
  IControl(const IRECT& bounds, int paramIdx = -1, IActionFunction actionFunc = nullptr);
  // One value per index, in order, each 0.
  IControl(const IRECT& bounds, const std::initializer_list<int>& params, IActionFunction actionFunc = nullptr);
  // One unbound value.
  IControl(const IRECT& bounds, IActionFunction actionFunc);
  virtual ~IControl() = default;
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // --- Events (the surface calls them; positions in user points) ---

  // Right button: prompts for the value under the pointer.
  virtual void OnMouseDown(float x, float y, const IMouseMod& mod);
  virtual void OnMouseUp(float /*x*/, float /*y*/, const IMouseMod& /*mod*/) {}
  virtual void OnMouseDrag(float /*x*/, float /*y*/, float /*dX*/, float /*dY*/, const IMouseMod& /*mod*/) {}
  // Resets the value under the pointer to its parameter's default.
  virtual void OnMouseDblClick(float x, float y, const IMouseMod& mod);
  virtual void OnMouseWheel(float /*x*/, float /*y*/, const IMouseMod& /*mod*/, float /*delta*/) {}
  // True when the key was used.
  virtual bool OnKeyDown(float /*x*/, float /*y*/, const IKeyPress& /*key*/) { return false; }
  virtual bool OnKeyUp(float /*x*/, float /*y*/, const IKeyPress& /*key*/) { return false; }
  virtual void OnMouseOver(float x, float y, const IMouseMod& mod);
  virtual void OnMouseOut();
  virtual void OnTouchCancelled(float /*x*/, float /*y*/, const IMouseMod& /*mod*/) {}
  // The capture its press took ended without a mouse-up reaching it: the surface released it (for
  // a menu or a text field, a double click, a resize, the editor closing) or removed the control.
  // Whatever the press began (a drag, a hidden pointer) ends here.
  virtual void OnCaptureLost() {}
  virtual void OnDrop(const char* /*str*/) {}
  virtual void OnRescale() {}
  virtual void OnResize() {}
  virtual void OnInit() {}
  virtual void OnAttached() {}
  virtual void OnMsgFromDelegate(int /*msgTag*/, int /*dataSize*/, const void* /*data*/) {}
  virtual void OnMidi(const IMidiMsg& /*msg*/) {}
  // Adds no items.
  virtual void CreateContextMenu(IPopupMenu& /*contextMenu*/) {}
  // A parameter-value menu: item i stands for plain value i.
  virtual void OnPopupMenuSelection(IPopupMenu* menu, int valIdx);
  virtual void OnTextEntryCompletion(const char* /*str*/, int /*valIdx*/) {}
  virtual void OnContextSelection(int /*itemSelected*/) {}
  virtual void OnGUIIdle() {}

  // --- Drawing ---

  virtual void Draw(ISurface& g) = 0;

  // --- Values ---

  // 0 when the control has exactly one value, else -1 (none).
  virtual int GetValIdxForPos(float /*x*/, float /*y*/) const { return NVals() == 1 ? 0 : -1; }
  // A value from the plug-in (host automation, presets): ignored while this control holds a
  // mouse capture; otherwise stored and redrawn when it differs.
  virtual void SetValueFromDelegate(double value, int valIdx = 0);
  // A value the user typed or picked: stored and sent when it differs.
  virtual void SetValueFromUserInput(double value, int valIdx = 0);
  virtual void SetValueToDefault(int valIdx = -1);
  // Stores the value; nothing else.
  virtual void SetValue(double value, int valIdx = 0);
  double GetValue(int valIdx = 0) const;
  int NVals() const { return static_cast<int>(mVals.size()); }
  int GetParamIdx(int valIdx = 0) const;
  void SetParamIdx(int paramIdx, int valIdx = 0);
  // The first value index bound to paramIdx, or -1.
  int LinkedToParam(int paramIdx) const;
  // The parameter bound to the value, or null.
  const IParam* GetParam(int valIdx = 0) const;

  // --- State ---

  virtual void SetPosition(float x, float y);
  virtual void SetSize(float w, float h);
  virtual void Hide(bool hide);
  virtual void SetDisabled(bool disable);
  virtual bool IsHit(float x, float y) const { return mTargetRECT.Contains(x, y); }
  // See the top of this file; valIdx -1 means every value.
  // Where a value goes from here: the four parameter paths at the top of plug/IPluginAPIBase.h.
  virtual void SetDirty(bool triggerAction = true, int valIdx = -1);
  virtual void SetClean() { mDirty = false; }
  virtual bool IsDirty() { return mDirty || mAnimationFunc != nullptr; }
  // The value from the pointer's place in bounds along direction, in steps of 0.001.
  virtual void SnapToMouse(float x, float y, EDirection direction, const IRECT& bounds, int valIdx = -1,
                           double minClip = 0.0, double maxClip = 1.0);
  virtual void OnEndAnimation();

  bool IsHidden() const { return mHide; }
  bool IsDisabled() const { return mDisabled; }
  bool GetMouseIsOver() const { return mMouseIsOver; }
  bool GetIgnoreMouse() const { return mIgnoreMouse; }
  void SetIgnoreMouse(bool ignore) { mIgnoreMouse = ignore; }
  bool GetMouseDblAsSingleClick() const { return mDblAsSingleClick; }
  void SetMouseDblAsSingleClick(bool single) { mDblAsSingleClick = single; }
  bool GetMouseOverWhenDisabled() const { return mMouseOverWhenDisabled; }
  void SetMouseOverWhenDisabled(bool allow) { mMouseOverWhenDisabled = allow; }
  bool GetMouseEventsWhenDisabled() const { return mMouseEventsWhenDisabled; }
  void SetMouseEventsWhenDisabled(bool allow) { mMouseEventsWhenDisabled = allow; }
  bool GetPromptDisabled() const { return mDisablePrompt; }
  void DisablePrompt(bool disable) { mDisablePrompt = disable; }
  bool GetPromptShowsParamLabel() const { return mPromptShowsParamLabel; }
  void SetPromptShowsParamLabel(bool show) { mPromptShowsParamLabel = show; }
  bool GetWantsMidi() const { return mWantsMidi; }
  void SetWantsMidi(bool wants) { mWantsMidi = wants; }
  bool GetWantsMultiTouch() const { return mWantsMultiTouch; }
  void SetWantsMultiTouch(bool wants) { mWantsMultiTouch = wants; }

  int GetTag() const { return mTag; }
  void SetTag(int tag) { mTag = tag; }
  const std::string& GetGroup() const { return mGroup; }
  void SetGroup(const char* group) { mGroup = group ? group : ""; }
  const IRECT& GetRECT() const { return mRECT; }
  void SetRECT(const IRECT& bounds) { mRECT = bounds; }
  const IRECT& GetTargetRECT() const { return mTargetRECT; }
  void SetTargetRECT(const IRECT& bounds) { mTargetRECT = bounds; }
  void SetTargetAndDrawRECTs(const IRECT& bounds)
  {
    mRECT = bounds;
    mTargetRECT = bounds;
  }
  const IText& GetText() const { return mText; }
  void SetText(const IText& text) { mText = text; }
  const IBlend& GetBlend() const { return mBlend; }
  void SetBlend(const IBlend& blend) { mBlend = blend; }
  int GetTextEntryLength() const { return mTextEntryLength; }
  void SetTextEntryLength(int length) { mTextEntryLength = length; }
  const std::string& GetTooltip() const { return mTooltip; }
  void SetTooltip(const char* tooltip) { mTooltip = tooltip ? tooltip : ""; }

  // --- Prompts ---

  // A menu or text field for the value (nothing when unbound or prompts are disabled).
  void PromptUserInput(int valIdx = 0);
  void PromptUserInput(const IRECT& bounds, int valIdx = 0);

  // --- Action and animation ---

  const IActionFunction& GetActionFunction() const { return mActionFunc; }
  void SetActionFunction(IActionFunction func) { mActionFunc = std::move(func); }
  void SetAnimationEndActionFunction(IActionFunction func) { mAnimationEndActionFunc = std::move(func); }
  // An empty function when no animation is set.
  const IAnimationFunction& GetAnimationFunction() const;
  // May be called from inside the running animation function (to end it or to start the next
  // stage): the running one stays alive until it returns.
  void SetAnimation(IAnimationFunction func);
  void SetAnimation(IAnimationFunction func, int durationMs)
  {
    SetAnimation(std::move(func));
    StartAnimation(durationMs);
  }
  // Times run on the run loop's clock (plug::RunLoop::NowMs), which tests may replace.
  void StartAnimation(int durationMs);
  // 0 without an animation; past 1 once its time is over.
  double GetAnimationProgress() const;
  // Runs the animation function once (the surface calls it before every dirty check).
  void Animate();

  // --- Links ---

  // Set by the surface when the control is attached.
  void SetDelegate(ISurfaceEditorDelegate& dlg) { mDelegate = &dlg; }
  void SetGraphics(ISurface* graphics) { mGraphics = graphics; }
  ISurfaceEditorDelegate* GetDelegate() const { return mDelegate; }
  ISurface* GetUI() const { return mGraphics; }

protected:
  int mTag = -1;
  IRECT mRECT;
  IRECT mTargetRECT;
  std::string mGroup;
  IText mText;
  IBlend mBlend;
  int mTextEntryLength = 7;
  bool mDirty = true;
  bool mHide = false;
  bool mDisabled = false;
  bool mDisablePrompt = true;
  bool mDblAsSingleClick = false;
  bool mMouseOverWhenDisabled = false;
  bool mMouseEventsWhenDisabled = false;
  bool mIgnoreMouse = false;
  bool mWantsMidi = false;
  bool mWantsMultiTouch = false;
  bool mPromptShowsParamLabel = false;
  bool mMouseIsOver = false;
  std::string mTooltip;

private:
  ISurfaceEditorDelegate* mDelegate = nullptr;
  ISurface* mGraphics = nullptr;
  IActionFunction mActionFunc;
  IActionFunction mAnimationEndActionFunc;
  std::shared_ptr<IAnimationFunction> mAnimationFunc; // shared so that Animate keeps it alive while it runs
  double mAnimationStartMs = 0.0;
  double mAnimationDurationMs = 0.0;
  std::vector<ParamTuple> mVals;
};

// Animation and action functions shared by controls.
void DefaultAnimationFunc(IControl* control);   // ends the animation once its time is over
void DefaultClickActionFunc(IControl* control); // a 100 ms animation that then ends
void EmptyClickActionFunc(IControl* control);
void ShowBubbleHorizontalActionFunc(IControl* control);
void ShowBubbleVerticalActionFunc(IControl* control);

} // namespace plug::gfx
