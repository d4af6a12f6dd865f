#include "gfx/ITextEntryControl.h"

#include "gfx/ISurface.h"

namespace plug::gfx {

ITextEntryControl::ITextEntryControl()
  : IControl(IRECT())
{
}

void ITextEntryControl::Draw(ISurface& g)
{
  if (!mEditing)
    return;
  g.FillRect(mText.mTextEntryBGColor, mRECT);
  g.DrawText(mText, mEditText.c_str(), mRECT);
}

void ITextEntryControl::CreateTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int, const char* str)
{
  mParamIdx = paramIdx;
  SetTargetAndDrawRECTs(bounds);
  mText = text;
  mText.mFGColor = text.mTextEntryFGColor;
  mEditText = str ? str : "";
  mEditing = true;
  SetDirty(false);
}

void ITextEntryControl::CommitEdit()
{
  mEditing = false;
  SetTargetAndDrawRECTs(IRECT());
  if (GetUI())
  {
    GetUI()->SetControlValueAfterTextEdit(mEditText.c_str());
    GetUI()->SetAllControlsDirty();
  }
}

void ITextEntryControl::DismissEdit()
{
  mEditing = false;
  SetTargetAndDrawRECTs(IRECT());
  if (GetUI())
  {
    GetUI()->ClearInTextEntryControl();
    GetUI()->SetAllControlsDirty();
  }
}

} // namespace plug::gfx
