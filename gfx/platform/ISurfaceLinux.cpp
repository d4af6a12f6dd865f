#include "gfx/platform/ISurfaceLinux.h"

#include <X11/Xlib.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "checks/ThreadChecks.h"
#include "gfx/IControl.h"
#include "gfx/IPopupMenuControl.h"
#include "gfx/ISurfaceEditorDelegate.h"
#include "gfx/ITextEntryControl.h"
#include "gfx/platform/ChildProcess.h"
#include "gfx/platform/DesktopDialogs.h"
#include "gfx/platform/PlatformSurface.h"
#include "gfx/platform/X11Input.h"

namespace plug::gfx {

namespace {

// The pixels of a region of points at a scale: the smallest whole-pixel rectangle holding it.
PixelRect ToPixels(const IRECT& r, float scale)
{
  const int l = static_cast<int>(std::floor(r.L * scale));
  const int t = static_cast<int>(std::floor(r.T * scale));
  const int rr = static_cast<int>(std::ceil(r.R * scale));
  const int b = static_cast<int>(std::ceil(r.B * scale));
  return {l, t, rr - l, b - t};
}

} // namespace

ISurfaceLinux::ISurfaceLinux(ISurfaceEditorDelegate& dlg, int w, int h, int fps, float scale)
  : ISurfaceCairo(dlg, w, h, fps, scale)
{
}

ISurfaceLinux::~ISurfaceLinux()
{
  CloseWindow();
}

void* ISurfaceLinux::OpenWindow(void* parent)
{
  CloseWindow(); // a second opening replaces the first window
  const auto parentWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
  auto window = std::make_unique<XEditorWindow>(parentWindow, WindowWidth() * GetScreenScale(),
                                                WindowHeight() * GetScreenScale(), GetWindowTitle());
  if (!window->IsOpen())
    return nullptr;
  mWindow = std::move(window);

  // The view is ready: scale, layout, tooltips, then the delegate is told the editor is open.
  SetScreenScale(mWindow->ScreenScale());
  PlatformResize(false);
  GetDelegate()->LayoutUI(this);
  UpdateTooltips();
  GetDelegate()->OnUIOpen();

  // The first frame now, not at the host's next idle call.
  SetAllControlsDirty();
  DrawFrame();
  mIdleTimer = Timer::Create([this](Timer&) { OnIdle(); }, 0);
  return GetWindow();
}

void ISurfaceLinux::CloseWindow()
{
  mIdleTimer.reset();
  // Dialogs close with the editor (this runs when the plug-in is deleted too). An answer given
  // later would have nobody to carry it out: the file operation belongs to the editor that asked,
  // and hosts stop calling effEditIdle once the editor is closed, so nothing would read it. A
  // dialog left open would wait on screen for an answer that goes nowhere, outliving even the host.
  // Closing it with the editor shows the user that the question is gone.
  for (Prompt& prompt : mPrompts)
    if (prompt.child)
      prompt.child->Terminate();
  mPrompts.clear();
  mTooltipControl = nullptr;
  if (mWindow)
    RemoveAllControls();
  mWindow.reset();
}

void* ISurfaceLinux::GetWindow()
{
  return mWindow ? reinterpret_cast<void*>(static_cast<uintptr_t>(mWindow->GetWindow())) : nullptr;
}

void ISurfaceLinux::PlatformResize(bool)
{
  if (!mWindow)
    return;
  mWindow->Resize(WindowWidth() * GetScreenScale(), WindowHeight() * GetScreenScale());
  mWindow->SetPointScale(GetTotalScale());
}

// --- The editor's tick ---

void ISurfaceLinux::OnIdle()
{
  QM_MAIN_THREAD(GetDelegate()->EditorThread());
  if (!mWindow)
    return;
  mWindow->ProcessEvents(*this);
  if (!mWindow)
    return; // an event closed the editor
  if (mWindow->CloseRequested())
  {
    CloseWindow(); // the delegate sees GetWindow() null and closes the editor
    return;
  }
  SyncKeyboardFocus();
  FinishPrompts();
  const int64_t now = RunLoop::NowMs();
  ShowDueTooltip(now);
  OnGUIIdle();
  SyncKeyboardFocus();

  // At most one frame a tick, and none before the frame interval (less a little for the host's
  // uneven idle calls) has passed.
  const int64_t interval = 1000 / std::max(FPS(), 1);
  if (now - mLastFrameMs >= interval - interval / 4)
  {
    if (DrawFrame())
      mLastFrameMs = now;
  }
  const std::vector<PixelRect> exposed = mWindow->TakeExposed();
  if (!exposed.empty())
  {
    int w = 0, h = 0, stride = 0;
    if (GetFramePixels(w, h, stride))
      PresentRegions(exposed);
    else
      SetAllControlsDirty();
  }
}

// The editor holds the X keyboard focus exactly while a text field is open (fields also open from
// timers and from keys the host passes on, so this is checked at every tick).
void ISurfaceLinux::SyncKeyboardFocus()
{
  const ITextEntryControl* entry = GetTextEntryControl();
  if (mWindow)
    mWindow->SetKeyboardFocus(entry && entry->EditInProgress());
}

bool ISurfaceLinux::DrawFrame()
{
  if (!DrawDirtyRegions(mDirtyRects))
    return false;
  ++mFramesDrawn;

  // What was drawn: the regions as aligned and merged by Draw, or their union when drawing is strict.
  const float scale = GetTotalScale();
  std::vector<PixelRect> rects;
  if (StrictDrawing())
    rects.push_back(ToPixels(mDirtyRects.Bounds(), scale));
  else
  {
    for (int i = 0; i < mDirtyRects.Size(); ++i)
      rects.push_back(ToPixels(mDirtyRects.Get(i), scale));
  }
  PresentRegions(rects);
  return true;
}

void ISurfaceLinux::PresentRegions(const std::vector<PixelRect>& rects)
{
  int w = 0, h = 0, stride = 0;
  const unsigned char* pixels = GetFramePixels(w, h, stride);
  if (pixels && mWindow)
    mWindow->Present(pixels, w, h, stride, rects);
}

// --- Input ---

void ISurfaceLinux::PointerDown(float x, float y, const IMouseMod& mod)
{
  HideTooltip();
  OnMouseDown(x, y, mod);
}

void ISurfaceLinux::PointerDoubleClick(float x, float y, const IMouseMod& mod)
{
  HideTooltip();
  OnMouseDblClick(x, y, mod);
}

void ISurfaceLinux::PointerUp(float x, float y, const IMouseMod& mod)
{
  OnMouseUp(x, y, mod);
}

void ISurfaceLinux::PointerDrag(float x, float y, float dX, float dY, const IMouseMod& mod)
{
  OnMouseDrag(x, y, dX, dY, mod);
}

void ISurfaceLinux::PointerOver(float x, float y, const IMouseMod& mod)
{
  OnMouseOver(x, y, mod);
  if (!TooltipsEnabled())
    return;
  const IControl* over = GetMouseOver();
  if (over != mTooltipControl)
  {
    HideTooltip();
    mTooltipControl = over;
    mTooltipDueMs = RunLoop::NowMs() + kTooltipDelayMs;
  }
}

void ISurfaceLinux::PointerOut()
{
  HideTooltip();
  OnMouseOut();
}

void ISurfaceLinux::Wheel(float x, float y, const IMouseMod& mod, float delta)
{
  HideTooltip();
  OnMouseWheel(x, y, mod, delta);
}

bool ISurfaceLinux::KeyDown(float x, float y, const IKeyPress& key)
{
  HideTooltip();
  return OnKeyDown(x, y, key);
}

bool ISurfaceLinux::KeyUp(float x, float y, const IKeyPress& key)
{
  return OnKeyUp(x, y, key);
}

// --- Tooltips ---

void ISurfaceLinux::UpdateTooltips()
{
  HideTooltip();
}

void ISurfaceLinux::HideTooltip()
{
  mTooltipControl = nullptr;
  mTooltipDueMs = 0;
  if (mWindow)
    mWindow->HideText(ETextPopup::kTooltip);
}

void ISurfaceLinux::ShowDueTooltip(int64_t nowMs)
{
  if (!mTooltipControl || !mTooltipDueMs || nowMs < mTooltipDueMs)
    return;
  mTooltipDueMs = 0;
  // Still the control under the pointer (so it is still alive)?
  const IControl* over = GetMouseOver();
  if (over != mTooltipControl || over->IsHidden() || over->GetTooltip().empty() || !TooltipsEnabled())
    return;
  float x = 0.f, y = 0.f;
  mWindow->GetPointer(x, y);
  mWindow->ShowText(ETextPopup::kTooltip, over->GetTooltip(), x, y + 20.f / GetTotalScale());
}

// --- Cursor, clipboard ---

ECursor ISurfaceLinux::SetMouseCursor(ECursor cursor)
{
  if (mWindow)
    mWindow->SetCursor(cursor);
  return ISurfaceCairo::SetMouseCursor(cursor);
}

void ISurfaceLinux::HideMouseCursor(bool hide, bool lock)
{
  if (mWindow)
    mWindow->HideCursor(hide, lock);
}

void ISurfaceLinux::MoveMouseCursor(float x, float y)
{
  if (mWindow)
    mWindow->MoveCursor(x, y);
}

void ISurfaceLinux::GetMouseLocation(float& x, float& y) const
{
  x = y = 0.f;
  if (mWindow)
    mWindow->GetPointer(x, y);
}

bool ISurfaceLinux::GetTextFromClipboard(std::string& str)
{
  return mWindow && mWindow->GetClipboardText(str);
}

bool ISurfaceLinux::SetTextInClipboard(const char* str)
{
  return mWindow && str && mWindow->SetClipboardText(str);
}

// --- Desktop services ---

void ISurfaceLinux::PromptForFile(EFileAction action, const char* fileName, const char* path, const char* extensions,
                                  IFileDialogCompletionFunc completion)
{
  const EDialogTool tool = FindDialogTool(std::getenv("XDG_CURRENT_DESKTOP"));
  StartPrompt(FileDialogCommand(tool, action, fileName ? fileName : "", path ? path : "", extensions ? extensions : ""),
              std::move(completion), false);
}

void ISurfaceLinux::PromptForDirectory(const char* path, IFileDialogCompletionFunc completion)
{
  const EDialogTool tool = FindDialogTool(std::getenv("XDG_CURRENT_DESKTOP"));
  StartPrompt(DirectoryDialogCommand(tool, path ? path : ""), std::move(completion), true);
}

void ISurfaceLinux::StartPrompt(std::vector<std::string> command, IFileDialogCompletionFunc completion, bool directory)
{
  Prompt prompt;
  prompt.completion = std::move(completion);
  prompt.directory = directory;
  prompt.fallback = FallbackDialogCommand(command);
  if (!command.empty())
  {
    prompt.child = std::make_unique<ChildProcess>();
    if (!prompt.child->Start(command, true))
      prompt.child.reset();
  }
  if (!prompt.child)
    ShowNotice(kNoDialogToolMessage);
  // Completed at a later tick even when no dialog could be shown: callers never see their
  // completion run inside their own call.
  mPrompts.push_back(std::move(prompt));
}

void ISurfaceLinux::FinishPrompts()
{
  for (size_t i = 0; i < mPrompts.size();)
  {
    Prompt& prompt = mPrompts[i];
    if (prompt.child && !prompt.child->Poll())
    {
      ++i;
      continue;
    }
    if (prompt.child && DialogFailed(prompt.child->ExitCode()) && !prompt.fallback.empty())
    {
      prompt.child = std::make_unique<ChildProcess>();
      const bool started = prompt.child->Start(prompt.fallback, true);
      prompt.fallback.clear();
      if (started)
        continue; // the same prompt, polled again
    }
    std::string file, folder;
    if (prompt.child && ReadDialogAnswer(prompt.child->Output(), prompt.child->ExitCode(), file, folder) &&
        prompt.directory)
      folder = file + "/";
    if (prompt.child && DialogFailed(prompt.child->ExitCode()))
      ShowNotice(kDialogFailedMessage);
    IFileDialogCompletionFunc completion = std::move(prompt.completion);
    mPrompts.erase(mPrompts.begin() + static_cast<ptrdiff_t>(i));
    if (completion)
      completion(file, folder); // may open another prompt: the list is not walked on from here
    return;
  }
}

bool ISurfaceLinux::OpenURL(const char* url, const char*, const char*, const char* errMsgOnFailure)
{
  const std::vector<std::string> command = OpenURLCommand(url ? url : "");
  ChildProcess opener; // left running to the process-wide reaper: the browser may live long
  const bool started = !command.empty() && opener.Start(command, false);
  if (!started && errMsgOnFailure)
    ShowNotice(errMsgOnFailure);
  return started;
}

void ISurfaceLinux::ForceEndUserEdit()
{
  if (ITextEntryControl* entry = GetTextEntryControl(); entry && entry->EditInProgress())
    entry->CommitEdit();
}

// --- Menus and text fields: the framework's own controls (a plug-in may attach its own menu
// control, in its own look, in its layout) ---

IPopupMenu* ISurfaceLinux::CreatePlatformPopupMenu(IPopupMenu& menu, const IRECT& bounds, bool& isAsync)
{
  AttachPopupMenuControl();
  isAsync = true;
  GetPopupMenuControl()->CreatePopupMenu(menu, bounds);
  return nullptr;
}

void ISurfaceLinux::CreatePlatformTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int length,
                                            const char* str)
{
  AttachTextEntryControl();
  GetTextEntryControl()->CreateTextEntry(paramIdx, text, bounds, length, str);
}

// --- The platform surface (PlatformSurface.h): this one, and the scale of the screen it opens on ---

std::unique_ptr<ISurface> MakeGraphics(ISurfaceEditorDelegate& dlg, int w, int h, int fps, float scale)
{
  QM_MAIN_THREAD(dlg.EditorThread());
  return std::make_unique<ISurfaceLinux>(dlg, w, h, fps, scale);
}

// Over a short connection of its own, from the resources X11Input.h reads.
int QueryScreenScale()
{
  Display* display = XOpenDisplay(nullptr);
  if (!display)
    return 1;
  const int scale = ScreenScaleFromResources(XResourceManagerString(display), std::getenv("GDK_SCALE"));
  XCloseDisplay(display);
  return scale;
}

} // namespace plug::gfx
