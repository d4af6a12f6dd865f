#pragma once

// The editor in a Linux host's window: the Cairo-drawn surface shown in an X11 child window
// (XEditorWindow) of the window the host passes to effEditOpen.
//
// Running: there is no thread of the editor's own. OpenWindow lays the editor out, draws and shows
// the first frame at once, and starts a run-loop timer that fires at every pump of plug::RunLoop,
// which the host drives through effEditIdle (every 15 to 66 ms, some hosts only while the window is
// visible). Each tick handles every queued X event, finishes dialogs that closed, shows tooltips
// that are due, and draws at most one frame: when the frame interval has passed and something is
// dirty, the dirty regions are drawn into the Cairo frame and only they are copied to the window.
// An expose copies the uncovered part of the last frame again without drawing. A host that calls
// effEditIdle rarely gets its exposes and input answered at the next call; nothing ever waits
// (but a paste, for at most XClipboard::kReadTimeoutMs).
//
// Keys: the host keeps the keyboard (XEditorWindow); the editor takes the X focus only while one of
// its text fields is open. Keys the host passes with effEditKeyDown reach an open field or menu.
//
// Services: cursors from the X cursor theme; the pointer hidden and locked during knob drags; the
// CLIPBOARD selection; web addresses and files opened with xdg-open; file and folder prompts
// through zenity or kdialog run as child processes (a notice inside the editor, ISurface::ShowNotice,
// says when neither is installed, or when xdg-open cannot be started); tooltips as small windows
// after the pointer rests on a control. Menus, notices and text fields are the framework's own
// in-editor controls. Drops of files (XDND) are not taken.

#include <memory>
#include <string>
#include <vector>

#include "gfx/ISurfaceCairo.h"
#include "gfx/platform/X11Window.h"
#include "plug/core/Timer.h"

namespace plug::gfx {

class ChildProcess;

class ISurfaceLinux : public ISurfaceCairo, private IXEventSink
{
public:
  static constexpr int kTooltipDelayMs = 600;

  ISurfaceLinux(ISurfaceEditorDelegate& dlg, int w, int h, int fps = 0, float scale = 1.f);
  ~ISurfaceLinux() override;

  // parent: the host's window id, or null for a window of the editor's own (titled with
  // GetWindowTitle; the user closing it closes the window, and GetWindow() is null again). Null when
  // there is no display or no such window.
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  // The editor's X window id, null while closed.
  void* GetWindow() override;
  void PlatformResize(bool parentHasResized) override;
  // Window pixels per editor pixel at draw scale 1: the screen scale.
  int GetPlatformWindowScale() const override { return GetScreenScale(); }
  const char* GetPlatformAPIStr() const override { return "X11"; }

  ECursor SetMouseCursor(ECursor cursor) override;
  void HideMouseCursor(bool hide = true, bool lock = true) override;
  void MoveMouseCursor(float x, float y) override;
  void GetMouseLocation(float& x, float& y) const override;
  bool GetTextFromClipboard(std::string& str) override;
  bool SetTextInClipboard(const char* str) override;
  void PromptForFile(EFileAction action, const char* fileName, const char* path, const char* extensions,
                     IFileDialogCompletionFunc completion) override;
  void PromptForDirectory(const char* path, IFileDialogCompletionFunc completion) override;
  // Shows errMsgOnFailure (when given) as a notice when xdg-open cannot be started.
  bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
               const char* errMsgOnFailure = nullptr) override;
  void UpdateTooltips() override;
  void ForceEndUserEdit() override;

  // One tick, as described at the top of this file. [main]
  void OnIdle();
  int NumFramesDrawn() const { return mFramesDrawn; }
  XEditorWindow* GetXWindow() const { return mWindow.get(); }

protected:
  IPopupMenu* CreatePlatformPopupMenu(IPopupMenu& menu, const IRECT& bounds, bool& isAsync) override;
  void CreatePlatformTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int length,
                               const char* str) override;

private:
  struct Prompt
  {
    std::unique_ptr<ChildProcess> child; // null: no dialog could be shown
    std::vector<std::string> fallback;   // run instead when child fails (DesktopDialogs.h)
    IFileDialogCompletionFunc completion;
    bool directory = false;
  };

  // IXEventSink: the window's input, in points.
  void PointerDown(float x, float y, const IMouseMod& mod) override;
  void PointerDoubleClick(float x, float y, const IMouseMod& mod) override;
  void PointerUp(float x, float y, const IMouseMod& mod) override;
  void PointerDrag(float x, float y, float dX, float dY, const IMouseMod& mod) override;
  void PointerOver(float x, float y, const IMouseMod& mod) override;
  void PointerOut() override;
  void Wheel(float x, float y, const IMouseMod& mod, float delta) override;
  bool KeyDown(float x, float y, const IKeyPress& key) override;
  bool KeyUp(float x, float y, const IKeyPress& key) override;

  void SyncKeyboardFocus();
  bool DrawFrame();
  void PresentRegions(const std::vector<PixelRect>& rects);
  void StartPrompt(std::vector<std::string> command, IFileDialogCompletionFunc completion, bool directory);
  void FinishPrompts();
  void HideTooltip();
  void ShowDueTooltip(int64_t nowMs);

  std::unique_ptr<XEditorWindow> mWindow;
  std::unique_ptr<Timer> mIdleTimer;
  int64_t mLastFrameMs = 0;
  int mFramesDrawn = 0;
  IRECTList mDirtyRects;
  std::vector<Prompt> mPrompts;

  const IControl* mTooltipControl = nullptr; // compared only, dereferenced while it is the mouse-over
  int64_t mTooltipDueMs = 0;
};

} // namespace plug::gfx
