#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "plug/IPresetFile.h"
#include "plug/core/IByteChunk.h"
#include "plug/core/IParam.h"

// The editor's layer of the class chain is chosen when the framework is built: the graphics editor
// delegate, or, with QM_PLUGIN_EDITOR=0, the editor-less delegate at the bottom of the chain, for a
// processing-only module that must load without a display, X11, Cairo or FreeType (an LV2 plug-in's
// DSP binary, which headless hosts load). A build of the framework links one of the two, never both.
#ifndef QM_PLUGIN_EDITOR
#define QM_PLUGIN_EDITOR 1
#endif
#if QM_PLUGIN_EDITOR
#include "gfx/ISurfaceEditorDelegate.h"
#else
#include "plug/core/IEditorDelegate.h"
#endif

namespace plug {

#if QM_PLUGIN_EDITOR
using IPluginEditorBase = gfx::ISurfaceEditorDelegate;
#else
using IPluginEditorBase = IEditorDelegate;
#endif

// One preset slot.
struct IPresetEntry
{
  // Name field size, terminator included (255 usable characters).
  static constexpr int kMaxNameLength = 256;

  bool mInitialized = false;
  char mName[kMaxNameLength] = "empty";
  IByteChunk mChunk;

  // Copies the name, cut to fit the field; null counts as empty.
  void SetName(const char* name);
};

// Owns the preset slots and turns the parameter set into bytes and back.
//
// Threads: the slots (names, stored states, initialised flags) and the current index form the
// program store, which the host may reach with program and chunk calls on any thread of its own
// while the editor lists, modifies, loads and saves programs on the main thread. Every operation
// on the store takes its lock, so each is whole to the others; a caller that makes several of them
// one holds LockPresets() around them. Under that lock nothing waits for another thread: no host
// callback and no file input or output run while it is held. The audio thread never touches the
// store; parameter stores are atomic, so it may read values while a preset loads.
class IPluginBase : public IPluginEditorBase
{
public:
  using ParamFunc = std::function<void(int paramIdx, IParam& param)>;

  IPluginBase(int nParams, int nPresets);
  ~IPluginBase() override;

  // --- Serialisation ---

  // Appends every parameter's plain value as a double, in index order.
  bool SerializeParams(IByteChunk& chunk) const;
  // Reads one double per parameter from startPos. A failed read sets that parameter from 0 and
  // stops; OnParamReset(kPresetRecall) follows in every case. Returns the next position or -1.
  int UnserializeParams(const IByteChunk& chunk, int startPos);

  virtual void InformHostOfParameterDetailsChange() {}
  virtual bool SerializeState(IByteChunk& chunk) const { return SerializeParams(chunk); }
  virtual int UnserializeState(const IByteChunk& chunk, int startPos) { return UnserializeParams(chunk, startPos); }
  virtual bool SerializeVST3CtrlrState(IByteChunk& /*chunk*/) const { return true; }
  virtual int UnserializeVST3CtrlrState(const IByteChunk& /*chunk*/, int startPos) { return startPos; }
  virtual void InformHostOfProgramChange() {}
  virtual void OnPresetsModified() {}

  // [host, main] The position after a well-formed state starting at pos in chunk, or -1: what
  // SerializeState writes, checked before anything is loaded. The base expects what
  // SerializeParams writes: one finite double per parameter.
  virtual int CheckStateAt(const IByteChunk& chunk, int pos) const;

  // [host, main] Bank: per slot its name (PutText), the initialised byte, and the state when
  // initialised.
  bool SerializePresets(IByteChunk& chunk) const;
  // [host, main] Loads a bank written by SerializePresets, then restores the current preset. A
  // malformed bank is refused: the presets and parameter values are put back as they were and -1
  // is returned.
  int UnserializePresets(const IByteChunk& chunk, int startPos);

  // --- Session: everything the user did, for a host that keeps it whole ---
  // The version header (IByteChunk), the session format (kSessionFormat), the current program
  // (int32), the name the editor shows for it (PutText), the bank (SerializePresets) and the live
  // values (SerializeState). Bindings whose host keeps the plug-in's state as one opaque value, and
  // whose editor may run in another process, carry the program store in it.

  static constexpr int32_t kSessionFormat = 1;

  // [host, main] Under the store's lock, so the session is whole while others change it.
  bool SerializeSession(IByteChunk& chunk) const;
  // [host, main] Checks the whole chunk first: a malformed session, one that does not end where the
  // chunk ends, or one of another plug-in (another number of programs or parameters) is refused
  // with false and nothing changes. Otherwise the slots, the current program and the shown name are
  // replaced without restoring the program; with withValues the live values are loaded too and
  // OnRestoreState follows. OnProgramStoreChanged is not called: the session came from outside.
  bool UnserializeSession(const IByteChunk& chunk, bool withValues);

  // [host, main] The name the editor shows for the current program, which a plug-in may keep apart
  // from the slot's. The base: the current slot's name, and setting it does nothing.
  virtual std::string GetShownPresetName() const { return GetPresetName(GetCurrentPresetIdx()); }
  virtual void SetShownPresetName(const char* /*name*/) {}
  // [host, main] After a change of the program store made here (a program restored or modified,
  // a bank loaded), under the store's lock: nothing may wait for another thread in it.
  virtual void OnProgramStoreChanged() {}

  // --- Presets ---

  // [host, main] Held by a caller that makes several store operations one, e.g. a program change
  // that first keeps the edits of the slot it leaves. The operations take it themselves too (it is
  // recursive).
  [[nodiscard]] std::unique_lock<std::recursive_mutex> LockPresets() const;

  int NPresets() const;                                                                         // [host, main]
  int GetCurrentPresetIdx() const { return mCurrentPresetIdx.load(std::memory_order_acquire); } // [any]
  // [host, main] A copy of the slot's name, "" outside the list.
  std::string GetPresetName(int idx) const;
  // [host, main] A copy of the slot, or none outside the list.
  std::optional<IPresetEntry> GetPreset(int idx) const;

  // Fills up to count free slots with the current values; a null name gives "Empty".
  void MakeDefaultPreset(const char* name = nullptr, int count = 1);

  // Fills the first free slot with one value per parameter, in index order. False (and nothing
  // changes) when no slot is free or the number of values differs from the number of parameters.
  template <typename... Values>
  bool MakePreset(const char* name, Values... values)
  {
    static_assert(((std::is_arithmetic_v<Values> || std::is_enum_v<Values>)&&...), "preset values are numbers");
    const std::vector<double> list{static_cast<double>(values)...};
    if (static_cast<int>(list.size()) != NParams())
      return false;
    return FillFirstFreePreset(name, list);
  }

  // Fills the first free slot from nParamsNamed pairs (parameter index, value); parameters not
  // named keep their current values. False (and nothing changes) when no slot is free, the pair
  // count does not match or an index is not a parameter.
  template <typename... Pairs>
  bool MakePresetFromNamedParams(const char* name, int nParamsNamed, Pairs... pairs)
  {
    static_assert(sizeof...(Pairs) % 2 == 0, "index and value pairs");
    static_assert(((std::is_arithmetic_v<Pairs> || std::is_enum_v<Pairs>)&&...), "indices and values are numbers");
    const std::vector<double> flat{static_cast<double>(pairs)...};
    return MakePresetFromPairs(name, nParamsNamed, flat);
  }

  // Fills the first free slot with a copy of the chunk's bytes.
  bool MakePresetFromChunk(const char* name, const IByteChunk& chunk);
  // Fills the first free slot with chunkSize bytes decoded from standard base64 text; decoding
  // stops at the first character outside the alphabet, the rest stays zero.
  bool MakePresetFromBlob(const char* name, const char* base64, int chunkSize);

  // Every free slot takes the current values under the name "Empty".
  void EnsureDefaultPreset();
  // Before the plug-in reaches the host: the number of slots is fixed from then on.
  void PruneUninitializedPresets();

  // [host, main] Loads the slot (a free slot becomes a numbered user preset of the current
  // values), makes it current, then calls OnPresetsModified and OnRestoreState. A slot whose state
  // cannot be loaded gives false and leaves the parameter values as they were.
  bool RestorePreset(int idx);
  // [host, main] The first slot whose name equals name exactly.
  bool RestorePreset(const char* name);
  // [host, main] Makes the slot current without loading its values (for a host that brings them
  // itself), then OnPresetsModified. False, and nothing changes, outside the list.
  bool SelectPreset(int idx);
  // [host, main] The current slot takes the current values, and name when it is not empty.
  void ModifyCurrentPreset(const char* name = nullptr);

  // --- Program and bank files ---
  // Only the parameter forms ("FxCk" programs, "FxBk" banks) with big-endian fields; every value is
  // stored as a normalised 32-bit float. A refused file changes nothing, and files are replaced
  // whole through a temporary file, so a failed save leaves any existing file as it was. A save
  // never replaces a file the user may not write, nor anything but a regular file; over a symbolic
  // link it replaces the file the link leads to.
  // [main] These read and write files; the store is read or changed as a whole under its lock, and
  // the files are read and written outside it.

  // The plug-in's four-character identifier, written into program and bank files and required of
  // the files that are loaded. Any thread.
  virtual int32_t GetUniqueID() const { return 0; }

  // Writes the live values under the current preset's name. False for a null or empty path or a
  // failed write. Main thread.
  bool SaveProgramAsFXP(const char* path) const;
  // Applies the file's values, stores them in the current slot (with the file's program name when
  // it is not empty), restores that slot and informs the host. False, changing nothing, for a file
  // that cannot be read, is not a regular file, is larger than kMaxPresetFileSize, is not a
  // parameter-form program of this plug-in, is truncated or holds a non-finite value. Main thread.
  bool LoadProgramFromFXP(const char* path);
  // Writes every slot's stored values (not the live ones) and the current preset index. False for a
  // null or empty path or a failed write. Main thread.
  bool SaveBankAsFXB(const char* path) const;
  // Loads every program record into its slot, then restores the bank's current program and informs
  // the host. Refused like LoadProgramFromFXP, and also when the file's length does not match its
  // program count or its current program is not a slot. A record whose tags, version or parameter count are wrong stops the load with
  // false; the records before it stay loaded, the last of them is current and the host is
  // informed (nothing changes when it is the first record). Main thread.
  bool LoadBankFromFXB(const char* path);

  // Files larger than this are refused before they are read.
  static constexpr long kMaxPresetFileSize = IPresetFile::kMaxFileSize;

  // --- Source dumps: lines for a plug-in's constructor (main thread) ---
  // Each replaces the file at path; false (writing nothing) when it cannot be written. Preset names
  // are written with their quotes and backslashes escaped.

  // "  MakePreset(...);" from the live values and the current preset's name; with paramNames (one
  // text per parameter) "  MakePresetFromNamedParams(...);" naming each parameter.
  bool DumpPresetSrcCode(const char* path, const char* const* paramNames = nullptr) const;
  // "MakePresetFromBlob(name, base64, size);" for the current slot's stored state. False also when
  // there is no current slot or its state is larger than kMaxBlobStateSize.
  bool DumpPresetBlob(const char* path) const;
  // One "MakePresetFromBlob(name, base64, size, size);" line per slot.
  bool DumpAllPresetsBlob(const char* path) const;
  // One "MakePresetFromBlob(name, base64, size);" line per slot.
  bool DumpBankBlob(const char* path) const;

  // A dumped state's base64 text stays within 32767 characters.
  static constexpr int kMaxBlobStateSize = 24573;

  // --- Parameter sets ---

  void InitParamRange(int startIdx, int endIdx, int countStart, const char* nameFormat, double defaultVal,
                      double minVal, double maxVal, double step, const char* label = "", int flags = 0,
                      const char* group = "", const IParam::Shape& shape = IParam::ShapeLinear(),
                      IParam::EParamUnit unit = IParam::kUnitCustom, IParam::DisplayFunc displayFunc = nullptr);
  void CloneParamRange(int cloneStartIdx, int cloneEndIdx, int startIdx, const char* searchStr = "",
                       const char* replaceStr = "", const char* newGroup = "");
  void CopyParamValues(int startIdx, int destIdx, int nParams);
  // Nothing happens when the two groups differ in size.
  void CopyParamValues(const char* inGroup, const char* outGroup);
  void ForParamInRange(int startIdx, int endIdx, const ParamFunc& func);
  void ForParamInGroup(const char* group, const ParamFunc& func);
  void DefaultParamValues();
  void DefaultParamValues(int startIdx, int endIdx);
  void DefaultParamValues(const char* group);
  void RandomiseParamValues();
  void RandomiseParamValues(int startIdx, int endIdx);
  void RandomiseParamValues(const char* group);
  void PrintParamValues();

protected:
  // Kept here for the host interaction base: the plug-in's packed version, the host's identity
  // (-1 until identified) and packed version (0 until identified), and the interface kind.
  int32_t mPluginVersion = 0;
  int mHost = -1;
  int32_t mHostVersion = 0;
  int mAPI = 0;

private:
  // What program and bank files must fit to be loaded.
  IPresetFile::Target PresetFileTarget() const;
  // The slot, or nullptr outside the list. Under the store's lock.
  const IPresetEntry* FindPreset(int idx) const;
  IPresetEntry* FirstFreePreset();
  // The first free slot, now initialised with the name and an empty state; nullptr when none.
  IPresetEntry* TakeFirstFreePreset(const char* name);
  bool FillFirstFreePreset(const char* name, const std::vector<double>& values);
  bool MakePresetFromPairs(const char* name, int nParamsNamed, const std::vector<double>& flat);
  int CountPresetsNamedLike(const char* text) const;
  // Writes one blob line per slot to path, replacing the file; false, and nothing written, when the
  // path is empty or a state is too large.
  bool DumpBlobLines(const char* path, bool sizeTwice) const;

  // The program store, guarded by mPresetMutex; the current index is written under it and read
  // without it.
  mutable std::recursive_mutex mPresetMutex;
  std::vector<std::unique_ptr<IPresetEntry>> mPresets;
  std::atomic<int> mCurrentPresetIdx{0};
};

} // namespace plug
