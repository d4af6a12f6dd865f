#include "gfx/ITextEntryControl.h"

#include <cmath>
#include <cstdint>

#include "gfx/ISurface.h"
#include "plug/core/IParam.h"
#include "plug/core/Utf8Text.h"

// stb_textedit's editing state, on UTF-32 text (one element per character).
#define STB_TEXTEDIT_CHARTYPE char32_t
#define STB_TEXTEDIT_POSITIONTYPE int
#define STB_TEXTEDIT_UNDOSTATECOUNT 99
#define STB_TEXTEDIT_UNDOCHARCOUNT 999
#include <stb_textedit.h>

namespace plug::gfx {

struct TextEditState
{
  STB_TexteditState state;
};

namespace {

// Key inputs of stb_textedit: characters are their code points; editing keys lie above them.
enum : int
{
  kKeyShift = 0x40000000,
  kKeyBase = 0x200000,
  kKeyLeft = kKeyBase,
  kKeyRight,
  kKeyUp,
  kKeyDown,
  kKeyPageUp,
  kKeyPageDown,
  kKeyLineStart,
  kKeyLineEnd,
  kKeyTextStart,
  kKeyTextEnd,
  kKeyDelete,
  kKeyBackspace,
  kKeyUndo,
  kKeyRedo,
  kKeyWordLeft,
  kKeyWordRight
};

void LayoutRow(StbTexteditRow* row, plug::gfx::ITextEntryControl* field, int start);

} // namespace
} // namespace plug::gfx

#define STB_TEXTEDIT_STRING plug::gfx::ITextEntryControl
#define STB_TEXTEDIT_STRINGLEN(obj) ((obj)->TextLength())
#define STB_TEXTEDIT_LAYOUTROW(r, obj, n) plug::gfx::LayoutRow(r, obj, n)
#define STB_TEXTEDIT_GETWIDTH(obj, n, i) ((obj)->CharWidth((n) + (i)))
#define STB_TEXTEDIT_KEYTOTEXT(k) ((k) >= plug::gfx::kKeyBase ? -1 : (k))
#define STB_TEXTEDIT_GETCHAR(obj, i) ((obj)->CharAt(i))
#define STB_TEXTEDIT_NEWLINE U'\n'
#define STB_TEXTEDIT_IS_SPACE(c) ((c) == U' ' || (c) == U'\t')
#define STB_TEXTEDIT_DELETECHARS(obj, i, n) ((obj)->DeleteChars(i, n))
#define STB_TEXTEDIT_INSERTCHARS(obj, i, c, n) ((obj)->InsertChars(i, c, n))
#define STB_TEXTEDIT_K_SHIFT plug::gfx::kKeyShift
#define STB_TEXTEDIT_K_LEFT plug::gfx::kKeyLeft
#define STB_TEXTEDIT_K_RIGHT plug::gfx::kKeyRight
#define STB_TEXTEDIT_K_UP plug::gfx::kKeyUp
#define STB_TEXTEDIT_K_DOWN plug::gfx::kKeyDown
#define STB_TEXTEDIT_K_PGUP plug::gfx::kKeyPageUp
#define STB_TEXTEDIT_K_PGDOWN plug::gfx::kKeyPageDown
#define STB_TEXTEDIT_K_LINESTART plug::gfx::kKeyLineStart
#define STB_TEXTEDIT_K_LINEEND plug::gfx::kKeyLineEnd
#define STB_TEXTEDIT_K_TEXTSTART plug::gfx::kKeyTextStart
#define STB_TEXTEDIT_K_TEXTEND plug::gfx::kKeyTextEnd
#define STB_TEXTEDIT_K_DELETE plug::gfx::kKeyDelete
#define STB_TEXTEDIT_K_BACKSPACE plug::gfx::kKeyBackspace
#define STB_TEXTEDIT_K_UNDO plug::gfx::kKeyUndo
#define STB_TEXTEDIT_K_REDO plug::gfx::kKeyRedo
#define STB_TEXTEDIT_K_WORDLEFT plug::gfx::kKeyWordLeft
#define STB_TEXTEDIT_K_WORDRIGHT plug::gfx::kKeyWordRight
#define STB_TEXTEDIT_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb_textedit.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace plug::gfx {

namespace {

void LayoutRow(StbTexteditRow* row, ITextEntryControl* field, int start)
{
  float x0 = 0.f, top = 0.f, width = 0.f;
  field->RowLayout(x0, top, width);
  row->x0 = x0;
  row->x1 = x0 + width;
  row->baseline_y_delta = 1.25f * field->GetText().mSize;
  row->ymin = top;
  row->ymax = top + field->GetText().mSize;
  row->num_chars = field->TextLength() - start;
}

// Malformed sequences become U+FFFD, one for each byte that cannot start a character.
std::u32string FromUTF8(const char* s)
{
  std::u32string out;
  for (const char* p = s ? s : ""; *p;)
  {
    char32_t c = 0;
    const int length = DecodeUtf8(p, c);
    out.push_back(length ? c : char32_t(0xFFFD));
    p += length ? length : 1;
  }
  return out;
}

std::string ToUTF8(const char32_t* s, std::size_t n)
{
  std::string out;
  for (std::size_t i = 0; i < n; ++i)
    AppendUtf8(out, s[i]);
  return out;
}

std::size_t Utf8Bytes(char32_t c)
{
  return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

std::size_t Utf8Bytes(const char32_t* s, std::size_t n)
{
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < n; ++i)
    bytes += Utf8Bytes(s[i]);
  return bytes;
}

// The longest start of text (whole characters) that takes at most maxBytes as UTF-8.
void CutToBytes(std::u32string& text, std::size_t maxBytes)
{
  std::size_t bytes = 0, n = 0;
  while (n < text.size() && bytes + Utf8Bytes(text[n]) <= maxBytes)
    bytes += Utf8Bytes(text[n++]);
  text.resize(n);
}

bool IsLetterKey(const IKeyPress& key, int vk, char letter)
{
  return key.VK == vk || key.utf8[0] == letter || key.utf8[0] == letter - 'a' + 'A' ||
      (key.utf8[0] == letter - 'a' + 1 && key.utf8[1] == 0); // control characters (^A is 1)
}

} // namespace

ITextEntryControl::ITextEntryControl()
  : IControl(IRECT(), [](IControl* control) { static_cast<ITextEntryControl*>(control)->StartCaretBlink(); }),
    mEdit(std::make_unique<TextEditState>()),
    mContextMenu("", 0, false, {"Cut", "Copy", "Paste"})
{
  stb_textedit_initialize_state(&mEdit->state, 1);
}

ITextEntryControl::~ITextEntryControl() = default;

void ITextEntryControl::StartCaretBlink()
{
  mCaretVisible = true;
  SetAnimation(
      [](IControl* control) {
        auto* field = static_cast<ITextEntryControl*>(control);
        const double progress = control->GetAnimationProgress();
        if (progress > 1.0)
        {
          control->OnEndAnimation();
          return;
        }
        if (progress > 0.5 && field->mCaretVisible)
        {
          field->mCaretVisible = false;
          control->SetDirty(false);
        }
      },
      1000);
}

void ITextEntryControl::OnEndAnimation()
{
  IControl::OnEndAnimation();
  if (mEditing)
    SetDirty(true);
}

ITextEntryControl::EFilter ITextEntryControl::FilterFor(int paramIdx) const
{
  const IParam* param = nullptr;
  if (ISurface* ui = GetUI(); ui && ui->GetControlInTextEntry())
    param = ui->GetControlInTextEntry()->GetParam(0);
  if (!param || paramIdx < 0)
    return EFilter::kAll;
  switch (param->Type())
  {
    case IParam::kTypeBool:
    case IParam::kTypeInt:
    case IParam::kTypeEnum:
      return EFilter::kInteger;
    case IParam::kTypeDouble:
      return EFilter::kReal;
    default:
      return EFilter::kAll;
  }
}

bool ITextEntryControl::Accepts(char32_t c) const
{
  if (c < 0x20 || c == 0x7F)
    return false;
  switch (mFilter)
  {
    case EFilter::kInteger:
      return (c >= U'0' && c <= U'9') || c == U'+' || c == U'-';
    case EFilter::kReal:
      return (c >= U'0' && c <= U'9') || c == U'+' || c == U'-' || c == U'.' || c == U',';
    case EFilter::kAll:
      break;
  }
  return true;
}

std::size_t ITextEntryControl::Room() const
{
  if (mMaxBytes == 0)
    return SIZE_MAX;
  int start = 0, end = 0;
  GetSelection(start, end);
  const std::size_t kept =
      Utf8Bytes(mChars.data(), mChars.size()) - Utf8Bytes(mChars.data() + start, static_cast<std::size_t>(end - start));
  return kept < mMaxBytes ? mMaxBytes - kept : 0;
}

bool ITextEntryControl::Type(char32_t c)
{
  return Accepts(c) && Utf8Bytes(c) <= Room() && SendKey(static_cast<int>(c));
}

void ITextEntryControl::CreateTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int length,
                                        const char* str)
{
  mParamIdx = paramIdx;
  SetTargetAndDrawRECTs(bounds);
  OnResize();
  IText style = text;
  style.mFGColor = text.mTextEntryFGColor;
  SetText(style);
  mPairAdvances.clear();
  mMaxBytes = length > 0 ? static_cast<std::size_t>(length) : 0;
  mChars = FromUTF8(str);
  if (mMaxBytes)
    CutToBytes(mChars, mMaxBytes);
  stb_textedit_initialize_state(&mEdit->state, 1);
  mEdit->state.select_start = 0;
  mEdit->state.select_end = TextLength();
  mEdit->state.cursor = 0;
  mCharWidths.clear();
  mFilter = FilterFor(paramIdx);
  mEditing = true;
  SetDirty(true);
}

void ITextEntryControl::EndEdit()
{
  mEditing = false;
  mCaretVisible = false;
  SetAnimation(nullptr);
  mMouseIsOver = false;
  SetTargetAndDrawRECTs(IRECT());
  OnResize();
}

void ITextEntryControl::CommitEdit()
{
  if (!mEditing)
    return;
  const std::string str = GetStr();
  mEditing = false;
  if (ISurface* ui = GetUI())
    ui->SetControlValueAfterTextEdit(str.c_str());
  EndEdit();
  if (ISurface* ui = GetUI())
    ui->SetAllControlsDirty();
}

void ITextEntryControl::DismissEdit()
{
  if (!mEditing)
    return;
  EndEdit();
  if (ISurface* ui = GetUI())
  {
    ui->ClearInTextEntryControl();
    ui->SetAllControlsDirty();
  }
}

void ITextEntryControl::SelectAll()
{
  mEdit->state.select_start = 0;
  mEdit->state.select_end = TextLength();
  mEdit->state.cursor = TextLength();
  SetDirty(true);
}

void ITextEntryControl::CopySelection()
{
  int start = 0, end = 0;
  GetSelection(start, end);
  if (start == end)
    return;
  if (ISurface* ui = GetUI())
    ui->SetTextInClipboard(ToUTF8(mChars.data() + start, static_cast<std::size_t>(end - start)).c_str());
}

void ITextEntryControl::Cut()
{
  CopySelection();
  stb_textedit_cut(this, &mEdit->state);
  OnTextChange();
}

void ITextEntryControl::Paste()
{
  ISurface* ui = GetUI();
  std::string clip;
  if (!ui || !ui->GetTextFromClipboard(clip) || clip.empty())
    return;
  std::u32string text;
  for (char32_t c : FromUTF8(clip.c_str()))
    if (c >= 0x20 && c != 0x7F) // one line: line breaks and control characters are dropped
      text.push_back(c);
  if (mMaxBytes)
    CutToBytes(text, Room());
  if (text.empty())
    return;
  stb_textedit_paste(this, &mEdit->state, text.data(), static_cast<int>(text.size()));
  OnTextChange();
}

void ITextEntryControl::SetStr(const char* str)
{
  mChars = FromUTF8(str);
  if (mMaxBytes)
    CutToBytes(mChars, mMaxBytes);
  stb_textedit_initialize_state(&mEdit->state, 1);
  OnTextChange();
}

std::string ITextEntryControl::GetStr() const
{
  return ToUTF8(mChars.data(), mChars.size());
}

void ITextEntryControl::GetSelection(int& start, int& end) const
{
  start = std::min(mEdit->state.select_start, mEdit->state.select_end);
  end = std::max(mEdit->state.select_start, mEdit->state.select_end);
  start = std::clamp(start, 0, TextLength());
  end = std::clamp(end, 0, TextLength());
}

int ITextEntryControl::GetCursor() const
{
  return mEdit->state.cursor;
}

void ITextEntryControl::OnTextChange()
{
  mCharWidths.clear();
  SetDirty(true);
}

float ITextEntryControl::CharWidth(int i)
{
  if (mCharWidths.size() != mChars.size())
  {
    mCharWidths.resize(mChars.size());
    for (std::size_t n = 0; n < mChars.size(); ++n)
      mCharWidths[n] = Advance(n ? mChars[n - 1] : 0, mChars[n]);
  }
  return i >= 0 && i < static_cast<int>(mCharWidths.size()) ? mCharWidths[static_cast<std::size_t>(i)] : 0.f;
}

// The pair measured whole less the previous character's own advance: what c adds after it, its
// kerning with it included.
float ITextEntryControl::Advance(char32_t previous, char32_t c)
{
  const uint64_t key = static_cast<uint64_t>(previous) << 32 | c;
  if (const auto it = mPairAdvances.find(key); it != mPairAdvances.end())
    return it->second;
  const ISurface* ui = GetUI();
  if (!ui)
    return 0.f;
  const char32_t pair[2] = {previous, c};
  const bool first = previous == 0;
  IRECT r;
  const float width = ui->MeasureText(mText, ToUTF8(first ? pair + 1 : pair, first ? 1 : 2).c_str(), r);
  const float advance = first ? width : width - Advance(0, previous);
  mPairAdvances.emplace(key, advance);
  return advance;
}

void ITextEntryControl::DeleteChars(int pos, int n)
{
  mChars.erase(static_cast<std::size_t>(pos), static_cast<std::size_t>(n));
  mCharWidths.clear();
}

bool ITextEntryControl::InsertChars(int pos, const char32_t* chars, int n)
{
  mChars.insert(static_cast<std::size_t>(pos), chars, static_cast<std::size_t>(n));
  mCharWidths.clear();
  return true;
}

void ITextEntryControl::RowLayout(float& x0, float& top, float& width)
{
  width = 0.f;
  for (int i = 0; i < TextLength(); ++i)
    width += CharWidth(i);
  const IRECT row = mText.AlignedBox({0.f, 0.f, mRECT.W(), mRECT.H()}, width, mText.mSize);
  x0 = row.L;
  top = row.T;
}

float ITextEntryControl::CharX(int index)
{
  float x0 = 0.f, top = 0.f, width = 0.f;
  RowLayout(x0, top, width);
  for (int i = 0; i < index && i < TextLength(); ++i)
    x0 += CharWidth(i);
  return x0;
}

void ITextEntryControl::LocalPoint(float x, float y, float& lx, float& ly) const
{
  lx = x - mRECT.L;
  ly = y - mRECT.T;
}

void ITextEntryControl::Draw(ISurface& g)
{
  if (!mEditing)
    return;
  g.FillRect(mText.mTextEntryBGColor, mRECT);
  float x0 = 0.f, top = 0.f, width = 0.f;
  RowLayout(x0, top, width);
  const float inset = 0.1f * mText.mSize;
  const float bandTop = mRECT.T + top + inset, bandBottom = mRECT.T + top + mText.mSize - inset;
  int start = 0, end = 0;
  GetSelection(start, end);
  if (start != end)
  {
    const IBlend selection(EBlend::kDefault, 0.2f);
    g.FillRect(mText.mTextEntryFGColor, {mRECT.L + CharX(start), bandTop, mRECT.L + CharX(end), bandBottom},
               &selection);
  }
  DrawVisibleText(g, mRECT.L + x0);
  if (start == end && mCaretVisible)
  {
    const float x = mRECT.L + CharX(GetCursor());
    g.FillRect(mText.mTextEntryFGColor, {std::round(x - 1.f), bandTop, std::round(x), bandBottom});
  }
}

// Only the characters that reach into the field are drawn, from where the row puts the first of
// them: a long text costs a frame no more than a short one.
void ITextEntryControl::DrawVisibleText(ISurface& g, float rowLeft)
{
  float left = rowLeft;
  int first = 0;
  while (first < TextLength() && left + CharWidth(first) <= mRECT.L)
    left += CharWidth(first++);
  float right = left;
  int end = first;
  while (end < TextLength() && right < mRECT.R)
    right += CharWidth(end++);
  if (end == first)
    return;
  IText style = mText;
  style.mAlign = EAlign::kNear;
  g.DrawText(style, ToUTF8(mChars.data() + first, static_cast<std::size_t>(end - first)).c_str(),
             {left, mRECT.T, right, mRECT.B});
}

void ITextEntryControl::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  if (!mEditing)
    return;
  if (!mRECT.Contains(x, y))
  {
    CommitEdit();
    return;
  }
  if (mod.R)
  {
    if (ISurface* ui = GetUI())
      ui->CreatePopupMenu(*this, mContextMenu, IRECT(x, y, x, y));
    return;
  }
  float lx = 0.f, ly = 0.f;
  LocalPoint(x, y, lx, ly);
  stb_textedit_click(this, &mEdit->state, lx, ly);
  SetDirty(true);
}

void ITextEntryControl::OnMouseDrag(float x, float y, float /*dX*/, float /*dY*/, const IMouseMod& mod)
{
  if (!mEditing || !mod.L)
    return;
  float lx = 0.f, ly = 0.f;
  LocalPoint(x, y, lx, ly);
  stb_textedit_drag(this, &mEdit->state, lx, ly);
  SetDirty(false);
}

void ITextEntryControl::OnMouseUp(float x, float y, const IMouseMod& mod)
{
  if (!mEditing || mod.R || !mRECT.Contains(x, y)) // (a release may not report its button as held)
    return;
  float lx = 0.f, ly = 0.f;
  LocalPoint(x, y, lx, ly);
  stb_textedit_drag(this, &mEdit->state, lx, ly);
  SetDirty(true);
}

void ITextEntryControl::OnMouseDblClick(float /*x*/, float /*y*/, const IMouseMod& /*mod*/)
{
  if (mEditing)
    SelectAll();
}

void ITextEntryControl::OnPopupMenuSelection(IPopupMenu* menu, int /*valIdx*/)
{
  if (!menu || !mEditing)
    return;
  switch (menu->GetChosenItemIdx())
  {
    case 0:
      Cut();
      break;
    case 1:
      CopySelection();
      break;
    case 2:
      Paste();
      break;
    default:
      break;
  }
}

bool ITextEntryControl::SendKey(int stbKey)
{
  const STB_TexteditState before = mEdit->state;
  const std::u32string text = mChars;
  stb_textedit_key(this, &mEdit->state, stbKey);
  const STB_TexteditState& after = mEdit->state;
  const bool changed = text != mChars || before.cursor != after.cursor || before.select_start != after.select_start ||
      before.select_end != after.select_end;
  if (changed)
    OnTextChange();
  return changed;
}

bool ITextEntryControl::OnKeyDown(float /*x*/, float /*y*/, const IKeyPress& key)
{
  if (!mEditing)
    return false;
  if (key.C)
  {
    if (IsLetterKey(key, kVK_A, 'a'))
      SelectAll();
    else if (IsLetterKey(key, kVK_C, 'c'))
      CopySelection();
    else if (IsLetterKey(key, kVK_V, 'v'))
      Paste();
    else if (IsLetterKey(key, kVK_X, 'x'))
      Cut();
    else if (IsLetterKey(key, kVK_Z, 'z'))
      SendKey(key.S ? kKeyRedo : kKeyUndo);
    else if (key.VK == kVK_LEFT || key.VK == kVK_RIGHT)
      return SendKey((key.VK == kVK_LEFT ? kKeyWordLeft : kKeyWordRight) | (key.S ? kKeyShift : 0));
    else if (key.VK == kVK_HOME || key.VK == kVK_END)
      return SendKey((key.VK == kVK_HOME ? kKeyTextStart : kKeyTextEnd) | (key.S ? kKeyShift : 0));
    else
      return false;
    return true;
  }
  const int shift = key.S ? kKeyShift : 0;
  switch (key.VK)
  {
    case kVK_BACK:
      return SendKey(kKeyBackspace);
    case kVK_DELETE:
      return SendKey(kKeyDelete);
    case kVK_LEFT:
      return SendKey(kKeyLeft | shift);
    case kVK_RIGHT:
      return SendKey(kKeyRight | shift);
    case kVK_UP:
      return SendKey(kKeyUp | shift);
    case kVK_DOWN:
      return SendKey(kKeyDown | shift);
    case kVK_HOME:
      return SendKey(kKeyLineStart | shift);
    case kVK_END:
      return SendKey(kKeyLineEnd | shift);
    case kVK_PRIOR:
      return SendKey(kKeyPageUp | shift);
    case kVK_NEXT:
      return SendKey(kKeyPageDown | shift);
    case kVK_RETURN:
      CommitEdit();
      return true;
    case kVK_ESCAPE:
      DismissEdit();
      return true;
    case kVK_TAB:
      return false;
    case kVK_SPACE:
      return Type(U' ');
    default:
      break;
  }
  const std::u32string typed = FromUTF8(key.utf8);
  return typed.size() == 1 && Type(typed[0]);
}

} // namespace plug::gfx
