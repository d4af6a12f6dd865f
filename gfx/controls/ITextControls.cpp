#include "gfx/controls/ITextControls.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "gfx/ISurface.h"
#include "plug/core/IParam.h"

namespace plug::gfx {

// --- Text ---

ITextControl::ITextControl(const IRECT& bounds, const char* str, const IText& text, const IColor& bgColor,
                           bool setBoundsBasedOnStr)
  : IControl(bounds),
    mStr(str ? str : ""),
    mBGColor(bgColor),
    mSetBoundsBasedOnStr(setBoundsBasedOnStr)
{
  mText = text;
  mIgnoreMouse = true;
}

void ITextControl::Draw(ISurface& g)
{
  if (mBGColor.A > 0)
    g.FillRect(mBGColor, mRECT, &mBlend);
  if (!mStr.empty() && g.GetControlInTextEntry() != this)
    g.DrawText(mText, mStr.c_str(), mRECT, &mBlend);
}

void ITextControl::OnInit()
{
  if (mSetBoundsBasedOnStr)
    SetBoundsBasedOnStr();
}

void ITextControl::SetStr(const char* str)
{
  if (!str)
    str = "";
  if (mStr == str)
    return;
  mStr = str;
  if (mSetBoundsBasedOnStr)
    SetBoundsBasedOnStr();
  SetDirty(false);
}

void ITextControl::SetStrFmt(int maxLength, const char* format, ...)
{
  if (maxLength < 0 || !format)
    return;
  std::vector<char> buffer(static_cast<std::size_t>(maxLength) + 1);
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  mStr = buffer.data();
  SetDirty(false);
}

void ITextControl::SetBoundsBasedOnStr()
{
  if (!GetUI())
    return;
  IRECT measured = mRECT;
  GetUI()->MeasureText(mText, mStr.c_str(), measured);
  SetTargetAndDrawRECTs(mRECT.GetCentredInside(measured.W(), measured.H()));
}

// --- Link ---

IURLControl::IURLControl(const IRECT& bounds, const char* str, const char* url, const IText& text,
                         const IColor& bgColor, const IColor& mouseOverColor, const IColor& clickedColor)
  : ITextControl(bounds, str, text, bgColor),
    mURL(url ? url : ""),
    mOriginalColor(text.mFGColor),
    mMouseOverColor(mouseOverColor),
    mClickedColor(clickedColor)
{
  mIgnoreMouse = false;
}

void IURLControl::Draw(ISurface& g)
{
  mText.mFGColor = mMouseIsOver ? mMouseOverColor : (mClicked ? mClickedColor : mOriginalColor);
  ITextControl::Draw(g);
  if (mStr.empty())
    return;
  IRECT textBounds = mRECT;
  g.MeasureText(mText, mStr.c_str(), textBounds);
  g.DrawLine(mText.mFGColor, textBounds.L, textBounds.B, textBounds.R, textBounds.B, &mBlend);
}

void IURLControl::OnMouseDown(float, float, const IMouseMod&)
{
  GetUI()->OpenURL(mURL.c_str());
  GetUI()->ReleaseMouseCapture();
  mClicked = true;
  SetDirty(false);
}

void IURLControl::OnMouseOver(float x, float y, const IMouseMod& mod)
{
  GetUI()->SetMouseCursor(ECursor::kHand);
  IControl::OnMouseOver(x, y, mod);
}

void IURLControl::OnMouseOut()
{
  GetUI()->SetMouseCursor(ECursor::kArrow);
  IControl::OnMouseOut();
}

// --- Toggle ---

ITextToggleControl::ITextToggleControl(const IRECT& bounds, int paramIdx, const char* offText, const char* onText,
                                       const IText& text, const IColor& bgColor)
  : ITextControl(bounds, offText, text, bgColor),
    mOffText(offText ? offText : ""),
    mOnText(onText ? onText : "")
{
  SetParamIdx(paramIdx);
  mIgnoreMouse = false;
  mDblAsSingleClick = true;
}

void ITextToggleControl::OnMouseDown(float, float, const IMouseMod&)
{
  SetValue(GetValue() < 0.5 ? 1.0 : 0.0);
  SetDirty(true);
}

void ITextToggleControl::SetDirty(bool triggerAction, int valIdx)
{
  IControl::SetDirty(triggerAction, valIdx);
  SetStr(GetValue() > 0.5 ? mOnText.c_str() : mOffText.c_str());
}

// --- Caption ---

ICaptionControl::ICaptionControl(const IRECT& bounds, int paramIdx, const IText& text, const IColor& bgColor,
                                 bool showParamLabel)
  : ITextControl(bounds, "", text, bgColor),
    mShowParamLabel(showParamLabel)
{
  SetParamIdx(paramIdx);
  mIgnoreMouse = false;
  mDisablePrompt = false;
  mDblAsSingleClick = true;
}

void ICaptionControl::UpdateStr()
{
  const IParam* param = GetParam();
  if (!param)
    return;
  std::string display;
  param->GetDisplayForHost(display);
  if (mShowParamLabel && *param->GetLabelForHost())
  {
    display += ' ';
    display += param->GetLabelForHost();
  }
  SetStr(display.c_str());
}

void ICaptionControl::OnInit()
{
  ITextControl::OnInit();
  UpdateStr();
}

void ICaptionControl::SetDirty(bool triggerAction, int valIdx)
{
  IControl::SetDirty(triggerAction, valIdx);
  UpdateStr();
}

void ICaptionControl::OnResize()
{
  const IParam* param = GetParam();
  if (param && param->Type() == IParam::kTypeEnum)
    mTri = IRECT(mRECT.R - 13.f, mRECT.MH() - 2.5f, mRECT.R - 5.f, mRECT.MH() + 2.5f);
  else
    mTri = IRECT();
  SetDirty(false);
}

void ICaptionControl::OnMouseDown(float, float, const IMouseMod& mod)
{
  if (mod.L || mod.R)
    PromptUserInput(mRECT, 0);
}

void ICaptionControl::Draw(ISurface& g)
{
  ITextControl::Draw(g);
  if (!mTri.Empty())
    g.FillTriangle(mMouseIsOver ? mTriangleMouseOverColor : mTriangleColor, mTri.L, mTri.T, mTri.R, mTri.T, mTri.MW(),
                   mTri.B, &mBlend);
}

// --- Place holder ---

PlaceHolder::PlaceHolder(const IRECT& bounds, const char* str)
  : ITextControl(bounds, str, IText(), COLOR_WHITE)
{
  mIgnoreMouse = false;
}

void PlaceHolder::Draw(ISurface& g)
{
  g.FillRect(mBGColor, mRECT, &mBlend);
  g.DrawRect(COLOR_BLACK, mRECT, &mBlend);
  const IText corner = mText.WithSize(10.f).WithAlign(EAlign::kNear).WithVAlign(EVAlign::kTop);
  g.DrawText(corner, mPositionStr.c_str(), mRECT.GetPadded(-2.f), &mBlend);
  g.DrawText(corner.WithVAlign(EVAlign::kBottom), mSizeStr.c_str(), mRECT.GetPadded(-2.f), &mBlend);
  if (g.GetControlInTextEntry() != this)
    g.DrawText(mText, mStr.c_str(), mRECT, &mBlend);
}

void PlaceHolder::OnResize()
{
  char text[64];
  std::snprintf(text, sizeof text, "%0.1f, %0.1f", mRECT.L, mRECT.T);
  mPositionStr = text;
  std::snprintf(text, sizeof text, "%0.1f x %0.1f", mRECT.W(), mRECT.H());
  mSizeStr = text;
  SetDirty(false);
}

void PlaceHolder::OnMouseDblClick(float, float, const IMouseMod&)
{
  GetUI()->CreateTextEntry(*this, mText, mRECT, mStr.c_str(), -1);
}

void PlaceHolder::OnTextEntryCompletion(const char* str, int)
{
  SetStr(str);
}

} // namespace plug::gfx
