#include "plug/IPluginBase.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "plug/core/Utf8Text.h"

namespace plug {

namespace {

// Marks the values of parameters that a named-parameter preset leaves out.
constexpr double kUnnamedValueMarker = 9.999e-8;

int Base64Value(char c)
{
  if (c >= 'A' && c <= 'Z')
    return c - 'A';
  if (c >= 'a' && c <= 'z')
    return c - 'a' + 26;
  if (c >= '0' && c <= '9')
    return c - '0' + 52;
  if (c == '+')
    return 62;
  if (c == '/')
    return 63;
  return -1;
}

// Decodes into all of out (which starts zeroed), stopping at the first character outside the
// alphabet or when out is full.
void DecodeBase64(const char* text, std::vector<uint8_t>& out)
{
  std::size_t written = 0;
  uint32_t bits = 0;
  int nBits = 0;
  for (const char* c = text; *c && written < out.size(); ++c)
  {
    const int value = Base64Value(*c);
    if (value < 0)
      break;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    nBits += 6;
    if (nBits >= 8)
    {
      nBits -= 8;
      out[written++] = static_cast<uint8_t>((bits >> nBits) & 0xFFu);
    }
  }
}

} // namespace

void IPresetEntry::SetName(const char* name)
{
  CopyUtf8Text(mName, sizeof(mName), name);
}

IPluginBase::IPluginBase(int nParams, int nPresets)
  : IPluginEditorBase(nParams)
{
  for (int i = 0; i < nPresets; ++i)
    mPresets.push_back(std::make_unique<IPresetEntry>());
}

IPluginBase::~IPluginBase()
{
  while (!mPresets.empty())
    mPresets.pop_back();
}

// --- Serialisation ---

bool IPluginBase::SerializeParams(IByteChunk& chunk) const
{
  bool ok = true;
  for (int i = 0; i < NParams(); ++i)
    ok = (chunk.PutValue(GetParam(i)->GetValue()) > 0) && ok;
  return ok;
}

int IPluginBase::UnserializeParams(const IByteChunk& chunk, int startPos)
{
  int pos = startPos < 0 ? -1 : startPos;
  for (int i = 0; i < NParams() && pos >= 0; ++i)
  {
    double value = 0.0;
    pos = chunk.GetValueAt(value, pos);
    GetParam(i)->SetValue(value);
  }
  OnParamReset(kPresetRecall);
  return pos;
}

bool IPluginBase::SerializePresets(IByteChunk& chunk) const
{
  const auto lock = LockPresets();
  bool ok = true;
  for (const auto& preset : mPresets)
  {
    chunk.PutText(preset->mName);
    chunk.PutValue(static_cast<uint8_t>(preset->mInitialized ? 1 : 0));
    if (preset->mInitialized)
      chunk.AppendChunk(preset->mChunk);
    ok = ok && chunk.Size() > 0;
  }
  return ok;
}

int IPluginBase::UnserializePresets(const IByteChunk& chunk, int startPos)
{
  const auto lock = LockPresets();
  std::vector<IPresetEntry> savedPresets;
  for (const auto& preset : mPresets)
    savedPresets.push_back(*preset);
  IByteChunk savedState;
  SerializeState(savedState);

  int pos = startPos;
  for (std::size_t i = 0; i < mPresets.size() && pos >= 0; ++i)
  {
    IPresetEntry& preset = *mPresets[i];

    std::string name;
    pos = chunk.GetTextAt(name, pos);
    if (pos < 0)
      break;
    preset.SetName(name.c_str());

    uint8_t initialized = 0;
    pos = chunk.GetValueAt(initialized, pos);
    if (pos < 0 || initialized > 1)
    {
      pos = -1;
      break;
    }
    preset.mInitialized = initialized != 0;

    if (preset.mInitialized)
    {
      pos = UnserializeState(chunk, pos);
      if (pos > 0)
      {
        preset.mChunk.ClearChunk();
        SerializeState(preset.mChunk);
      }
    }
  }

  if (pos < 0)
  {
    for (std::size_t i = 0; i < mPresets.size(); ++i)
      *mPresets[i] = savedPresets[i];
    UnserializeState(savedState, 0);
    return -1;
  }

  RestorePreset(GetCurrentPresetIdx());
  return pos;
}

int IPluginBase::CheckStateAt(const IByteChunk& chunk, int pos) const
{
  for (int i = 0; i < NParams() && pos >= 0; ++i)
  {
    double value = 0.0;
    pos = chunk.GetValueAt(value, pos);
    if (pos >= 0 && !std::isfinite(value))
      return -1;
  }
  return pos;
}

// --- Session ---

bool IPluginBase::SerializeSession(IByteChunk& chunk) const
{
  const auto lock = LockPresets();
  chunk.WriteVersionHeader();
  chunk.PutValue(kSessionFormat);
  chunk.PutValue(static_cast<int32_t>(GetCurrentPresetIdx()));
  chunk.PutText(GetShownPresetName().c_str());
  return SerializePresets(chunk) && SerializeState(chunk);
}

namespace {

// One slot of a bank as read, before anything is replaced.
struct SlotRead
{
  std::string name;
  bool initialized = false;
  int stateStart = 0;
  int stateEnd = 0;
};

} // namespace

bool IPluginBase::UnserializeSession(const IByteChunk& chunk, bool withValues)
{
  int32_t version = 0;
  int pos = IByteChunk::ReadVersionHeader(chunk, &version);
  if (pos <= 0 || version != IByteChunk::kVersion)
    return false;
  int32_t format = 0;
  int32_t current = 0;
  std::string shownName;
  pos = chunk.GetValueAt(format, pos);
  pos = chunk.GetValueAt(current, pos);
  pos = chunk.GetTextAt(shownName, pos);
  if (pos < 0 || format != kSessionFormat)
    return false;

  const auto lock = LockPresets();
  if (current < 0 || current >= NPresets())
    return false;
  std::vector<SlotRead> slots(static_cast<std::size_t>(NPresets()));
  for (SlotRead& slot : slots)
  {
    uint8_t initialized = 0;
    pos = chunk.GetTextAt(slot.name, pos);
    pos = chunk.GetValueAt(initialized, pos);
    if (pos < 0 || initialized > 1)
      return false;
    slot.initialized = initialized != 0;
    slot.stateStart = pos;
    if (slot.initialized)
      pos = CheckStateAt(chunk, pos);
    slot.stateEnd = pos;
  }
  const int valuesStart = pos;
  pos = CheckStateAt(chunk, pos);
  if (pos != chunk.Size()) // also what a plug-in with more programs wrote
    return false;

  for (std::size_t i = 0; i < slots.size(); ++i)
  {
    IPresetEntry& preset = *mPresets[i];
    preset.SetName(slots[i].name.c_str());
    preset.mInitialized = slots[i].initialized;
    preset.mChunk.ClearChunk();
    preset.mChunk.PutBytes(chunk.GetData() + slots[i].stateStart, slots[i].stateEnd - slots[i].stateStart);
  }
  mCurrentPresetIdx.store(current, std::memory_order_release);
  SetShownPresetName(shownName.c_str());
  if (withValues)
  {
    UnserializeState(chunk, valuesStart);
    OnRestoreState();
  }
  return true;
}

// --- Presets ---

std::unique_lock<std::recursive_mutex> IPluginBase::LockPresets() const
{
  return std::unique_lock<std::recursive_mutex>(mPresetMutex);
}

int IPluginBase::NPresets() const
{
  const auto lock = LockPresets();
  return static_cast<int>(mPresets.size());
}

std::string IPluginBase::GetPresetName(int idx) const
{
  const auto lock = LockPresets();
  const IPresetEntry* preset = FindPreset(idx);
  return preset ? preset->mName : "";
}

std::optional<IPresetEntry> IPluginBase::GetPreset(int idx) const
{
  const auto lock = LockPresets();
  const IPresetEntry* preset = FindPreset(idx);
  return preset ? std::optional<IPresetEntry>(*preset) : std::nullopt;
}

const IPresetEntry* IPluginBase::FindPreset(int idx) const
{
  if (idx < 0 || idx >= static_cast<int>(mPresets.size()))
    return nullptr;
  return mPresets[static_cast<std::size_t>(idx)].get();
}

IPresetEntry* IPluginBase::FirstFreePreset()
{
  for (auto& preset : mPresets)
  {
    if (!preset->mInitialized)
      return preset.get();
  }
  return nullptr;
}

IPresetEntry* IPluginBase::TakeFirstFreePreset(const char* name)
{
  IPresetEntry* preset = FirstFreePreset();
  if (!preset)
    return nullptr;
  preset->mInitialized = true;
  preset->SetName(name);
  preset->mChunk.ClearChunk();
  return preset;
}

void IPluginBase::MakeDefaultPreset(const char* name, int count)
{
  const auto lock = LockPresets();
  for (int i = 0; i < count; ++i)
  {
    IPresetEntry* preset = TakeFirstFreePreset(name ? name : "Empty");
    if (!preset)
      return;
    SerializeState(preset->mChunk);
  }
}

bool IPluginBase::FillFirstFreePreset(const char* name, const std::vector<double>& values)
{
  const auto lock = LockPresets();
  IPresetEntry* preset = TakeFirstFreePreset(name);
  if (!preset)
    return false;
  for (double value : values)
    preset->mChunk.PutValue(value);
  return true;
}

bool IPluginBase::MakePresetFromPairs(const char* name, int nParamsNamed, const std::vector<double>& flat)
{
  if (nParamsNamed < 0 || flat.size() != 2 * static_cast<std::size_t>(nParamsNamed))
    return false;

  std::vector<double> values(static_cast<std::size_t>(NParams()), kUnnamedValueMarker);
  for (std::size_t i = 0; i < flat.size(); i += 2)
  {
    const double index = flat[i];
    if (!(index >= 0.0 && index < NParams()) || index != std::floor(index))
      return false;
    values[static_cast<std::size_t>(index)] = flat[i + 1];
  }

  for (int i = 0; i < NParams(); ++i)
  {
    double& value = values[static_cast<std::size_t>(i)];
    if (value == kUnnamedValueMarker)
      value = GetParam(i)->GetValue();
  }
  return FillFirstFreePreset(name, values);
}

bool IPluginBase::MakePresetFromChunk(const char* name, const IByteChunk& chunk)
{
  const auto lock = LockPresets();
  IPresetEntry* preset = TakeFirstFreePreset(name);
  if (!preset)
    return false;
  preset->mChunk.AppendChunk(chunk);
  return true;
}

bool IPluginBase::MakePresetFromBlob(const char* name, const char* base64, int chunkSize)
{
  if (!base64 || chunkSize < 0)
    return false;

  std::vector<uint8_t> bytes(static_cast<std::size_t>(chunkSize), 0);
  DecodeBase64(base64, bytes);

  IByteChunk chunk;
  chunk.PutBytes(bytes.data(), chunkSize);
  return MakePresetFromChunk(name, chunk);
}

void IPluginBase::EnsureDefaultPreset()
{
  const auto lock = LockPresets();
  for (auto& preset : mPresets)
  {
    if (preset->mInitialized)
      continue;
    preset->mInitialized = true;
    preset->SetName("Empty");
    preset->mChunk.ClearChunk();
    SerializeState(preset->mChunk);
  }
}

void IPluginBase::PruneUninitializedPresets()
{
  const auto lock = LockPresets();
  std::erase_if(mPresets, [](const std::unique_ptr<IPresetEntry>& preset) { return !preset->mInitialized; });
}

int IPluginBase::CountPresetsNamedLike(const char* text) const
{
  int count = 0;
  for (const auto& preset : mPresets)
  {
    if (std::strstr(preset->mName, text))
      ++count;
  }
  return count;
}

bool IPluginBase::RestorePreset(int idx)
{
  const auto lock = LockPresets();
  if (idx < 0 || idx >= NPresets())
    return false;

  IPresetEntry& preset = *mPresets[static_cast<std::size_t>(idx)];
  if (!preset.mInitialized)
  {
    preset.mInitialized = true;
    char name[IPresetEntry::kMaxNameLength];
    std::snprintf(name, sizeof(name), "%s %d", "user preset", 1 + CountPresetsNamedLike("user preset"));
    preset.SetName(name);
    preset.mChunk.ClearChunk();
    if (!SerializeState(preset.mChunk))
      return false;
  }
  else
  {
    IByteChunk before;
    SerializeState(before);
    if (UnserializeState(preset.mChunk, 0) < 1)
    {
      UnserializeState(before, 0);
      return false;
    }
  }

  mCurrentPresetIdx.store(idx, std::memory_order_release);
  OnPresetsModified();
  OnRestoreState();
  OnProgramStoreChanged();
  return true;
}

bool IPluginBase::RestorePreset(const char* name)
{
  if (!name || !*name)
    return false;

  const auto lock = LockPresets();
  for (int i = 0; i < NPresets(); ++i)
  {
    if (std::strcmp(mPresets[static_cast<std::size_t>(i)]->mName, name) == 0)
      return RestorePreset(i);
  }
  return false;
}

bool IPluginBase::SelectPreset(int idx)
{
  const auto lock = LockPresets();
  if (!FindPreset(idx))
    return false;
  mCurrentPresetIdx.store(idx, std::memory_order_release);
  OnPresetsModified();
  return true;
}

void IPluginBase::ModifyCurrentPreset(const char* name)
{
  const auto lock = LockPresets();
  const int current = GetCurrentPresetIdx();
  if (current < 0 || current >= NPresets())
    return;

  IPresetEntry& preset = *mPresets[static_cast<std::size_t>(current)];
  preset.mChunk.ClearChunk();
  SerializeState(preset.mChunk);
  if (name && *name)
    preset.SetName(name);
  OnProgramStoreChanged();
}

// --- Parameter sets ---

void IPluginBase::InitParamRange(int startIdx, int endIdx, int countStart, const char* nameFormat, double defaultVal,
                                 double minVal, double maxVal, double step, const char* label, int flags,
                                 const char* group, const IParam::Shape& shape, IParam::EParamUnit unit,
                                 IParam::DisplayFunc displayFunc)
{
  int counter = countStart;
  for (int i = startIdx; i <= endIdx; ++i, ++counter)
  {
    IParam* param = GetParam(i);
    if (!param)
      continue;
    char name[IParam::kMaxTextLength];
    std::snprintf(name, sizeof(name), nameFormat ? nameFormat : "", counter);
    param->InitDouble(name, defaultVal, minVal, maxVal, step, label, flags, group, shape, unit, displayFunc);
  }
}

void IPluginBase::CloneParamRange(int cloneStartIdx, int cloneEndIdx, int startIdx, const char* searchStr,
                                  const char* replaceStr, const char* newGroup)
{
  for (int i = cloneStartIdx; i <= cloneEndIdx; ++i)
  {
    const IParam* source = GetParam(i);
    IParam* dest = GetParam(startIdx + (i - cloneStartIdx));
    if (!source || !dest)
      continue;
    dest->Init(*source, searchStr, replaceStr, newGroup);
    dest->SetValue(source->GetValue());
  }
}

void IPluginBase::CopyParamValues(int startIdx, int destIdx, int nParams)
{
  for (int k = 0; k < nParams; ++k)
  {
    const IParam* source = GetParam(startIdx + k);
    IParam* dest = GetParam(destIdx + k);
    if (source && dest)
      dest->SetValue(source->GetValue());
  }
}

void IPluginBase::CopyParamValues(const char* inGroup, const char* outGroup)
{
  std::vector<IParam*> sources;
  std::vector<IParam*> dests;
  ForParamInGroup(inGroup, [&](int, IParam& param) { sources.push_back(&param); });
  ForParamInGroup(outGroup, [&](int, IParam& param) { dests.push_back(&param); });
  if (sources.size() != dests.size())
    return;

  for (std::size_t i = 0; i < sources.size(); ++i)
    dests[i]->SetValue(sources[i]->GetValue());
}

void IPluginBase::ForParamInRange(int startIdx, int endIdx, const ParamFunc& func)
{
  for (int i = startIdx; i <= endIdx; ++i)
  {
    if (IParam* param = GetParam(i))
      func(i, *param);
  }
}

void IPluginBase::ForParamInGroup(const char* group, const ParamFunc& func)
{
  if (!group)
    return;
  for (int i = 0; i < NParams(); ++i)
  {
    IParam& param = *GetParam(i);
    if (std::strcmp(param.GetGroupForHost(), group) == 0)
      func(i, param);
  }
}

void IPluginBase::DefaultParamValues()
{
  DefaultParamValues(0, NParams() - 1);
}

void IPluginBase::DefaultParamValues(int startIdx, int endIdx)
{
  ForParamInRange(startIdx, endIdx, [](int, IParam& param) { param.ResetToDefault(); });
}

void IPluginBase::DefaultParamValues(const char* group)
{
  ForParamInGroup(group, [](int, IParam& param) { param.ResetToDefault(); });
}

namespace {

void RandomiseParam(int, IParam& param)
{
  const float r = static_cast<float>(std::rand()) * (1.0f / 2147483648.0f);
  param.SetValue(param.NormToValue(r));
}

} // namespace

void IPluginBase::RandomiseParamValues()
{
  RandomiseParamValues(0, NParams() - 1);
}

void IPluginBase::RandomiseParamValues(int startIdx, int endIdx)
{
  ForParamInRange(startIdx, endIdx, RandomiseParam);
}

void IPluginBase::RandomiseParamValues(const char* group)
{
  ForParamInGroup(group, RandomiseParam);
}

void IPluginBase::PrintParamValues()
{
  ForParamInRange(0, NParams() - 1, [](int, IParam& param) { param.PrintDetails(); });
}

} // namespace plug
