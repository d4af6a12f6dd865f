#pragma once

// The in-editor single-line text field, on stb_textedit's editing state machine.
//
// The surface opens it (ISurface::PromptUserInput / CreateTextEntry, or the platform's
// CreatePlatformTextEntry) over a rectangle with a text style; while it is editing the surface
// sends it every mouse event. It ends by CommitEdit (return, a press outside it), which hands the
// text to ISurface::SetControlValueAfterTextEdit, or by DismissEdit (escape), which completes
// nothing. The text is held as UTF-32, one element per character, so that the cursor can never
// land inside a character.
//
// Keys: control with A, C, V, X, Z (shift+Z: redo) select all, copy, paste, cut, undo; the
// arrows, home, end, page up/down, backspace and delete edit and move (shift extends the
// selection); return commits; escape dismisses; tab is left to the host. Typed characters pass a
// filter taken from the parameter of the control that asked: bool, int and enum parameters take
// only 0-9, + and -; double parameters also "." and "," (either may stand before the decimals);
// anything else takes every character. The text never grows past the field's length, counted in
// UTF-8 bytes as names are kept: a character that does not fit is refused, a paste is cut to fit.
//
// Layout costs time linear in the text: each character's advance is measured once, as the pair it
// forms with the one before it (which carries their kerning), and pairs already measured are kept;
// only the characters inside the field are drawn.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "gfx/IControl.h"
#include "gfx/IPopupMenu.h"

namespace plug::gfx {

struct TextEditState; // stb_textedit's state, kept out of this header

class ITextEntryControl : public IControl
{
public:
  ITextEntryControl();
  ~ITextEntryControl() override;

  // Starts editing str (UTF-8) in bounds with the style of text (its text-entry foreground colour
  // becomes the text colour), the whole text selected. paramIdx -1: no parameter (no filter).
  // length: the most bytes the text may take as UTF-8 (str is cut to it at a character boundary);
  // 0 or less: no limit.
  void CreateTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int length, const char* str);
  bool EditInProgress() const { return mEditing; }
  void CommitEdit();
  void DismissEdit();
  void SelectAll();
  void CopySelection();
  void Cut();
  void Paste();
  // Replaces the text (UTF-8, cut to the length); the cursor goes to its start, the selection is
  // cleared.
  void SetStr(const char* str);
  // The text as UTF-8.
  std::string GetStr() const;
  // The selection as character indices (start <= end); equal when nothing is selected.
  void GetSelection(int& start, int& end) const;
  int GetCursor() const;
  bool GetCaretVisible() const { return mCaretVisible; }

  void Draw(ISurface& g) override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const IMouseMod& mod) override;
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod) override;
  void OnMouseDblClick(float x, float y, const IMouseMod& mod) override;
  bool OnKeyDown(float x, float y, const IKeyPress& key) override;
  void OnEndAnimation() override;
  void OnPopupMenuSelection(IPopupMenu* menu, int valIdx) override;

  // stb_textedit's hooks (in ITextEntryControl.cpp) reach the text and the layout through these.
  int TextLength() const { return static_cast<int>(mChars.size()); }
  char32_t CharAt(int i) const { return mChars[static_cast<std::size_t>(i)]; }
  float CharWidth(int i);
  void DeleteChars(int pos, int n);
  bool InsertChars(int pos, const char32_t* chars, int n);
  // The row's left edge, top and width, in the control's coordinates (relative to its rectangle).
  void RowLayout(float& x0, float& top, float& width);

private:
  enum class EFilter
  {
    kAll,
    kInteger,
    kReal
  };

  EFilter FilterFor(int paramIdx) const;
  bool Accepts(char32_t c) const;
  // Bytes left for text that replaces the selection (a large number without a limit).
  std::size_t Room() const;
  // Typed: inserted when the filter accepts it and it fits; true when that changed the text.
  bool Type(char32_t c);
  // The advance of c written after previous (0 at the start of the text).
  float Advance(char32_t previous, char32_t c);
  // True when the key changed the editing state.
  bool SendKey(int stbKey);
  void OnTextChange();
  void StartCaretBlink();
  float CharX(int index); // the x of the boundary before character index, in points
  void DrawVisibleText(ISurface& g, float rowLeft);
  void LocalPoint(float x, float y, float& lx, float& ly) const;
  void EndEdit();

  std::unique_ptr<TextEditState> mEdit;
  std::u32string mChars;
  std::vector<float> mCharWidths;                    // cache, empty when stale
  std::unordered_map<uint64_t, float> mPairAdvances; // by (previous << 32 | character), for the style
  std::size_t mMaxBytes = 0;                         // 0: no limit
  bool mEditing = false;
  bool mCaretVisible = false;
  int mParamIdx = -1;
  EFilter mFilter = EFilter::kAll;
  IPopupMenu mContextMenu;
};

} // namespace plug::gfx
