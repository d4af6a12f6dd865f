#include "plug/core/IParam.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "plug/core/NumberText.h"
#include "plug/core/Utf8Text.h"

namespace plug {

namespace {

// Copies text into a fixed field, cutting it to fit; null counts as empty.
template <std::size_t N>
void CopyText(char (&field)[N], const char* text)
{
  CopyUtf8Text(field, N, text);
}

bool EqualsIgnoringCase(const char* a, const char* b)
{
  for (; *a && *b; ++a, ++b)
  {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
      return false;
  }
  return *a == *b;
}

// FixedText cut to the 32-character field of a display text.
std::string DisplayNumber(double value, int decimals, bool plusSign = false)
{
  return FixedText(value, decimals, plusSign).substr(0, IParam::kMaxTextLength - 1);
}

using JSONBuffer = char[IParam::kMaxJSONPieceLength];

// Rounds half away from zero; a zero result is always +0.
double RoundedWithoutNegativeZero(double v)
{
  return std::round(v) + 0.0;
}

constexpr const char* kNoteNames[12] = {"C ", "C#", "D ", "D#", "E ", "F ", "F#", "G ", "G#", "A ", "A#", "B "};

} // namespace

// --- Shapes ---

std::unique_ptr<IParam::Shape> IParam::ShapeLinear::Clone() const
{
  return std::make_unique<ShapeLinear>(*this);
}

double IParam::ShapeLinear::NormalizedToValue(double normalized, const IParam& param) const
{
  return param.GetMin() + (param.GetMax() - param.GetMin()) * normalized;
}

double IParam::ShapeLinear::ValueToNormalized(double value, const IParam& param) const
{
  return (value - param.GetMin()) / (param.GetMax() - param.GetMin());
}

IParam::ShapePowCurve::ShapePowCurve(double power)
  : mPower(power)
{
}

std::unique_ptr<IParam::Shape> IParam::ShapePowCurve::Clone() const
{
  return std::make_unique<ShapePowCurve>(*this);
}

IParam::EDisplayType IParam::ShapePowCurve::GetDisplayType() const
{
  if (mPower > 2.5)
    return kDisplayCubeRoot;
  if (mPower > 1.5)
    return kDisplaySquareRoot;
  if (mPower < (1.0 / 2.5))
    return kDisplayCubed;
  if (mPower < (1.0 / 1.5))
    return kDisplaySquared;
  return kDisplayLinear;
}

double IParam::ShapePowCurve::NormalizedToValue(double normalized, const IParam& param) const
{
  return param.GetMin() + (param.GetMax() - param.GetMin()) * std::pow(normalized, mPower);
}

double IParam::ShapePowCurve::ValueToNormalized(double value, const IParam& param) const
{
  return std::pow((value - param.GetMin()) / (param.GetMax() - param.GetMin()), 1.0 / mPower);
}

std::unique_ptr<IParam::Shape> IParam::ShapeExp::Clone() const
{
  return std::make_unique<ShapeExp>(*this);
}

void IParam::ShapeExp::Init(const IParam& param)
{
  const double lowest = param.GetMin() > 0.0 ? param.GetMin() : 1.0e-8;
  mAdd = std::log(lowest);
  mMul = std::log(param.GetMax() / lowest);
}

double IParam::ShapeExp::NormalizedToValue(double normalized, const IParam&) const
{
  return std::exp(mAdd + normalized * mMul);
}

double IParam::ShapeExp::ValueToNormalized(double value, const IParam&) const
{
  if (!(value > 0.0))
    return 0.0;
  return (std::log(value) - mAdd) / mMul;
}

// --- Construction and initialisation ---

IParam::IParam()
  : mShape(std::make_unique<ShapeLinear>())
{
}

IParam::~IParam() = default;

void IParam::InitDouble(const char* name, double defaultVal, double minVal, double maxVal, double step,
                        const char* label, int flags, const char* group, const Shape& shape, EParamUnit unit,
                        DisplayFunc displayFunc)
{
  if (mType == kTypeNone)
    mType = kTypeDouble;

  CopyText(mName, name);
  CopyText(mLabel, label);
  CopyText(mGroup, group);

  mMin = minVal;
  mMax = std::max(maxVal, minVal + step);
  mStep = step;
  mDefault = defaultVal;
  mUnit = unit;
  mFlags = flags;
  mDisplayFunction = std::move(displayFunc);

  SetValue(defaultVal);

  mDisplayPrecision = 0;
  for (double s = step; mDisplayPrecision < 6 && s != std::floor(s); s *= 10.0)
    ++mDisplayPrecision;

  mShape = shape.Clone();
  mShape->Init(*this);
}

void IParam::InitInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label, int flags,
                     const char* group)
{
  if (mType == kTypeNone)
    mType = kTypeInt;

  InitDouble(name, defaultVal, minVal, maxVal, 1.0, label, flags | kFlagStepped, group, ShapeLinear(), kUnitCustom);
}

void IParam::InitEnum(const char* name, int defaultVal, int nEnums, const char* label, int flags, const char* group)
{
  InitEnumWithTexts(kTypeEnum, name, defaultVal, nEnums, label, flags, group, nullptr, 0);
}

void IParam::InitEnum(const char* name, int defaultVal, std::initializer_list<const char*> texts, int flags,
                      const char* group)
{
  InitEnumWithTexts(kTypeEnum, name, defaultVal, static_cast<int>(texts.size()), "", flags, group, texts.begin(),
                    static_cast<int>(texts.size()));
}

void IParam::InitNote(const char* name, int defaultVal, int nEnums, const char* label, int flags, const char* group)
{
  InitEnumWithTexts(kTypeNote, name, defaultVal, nEnums, label, flags, group, nullptr, 0);
}

void IParam::InitEnumWithTexts(EParamType type, const char* name, int defaultVal, int nEnums, const char* label,
                               int flags, const char* group, const char* const* texts, int nTexts)
{
  if (mType == kTypeNone)
    mType = type;

  InitDouble(name, defaultVal, 0.0, static_cast<double>(nEnums) - 1.0, 1.0, label, flags | kFlagStepped, group,
             ShapeLinear(), kUnitCustom);

  // Without a first text no texts are set at all.
  if (nTexts < 1 || texts == nullptr || texts[0] == nullptr)
    return;

  const int count = std::min(nEnums, nTexts);
  for (int i = 0; i < count; ++i)
    SetDisplayText(i, texts[i]);
}

void IParam::InitBool(const char* name, bool defaultVal, const char* label, int flags, const char* group,
                      const char* offText, const char* onText)
{
  if (mType == kTypeNone)
    mType = kTypeBool;

  InitEnum(name, defaultVal ? 1 : 0, 2, label, flags, group);
  SetDisplayText(0, offText);
  SetDisplayText(1, onText);
}

std::string IParam::PitchText(int noteNumber, bool middleCisC4)
{
  // Floor division and modulo keep notes below 0 inside the name table.
  const int nameIdx = ((noteNumber % 12) + 12) % 12;
  const int octave = (noteNumber - nameIdx) / 12 - (middleCisC4 ? 1 : 2);
  char buffer[kMaxTextLength];
  std::snprintf(buffer, sizeof(buffer), "%s%i", kNoteNames[nameIdx], octave);
  return buffer;
}

void IParam::InitPitch(const char* name, int defaultVal, int lowestNote, int highestNote, int flags, const char* group,
                       bool middleCisC4)
{
  InitEnum(name, defaultVal, highestNote - lowestNote + 1, "", flags, group);

  for (int note = lowestNote; note <= highestNote; ++note)
    SetDisplayText(note - lowestNote, PitchText(note, middleCisC4).c_str());
}

void IParam::InitFrequency(const char* name, double defaultVal, double minVal, double maxVal, double step, int flags,
                           const char* group)
{
  InitDouble(name, defaultVal, minVal, maxVal, step, "Hz", flags, group, ShapeExp(), kUnitFrequency);
}

void IParam::InitSeconds(const char* name, double defaultVal, double minVal, double maxVal, double step, int flags,
                         const char* group)
{
  InitDouble(name, defaultVal, minVal, maxVal, step, "Seconds", flags, group, ShapeLinear(), kUnitSeconds);
}

void IParam::InitMilliseconds(const char* name, double defaultVal, double minVal, double maxVal, int flags,
                              const char* group)
{
  InitDouble(name, defaultVal, minVal, maxVal, 1.0, "ms", flags, group, ShapeLinear(), kUnitMilliseconds);
}

void IParam::InitGain(const char* name, double defaultVal, double minVal, double maxVal, double step, int flags,
                      const char* group)
{
  InitDouble(name, defaultVal, minVal, maxVal, step, "dB", flags, group, ShapeLinear(), kUnitDB);
}

void IParam::InitDB(const char* name, double defaultVal, double minVal, double maxVal, double step, int flags,
                    const char* group)
{
  InitDouble(name, defaultVal, minVal, maxVal, step, "dB", flags | kFlagMinusInfAtMin | kFlagRoundDisplay, group,
             ShapePowCurve(0.26849), kUnitDB);
}

void IParam::InitPercentage(const char* name, double defaultVal, double minVal, double maxVal, int flags,
                            const char* group)
{
  InitDouble(name, defaultVal, minVal, maxVal, 1.0, "%", flags, group, ShapeLinear(), kUnitPercentage);
}

void IParam::InitPan(const char* name, double defaultVal, double minVal, double maxVal, int flags, const char* group)
{
  InitDouble(name, defaultVal, minVal, maxVal, 1.0, "", flags, group, ShapeLinear(), kUnitPan);
}

void IParam::InitAngleDegrees(const char* name, double defaultVal, double minVal, double maxVal, int flags,
                              const char* group)
{
  InitDouble(name, defaultVal, minVal, maxVal, 1.0, "degrees", flags, group, ShapeLinear(), kUnitDegrees);
}

void IParam::Init(const IParam& source, const char* searchStr, const char* replaceStr, const char* newGroup)
{
  if (mType == kTypeNone)
    mType = source.Type();

  std::string name = source.GetNameForHost();
  if (searchStr && *searchStr)
  {
    const std::size_t at = name.find(searchStr);
    if (at != std::string::npos)
      name.replace(at, std::strlen(searchStr), replaceStr ? replaceStr : "");
  }

  const char* group = (newGroup && *newGroup) ? newGroup : source.GetGroupForHost();

  // Copy what this call reads from the source first: source may be this very parameter.
  const std::unique_ptr<Shape> shape = source.GetShape().Clone();
  DisplayFunc displayFunc = source.GetDisplayFunc();
  const std::vector<DisplayText> texts = source.mDisplayTexts;
  const std::string label = source.GetLabel();
  const std::string groupCopy = group;

  InitDouble(name.c_str(), source.GetDefault(), source.GetMin(), source.GetMax(), source.GetStep(), label.c_str(),
             source.GetFlags(), groupCopy.c_str(), *shape, source.Unit(), std::move(displayFunc));

  for (const DisplayText& entry : texts)
    SetDisplayText(entry.mValue, entry.mText);
}

// --- Values ---

double IParam::ConstrainValue(double value) const
{
  if ((mFlags & kFlagStepped) && mStep > 0.0)
    value = std::round(value / mStep) * mStep;

  // Written so that NaN ends at min.
  value = (value > mMin) ? value : mMin;
  return (value < mMax) ? value : mMax;
}

void IParam::SetValue(double value)
{
  mValue.exchange(ConstrainValue(value));
}

double IParam::NormToValue(double normalized) const
{
  return ConstrainValue(mShape->NormalizedToValue(normalized, *this));
}

double IParam::ValueToNorm(double value) const
{
  const double normalized = mShape->ValueToNormalized(ConstrainValue(value), *this);
  // Written so that NaN (an empty range) ends at 0.
  if (!(normalized > 0.0))
    return 0.0;
  return normalized < 1.0 ? normalized : 1.0;
}

void IParam::GetBounds(double& lo, double& hi) const
{
  lo = mMin;
  hi = mMax;
}

void IParam::Inc()
{
  double value = GetValue() + mStep;
  if (value > mMax)
    value = mMin;
  SetValue(value);
}

void IParam::Dec()
{
  double value = GetValue() - mStep;
  if (value < mMin)
    value = mMax;
  SetValue(value);
}

// --- Display and text ---

void IParam::SetDisplayText(double value, const char* text)
{
  DisplayText entry{value, {}};
  CopyText(entry.mText, text);
  mDisplayTexts.push_back(entry);
}

const char* IParam::GetDisplayTextAtIdx(int idx, double* pValue) const
{
  if (idx < 0 || idx >= NDisplayTexts())
    return nullptr;

  const DisplayText& entry = mDisplayTexts[static_cast<std::size_t>(idx)];
  if (pValue)
    *pValue = entry.mValue;
  return entry.mText;
}

const char* IParam::GetDisplayText(double value) const
{
  for (const DisplayText& entry : mDisplayTexts)
  {
    if (entry.mValue == value)
      return entry.mText;
  }
  return "";
}

bool IParam::MapDisplayText(const char* text, double* pValue) const
{
  if (!text)
    return false;

  for (const DisplayText& entry : mDisplayTexts)
  {
    const bool match =
        (mType == kTypeNote) ? EqualsIgnoringCase(entry.mText, text) : std::strcmp(entry.mText, text) == 0;
    if (match)
    {
      if (pValue)
        *pValue = entry.mValue;
      return true;
    }
  }
  return false;
}

double IParam::StringToValue(const char* text) const
{
  double value = 0.0;
  if (MapDisplayText(text, &value))
    return value;

  if (mType == kTypeBool || mType == kTypeEnum)
    return 0.0;

  if (text)
    ReadNumber(text, value);
  if (std::isnan(value)) // NaN never reaches a parameter: it counts as no number
    value = 0.0;
  if (mFlags & kFlagNegateDisplay)
    value = -value;
  return ConstrainValue(value);
}

void IParam::GetDisplayForHost(double value, bool normalized, std::string& display, bool withDisplayText,
                               bool numericOnly) const
{
  if (normalized)
    value = NormToValue(value);

  if (mDisplayFunction)
  {
    mDisplayFunction(value, display);
    return;
  }

  if (withDisplayText)
  {
    const char* text = GetDisplayText(value);
    if (*text)
    {
      display = text;
      return;
    }
  }

  if ((mFlags & kFlagMinusInfAtMin) && value == mMin)
  {
    display = "-inf.";
    return;
  }

  if (mUnit == kUnitPan && !numericOnly)
  {
    const double rounded = RoundedWithoutNegativeZero(value);
    if (rounded < 0.0)
      display = DisplayNumber(-rounded, 0) + "% left";
    else if (rounded > 0.0)
      display = DisplayNumber(rounded, 0) + "% right";
    else
      display = "Centred";
    return;
  }

  double shown = (mFlags & kFlagNegateDisplay) ? -value : value;
  shown += 0.0; // -0 becomes +0

  if (mDisplayPrecision == 0)
    display = DisplayNumber(RoundedWithoutNegativeZero(shown), 0);
  else if ((mFlags & kFlagSignDisplay) && shown != 0.0)
    display = DisplayNumber(shown, mDisplayPrecision, true);
  else
  {
    if ((mFlags & kFlagRoundDisplay) && shown != 0.0)
    {
      const double quantum = std::pow(10.0, -mDisplayPrecision);
      shown = std::round(shown / quantum) * quantum + 0.0;
    }
    display = DisplayNumber(shown, mDisplayPrecision);
  }
}

void IParam::GetDisplayForHostWithLabel(std::string& display, bool withDisplayText) const
{
  GetDisplayForHost(GetValue(), false, display, withDisplayText, false);
  display += ' ';
  display += GetLabelForHost();
}

const char* IParam::GetLabelForHost() const
{
  const double whole = std::trunc(GetValue());
  for (const DisplayText& entry : mDisplayTexts)
  {
    if (entry.mValue == whole)
      return entry.mText[0] ? "" : mLabel;
  }
  return mLabel;
}

void IParam::GetJSON(std::string& json, int idx) const
{
  const char* typeText = nullptr;
  switch (mType)
  {
    case kTypeBool:
      typeText = "bool";
      break;
    case kTypeInt:
      typeText = "int";
      break;
    case kTypeEnum:
      typeText = "enum";
      break;
    case kTypeDouble:
      typeText = "float";
      break;
    case kTypeNone:
    case kTypeNote:
      break;
  }

  JSONBuffer piece;
  json += "{";
  std::snprintf(piece, sizeof(piece), "\"id\":%i, ", idx);
  json += piece;
  std::snprintf(piece, sizeof(piece), "\"name\":\"%s\", ", mName);
  json += piece;
  if (typeText)
  {
    std::snprintf(piece, sizeof(piece), "\"type\":\"%s\", ", typeText);
    json += piece;
  }
  json += "\"min\":" + FixedText(mMin, 6) + ", ";
  json += "\"max\":" + FixedText(mMax, 6) + ", ";
  json += "\"default\":" + FixedText(mDefault, 6) + ", ";
  json += "\"rate\":\"control\"";
  json += "}";
}

} // namespace plug
