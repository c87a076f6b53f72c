// The effect's own controls on a headless editor with the effect's
// parameters and placements, drawn from synthetic images whose pixels say
// which frame, face or part was drawn where.
#include "EditorRig.h"
#include "QuorvexControls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace qtest;

namespace
{

const double kPi = 3.14159265358979323846;

// Image ids of their own, clear of the effect's 100-104.
enum
{
  kBg = 9100,
  kStrip,
  kDotCap,
  kRadio,
  kHandle
};

const RGBA kBlack{ 0, 0, 0, 255 };
const RGBA kHandleRGB{ 0, 255, 0, 255 };
const RGBA kBarRGB{ 66, 110, 170, 255 };
const RGBA kDotRGB{ 255, 0, 0, 255 };
const RGBA kCapRGB{ 0, 0, 255, 255 };

void RegisterImages()
{
  static bool done = false;
  if (done) return;
  done = true;
  RegisterPng(kBg, 545, 210, [](int, int) { return kBlack; });
  // 25 frames of 82 x 82: frame k (from 0) is red k * 10.
  RegisterPng(kStrip, 2050, 82, [](int x, int) { return RGBA{ (x / 82) * 10, 200, 0, 255 }; });
  // Frame 1: a 4 x 4 dot straight above the centre; frame 2: a cap disc.
  RegisterPng(kDotCap, 124, 62,
              [](int x, int y)
              {
                if (x < 62) return x >= 29 && x < 33 && y >= 2 && y < 6 ? kDotRGB : RGBA{ 0, 0, 0, 0 };
                const double dx = x - 62 + 0.5 - 31, dy = y + 0.5 - 31;
                return dx * dx + dy * dy < 100 ? kCapRGB : RGBA{ 0, 0, 0, 0 };
              });
  // Every pixel names its own source position.
  RegisterPng(kRadio, 78, 85, [](int x, int y) { return RGBA{ x, y, 77, 255 }; });
  RegisterPng(kHandle, 18, 18, [](int, int) { return kHandleRGB; });
}

// The effect's parameters on a recording plug-in, with a 545 x 210 editor.
struct Rig
{
  Rig() : plug(new FakePlug(6, "1-1 2-2")), gui(new IGraphicsHeadless(plug.get(), 545, 210, 24))
  {
    RegisterImages();
    IParam* rate = plug->GetParam(0);
    rate->DefineEnum("Delay Rate", 12, 25, "");
    for (int i = 0; i < 25; ++i) rate->AddTextForValue(i, i == 12 ? "1/4" : "x");
    IParam* mode = plug->GetParam(1);
    mode->DefineEnum("Ping Pong", 2, 5, "");
    const char* modes[5] = { "Triplet", "Dotted", "Normal", "Triplet 2", "Dotted 2" };
    for (int i = 0; i < 5; ++i) mode->AddTextForValue(i, modes[i]);
    plug->GetParam(2)->DefineInt("Pan Width", 90, -100, 100, "%");
    plug->GetParam(3)->DefineInt("Feedback", 60, 0, 99, "%");
    plug->GetParam(4)->DefineInt("Dry Mix", 100, 0, 100, "%");
    plug->GetParam(5)->DefineInt("Wet Mix", 50, 0, 100, "%");
    text.mTextSize = 16;
    text.mTextColor = IColor(230, 255, 255, 255);
    text.mAlignment = IText::kAlignNear;
    gui->AddBackground(kBg, "bg");
  }
  template <class T> T* Add(T* control)
  {
    gui->AddControl(control);
    return control;
  }
  IKnobMulti* RateKnob(IText* t = nullptr)
  {
    IBitmap b = gui->LoadBitmapResource(kStrip, "strip", 25);
    return Add(
        new IKnobMulti(plug.get(), 0, 88, 118, &b, t ? t : &text, 15, 4.0, 0, IKnobControl::DirVertical));
  }
  IKnobRotVal* PanKnob(int param = 2)
  {
    IBitmap b = gui->LoadBitmapResource(kDotCap, "dot", 2);
    return Add(new IKnobRotVal(plug.get(), param, 279, 130, &b, &text, 13, 300, 4.0, 0,
                               IKnobControl::DirVertical, 1.0f));
  }
  IRadioButtons* Radio()
  {
    IBitmap b = gui->LoadBitmapResource(kRadio, "radio", 5);
    return Add(new IRadioButtons(plug.get(), 1, 140, 75, &b, true, 0, 0, 0, 0));
  }
  ISlider* DrySlider()
  {
    IBitmap b = gui->LoadBitmapResource(kHandle, "handle", 1);
    IRECT r(434, 82, 472, 183);
    return Add(new ISlider(plug.get(), 4, &r, &b, &text, 84, false, IColor(255, 66, 110, 170), 10, 1));
  }
  ~Rig()
  {
    if (plug->GetGUI() != gui) delete gui;
  }
  void Attach()
  {
    plug->AttachEditor(gui);
    plug->mLog.clear();
  }
  // Sets a parameter as the host would, then redraws everything.
  void Show(int param, double value)
  {
    plug->GetParam(param)->SetValue(value);
    gui->UpdateParamControls(param, value, false);
    Redraw();
  }
  void Redraw()
  {
    IRECT all(0, 0, 545, 210);
    gui->Draw(&all);
  }
  RGBA At(int x, int y) const { return PixelAt(gui->GetBackBuffer(), x, y); }
  // Pixels in r brighter than the background.
  int Lit(IRECT r) const
  {
    int n = 0;
    for (int y = r.T; y < r.B; ++y)
      for (int x = r.L; x < r.R; ++x) n += At(x, y).r > 100 && At(x, y).g > 100;
    return n;
  }
  void Click(int x, int y, bool right = false)
  {
    MouseModifiers m(!right, right);
    gui->OnMouseDown(x, y, &m);
    gui->OnMouseUp(x, y, &m);
  }
  std::vector<std::string> Calls() const
  {
    std::vector<std::string> out;
    for (const FakeCall& c : plug->mLog)
      if (c.what == "begin" || c.what == "end")
        out.push_back(c.what);
      else if (c.what == "automate")
        out.push_back("automate " + std::to_string((int)c.value));
    return out;
  }

  std::unique_ptr<FakePlug> plug;
  IGraphicsHeadless* gui;  // owned by plug once attached
  IText text;
};

using Calls = std::vector<std::string>;

}  // namespace

// ================================================================ geometry

TEST(QuorvexControlGeometry, KnobRectanglesHoldTheImageAndTheTextRows)
{
  struct Case
  {
    const char* what;
    int image;  // kStrip or kDotCap
    int x, y, textSize, gap, widthOverride;
    IRECT want;
  } cases[] = {
    { "Delay Rate, text 16", kStrip, 88, 118, 16, 15, 0, IRECT(47, 77, 129, 190) },
    { "Delay Rate, text 14", kStrip, 88, 118, 14, 15, 0, IRECT(47, 77, 129, 188) },
    { "Pan Width", kDotCap, 279, 130, 16, 13, 0, IRECT(248, 99, 310, 190) },
    { "Feedback, text 14", kDotCap, 379, 130, 14, 13, 0, IRECT(348, 99, 410, 188) },
    { "width override, odd", kStrip, 88, 118, 16, 15, 51, IRECT(63, 77, 113, 190) },
    { "no text", kDotCap, 279, 130, 0, 0, 0, IRECT(248, 99, 310, 161) },
  };
  Rig rig;
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    IText t = rig.text;
    t.mTextSize = c.textSize;
    IBitmap b = rig.gui->LoadBitmapResource(c.image, "img", c.image == kStrip ? 25 : 2);
    IKnobControl* k;
    if (c.image == kStrip)
      k = new IKnobMulti(rig.plug.get(), 0, c.x, c.y, &b, &t, c.gap, 4.0, c.widthOverride);
    else
      k = new IKnobRotVal(rig.plug.get(), 2, c.x, c.y, &b, &t, c.gap, 300, 4.0, c.widthOverride);
    EXPECT_EQ(k->GetRECT(), c.want);
    EXPECT_EQ(k->GetHitArea(), c.want);
    delete k;
  }
}

TEST(QuorvexControlGeometry, RadioButtonRowsAndColumns)
{
  struct Case
  {
    const char* what;
    int w, h, n, layout, s1, s2, s3;
    IRECT area;
    std::vector<int> starts, lengths;  // along the layout
  } cases[] = {
    { "effect: five equal rows",
      78,
      85,
      5,
      0,
      0,
      0,
      0,
      IRECT(140, 75, 218, 160),
      { 75, 92, 109, 126, 143 },
      { 17, 17, 17, 17, 17 } },
    { "rows not a multiple: the rest belongs to none",
      78,
      87,
      5,
      0,
      0,
      0,
      0,
      IRECT(140, 75, 218, 162),
      { 75, 92, 109, 126, 143 },
      { 17, 17, 17, 17, 17 } },
    { "given sizes; the last takes the rest",
      78,
      80,
      4,
      2,
      10,
      20,
      0,
      IRECT(140, 75, 218, 155),
      { 75, 85, 105, 125 },
      { 10, 20, 20, 30 } },
    { "one row left to right",
      100,
      20,
      4,
      1,
      0,
      0,
      0,
      IRECT(140, 75, 240, 95),
      { 140, 165, 190, 215 },
      { 25, 25, 25, 25 } },
  };
  Rig rig;
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    IBitmap b(nullptr, c.w, c.h, c.n);
    IRadioButtons r(rig.plug.get(), 1, 140, 75, &b, true, c.layout, c.s1, c.s2, c.s3);
    EXPECT_EQ(r.GetRECT(), c.area);
    ASSERT_EQ(r.NButtons(), c.n);
    for (int i = 0; i < c.n; ++i)
    {
      const IRECT want = c.layout == 1 ? IRECT(c.starts[i], 75, c.starts[i] + c.lengths[i], 75 + c.h)
                                       : IRECT(140, c.starts[i], 140 + c.w, c.starts[i] + c.lengths[i]);
      EXPECT_EQ(r.ButtonRect(i), want) << "button " << i;
    }
  }
}

TEST(QuorvexControlGeometry, SliderTracksHandlesAndBars)
{
  Rig rig;
  ISlider* s = rig.DrySlider();
  rig.Attach();
  EXPECT_EQ(s->GetRECT(), IRECT(434, 82, 472, 183));
  EXPECT_EQ(s->Track(), IRECT(444, 82, 462, 166));
  EXPECT_EQ(s->Travel(), 66);

  struct Case
  {
    int percent;
    IRECT handle, bar;
  } cases[] = {
    { 70, IRECT(444, 102, 462, 120), IRECT(448, 111, 458, 165) },
    { 100, IRECT(444, 82, 462, 100), IRECT(448, 91, 458, 165) },
    // Still 8 pixels: from the handle's centre to the fixed end.
    { 0, IRECT(444, 148, 462, 166), IRECT(448, 157, 458, 165) },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.percent);
    rig.Show(4, c.percent);
    EXPECT_EQ(s->HandleRect(), c.handle);
    IRECT bar;
    ASSERT_TRUE(s->BarRect(&bar));
    EXPECT_EQ(bar, c.bar);
    // What was drawn: handle over the bar, the bar below the handle, and
    // the background just outside both.
    EXPECT_EQ(rig.At(c.handle.L, c.handle.T), kHandleRGB);
    EXPECT_EQ(rig.At(c.handle.R - 1, c.handle.B - 1), kHandleRGB);
    EXPECT_EQ(rig.At(c.handle.L - 1, c.handle.T), kBlack);
    for (int y = c.handle.B; y < bar.B; ++y)
    {
      EXPECT_EQ(rig.At(bar.L, y), kBarRGB) << y;
      EXPECT_EQ(rig.At(bar.R - 1, y), kBarRGB) << y;
      EXPECT_EQ(rig.At(bar.L - 1, y), kBlack) << y;
      EXPECT_EQ(rig.At(bar.R, y), kBlack) << y;
    }
    EXPECT_EQ(rig.At(bar.L, std::max(bar.B, c.handle.B)), kBlack);
  }

  // A horizontal slider's bar runs from its left end to the handle's centre.
  IBitmap h = rig.gui->LoadBitmapResource(kHandle, "handle", 1);
  IRECT r(100, 20, 200, 60);
  ISlider across(rig.plug.get(), 5, &r, &h, &rig.text, 84, true, IColor(255, 1, 2, 3), 10, 1);
  EXPECT_EQ(across.Track(), IRECT(108, 20, 192, 38));
  across.ApplyHostValue(0.5);
  EXPECT_EQ(across.HandleRect(), IRECT(141, 20, 159, 60));
  IRECT bar;
  ASSERT_TRUE(across.BarRect(&bar));
  EXPECT_EQ(bar, IRECT(109, 24, 150, 34));
}

// ================================================================ drawing

TEST(QuorvexControlDrawing, FilmStripFrameFollowsTheParameter)
{
  Rig rig;
  IKnobMulti* k = rig.RateKnob();
  rig.Attach();
  EXPECT_EQ(k->ImageRect(), IRECT(47, 77, 129, 159));
  struct Case
  {
    int step, frame;
  } cases[] = { { 12, 13 }, { 0, 1 }, { 24, 25 }, { 1, 2 }, { 23, 24 } };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.step);
    rig.Show(0, c.step);
    EXPECT_EQ(k->Frame(), c.frame);
    // Frame f is red 10 * (f - 1) across the whole image rectangle.
    EXPECT_EQ(rig.At(47, 77).r, 10 * (c.frame - 1));
    EXPECT_EQ(rig.At(128, 158).r, 10 * (c.frame - 1));
  }
}

TEST(QuorvexControlDrawing, RotatingDotTurnsAboutTheCentreUnderTheCap)
{
  Rig rig;
  IKnobRotVal* k = rig.PanKnob();
  rig.Attach();
  struct Case
  {
    int pan;
    double degrees;
    float offset;
  } cases[] = { { 90, 135.0, -0.9f }, { 0, 0.0, 0.0f }, { -100, -150.0, -1.0f }, { 100, 150.0, -1.0f } };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.pan);
    rig.Show(2, c.pan);
    EXPECT_NEAR(k->Angle() * 180.0 / kPi, c.degrees, 1e-5);
    EXPECT_FLOAT_EQ(k->SourceOffset(), c.offset);
    // The dot sits 27 pixels from the centre, turned by the angle (y down).
    const double a = c.degrees * kPi / 180.0;
    const int x = (int)std::lround(279 + 27 * std::sin(a)), y = (int)std::lround(130 - 27 * std::cos(a));
    EXPECT_GT(rig.At(x, y).r, 150) << x << "," << y;
    // The cap covers the centre, unrotated.
    EXPECT_EQ(rig.At(279, 130), kCapRGB);
  }
  // Nothing red outside the knob's 62 x 62 square.
  int stray = 0;
  for (int y = 60; y < 200; ++y)
    for (int x = 200; x < 360; ++x)
      if ((x < 248 || x >= 310 || y < 99 || y >= 161) && rig.At(x, y).r > 150 && rig.At(x, y).g < 100)
        ++stray;
  EXPECT_EQ(stray, 0);
}

TEST(QuorvexControlDrawing, RadioDrawsOnlyTheSelectedFaceFromItsOwnRows)
{
  Rig rig;
  IRadioButtons* r = rig.Radio();
  rig.Attach();
  for (int mode = 0; mode < 5; ++mode)
  {
    SCOPED_TRACE(mode);
    rig.Show(1, mode);
    EXPECT_EQ(r->Selected(), mode);
    for (int b = 0; b < 5; ++b)
    {
      const int top = 75 + 17 * b;
      // Source pixels name their position: x - 140, y - 75.
      const RGBA want = b == mode ? RGBA{ 3, top + 5 - 75, 77, 255 } : kBlack;
      EXPECT_EQ(rig.At(143, top + 5), want) << "button " << b;
    }
  }
}

TEST(QuorvexControlDrawing, ValueTextsAndWhenTheyAreHidden)
{
  Rig rig;
  char buf[64];
  struct Case
  {
    int param;
    double value;
    const char* want;
  } cases[] = {
    { 0, 12, "1/4" }, { 2, 90, "90%" }, { 2, -100, "-100%" }, { 1, 3, "Triplet 2" }, { 5, 0, "0%" }
  };
  for (const Case& c : cases)
  {
    rig.plug->GetParam(c.param)->SetValue(c.value);
    ASSERT_TRUE(FormatValueText(rig.plug.get(), c.param, buf, sizeof(buf)));
    EXPECT_STREQ(buf, c.want);
  }
  EXPECT_FALSE(FormatValueText(rig.plug.get(), 6, buf, sizeof(buf)));
  EXPECT_STREQ(buf, "");
  EXPECT_FALSE(FormatValueText(nullptr, 0, buf, sizeof(buf)));
  // Too small for the number: nothing rather than a cut number; the label
  // is what gets cut.
  rig.plug->GetParam(2)->SetValue(90);
  EXPECT_FALSE(FormatValueText(rig.plug.get(), 2, buf, 2));
  EXPECT_TRUE(FormatValueText(rig.plug.get(), 2, buf, 3));
  EXPECT_STREQ(buf, "90");

  // Drawn in the bottom 16 rows; not for a text size of 0 nor without a
  // parameter.
  IText none = rig.text;
  none.mTextSize = 0;
  rig.RateKnob();  // text at 174..190 under x 47..129
  IBitmap b = rig.gui->LoadBitmapResource(kStrip, "strip", 25);
  rig.Add(new IKnobMulti(rig.plug.get(), 0, 300, 118, &b, &none, 15));
  rig.Add(new IKnobMulti(rig.plug.get(), 9, 450, 118, &b, &rig.text, 15));
  rig.Attach();
  rig.Show(0, 12);
  EXPECT_GT(rig.Lit(IRECT(47, 174, 129, 190)), 20);
  EXPECT_EQ(rig.Lit(IRECT(47, 159, 129, 174)), 0);
  EXPECT_EQ(rig.Lit(IRECT(259, 159, 341, 210)), 0);
  EXPECT_EQ(rig.Lit(IRECT(409, 159, 491, 210)), 0);
}

// ================================================================ mouse

TEST(QuorvexControlMouse, RadioClicksSelectTheButtonUnderThePointer)
{
  struct Case
  {
    int x, y;
    bool right;
    int want;  // "Ping Pong" value afterwards
  } cases[] = {
    { 150, 126, false, 3 },
    { 217, 142, false, 3 },
    { 140, 75, false, 0 },
    { 150, 91, false, 0 },
    { 150, 92, false, 1 },
    { 150, 159, false, 4 },
    { 200, 110, false, 2 },
    // Right click: text entry, and the unchanged value is sent again.
    { 150, 143, true, 2 },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    Rig rig;
    rig.Radio();
    rig.Attach();
    rig.Click(c.x, c.y, c.right);
    EXPECT_EQ(rig.plug->GetParam(1)->Value(), c.want);
    EXPECT_EQ(rig.Calls(), (Calls{ "begin", "automate " + std::to_string(c.want), "end" }));
    EXPECT_EQ(rig.gui->EntryOpen(), c.right);
  }
}

TEST(QuorvexControlMouse, SliderTakesClicksAndDragsInsideItsTrackOnly)
{
  struct Case
  {
    const char* what;
    int y;
    int want;  // "Dry Mix" afterwards, from 50
  } cases[] = {
    { "top row", 82, 100 },
    { "tenth row", 91, 100 },
    { "eleventh row", 92, 98 },
    { "middle", 124, 50 },
    { "ninth row from the bottom", 157, 0 },
    { "bottom row", 165, 0 },
    { "tenth row from the bottom", 156, 2 },
    { "value text", 175, 50 },
    { "above", 81, 50 },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.DrySlider();
    rig.Attach();
    rig.Show(4, 50);
    rig.plug->mLog.clear();
    rig.Click(450, c.y);
    EXPECT_EQ(rig.plug->GetParam(4)->Value(), c.want);
    // Outside the track nothing is sent; above the control the background
    // takes the click.
    const bool inTrack = c.y >= 82 && c.y < 166, inControl = c.y >= 82 && c.y < 183;
    EXPECT_EQ(rig.Calls(), inTrack     ? (Calls{ "begin", "automate " + std::to_string(c.want), "end" })
                           : inControl ? (Calls{ "begin", "end" })
                                       : Calls{});
  }

  // Left and right of the track, inside the control: ignored.
  Rig rig;
  ISlider* s = rig.DrySlider();
  rig.Attach();
  rig.Show(4, 50);
  for (int x : { 443, 462, 435, 471 })
  {
    rig.Click(x, 100);
    EXPECT_EQ(rig.plug->GetParam(4)->Value(), 50) << x;
  }

  // A drag follows the pointer and stops where it leaves the track.
  rig.plug->mLog.clear();
  MouseModifiers m(true);
  rig.gui->OnMouseDown(450, 124, &m);
  rig.gui->OnMouseDrag(450, 110, &m);
  const int inTrack = (int)rig.plug->GetParam(4)->Value();
  EXPECT_EQ(inTrack, 71);
  rig.gui->OnMouseDrag(470, 90, &m);  // right of the track
  rig.gui->OnMouseDrag(450, 60, &m);  // above the control
  EXPECT_EQ(rig.plug->GetParam(4)->Value(), inTrack);
  EXPECT_NEAR(s->GetValue(), 0.71, 0.006);
  rig.gui->OnMouseDrag(450, 165, &m);  // back in, at the bottom
  rig.gui->OnMouseUp(450, 165, &m);
  EXPECT_EQ(rig.plug->GetParam(4)->Value(), 0);
  EXPECT_EQ(rig.Calls(), (Calls{ "begin", "automate 50", "automate 71", "automate 0", "end" }));

  // A right click on the value text opens text entry and changes nothing.
  rig.plug->mLog.clear();
  rig.Click(450, 180, true);
  EXPECT_TRUE(rig.gui->EntryOpen());
  EXPECT_EQ(rig.gui->EntryControl(), s);
  EXPECT_EQ(rig.Calls(), (Calls{ "begin", "end" }));
}
