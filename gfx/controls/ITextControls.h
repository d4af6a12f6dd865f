#pragma once

// Controls that show a line of text.
//   ITextControl       a text on a background; never takes the mouse
//   IURLControl        a link: opens its address in the desktop's browser
//   ITextToggleControl a two-state switch that shows one text per state
//   ICaptionControl    the bound parameter's value; a click opens its menu or text field
//   PlaceHolder        a stand-in that shows where it sits and how big it is

#include <string>

#include "gfx/IControl.h"

namespace plug::gfx {

class ITextControl : public IControl
{
public:
  ITextControl(const IRECT& bounds, const char* str = "", const IText& text = IText(),
               const IColor& bgColor = COLOR_TRANSPARENT, bool setBoundsBasedOnStr = false);

  // The background, then the text unless it is empty or a text field opened for this control
  // covers it.
  void Draw(ISurface& g) override;
  void OnInit() override;

  // Nothing when equal; else stores it (re-measured when sized to the text) and asks for a redraw.
  virtual void SetStr(const char* str);
  // At most maxLength characters of the formatted text.
  void SetStrFmt(int maxLength, const char* format, ...);
  const char* GetStr() const { return mStr.c_str(); }
  void SetBoundsBasedOnStr();
  void SetBGColor(const IColor& color) { mBGColor = color; }

protected:
  std::string mStr;
  IColor mBGColor;
  bool mSetBoundsBasedOnStr;
};

class IURLControl : public ITextControl
{
public:
  // The text style's colour is the colour before the link was clicked.
  IURLControl(const IRECT& bounds, const char* str, const char* url, const IText& text = IText(),
              const IColor& bgColor = COLOR_TRANSPARENT, const IColor& mouseOverColor = COLOR_WHITE,
              const IColor& clickedColor = COLOR_BLACK);

  // Underlined, in the hover colour while hovered, else the clicked colour once clicked.
  void Draw(ISurface& g) override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseOver(float x, float y, const IMouseMod& mod) override;
  void OnMouseOut() override;

  bool GetClicked() const { return mClicked; }

private:
  std::string mURL;
  IColor mOriginalColor;
  IColor mMouseOverColor;
  IColor mClickedColor;
  bool mClicked = false;
};

class ITextToggleControl : public ITextControl
{
public:
  ITextToggleControl(const IRECT& bounds, int paramIdx = -1, const char* offText = "OFF", const char* onText = "ON",
                     const IText& text = IText(), const IColor& bgColor = COLOR_TRANSPARENT);

  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void SetDirty(bool triggerAction = true, int valIdx = -1) override;

private:
  std::string mOffText;
  std::string mOnText;
};

class ICaptionControl : public ITextControl
{
public:
  ICaptionControl(const IRECT& bounds, int paramIdx, const IText& text = IText(),
                  const IColor& bgColor = COLOR_TRANSPARENT, bool showParamLabel = true);

  void Draw(ISurface& g) override;
  void OnInit() override;
  void OnResize() override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void SetDirty(bool triggerAction = true, int valIdx = -1) override;

  // The menu mark of an enumerated parameter, empty otherwise.
  const IRECT& GetTriangleRECT() const { return mTri; }

private:
  void UpdateStr();

  bool mShowParamLabel;
  IRECT mTri;
  IColor mTriangleColor = COLOR_BLACK;
  IColor mTriangleMouseOverColor = COLOR_WHITE;
};

class PlaceHolder : public ITextControl
{
public:
  explicit PlaceHolder(const IRECT& bounds, const char* str = "Place Holder");

  void Draw(ISurface& g) override;
  void OnResize() override;
  // Opens a text field holding the text; what is typed becomes the text.
  void OnMouseDblClick(float x, float y, const IMouseMod& mod) override;
  void OnTextEntryCompletion(const char* str, int valIdx) override;

private:
  std::string mPositionStr;
  std::string mSizeStr;
};

} // namespace plug::gfx
