// One-pixel line segments, plain and anti-aliased.
//
// Sections:
//   1. Clipping
//   2. Horizontal and vertical runs
//   3. Sloped segments

#include "lice.h"
#include "lice_combine.h"

using namespace lice;

namespace
{

// Picks the per-pixel operation of an unweighted-per-pixel line: full and
// half copies have their own byte forms, everything else is the combine
// mode. False for mode bytes without a combine function.
template <class Fn> bool DispatchLine(int modeByte, int w, Fn&& fn)
{
  if (modeByte == LICE_MODE_COPY && w == 128)
  {
    fn(CopyAverage{});
    return true;
  }
  return DispatchCombine(modeByte, false, w, fn);
}

// ============================================================================
// 1. Clipping
// ============================================================================

int OutCode(long long x, long long y, int w, int h)
{
  int c = 0;
  if (x < 0)
    c |= 1;
  else if (x >= w)
    c |= 2;
  if (y < 0)
    c |= 4;
  else if (y >= h)
    c |= 8;
  return c;
}

// Moves the ends onto the bitmap; false when nothing of the segment is on it.
bool ClipSegment(long long& xa, long long& ya, long long& xb, long long& yb, int w, int h)
{
  int ca = OutCode(xa, ya, w, h), cb = OutCode(xb, yb, w, h);
  for (int round = 0; round < 33; ++round)
  {
    if (!(ca | cb)) return true;
    if (ca & cb) return false;
    const double dx = (double)(xb - xa), dy = (double)(yb - ya);
    const int c = ca ? ca : cb;
    double nx, ny;
    if (c & 8)
    {
      nx = xa + (h - ya) * dx / dy;
      ny = h - 1;
    }
    else if (c & 4)
    {
      nx = xa - ya * dx / dy;
      ny = 0;
    }
    else if (c & 2)
    {
      nx = w - 1;
      ny = ya + (w - xa) * dy / dx;
    }
    else
    {
      nx = 0;
      ny = ya - xa * dy / dx;
    }
    // The intersection lies between the ends, so it fits; truncate toward 0.
    if (ca)
    {
      xa = (long long)nx;
      ya = (long long)ny;
      ca = OutCode(xa, ya, w, h);
    }
    else
    {
      xb = (long long)nx;
      yb = (long long)ny;
      cb = OutCode(xb, yb, w, h);
    }
  }
  return false;
}

// ============================================================================
// 2. Horizontal and vertical runs
// ============================================================================

// Pixel run from (x, y), n pixels, step in pixels between them.
struct Run
{
  LICE_PixelWord* first;
  ptrdiff_t step;
  int count;
};

template <class WordOp> void RunWords(const Run& run, WordOp op)
{
  LICE_PixelWord* p = run.first;
  for (int i = 0; i < run.count; ++i, p += run.step) *p = op(*p);
}

void DrawRun(const Run& run, LICE_PixelWord colour, float alpha, int modeByte)
{
  const LICE_PixelWord c = colour;
  if (modeByte == LICE_MODE_COPY)
  {
    if (alpha == 1.0f) return RunWords(run, [c](LICE_PixelWord) { return c; });
    if (alpha == 0.5f) return RunWords(run, [c](LICE_PixelWord p) { return Half(c) + Half(p); });
    if (alpha == 0.25f)
      return RunWords(run, [c](LICE_PixelWord p) { return Half(p) + Quarter(p) + Quarter(c); });
    if (alpha == 0.75f)
      return RunWords(run, [c](LICE_PixelWord p) { return Half(c) + Quarter(c) + Quarter(p); });
  }
  const int w = WeightTrunc(alpha);
  if (w <= 0) return;
  const int r = LICE_GETR(c), g = LICE_GETG(c), b = LICE_GETB(c), a = LICE_GETA(c);
  DispatchLine(modeByte, w,
               [&](auto op)
               {
                 LICE_PixelWord* p = run.first;
                 for (int i = 0; i < run.count; ++i, p += run.step)
                   decltype(op)::Pix(Bytes(p), r, g, b, a, w);
               });
}

// ============================================================================
// 3. Sloped segments
// ============================================================================

// Walks from both ends toward the middle along the major axis; Plot(major,
// minor, weight) receives image coordinates through the Axis mapping.
struct SlopeWalk
{
  long long majA, minA, majB, minB;
  int majDir, minDir;
  long long major;
  int slope;  // |minor| / |major| in 16.16, truncated
};

SlopeWalk MakeWalk(long long majA, long long minA, long long majB, long long minB)
{
  SlopeWalk s;
  s.majA = majA;
  s.minA = minA;
  s.majB = majB;
  s.minB = minB;
  s.majDir = majB >= majA ? 1 : -1;
  s.minDir = minB >= minA ? 1 : -1;
  s.major = majB >= majA ? majB - majA : majA - majB;
  const long long minor = minB >= minA ? minB - minA : minA - minB;
  s.slope = (int)((minor << 16) / s.major);
  return s;
}

template <class Plot> void WalkPlain(SlopeWalk s, Plot plot)
{
  const long long pairs = (s.major + 1) / 2;
  int frac = 0;
  for (long long i = 0; i < pairs; ++i)
  {
    plot(s.majA + i * s.majDir, s.minA);
    plot(s.majB - i * s.majDir, s.minB);
    frac += s.slope;
    if (frac >= 0x8000)
    {
      s.minA += s.minDir;
      s.minB -= s.minDir;
      frac -= 0x10000;
    }
  }
  if (!(s.major & 1)) plot(s.majA + pairs * s.majDir, s.minA);
}

template <class Plot> void WalkAntialiased(SlopeWalk s, int w, Plot plot)
{
  const long long pairs = (s.major + 1) / 2;
  plot(s.majA, s.minA, w);
  plot(s.majB, s.minB, w);
  int frac = 0;
  const long long last = (s.major & 1) ? pairs - 1 : pairs;
  for (long long i = 1; i <= last; ++i)
  {
    frac += s.slope;
    if (frac >= 0x10000)
    {
      s.minA += s.minDir;
      s.minB -= s.minDir;
      frac -= 0x10000;
    }
    const int f = frac >> 8;
    const int nearW = w >= 256 ? 255 - f : ((255 - f) * w) >> 8;
    const int farW = w >= 256 ? f : (f * w) >> 8;
    const long long ma = s.majA + i * s.majDir;
    plot(ma, s.minA, nearW);
    plot(ma, s.minA + s.minDir, farW);
    // The middle pixel of an even-length segment is reached from one end only.
    if (i == pairs && !(s.major & 1)) break;
    const long long mb = s.majB - i * s.majDir;
    plot(mb, s.minB, nearW);
    plot(mb, s.minB - s.minDir, farW);
  }
}

}  // namespace

void LICE_DrawSegment(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, LICE_PixelWord colour, float alpha,
                      int mode, bool antialias)
{
  if (!dest) return;
  const Surface dst(dest);
  if (!dst.Valid()) return;

  long long xa = x1, ya = y1, xb = x2, yb = y2;
  if (!ClipSegment(xa, ya, xb, yb, dst.width, dst.height)) return;
  const int modeByte = mode & LICE_MODE_MASK;

  if (ya == yb || xa == xb)
  {
    Run run;
    if (ya == yb)
    {
      const long long x0 = xa < xb ? xa : xb;
      run.first = dst.Row((int)ya) + x0;
      run.step = 1;
      run.count = (int)((xa < xb ? xb - xa : xa - xb) + 1);
    }
    else
    {
      const long long y0 = ya < yb ? ya : yb;
      run.first = dst.Row((int)y0);
      run.first += xa;
      run.step = dst.RowStep();
      run.count = (int)((ya < yb ? yb - ya : ya - yb) + 1);
    }
    DrawRun(run, colour, alpha, modeByte);
    return;
  }

  const int w = WeightTrunc(alpha);
  if (w <= 0) return;
  const int r = LICE_GETR(colour), g = LICE_GETG(colour), b = LICE_GETB(colour), a = LICE_GETA(colour);
  const bool xMajor = (xb > xa ? xb - xa : xa - xb) >= (yb > ya ? yb - ya : ya - yb);
  const SlopeWalk walk = xMajor ? MakeWalk(xa, ya, xb, yb) : MakeWalk(ya, xa, yb, xb);

  // Anti-aliased neighbours may fall just off the bitmap, so every plot is
  // checked.
  auto pixelAt = [&](long long maj, long long min) -> unsigned char*
  {
    const long long x = xMajor ? maj : min, y = xMajor ? min : maj;
    if (x < 0 || y < 0 || x >= dst.width || y >= dst.height) return nullptr;
    return Bytes(dst.Row((int)y) + x);
  };

  if (antialias)
  {
    // Weights vary per pixel, so the general (weighted) copy is wanted even
    // at full weight.
    DispatchCombine(modeByte, false, 0,
                    [&](auto op)
                    {
                      WalkAntialiased(walk, w,
                                      [&](long long maj, long long min, int pw)
                                      {
                                        unsigned char* p = pw > 0 ? pixelAt(maj, min) : nullptr;
                                        if (p) decltype(op)::Pix(p, r, g, b, a, pw);
                                      });
                    });
    return;
  }
  DispatchLine(modeByte, w,
               [&](auto op)
               {
                 WalkPlain(walk,
                           [&](long long maj, long long min)
                           {
                             if (unsigned char* p = pixelAt(maj, min)) decltype(op)::Pix(p, r, g, b, a, w);
                           });
               });
}
