// Throughput of the editor's raster operations on editor-sized images, in
// megapixels per second, beside a plain memcpy of the same bytes.
//
//   raster_bench [seconds-per-case]

#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "BenchTiming.h"
#include "lice.h"

namespace
{

double gSecondsPerCase = 0.3;
volatile LICE_PixelWord gSink;

void Randomise(LICE_IBitmap& bm, unsigned seed)
{
  std::mt19937 rng(seed);
  LICE_PixelWord* p = bm.PixelData();
  for (int i = 0; i < bm.RowSpan() * bm.Height(); ++i) p[i] = (LICE_PixelWord)rng();
}

// Runs op until the time budget is spent; prints pixels per second.
void Measure(const char* name, long long pixelsPerRun, const std::function<void()>& op)
{
  const bench::BenchTiming t = bench::TimeLoop(gSecondsPerCase, 1, 16, op);
  const double mps = (double)pixelsPerRun / t.WallPerRun() / 1e6;
  printf("  %-38s %9.1f Mpixel/s  (%.2f us per call)\n", name, mps, t.WallPerRun() * 1e6);
}

void Suite(const char* title, LICE_IBitmap& dest, LICE_IBitmap& src)
{
  const int w = src.Width(), h = src.Height();
  const long long px = (long long)w * h;
  printf("%s: %d x %d source onto %d x %d destination\n", title, w, h, dest.Width(), dest.Height());

  std::vector<LICE_PixelWord> a((size_t)px), b((size_t)px);
  Measure("memcpy of the same bytes", px,
          [&]
          {
            memcpy(a.data(), b.data(), a.size() * sizeof(LICE_PixelWord));
            gSink = a[0];
          });
  Measure("copy", px, [&] { LICE_BlitImage(&dest, &src, 0, 0, nullptr, 1.0f, LICE_MODE_COPY); });
  Measure("copy at 0.5 (word halves)", px,
          [&] { LICE_BlitImage(&dest, &src, 0, 0, nullptr, 0.5f, LICE_MODE_COPY); });
  Measure("copy with source alpha", px,
          [&] { LICE_BlitImage(&dest, &src, 0, 0, nullptr, 1.0f, LICE_MODE_COPY | LICE_FLAG_SOURCEALPHA); });
  Measure("copy with source alpha at 0.7", px,
          [&] { LICE_BlitImage(&dest, &src, 0, 0, nullptr, 0.7f, LICE_MODE_COPY | LICE_FLAG_SOURCEALPHA); });
  Measure("add with source alpha", px,
          [&] { LICE_BlitImage(&dest, &src, 0, 0, nullptr, 1.0f, LICE_MODE_ADD | LICE_FLAG_SOURCEALPHA); });
  Measure("dodge with source alpha", px,
          [&] { LICE_BlitImage(&dest, &src, 0, 0, nullptr, 1.0f, LICE_MODE_DODGE | LICE_FLAG_SOURCEALPHA); });
  const LICE_PixelWord colour = LICE_RGBA(40, 80, 120, 255);
  Measure("fill", px, [&] { LICE_FillBox(&dest, 0, 0, w, h, colour, 1.0f, LICE_MODE_COPY); });
  Measure("fill at 0.3", px, [&] { LICE_FillBox(&dest, 0, 0, w, h, colour, 0.3f, LICE_MODE_COPY); });
  Measure("rotated, nearest, source alpha", px,
          [&]
          {
            LICE_BlitRotated(&dest, &src, 0, 0, w, h, 0, 0, (float)w, (float)h, 0.7f, false, 1.0f,
                             LICE_FLAG_SOURCEALPHA);
          });
  Measure("rotated, bilinear, source alpha", px,
          [&]
          {
            LICE_BlitRotated(&dest, &src, 0, 0, w, h, 0, 0, (float)w, (float)h, 0.7f, false, 1.0f,
                             LICE_FLAG_SOURCEALPHA | LICE_FLAG_BILINEAR);
          });
  printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
  gSecondsPerCase = bench::SecondsArg(argc, argv, 1, gSecondsPerCase);

  LICE_SysBitmap frame(400, 300);
  LICE_MemBitmap background(400, 300, 4);
  Randomise(frame, 1);
  Randomise(background, 2);
  Suite("Background", frame, background);

  LICE_MemBitmap knob(64, 64, 4);
  Randomise(knob, 3);
  Suite("Knob frame", frame, knob);
  return 0;
}
