#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "plug/core/IParam.h"
#include "tests/support/CommaLocale.h"

using plug::IParam;

namespace {

std::string Display(const IParam& param, double value, bool withDisplayText = true, bool numericOnly = false)
{
  std::string text;
  param.GetDisplayForHost(value, false, text, withDisplayText, numericOnly);
  return text;
}

} // namespace

TEST(IParam, DefaultStateBeforeInit)
{
  IParam param;
  EXPECT_EQ(param.Type(), IParam::kTypeNone);
  EXPECT_EQ(param.Unit(), IParam::kUnitCustom);
  EXPECT_EQ(param.GetValue(), 0.0);
  EXPECT_EQ(param.GetMin(), 0.0);
  EXPECT_EQ(param.GetMax(), 1.0);
  EXPECT_EQ(param.GetStep(), 1.0);
  EXPECT_EQ(param.DisplayType(), IParam::kDisplayLinear);
  EXPECT_STREQ(param.GetNameForHost(), "");
}

TEST(IParam, InitDoubleRangeDefaultAndPrecision)
{
  IParam param;
  param.InitDouble("Flat", 0.0, 0.0, 0.0, 1.0);
  EXPECT_EQ(param.GetMax(), 1.0) << "an empty range widens by one step";
  EXPECT_EQ(param.Type(), IParam::kTypeDouble);

  param.InitDouble("Stepped", 5.0, 0.0, 10.0, 2.0, "", IParam::kFlagStepped);
  EXPECT_EQ(param.GetValue(), 6.0) << "2.5 steps round away from zero";
  EXPECT_EQ(param.GetDefault(), 5.0) << "the default keeps its unrounded value";

  const struct
  {
    double step;
    int precision;
  } cases[] = {{1.0, 0}, {0.1, 1}, {0.01, 2}, {0.05, 2}, {0.001, 3}, {1e-6, 6}, {1e-9, 6}};
  for (const auto& c : cases)
  {
    param.InitDouble("P", 0.0, 0.0, 1.0, c.step);
    EXPECT_EQ(param.GetDisplayPrecision(), c.precision) << "step " << c.step;
  }

  param.InitDouble("A name that is far longer than thirty-one characters", 0.0, 0.0, 1.0, 0.1,
                   "a label that is also much too long to fit", 0, "and a group that is also far too long");
  EXPECT_EQ(std::string(param.GetNameForHost()), "A name that is far longer than ");
  EXPECT_EQ(std::string(param.GetLabel()).size(), 31u);
  EXPECT_EQ(std::string(param.GetGroupForHost()).size(), 31u);
}

TEST(IParam, ConstrainSetAndWrap)
{
  IParam param;
  param.InitDouble("Gain", 0.0, -10.0, 10.0, 1.0, "", IParam::kFlagStepped);
  EXPECT_EQ(param.ConstrainValue(-2.5), -3.0);
  EXPECT_EQ(param.ConstrainValue(2.5), 3.0);
  EXPECT_EQ(param.ConstrainValue(1e9), 10.0);
  EXPECT_EQ(param.ConstrainValue(-std::numeric_limits<double>::infinity()), -10.0);
  EXPECT_EQ(param.ConstrainValue(std::numeric_limits<double>::quiet_NaN()), -10.0);

  param.SetValue(10.0);
  param.Inc();
  EXPECT_EQ(param.GetValue(), -10.0) << "Inc at max wraps to min";
  param.Dec();
  EXPECT_EQ(param.GetValue(), 10.0) << "Dec at min wraps to max";

  param.InitDouble("Unstepped", 0.3, 0.0, 1.0, 0.5);
  EXPECT_EQ(param.GetValue(), 0.3) << "no rounding without the Stepped flag";

  param.SetValue(0.9);
  param.ResetToDefault();
  EXPECT_EQ(param.GetValue(), 0.3);

  double lo = 0, hi = 0;
  param.GetBounds(lo, hi);
  EXPECT_EQ(lo, 0.0);
  EXPECT_EQ(hi, 1.0);
}

TEST(IParam, ShapesMapBothWays)
{
  IParam decay;
  decay.InitDouble("Decay", 3.2, 0.1, 100.0, 0.1, "s", 0, "", IParam::ShapeExp(), IParam::kUnitSeconds);
  EXPECT_NEAR(decay.NormToValue(0.5), std::sqrt(10.0), 1e-12);
  EXPECT_NEAR(decay.NormToValue(0.0), 0.1, 1e-12);
  EXPECT_NEAR(decay.NormToValue(1.0), 100.0, 1e-9);
  EXPECT_NEAR(decay.ValueToNorm(decay.NormToValue(0.37)), 0.37, 1e-12);
  EXPECT_EQ(decay.DisplayType(), IParam::kDisplayLog);
  EXPECT_EQ(decay.GetValue(), 3.2) << "not stepped, so the default stays as given";

  // A value without a logarithm maps to 0 rather than NaN.
  EXPECT_EQ(decay.GetShape().ValueToNormalized(0.0, decay), 0.0);
  EXPECT_EQ(decay.GetShape().ValueToNormalized(-5.0, decay), 0.0);

  IParam fromZero;
  fromZero.InitDouble("Z", 1.0, 0.0, 10.0, 0.1, "", 0, "", IParam::ShapeExp());
  EXPECT_NEAR(fromZero.NormToValue(0.0), 1e-8, 1e-20) << "the lowest point of the curve lies inside the range";
  EXPECT_EQ(fromZero.ValueToNorm(0.0), 0.0);

  IParam db;
  db.InitDB("Level", 0.0, -70.0, 12.0);
  EXPECT_EQ(db.NormToValue(0.0), -70.0);
  EXPECT_NEAR(db.NormToValue(1.0), 12.0, 1e-12);
  EXPECT_NEAR(db.ValueToNorm(db.NormToValue(0.6)), 0.6, 1e-12);
  EXPECT_EQ(db.DisplayType(), IParam::kDisplayCubed);
  EXPECT_EQ(Display(db, db.NormToValue(0.0)), "-inf.");

  const struct
  {
    double power;
    IParam::EDisplayType type;
  } hints[] = {{3.0, IParam::kDisplayCubeRoot}, {2.0, IParam::kDisplaySquareRoot}, {0.3, IParam::kDisplayCubed},
               {0.5, IParam::kDisplaySquared},  {1.0, IParam::kDisplayLinear},     {1.5, IParam::kDisplayLinear}};
  for (const auto& h : hints)
    EXPECT_EQ(IParam::ShapePowCurve(h.power).GetDisplayType(), h.type) << h.power;

  IParam linear;
  linear.InitDouble("L", 0.0, -100.0, 100.0, 0.1);
  EXPECT_EQ(linear.ValueToNorm(500.0), 1.0) << "constrained before mapping";
  EXPECT_EQ(linear.ValueToNorm(std::numeric_limits<double>::quiet_NaN()), 0.0);
  linear.SetNormalizedValue(0.75);
  EXPECT_EQ(linear.GetValue(), 50.0);
  EXPECT_EQ(linear.GetNormalizedValue(), 0.75);
}

TEST(IParam, DisplayForHostNumbers)
{
  IParam pan;
  pan.InitPan("Pan");
  EXPECT_EQ(Display(pan, -0.4), "Centred");
  EXPECT_EQ(Display(pan, 49.6), "50% right");
  EXPECT_EQ(Display(pan, -30.0), "30% left");
  EXPECT_EQ(Display(pan, 49.6, true, true), "50");

  IParam negated;
  negated.InitDouble("N", 0.0, -10.0, 10.0, 1.0, "", IParam::kFlagNegateDisplay);
  EXPECT_EQ(Display(negated, 0.0), "0");
  EXPECT_EQ(Display(negated, 3.0), "-3");
  negated.InitDouble("N", 0.0, -10.0, 10.0, 0.1, "", IParam::kFlagNegateDisplay);
  EXPECT_EQ(Display(negated, 0.0), "0.0");
  EXPECT_EQ(Display(negated, -0.0), "0.0");

  IParam sign;
  sign.InitDouble("S", 0.0, -10.0, 10.0, 0.01, "", IParam::kFlagSignDisplay);
  EXPECT_EQ(Display(sign, 1.5), "+1.50");
  EXPECT_EQ(Display(sign, -1.5), "-1.50");
  EXPECT_EQ(Display(sign, 0.0), "0.00");

  IParam plain;
  plain.InitDouble("P", 0.0, -1.0, 1.0, 0.1);
  EXPECT_EQ(Display(plain, -0.04), "-0.0");
  EXPECT_EQ(Display(plain, 0.25), "0.2") << "plain printf rounding";
  plain.InitDouble("P", 0.0, -1.0, 1.0, 0.1, "", IParam::kFlagRoundDisplay);
  EXPECT_EQ(Display(plain, -0.04), "0.0") << "rounding to zero shows +0";
  EXPECT_EQ(Display(plain, 0.25), "0.3") << "halves away from zero";

  IParam wide;
  wide.InitDouble("W", 0.0, 0.0, 1e300, 1.0);
  EXPECT_EQ(Display(wide, 1e300).size(), 31u) << "limited to the 32-character field";

  IParam viaNorm;
  viaNorm.InitPercentage("Mix", 21.0);
  std::string text;
  viaNorm.GetDisplayForHost(0.5, true, text);
  EXPECT_EQ(text, "50");
}

TEST(IParam, DisplayTextsFunctionsAndLabels)
{
  IParam mode;
  mode.InitEnum("Mode", 1, 3, "", 0, "", "Off", "Slow", "Fast", "ignored beyond the count");
  EXPECT_EQ(mode.Type(), IParam::kTypeEnum);
  EXPECT_TRUE(mode.GetStepped());
  EXPECT_EQ(mode.GetMax(), 2.0);
  EXPECT_EQ(mode.NDisplayTexts(), 3);
  EXPECT_EQ(Display(mode, 1.0), "Slow");
  EXPECT_EQ(Display(mode, 1.0, false), "1");
  double value = -1;
  EXPECT_STREQ(mode.GetDisplayTextAtIdx(2, &value), "Fast");
  EXPECT_EQ(value, 2.0);
  EXPECT_EQ(mode.GetDisplayTextAtIdx(3), nullptr);
  EXPECT_STREQ(mode.GetDisplayText(7.0), "");

  IParam listed;
  listed.InitEnum("Listed", 0, {"A", "B", "C", "D"});
  EXPECT_EQ(listed.GetMax(), 3.0);
  EXPECT_EQ(Display(listed, 3.0), "D");
  EXPECT_STREQ(listed.GetLabel(), "");

  IParam toggle;
  toggle.InitBool("Bypass", true, "lbl", 0, "", "no", "yes");
  EXPECT_EQ(toggle.Type(), IParam::kTypeBool) << "a wrapper keeps its own type";
  EXPECT_EQ(toggle.GetValue(), 1.0);
  EXPECT_EQ(Display(toggle, 0.0), "no");
  EXPECT_STREQ(toggle.GetLabelForHost(), "") << "a display text replaces the label";

  IParam seconds;
  seconds.InitDouble("Time", 1.5, 0.0, 10.0, 0.1, "s");
  seconds.SetDisplayText(1.0, "");
  EXPECT_STREQ(seconds.GetLabelForHost(), "s") << "trunc(1.5) = 1 has an empty text";
  seconds.SetDisplayText(1.0, "one");
  EXPECT_STREQ(seconds.GetLabelForHost(), "s") << "only the first matching entry counts";

  std::string withLabel;
  seconds.GetDisplayForHostWithLabel(withLabel);
  EXPECT_EQ(withLabel, "1.5 s");
  IParam unlabelled;
  unlabelled.InitDouble("U", 2.0, 0.0, 4.0, 1.0);
  unlabelled.GetDisplayForHostWithLabel(withLabel);
  EXPECT_EQ(withLabel, "2 ") << "the blank stays even without a label";

  IParam custom;
  custom.InitDouble("C", 0.0, 0.0, 1.0, 0.1, "", IParam::kFlagMinusInfAtMin, "", IParam::ShapeLinear(),
                    IParam::kUnitCustom, [](double v, std::string& s) { s = "custom " + std::to_string(int(v * 10)); });
  custom.SetDisplayText(0.0, "zero");
  EXPECT_EQ(Display(custom, 0.0), "custom 0") << "the display function wins over everything";
}

TEST(IParam, TextToValue)
{
  IParam range;
  range.InitDouble("R", 3.0, 2.0, 5.0, 0.1);
  EXPECT_EQ(range.StringToValue("not a number"), 2.0) << "parses as 0, clamped";
  EXPECT_EQ(range.StringToValue("4.25xyz"), 4.25);
  EXPECT_EQ(range.StringToValue(nullptr), 2.0);
  EXPECT_EQ(range.StringToValue("0x4"), 4.0) << "hexadecimal, as atof";
  EXPECT_EQ(range.StringToValue("inf"), 5.0);
  EXPECT_EQ(range.StringToValue(" nan"), 2.0) << "NaN counts as no number";

  IParam negated;
  negated.InitDouble("N", 0.0, -10.0, 10.0, 1.0, "", IParam::kFlagNegateDisplay | IParam::kFlagStepped);
  EXPECT_EQ(negated.StringToValue("3.4"), -3.0);

  IParam mode;
  mode.InitEnum("Mode", 0, 3, "", 0, "", "Off", "Slow", "Fast");
  EXPECT_EQ(mode.StringToValue("Fast"), 2.0);
  EXPECT_EQ(mode.StringToValue("2"), 0.0) << "an enum without a matching text gives 0";
  EXPECT_FALSE(mode.MapDisplayText("fast", nullptr)) << "exact comparison for enums";

  IParam note;
  note.InitNote("Note", 0, 2, "", 0, "", "Low", "High");
  EXPECT_EQ(note.Type(), IParam::kTypeNote);
  double value = -1;
  EXPECT_TRUE(note.MapDisplayText("hIGH", &value));
  EXPECT_EQ(value, 1.0);
  EXPECT_FALSE(note.MapDisplayText("Hig", &value));
}

TEST(IParam, PitchNames)
{
  EXPECT_EQ(IParam::PitchText(60, true), "C 4");
  EXPECT_EQ(IParam::PitchText(60, false), "C 3");
  EXPECT_EQ(IParam::PitchText(61, true), "C#4");
  EXPECT_EQ(IParam::PitchText(-1, true), "B -2") << "notes below 0 stay inside the table";

  IParam pitch;
  pitch.InitPitch("Pitch", 2, 58, 62, 0, "", true);
  EXPECT_EQ(pitch.Type(), IParam::kTypeEnum);
  EXPECT_EQ(pitch.GetMax(), 4.0);
  EXPECT_EQ(pitch.GetValue(), 2.0);
  ASSERT_EQ(pitch.NDisplayTexts(), 5);
  EXPECT_STREQ(pitch.GetDisplayTextAtIdx(0), "A#3");
  EXPECT_EQ(Display(pitch, 2.0), "C 4");
}

TEST(IParam, UnitInitsAndCopy)
{
  IParam p;
  p.InitFrequency("F");
  EXPECT_STREQ(p.GetLabel(), "Hz");
  EXPECT_EQ(p.Unit(), IParam::kUnitFrequency);
  EXPECT_EQ(p.DisplayType(), IParam::kDisplayLog);
  p.InitMilliseconds("M", 5.0);
  EXPECT_EQ(p.Unit(), IParam::kUnitMilliseconds);
  EXPECT_EQ(p.GetStep(), 1.0);
  p.InitAngleDegrees("A");
  EXPECT_STREQ(p.GetLabel(), "degrees");
  p.InitDB("D");
  EXPECT_EQ(p.GetFlags(), IParam::kFlagMinusInfAtMin | IParam::kFlagRoundDisplay);

  IParam counter;
  counter.InitInt("Count", 3, 1, 8, "x");
  EXPECT_EQ(counter.Type(), IParam::kTypeInt);
  EXPECT_TRUE(counter.GetStepped());
  EXPECT_EQ(counter.ConstrainValue(4.4), 4.0);

  IParam source;
  source.InitEnum("Osc 1 Wave", 1, 3, "", IParam::kFlagNotAutomatable, "Osc 1", "Sine", "Saw", "Square");
  source.SetValue(2.0);

  IParam copy;
  copy.Init(source, "1", "2", "");
  EXPECT_STREQ(copy.GetNameForHost(), "Osc 2 Wave") << "only the first occurrence is replaced";
  EXPECT_STREQ(copy.GetGroupForHost(), "Osc 1");
  EXPECT_EQ(copy.Type(), IParam::kTypeEnum);
  EXPECT_EQ(copy.GetValue(), 1.0) << "a copy starts at the default";
  EXPECT_FALSE(copy.GetCanAutomate());
  EXPECT_EQ(copy.NDisplayTexts(), 3);
  EXPECT_EQ(Display(copy, 2.0), "Square");

  IParam regrouped;
  regrouped.Init(source, "Osc 1 ", "", "Shared");
  EXPECT_STREQ(regrouped.GetNameForHost(), "Wave");
  EXPECT_STREQ(regrouped.GetGroupForHost(), "Shared");

  source.Init(source, "Wave", "Shape", "");
  EXPECT_STREQ(source.GetNameForHost(), "Osc 1 Shape") << "copying from itself is safe";
  EXPECT_EQ(source.NDisplayTexts(), 6) << "texts are appended, not replaced";
}

TEST(IParam, JSON)
{
  IParam mix;
  mix.InitPercentage("Mix", 21.0);
  std::string json = "[";
  mix.GetJSON(json, 3);
  EXPECT_EQ(json,
            "[{\"id\":3, \"name\":\"Mix\", \"type\":\"float\", \"min\":0.000000, "
            "\"max\":100.000000, \"default\":21.000000, \"rate\":\"control\"}");

  IParam note;
  note.InitNote("N", 0, 2);
  json.clear();
  note.GetJSON(json, 0);
  EXPECT_EQ(json.find("type"), std::string::npos);
}

TEST(IParam, NumbersAsTextIgnoreTheHostsLocale)
{
  CommaLocale comma;
  if (!comma)
    GTEST_SKIP() << "no de_DE locale could be built here (Debian package locales)";
  char probe[16];
  std::snprintf(probe, sizeof(probe), "%.1f", 3.5);
  ASSERT_STREQ(probe, "3,5") << "the locale writes a decimal comma";

  IParam decay;
  decay.InitDouble("Decay", 3.2, 0.1, 10.0, 0.1);
  EXPECT_EQ(Display(decay, 3.2), "3.2");
  EXPECT_EQ(decay.StringToValue("4.25"), 4.25);
  EXPECT_EQ(decay.StringToValue("  +4.5 s"), 4.5);
  EXPECT_EQ(decay.StringToValue("--4"), 0.1) << "as strtod: no number, 0, clamped";

  IParam gain;
  gain.InitDouble("Gain", 0.0, -12.0, 12.0, 0.1, "dB", IParam::kFlagSignDisplay);
  EXPECT_EQ(Display(gain, 1.5), "+1.5");
  EXPECT_EQ(Display(gain, -1.5), "-1.5");
  EXPECT_EQ(gain.StringToValue("-2.5"), -2.5);

  std::string json;
  decay.GetJSON(json, 0);
  EXPECT_NE(json.find("\"min\":0.100000, \"max\":10.000000, \"default\":3.200000"), std::string::npos) << json;
}
