#pragma once

// QuillonMini with its editor open on the headless surface: driven by scripted pointer events,
// stepped frame by frame on a clock of its own, drawn into memory. quillon-editor-shot and the
// editor's tests use it.
//
// Script events, one per text (each ends with a frame; a press passes over its point first):
// "down:X,Y", "up:X,Y", "click:X,Y", "dblclick:X,Y" (press, release, second press, release, as a
// window delivers a double click),
// "drag:X,Y,DX,DY" (the pointer at X,Y having moved by DX,DY with the button held), "wheel:X,Y,D",
// "over:X,Y", "shift" and "plain" (the modifier of the events that follow), "menu:N" (chooses item
// N of the open menu), "file:PATH" (the next file prompt answers PATH), "wait:MS" (frames for MS
// milliseconds). Coordinates are in the editor's points (340 x 160).

#include <memory>
#include <string>

#include "effect/QuillonMini.h"
#include "gfx/IMouse.h"
#include "gfx/platform/ISurfaceHeadless.h"

class EditorSession
{
public:
  static constexpr int kFrameMs = 1000 / quillon::TQuillonMini::kEditorFPS;

  // host may be null. Replaces the run loop's clock by the session's own while it lives.
  explicit EditorSession(audioMasterCallback host = nullptr);
  ~EditorSession();
  EditorSession(const EditorSession&) = delete;
  EditorSession& operator=(const EditorSession&) = delete;

  quillon::TQuillonMini& Plugin() { return *mPlugin; }
  // The open editor; only between Open and Close.
  plug::gfx::ISurfaceHeadless& UI();

  // Opens the editor as a host does (layout, scale from the settings file, values); true when it
  // opened. Close keeps the scale in the settings file, as closing a window does.
  bool Open();
  void Close();
  bool IsOpen() const { return mPlugin->GetUI() != nullptr; }

  // One tick of the editor's frame timer after ms (kFrameMs) of the clock: timers due, then the
  // frame. Frames(n) runs n of them, RunFor(ms) as many as fit.
  void Frame(int ms = kFrameMs);
  void Frames(int n);
  void RunFor(int ms);
  // The whole editor drawn anew (every control dirty), then written as a PNG.
  bool WritePNG(const std::string& path);

  // Applies one script event (see the top); false with a reason for a malformed one.
  bool Apply(const std::string& event, std::string& error);

  // The clock the session gives the run loop, in milliseconds.
  static int64_t Now();

private:
  std::unique_ptr<quillon::TQuillonMini> mPlugin;
  plug::gfx::IMouseMod mModifiers;
};
