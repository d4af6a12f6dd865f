#pragma once

#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace plug {

// One automatable parameter: range, step, default, current value, unit and display rules.
// Threads: the value is stored and read from any thread (atomic, lock-free). Everything else is
// written only by the Init operations during construction (main thread) and is read-only afterwards.
class IParam
{
public:
  enum EParamType
  {
    kTypeNone = 0,
    kTypeBool = 1,
    kTypeInt = 2,
    kTypeEnum = 3,
    kTypeDouble = 4,
    kTypeNote = 5
  };

  enum EParamUnit
  {
    kUnitPercentage = 0,
    kUnitSeconds = 1,
    kUnitMilliseconds = 2,
    kUnitSamples = 3,
    kUnitDB = 4,
    kUnitLinearGain = 5,
    kUnitPan = 6,
    kUnitPhase = 7,
    kUnitDegrees = 8,
    kUnitMeters = 9,
    kUnitRate = 10,
    kUnitRatio = 11,
    kUnitFrequency = 12,
    kUnitOctaves = 13,
    kUnitCents = 14,
    kUnitAbsCents = 15,
    kUnitSemitones = 16,
    kUnitMIDINote = 17,
    kUnitMIDICC = 18,
    kUnitCustom = 21
  };

  // Hint for hosts about how the normalised value maps to the plain one.
  enum EDisplayType
  {
    kDisplayLinear = 0,
    kDisplayLog = 1,
    kDisplayExp = 2,
    kDisplaySquared = 3,
    kDisplaySquareRoot = 4,
    kDisplayCubed = 5,
    kDisplayCubeRoot = 6
  };

  enum EFlags
  {
    kFlagsNone = 0,
    kFlagNotAutomatable = 0x01,
    kFlagStepped = 0x02,
    kFlagNegateDisplay = 0x04,
    kFlagSignDisplay = 0x08,
    kFlagMinusInfAtMin = 0x10,
    kFlagRoundDisplay = 0x20,
    kFlagHostPrivate = 0x80
  };

  // Size of the fixed text fields, terminator included (31 usable characters).
  static constexpr int kMaxTextLength = 32;
  // Limit of one appended piece of JSON.
  static constexpr int kMaxJSONPieceLength = 8192;

  using DisplayFunc = std::function<void(double value, std::string& display)>;

  // The normalisation law of a parameter.
  class Shape
  {
  public:
    virtual ~Shape() = default;
    virtual std::unique_ptr<Shape> Clone() const = 0;
    // Computes cached coefficients from the parameter's range.
    virtual void Init(const IParam&) {}
    virtual EDisplayType GetDisplayType() const = 0;
    virtual double NormalizedToValue(double normalized, const IParam& param) const = 0;
    virtual double ValueToNormalized(double value, const IParam& param) const = 0;
  };

  class ShapeLinear : public Shape
  {
  public:
    std::unique_ptr<Shape> Clone() const override;
    EDisplayType GetDisplayType() const override { return kDisplayLinear; }
    double NormalizedToValue(double normalized, const IParam& param) const override;
    double ValueToNormalized(double value, const IParam& param) const override;
  };

  class ShapePowCurve : public Shape
  {
  public:
    explicit ShapePowCurve(double power);
    std::unique_ptr<Shape> Clone() const override;
    EDisplayType GetDisplayType() const override;
    double NormalizedToValue(double normalized, const IParam& param) const override;
    double ValueToNormalized(double value, const IParam& param) const override;
    double GetPower() const { return mPower; }

  private:
    double mPower;
  };

  class ShapeExp : public Shape
  {
  public:
    std::unique_ptr<Shape> Clone() const override;
    void Init(const IParam& param) override;
    EDisplayType GetDisplayType() const override { return kDisplayLog; }
    double NormalizedToValue(double normalized, const IParam& param) const override;
    // A value that is not positive has no logarithm and maps to 0.
    double ValueToNormalized(double value, const IParam& param) const override;

  private:
    double mMul = 1.0;
    double mAdd = 1.0;
  };

  IParam();
  ~IParam();
  IParam(const IParam&) = delete;
  IParam& operator=(const IParam&) = delete;

  // --- Initialisation (main thread, before processing starts) ---

  void InitDouble(const char* name, double defaultVal, double minVal, double maxVal, double step,
                  const char* label = "", int flags = 0, const char* group = "", const Shape& shape = ShapeLinear(),
                  EParamUnit unit = kUnitCustom, DisplayFunc displayFunc = nullptr);

  void InitInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label = "", int flags = 0,
               const char* group = "");

  // List form without texts.
  void InitEnum(const char* name, int defaultVal, int nEnums, const char* label = "", int flags = 0,
                const char* group = "");

  // List form: value 0 shows firstText, values 1 .. nEnums - 1 the further texts in order. Texts
  // beyond nEnums are ignored; values without a given text get none.
  template <typename... Texts>
  void InitEnum(const char* name, int defaultVal, int nEnums, const char* label, int flags, const char* group,
                const char* firstText, Texts... furtherTexts)
  {
    const char* texts[] = {firstText, static_cast<const char*>(furtherTexts)...};
    InitEnumWithTexts(kTypeEnum, name, defaultVal, nEnums, label, flags, group, texts,
                      static_cast<int>(sizeof...(Texts)) + 1);
  }

  void InitEnum(const char* name, int defaultVal, std::initializer_list<const char*> texts, int flags = 0,
                const char* group = "");

  void InitNote(const char* name, int defaultVal, int nEnums, const char* label = "", int flags = 0,
                const char* group = "");

  template <typename... Texts>
  void InitNote(const char* name, int defaultVal, int nEnums, const char* label, int flags, const char* group,
                const char* firstText, Texts... furtherTexts)
  {
    const char* texts[] = {firstText, static_cast<const char*>(furtherTexts)...};
    InitEnumWithTexts(kTypeNote, name, defaultVal, nEnums, label, flags, group, texts,
                      static_cast<int>(sizeof...(Texts)) + 1);
  }

  void InitBool(const char* name, bool defaultVal, const char* label = "", int flags = 0, const char* group = "",
                const char* offText = "off", const char* onText = "on");

  // defaultVal is the offset from the lowest note.
  void InitPitch(const char* name, int defaultVal, int lowestNote = 0, int highestNote = 128, int flags = 0,
                 const char* group = "", bool middleCisC4 = false);

  void InitFrequency(const char* name, double defaultVal = 1000.0, double minVal = 0.1, double maxVal = 10000.0,
                     double step = 0.1, int flags = 0, const char* group = "");
  void InitSeconds(const char* name, double defaultVal = 1.0, double minVal = 0.0, double maxVal = 10.0,
                   double step = 0.1, int flags = 0, const char* group = "");
  void InitMilliseconds(const char* name, double defaultVal = 1.0, double minVal = 0.0, double maxVal = 100.0,
                        int flags = 0, const char* group = "");
  void InitGain(const char* name, double defaultVal = 0.0, double minVal = -70.0, double maxVal = 24.0,
                double step = 0.5, int flags = 0, const char* group = "");
  void InitDB(const char* name, double defaultVal = 0.0, double minVal = -70.0, double maxVal = 12.0, double step = 0.1,
              int flags = 0, const char* group = "");
  void InitPercentage(const char* name, double defaultVal = 0.0, double minVal = 0.0, double maxVal = 100.0,
                      int flags = 0, const char* group = "");
  void InitPan(const char* name, double defaultVal = 0.0, double minVal = -100.0, double maxVal = 100.0, int flags = 0,
               const char* group = "");
  void InitAngleDegrees(const char* name, double defaultVal = 0.0, double minVal = 0.0, double maxVal = 360.0,
                        int flags = 0, const char* group = "");

  // Copy of another parameter; the first occurrence of searchStr in its name is replaced by
  // replaceStr, and newGroup (when non-empty) replaces its group.
  void Init(const IParam& source, const char* searchStr, const char* replaceStr, const char* newGroup = "");

  // --- Values (any thread) ---

  // Step rounding (when Stepped) and clamping to [min, max]; NaN becomes min.
  double ConstrainValue(double value) const;
  void SetValue(double value);
  double GetValue() const { return mValue.load(); }
  double NormToValue(double normalized) const;
  double ValueToNorm(double value) const;
  void SetNormalizedValue(double normalized) { SetValue(NormToValue(normalized)); }
  double GetNormalizedValue() const { return ValueToNorm(GetValue()); }
  void ResetToDefault() { mValue.exchange(mDefault); }
  void GetBounds(double& lo, double& hi) const;
  void Inc();
  void Dec();

  // --- Display and text (main thread) ---

  void SetDisplayText(double value, const char* text);
  int NDisplayTexts() const { return static_cast<int>(mDisplayTexts.size()); }
  // The i-th display text, or nullptr when i is outside the list.
  const char* GetDisplayTextAtIdx(int idx, double* pValue = nullptr) const;
  const char* GetDisplayText(double value) const;
  bool MapDisplayText(const char* text, double* pValue) const;
  // A matching display text's value; else 0 for bool and enum parameters; else the leading number
  // (ReadNumber: 0 when there is none, and for NaN), negated for NegateDisplay, constrained.
  double StringToValue(const char* text) const;

  void GetDisplayForHost(double value, bool normalized, std::string& display, bool withDisplayText = true,
                         bool numericOnly = false) const;
  void GetDisplayForHost(std::string& display, bool withDisplayText = true) const
  {
    GetDisplayForHost(GetValue(), false, display, withDisplayText);
  }
  void GetDisplayForHostWithLabel(std::string& display, bool withDisplayText = true) const;

  const char* GetNameForHost() const { return mName; }
  const char* GetGroupForHost() const { return mGroup; }
  const char* GetLabelForHost() const;
  const char* GetLabel() const { return mLabel; }

  void GetJSON(std::string& json, int idx) const;
  void PrintDetails() const {}

  // --- Plain accessors ---

  EParamType Type() const { return mType; }
  EParamUnit Unit() const { return mUnit; }
  EDisplayType DisplayType() const { return mShape->GetDisplayType(); }
  double GetMin() const { return mMin; }
  double GetMax() const { return mMax; }
  double GetRange() const { return mMax - mMin; }
  double GetStep() const { return mStep; }
  double GetDefault() const { return mDefault; }
  double GetDefault(bool normalized) const { return normalized ? ValueToNorm(mDefault) : mDefault; }
  int GetDisplayPrecision() const { return mDisplayPrecision; }
  int GetFlags() const { return mFlags; }
  bool GetCanAutomate() const { return !(mFlags & kFlagNotAutomatable); }
  bool GetStepped() const { return mFlags & kFlagStepped; }
  bool GetNegateDisplay() const { return mFlags & kFlagNegateDisplay; }
  bool GetSignDisplay() const { return mFlags & kFlagSignDisplay; }
  bool GetMinusInfAtMin() const { return mFlags & kFlagMinusInfAtMin; }
  bool GetRoundDisplay() const { return mFlags & kFlagRoundDisplay; }
  bool GetHostPrivate() const { return mFlags & kFlagHostPrivate; }
  const Shape& GetShape() const { return *mShape; }
  const DisplayFunc& GetDisplayFunc() const { return mDisplayFunction; }

  // Note name and octave, e.g. "C 4" or "C#3".
  static std::string PitchText(int noteNumber, bool middleCisC4);

private:
  struct DisplayText
  {
    double mValue;
    char mText[kMaxTextLength];
  };

  void InitEnumWithTexts(EParamType type, const char* name, int defaultVal, int nEnums, const char* label, int flags,
                         const char* group, const char* const* texts, int nTexts);

  EParamType mType = kTypeNone;
  EParamUnit mUnit = kUnitCustom;
  std::atomic<double> mValue{0.0};
  double mMin = 0.0;
  double mMax = 1.0;
  double mStep = 1.0;
  double mDefault = 0.0;
  int mDisplayPrecision = 0;
  int mFlags = 0;
  char mName[kMaxTextLength] = {};
  char mLabel[kMaxTextLength] = {};
  char mGroup[kMaxTextLength] = {};
  std::unique_ptr<Shape> mShape;
  DisplayFunc mDisplayFunction;
  std::vector<DisplayText> mDisplayTexts;

  static_assert(std::atomic<double>::is_always_lock_free, "parameter values must be lock-free");
};

} // namespace plug
