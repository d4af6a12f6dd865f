#pragma once

#include <memory>
#include <vector>

#include "checks/ThreadChecks.h"
#include "plug/core/EParamSource.h"
#include "plug/core/IKeyPress.h"
#include "plug/core/IMidi.h"
#include "plug/core/IParam.h"

namespace plug {

class IByteChunk;

// Bottom of the plug-in class chain: owns the parameters and defines every message path between
// the editor and the rest of the plug-in, each with a neutral default.
// Threads: parameter values may be read from any thread; the message paths run on the main
// thread unless noted beside them.
class IEditorDelegate
{
public:
  explicit IEditorDelegate(int nParams);
  virtual ~IEditorDelegate();

  IEditorDelegate(const IEditorDelegate&) = delete;
  IEditorDelegate& operator=(const IEditorDelegate&) = delete;

  // The parameter at idx, or nullptr outside the list. Any thread.
  IParam* GetParam(int idx);
  const IParam* GetParam(int idx) const;
  int NParams() const { return static_cast<int>(mParams.size()); }

  // --- Editor lifetime (main) ---

  // Returns the created view, or nullptr when there is none.
  virtual void* OpenWindow(void* pParent);
  virtual void CloseWindow();
  virtual void OnUIOpen();
  virtual void OnUIClose() {}

  // --- Parameter-change hooks ---

  // The thread of whoever changed the value (host thread, main).
  virtual void OnParamChange(int paramIdx, EParamSource source, int sampleOffset = -1);
  virtual void OnParamChange(int /*paramIdx*/) {}
  // [main, host] The host's thread when reached through SendParameterValueFromDelegate.
  virtual void OnParamChangeUI(int /*paramIdx*/, EParamSource /*source*/) {}
  virtual void OnParamReset(EParamSource source);

  // --- Messages reaching the plug-in's editor side (main) ---

  virtual void OnMidiMsgUI(const IMidiMsg& /*msg*/) {}
  virtual void OnSysexMsgUI(const ISysEx& /*msg*/) {}
  virtual bool OnMessage(int /*msgTag*/, int /*ctrlTag*/, int /*dataSize*/, const void* /*pData*/) { return false; }
  virtual void OnRestoreState();
  virtual bool OnKeyDown(const IKeyPress& /*key*/) { return false; }
  virtual bool OnKeyUp(const IKeyPress& /*key*/) { return false; }

  // --- Delegate to editor (main, except SendParameterValueFromDelegate: any) ---

  virtual void SendControlValueFromDelegate(int /*ctrlTag*/, double /*normalizedValue*/) {}
  virtual void SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize = 0, const void* pData = nullptr);
  virtual void SendArbitraryMsgFromDelegate(int msgTag, int dataSize = 0, const void* pData = nullptr);
  virtual void SendMidiMsgFromDelegate(const IMidiMsg& msg);
  virtual void SendSysexMsgFromDelegate(const ISysEx& msg);
  virtual void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized);

  // --- Editor to delegate (main) ---

  virtual void DirtyParametersFromUI() {}
  virtual void BeginInformHostOfParamChangeFromUI(int paramIdx) = 0;
  virtual void SendParameterValueFromUI(int paramIdx, double normalizedValue);
  virtual void EndInformHostOfParamChangeFromUI(int paramIdx) = 0;
  virtual bool EditorResizeFromUI(int /*viewWidth*/, int /*viewHeight*/) { return false; }
  virtual void SendMidiMsgFromUI(const IMidiMsg& /*msg*/) {}
  virtual void SendSysexMsgFromUI(const ISysEx& /*msg*/) {}
  virtual void SendArbitraryMsgFromUI(int /*msgTag*/, int /*ctrlTag*/ = -1, int /*dataSize*/ = 0,
                                      const void* /*pData*/ = nullptr)
  {
  }
  virtual void DeferMidiMsg(const IMidiMsg& /*msg*/) {}
  virtual void DeferSysexMsg(const ISysEx& /*msg*/) {}

  // --- Editor state (main) ---

  virtual bool SerializeEditorState(IByteChunk& /*chunk*/) const { return true; }
  // Returns the position after what was read, or -1.
  virtual int UnserializeEditorState(const IByteChunk& /*chunk*/, int startPos) { return startPos; }
  virtual void SetScreenScale(double /*scale*/) {}

  // [any] The thread that opened the editor while it is open, which operations tagged [main] check;
  // a delegate without an editor never opens one, so any thread passes.
  const checks::EditorThread& EditorThread() const { return mEditorThreadCheck; }

protected:
  [[no_unique_address]] checks::EditorThread mEditorThreadCheck; // open while an editor exists

private:
  std::vector<std::unique_ptr<IParam>> mParams;
};

} // namespace plug
