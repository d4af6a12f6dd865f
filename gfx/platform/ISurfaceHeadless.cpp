#include "gfx/platform/ISurfaceHeadless.h"

#include "gfx/IPopupMenu.h"
#include "gfx/IPopupMenuControl.h"
#include "gfx/ISurfaceEditorDelegate.h"
#include "gfx/ITextEntryControl.h"

namespace plug::gfx {

ISurfaceHeadless::ISurfaceHeadless(ISurfaceEditorDelegate& dlg, int w, int h, int fps, float scale)
  : ISurfaceCairo(dlg, w, h, fps, scale)
{
}

ISurfaceHeadless::~ISurfaceHeadless()
{
  // While this class still exists: a control's destructor may reach a platform operation.
  RemoveAllControls();
}

void* ISurfaceHeadless::OpenWindow(void* /*parent*/)
{
  mOpen = true;
  SetScreenScale(mPlatformScreenScale);
  GetDelegate()->LayoutUI(this);
  GetDelegate()->OnUIOpen();
  return this;
}

void ISurfaceHeadless::CloseWindow()
{
  RemoveAllControls();
  mOpen = false;
}

bool ISurfaceHeadless::DrawFrame()
{
  return DrawDirtyRegions(mDirtyRects);
}

ECursor ISurfaceHeadless::SetMouseCursor(ECursor cursor)
{
  mCursor = cursor;
  return ISurfaceCairo::SetMouseCursor(cursor);
}

void ISurfaceHeadless::HideMouseCursor(bool hide, bool lock)
{
  mCursorHidden = hide;
  mCursorLocked = hide && lock;
}

void ISurfaceHeadless::MoveMouseCursor(float x, float y)
{
  SetMouseLocation(x, y);
}

void ISurfaceHeadless::SetMouseLocation(float x, float y)
{
  mMouseX = x;
  mMouseY = y;
}

void ISurfaceHeadless::GetMouseLocation(float& x, float& y) const
{
  x = mMouseX;
  y = mMouseY;
}

bool ISurfaceHeadless::GetTextFromClipboard(std::string& str)
{
  str = mClipboard;
  return !mClipboard.empty();
}

bool ISurfaceHeadless::SetTextInClipboard(const char* str)
{
  mClipboard = str ? str : "";
  return true;
}

void ISurfaceHeadless::AnswerPrompt(IFileDialogCompletionFunc& completion)
{
  std::string answer;
  if (!mFileAnswers.empty())
  {
    answer = mFileAnswers.front();
    mFileAnswers.pop_front();
  }
  const std::size_t slash = answer.find_last_of('/');
  const std::string folder = answer.empty() || slash == std::string::npos ? "" : answer.substr(0, slash + 1);
  if (completion)
    completion(answer, folder);
}

void ISurfaceHeadless::PromptForFile(EFileAction action, const char* fileName, const char* path, const char* extensions,
                                     IFileDialogCompletionFunc completion)
{
  mFilePrompts.push_back({action, fileName ? fileName : "", path ? path : "", extensions ? extensions : ""});
  AnswerPrompt(completion);
}

void ISurfaceHeadless::PromptForDirectory(const char* path, IFileDialogCompletionFunc completion)
{
  mFilePrompts.push_back({EFileAction::kOpen, "", path ? path : "", ""});
  AnswerPrompt(completion);
}

bool ISurfaceHeadless::OpenURL(const char* url, const char*, const char*, const char*)
{
  if (!url || !*url)
    return false;
  mURLs.emplace_back(url);
  return true;
}

void ISurfaceHeadless::ForceEndUserEdit()
{
  if (ITextEntryControl* entry = GetTextEntryControl(); entry && entry->EditInProgress())
    entry->CommitEdit();
}

IPopupMenu* ISurfaceHeadless::CreatePlatformPopupMenu(IPopupMenu& menu, const IRECT& bounds, bool& isAsync)
{
  if (mMenuChoices.empty())
  {
    AttachPopupMenuControl();
    isAsync = true;
    GetPopupMenuControl()->CreatePopupMenu(menu, bounds);
    return nullptr;
  }
  const std::vector<int> choice = mMenuChoices.front();
  mMenuChoices.pop_front();
  IPopupMenu* current = &menu;
  for (std::size_t level = 0; level < choice.size(); ++level)
  {
    IPopupMenu::Item* item = current->GetItem(choice[level]);
    if (!item)
      return nullptr;
    if (level + 1 == choice.size())
    {
      current->SetChosenItemIdx(choice[level]);
      if (current->GetFunction())
        current->GetFunction()(current);
      return current;
    }
    current = item->GetSubmenu();
    if (!current)
      return nullptr;
  }
  return nullptr;
}

void ISurfaceHeadless::CreatePlatformTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int length,
                                               const char* str)
{
  AttachTextEntryControl();
  GetTextEntryControl()->CreateTextEntry(paramIdx, text, bounds, length, str);
}

} // namespace plug::gfx
