#pragma once

#include "gfx/IControl.h"

namespace plug::gfx {

// The editor's own single-line text field. Idle it has an empty rectangle; while editing, the
// surface sends it every pointer and key event, and it completes through
// ISurface::SetControlValueAfterTextEdit (commit) or ISurface::ClearInTextEntryControl (dismiss).
class ITextEntryControl : public IControl
{
public:
  ITextEntryControl();

  void Draw(ISurface& g) override;

  // Opens the field over bounds holding str; paramIdx (-1: none) selects the character filter.
  void CreateTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int length, const char* str);
  bool EditInProgress() const { return mEditing; }
  void CommitEdit();
  void DismissEdit();

protected:
  bool mEditing = false;
  int mParamIdx = -1;
  std::string mEditText;
};

} // namespace plug::gfx
