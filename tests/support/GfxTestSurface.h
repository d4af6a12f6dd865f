#pragma once

// A delegate that records the host's side of every edit, and a surface that records what is
// drawn, for the graphics framework's tests. No drawing back end, no window.

#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "gfx/IControl.h"
#include "gfx/IPopupMenu.h"
#include "gfx/ISurface.h"
#include "gfx/ISurfaceEditorDelegate.h"
#include "plug/core/IParam.h"

namespace plug::gfx {
// For readable test failures.
inline void PrintTo(const IRECT& r, std::ostream* os)
{
  *os << "(" << r.L << ", " << r.T << ", " << r.R << ", " << r.B << ")";
}
} // namespace plug::gfx

namespace gfxtest {

using namespace plug::gfx;

// Logs "begin P", "value P V" (V with 3 decimals) and "end P" in the order the host hears them.
// Parameters: 0 "Gain" and 1 "Time" (ms) 0..1 by 0.001, 2 "Mode" (One, Two, Three), 3 host-private.
class TestDelegate : public ISurfaceEditorDelegate
{
public:
  TestDelegate()
    : ISurfaceEditorDelegate(4)
  {
    GetParam(0)->InitDouble("Gain", 0.0, 0.0, 1.0, 0.001);
    GetParam(1)->InitDouble("Time", 0.0, 0.0, 1.0, 0.001, "ms");
    GetParam(2)->InitEnum("Mode", 1, {"One", "Two", "Three"});
    GetParam(3)->InitDouble("Private", 0.0, 0.0, 1.0, 0.001, "", plug::IParam::kFlagHostPrivate);
  }

  void BeginInformHostOfParamChangeFromUI(int paramIdx) override { Log("begin", paramIdx); }
  void EndInformHostOfParamChangeFromUI(int paramIdx) override { Log("end", paramIdx); }
  void SendParameterValueFromUI(int paramIdx, double value) override
  {
    char entry[64];
    std::snprintf(entry, sizeof entry, "value %d %.3f", paramIdx, value);
    mLog.push_back(entry);
    ISurfaceEditorDelegate::SendParameterValueFromUI(paramIdx, value);
  }
  bool EditorResizeFromUI(int w, int h) override
  {
    mResizes.push_back({w, h});
    return true;
  }

  void Log(const char* what, int paramIdx) { mLog.push_back(std::string(what) + " " + std::to_string(paramIdx)); }

  std::vector<std::string> mLog;
  std::vector<std::pair<int, int>> mResizes;
};

// Draws nothing: every region prepared and every call made is recorded. Text is 6 points wide per
// byte and as high as the style's size, placed by the style's alignment.
class TestSurface : public ISurface
{
public:
  explicit TestSurface(ISurfaceEditorDelegate& dlg, int w = 300, int h = 200, float scale = 1.f)
    : ISurface(dlg, w, h, 60, scale)
  {
  }
  // As every back end does: the controls go while the whole surface still exists.
  ~TestSurface() override { RemoveAllControls(); }

  void Record(const char* call) { mCalls.emplace_back(call); }

  void DrawPoint(const IColor&, float, float, const IBlend*) override { Record("point"); }
  void DrawLine(const IColor&, float x1, float y1, float x2, float y2, const IBlend*, float) override
  {
    Record("line");
    mLines.push_back({x1, y1, x2, y2});
  }
  void DrawDottedLine(const IColor&, float, float, float, float, const IBlend*, float, float) override
  {
    Record("dottedline");
  }
  void DrawTriangle(const IColor&, float, float, float, float, float, float, const IBlend*, float) override
  {
    Record("triangle");
  }
  void DrawRect(const IColor&, const IRECT&, const IBlend*, float) override { Record("rect"); }
  void DrawRoundRect(const IColor&, const IRECT&, float, const IBlend*, float) override { Record("roundrect"); }
  void DrawRoundRect(const IColor&, const IRECT&, float, float, float, float, const IBlend*, float) override
  {
    Record("roundrect");
  }
  void DrawArc(const IColor&, float, float, float, float, float, const IBlend*, float) override { Record("arc"); }
  void DrawCircle(const IColor&, float, float, float, const IBlend*, float) override { Record("circle"); }
  void DrawEllipse(const IColor&, const IRECT&, const IBlend*, float) override { Record("ellipse"); }
  void DrawEllipse(const IColor&, float, float, float, float, float, const IBlend*, float) override
  {
    Record("ellipse");
  }
  void DrawConvexPolygon(const IColor&, const float*, const float*, int, const IBlend*, float) override
  {
    Record("polygon");
  }
  void DrawDottedRect(const IColor&, const IRECT&, const IBlend*, float, float) override { Record("dottedrect"); }
  void FillTriangle(const IColor&, float, float, float, float, float, float, const IBlend*) override
  {
    Record("filltriangle");
  }
  void FillRect(const IColor&, const IRECT&, const IBlend*) override { Record("fillrect"); }
  void FillRoundRect(const IColor&, const IRECT&, float, const IBlend*) override { Record("fillroundrect"); }
  void FillRoundRect(const IColor&, const IRECT&, float, float, float, float, const IBlend*) override
  {
    Record("fillroundrect");
  }
  void FillCircle(const IColor&, float, float, float, const IBlend*) override { Record("fillcircle"); }
  void FillEllipse(const IColor&, const IRECT&, const IBlend*) override { Record("fillellipse"); }
  void FillEllipse(const IColor&, float, float, float, float, float, const IBlend*) override { Record("fillellipse"); }
  void FillArc(const IColor&, float, float, float, float, float, const IBlend*) override { Record("fillarc"); }
  void FillConvexPolygon(const IColor&, const float*, const float*, int, const IBlend*) override
  {
    Record("fillpolygon");
  }

  bool LoadFont(const char*, const char*) override { return true; }
  ISVG LoadSVG(const char*, const char*, float) override { return {}; }
  void DrawSVG(const ISVG&, const IRECT&, const IBlend*) override { Record("svg"); }
  void DrawRotatedSVG(const ISVG&, float, float, float, float, float, const IBlend*) override { Record("svg"); }
  IBitmap LoadBitmap(const char*, int, bool, int) override { return {}; }
  void DrawBitmap(const IBitmap&, const IRECT& bounds, int, int, const IBlend*) override
  {
    Record("bitmap");
    mBitmapTargets.push_back(bounds);
  }
  void DrawFittedBitmap(const IBitmap&, const IRECT&, const IBlend*) override { Record("bitmap"); }
  void DrawRotatedBitmap(const IBitmap&, float, float, double, const IBlend*) override { Record("bitmap"); }

  void HideMouseCursor(bool hide, bool) override { mCursorHidden = hide; }
  void MoveMouseCursor(float, float) override {}
  void GetMouseLocation(float& x, float& y) const override
  {
    x = mMouseX;
    y = mMouseY;
  }
  bool GetTextFromClipboard(std::string& str) override
  {
    str = mClipboard;
    return !str.empty();
  }
  bool SetTextInClipboard(const char* str) override
  {
    mClipboard = str ? str : "";
    return true;
  }
  void PromptForFile(EFileAction, const char*, const char*, const char*, IFileDialogCompletionFunc completion) override
  {
    completion("", "");
  }
  void PromptForDirectory(const char*, IFileDialogCompletionFunc completion) override { completion("", ""); }
  bool OpenURL(const char* url, const char*, const char*, const char*) override
  {
    mURLs.emplace_back(url ? url : "");
    return true;
  }
  void UpdateTooltips() override {}
  void ForceEndUserEdit() override {}
  void* OpenWindow(void*) override { return this; }
  void CloseWindow() override {}
  void* GetWindow() override { return this; }
  const char* GetDrawingAPIStr() const override { return "test"; }
  void PlatformResize(bool) override { ++mPlatformResizes; }

  // The next menu picks this item of the menu shown (-1: dismissed).
  int mMenuChoice = -1;
  std::vector<std::string> mMenusShown; // "Title: item *ticked ..."
  struct TextEntry
  {
    int paramIdx;
    std::string str;
    IRECT bounds;
  };
  std::vector<TextEntry> mTextEntries;

  std::vector<std::string> mCalls;
  std::vector<IRECT> mRegions;
  std::vector<IRECT> mBitmapTargets;
  std::vector<IRECT> mLines;
  std::vector<unsigned char> mLayerPixels; // what GetLayerBitmapData hands out
  std::vector<unsigned char> mShadowMask;  // what ApplyShadowMask received
  int mLayersMade = 0;
  int mPlatformResizes = 0;
  bool mCursorHidden = false;
  float mMouseX = 0.f, mMouseY = 0.f;
  std::string mClipboard;
  std::vector<std::string> mURLs;

protected:
  IPopupMenu* CreatePlatformPopupMenu(IPopupMenu& menu, const IRECT&, bool&) override
  {
    std::string shown = menu.GetRootTitle();
    for (int i = 0; i < menu.NItems(); ++i)
      shown += std::string(i ? " " : ": ") + (menu.GetItem(i)->GetTicked() ? "*" : "") + menu.GetItemText(i);
    mMenusShown.push_back(shown);
    if (mMenuChoice < 0)
      return nullptr;
    menu.SetChosenItemIdx(mMenuChoice);
    return &menu;
  }
  void CreatePlatformTextEntry(int paramIdx, const IText&, const IRECT& bounds, int, const char* str) override
  {
    mTextEntries.push_back({paramIdx, str, bounds});
  }
  float DoMeasureText(const IText& text, const char* str, IRECT& bounds) const override
  {
    const float w = 6.f * static_cast<float>(std::string(str).size()), h = text.mSize;
    const float x = text.mAlign == EAlign::kNear ? bounds.L
        : text.mAlign == EAlign::kFar            ? bounds.R - w
                                                 : bounds.MW() - w / 2;
    const float y = text.mVAlign == EVAlign::kTop ? bounds.T
        : text.mVAlign == EVAlign::kBottom        ? bounds.B - h
                                                  : bounds.MH() - h / 2;
    bounds = {x, y, x + w, y + h};
    return w;
  }
  void DoDrawText(const IText&, const char* str, const IRECT&, const IBlend*) override
  {
    mCalls.push_back(std::string("text ") + str);
  }
  void PrepareRegion(const IRECT& r) override { mRegions.push_back(r); }
  std::unique_ptr<APIBitmap> CreateAPIBitmap(int w, int h, int scale, float drawScale) override
  {
    ++mLayersMade;
    return std::make_unique<APIBitmap>(w, h, scale, drawScale);
  }
  void UpdateLayer() override {}
  bool GetLayerBitmapData(const ILayerPtr& layer, std::vector<unsigned char>& data, int& stride) override
  {
    data = mLayerPixels;
    stride = 4 * layer->GetAPIBitmap()->GetWidth();
    return !data.empty();
  }
  void ApplyShadowMask(ILayerPtr&, const std::vector<unsigned char>& mask, const IShadow&) override
  {
    mShadowMask = mask;
  }
};

// A control that draws one recorded call and logs its events.
class TestControl : public IControl
{
public:
  explicit TestControl(const IRECT& bounds, int paramIdx = -1)
    : IControl(bounds, paramIdx)
  {
  }
  void Draw(ISurface& g) override { g.FillRect(COLOR_BLACK, mRECT); }
  void OnMouseDown(float x, float y, const IMouseMod& mod) override
  {
    mEvents.push_back("down");
    IControl::OnMouseDown(x, y, mod);
  }
  void OnMouseUp(float, float, const IMouseMod&) override { mEvents.push_back("up"); }
  void OnMouseDrag(float, float, float, float dY, const IMouseMod&) override
  {
    mEvents.push_back("drag");
    SetValue(GetValue() - dY / 100.0);
    SetDirty(true);
  }
  void OnMouseOver(float x, float y, const IMouseMod& mod) override
  {
    mEvents.push_back("over");
    IControl::OnMouseOver(x, y, mod);
  }
  void OnMouseOut() override
  {
    if (mMouseIsOver)
      mEvents.push_back("out");
    IControl::OnMouseOut();
  }
  void OnMouseWheel(float, float, const IMouseMod&, float) override { mEvents.push_back("wheel"); }
  bool OnKeyDown(float, float, const plug::IKeyPress&) override
  {
    mEvents.push_back("key");
    return mUsesKeys;
  }
  void OnDrop(const char* str) override { mEvents.push_back(std::string("drop ") + str); }
  void CreateContextMenu(IPopupMenu& menu) override
  {
    for (const std::string& item : mContextItems)
      menu.AddItem(item.c_str());
  }
  void OnMsgFromDelegate(int msgTag, int, const void*) override { mEvents.push_back("msg " + std::to_string(msgTag)); }
  void OnMidi(const plug::IMidiMsg&) override { mEvents.push_back("midi"); }
  void OnContextSelection(int item) override { mEvents.push_back("context " + std::to_string(item)); }
  void OnTextEntryCompletion(const char* str, int valIdx) override
  {
    mEvents.push_back("text " + std::string(str) + " " + std::to_string(valIdx));
  }

  std::vector<std::string> mEvents;
  std::vector<std::string> mContextItems;
  bool mUsesKeys = false;
};

// A TestControl of bounds appended to tree, which owns it.
inline TestControl* AppendTestControl(IControlTree& tree, const IRECT& bounds)
{
  auto* control = new TestControl(bounds);
  tree.Append(control);
  return control;
}

// A delegate with its editor open on this thread, as a host opens it.
struct TestEditor
{
  TestEditor()
    : ui(Open(delegate))
  {
  }

  static TestSurface& Open(TestDelegate& delegate)
  {
    delegate.SetMakeGraphicsFunc([&delegate]() { return std::make_unique<TestSurface>(delegate); });
    delegate.OpenWindow(nullptr);
    return static_cast<TestSurface&>(*delegate.GetUI());
  }
  TestControl* Attach(const IRECT& r, int paramIdx = -1)
  {
    return static_cast<TestControl*>(ui.AttachControl(new TestControl(r, paramIdx)));
  }
  void Drag(float x, float y, float dY) { ui.OnMouseDrag(x, y, 0.f, dY, IMouseMod(true)); }

  TestDelegate delegate;
  TestSurface& ui;
};

} // namespace gfxtest
