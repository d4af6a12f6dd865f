#pragma once

// A platform surface without a window, for tests and tools: it draws into the Cairo frame like the
// X11 surface does and implements every platform operation in memory. Cursor state, clipboard and
// the requests made of the desktop (URLs, file prompts) are recorded; the answers of file prompts
// and the choices of menus can be scripted in advance. A menu with no scripted choice opens the
// in-editor menu control, as every menu does on Linux; text fields are the in-editor text field.

#include <deque>
#include <string>
#include <vector>

#include "gfx/ISurfaceCairo.h"

namespace plug::gfx {

class ISurfaceHeadless : public ISurfaceCairo
{
public:
  struct FilePrompt
  {
    EFileAction action = EFileAction::kOpen;
    std::string fileName;
    std::string path;
    std::string extensions; // empty for a directory prompt
  };

  ISurfaceHeadless(ISurfaceEditorDelegate& dlg, int w, int h, int fps = 0, float scale = 1.f);
  ~ISurfaceHeadless() override;

  // --- What a platform window does ---

  // Runs at once what a window runs when it is ready to draw: the screen scale, the delegate's
  // layout, the delegate's OnUIOpen. Returns a handle that is this surface (never null).
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  void* GetWindow() override { return mOpen ? this : nullptr; }
  // One tick of the frame timer: collects the dirty regions, marks the controls clean and draws
  // them. Returns whether anything was drawn; the regions drawn are left in LastDirtyRects().
  bool DrawFrame();
  const IRECTList& LastDirtyRects() const { return mDirtyRects; }
  // The screen scale OpenWindow applies (1 by default).
  void SetPlatformScreenScale(int scale) { mPlatformScreenScale = scale; }

  ECursor SetMouseCursor(ECursor cursor) override;
  void HideMouseCursor(bool hide = true, bool lock = true) override;
  void MoveMouseCursor(float x, float y) override;
  void GetMouseLocation(float& x, float& y) const override;
  bool GetTextFromClipboard(std::string& str) override;
  bool SetTextInClipboard(const char* str) override;
  // Completes at once with the next scripted answer, or as cancelled when none is left.
  void PromptForFile(EFileAction action, const char* fileName, const char* path, const char* extensions,
                     IFileDialogCompletionFunc completion) override;
  void PromptForDirectory(const char* path, IFileDialogCompletionFunc completion) override;
  bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
               const char* errMsgOnFailure = nullptr) override;
  void UpdateTooltips() override {}
  // Commits a text entry in progress.
  void ForceEndUserEdit() override;
  const char* GetPlatformAPIStr() const override { return "Headless"; }

  // --- Scripting and records ---

  // The next file prompt answers with this full path (its folder becomes the path); an empty
  // text answers as a cancelled prompt.
  void ScriptFileAnswer(const std::string& fullPath) { mFileAnswers.push_back(fullPath); }
  // The next menu chooses the item at these indices (one per level, into submenus); an empty
  // list dismisses it. Without a scripted choice a menu opens the in-editor menu control, which
  // then shows every later menu of this surface (scripts are used until it exists).
  void ScriptMenuChoice(const std::vector<int>& itemPath) { mMenuChoices.push_back(itemPath); }
  const std::vector<FilePrompt>& FilePrompts() const { return mFilePrompts; }
  const std::vector<std::string>& OpenedURLs() const { return mURLs; }
  ECursor GetCursor() const { return mCursor; }
  bool CursorHidden() const { return mCursorHidden; }
  bool CursorLocked() const { return mCursorLocked; }
  // Where the pointer is, for key events and GetMouseLocation; MoveMouseCursor also sets it.
  void SetMouseLocation(float x, float y);
  const std::string& Clipboard() const { return mClipboard; }

protected:
  IPopupMenu* CreatePlatformPopupMenu(IPopupMenu& menu, const IRECT& bounds, bool& isAsync) override;
  void CreatePlatformTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int length,
                               const char* str) override;

private:
  void AnswerPrompt(IFileDialogCompletionFunc& completion);

  bool mOpen = false;
  int mPlatformScreenScale = 1;
  IRECTList mDirtyRects;
  ECursor mCursor = ECursor::kArrow;
  bool mCursorHidden = false;
  bool mCursorLocked = false;
  float mMouseX = 0.f;
  float mMouseY = 0.f;
  std::string mClipboard;
  std::deque<std::string> mFileAnswers;
  std::deque<std::vector<int>> mMenuChoices;
  std::vector<FilePrompt> mFilePrompts;
  std::vector<std::string> mURLs;
};

} // namespace plug::gfx
