// Program (.fxp) and bank (.fxb) files and the preset source dumps of IPluginBase.
// Everything here runs on the main thread.

#include "plug/IPluginBase.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "checks/ThreadChecks.h"
#include "files/AtomicFile.h"
#include "plug/Config.h"
#include "plug/IPresetFile.h"
#include "plug/core/NumberText.h"

namespace plug {

namespace {

using Bytes = std::vector<uint8_t>;

// The parameters held in the program take its values (the others keep theirs); then the current
// slot stores the result, and the program's name when it has one.
void ApplyProgram(IPluginBase& plugin, const IPresetFile::Program& program)
{
  const std::size_t count = std::min(program.values.size(), static_cast<std::size_t>(plugin.NParams()));
  for (std::size_t i = 0; i < count; ++i)
    plugin.GetParam(static_cast<int>(i))->SetNormalizedValue(program.values[i]);
  plugin.ModifyCurrentPreset(program.name.c_str());
}

// A slot's stored plain values as normalised floats; values its state lacks count as 0.
std::vector<float> StoredNormalizedValues(const IPluginBase& plugin, const IByteChunk& state)
{
  std::vector<float> values;
  int pos = 0;
  for (int i = 0; i < plugin.NParams(); ++i)
  {
    double value = 0.0;
    pos = state.GetValueAt(value, pos); // once a read fails, every later one does too
    values.push_back(static_cast<float>(plugin.GetParam(i)->ValueToNorm(value)));
  }
  return values;
}

// --- Files ---

// A save never leaves a partly written file, nor replaces one the user may not write.
bool ReplaceFile(const char* path, std::string_view bytes)
{
  return path && files::ReplaceFile(path, bytes, files::ETemporaryFile::kOwn);
}

bool ReplaceFile(const char* path, const Bytes& bytes)
{
  return ReplaceFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// --- Source text ---

std::string EncodeBase64(const uint8_t* data, std::size_t size)
{
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((size + 2) / 3 * 4);
  for (std::size_t i = 0; i < size; i += 3)
  {
    const std::size_t left = size - i;
    const uint32_t bits = (static_cast<uint32_t>(data[i]) << 16) |
        (left > 1 ? static_cast<uint32_t>(data[i + 1]) << 8 : 0u) |
        (left > 2 ? static_cast<uint32_t>(data[i + 2]) : 0u);
    text += kAlphabet[(bits >> 18) & 63u];
    text += kAlphabet[(bits >> 12) & 63u];
    text += left > 1 ? kAlphabet[(bits >> 6) & 63u] : '=';
    text += left > 2 ? kAlphabet[bits & 63u] : '=';
  }
  return text;
}

// The text as the inside of a C string literal.
std::string EscapedForSource(const char* text)
{
  std::string escaped;
  for (const char* c = text ? text : ""; *c; ++c)
  {
    const auto byte = static_cast<unsigned char>(*c);
    if (*c == '"' || *c == '\\')
    {
      escaped += '\\';
      escaped += *c;
    }
    else if (byte < 0x20 || byte == 0x7F)
    {
      char octal[8];
      std::snprintf(octal, sizeof(octal), "\\%03o", byte);
      escaped += octal;
    }
    else
    {
      escaped += *c;
    }
  }
  return escaped;
}

std::string ValueTextForSource(const IParam& param)
{
  const double value = param.GetValue();
  switch (param.Type())
  {
    case IParam::kTypeBool:
      return value >= 0.5 ? "true" : "false";
    case IParam::kTypeInt:
    case IParam::kTypeEnum:
    case IParam::kTypeNote:
      return std::to_string(static_cast<int>(value));
    default:
      return FixedText(value, 6);
  }
}

// Appends "MakePresetFromBlob(\"name\", \"base64\", size);\n" (the size twice when asked); false
// when the state is too large for a dump.
bool AppendBlobLine(std::string& text, const IPresetEntry& preset, bool sizeTwice)
{
  const IByteChunk& state = preset.mChunk;
  if (state.Size() > IPluginBase::kMaxBlobStateSize)
    return false;
  const std::string size = std::to_string(state.Size());
  text += "MakePresetFromBlob(\"" + EscapedForSource(preset.mName) + "\", \"";
  text += EncodeBase64(state.GetData(), static_cast<std::size_t>(state.Size()));
  text += "\", " + size;
  if (sizeTwice)
    text += ", " + size;
  text += ");\n";
  return true;
}

} // namespace

// --- Program and bank files ---

IPresetFile::Target IPluginBase::PresetFileTarget() const
{
  return IPresetFile::Target{GetUniqueID(), NParams(), NPresets()};
}

bool IPluginBase::SaveProgramAsFXP(const char* path) const
{
  QM_MAIN_THREAD(EditorThread());
  if (!path || !*path)
    return false;

  Bytes file;
  {
    const auto lock = LockPresets(); // the values and the name of one moment
    std::vector<float> values;
    for (int i = 0; i < NParams(); ++i)
      values.push_back(static_cast<float>(GetParam(i)->GetNormalizedValue()));
    IPresetFile::AppendProgram(file, GetUniqueID(), mPluginVersion, GetPresetName(GetCurrentPresetIdx()).c_str(),
                               values);
  }
  return ReplaceFile(path, file);
}

bool IPluginBase::LoadProgramFromFXP(const char* path)
{
  QM_MAIN_THREAD(EditorThread());
  Bytes file;
  IPresetFile::Program program;
  if (!IPresetFile::ReadFile(path, file) ||
      !IPresetFile::ParseProgram(file.data(), file.size(), PresetFileTarget(), program) || program.isChunk)
    return false;

  {
    const auto lock = LockPresets();
    ApplyProgram(*this, program);
    RestorePreset(GetCurrentPresetIdx());
  }
  InformHostOfProgramChange();
  return true;
}

bool IPluginBase::SaveBankAsFXB(const char* path) const
{
  QM_MAIN_THREAD(EditorThread());
  if (!path || !*path)
    return false;

  Bytes file;
  {
    const auto lock = LockPresets();
    IPresetFile::AppendBankHeader(file, GetUniqueID(), mPluginVersion, NPresets(), GetCurrentPresetIdx());
    for (const auto& preset : mPresets)
    {
      IPresetFile::AppendProgram(file, GetUniqueID(), mPluginVersion, preset->mName,
                                 StoredNormalizedValues(*this, preset->mChunk));
    }
  }
  return ReplaceFile(path, file);
}

// Everything that can be checked is checked before anything is applied, so that the only way to
// stop half way is a record whose header fields are wrong: the load then ends there, after the
// records before it.
bool IPluginBase::LoadBankFromFXB(const char* path)
{
  QM_MAIN_THREAD(EditorThread());
  Bytes file;
  IPresetFile::Bank bank;
  if (!IPresetFile::ReadFile(path, file) ||
      !IPresetFile::ParseBank(file.data(), file.size(), PresetFileTarget(), bank) || bank.isChunk)
    return false;

  {
    const auto lock = LockPresets();
    // Records beyond the last slot go to the slot that is current at that moment.
    for (std::size_t i = 0; i < bank.programs.size(); ++i)
    {
      RestorePreset(static_cast<int>(i));
      ApplyProgram(*this, bank.programs[i]);
    }
    if (bank.complete)
      RestorePreset(bank.currentProgram);
  }

  if (bank.complete || !bank.programs.empty())
    InformHostOfProgramChange();
  return bank.complete;
}

// --- Source dumps ---

bool IPluginBase::DumpPresetSrcCode(const char* path, const char* const* paramNames) const
{
  if (!path || !*path)
    return false;

  auto lock = LockPresets(); // released before the file is written
  const std::string name = EscapedForSource(GetPresetName(GetCurrentPresetIdx()).c_str());
  std::string text;
  if (paramNames)
  {
    text = "  MakePresetFromNamedParams(\"" + name + "\", " + std::to_string(NParams());
    for (int i = 0; i < NParams(); ++i)
    {
      text += ",\n    ";
      text += paramNames[i] ? paramNames[i] : "";
      text += ", " + ValueTextForSource(*GetParam(i));
    }
  }
  else
  {
    text = "  MakePreset(\"" + name + "\"";
    for (int i = 0; i < NParams(); ++i)
      text += ", " + ValueTextForSource(*GetParam(i));
  }
  text += ");\n";
  lock.unlock();
  return ReplaceFile(path, text);
}

bool IPluginBase::DumpPresetBlob(const char* path) const
{
  const std::optional<IPresetEntry> preset = GetPreset(GetCurrentPresetIdx());
  if (!path || !*path || !preset)
    return false;

  std::string text;
  return AppendBlobLine(text, *preset, false) && ReplaceFile(path, text);
}

bool IPluginBase::DumpAllPresetsBlob(const char* path) const
{
  return DumpBlobLines(path, true);
}

bool IPluginBase::DumpBankBlob(const char* path) const
{
  return DumpBlobLines(path, false);
}

bool IPluginBase::DumpBlobLines(const char* path, bool sizeTwice) const
{
  if (!path || !*path)
    return false;
  std::string text;
  {
    const auto lock = LockPresets();
    for (const auto& preset : mPresets)
    {
      if (!AppendBlobLine(text, *preset, sizeTwice))
        return false;
    }
  }
  return ReplaceFile(path, text);
}

} // namespace plug
