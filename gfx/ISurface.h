#pragma once

// The editor's drawing surface and the owner of its control tree.
//
// One ISurface exists per open editor. The graphics editor delegate creates it through the
// plug-in's make-graphics function and hands it to the layout function, which attaches controls.
// The surface keeps the draw scale and size limits, routes every mouse, key, wheel and drop event
// from the platform window to the right control, opens menus and text fields for controls, and
// declares the drawing, text and platform operations that the classes below it implement. Its
// state lives in three parts it owns, each a class of its own that needs no drawing back end:
//
//   IControlTree   the ordered control list and the special controls outside it (corner resizer,
//                  menu, notice, text entry, performance display, bubbles): lookup and walks;
//   IInputCapture  the control a point reaches, the capture per touch, mouse-over, and the host
//                  gestures around a user's edit;
//   IFrameRegions  the dirty rectangles a frame redraws, and the layers being drawn into.
//
// The class chain: ISurface (this file) <- ISurfacePathBase (shapes built from paths) <-
// ISurfaceCairo (the Cairo drawing back end) <- a platform surface (ISurfaceLinux for an X11
// window, ISurfaceHeadless in memory for tests and tools).
//
// Threads: everything here runs on the editor's thread ([main]: the thread that opens the editor
// and calls effEditIdle), except where a comment says otherwise.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gfx/IBitmap.h"
#include "gfx/IColor.h"
#include "gfx/IControlTree.h"
#include "gfx/IFrameRegions.h"
#include "gfx/IInputCapture.h"
#include "gfx/IMouse.h"
#include "gfx/IPattern.h"
#include "gfx/IPopupStyle.h"
#include "gfx/IRECT.h"
#include "gfx/IText.h"
#include "plug/core/IKeyPress.h"

namespace plug {
class IParam;
}

namespace plug::gfx {

class IControl;
class ICornerResizerControl;
class IPopupMenuControl;
class INoticeControl;
class ITextEntryControl;
class IFPSDisplayControl;
class IBubbleControl;
class IPopupMenu;
class ISurfaceEditorDelegate;

enum class EUIResizerMode
{
  kScale = 0, // the corner handle zooms the whole editor
  kSize = 1   // the corner handle changes the editor's size
};

enum class EFileAction
{
  kOpen,
  kSave
};

// Called on the editor's thread when a file prompt closes: the chosen file's full path and its
// folder with a trailing "/", or two empty texts when the user cancelled.
using IFileDialogCompletionFunc = std::function<void(const std::string& fileName, const std::string& path)>;
using IKeyHandlerFunc = std::function<bool(const IKeyPress& key, bool isUp)>;
using IDisplayTickFunc = std::function<void()>;
using IControlFunction = std::function<void(IControl* control)>;

class ISurface
{
public:
  ISurface(ISurfaceEditorDelegate& dlg, int w, int h, int fps = 0, float scale = 1.f);
  virtual ~ISurface();
  ISurface(const ISurface&) = delete;
  ISurface& operator=(const ISurface&) = delete;

  // --- Frames ---

  virtual void BeginFrame();
  virtual void EndFrame() {}
  virtual void OnViewInitialized(void* /*layer*/) {}
  virtual void OnViewDestroyed() {}

  // Called by the platform on every frame tick: hands the controls the host values that the
  // delegate deferred from other threads, runs the display-tick function and the controls'
  // animations, then adds every dirty control's rectangle, padded by 0.75, to rects (controls
  // without a rectangle add none). True when anything is dirty. Allocates nothing when nothing is
  // dirty.
  bool IsDirty(IRECTList& rects);
  // Draws the regions collected by IsDirty (into the back end's frame): pixel-aligned and
  // optimised so that no pixel is drawn twice, or as one region under strict drawing. Each control
  // draws clipped to its padded rectangle within the region. An empty list draws nothing.
  void Draw(IRECTList& rects);
  void SetAllControlsDirty();
  void SetAllControlsClean();
  // One tick of a platform's frame timer: rects cleared and filled by IsDirty, every control
  // marked clean, the regions drawn. False when nothing was dirty (nothing drawn).
  bool DrawDirtyRegions(IRECTList& rects);

  // --- Drawing: shapes (the drawing layer implements them) ---

  virtual void DrawPoint(const IColor& color, float x, float y, const IBlend* blend = nullptr) = 0;
  virtual void DrawLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* blend = nullptr,
                        float thickness = 1.f) = 0;
  virtual void DrawDottedLine(const IColor& color, float x1, float y1, float x2, float y2,
                              const IBlend* blend = nullptr, float thickness = 1.f, float dashLen = 2.f) = 0;
  virtual void DrawTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                            const IBlend* blend = nullptr, float thickness = 1.f) = 0;
  virtual void DrawRect(const IColor& color, const IRECT& bounds, const IBlend* blend = nullptr,
                        float thickness = 1.f) = 0;
  virtual void DrawRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius = 5.f,
                             const IBlend* blend = nullptr, float thickness = 1.f) = 0;
  virtual void DrawRoundRect(const IColor& color, const IRECT& bounds, float cRTL, float cRTR, float cRBR, float cRBL,
                             const IBlend* blend = nullptr, float thickness = 1.f) = 0;
  // Clockwise from angle a1 to a2 (degrees, 0 pointing up).
  virtual void DrawArc(const IColor& color, float cx, float cy, float r, float a1, float a2,
                       const IBlend* blend = nullptr, float thickness = 1.f) = 0;
  virtual void DrawCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend = nullptr,
                          float thickness = 1.f) = 0;
  virtual void DrawEllipse(const IColor& color, const IRECT& bounds, const IBlend* blend = nullptr,
                           float thickness = 1.f) = 0;
  virtual void DrawEllipse(const IColor& color, float x, float y, float r1, float r2, float angle = 0.f,
                           const IBlend* blend = nullptr, float thickness = 1.f) = 0;
  virtual void DrawConvexPolygon(const IColor& color, const float* x, const float* y, int nPoints,
                                 const IBlend* blend = nullptr, float thickness = 1.f) = 0;
  virtual void DrawDottedRect(const IColor& color, const IRECT& bounds, const IBlend* blend = nullptr,
                              float thickness = 1.f, float dashLen = 2.f) = 0;
  virtual void FillTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                            const IBlend* blend = nullptr) = 0;
  virtual void FillRect(const IColor& color, const IRECT& bounds, const IBlend* blend = nullptr) = 0;
  virtual void FillRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius = 5.f,
                             const IBlend* blend = nullptr) = 0;
  virtual void FillRoundRect(const IColor& color, const IRECT& bounds, float cRTL, float cRTR, float cRBR, float cRBL,
                             const IBlend* blend = nullptr) = 0;
  virtual void FillCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend = nullptr) = 0;
  virtual void FillEllipse(const IColor& color, const IRECT& bounds, const IBlend* blend = nullptr) = 0;
  virtual void FillEllipse(const IColor& color, float x, float y, float r1, float r2, float angle = 0.f,
                           const IBlend* blend = nullptr) = 0;
  virtual void FillArc(const IColor& color, float cx, float cy, float r, float a1, float a2,
                       const IBlend* blend = nullptr) = 0;
  virtual void FillConvexPolygon(const IColor& color, const float* x, const float* y, int nPoints,
                                 const IBlend* blend = nullptr) = 0;
  virtual void DrawGrid(const IColor& color, const IRECT& bounds, float gridSizeH, float gridSizeV,
                        const IBlend* blend = nullptr, float thickness = 1.f);
  // A polyline through normYPoints (0..1, bottom to top) spread evenly over bounds.
  virtual void DrawData(const IColor& color, const IRECT& bounds, const float* normYPoints, int nPoints,
                        const IBlend* blend = nullptr, float thickness = 1.f);
  // A line on the ray at angle (degrees, 0 up, clockwise) around (cx, cy), from radius rMin to rMax.
  void DrawRadialLine(const IColor& color, float cx, float cy, float angle, float rMin, float rMax,
                      const IBlend* blend = nullptr, float thickness = 1.f);

  // --- Drawing: paths (the drawing layer implements them; false/no-ops without path support) ---

  virtual bool HasPathSupport() const { return false; }
  virtual void PathClear() {}
  virtual void PathClose() {}
  virtual void PathMoveTo(float /*x*/, float /*y*/) {}
  virtual void PathLineTo(float /*x*/, float /*y*/) {}
  virtual void PathCubicBezierTo(float /*c1x*/, float /*c1y*/, float /*c2x*/, float /*c2y*/, float /*x2*/, float /*y2*/)
  {
  }
  virtual void PathQuadraticBezierTo(float /*cx*/, float /*cy*/, float /*x2*/, float /*y2*/) {}
  // An arc around (cx, cy) from angle a1 to a2 (degrees, 0 up), clockwise unless winding says
  // otherwise; a sweep of a full turn or more is a full circle.
  virtual void PathArc(float /*cx*/, float /*cy*/, float /*r*/, float /*a1*/, float /*a2*/,
                       EWinding /*winding*/ = EWinding::kCW)
  {
  }
  virtual void PathSetWinding(EWinding /*winding*/) {}
  virtual void PathStroke(const IPattern& /*pattern*/, float /*thickness*/, const IStrokeOptions& /*options*/ = {},
                          const IBlend* /*blend*/ = nullptr)
  {
  }
  virtual void PathFill(const IPattern& /*pattern*/, const IFillOptions& /*options*/ = {},
                        const IBlend* /*blend*/ = nullptr)
  {
  }
  virtual void PathRect(const IRECT& /*bounds*/) {}
  virtual void PathRoundRect(const IRECT& /*bounds*/, float /*cornerRadius*/) {}
  virtual void PathRoundRect(const IRECT& /*bounds*/, float /*cRTL*/, float /*cRTR*/, float /*cRBR*/, float /*cRBL*/) {}
  virtual void PathCircle(float /*cx*/, float /*cy*/, float /*r*/) {}
  virtual void PathEllipse(const IRECT& /*bounds*/) {}
  virtual void PathEllipse(float /*x*/, float /*y*/, float /*r1*/, float /*r2*/, float /*angle*/ = 0.f) {}
  virtual void PathTriangle(float /*x1*/, float /*y1*/, float /*x2*/, float /*y2*/, float /*x3*/, float /*y3*/) {}
  virtual void PathConvexPolygon(const float* /*x*/, const float* /*y*/, int /*nPoints*/) {}
  virtual void PathTransformSave() {}
  virtual void PathTransformRestore() {}
  virtual void PathTransformReset() {}
  virtual void PathTransformTranslate(float /*x*/, float /*y*/) {}
  virtual void PathTransformScale(float /*sx*/, float /*sy*/) {}
  virtual void PathTransformRotate(float /*angle*/) {}
  virtual void PathTransformSkew(float /*xAngle*/, float /*yAngle*/) {}
  virtual void PathTransformMatrix(const IMatrix& /*matrix*/) {}
  virtual void PathClipRegion(const IRECT& /*r*/ = IRECT()) {}

  // --- Text ---

  // Replaces bounds by the text's box placed by the style's alignment inside bounds; returns
  // its width. Measures nothing (returns 0, bounds unchanged) for a null or empty text.
  float MeasureText(const IText& text, const char* str, IRECT& bounds) const;
  // Draws nothing for a null or empty text.
  void DrawText(const IText& text, const char* str, const IRECT& bounds, const IBlend* blend = nullptr);
  // Registers the font file (or embedded resource) under fontID; false when it cannot be found
  // or read.
  virtual bool LoadFont(const char* fontID, const char* fileNameOrResID) = 0;

  // --- Pictures and bitmaps ---

  // Pictures are SVG files that the build turned into paths (gfx/PathPicture.h); an invalid ISVG
  // when the picture cannot be found or is not such paths (an SVG file's own text is refused).
  virtual ISVG LoadSVG(const char* fileNameOrResID, const char* units = "px", float dpi = 72.f) = 0;
  // Scaled by min(w / W, h / H) of bounds and picture, anchored at the top-left corner.
  virtual void DrawSVG(const ISVG& svg, const IRECT& bounds, const IBlend* blend = nullptr) = 0;
  virtual void DrawRotatedSVG(const ISVG& svg, float destCentreX, float destCentreY, float width, float height,
                              float angle, const IBlend* blend = nullptr) = 0;
  // targetScale 0 means the screen scale.
  virtual IBitmap LoadBitmap(const char* fileNameOrResID, int nStates = 1, bool framesAreHorizontal = false,
                             int targetScale = 0) = 0;
  virtual void DrawBitmap(const IBitmap& bitmap, const IRECT& bounds, int srcX = 0, int srcY = 0,
                          const IBlend* blend = nullptr) = 0;
  virtual void DrawFittedBitmap(const IBitmap& bitmap, const IRECT& bounds, const IBlend* blend = nullptr) = 0;
  virtual void DrawRotatedBitmap(const IBitmap& bitmap, float destCentreX, float destCentreY, double angle,
                                 const IBlend* blend = nullptr) = 0;

  // --- Layers ---

  // Drawing goes into a new off-screen layer covering r (pixel-aligned) until EndLayer.
  void StartLayer(IControl* control, const IRECT& r);
  // Returns the finished layer (the caller owns it) and draws into the previous target again.
  ILayerPtr EndLayer();
  // False when the layer is missing, marked invalid, its control's bounds changed since it was
  // made (it is then marked invalid), or it was made at another draw or screen scale.
  bool CheckLayer(const ILayerPtr& layer);
  // Through DrawBitmap, with a bitmap of the layer's screen and draw scales (APIBitmap::GetScale
  // and GetDrawScale), into the layer's bounds.
  void DrawLayer(const ILayerPtr& layer, const IBlend* blend = nullptr);
  void ApplyLayerDropShadow(ILayerPtr& layer, const IShadow& shadow);

  // --- Controls ---

  // Sets the control's tag and group, appends it and calls its OnAttached. Returns it.
  IControl* AttachControl(IControl* control, int tag = -1, const char* group = "");
  // Inserts the control at index 0, without tag or OnAttached.
  IControl* AttachBackgroundControl(IControl* control);
  void AttachBackground(const char* fileName);
  void AttachSVGBackground(const char* fileName);
  void AttachPanelBackground(const IPattern& pattern);
  void AttachCornerResizer(EUIResizerMode mode = EUIResizerMode::kScale, bool layoutOnResize = false);
  // Takes ownership; deleted when a corner resizer exists already.
  void AttachCornerResizer(ICornerResizerControl* control, EUIResizerMode mode = EUIResizerMode::kScale,
                           bool layoutOnResize = false);
  // The in-editor menu control that shows every menu, in a look of the plug-in's own, opening
  // inside bounds (empty: the whole editor). Kept when one exists.
  void AttachPopupMenuControl(const IPopupStyle& style = IPopupStyle(), const IRECT& bounds = IRECT());
  // The notice control that ShowNotice uses, likewise.
  void AttachNoticeControl(const IPopupStyle& style = IPopupStyle(), const IRECT& bounds = IRECT());
  void AttachTextEntryControl();
  void AttachBubbleControl(const IText& text = IText());
  void AttachBubbleControl(IBubbleControl* control);
  void ShowFPSDisplay(bool enable);

  // Takes the first control with that tag out of the list without deleting it.
  IControl* RemoveControlWithTag(int tag);
  void RemoveControl(IControl* control);
  void RemoveControl(int idx);
  // Removes (and deletes) the controls from the last one down to index idx.
  void RemoveControls(int fromIdx);
  void RemoveAllControls();

  int NControls() const { return mControls.NControls(); }
  // Null outside the list.
  IControl* GetControl(int idx) const;
  IControl* GetControlWithTag(int tag) const;
  int GetControlIdx(const IControl* control) const;
  IControl* GetBackgroundControl() const { return GetControl(0); }
  ICornerResizerControl* GetCornerResizer() const { return mControls.GetCornerResizer(); }
  IPopupMenuControl* GetPopupMenuControl() const { return mControls.GetPopupMenu(); }
  ITextEntryControl* GetTextEntryControl() const { return mControls.GetTextEntry(); }
  INoticeControl* GetNoticeControl() const { return mControls.GetNotice(); }

  // The listed controls in order, then the performance display, the corner resizer, the text
  // entry control, the popup menu control, the notice control and the bubbles.
  void ForAllControlsFunc(const IControlFunction& func);
  // The listed controls only.
  void ForStandardControlsFunc(const IControlFunction& func);
  void ForControlWithParam(int paramIdx, const IControlFunction& func);
  void ForControlInGroup(const char* group, const IControlFunction& func);
  void HideControl(int paramIdx, bool hide);
  void DisableControl(int paramIdx, bool disable);
  // Every other listed control bound to the caller's parameter at valIdx takes its value.
  void UpdatePeers(IControl* caller, int valIdx);
  // A value the user gave a parameter (a drag, the wheel, a double click, a typed or picked value)
  // goes to the delegate inside a host gesture: the one a press began for the parameter, or else a
  // begin and an end of its own around it (none for a host-private parameter).
  void SendParameterValueFromUI(int paramIdx, double normalizedValue);
  void AssignParamNameToolTips();

  // --- Mouse capture and mouse-over ---

  void ReleaseMouseCapture();
  bool ControlIsCaptured() const { return mInput.ControlIsCaptured(); }
  bool ControlIsCaptured(const IControl* control) const;
  IControl* GetMouseOver() const { return mInput.GetMouseOver(); }
  int GetMouseOverIdx() const { return mInput.GetMouseOverIdx(); }
  void GetMouseDownPoint(float& x, float& y) const { mInput.GetMouseDownPoint(x, y); }

  // --- Events from the platform (positions in user points) ---

  void OnMouseDown(const IMouseInfoList& points);
  void OnMouseUp(const IMouseInfoList& points);
  void OnMouseDrag(const IMouseInfoList& points);
  void OnTouchCancelled(const IMouseInfoList& points);
  void OnMouseDown(float x, float y, const IMouseMod& mod) { OnMouseDown(IMouseInfoList{{x, y, 0.f, 0.f, mod}}); }
  void OnMouseUp(float x, float y, const IMouseMod& mod) { OnMouseUp(IMouseInfoList{{x, y, 0.f, 0.f, mod}}); }
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod)
  {
    OnMouseDrag(IMouseInfoList{{x, y, dX, dY, mod}});
  }
  bool OnMouseDblClick(float x, float y, const IMouseMod& mod);
  bool OnMouseOver(float x, float y, const IMouseMod& mod);
  void OnMouseOut();
  void OnMouseWheel(float x, float y, const IMouseMod& mod, float delta);
  // True when a control or the key handler used the key.
  bool OnKeyDown(float x, float y, const IKeyPress& key);
  // A text field or menu is open: it takes the keys.
  bool KeysTakenByEntryOrMenu() const;
  bool OnKeyUp(float x, float y, const IKeyPress& key);
  void OnDrop(const char* str, float x, float y);
  void OnGUIIdle();

  // --- Size and scale ---

  // Clamps to the limits; does nothing when size and scale are unchanged.
  void Resize(int w, int h, float scale);
  void SetSizeLimits(int minW, int maxW, int minH, int maxH);
  void SetScaleLimits(float minScale, float maxScale);
  void SetScreenScale(int scale);
  // The corner resizer's drag.
  void StartDragResize() { mResizingInProcess = true; }
  void OnDragResize(float x, float y);
  void EndDragResize();
  bool IsResizingInProcess() const { return mResizingInProcess; }
  EUIResizerMode GetResizerMode() const { return mGUISizeMode; }

  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int WindowWidth() const { return static_cast<int>(float(mWidth) * mDrawScale); }
  int WindowHeight() const { return static_cast<int>(float(mHeight) * mDrawScale); }
  IRECT GetBounds() const { return {0.f, 0.f, float(mWidth), float(mHeight)}; }
  int FPS() const { return mFPS; }
  float GetDrawScale() const { return mDrawScale; }
  int GetScreenScale() const { return mScreenScale; }
  // Backing pixels per point: screen scale times draw scale.
  float GetTotalScale() const { return mDrawScale * float(mScreenScale); }
  ISurfaceEditorDelegate* GetDelegate() const { return &mDelegate; }

  // --- Flags and hooks ---

  void EnableMouseOver(bool enable) { mInput.EnableMouseOver(enable); }
  bool MouseOverEnabled() const { return mInput.MouseOverEnabled(); }
  void EnableTooltips(bool enable);
  bool TooltipsEnabled() const { return mEnableTooltips; }
  void SetStrictDrawing(bool strict);
  bool StrictDrawing() const { return mRegions.Strict(); }
  void SetLayoutOnResize(bool layoutOnResize) { mLayoutOnResize = layoutOnResize; }
  void SetKeyHandlerFunc(IKeyHandlerFunc func) { mKeyHandlerFunc = std::move(func); }
  void SetDisplayTickFunc(IDisplayTickFunc func) { mDisplayTickFunc = std::move(func); }
  // Where resources are looked for: the plug-in's identifier and the folder under the shared
  // resources folder.
  void SetBundleID(const char* id) { mBundleID = id ? id : ""; }
  const char* GetBundleID() const { return mBundleID.c_str(); }
  void SetSharedResourcesSubPath(const char* path) { mSharedResourcesSubPath = path ? path : ""; }
  const char* GetSharedResourcesSubPath() const { return mSharedResourcesSubPath.c_str(); }
  // The title of a window the platform makes of its own (OpenWindow without a parent).
  void SetWindowTitle(const char* title) { mWindowTitle = title ? title : ""; }
  const char* GetWindowTitle() const { return mWindowTitle.c_str(); }

  // --- Menus, text entry and bubbles ---

  void CreatePopupMenu(IControl& control, IPopupMenu& menu, const IRECT& bounds, int valIdx = 0);
  void DoCreatePopupMenu(IControl& control, IPopupMenu& menu, const IRECT& bounds, int valIdx, bool isContext);
  // The end of any menu: the chosen item, or null when the menu was dismissed.
  void SetControlValueAfterPopupMenu(IPopupMenu* menu);
  // A menu of the parameter's display texts, or a text field with its value.
  void PromptUserInput(IControl& control, const IRECT& bounds, int valIdx = 0);
  void CreateTextEntry(IControl& control, const IText& text, const IRECT& bounds, const char* str = "", int valIdx = 0);
  // The end of any text entry: applies the text to the parameter (see TypedValue) or hands it to
  // the control.
  void SetControlValueAfterTextEdit(const char* str);
  // The plain value a text typed into param's value field stands for: a value text of the
  // parameter, or a number with "." or "," before its decimals. False, with plain untouched, for a
  // text that is neither (an emptied field): the value is then left as it was.
  static bool TypedValue(const IParam& param, const char* str, double& plain);
  // Forgets the control waiting for a text entry, without completion.
  void ClearInTextEntryControl() { mInTextEntry = nullptr; }
  IControl* GetControlInTextEntry() const { return mInTextEntry; }
  IControl* GetControlInPopupMenu() const { return mInPopupMenu; }
  void ShowBubbleControl(IControl* caller, float x, float y, const char* str, EDirection dir = EDirection::kHorizontal,
                         IRECT minimumContentBounds = IRECT());
  // Tells the user something inside the editor (a failure of a file or of a desktop service) on
  // the notice control, which is attached with the default look when there is none.
  void ShowNotice(const char* text);

  // --- Platform services (the platform surface implements them) ---

  // Records the new kind and returns the previous one; a platform also shows it.
  virtual ECursor SetMouseCursor(ECursor cursor);
  virtual void HideMouseCursor(bool hide = true, bool lock = true) = 0;
  virtual void MoveMouseCursor(float x, float y) = 0;
  virtual void GetMouseLocation(float& x, float& y) const = 0;
  virtual bool GetTextFromClipboard(std::string& str) = 0;
  virtual bool SetTextInClipboard(const char* str) = 0;
  // Never blocks: the completion runs on the editor's thread when the prompt closes (with two
  // empty texts when the user cancels or no prompt can be shown). extensions: blank-separated,
  // without dots ("fxp").
  virtual void PromptForFile(EFileAction action, const char* fileName, const char* path, const char* extensions,
                             IFileDialogCompletionFunc completion) = 0;
  virtual void PromptForDirectory(const char* path, IFileDialogCompletionFunc completion) = 0;
  // Hands a web address (or a file path) to the desktop's handler; never blocks.
  virtual bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
                       const char* errMsgOnFailure = nullptr) = 0;
  virtual void UpdateTooltips() = 0;
  virtual void ForceEndUserEdit() = 0;
  virtual void* OpenWindow(void* parent) = 0;
  virtual void CloseWindow() = 0;
  virtual void* GetWindow() = 0;
  bool WindowIsOpen() { return GetWindow() != nullptr; }
  // The window follows the editor's size times its scale.
  virtual void PlatformResize(bool /*parentHasResized*/) {}
  virtual int GetPlatformWindowScale() const { return 1; }
  virtual bool PlatformSupportsMultiTouch() const { return false; }
  virtual const char* GetPlatformAPIStr() const { return ""; }
  virtual const char* GetDrawingAPIStr() const = 0;

protected:
  // A menu the platform shows itself: returns the menu in which an item was chosen (or null),
  // or sets isAsync and completes later through SetControlValueAfterPopupMenu.
  virtual IPopupMenu* CreatePlatformPopupMenu(IPopupMenu& menu, const IRECT& bounds, bool& isAsync) = 0;
  // A text field the platform shows itself; it completes through SetControlValueAfterTextEdit.
  virtual void CreatePlatformTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int length,
                                       const char* str) = 0;

  // The drawing back end's half of the operations above.
  virtual float DoMeasureText(const IText& text, const char* str, IRECT& bounds) const = 0;
  virtual void DoDrawText(const IText& text, const char* str, const IRECT& bounds, const IBlend* blend) = 0;
  // Clip to the region and reset the transform before controls draw into it.
  virtual void PrepareRegion(const IRECT& r) = 0;
  virtual void CompleteRegion(const IRECT& /*r*/) {}
  // The size or scale changed: the back end remakes its frame.
  virtual void DrawResize() {}
  // An off-screen bitmap of w x h points at the current scales, for a layer.
  virtual std::unique_ptr<APIBitmap> CreateAPIBitmap(int widthPixels, int heightPixels, int scale, float drawScale) = 0;
  // Makes CurrentLayer() the drawing target, or the frame again when there is none. While a layer
  // is the target, user points map onto its pixels from its Bounds()' top-left corner at the total
  // scale, and PathTransformReset returns to that mapping.
  virtual void UpdateLayer() = 0;
  // The layer's pixels as premultiplied ARGB: 32-bit words in native byte order with alpha in the
  // top 8 bits (Cairo's ARGB32), rows of stride bytes; false when there are none.
  virtual bool GetLayerBitmapData(const ILayerPtr& layer, std::vector<unsigned char>& data, int& stride) = 0;
  // Composites a blurred alpha mask (one byte a pixel, the layer's size) into the layer as its
  // drop shadow.
  virtual void ApplyShadowMask(ILayerPtr& layer, const std::vector<unsigned char>& mask, const IShadow& shadow) = 0;
  // The layer being drawn into, or null when drawing goes into the frame.
  ILayer* CurrentLayer() const { return mRegions.CurrentLayer(); }

private:
  // The delegate forgets captures without ending gestures when it is itself being destroyed.
  friend class ISurfaceEditorDelegate;

  void DrawRegion(const IRECT& region, float scale);
  // Drops every reference to a control about to be removed.
  void ForgetControl(IControl* control);
  // Every attach: links, then OnInit, OnResize, OnRescale.
  void PrepareControl(IControl& control);
  // See IInputCapture::EndCaptures.
  void EndCaptures(bool informHost) { mInput.EndCaptures(informHost); }
  // The context menu of a control pressed with the right button: false when it has no items.
  bool OpenContextMenu(IControl& control, float x, float y);

  ISurfaceEditorDelegate& mDelegate;

  // The parts, in this order: the other two hold on to the tree.
  IControlTree mControls;
  IInputCapture mInput;
  IFrameRegions mRegions;
  std::unique_ptr<IPopupMenu> mPromptPopupMenu;

  int mWidth;
  int mHeight;
  int mFPS;
  int mScreenScale = 1;
  float mDrawScale;
  ECursor mCursorType = ECursor::kArrow;
  ECursor mCurrentCursor = ECursor::kArrow;
  IControl* mInTextEntry = nullptr;
  int mTextEntryValIdx = -1;
  IControl* mInPopupMenu = nullptr;
  int mPopupMenuValIdx = -1;
  bool mIsContextMenu = false;
  int mMinWidth, mMaxWidth, mMinHeight, mMaxHeight;
  float mMinScale, mMaxScale;

  bool mEnableTooltips = false;
  bool mResizingInProcess = false;
  bool mLayoutOnResize = false;
  EUIResizerMode mGUISizeMode = EUIResizerMode::kScale;
  double mPrevTimestamp = 0.0;
  IKeyHandlerFunc mKeyHandlerFunc;
  IDisplayTickFunc mDisplayTickFunc;
  std::string mBundleID;
  std::string mSharedResourcesSubPath;
  std::string mWindowTitle;
};

} // namespace plug::gfx
