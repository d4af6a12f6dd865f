#pragma once

// The layer of the plug-in class chain that owns the editor's graphics context (IEditorDelegate
// <- ISurfaceEditorDelegate <- IPluginBase <- ...). On OpenWindow it makes the surface through the
// plug-in's make-graphics function (restoring the size and scale the editor had when it last
// closed); the platform then lays it out through LayoutUI and calls OnUIOpen. CloseWindow
// remembers the size and scale and deletes the surface with all its controls.
//
// Values for the controls:
//   host automation, presets, state  -> SendParameterValueFromDelegate (any thread)
//     -> one slot per parameter (atomic value + pending flag, no lock)
//     -> on the editor's thread: at once; from other threads: at the start of the surface's next
//        dirty check (ApplyPendingParameterValues), so the control ends up with the last value.
//   SendControlValueFromDelegate, SendControlMsgFromDelegate, SendMidiMsgFromDelegate: [main].
// The whole of each path a parameter value travels: the top of plug/IPluginAPIBase.h.

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "checks/ThreadChecks.h"
#include "plug/core/IEditorDelegate.h"

namespace plug::gfx {

class ISurface;

// Makes the platform surface for the delegate (the caller owns it); null when it cannot.
using IMakeGraphicsFunc = std::function<std::unique_ptr<ISurface>()>;
// Attaches the controls to a new (or resized, with layout-on-resize) surface.
using ILayoutFunc = std::function<void(ISurface* ui)>;

class ISurfaceEditorDelegate : public IEditorDelegate
{
public:
  explicit ISurfaceEditorDelegate(int nParams);
  ~ISurfaceEditorDelegate() override;

  // --- Editor functions (main; the plug-in's constructor sets them) ---

  void SetMakeGraphicsFunc(IMakeGraphicsFunc func) { mMakeGraphicsFunc = std::move(func); }
  void SetLayoutFunc(ILayoutFunc func) { mLayoutFunc = std::move(func); }
  // The make-graphics function's result; null without one.
  virtual std::unique_ptr<ISurface> CreateGraphics();
  // Runs the layout function on ui, when there is one; a plug-in may lay out here instead.
  virtual void LayoutUI(ISurface* ui);
  // The live surface, null while the editor is closed. [main]
  ISurface* GetUI() const
  {
    QM_MAIN_THREAD(mEditorThreadCheck);
    return mGraphics.get();
  }

  // --- Editor lifetime (main) ---

  // Makes the surface if there is none (resized to the remembered size and scale when one was
  // remembered) and returns the platform's view in parent; null without a surface.
  void* OpenWindow(void* parent) override;
  // OnUIClose, then the size and scale are remembered and the surface is deleted. Gestures the
  // user had begun are ended first.
  void CloseWindow() override;
  // [main] The surface takes the rounded scale; nothing while closed.
  void SetScreenScale(double scale) override;

  // --- Delegate to editor ---

  // [any] Every listed control bound to the parameter takes the value (see the top of this file);
  // then OnParamChangeUI on the caller's thread.
  void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized) override;
  // [main] Every listed control with the tag (not -1) takes the value as its value 0.
  void SendControlValueFromDelegate(int ctrlTag, double normalizedValue) override;
  // [main] Every listed control with the tag (not -1) receives the message.
  void SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize = 0, const void* pData = nullptr) override;
  // [main] Every listed control that wants MIDI receives it; then OnMidiMsgUI.
  void SendMidiMsgFromDelegate(const IMidiMsg& msg) override;
  // [main] Hands values deferred from other threads to the controls. The surface calls it at the
  // start of every dirty check; it costs one atomic load when nothing is pending.
  void ApplyPendingParameterValues();

  // [main] Keys the host offers the plug-in (effEditKeyDown) are for an open text field or menu;
  // with neither open they are refused, so the host uses them (Space, its shortcuts). While one is
  // open it takes the key-ups too.
  bool OnKeyDown(const IKeyPress& key) override;
  bool OnKeyUp(const IKeyPress& key) override;

  // --- Editor size record (main): width and height (int32), draw scale (float32), native order ---

  bool SerializeEditorState(IByteChunk& chunk) const override { return SerializeEditorSize(chunk); }
  int UnserializeEditorState(const IByteChunk& chunk, int startPos) override
  {
    return UnserializeEditorSize(chunk, startPos);
  }
  // The live surface's size and scale, or the remembered ones while closed. Always true.
  bool SerializeEditorSize(IByteChunk& chunk) const;
  // Reads 12 bytes at startPos: fields beyond the chunk read as 0 and the result is -1, else
  // startPos + 12. While closed the three values are remembered for the next opening; while open
  // the surface is resized when all three are non-zero.
  int UnserializeEditorSize(const IByteChunk& chunk, int startPos);

private:
  struct PendingValue
  {
    std::atomic<double> value{0.0}; // normalised
    std::atomic<bool> pending{false};
  };

  void ApplyParameterValue(int paramIdx, double normalized);
  bool OnEditorThread() const { return std::this_thread::get_id() == mEditorThread.load(std::memory_order_acquire); }

  IMakeGraphicsFunc mMakeGraphicsFunc;
  ILayoutFunc mLayoutFunc;
  std::unique_ptr<ISurface> mGraphics;
  int mLastWidth = 0;
  int mLastHeight = 0;
  float mLastScale = 0.f;
  bool mClosing = false;

  std::vector<PendingValue> mPendingValues; // one per parameter, sized at construction
  std::atomic<bool> mAnyPending{false};
  std::atomic<std::thread::id> mEditorThread{};
};

} // namespace plug::gfx
