#pragma once

// The effect linked in, with a settings folder of its own and a host's window on the test server
// (the Xvfb that tools/qm test and tools/qm bench start) to open its editor in, driven only through
// its dispatcher, as a host drives it.

#include <memory>

#include "effect/QuillonMini.h"
#include "gfx/platform/ISurfaceLinux.h"
#include "tests/support/TempFolder.h"
#include "tests/support/X11TestHost.h"

class X11EffectHost
{
public:
  // A host's window of w x h; Ready() is false when there is no display or no settings folder.
  X11EffectHost(int w, int h, audioMasterCallback callback = Quiet)
  {
    if (mSettings.Path().empty() || !(mDisplay = OpenTestDisplay()))
      return;
    mParent = MapHostWindow(mDisplay, w, h);
    plug::InstanceInfo info;
    info.mVSTHostCallback = callback;
    mPlugin = std::make_unique<quillon::TQuillonMini>(info);
  }
  ~X11EffectHost()
  {
    mPlugin.reset();
    if (mDisplay)
      XCloseDisplay(mDisplay);
  }
  X11EffectHost(const X11EffectHost&) = delete;
  X11EffectHost& operator=(const X11EffectHost&) = delete;

  bool Ready() const { return mPlugin != nullptr; }
  const TempSettingsFolder& Settings() const { return mSettings; }
  Display* GetDisplay() const { return mDisplay; }
  Window Parent() const { return mParent; }
  // The editor opens in a new window of w x h from now on.
  void MapParent(int w, int h) { mParent = MapHostWindow(mDisplay, w, h); }
  quillon::TQuillonMini& Plugin() const { return *mPlugin; }
  plug::gfx::ISurfaceLinux* UI() const { return dynamic_cast<plug::gfx::ISurfaceLinux*>(mPlugin->GetUI()); }

  // 0 when the host is not ready.
  VstIntPtr Dispatch(VstInt32 opcode, void* ptr = nullptr)
  {
    if (!mPlugin)
      return 0;
    AEffect& effect = mPlugin->GetAEffect();
    return effect.dispatcher(&effect, opcode, 0, 0, ptr, 0.f);
  }
  bool OpenEditor() { return Dispatch(effEditOpen, reinterpret_cast<void*>(mParent)) == 1; }
  void Idle() { Dispatch(effEditIdle); }
  void CloseEditor() { Dispatch(effEditClose); }

private:
  static VstIntPtr Quiet(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

  TempSettingsFolder mSettings{"qm_x11_host"};
  Display* mDisplay = nullptr;
  Window mParent = None;
  std::unique_ptr<quillon::TQuillonMini> mPlugin;
};
