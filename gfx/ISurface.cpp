#include "gfx/ISurface.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>

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
  if (mPerfDisplay && mPrevTimestamp > 0.0)
    mPerfDisplay->Update(static_cast<float>(now - mPrevTimestamp));
  mPrevTimestamp = now;
}

bool ISurface::IsDirty(IRECTList& rects)
{
  mDelegate.ApplyPendingParameterValues();
  if (mDisplayTickFunc)
    mDisplayTickFunc();
  for (int i = 0; i < NAllControls(); ++i)
    GetAnyControl(i)->Animate();
  bool dirty = false;
  for (int i = 0; i < NAllControls(); ++i)
  {
    IControl* control = GetAnyControl(i);
    if (!control->IsDirty())
      continue;
    dirty = true;
    if (!control->GetRECT().Empty())
      rects.Add(control->GetRECT().GetPadded(0.75f));
  }
  return dirty;
}

void ISurface::Draw(IRECTList& rects)
{
  if (rects.Size() == 0)
    return;
  const float scale = GetTotalScale();
  BeginFrame();
  if (mStrict)
    DrawRegion(rects.Bounds().GetPixelAligned(scale), scale);
  else
  {
    rects.PixelAlign(scale);
    rects.Optimize();
    for (int i = 0; i < rects.Size(); ++i)
      DrawRegion(rects.Get(i), scale);
  }
  EndFrame();
}

void ISurface::DrawRegion(const IRECT& region, float scale)
{
  for (int i = 0; i < NAllControls(); ++i)
    DrawControl(GetAnyControl(i), region, scale);
}

// Hidden controls are skipped, except the background; so are controls without a rectangle (an
// idle text field).
void ISurface::DrawControl(IControl* control, const IRECT& region, float scale)
{
  if ((control->IsHidden() && control != GetControl(0)) || control->GetRECT().Empty())
    return;
  const IRECT clip = region.Intersect(control->GetRECT().GetPadded(0.75f).GetPixelAligned(scale));
  if (clip.W() <= 0.f || clip.H() <= 0.f)
    return;
  PrepareRegion(clip);
  control->Draw(*this);
  CompleteRegion(clip);
}

void ISurface::SetAllControlsDirty()
{
  for (int i = 0; i < NAllControls(); ++i)
    GetAnyControl(i)->SetDirty(false, -1);
}

void ISurface::SetAllControlsClean()
{
  for (int i = 0; i < NAllControls(); ++i)
    GetAnyControl(i)->SetClean();
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
  const float scale = GetTotalScale();
  const IRECT aligned = r.GetPixelAligned(scale);
  const int w = std::max(1, static_cast<int>(std::lround(aligned.W() * scale)));
  const int h = std::max(1, static_cast<int>(std::lround(aligned.H() * scale)));
  mLayers.push_back(std::make_unique<ILayer>(CreateAPIBitmap(w, h, mScreenScale, mDrawScale), aligned, control,
                                             control ? control->GetRECT() : IRECT()));
  UpdateLayer();
  PathTransformReset();
  PathClipRegion(aligned);
  PathClear();
}

ILayerPtr ISurface::EndLayer()
{
  if (mLayers.empty())
    return nullptr;
  ILayerPtr layer = std::move(mLayers.back());
  mLayers.pop_back();
  UpdateLayer();
  return layer;
}

bool ISurface::CheckLayer(const ILayerPtr& layer)
{
  if (!layer || !layer->GetAPIBitmap())
    return false;
  if (const IControl* control = layer->GetControl(); control && control->GetRECT() != layer->mControlRECT)
  {
    layer->mControlRECT = control->GetRECT();
    layer->Invalidate();
  }
  if (layer->IsInvalid())
    return false;
  const APIBitmap& bitmap = *layer->GetAPIBitmap();
  return bitmap.GetScale() == mScreenScale && bitmap.GetDrawScale() == mDrawScale;
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
  if (!control)
    return nullptr;
  PrepareControl(*control);
  control->SetTag(tag);
  control->SetGroup(group);
  mControls.emplace_back(control);
  control->OnAttached();
  return control;
}

IControl* ISurface::AttachBackgroundControl(IControl* control)
{
  if (!control)
    return nullptr;
  PrepareControl(*control);
  mControls.emplace(mControls.begin(), control);
  UpdateMouseOverIdx();
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
  std::unique_ptr<ICornerResizerControl> owned(control);
  if (mCornerResizer || !owned)
    return;
  mCornerResizer = std::move(owned);
  mGUISizeMode = mode;
  mLayoutOnResize = layoutOnResize;
  PrepareControl(*mCornerResizer);
}

void ISurface::AttachPopupMenuControl(const IPopupStyle& style, const IRECT& bounds)
{
  if (mPopupControl)
    return;
  mPopupControl = std::make_unique<IPopupMenuControl>(style, bounds);
  PrepareControl(*mPopupControl);
}

void ISurface::AttachNoticeControl(const IPopupStyle& style, const IRECT& bounds)
{
  if (mNoticeControl)
    return;
  mNoticeControl = std::make_unique<INoticeControl>(style, bounds);
  PrepareControl(*mNoticeControl);
}

void ISurface::AttachTextEntryControl()
{
  if (mTextEntryControl)
    return;
  mTextEntryControl = std::make_unique<ITextEntryControl>();
  PrepareControl(*mTextEntryControl);
}

void ISurface::AttachBubbleControl(const IText& text)
{
  AttachBubbleControl(new IBubbleControl(text, COLOR_WHITE, COLOR_BLACK));
}

void ISurface::AttachBubbleControl(IBubbleControl* control)
{
  if (!control)
    return;
  mBubbleControls.emplace_back(control);
  PrepareControl(*control);
}

void ISurface::ShowFPSDisplay(bool enable)
{
  if (enable && !mPerfDisplay)
  {
    mPerfDisplay = std::make_unique<IFPSDisplayControl>(IRECT(10.f, 10.f, 210.f, 60.f), "Frame Time");
    PrepareControl(*mPerfDisplay);
  }
  else if (!enable && mPerfDisplay)
  {
    ForgetControl(mPerfDisplay.get());
    mPerfDisplay.reset();
    mMouseOver = nullptr;
    mMouseOverIdx = -1;
  }
  SetAllControlsDirty();
}

// --- Removing ---

void ISurface::ForgetControl(IControl* control)
{
  if (ControlIsCaptured(control))
    EndCaptures(true);
  if (mMouseOver == control)
  {
    mMouseOver = nullptr;
    mMouseOverIdx = -1;
  }
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

void ISurface::UpdateMouseOverIdx()
{
  mMouseOverIdx = mMouseOver ? GetControlIdx(mMouseOver) : -1;
}

IControl* ISurface::RemoveControlWithTag(int tag)
{
  for (auto it = mControls.begin(); it != mControls.end(); ++it)
  {
    if ((*it)->GetTag() != tag)
      continue;
    IControl* control = it->release();
    mControls.erase(it);
    UpdateMouseOverIdx();
    SetAllControlsDirty();
    return control;
  }
  return nullptr;
}

void ISurface::RemoveControl(IControl* control)
{
  ForgetControl(control);
  const int idx = GetControlIdx(control);
  if (idx >= 0)
    mControls.erase(mControls.begin() + idx);
  UpdateMouseOverIdx();
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
    ForgetControl(GetControl(i));
    mControls.erase(mControls.begin() + i);
  }
  UpdateMouseOverIdx();
  SetAllControlsDirty();
}

// Pending menu and text-entry references go too: a late completion must not reach a deleted
// control.
void ISurface::RemoveAllControls()
{
  ReleaseMouseCapture();
  mMouseOver = nullptr;
  mMouseOverIdx = -1;
  mInTextEntry = nullptr;
  mTextEntryValIdx = -1;
  mInPopupMenu = nullptr;
  mPopupMenuValIdx = -1;
  mPopupControl.reset();
  mNoticeControl.reset();
  mTextEntryControl.reset();
  mCornerResizer.reset();
  mPerfDisplay.reset();
  while (!mBubbleControls.empty())
    mBubbleControls.pop_back();
  while (!mControls.empty())
    mControls.pop_back();
}

// --- Lookup and iteration ---

IControl* ISurface::GetControl(int idx) const
{
  if (idx < 0 || idx >= NControls())
    return nullptr;
  return mControls[static_cast<std::size_t>(idx)].get();
}

IControl* ISurface::GetControlWithTag(int tag) const
{
  for (const auto& control : mControls)
    if (control->GetTag() == tag)
      return control.get();
  return nullptr;
}

int ISurface::GetControlIdx(const IControl* control) const
{
  for (int i = 0; i < NControls(); ++i)
    if (mControls[static_cast<std::size_t>(i)].get() == control)
      return i;
  return -1;
}

int ISurface::NAllControls() const
{
  return NControls() + (mPerfDisplay ? 1 : 0) + (mCornerResizer ? 1 : 0) + (mTextEntryControl ? 1 : 0) +
      (mPopupControl ? 1 : 0) + (mNoticeControl ? 1 : 0) + static_cast<int>(mBubbleControls.size());
}

IControl* ISurface::GetAnyControl(int i) const
{
  if (i < NControls())
    return GetControl(i);
  i -= NControls();
  IControl* const specials[] = {mPerfDisplay.get(), mCornerResizer.get(), mTextEntryControl.get(), mPopupControl.get(),
                                mNoticeControl.get()};
  for (IControl* special : specials)
  {
    if (!special)
      continue;
    if (i == 0)
      return special;
    --i;
  }
  return i < static_cast<int>(mBubbleControls.size()) ? mBubbleControls[static_cast<std::size_t>(i)].get() : nullptr;
}

void ISurface::ForAllControlsFunc(const IControlFunction& func)
{
  for (int i = 0; i < NAllControls(); ++i)
    func(GetAnyControl(i));
}

void ISurface::ForStandardControlsFunc(const IControlFunction& func)
{
  for (int i = 0; i < NControls(); ++i)
    func(GetControl(i));
}

void ISurface::ForControlWithParam(int paramIdx, const IControlFunction& func)
{
  for (int i = 0; i < NControls(); ++i)
    if (GetControl(i)->LinkedToParam(paramIdx) > -1)
      func(GetControl(i));
}

void ISurface::ForControlInGroup(const char* group, const IControlFunction& func)
{
  for (int i = 0; group && i < NControls(); ++i)
  {
    const std::string& g = GetControl(i)->GetGroup();
    if (!g.empty() && g == group)
      func(GetControl(i));
  }
}

void ISurface::HideControl(int paramIdx, bool hide)
{
  ForControlWithParam(paramIdx, [hide](IControl* control) { control->Hide(hide); });
}

void ISurface::DisableControl(int paramIdx, bool disable)
{
  ForControlWithParam(paramIdx, [disable](IControl* control) { control->SetDisabled(disable); });
}

void ISurface::UpdatePeers(IControl* caller, int valIdx)
{
  if (!caller)
    return;
  const int paramIdx = caller->GetParamIdx(valIdx);
  if (paramIdx < 0)
    return;
  const double value = caller->GetValue(valIdx);
  for (int i = 0; i < NControls(); ++i)
  {
    IControl* control = GetControl(i);
    const int linked = control->LinkedToParam(paramIdx);
    if (control != caller && linked > -1)
      control->SetValueFromDelegate(value, linked);
  }
}

void ISurface::AssignParamNameToolTips()
{
  for (int i = 0; i < NControls(); ++i)
    if (const IParam* param = GetControl(i)->GetParam(0))
      GetControl(i)->SetTooltip(param->GetNameForHost());
}

// --- Size and scale ---

// A scale that is not a finite number is refused; everything else is brought into the limits.
void ISurface::Resize(int w, int h, float scale)
{
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
  if (mCornerResizer)
    mCornerResizer->OnRescale();
  const int platformScale = GetPlatformWindowScale();
  PlatformResize(mDelegate.EditorResizeFromUI(static_cast<int>(float(w) * scale) * platformScale,
                                              static_cast<int>(float(h) * scale) * platformScale));
  for (int i = 0; i < NAllControls(); ++i)
    GetAnyControl(i)->OnResize();
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
  if (scale < 1)
    return;
  mScreenScale = scale;
  const int platformScale = GetPlatformWindowScale();
  PlatformResize(mDelegate.EditorResizeFromUI(WindowWidth() * platformScale, WindowHeight() * platformScale));
  for (int i = 0; i < NAllControls(); ++i)
    GetAnyControl(i)->OnRescale();
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
  if (!(mMouseDownX > 0.f) || !(mMouseDownY > 0.f))
    return;
  const float scale = std::min(x * mDrawScale / mMouseDownX, y * mDrawScale / mMouseDownY);
  Resize(mWidth, mHeight, scale);
}

void ISurface::EndDragResize()
{
  mResizingInProcess = false;
  if (mGUISizeMode == EUIResizerMode::kScale)
  {
    for (int i = 0; i < NAllControls(); ++i)
      GetAnyControl(i)->OnRescale();
    SetAllControlsDirty();
  }
}

// --- Flags ---

void ISurface::EnableTooltips(bool enable)
{
  mEnableTooltips = enable;
  if (enable)
    mEnableMouseOver = true;
}

void ISurface::SetStrictDrawing(bool strict)
{
  mStrict = strict;
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
  if (mPopupControl)
  {
    mPopupControl->CreatePopupMenu(menu, bounds);
    return;
  }
  bool isAsync = false;
  IPopupMenu* result = CreatePlatformPopupMenu(menu, bounds, isAsync);
  if (!isAsync)
    SetControlValueAfterPopupMenu(result);
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
  if (mTextEntryControl)
    mTextEntryControl->CreateTextEntry(paramIdx, control.GetText(), bounds, control.GetTextEntryLength(),
                                       current.c_str());
  else
    CreatePlatformTextEntry(paramIdx, control.GetText(), bounds, control.GetTextEntryLength(), current.c_str());
  control.SetDirty(false);
}

void ISurface::CreateTextEntry(IControl& control, const IText& text, const IRECT& bounds, const char* str, int valIdx)
{
  mInTextEntry = &control;
  mTextEntryValIdx = valIdx;
  const int paramIdx = valIdx < 0 ? -1 : control.GetParamIdx(valIdx);
  if (mTextEntryControl)
    mTextEntryControl->CreateTextEntry(paramIdx, text, bounds, control.GetTextEntryLength(), str ? str : "");
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
  if (!mBubbleControls.empty())
    mBubbleControls.front()->ShowBubble(caller, x, y, str, dir, minimumContentBounds);
}

void ISurface::ShowNotice(const char* text)
{
  AttachNoticeControl();
  mNoticeControl->Show(text);
}

} // namespace plug::gfx
