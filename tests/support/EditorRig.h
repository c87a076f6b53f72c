// A recording plug-in (FakePlug) with a headless editor, a test control,
// and pixel reads of what the editor drew.
#pragma once

#include "FakePlug.h"
#include "IControl.h"
#include "IGraphicsHeadless.h"
#include "PngCodec.h"
#include "lice.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace qtest
{

inline RGBA PixelAt(LICE_IBitmap* bmp, int x, int y)
{
  const LICE_PixelWord p = bmp->PixelData()[y * bmp->RowSpan() + x];
  return { LICE_GETR(p), LICE_GETG(p), LICE_GETB(p), LICE_GETA(p) };
}

// A knob that fills its area with a solid colour and counts its draws.
class SolidKnob : public IKnobControl
{
public:
  SolidKnob(IPlugBase* plug, IRECT r, int param, IColor color = IColor(255, 0, 128, 255),
            int direction = DirVertical, double gearing = 1.0)
    : IKnobControl(plug, r, param, direction, gearing), mColor(color)
  {
  }
  bool Draw(IGraphics* g) override
  {
    ++mDraws;
    IRECT r = mArea;
    return g->FillArea(&mColor, &r, nullptr);
  }
  void SetValueForTest(double v) { mValue = v; }
  IColor mColor;
  int mDraws = 0;
};

// A plug-in with n parameters of range 0..1 and a 300 x 200 headless
// editor at 30 frames a second; the editor is attached by Attach().
struct EditorRig
{
  explicit EditorRig(int nParams = 3)
    : plug(new FakePlug(nParams, "2-2")), gui(new IGraphicsHeadless(plug.get(), 300, 200, 30))
  {
    for (int i = 0; i < nParams; ++i) plug->GetParam(i)->DefineDouble("p", 0.0, 0.0, 1.0, 0.0001);
  }
  // Hands the editor to the plug-in, which then owns it.
  void Attach()
  {
    plug->AttachEditor(gui);
    plug->mLog.clear();
  }
  SolidKnob* AddKnob(IRECT r, int param, IColor color = IColor(255, 0, 128, 255))
  {
    SolidKnob* k = new SolidKnob(plug.get(), r, param, color);
    gui->AddControl(k);
    return k;
  }
  std::vector<std::string> Gestures() const
  {
    std::vector<std::string> out;
    for (const FakeCall& c : plug->mLog)
      if (c.what == "begin" || c.what == "automate" || c.what == "end")
        out.push_back(c.what + " " + std::to_string(c.idx));
    return out;
  }

  std::unique_ptr<FakePlug> plug;
  IGraphicsHeadless* gui;  // owned by plug once attached
};

}  // namespace qtest
