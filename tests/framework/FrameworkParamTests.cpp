// IParam: initialisers, conversions, display text and hostile input.
#include "IParam.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

static const double kNaN = std::numeric_limits<double>::quiet_NaN();
static const double kInf = std::numeric_limits<double>::infinity();

static std::string Display(const IParam& p, double v, bool normalized = false)
{
  char buf[MAX_PARAM_DISPLAY_TEXT];
  p.FormatDisplay(normalized, buf, v);
  return buf;
}

TEST(FrameworkParam, InitialisersSetRangeTypeAndPrecision)
{
  IParam rate;
  rate.DefineEnum("Delay Rate", 12, 25);
  EXPECT_EQ(rate.Type(), IParam::kTypeEnum);
  EXPECT_EQ(rate.GetMax(), 24.0);
  EXPECT_EQ(rate.GetStep(), 1.0);
  EXPECT_EQ(rate.Value(), 12.0);
  EXPECT_FALSE(rate.IsTwoState());
  IParam onOff;
  onOff.DefineEnum("On", 0, 2);
  EXPECT_TRUE(onOff.IsTwoState());

  IParam width;
  width.DefineInt("Pan Width", 90, -100, 100, "%");
  EXPECT_EQ(width.Type(), IParam::kTypeInt);
  EXPECT_STREQ(width.GetLabelForHost(), "%");
  width.SetUnitValue(0.95);
  EXPECT_EQ(width.Value(), 90.0);
  EXPECT_DOUBLE_EQ(width.GetUnitValue(), 0.95);

  // A default above max raises max.
  IParam raised;
  raised.DefineDouble("x", 0.25, 0.0, 0.5, 1.0);
  EXPECT_EQ(raised.GetMax(), 1.0);
  EXPECT_EQ(raised.Value(), 0.25);

  const struct
  {
    double step;
    int precision;
  } kSteps[] = {
    { 0.01, 2 }, { 0.5, 1 }, { 1.0, 0 }, { 1e-9, 6 }, { 2.0, 0 },
  };
  for (const auto& s : kSteps)
  {
    IParam p;
    p.DefineDouble("p", 0.0, 0.0, 10.0, s.step);
    EXPECT_EQ(p.GetPrecision(), s.precision) << "step " << s.step;
  }
}

TEST(FrameworkParam, UnitAndPlainValuesStayInRange)
{
  IParam i99, d99;
  i99.DefineInt("i", 0, 0, 99);
  d99.DefineDouble("d", 0.0, 0.0, 99.0, 1.0);
  i99.SetUnitValue(0.5);
  d99.SetUnitValue(0.5);
  EXPECT_EQ(i99.Value(), 50.0);  // 49.5 snaps to the step
  EXPECT_EQ(d99.Value(), 49.5);

  // Host garbage: out-of-range, infinite and NaN input, normalised or not.
  IParam width;
  width.DefineInt("w", 90, -100, 100);
  const struct
  {
    double in;
    double plain, unit;
  } kCases[] = {
    { -0.5, -0.5, -100 }, { 1.5, 1.5, 100 },  { 150, 100, 100 },     { -150, -100, -100 },
    { kNaN, -100, -100 }, { kInf, 100, 100 }, { -kInf, -100, -100 },
  };
  for (const auto& c : kCases)
  {
    width.SetValue(0.0);
    width.SetUnitValue(c.in);
    EXPECT_EQ(width.Value(), c.unit) << "normalised " << c.in;
    width.SetValue(0.0);
    width.SetValue(c.in);
    EXPECT_EQ(width.Value(), c.plain) << "plain " << c.in;
  }
  for (double v : { -500.0, 500.0, kNaN, kInf }) EXPECT_EQ(width.GetUnitValue(v), v > 0 ? 1.0 : 0.0) << v;

  // Step 0 allows max == min: nothing may divide by that.
  IParam flat, flatInt;
  flat.DefineDouble("f", 5.0, 5.0, 5.0, 0.0);
  flatInt.DefineInt("fi", 3, 3, 3);
  flatInt.DefineDouble("fi", 3.0, 3.0, 3.0, 0.0);  // keeps the integer type, step 0
  for (IParam* p : { &flat, &flatInt })
  {
    const double min = p->GetMin();
    EXPECT_EQ(p->GetMax(), min);
    for (double n : { 0.0, 0.7, 1.0, kNaN })
    {
      p->SetUnitValue(n);
      EXPECT_EQ(p->Value(), min);
      EXPECT_EQ(p->GetUnitValue(), 0.0);
    }
    EXPECT_EQ(Display(*p, 0.5, true), std::to_string((int)min));
  }
}

TEST(FrameworkParam, FormatDisplayAndParseText)
{
  IParam real, fine, half;
  real.DefineDouble("r", 0.0, -100.0, 100.0, 1.0);
  fine.DefineDouble("f", 0.0, 0.0, 10.0, 0.01);
  half.DefineDouble("h", 0.0, 0.0, 10.0, 0.5);
  const struct
  {
    const IParam* p;
    double v;
    bool normalized;
    const char* text;
  } kCases[] = {
    { &real, -0.0, false, "0" },
    { &real, 12.5, false, "12" },
    { &real, -12.9, false, "-12" },
    { &real, kNaN, false, "0" },
    { &real, 1e12, false, "1000000000000" },
    { &real, 0.75, true, "50" },  // normalised, not snapped
    { &fine, 0.0, false, "0" },
    { &fine, 2.5, false, "2.50" },
    { &half, 2.5, false, "2.5" },
  };
  for (const auto& c : kCases) EXPECT_EQ(Display(*c.p, c.v, c.normalized), c.text) << c.v;
  EXPECT_LT(Display(fine, 1e300).size(), (size_t)MAX_PARAM_DISPLAY_TEXT);

  IParam mode;
  mode.DefineEnum("Ping Pong", 0, 5);
  mode.AddTextForValue(3, "Three");
  mode.AddTextForValue(3, "Duplicate");
  mode.AddTextForValue(4, "Four");
  EXPECT_EQ(mode.NDisplayTexts(), 3);
  EXPECT_EQ(Display(mode, 3.9), "Three");
  EXPECT_EQ(Display(mode, 3.9 / 4.0, true), "Three");
  EXPECT_EQ(Display(mode, 2.0), "2");
  EXPECT_STREQ(mode.TextForValue(7), "");

  int v = -1;
  EXPECT_TRUE(mode.ValueForText("Four", &v));
  EXPECT_EQ(v, 4);
  EXPECT_EQ(mode.ValueFromText("Four"), 4.0);
  EXPECT_EQ(mode.ValueFromText("four"), 0.0);  // byte comparison, then atof
  EXPECT_EQ(mode.ValueFromText("  2.5x"), 2.5);
  EXPECT_EQ(real.ValueFromText("-250"), -250.0);  // not bounded here
  EXPECT_EQ(real.ValueFromText(nullptr), 0.0);
}

TEST(FrameworkParam, LongTextsAreTruncatedToTheirFields)
{
  const std::string longText(40, 'n');
  const std::string fits(31, 'n');
  IParam p;
  p.DefineEnum(longText.c_str(), 0, 3, std::string(50, 'l').c_str());
  EXPECT_EQ(std::string(p.GetNameForHost()), fits);
  EXPECT_EQ(std::string(p.GetLabelForHost()), std::string(31, 'l'));
  EXPECT_TRUE(p.AddTextForValue(1, longText.c_str()));
  EXPECT_EQ(Display(p, 1.0), fits);
  int v = -1;
  EXPECT_FALSE(p.ValueForText(longText.c_str(), &v));
  EXPECT_TRUE(p.ValueForText(fits.c_str(), &v));
  EXPECT_EQ(v, 1);

  p.DefineEnum(nullptr, 0, 3, nullptr);
  EXPECT_STREQ(p.GetNameForHost(), "");
  EXPECT_STREQ(p.GetLabelForHost(), "");
}
