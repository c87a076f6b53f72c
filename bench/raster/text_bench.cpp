// Cost of drawing a value read-out ("1/4" in Arial 16) into an editor-sized
// bitmap once the font's glyphs are warm, on each way the font can take.
//
//   text_bench [seconds-per-case]

#include <cstdio>
#include <functional>

#include "BenchTiming.h"
#include "lice_text.h"

namespace
{

double gSecondsPerCase = 0.3;

void Measure(const char* name, const std::function<void()>& op)
{
  // 16 runs warm the glyph caches.
  const bench::BenchTiming t = bench::TimeLoop(gSecondsPerCase, 16, 64, op);
  printf("  %-44s %8.2f us per call\n", name, t.WallPerRun() * 1e6);
}

}  // namespace

int main(int argc, char** argv)
{
  gSecondsPerCase = bench::SecondsArg(argc, argv, 1, gSecondsPerCase);

  LICE_CachedFont font;
  HFONT hf = CreateFont(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Arial");
  if (!hf)
  {
    fprintf(stderr, "no font found\n");
    return 1;
  }
  font.SetFromPlatformFont(hf, LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_FORCE_NATIVE);
  font.SetTextColour(LICE_RGBA(255, 255, 255, 230));

  LICE_SysBitmap sys(545, 210);
  LICE_MemBitmap mem(545, 210);
  RECT r = { 60, 174, 116, 190 };
  const int centred = DT_CENTER | DT_NOCLIP;

  printf("\"1/4\", Arial 16, centred in a 56 x 16 box:\n");
  Measure("native, into the bitmap's context",
          [&]
          {
            RECT rr = r;
            font.DrawText(&sys, "1/4", -1, &rr, centred);
          });
  Measure("native, through the scratch bitmap",
          [&]
          {
            RECT rr = r;
            font.DrawText(&mem, "1/4", -1, &rr, centred);
          });
  Measure("cached glyphs (colour alpha, as the editor)",
          [&]
          {
            RECT rr = r;
            font.DrawText(&sys, "1/4", -1, &rr, centred | LICE_DT_USEFGALPHA);
          });
  Measure("cached glyphs, forced",
          [&]
          {
            RECT rr = r;
            font.DrawText(&mem, "1/4", -1, &rr, centred | LICE_DT_NEEDALPHA);
          });
  Measure("measure only",
          [&]
          {
            RECT rr = r;
            font.DrawText(&sys, "1/4", -1, &rr, DT_CALCRECT);
          });
  return 0;
}
