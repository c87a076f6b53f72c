// The effect's whole editor, created through the same code as the exported
// entry point and driven by the reference host: the layout, the mouse on
// every control with the parameter values and gesture calls the host
// receives, and host changes reaching the controls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EditCalls.h"
#include "HostedPlug.h"
#include "IGraphics.h"
#include "IGraphicsHeadless.h"
#include "IPlugVSTCreate.h"
#include "Quorvex2.h"
#include "Quorvex2Editor.h"
#include "QuorvexControls.h"
#include "lice.h"

namespace
{

AEffect* VSTCALLBACK Entry(audioMasterCallback cb) { return IPlugVSTCreate<Quorvex2>(cb); }

using Calls = std::vector<std::string>;

struct Editor : qtest::HostedPlug
{
  Editor() : HostedPlug(&Entry, "Quorvex 2")
  {
    plug = static_cast<IPlugVST*>(host.Effect()->object);
    gui = plug->GetGUI();
    host.ClearCalls();
  }

  IControl* Control(int i) const { return gui->GetControl(i); }
  void Down(int x, int y, MouseModifiers m = MouseModifiers(true)) { gui->OnMouseDown(x, y, &m); }
  void Drag(int x, int y, MouseModifiers m = MouseModifiers(true)) { gui->OnMouseDrag(x, y, &m); }
  void Up(int x, int y, MouseModifiers m = MouseModifiers(true)) { gui->OnMouseUp(x, y, &m); }
  // The host's record: gesture begin and end, and the displays automated.
  Calls HostCalls() { return qtest::EditCalls(host); }
  std::string Shown(int param) { return host.ParamDisplay(param); }

  IPlugVST* plug = nullptr;
  IGraphics* gui = nullptr;
};

}  // namespace

TEST(QuorvexEditor, LayoutPlacesEveryControl)
{
  Editor e;
  ASSERT_NE(e.gui, nullptr);
  EXPECT_EQ(e.gui->Width(), kEditorWidth);
  EXPECT_EQ(e.gui->Height(), kEditorHeight);
  ASSERT_EQ(e.gui->NControls(), 8);

  struct Case
  {
    int param;
    IRECT area;
  } cases[] = {
    { -1, IRECT(0, 0, 545, 210) },           { kDelayRate, IRECT(47, 77, 129, 190) },
    { kPingPong, IRECT(140, 75, 218, 160) }, { kPanWidth, IRECT(248, 99, 310, 190) },
    { kFeedback, IRECT(348, 99, 410, 190) }, { kDryMix, IRECT(434, 82, 472, 183) },
    { kWetMix, IRECT(478, 82, 516, 183) },   { -1, IRECT(175, 6, 367, 53) },
  };
  for (int i = 0; i < 8; ++i)
  {
    SCOPED_TRACE(i);
    EXPECT_EQ(e.Control(i)->ParamIdx(), cases[i].param);
    EXPECT_EQ(e.Control(i)->GetRECT(), cases[i].area);
  }
  EXPECT_NE(dynamic_cast<IKnobMulti*>(e.Control(1)), nullptr);
  auto* radio = dynamic_cast<IRadioButtons*>(e.Control(2));
  ASSERT_NE(radio, nullptr);
  for (int b = 0; b < 5; ++b) EXPECT_EQ(radio->ButtonRect(b), IRECT(140, 75 + 17 * b, 218, 92 + 17 * b));
  EXPECT_NE(dynamic_cast<IKnobRotVal*>(e.Control(3)), nullptr);
  EXPECT_NE(dynamic_cast<IKnobRotVal*>(e.Control(4)), nullptr);
  for (int i : { 5, 6 })
  {
    auto* slider = dynamic_cast<ISlider*>(e.Control(i));
    ASSERT_NE(slider, nullptr);
    const int l = i == 5 ? 444 : 488;
    EXPECT_EQ(slider->Track(), IRECT(l, 82, l + 18, 166));
    EXPECT_EQ(slider->Travel(), 66);
  }
  auto* link = dynamic_cast<IURLControl*>(e.Control(7));
  ASSERT_NE(link, nullptr);
  EXPECT_STREQ(link->GetURL(), kQuorvexPluginURL);
  EXPECT_STREQ(link->GetFallbackURL(), kQuorvexHomeURL);

  // Every control starts at its parameter's value, which is also what a
  // double-click restores.
  for (int i = 1; i <= 6; ++i)
  {
    const double v = e.host.GetParameter(e.Control(i)->ParamIdx());
    EXPECT_FLOAT_EQ((float)e.Control(i)->GetValue(), (float)v) << i;
    EXPECT_FLOAT_EQ((float)e.Control(i)->GetDefaultValue(), (float)v) << i;
  }
}

TEST(QuorvexEditor, MouseOnEachControlReachesTheHost)
{
  struct Step
  {
    char what;  // d down, m drag, u up, w double-click
    int x, y;
    bool right = false;
  };
  struct Case
  {
    const char* what;
    std::vector<Step> steps;
    int param;
    std::string shown;
    Calls calls;
  } cases[] = {
    { "Delay Rate: four heights up",
      { { 'd', 88, 150 }, { 'm', 88, 0 }, { 'm', 88, -302 }, { 'u', 88, -302 } },
      kDelayRate,
      "4/1",
      { "begin 0", "automate 0", "automate 0", "end 0" } },
    { "Delay Rate: dragged from its value text",
      { { 'd', 88, 180 }, { 'm', 88, 199 }, { 'u', 88, 199 } },
      kDelayRate,
      "1/8D",
      { "begin 0", "automate 0", "end 0" } },
    { "Ping Pong: fourth button",
      { { 'd', 180, 126 }, { 'u', 180, 126 } },
      kPingPong,
      "Triplet 2",
      { "begin 1", "automate 1", "end 1" } },
    { "Ping Pong: last row of the last button",
      { { 'd', 139 + 78, 159 }, { 'u', 217, 159 } },
      kPingPong,
      "Dotted 2",
      { "begin 1", "automate 1", "end 1" } },
    { "Pan Width: dragged to the bottom",
      { { 'd', 279, 130 }, { 'm', 279, 494 }, { 'u', 279, 494 } },
      kPanWidth,
      "-100",
      { "begin 2", "automate 2", "end 2" } },
    { "Feedback: changed, then double-clicked back",
      { { 'd', 379, 130 }, { 'm', 379, 100 }, { 'u', 379, 100 }, { 'w', 379, 130 }, { 'u', 379, 130 } },
      kFeedback,
      "60",
      { "begin 3", "automate 3", "end 3", "begin 3", "automate 3", "end 3" } },
    { "Dry Mix: bottom of the track",
      { { 'd', 450, 165 }, { 'u', 450, 165 } },
      kDryMix,
      "0",
      { "begin 4", "automate 4", "end 4" } },
    { "Wet Mix: top, then dragged out of the track",
      { { 'd', 497, 86 }, { 'm', 497, 124 }, { 'm', 530, 160 }, { 'm', 497, 300 }, { 'u', 497, 300 } },
      kWetMix,
      "50",
      { "begin 5", "automate 5", "automate 5", "end 5" } },
    { "Wet Mix: left click on its value text",
      { { 'd', 497, 176 }, { 'u', 497, 176 } },
      kWetMix,
      "50",
      { "begin 5", "end 5" } },
    { "background: nothing", { { 'd', 20, 20 }, { 'm', 60, 60 }, { 'u', 60, 60 } }, kDryMix, "100", {} },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    Editor e;
    for (const Step& s : c.steps)
    {
      MouseModifiers m(!s.right, s.right);
      switch (s.what)
      {
        case 'd': e.Down(s.x, s.y, m); break;
        case 'm': e.Drag(s.x, s.y, m); break;
        case 'u': e.Up(s.x, s.y, m); break;
        case 'w': e.gui->OnMouseDblClick(s.x, s.y, &m); break;
      }
    }
    EXPECT_EQ(e.Shown(c.param), c.shown);
    EXPECT_EQ(e.HostCalls(), c.calls);
    // The last value the host heard of is the one the parameter took, before
    // the parameter snapped it to its step (at most half of 1/24).
    const quorvex::HostCall* last = nullptr;
    for (const quorvex::HostCall& call : e.host.Calls())
      if (call.opcode == audioMasterAutomate) last = &call;
    if (last)
    {
      EXPECT_NEAR(last->opt, e.host.GetParameter(last->index), 0.5 / 24);
    }
  }
}

TEST(QuorvexEditor, LinkAreaOpensTheMakersPage)
{
  Editor e;
  auto* headless = dynamic_cast<IGraphicsHeadless*>(e.gui);
  if (!headless) GTEST_SKIP() << "OpenURL is recorded by the headless layer only";
  e.Down(200, 30);
  e.Up(200, 30);
  EXPECT_EQ(headless->URLCalls(), 1);
  EXPECT_EQ(headless->LastURL(), kQuorvexPluginURL);
  headless->SetURLResult(false);
  e.Down(366, 52, MouseModifiers(false, true));
  EXPECT_EQ(headless->URLCalls(), 3);
  EXPECT_EQ(headless->LastURL(), kQuorvexHomeURL);
  EXPECT_EQ(e.HostCalls(), Calls{});
}

TEST(QuorvexEditor, HostChangesRedrawOnlyTheirControls)
{
  Editor e;
  // A native layer needs a real parent window; without one it draws at
  // each tick all the same.
  if (dynamic_cast<IGraphicsHeadless*>(e.gui))
  {
    ASSERT_EQ(e.host.Dispatch(effEditOpen, 0, 0, &e), 1);
  }
  IRECT all(0, 0, kEditorWidth, kEditorHeight);
  e.gui->Draw(&all);
  // Nothing dirty any more after two ticks (values pushed at attach keep a
  // control dirty one extra frame).
  e.gui->OnTimerTick();
  e.gui->OnTimerTick();
  IRECT dirty;
  EXPECT_FALSE(e.gui->IsDirty(&dirty));

  struct Case
  {
    int param;
    float value;
    IRECT area;
  } cases[] = {
    { kDelayRate, 0.0f, IRECT(47, 77, 129, 190) },  { kPingPong, 1.0f, IRECT(140, 75, 218, 160) },
    { kPanWidth, 0.25f, IRECT(248, 99, 310, 190) }, { kFeedback, 1.0f, IRECT(348, 99, 410, 190) },
    { kDryMix, 0.3f, IRECT(434, 82, 472, 183) },    { kWetMix, 0.0f, IRECT(478, 82, 516, 183) },
  };
  LICE_IBitmap* back = e.gui->GetBackBuffer();
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.param);
    std::vector<LICE_PixelWord> before(back->PixelData(),
                                       back->PixelData() + back->RowSpan() * back->Height());
    e.host.SetParameter(c.param, c.value);
    EXPECT_FLOAT_EQ((float)e.Control(c.param + 1)->GetValue(), c.value);
    dirty = IRECT();
    ASSERT_TRUE(e.gui->IsDirty(&dirty));
    EXPECT_EQ(dirty, c.area);
    e.gui->OnTimerTick();
    int changed = 0, outside = 0;
    for (int y = 0; y < back->Height(); ++y)
      for (int x = 0; x < back->Width(); ++x)
        if (back->PixelData()[y * back->RowSpan() + x] != before[y * back->RowSpan() + x])
        {
          ++changed;
          outside += !c.area.Contains(x, y);
        }
    EXPECT_GT(changed, 20);
    EXPECT_EQ(outside, 0);
    e.gui->OnTimerTick();
  }
  EXPECT_EQ(e.HostCalls(), Calls{});
  EXPECT_EQ(e.host.Dispatch(effEditClose), 1);
}
