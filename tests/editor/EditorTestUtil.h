// A plug-in with recording host hooks and a headless editor, plus test
// controls and images encoded in memory.
#pragma once

#include "FakePlug.h"
#include "IControl.h"
#include "IGraphicsHeadless.h"
#include "lice.h"

#include <png.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace editortest {

// Pixels as R, G, B, A per channel.
struct RGBA
{
  int r, g, b, a;
  bool operator==(const RGBA& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

inline RGBA PixelAt(LICE_IBitmap* bmp, int x, int y)
{
  const LICE_PixelWord p = bmp->PixelData()[y * bmp->RowSpan() + x];
  return { LICE_GETR(p), LICE_GETG(p), LICE_GETB(p), LICE_GETA(p) };
}

// An RGBA PNG of w x h whose pixels come from fn.
inline std::vector<uint8_t> EncodePng(int w, int h, const std::function<RGBA(int, int)>& fn)
{
  std::vector<uint8_t> rgba((size_t)w * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      const RGBA c = fn(x, y);
      uint8_t* o = &rgba[((size_t)y * w + x) * 4];
      o[0] = (uint8_t)c.r;
      o[1] = (uint8_t)c.g;
      o[2] = (uint8_t)c.b;
      o[3] = (uint8_t)c.a;
    }
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = (png_uint_32)w;
  image.height = (png_uint_32)h;
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
  std::vector<uint8_t> out(size);
  png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr);
  out.resize(size);
  return out;
}

inline void RegisterPng(int id, int w, int h, const std::function<RGBA(int, int)>& fn)
{
  const std::vector<uint8_t> png = EncodePng(w, h, fn);
  IGraphicsHeadless::RegisterImage(id, png.data(), (int)png.size());
}

// A knob that fills its area with a solid colour and counts its draws.
class SolidKnob : public IKnobControl
{
public:
  SolidKnob(IPlugBase* plug, IRECT r, int param, IColor color = IColor(255, 0, 128, 255),
            int direction = DirVertical, double gearing = 1.0)
    : IKnobControl(plug, r, param, direction, gearing), mColor(color) {}
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
    : plug(new FakePlug(nParams, "2-2")),
      gui(new IGraphicsHeadless(plug.get(), 300, 200, 30))
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

}  // namespace editortest
