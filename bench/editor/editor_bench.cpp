// Redraw cost of an editor shaped like the effect's (545 x 210: background,
// a 25-frame knob strip, radio faces, two rotated knobs, two sliders) in the
// headless layer: one full redraw, and one tick with a single dirty knob.
// Text is not drawn.
//
//   editor_bench [seconds-per-case]

#include "BenchTiming.h"
#include "IControl.h"
#include "IGraphicsHeadless.h"
#include "IPlugBase.h"
#include "PngCodec.h"
#include "QuietPlug.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace
{

double gSecondsPerCase = 0.5;

class BenchPlug : public QuietPlug
{
public:
  BenchPlug() : QuietPlug(6, "1-1 2-2", 0.5) {}
};

// An RGBA image with a soft pattern and alpha edges, registered under id.
void Register(int id, int w, int h, bool opaque)
{
  qtest::RegisterPng(id, w, h,
                     [&](int x, int y) {
                       return qtest::RGBA{ (x * 7 + y) & 255, (y * 5) & 255, (x ^ y) & 255,
                                           opaque || (x + y) % 3 ? 255 : 90 };
                     });
}

// A dot turned by the value over a cap, as the effect's small knobs draw.
class RotKnob : public IKnobControl
{
public:
  RotKnob(IPlugBase* plug, IRECT r, int param, IBitmap bmp) : IKnobControl(plug, r, param), mBmp(bmp) {}
  bool Draw(IGraphics* g) override
  {
    const int cx = (mArea.L + mArea.R) / 2, cy = mArea.T + 31;
    IRECT cap(cx - 31, cy - 31, cx + 31, cy + 31);
    g->DrawBitmapFrame(&mBmp, &cap, 2, &mBlend, false);
    IBitmap dot(mBmp.mData, 62, 62, 1);
    return g->DrawRotatedBitmap(&dot, cx, cy, &mBlend, (GetValue() - 0.5) * 5.23);
  }
  IBitmap mBmp;
};

// A bar and a handle, as the effect's sliders draw.
class Slider : public IControl
{
public:
  Slider(IPlugBase* plug, IRECT r, int param, IBitmap handle) : IControl(plug, r, param), mHandle(handle) {}
  bool Draw(IGraphics* g) override
  {
    const int y = mArea.T + (int)((1.0 - GetValue()) * 66);
    IRECT bar(mArea.L + 14, y + 9, mArea.L + 24, mArea.T + 84);
    const IColor c(255, 66, 110, 170);
    g->FillArea(&c, &bar);
    IRECT h(mArea.L + 10, y, mArea.L + 28, y + 18);
    return g->DrawBitmap(&mHandle, &h, 0, 0, &mBlend);
  }
  IBitmap mHandle;
};

double Measure(const char* name, const std::function<void()>& op)
{
  const bench::BenchTiming t = bench::TimeLoop(gSecondsPerCase, 1, 8, op);
  const double ms = t.WallPerRun() * 1e3;
  std::printf("%-34s %9.4f ms per tick  (%lld ticks)\n", name, ms, t.runs);
  return ms;
}

}  // namespace

int main(int argc, char** argv)
{
  gSecondsPerCase = bench::SecondsArg(argc, argv, 1, gSecondsPerCase);
  Register(100, 545, 210, true);
  Register(101, 2050, 82, false);
  Register(102, 124, 62, false);
  Register(103, 18, 18, false);
  Register(104, 78, 85, false);

  BenchPlug plug;
  IGraphicsHeadless* g = new IGraphicsHeadless(&plug, 545, 210, 24);
  g->AddBackground(100, "img/bg.png");
  IBitmap knob = g->LoadBitmapResource(101, "img/knob.png", 25);
  g->AddControl(new IBitmapControl(&plug, IRECT(47, 77, 129, 159), 0, knob, IChannelBlend(), false));
  IBitmap radio = g->LoadBitmapResource(104, "img/radio.png", 5);
  g->AddControl(new IBitmapControl(&plug, IRECT(140, 75, 218, 92), 1, radio));
  IBitmap knob2 = g->LoadBitmapResource(102, "img/knob2.png", 2);
  g->AddControl(new RotKnob(&plug, IRECT(248, 99, 310, 190), 2, knob2));
  g->AddControl(new RotKnob(&plug, IRECT(348, 99, 410, 190), 3, knob2));
  IBitmap handle = g->LoadBitmapResource(103, "img/slider.png", 1);
  g->AddControl(new Slider(&plug, IRECT(434, 82, 472, 183), 4, handle));
  g->AddControl(new Slider(&plug, IRECT(478, 82, 516, 183), 5, handle));
  g->AddControl(new IURLControl(&plug, IRECT(175, 6, 367, 53), "http://example.invalid/"));
  plug.AttachEditor(g);
  g->OpenWindow(nullptr);

  std::printf("editor 545 x 210, %d controls, headless\n", g->NControls());
  Measure("full redraw",
          [&]
          {
            g->SetAllControlsDirty();
            g->Tick();
          });
  double v = 0.0;
  Measure("one dirty rotated knob",
          [&]
          {
            v = v < 1.0 ? v + 0.01 : 0.0;
            g->UpdateParamControls(2, v, true);
            g->Tick();
          });
  Measure("one dirty film-strip knob",
          [&]
          {
            v = v < 1.0 ? v + 0.01 : 0.0;
            g->UpdateParamControls(0, v, true);
            g->Tick();
          });
  Measure("idle tick (nothing dirty)", [&] { g->Tick(); });
  return 0;
}
