// The editor core and standard controls through the headless layer.
#include "EditorRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>

using namespace qtest;
using Strings = std::vector<std::string>;

namespace
{

const IRECT kA(10, 10, 50, 50), kB(30, 30, 70, 70);
const IColor kRed(255, 255, 0, 0), kGreen(255, 0, 255, 0), kBlue(255, 0, 0, 255);

// A control that draws a bitmap at a fixed destination with a source offset.
class BitmapDrawer : public IControl
{
public:
  BitmapDrawer(IPlugBase* plug, IRECT area, IBitmap bmp, IRECT dest, int frame = 0, bool vertical = true)
    : IControl(plug, area, -1, IChannelBlend(IChannelBlend::BlendReplace)), mBmp(bmp), mDest(dest),
      mFrame(frame), mVertical(vertical)
  {
  }
  bool Draw(IGraphics* g) override
  {
    IRECT d = mDest;
    if (mFrame > 0) return g->DrawBitmapFrame(&mBmp, &d, mFrame, &mBlend, mVertical);
    return g->DrawBitmap(&mBmp, &d, 0, 0, &mBlend);
  }
  IBitmap mBmp;
  IRECT mDest;
  int mFrame;
  bool mVertical;
};

// Source pixel (x, y) of the pattern images encodes its own position.
RGBA Pattern(int x, int y) { return { x, y, 77, 255 }; }

}  // namespace

// ================================================================ hit testing

TEST(EditorHitTest, HiddenGrayedOverlappingAndLastAttachedWins)
{
  EditorRig rig;
  SolidKnob* bg = rig.AddKnob(IRECT(0, 0, 300, 200), -1);
  SolidKnob* a = rig.AddKnob(kA, 0);
  SolidKnob* b = rig.AddKnob(kB, 1);
  rig.Attach();
  IGraphics* g = rig.gui;

  struct Case
  {
    const char* what;
    bool hideB, grayA, hideBg;
    int x, y, want;
  } cases[] = {
    { "overlap: last attached wins", false, false, false, 35, 35, 2 },
    { "only A", false, false, false, 15, 15, 1 },
    { "right and bottom edges are outside", false, false, false, 70, 69, 0 },
    { "hidden B passes the click to A", true, false, false, 35, 35, 1 },
    { "hidden B and grayed A: background", true, true, false, 35, 35, 0 },
    { "nothing hit", true, true, true, 35, 35, -1 },
    { "outside the editor", false, false, false, 400, 10, -1 },
  };
  for (const Case& c : cases)
  {
    b->Hide(c.hideB);
    a->SetGrayed(c.grayA);
    bg->Hide(c.hideBg);
    EXPECT_EQ(g->ControlIndexAt(c.x, c.y), c.want) << c.what;
  }

  // A click where nothing is hit does nothing; a grayed knob is drawn at a
  // quarter weight.
  b->Hide(true);
  a->SetGrayed(true);
  bg->Hide(true);
  MouseModifiers mod(true);
  g->OnMouseDown(35, 35, &mod);
  g->OnMouseUp(35, 35, &mod);
  EXPECT_TRUE(rig.Gestures().empty());
  EXPECT_FLOAT_EQ(a->GetBlend().mWeight, 0.25f);

  // The captured control receives everything until release.
  bg->Hide(false);
  a->SetGrayed(false);
  b->Hide(false);
  g->OnMouseDown(15, 15, &mod);
  EXPECT_EQ(g->ControlIndexAt(250, 150), 1);
  g->OnMouseUp(250, 150, &mod);
  EXPECT_EQ(g->ControlIndexAt(250, 150), 0);
  EXPECT_EQ(rig.Gestures(), (Strings{ "begin 0", "end 0" }));
}

// ================================================================ redraw

TEST(EditorRedraw, DirtyUnionOverTicksAndSharedParameters)
{
  EditorRig rig;
  SolidKnob* a = rig.AddKnob(kA, 0, kRed);
  SolidKnob* twin = rig.AddKnob(IRECT(100, 20, 120, 40), 0, kGreen);
  SolidKnob* other = rig.AddKnob(IRECT(200, 100, 220, 120), 1, kBlue);
  rig.Attach();
  IGraphicsHeadless* g = rig.gui;
  ASSERT_NE(g->OpenWindow(nullptr), nullptr);

  // The first tick draws everything; attaching pushed values that keep the
  // controls dirty for one more frame, after which nothing is dirty.
  IRECT r;
  EXPECT_TRUE(g->IsDirty(&r));
  EXPECT_EQ(r, IRECT(10, 10, 220, 120));
  EXPECT_TRUE(g->Tick());
  EXPECT_EQ(g->LastPresented(), IRECT(10, 10, 220, 120));
  EXPECT_TRUE(g->Tick());
  EXPECT_FALSE(g->Tick());
  r = IRECT();
  EXPECT_FALSE(g->IsDirty(&r));
  EXPECT_TRUE(r.Empty());
  const int drawsBefore = other->mDraws;

  // A host value reaches both controls of parameter 0 and is drawn on the
  // next two ticks; the third control only when it overlaps the union.
  g->UpdateParamControls(0, 0.75, true);
  EXPECT_EQ(a->GetValue(), 0.75);
  EXPECT_EQ(twin->GetValue(), 0.75);
  r = IRECT();
  ASSERT_TRUE(g->IsDirty(&r));
  EXPECT_EQ(r, IRECT(10, 10, 120, 50));
  EXPECT_TRUE(g->Tick());
  EXPECT_TRUE(g->Tick());
  EXPECT_FALSE(g->Tick());
  EXPECT_EQ(other->mDraws, drawsBefore);
  EXPECT_EQ(PixelAt(g->Frame(), 110, 30), (RGBA{ 0, 255, 0, 255 }));

  // The same value again changes nothing; plain values are converted.
  g->UpdateParamControls(0, 0.75, true);
  EXPECT_FALSE(a->IsDirty());
  rig.plug->GetParam(1)->DefineDouble("q", 0.0, -10.0, 10.0, 0.01);
  g->UpdateParamControls(1, 5.0, false);
  EXPECT_DOUBLE_EQ(other->GetValue(), 0.75);
  // Host values never reach the host back.
  EXPECT_TRUE(rig.Gestures().empty());
}

// ================================================================ drawing

TEST(EditorDraw, BitmapsClipToTheRedrawAreaAndFramesOffsetTheSource)
{
  RegisterPng(7001, 40, 40, Pattern);
  EditorRig rig;
  IBitmap strip = rig.gui->LoadBitmapResource(7001, "pattern.png", 4);
  ASSERT_NE(strip.mData, nullptr);

  struct Case
  {
    const char* what;
    int frame;
    bool vertical;
    int srcX, srcY;  // expected source origin
  } cases[] = {
    { "plain", 0, true, 0, 0 },
    { "frame 1", 1, true, 0, 0 },
    { "vertical frame 3 of 4", 3, true, 0, 20 },
    { "horizontal frame 2 of 4", 2, false, 10, 0 },
    { "frame past the end is not clamped", 5, true, 0, 40 },
  };
  BitmapDrawer* drawer =
      new BitmapDrawer(rig.plug.get(), IRECT(0, 0, 300, 200), strip, IRECT(100, 50, 130, 80));
  rig.gui->AddControl(drawer);
  rig.Attach();
  IGraphicsHeadless* g = rig.gui;
  LICE_IBitmap* back = g->GetBackBuffer();
  for (const Case& c : cases)
  {
    drawer->mFrame = c.frame;
    drawer->mVertical = c.vertical;
    LICE_FillBox(back, 0, 0, 300, 200, LICE_RGBA(1, 2, 3, 255), 1.0f, LICE_MODE_COPY);
    IRECT redraw(110, 40, 200, 60);
    g->Draw(&redraw);
    for (int y = 35; y < 90; ++y)
      for (int x = 95; x < 140; ++x)
      {
        const bool inside = x >= 110 && x < 130 && y >= 50 && y < 60;
        const int sx = c.srcX + x - 100, sy = c.srcY + y - 50;
        const bool inSource = sx < 40 && sy < 40;
        const RGBA want = inside && inSource ? Pattern(sx, sy) : RGBA{ 1, 2, 3, 255 };
        ASSERT_EQ(PixelAt(back, x, y), want) << c.what << " at " << x << "," << y;
      }
  }

  // An empty or disjoint redraw area draws nothing.
  drawer->mFrame = 0;
  for (IRECT redraw : { IRECT(), IRECT(0, 0, 50, 50) })
  {
    LICE_FillBox(back, 0, 0, 300, 200, LICE_RGBA(1, 2, 3, 255), 1.0f, LICE_MODE_COPY);
    g->Draw(&redraw);
    EXPECT_EQ(PixelAt(back, 110, 55), (RGBA{ 1, 2, 3, 255 }));
  }
}

TEST(EditorDraw, BlendMethodsMapToCombineModes)
{
  RegisterPng(7002, 4, 4, [](int, int) { return RGBA{ 100, 100, 100, 128 }; });
  EditorRig rig;
  IBitmap half = rig.gui->LoadBitmapResource(7002, "half.png");
  IRECT all(0, 0, 300, 200), dest(0, 0, 4, 4);
  rig.gui->AddControl(new BitmapDrawer(rig.plug.get(), all, half, dest));
  rig.Attach();
  IGraphics* g = rig.gui;
  g->Draw(&all);  // sets the redraw area as a paint would

  // Over a destination of (200, 50, 0); source alpha 128.
  const RGBA overAlpha = { 100 + (200 - 100) * 127 / 256, 100 + (50 - 100) * 127 / 256, 100 - 100 * 127 / 256,
                           255 };
  struct Case
  {
    const char* what;
    bool haveBlend;
    int method;
    RGBA want;
  } cases[] = {
    { "no blend record: source alpha", false, 0, overAlpha },
    { "none: source alpha", true, IChannelBlend::BlendNone, overAlpha },
    { "replace ignores alpha", true, IChannelBlend::BlendReplace, { 100, 100, 100, 128 } },
    { "add", true, IChannelBlend::BlendAdd, { 250, 100, 50, 255 } },
    { "unknown method: as none", true, 99, overAlpha },
  };
  for (const Case& c : cases)
  {
    LICE_FillBox(g->GetBackBuffer(), 0, 0, 300, 200, LICE_RGBA(200, 50, 0, 255), 1.0f, LICE_MODE_COPY);
    IChannelBlend blend(c.method);
    g->DrawBitmap(&half, &dest, 0, 0, c.haveBlend ? &blend : nullptr);
    const RGBA got = PixelAt(g->GetBackBuffer(), 1, 1);
    EXPECT_NEAR(got.r, c.want.r, 1) << c.what;
    EXPECT_NEAR(got.g, c.want.g, 1) << c.what;
    EXPECT_NEAR(got.b, c.want.b, 1) << c.what;
    EXPECT_NEAR(got.a, c.want.a, 1) << c.what;
  }
}

// ================================================================ controls

TEST(EditorControls, KnobGearingAndDragDispatch)
{
  struct Case
  {
    const char* what;
    int direction;
    IRECT area;
    double gearing;
    MouseModifiers mod;
    int dx, dy;
    double delta;
  } cases[] = {
    { "vertical: 40 px up, height 100, gearing 4", IKnobControl::DirVertical, IRECT(0, 0, 50, 100), 4.0,
      MouseModifiers(true), 0, -40, 0.1 },
    { "control is ten times finer", IKnobControl::DirVertical, IRECT(0, 0, 50, 100), 4.0,
      MouseModifiers(true, false, false, true), 0, -40, 0.01 },
    { "shift is ten times finer", IKnobControl::DirVertical, IRECT(0, 0, 50, 100), 4.0,
      MouseModifiers(true, false, true), 0, -40, 0.01 },
    { "dragging down lowers", IKnobControl::DirVertical, IRECT(0, 0, 50, 100), 1.0, MouseModifiers(true), 30,
      20, -0.2 },
    { "horizontal follows x only", IKnobControl::DirHorizontal, IRECT(0, 0, 50, 100), 2.0,
      MouseModifiers(true), 10, -99, 0.1 },
    { "any non-zero direction is horizontal", 7, IRECT(0, 0, 50, 100), 2.0, MouseModifiers(true), -10, 0,
      -0.1 },
  };
  for (const Case& c : cases)
  {
    EditorRig rig;
    rig.plug->GetParam(0)->SetValue(0.5);
    SolidKnob* k = new SolidKnob(rig.plug.get(), c.area, 0, kRed, c.direction, c.gearing);
    rig.gui->AddControl(k);
    rig.Attach();
    IGraphics* g = rig.gui;
    MouseModifiers mod = c.mod;
    g->OnMouseDown(10, 50, &mod);
    g->OnMouseDrag(10, 50, &mod);  // no movement: nothing
    EXPECT_EQ(rig.Gestures(), (Strings{ "begin 0" })) << c.what;
    g->OnMouseDrag(10 + c.dx, 50 + c.dy, &mod);
    EXPECT_NEAR(k->GetValue(), 0.5 + c.delta, 1e-12) << c.what;
    EXPECT_NEAR(rig.plug->mLastAutomated, 0.5 + c.delta, 1e-12) << c.what;
    g->OnMouseUp(10 + c.dx, 50 + c.dy, &mod);
    EXPECT_EQ(rig.Gestures(), (Strings{ "begin 0", "automate 0", "end 0" })) << c.what;
    // Without capture a drag reaches nobody.
    g->OnMouseDrag(0, 0, &mod);
    EXPECT_EQ(rig.Gestures().size(), 3u) << c.what;
  }

  // A knob without height ignores drags instead of turning its value into NaN.
  EditorRig rig;
  rig.plug->GetParam(0)->SetValue(0.5);
  SolidKnob* flat = rig.AddKnob(IRECT(0, 50, 50, 50), 0);
  flat->SetHitArea(IRECT(0, 0, 50, 100));
  rig.Attach();
  MouseModifiers mod(true);
  rig.gui->OnMouseDown(10, 50, &mod);
  rig.gui->OnMouseDrag(15, 50, &mod);
  EXPECT_EQ(flat->GetValue(), 0.5);
  EXPECT_EQ(rig.Gestures(), (Strings{ "begin 0" }));
}

TEST(EditorControls, WheelStepsClampAndReachThePlugin)
{
  struct Case
  {
    double start;
    int d;
    MouseModifiers mod;
    double want;
  } cases[] = {
    { 0.995, 1, MouseModifiers(true), 1.0 },
    { 0.995, 1, MouseModifiers(true, false, true), 0.996 },
    { 0.5, -3, MouseModifiers(true), 0.47 },
    { 0.5, 2, MouseModifiers(true, false, false, true), 0.502 },
    { 0.005, -1, MouseModifiers(true), 0.0 },
    { 0.3, 0, MouseModifiers(true), 0.3 },  // a step that rounds to 0 still resends the value
  };
  for (const Case& c : cases)
  {
    EditorRig rig;
    rig.plug->GetParam(1)->SetUnitValue(c.start);
    SolidKnob* k = rig.AddKnob(kA, 1);
    rig.Attach();
    MouseModifiers mod = c.mod;
    rig.gui->OnMouseWheel(20, 20, &mod, c.d);
    EXPECT_NEAR(k->GetValue(), c.want, 1e-9) << c.start << " " << c.d;
    EXPECT_NEAR(rig.plug->mLastAutomated, c.want, 1e-9);
    EXPECT_EQ(rig.plug->PendingEndParam(), 1);
    EXPECT_EQ(rig.gui->ParamChangeTimer(), 15);
  }

  // A wheel over a control without a parameter changes only the control.
  EditorRig rig;
  SolidKnob* free = rig.AddKnob(kA, -1);
  rig.Attach();
  MouseModifiers mod(true);
  rig.gui->OnMouseWheel(20, 20, &mod, 5);
  EXPECT_NEAR(free->GetValue(), 0.05, 1e-12);
  EXPECT_TRUE(rig.Gestures().empty());
}

TEST(EditorControls, DoubleClickRestoresTheValueTheEditorStartedWith)
{
  for (bool dblIsPress : { false, true })
  {
    EditorRig rig;
    rig.plug->GetParam(2)->DefineDouble("p", 0.9, 0.0, 1.0, 0.0001);
    rig.plug->GetParam(2)->SetValue(0.3);
    SolidKnob* k = rig.AddKnob(kA, 2);
    k->SetDblClickIsPress(dblIsPress);
    rig.Attach();
    EXPECT_DOUBLE_EQ(k->GetDefaultValue(), 0.3);
    rig.gui->UpdateParamControls(2, 0.8, true);  // later host values are not defaults
    EXPECT_DOUBLE_EQ(k->GetDefaultValue(), 0.3);

    MouseModifiers mod(true);
    const bool capture = rig.gui->OnMouseDblClick(20, 20, &mod);
    EXPECT_EQ(capture, dblIsPress);
    EXPECT_EQ(rig.gui->CaptureIndex(), dblIsPress ? 0 : -1);
    if (dblIsPress)
    {
      // Exactly a press: the value stays until dragged.
      EXPECT_DOUBLE_EQ(k->GetValue(), 0.8);
      EXPECT_EQ(rig.Gestures(), (Strings{ "begin 2" }));
    }
    else
    {
      EXPECT_DOUBLE_EQ(k->GetValue(), 0.3);
      EXPECT_DOUBLE_EQ(rig.plug->GetParam(2)->Value(), 0.3);
      EXPECT_EQ(rig.Gestures(), (Strings{ "begin 2", "automate 2" }));
    }
  }
}

TEST(EditorControls, BitmapControlFrameChoice)
{
  struct Case
  {
    int frames;
    double value;
    int want;
  } cases[] = {
    { 25, 0.0, 1 }, { 25, 0.5, 13 }, { 25, 0.97, 24 }, { 25, 0.98, 25 }, { 25, 1.0, 25 },
    { 2, 0.49, 1 }, { 2, 0.5, 2 },   { 1, 0.7, 1 },    { 0, 0.7, 1 },
  };
  EditorRig rig;
  rig.Attach();
  for (const Case& c : cases)
  {
    IBitmapControl ctl(rig.plug.get(), kA, -1, IBitmap(nullptr, 10, 10 * c.frames, c.frames));
    ctl.ApplyHostValue(c.value);
    EXPECT_EQ(ctl.FrameForValue(), c.want) << c.frames << " frames at " << c.value;
  }

  // The position constructor sizes the control to one frame.
  IBitmapControl v(rig.plug.get(), 5, 6, -1, IBitmap(nullptr, 40, 300, 10));
  IBitmapControl h(rig.plug.get(), 5, 6, -1, IBitmap(nullptr, 400, 30, 10), IChannelBlend(), false);
  EXPECT_EQ(v.GetRECT(), IRECT(5, 6, 45, 36));
  EXPECT_EQ(h.GetRECT(), IRECT(5, 6, 45, 36));
}

TEST(EditorControls, PromptUrlAndHostValueRules)
{
  EditorRig rig;
  SolidKnob* k = rig.AddKnob(kA, 0);
  SolidKnob* quiet = rig.AddKnob(kB, 1);
  quiet->SetNoPrompt(true);
  IURLControl* link = new IURLControl(rig.plug.get(), IRECT(100, 100, 150, 120), "http://first.invalid/",
                                      "http://second.invalid/", "offline");
  rig.gui->AddControl(link);
  rig.Attach();
  IGraphicsHeadless* g = rig.gui;

  // Right-click opens the entry box; its text comes back as one gesture.
  MouseModifiers right(false, true);
  g->OnMouseDown(20, 20, &right);
  ASSERT_TRUE(g->EntryOpen());
  EXPECT_EQ(g->EntryControl(), k);
  g->OnMouseUp(20, 20, &right);
  rig.plug->mLog.clear();
  g->CommitEntry("0.25");
  EXPECT_FALSE(g->EntryOpen());
  EXPECT_DOUBLE_EQ(k->GetValue(), 0.25);
  EXPECT_EQ(rig.Gestures(), (Strings{ "begin 0", "automate 0", "end 0" }));
  g->OnMouseDown(60, 60, &right);  // no prompt for this one
  EXPECT_FALSE(g->EntryOpen());
  g->OnMouseUp(60, 60, &right);

  // The link tries its fallback only when the first address fails.
  MouseModifiers left(true);
  for (bool ok : { true, false })
  {
    g->SetURLResult(ok);
    const int before = g->URLCalls();
    g->OnMouseDown(120, 110, &left);
    g->OnMouseUp(120, 110, &left);
    EXPECT_EQ(g->URLCalls() - before, ok ? 1 : 2);
    EXPECT_EQ(g->LastURL(), ok ? "http://first.invalid/" : "http://second.invalid/");
  }

  // NaN from a host is ignored; values outside 0..1 are clamped.
  g->UpdateParamControls(0, std::nan(""), true);
  EXPECT_DOUBLE_EQ(k->GetValue(), 0.25);
  k->SetValueForTest(3.0);
  k->SetDirty(false);
  EXPECT_DOUBLE_EQ(k->GetValue(), 1.0);
}

// ================================================================ images

TEST(EditorImages, CacheByIdFramesCropAndPlaceholder)
{
  RegisterPng(7101, 8, 24, Pattern);
  EditorRig rig;
  IGraphics* g = rig.gui;
  IBitmap one = g->LoadBitmapResource(7101, "a.png", 1);
  const int cached = IBitmapCache::Size();
  IBitmap three = g->LoadBitmapResource(7101, "another-name.png", 3);
  ASSERT_NE(one.mData, nullptr);
  EXPECT_EQ(three.mData, one.mData);
  EXPECT_EQ(three.N, 3);
  EXPECT_EQ(one.N, 1);
  EXPECT_TRUE(one.W == 8 && one.H == 24 && three.W == 8 && three.H == 24);
  EXPECT_EQ(IBitmapCache::Size(), cached);

  IRECT r(2, 5, 6, 9);
  IBitmap crop = g->CropBitmap(&one, &r);
  ASSERT_NE(crop.mData, nullptr);
  EXPECT_TRUE(crop.W == 4 && crop.H == 4);
  EXPECT_EQ(IBitmapCache::Size(), cached + 1);
  EXPECT_EQ(PixelAt(crop.mData, 1, 2), Pattern(3, 7));
  // Every later editor cutting the same area gets that copy: the cache
  // does not grow with each instance drawn.
  IBitmap again = g->CropBitmap(&one, &r);
  EXPECT_EQ(again.mData, crop.mData);
  EXPECT_EQ(IBitmapCache::Size(), cached + 1);

  // A missing image loads as empty and draws a placeholder of the size the
  // control expects; the background of a missing image covers the editor.
  IBitmap missing = g->LoadBitmapResource(7199, "missing.png", 5);
  EXPECT_EQ(missing.mData, nullptr);
  EXPECT_EQ(missing.N, 5);
  g->AddBackground(7198, "bg-missing.png");
  g->AddControl(new IBitmapControl(rig.plug.get(), IRECT(20, 20, 60, 50), 0, missing));
  rig.Attach();
  ASSERT_EQ(g->GetControl(0)->GetRECT(), IRECT(0, 0, 300, 200));
  IRECT all(0, 0, 300, 200);
  g->Draw(&all);
  EXPECT_EQ(PixelAt(g->GetBackBuffer(), 150, 5), (RGBA{ 255, 0, 255, 255 }));
  EXPECT_EQ(PixelAt(g->GetBackBuffer(), 20, 20), (RGBA{ 32, 0, 32, 255 }));  // frame corner
  EXPECT_EQ(PixelAt(g->GetBackBuffer(), 30, 40), (RGBA{ 255, 0, 255, 255 }));
}

// ================================================================ a rendered frame

TEST(EditorRender, HeadlessFrameWrittenToPngHasTheControlsWhereTheyBelong)
{
  RegisterPng(7201, 300, 200, [](int x, int y) { return RGBA{ x * 255 / 299, y * 255 / 199, 40, 255 }; });
  // A two-frame strip: frame 1 blue, frame 2 half-transparent white.
  RegisterPng(7202, 20, 40,
              [](int, int y) {
                return y < 20 ? RGBA{ 0, 0, 255, 255 } : RGBA{ 255, 255, 255, 128 };
              });
  EditorRig rig;
  IGraphicsHeadless* g = rig.gui;
  g->AddBackground(7201, "bg.png");
  IBitmap strip = g->LoadBitmapResource(7202, "switch.png", 2);
  IBitmapControl* sw = new IBitmapControl(rig.plug.get(), 200, 150, 1, strip);
  g->AddControl(sw);
  rig.AddKnob(IRECT(40, 40, 80, 140), 0, kRed);
  rig.plug->GetParam(1)->SetValue(1.0);
  rig.Attach();
  g->OpenWindow(nullptr);
  g->Tick();

  char path[] = "/tmp/quorvex-editor-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_TRUE(WritePng(path, g->Frame()));
  LICE_IBitmap* png = LICE_ReadPngFile(path);
  std::remove(path);
  ASSERT_NE(png, nullptr);
  EXPECT_TRUE(png->Width() == 300 && png->Height() == 200);
  EXPECT_EQ(PixelAt(png, 0, 0), (RGBA{ 0, 0, 40, 255 }));
  EXPECT_EQ(PixelAt(png, 299, 199), (RGBA{ 255, 255, 40, 255 }));
  EXPECT_EQ(PixelAt(png, 60, 100), (RGBA{ 255, 0, 0, 255 }));
  // Frame 2 of the switch over the background: halfway between white and it.
  const RGBA under = PixelAt(png, 199, 160), over = PixelAt(png, 210, 160);
  EXPECT_EQ(under, (RGBA{ 199 * 255 / 299, 160 * 255 / 199, 40, 255 }));
  EXPECT_NEAR(over.r, (210 * 255 / 299 + 255) / 2, 2);
  EXPECT_NEAR(over.b, (40 + 255) / 2, 2);
  delete png;

  // Closing and reopening redraws everything on the next tick.
  g->CloseWindow();
  EXPECT_EQ(g->GetWindow(), nullptr);
  g->OpenWindow(nullptr);
  const int presents = g->PresentCount();
  g->Tick();
  EXPECT_EQ(g->PresentCount(), presents + 1);
  EXPECT_EQ(g->LastPresented(), IRECT(0, 0, 300, 200));
}

TEST(EditorLifecycle, DestroyingAPluginWithAnOpenEditorAndAPendingWheelGesture)
{
  // The plug-in's host hooks are gone by the time its base deletes the
  // editor, so the editor must not call back while closing itself.
  EditorRig rig;
  rig.AddKnob(kA, 0);
  rig.Attach();
  rig.gui->OpenWindow(nullptr);
  MouseModifiers mod(true);
  rig.gui->OnMouseWheel(20, 20, &mod, 1);
  ASSERT_EQ(rig.plug->PendingEndParam(), 0);
  rig.plug.reset();
}

// Closing in the core's one order: the captured control's gesture and a
// pending wheel gesture end, and the box goes without committing.
TEST(EditorLifecycle, CloseEndsGesturesAndTheBoxThenIgnoresEvents)
{
  EditorRig rig;
  rig.AddKnob(kA, 0);
  rig.AddKnob(kB, 1);
  rig.Attach();
  IGraphicsHeadless* g = rig.gui;
  ASSERT_NE(g->OpenWindow(nullptr), nullptr);
  MouseModifiers left(true), right(false, true);
  g->OnMouseWheel(60, 60, &left, 1);
  g->OnMouseDown(20, 20, &left);
  g->OnMouseDrag(20, 10, &left);
  g->GetControl(1)->OnMouseDown(60, 60, &right);
  ASSERT_TRUE(g->EntryOpen());
  g->CloseWindow();
  // (This plug-in base reports a begin without flushing the wheel's end.)
  EXPECT_EQ(rig.Gestures(), (Strings{ "begin 1", "automate 1", "begin 0", "automate 0", "end 0", "end 1" }));
  EXPECT_FALSE(g->EntryOpen());
  EXPECT_FALSE(g->HasCapture());
  EXPECT_EQ(g->ParamChangeTimer(), 0);

  // A second close does nothing; a closed editor still takes events (the
  // snapshot tool drives one that never opened).
  rig.plug->mLog.clear();
  g->CloseWindow();
  EXPECT_TRUE(rig.Gestures().empty());
  g->OnMouseDown(20, 20, &left);
  g->OnMouseUp(20, 20, &left);
  EXPECT_EQ(rig.Gestures(), (Strings{ "begin 0", "end 0" }));
}

// Presses from a window system without double clicks of its own pair in
// the core: left presses close in time and place, a third starts over.
TEST(EditorControls, PressesPairIntoDoubleClicksInTheCore)
{
  const struct
  {
    const char* what;
    uint32_t t2;
    int x2;
    bool left2;
    bool paired;
  } cases[] = {
    { "within time and place", 400, 24, true, true },
    { "too late", 401, 20, true, false },
    { "too far", 100, 25, true, false },
    { "a right press", 100, 20, false, false },
    { "across the clock's wrap", 0x7fffffffu + 300u, 20, true, true },
  };
  for (const auto& c : cases)
  {
    EditorRig rig;
    SolidKnob* k = rig.AddKnob(IRECT(0, 0, 100, 100), 0);
    k->SetValueForTest(0.5);
    rig.Attach();
    IGraphicsHeadless* g = rig.gui;
    ASSERT_NE(g->OpenWindow(nullptr), nullptr);
    const uint32_t t1 = c.t2 > 0x7fffffffu ? 0x7fffffffu + 0x80000000u : 0u;
    MouseModifiers l(true), r(false, true);
    EXPECT_TRUE(g->OnMousePress(20, 20, &l, true, t1)) << c.what;
    g->OnMouseUp(20, 20, &l);
    k->SetValueForTest(0.9);
    const uint32_t t2 = c.t2 > 0x7fffffffu ? t1 + 300u : c.t2;
    g->OnMousePress(c.x2, 20, c.left2 ? &l : &r, c.left2, t2);
    g->OnMouseUp(c.x2, 20, &l);
    // A double click restores the value the editor started with.
    EXPECT_EQ(k->GetValue() != 0.9, c.paired) << c.what;
    if (!c.paired) continue;
    // A third press does not pair with the second.
    k->SetValueForTest(0.9);
    g->OnMousePress(20, 20, &l, true, t2 + 10);
    EXPECT_EQ(k->GetValue(), 0.9) << c.what;
  }
}

// A paint of part of the editor cleans only what it drew; the rest stays
// dirty for the next tick. Resizing drops the controls and closes the box.
TEST(EditorRedraw, PartialPaintsLeaveTheRestDirtyAndResizeClosesTheBox)
{
  EditorRig rig;
  SolidKnob* a = rig.AddKnob(kA, 0);
  SolidKnob* distant = rig.AddKnob(IRECT(200, 100, 220, 120), 1);
  rig.Attach();
  IGraphicsHeadless* g = rig.gui;
  ASSERT_NE(g->OpenWindow(nullptr), nullptr);
  while (g->Tick())
  {
  }
  a->SetDirty(false);
  distant->SetDirty(false);
  IRECT part = kA;
  g->Draw(&part);
  EXPECT_FALSE(a->IsDirty());
  EXPECT_TRUE(distant->IsDirty());
  distant->Hide(true);
  IRECT all(0, 0, 300, 200);
  for (int i = 0; i < 2; ++i) g->Draw(&all);
  EXPECT_FALSE(distant->IsDirty());  // hidden, but inside the area: clean

  MouseModifiers right(false, true);
  a->OnMouseDown(20, 20, &right);
  ASSERT_TRUE(g->EntryOpen());
  g->Resize(400, 300);
  EXPECT_FALSE(g->EntryOpen());
  EXPECT_EQ(g->NControls(), 0);
  EXPECT_EQ(g->Width(), 400);
}

// The control a box covered is drawn on the two frames after the box ends,
// whether it committed or not.
TEST(EditorControls, ControlUnderAnEntryBoxRedrawsForTwoFramesAfterIt)
{
  for (const bool commit : { true, false })
  {
    EditorRig rig;
    SolidKnob* k = rig.AddKnob(kA, 0);
    rig.Attach();
    IGraphicsHeadless* g = rig.gui;
    ASSERT_NE(g->OpenWindow(nullptr), nullptr);
    MouseModifiers right(false, true);
    k->OnMouseDown(20, 20, &right);
    ASSERT_TRUE(g->EntryOpen());
    while (g->Tick())
    {
    }
    if (commit)
      g->CommitEntry("0.5");
    else
      g->EntryEvent(IEntryEvent::RightClick, "");
    ASSERT_FALSE(g->EntryOpen());
    const int before = k->mDraws;
    EXPECT_TRUE(g->Tick());
    EXPECT_TRUE(g->Tick());
    EXPECT_FALSE(g->Tick());
    EXPECT_EQ(k->mDraws, before + 2) << (commit ? "commit" : "discard");
  }
}

// The host sees every begin edit paired with one end edit: a release ends
// only what its press began, wherever it lands, and a press whose release
// never came ends before the next one begins.
TEST(EditorControls, PressesAndReleasesPairTheirGestures)
{
  const struct
  {
    const char* what;
    const char* script;  // d press, u release, l capture lost, 2 double click (a, b: knobs)
    Strings want;
  } cases[] = {
    { "a release without its press", "ua", {} },
    { "a release elsewhere", "da ub", { "begin 0", "end 0" } },
    { "a press without its release", "da db ub", { "begin 0", "end 0", "begin 1", "end 1" } },
    { "the capture taken away", "da l ua", { "begin 0", "end 0" } },
    { "a double click's release elsewhere", "2a ub", { "begin 0", "automate 0", "end 0" } },
  };
  for (const auto& c : cases)
  {
    EditorRig rig;
    rig.AddKnob(kA, 0);
    rig.AddKnob(IRECT(100, 100, 140, 140), 1);
    rig.Attach();
    IGraphicsHeadless* g = rig.gui;
    ASSERT_NE(g->OpenWindow(nullptr), nullptr);
    MouseModifiers left(true);
    for (const char* p = c.script; *p; ++p)
    {
      if (*p == ' ') continue;
      const char op = *p;
      const int x = op == 'l' ? 0 : (*++p == 'a' ? 20 : 120);
      if (op == 'd') g->OnMouseDown(x, x, &left);
      if (op == 'u') g->OnMouseUp(x, x, &left);
      if (op == '2') g->OnMouseDblClick(x, x, &left);
      if (op == 'l') g->OnMouseCaptureLost();
    }
    EXPECT_EQ(rig.Gestures(), c.want) << c.what;
  }
}
