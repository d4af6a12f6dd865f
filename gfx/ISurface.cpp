#include "gfx/ISurface.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>

#include "checks/ThreadChecks.h"
#include "gfx/IBubbleControl.h"
#include "gfx/ICornerResizerControl.h"
#include "gfx/IFPSDisplayControl.h"
#include "gfx/INoticeControl.h"
#include "gfx/IPictureControls.h"
#include "gfx/IPopupMenu.h"
#include "gfx/IPopupMenuControl.h"
#include "gfx/ISurfaceEditorDelegate.h"
#include "gfx/ITextEntryControl.h"
#include "plug/core/IParam.h"
#include "plug/core/NumberText.h"

namespace plug::gfx {

namespace {

// Like std::clamp, but defined for any limits.
template <typename T>
T ClampTo(T value, T lo, T hi)
{
  return std::max(lo, std::min(hi, value));
}

double NowSeconds()
{
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

// A scale that is not a positive number would make every size zero or infinite: such a surface
// starts at scale 1.
ISurface::ISurface(ISurfaceEditorDelegate& dlg, int w, int h, int fps, float scale)
  : mDelegate(dlg),
    mInput(mControls, dlg, [this](IControl& control, float x, float y) { return OpenContextMenu(control, x, y); }),
    mRegions(mControls),
    mPromptPopupMenu(std::make_unique<IPopupMenu>()),
    mWidth(w),
    mHeight(h),
    mFPS(fps < 1 ? 25 : fps),
    mDrawScale(scale > 0.f && std::isfinite(scale) ? scale : 1.f),
    mMinWidth(w / 2),
    mMaxWidth(w * 2),
    mMinHeight(h / 2),
    mMaxHeight(h * 2),
    mMinScale(0.5f * mDrawScale),
    mMaxScale(2.f * mDrawScale)
{
}

// Controls go without telling the host: the delegate that owns this surface may itself be half
// destroyed. Closing the editor through the delegate ends open gestures first.
ISurface::~ISurface()
{
  EndCaptures(false);
  RemoveAllControls();
}

// --- Frames ---

void ISurface::BeginFrame()
{
  const double now = NowSeconds();
  if (IFPSDisplayControl* perfDisplay = mControls.GetPerfDisplay(); perfDisplay && mPrevTimestamp > 0.0)
    perfDisplay->Update(static_cast<float>(now - mPrevTimestamp));
  mPrevTimestamp = now;
}

bool ISurface::IsDirty(IRECTList& rects)
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
  mDelegate.ApplyPendingParameterValues();
  if (mDisplayTickFunc)
    mDisplayTickFunc();
  return mRegions.CollectDirty(rects);
}

void ISurface::Draw(IRECTList& rects)
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
  if (rects.Size() == 0)
    return;
  const float scale = GetTotalScale();
  BeginFrame();
  const IRECTList& regions = mRegions.RegionsToDraw(rects, scale);
  for (int i = 0; i < regions.Size(); ++i)
    DrawRegion(regions.Get(i), scale);
  EndFrame();
}

void ISurface::DrawRegion(const IRECT& region, float scale)
{
  IRECT clip;
  for (int i = 0; i < mControls.NAll(); ++i)
  {
    IControl* control = mControls.GetAny(i);
    if (!mRegions.ClipFor(*control, region, scale, clip))
      continue;
    PrepareRegion(clip);
    control->Draw(*this);
    CompleteRegion(clip);
  }
}

void ISurface::SetAllControlsDirty()
{
  mControls.ForAll([](IControl* control) { control->SetDirty(false, -1); });
}

void ISurface::SetAllControlsClean()
{
  mControls.ForAll([](IControl* control) { control->SetClean(); });
}

bool ISurface::DrawDirtyRegions(IRECTList& rects)
{
  rects.Clear();
  if (!IsDirty(rects))
    return false;
  SetAllControlsClean();
  Draw(rects);
  return true;
}

// --- Drawing helpers ---

// Lines every gridSizeH points across and every gridSizeV points down, inside bounds; a grid size
// that is not positive draws no lines in that direction.
void ISurface::DrawGrid(const IColor& color, const IRECT& bounds, float gridSizeH, float gridSizeV, const IBlend* blend,
                        float thickness)
{
  if (gridSizeH > 0.f)
    for (float x = bounds.L + gridSizeH; x < bounds.R; x += gridSizeH)
      DrawLine(color, x, bounds.T, x, bounds.B, blend, thickness);
  if (gridSizeV > 0.f)
    for (float y = bounds.T + gridSizeV; y < bounds.B; y += gridSizeV)
      DrawLine(color, bounds.L, y, bounds.R, y, blend, thickness);
}

void ISurface::DrawData(const IColor& color, const IRECT& bounds, const float* normYPoints, int nPoints,
                        const IBlend* blend, float thickness)
{
  if (!normYPoints || nPoints < 2)
    return;
  const float dx = bounds.W() / static_cast<float>(nPoints - 1);
  auto y = [&](int i) { return bounds.B - normYPoints[i] * bounds.H(); };
  if (HasPathSupport())
  {
    PathClear();
    PathMoveTo(bounds.L, y(0));
    for (int i = 1; i < nPoints; ++i)
      PathLineTo(bounds.L + dx * static_cast<float>(i), y(i));
    PathStroke(color, thickness, {}, blend);
    return;
  }
  for (int i = 1; i < nPoints; ++i)
    DrawLine(color, bounds.L + dx * static_cast<float>(i - 1), y(i - 1), bounds.L + dx * static_cast<float>(i), y(i),
             blend, thickness);
}

void ISurface::DrawRadialLine(const IColor& color, float cx, float cy, float angle, float rMin, float rMax,
                              const IBlend* blend, float thickness)
{
  const float radians = (angle - 90.f) * std::numbers::pi_v<float> / 180.f;
  const float c = std::cos(radians), s = std::sin(radians);
  DrawLine(color, cx + rMin * c, cy + rMin * s, cx + rMax * c, cy + rMax * s, blend, thickness);
}

float ISurface::MeasureText(const IText& text, const char* str, IRECT& bounds) const
{
  if (!str || !*str)
    return 0.f;
  return DoMeasureText(text, str, bounds);
}

void ISurface::DrawText(const IText& text, const char* str, const IRECT& bounds, const IBlend* blend)
{
  if (!str || !*str)
    return;
  DoDrawText(text, str, bounds, blend);
}

// --- Layers ---

void ISurface::StartLayer(IControl* control, const IRECT& r)
{
  int w = 0, h = 0;
  const IRECT aligned = IFrameRegions::LayerBounds(r, GetTotalScale(), w, h);
  mRegions.PushLayer(std::make_unique<ILayer>(CreateAPIBitmap(w, h, mScreenScale, mDrawScale), aligned, control,
                                              control ? control->GetRECT() : IRECT()));
  UpdateLayer();
  PathTransformReset();
  PathClipRegion(aligned);
  PathClear();
}

ILayerPtr ISurface::EndLayer()
{
  ILayerPtr layer = mRegions.PopLayer();
  if (layer)
    UpdateLayer();
  return layer;
}

bool ISurface::CheckLayer(const ILayerPtr& layer)
{
  return IFrameRegions::CheckLayer(layer, mScreenScale, mDrawScale);
}

// The layer's bitmap goes through DrawBitmap, as a bitmap of the layer's scales that nobody else
// owns (the shared pointer aliases it without a control block).
void ISurface::DrawLayer(const ILayerPtr& layer, const IBlend* blend)
{
  if (!layer || !layer->GetAPIBitmap())
    return;
  const IBitmap bitmap(std::shared_ptr<APIBitmap>(std::shared_ptr<APIBitmap>(), layer->GetAPIBitmap()), 1, false,
                       std::string());
  PathTransformSave();
  PathTransformReset();
  DrawBitmap(bitmap, layer->Bounds(), 0, 0, blend);
  PathTransformRestore();
}

// The layer's alpha, blurred by a Gaussian-like kernel of ceil(s) taps per side, horizontally then
// vertically, becomes the shadow's mask; the back end tints and composites it.
void ISurface::ApplyLayerDropShadow(ILayerPtr& layer, const IShadow& shadow)
{
  if (!layer || !layer->GetAPIBitmap())
    return;
  std::vector<unsigned char> pixels;
  int stride = 0;
  if (!GetLayerBitmapData(layer, pixels, stride) || pixels.empty())
    return;
  const int w = layer->GetAPIBitmap()->GetWidth(), h = layer->GetAPIBitmap()->GetHeight();
  if (w <= 0 || h <= 0 || stride < 4 * w || pixels.size() < static_cast<std::size_t>(stride) * h)
    return;

  const float s = std::max(1.f, shadow.mBlurSize * static_cast<float>(mScreenScale) * mDrawScale + 1.f);
  const int n = static_cast<int>(std::ceil(s));
  std::vector<int> kernel(static_cast<std::size_t>(n));
  long total = 0;
  for (int i = 0; i < n; ++i)
  {
    kernel[static_cast<std::size_t>(i)] =
        static_cast<int>(std::lround(255.0 * std::exp(-4.5 * double(i) * double(i) / (double(s) * double(s)))));
    total += (i == 0 ? 1 : 2) * kernel[static_cast<std::size_t>(i)];
  }

  const std::size_t size = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  std::vector<unsigned char> alpha(size), across(size), mask(size);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      uint32_t pixel;
      std::memcpy(&pixel, pixels.data() + static_cast<std::size_t>(y) * stride + 4 * static_cast<std::size_t>(x), 4);
      alpha[static_cast<std::size_t>(y) * w + x] = static_cast<unsigned char>(pixel >> 24);
    }
  auto blur = [&](const std::vector<unsigned char>& src, std::vector<unsigned char>& dst, int step, int length,
                  int lines, int lineStep) {
    for (int line = 0; line < lines; ++line)
    {
      const std::size_t base = static_cast<std::size_t>(line) * static_cast<std::size_t>(lineStep);
      for (int at = 0; at < length; ++at)
      {
        long sum = 0;
        for (int t = -(n - 1); t <= n - 1; ++t)
          if (at + t >= 0 && at + t < length)
            sum += kernel[static_cast<std::size_t>(std::abs(t))] *
                src[base + static_cast<std::size_t>(at + t) * static_cast<std::size_t>(step)];
        dst[base + static_cast<std::size_t>(at) * static_cast<std::size_t>(step)] =
            static_cast<unsigned char>(std::min<long>(255, (sum + total / 2) / total));
      }
    }
  };
  blur(alpha, across, 1, w, h, w);
  blur(across, mask, w, h, w, 1);
  ApplyShadowMask(layer, mask, shadow);
}

// --- Attaching ---

void ISurface::PrepareControl(IControl& control)
{
  control.SetDelegate(mDelegate);
  control.SetGraphics(this);
  control.OnInit();
  control.OnResize();
  control.OnRescale();
}

IControl* ISurface::AttachControl(IControl* control, int tag, const char* group)
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
  if (!control)
    return nullptr;
  PrepareControl(*control);
  control->SetTag(tag);
  control->SetGroup(group);
  mControls.Append(control);
  control->OnAttached();
  return control;
}

IControl* ISurface::AttachBackgroundControl(IControl* control)
{
  if (!control)
    return nullptr;
  PrepareControl(*control);
  mControls.Prepend(control);
  return control;
}

void ISurface::AttachBackground(const char* fileName)
{
  const IBitmap bitmap = LoadBitmap(fileName, 1, false);
  AttachBackgroundControl(new IBitmapControl(IRECT(0.f, 0.f, bitmap.W(), bitmap.H()), bitmap));
}

void ISurface::AttachSVGBackground(const char* fileName)
{
  const ISVG svg = LoadSVG(fileName, "px", 72.f);
  AttachBackgroundControl(new ISVGControl(GetBounds(), svg, true));
}

void ISurface::AttachPanelBackground(const IPattern& pattern)
{
  AttachBackgroundControl(new IPanelControl(GetBounds(), pattern));
}

void ISurface::AttachCornerResizer(EUIResizerMode mode, bool layoutOnResize)
{
  AttachCornerResizer(new ICornerResizerControl(GetBounds(), 20.f), mode, layoutOnResize);
}

void ISurface::AttachCornerResizer(ICornerResizerControl* control, EUIResizerMode mode, bool layoutOnResize)
{
  ICornerResizerControl* resizer = mControls.SetCornerResizer(std::unique_ptr<ICornerResizerControl>(control));
  if (!resizer)
    return;
  mGUISizeMode = mode;
  mLayoutOnResize = layoutOnResize;
  PrepareControl(*resizer);
}

void ISurface::AttachPopupMenuControl(const IPopupStyle& style, const IRECT& bounds)
{
  if (!mControls.GetPopupMenu())
    PrepareControl(*mControls.SetPopupMenu(std::make_unique<IPopupMenuControl>(style, bounds)));
}

void ISurface::AttachNoticeControl(const IPopupStyle& style, const IRECT& bounds)
{
  if (!mControls.GetNotice())
    PrepareControl(*mControls.SetNotice(std::make_unique<INoticeControl>(style, bounds)));
}

void ISurface::AttachTextEntryControl()
{
  if (!mControls.GetTextEntry())
    PrepareControl(*mControls.SetTextEntry(std::make_unique<ITextEntryControl>()));
}

void ISurface::AttachBubbleControl(const IText& text)
{
  AttachBubbleControl(new IBubbleControl(text, COLOR_WHITE, COLOR_BLACK));
}

void ISurface::AttachBubbleControl(IBubbleControl* control)
{
  if (IBubbleControl* bubble = mControls.AddBubble(std::unique_ptr<IBubbleControl>(control)))
    PrepareControl(*bubble);
}

void ISurface::ShowFPSDisplay(bool enable)
{
  IFPSDisplayControl* perfDisplay = mControls.GetPerfDisplay();
  if (enable && !perfDisplay)
    PrepareControl(
        *mControls.SetPerfDisplay(std::make_unique<IFPSDisplayControl>(IRECT(10.f, 10.f, 210.f, 60.f), "Frame Time")));
  else if (!enable && perfDisplay)
  {
    ForgetControl(perfDisplay);
    mControls.ErasePerfDisplay();
    mInput.ClearMouseOver();
  }
  SetAllControlsDirty();
}

// --- Removing ---

void ISurface::ForgetControl(IControl* control)
{
  mInput.Forget(control);
  if (mInTextEntry == control)
  {
    mInTextEntry = nullptr;
    mTextEntryValIdx = -1;
  }
  if (mInPopupMenu == control)
  {
    mInPopupMenu = nullptr;
    mPopupMenuValIdx = -1;
  }
}

IControl* ISurface::RemoveControlWithTag(int tag)
{
  IControl* control = mControls.ReleaseWithTag(tag);
  if (control)
    SetAllControlsDirty();
  return control;
}

void ISurface::RemoveControl(IControl* control)
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
  ForgetControl(control);
  mControls.Erase(control);
  SetAllControlsDirty();
}

void ISurface::RemoveControl(int idx)
{
  if (IControl* control = GetControl(idx))
    RemoveControl(control);
}

void ISurface::RemoveControls(int fromIdx)
{
  for (int i = NControls() - 1; i >= std::max(0, fromIdx); --i)
  {
    IControl* control = GetControl(i);
    ForgetControl(control);
    mControls.Erase(control);
  }
  SetAllControlsDirty();
}

// Pending menu and text-entry references go too: a late completion must not reach a deleted
// control.
void ISurface::RemoveAllControls()
{
  ReleaseMouseCapture();
  mInput.ClearMouseOver();
  mInTextEntry = nullptr;
  mTextEntryValIdx = -1;
  mInPopupMenu = nullptr;
  mPopupMenuValIdx = -1;
  mControls.Clear();
}

// --- Lookup and iteration ---

IControl* ISurface::GetControl(int idx) const
{
  return mControls.Get(idx);
}

IControl* ISurface::GetControlWithTag(int tag) const
{
  return mControls.GetWithTag(tag);
}

int ISurface::GetControlIdx(const IControl* control) const
{
  return mControls.IndexOf(control);
}

void ISurface::ForAllControlsFunc(const IControlFunction& func)
{
  mControls.ForAll(func);
}

void ISurface::ForStandardControlsFunc(const IControlFunction& func)
{
  mControls.ForListed(func);
}

void ISurface::ForControlWithParam(int paramIdx, const IControlFunction& func)
{
  mControls.ForParam(paramIdx, func);
}

void ISurface::ForControlInGroup(const char* group, const IControlFunction& func)
{
  mControls.ForGroup(group, func);
}

void ISurface::HideControl(int paramIdx, bool hide)
{
  mControls.ForParam(paramIdx, [hide](IControl* control) { control->Hide(hide); });
}

void ISurface::DisableControl(int paramIdx, bool disable)
{
  mControls.ForParam(paramIdx, [disable](IControl* control) { control->SetDisabled(disable); });
}

void ISurface::UpdatePeers(IControl* caller, int valIdx)
{
  if (!caller)
    return;
  const int paramIdx = caller->GetParamIdx(valIdx);
  if (paramIdx < 0)
    return;
  const double value = caller->GetValue(valIdx);
  mControls.ForParam(paramIdx, [caller, paramIdx, value](IControl* control) {
    if (control != caller)
      control->SetValueFromDelegate(value, control->LinkedToParam(paramIdx));
  });
}

void ISurface::AssignParamNameToolTips()
{
  mControls.ForListed([](IControl* control) {
    if (const IParam* param = control->GetParam(0))
      control->SetTooltip(param->GetNameForHost());
  });
}

// --- Size and scale ---

// A scale that is not a finite number is refused; everything else is brought into the limits.
void ISurface::Resize(int w, int h, float scale)
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
  if (!std::isfinite(scale))
    return;
  w = ClampTo(w, mMinWidth, mMaxWidth);
  h = ClampTo(h, mMinHeight, mMaxHeight);
  scale = ClampTo(scale, mMinScale, mMaxScale);
  if (w == mWidth && h == mHeight && scale == mDrawScale)
    return;
  ReleaseMouseCapture();
  mDrawScale = scale;
  mWidth = w;
  mHeight = h;
  if (ICornerResizerControl* resizer = mControls.GetCornerResizer())
    resizer->OnRescale();
  const int platformScale = GetPlatformWindowScale();
  PlatformResize(mDelegate.EditorResizeFromUI(static_cast<int>(float(w) * scale) * platformScale,
                                              static_cast<int>(float(h) * scale) * platformScale));
  mControls.ForAll([](IControl* control) { control->OnResize(); });
  SetAllControlsDirty();
  DrawResize();
  if (mLayoutOnResize)
    mDelegate.LayoutUI(this);
}

// Limits that do not form a range (minimum above maximum, sizes below 1, scales that are not
// positive) are refused.
void ISurface::SetSizeLimits(int minW, int maxW, int minH, int maxH)
{
  if (minW < 1 || minH < 1 || minW > maxW || minH > maxH)
    return;
  mMinWidth = minW;
  mMaxWidth = maxW;
  mMinHeight = minH;
  mMaxHeight = maxH;
}

void ISurface::SetScaleLimits(float minScale, float maxScale)
{
  if (!(minScale > 0.f) || !(maxScale >= minScale) || !std::isfinite(maxScale))
    return;
  mMinScale = minScale;
  mMaxScale = maxScale;
}

// A screen scale below 1 is refused.
void ISurface::SetScreenScale(int scale)
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
  if (scale < 1)
    return;
  mScreenScale = scale;
  const int platformScale = GetPlatformWindowScale();
  PlatformResize(mDelegate.EditorResizeFromUI(WindowWidth() * platformScale, WindowHeight() * platformScale));
  mControls.ForAll([](IControl* control) { control->OnRescale(); });
  SetAllControlsDirty();
  DrawResize();
}

// In scale mode the new scale maps the point pressed onto the pointer; a press on the editor's
// left or top edge (at 0) gives no ratio, and the scale is then left as it is.
void ISurface::OnDragResize(float x, float y)
{
  if (mGUISizeMode == EUIResizerMode::kSize)
  {
    Resize(static_cast<int>(x), static_cast<int>(y), mDrawScale);
    return;
  }
  float downX = 0.f, downY = 0.f;
  mInput.GetMouseDownPoint(downX, downY);
  if (!(downX > 0.f) || !(downY > 0.f))
    return;
  const float scale = std::min(x * mDrawScale / downX, y * mDrawScale / downY);
  Resize(mWidth, mHeight, scale);
}

void ISurface::EndDragResize()
{
  mResizingInProcess = false;
  if (mGUISizeMode == EUIResizerMode::kScale)
  {
    mControls.ForAll([](IControl* control) { control->OnRescale(); });
    SetAllControlsDirty();
  }
}

// --- Flags ---

void ISurface::EnableTooltips(bool enable)
{
  mEnableTooltips = enable;
  if (enable)
    mInput.EnableMouseOver(true);
}

void ISurface::SetStrictDrawing(bool strict)
{
  mRegions.SetStrict(strict);
  SetAllControlsDirty();
}

ECursor ISurface::SetMouseCursor(ECursor cursor)
{
  const ECursor previous = mCurrentCursor;
  mCurrentCursor = cursor;
  return previous;
}

// --- Menus, text entry and bubbles ---

void ISurface::CreatePopupMenu(IControl& control, IPopupMenu& menu, const IRECT& bounds, int valIdx)
{
  DoCreatePopupMenu(control, menu, bounds, valIdx, false);
}

void ISurface::DoCreatePopupMenu(IControl& control, IPopupMenu& menu, const IRECT& bounds, int valIdx, bool isContext)
{
  ReleaseMouseCapture();
  mInPopupMenu = &control;
  mPopupMenuValIdx = valIdx;
  mIsContextMenu = isContext;
  if (IPopupMenuControl* menuControl = mControls.GetPopupMenu())
  {
    menuControl->CreatePopupMenu(menu, bounds);
    return;
  }
  bool isAsync = false;
  IPopupMenu* result = CreatePlatformPopupMenu(menu, bounds, isAsync);
  if (!isAsync)
    SetControlValueAfterPopupMenu(result);
}

bool ISurface::OpenContextMenu(IControl& control, float x, float y)
{
  mPromptPopupMenu->Clear();
  control.CreateContextMenu(*mPromptPopupMenu);
  if (mPromptPopupMenu->NItems() == 0)
    return false;
  DoCreatePopupMenu(control, *mPromptPopupMenu, IRECT(x, y, x, y), -1, true);
  return true;
}

// The pending control is forgotten before it hears the result, so that it may open another menu.
void ISurface::SetControlValueAfterPopupMenu(IPopupMenu* menu)
{
  IControl* control = mInPopupMenu;
  if (!control)
    return;
  const int valIdx = mPopupMenuValIdx;
  mInPopupMenu = nullptr;
  mPopupMenuValIdx = -1;
  const int chosen = menu ? menu->GetChosenItemIdx() : -1;
  if (mIsContextMenu)
    control->OnContextSelection(chosen);
  else
    control->OnPopupMenuSelection(chosen == -1 ? nullptr : menu, valIdx);
}

// Enumerations and switches with value texts get a menu of those texts; everything else a text
// field holding the value.
void ISurface::PromptUserInput(IControl& control, const IRECT& bounds, int valIdx)
{
  const IParam* param = control.GetParam(valIdx);
  if (!param)
    return;
  const bool listed = param->Type() == IParam::kTypeEnum || param->Type() == IParam::kTypeBool;
  if (listed && param->NDisplayTexts() > 0)
  {
    mPromptPopupMenu->Clear();
    std::string current;
    param->GetDisplayForHost(current, true);
    for (int i = 0; i < param->NDisplayTexts(); ++i)
    {
      const char* text = param->GetDisplayTextAtIdx(i);
      IPopupMenu::Item* item = mPromptPopupMenu->AddItem(text);
      if (current == text)
        item->SetTicked(true);
    }
    mPromptPopupMenu->SetRootTitle(param->GetNameForHost());
    DoCreatePopupMenu(control, *mPromptPopupMenu, bounds, valIdx, false);
    return;
  }
  std::string current;
  param->GetDisplayForHost(param->GetValue(), false, current, false);
  if (control.GetPromptShowsParamLabel())
  {
    current += ' ';
    current += param->GetLabelForHost();
  }
  mInTextEntry = &control;
  mTextEntryValIdx = valIdx;
  const int paramIdx = control.GetParamIdx(valIdx);
  if (ITextEntryControl* textEntry = mControls.GetTextEntry())
    textEntry->CreateTextEntry(paramIdx, control.GetText(), bounds, control.GetTextEntryLength(), current.c_str());
  else
    CreatePlatformTextEntry(paramIdx, control.GetText(), bounds, control.GetTextEntryLength(), current.c_str());
  control.SetDirty(false);
}

void ISurface::CreateTextEntry(IControl& control, const IText& text, const IRECT& bounds, const char* str, int valIdx)
{
  mInTextEntry = &control;
  mTextEntryValIdx = valIdx;
  const int paramIdx = valIdx < 0 ? -1 : control.GetParamIdx(valIdx);
  if (ITextEntryControl* textEntry = mControls.GetTextEntry())
    textEntry->CreateTextEntry(paramIdx, text, bounds, control.GetTextEntryLength(), str ? str : "");
  else
    CreatePlatformTextEntry(paramIdx, text, bounds, control.GetTextEntryLength(), str ? str : "");
  control.SetDirty(false);
}

// As with menus, the pending control is forgotten before it hears the result.
void ISurface::SetControlValueAfterTextEdit(const char* str)
{
  IControl* control = mInTextEntry;
  if (!control)
    return;
  const int valIdx = mTextEntryValIdx;
  mInTextEntry = nullptr;
  mTextEntryValIdx = -1;
  if (!str)
    str = "";
  const IParam* param = valIdx < 0 ? nullptr : control->GetParam(valIdx);
  if (!param)
  {
    control->OnTextEntryCompletion(str, valIdx);
    return;
  }
  double plain = 0.0;
  if (TypedValue(*param, str, plain))
    control->SetValueFromUserInput(param->ValueToNorm(plain), valIdx);
}

// What a user types into a value field: one of the parameter's value texts, or a number whose
// decimal separator may be a comma (as the desktop's locale may have taught the user). A field
// emptied, or holding no number, leaves the value as it was rather than setting the minimum.
bool ISurface::TypedValue(const IParam& param, const char* str, double& plain)
{
  if (param.MapDisplayText(str, &plain))
    return true;
  std::string number = str;
  std::replace(number.begin(), number.end(), ',', '.');
  double parsed = 0.0;
  if (!ReadNumber(number.c_str(), parsed))
    return false;
  plain = param.StringToValue(number.c_str());
  return true;
}

void ISurface::ShowBubbleControl(IControl* caller, float x, float y, const char* str, EDirection dir,
                                 IRECT minimumContentBounds)
{
  if (IBubbleControl* bubble = mControls.GetBubble())
    bubble->ShowBubble(caller, x, y, str, dir, minimumContentBounds);
}

void ISurface::ShowNotice(const char* text)
{
  AttachNoticeControl();
  mControls.GetNotice()->Show(text);
}

} // namespace plug::gfx
