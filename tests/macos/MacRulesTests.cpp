// The Cocoa layer's rules that need no AppKit, on every build: the y flip,
// modifier bits, wheel steps, key codes, the timer interval and bundle
// resource names.
#include "IGraphicsMacRules.h"
#include "MouseModifiersEq.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace
{

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(MacRules, ViewPointsFlipIntoEditorPoints)
{
  struct Case
  {
    double x, y;
    int height, ex, ey;
  };
  const Case cases[] = {
    { 10.7, 5.2, 210, 10, 205 },    // fractions truncate before the flip
    { 0.0, 0.0, 210, 0, 210 },      // the view's bottom-left corner
    { 544.9, 209.9, 210, 544, 1 },  // its top-right pixel
    { -3.7, 215.5, 210, -3, -5 },   // a drag outside truncates toward zero
    { kNaN, kNaN, 210, 0, 210 },   { 1e300, -1e300, 210, 1000000, 1000210 },
  };
  for (const Case& c : cases)
  {
    int ex = -99, ey = -99;
    IMacRules::ViewPointToEditor(c.x, c.y, c.height, &ex, &ey);
    EXPECT_EQ(ex, c.ex) << c.x << "," << c.y;
    EXPECT_EQ(ey, c.ey) << c.x << "," << c.y;
  }
}

TEST(MacRules, RectanglesFlipBothWays)
{
  // drawRect: areas: L = int(x), R = L + int(w), B = H - int(y), T = B - int(h).
  EXPECT_EQ(IMacRules::ViewRectToEditor(0, 0, 545, 210, 210), IRECT(0, 0, 545, 210));
  EXPECT_EQ(IMacRules::ViewRectToEditor(10.5, 20.25, 30.9, 40.1, 210), IRECT(10, 150, 40, 190));

  const IRECT rects[] = { IRECT(0, 0, 545, 210), IRECT(88, 118, 136, 166), IRECT(434, 82, 472, 183),
                          IRECT(0, 209, 1, 210) };
  for (const IRECT& r : rects)
  {
    const IMacRules::ViewRect v = IMacRules::EditorRectToView(r, 210);
    EXPECT_EQ(v.x, r.L);
    EXPECT_EQ(v.y, 210 - r.B);
    EXPECT_EQ(v.w, r.W());
    EXPECT_EQ(v.h, r.H());
    EXPECT_EQ(IMacRules::ViewRectToEditor(v.x, v.y, v.w, v.h, 210), r);
  }

  // Entry boxes keep the centre's fraction.
  const IMacRules::ViewRect box = IMacRules::EditorBoxToView(91.5, 100.5, 42, 21, 210);
  EXPECT_DOUBLE_EQ(box.x, 91.5);
  EXPECT_DOUBLE_EQ(box.y, 88.5);
  EXPECT_DOUBLE_EQ(box.w, 42);
  EXPECT_DOUBLE_EQ(box.h, 21);
}

TEST(MacRules, ModifierBits)
{
  using IMacRules::Button;
  const unsigned long shift = 1ul << 17, control = 1ul << 18, option = 1ul << 19, command = 1ul << 20;
  struct Case
  {
    unsigned long flags;
    Button button;
    bool L, R, S, C, A;
  };
  const Case cases[] = {
    { 0, Button::Left, true, false, false, false, false },
    { shift, Button::Left, true, false, true, false, false },
    { control, Button::Left, true, false, false, true, false },
    { option, Button::Left, true, false, false, false, true },
    { command, Button::Left, true, true, false, false, false },  // command-click acts as a right click
    { shift | control | option | command, Button::Left, true, true, true, true, true },
    { 0, Button::Right, false, true, false, false, false },
    { shift | option, Button::Right, false, true, true, false, true },
    // Neighbouring bits (caps lock 16, numeric pad 21) are no modifier.
    { (1ul << 16) | (1ul << 21), Button::Left, true, false, false, false, false },
  };
  for (const Case& c : cases)
  {
    const MouseModifiers m = IMacRules::Modifiers(c.flags, c.button);
    EXPECT_EQ(m, MouseModifiers(c.L, c.R, c.S, c.C, c.A)) << std::hex << c.flags;
  }
}

TEST(MacRules, WheelStepsTruncateTowardZero)
{
  const struct
  {
    double delta;
    int steps;
  } cases[] = { { 0.7, 0 },   { -0.7, 0 }, { 1.0, 1 },         { 2.9, 2 },
                { -3.5, -3 }, { kNaN, 0 }, { 1e300, 1000000 }, { -INFINITY, -1000000 } };
  for (const auto& c : cases) EXPECT_EQ(IMacRules::WheelSteps(c.delta), c.steps) << c.delta;
}

TEST(MacRules, TimerIntervalIsOneFrame)
{
  EXPECT_DOUBLE_EQ(IMacRules::TimerInterval(24), 1.0 / 24);
  EXPECT_DOUBLE_EQ(IMacRules::TimerInterval(60), 1.0 / 60);
  EXPECT_DOUBLE_EQ(IMacRules::TimerInterval(0), 1.0 / 24);
}

TEST(MacRules, KeyCodes)
{
  const struct
  {
    unsigned ch;
    int key;
  } cases[] = { { 0xF700, KEY_UPARROW },
                { 0xF701, KEY_DOWNARROW },
                { 0xF702, KEY_LEFTARROW },
                { 0xF703, KEY_RIGHTARROW },
                { ' ', KEY_SPACE },
                { '7', KEY_DIGIT_0 + 7 },
                { 'a', KEY_ALPHA_A },
                { 'Z', KEY_ALPHA_A + 25 },
                { '\r', -1 },
                { 0xF704, -1 },
                { 0xE9, -1 } };
  for (const auto& c : cases) EXPECT_EQ(IMacRules::KeyCode(c.ch), c.key) << std::hex << c.ch;
}

}  // namespace
