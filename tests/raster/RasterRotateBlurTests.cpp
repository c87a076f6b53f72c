// LICE_BlitRotated (geometry, sampling, clipping) and LICE_SmoothBlur.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "TestBitmap.h"

namespace
{

const float kPi = 3.14159265358979f;

TestBitmap Numbered(int w, int h, bool bottomUp)
{
  TestBitmap bm(w, h, w, bottomUp);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) bm.At(x, y) = LICE_RGBA(x * 10 + 1, y * 10 + 1, 7, 255);
  return bm;
}

void Rotate(TestBitmap& dst, TestBitmap& src, float angle, int mode = 0, float cx = 0, float cy = 0)
{
  LICE_BlitRotated(&dst, &src, 0, 0, dst.Width(), dst.Height(), 0, 0, (float)src.Width(), (float)src.Height(),
                   angle, false, 1.0f, mode, cx, cy);
}

}  // namespace

TEST(RasterRotate, IdentityReproducesSource)
{
  for (bool srcUp : { false, true })
    for (bool dstUp : { false, true })
    {
      TestBitmap src = Numbered(7, 5, srcUp), dst(7, 5, 7, dstUp);
      Rotate(dst, src, 0.0f);
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) ASSERT_EQ(dst.At(x, y), src.At(x, y)) << x << "," << y;
    }
}

TEST(RasterRotate, ScaleMirrorAndQuarterTurns)
{
  TestBitmap src = Numbered(4, 4, false);

  TestBitmap big(8, 8, 8, false);
  Rotate(big, src, 0.0f);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(big.At(x, y), src.At(x / 2, y / 2));

  // Mirrored and turned sources are sampled from the far edge, so the first
  // destination column (or row) samples just past the source and stays.
  TestBitmap mirror(4, 4, 4, false);
  LICE_BlitRotated(&mirror, &src, 4, 0, -4, 4, 0, 0, 4, 4, 0.0f, false, 1.0f, 0, 0, 0);
  TestBitmap half(4, 4, 4, false), quarter(4, 4, 4, false);
  Rotate(half, src, kPi);
  Rotate(quarter, src, kPi / 2);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
    {
      EXPECT_EQ(mirror.At(x, y), x == 0 ? 0u : src.At(4 - x, y)) << x << "," << y;
      EXPECT_EQ(half.At(x, y), x == 0 || y == 0 ? 0u : src.At(4 - x, 4 - y)) << x << "," << y;
      EXPECT_EQ(quarter.At(x, y), x == 0 ? 0u : src.At(y, 4 - x)) << x << "," << y;
    }
}

TEST(RasterRotate, BilinearWeightsAndWindowEdges)
{
  TestBitmap src(3, 3, 3, false), dst(3, 3, 3, false);
  const int v[3][3] = { { 0, 40, 80 }, { 100, 140, 180 }, { 200, 240, 255 } };
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) src.At(x, y) = LICE_RGBA(v[y][x], 0, 0, 255);
  Rotate(dst, src, 0.0f, LICE_FLAG_BILINEAR, 0.5f, 0.5f);
  // Four-way means inside; the last column and row blend a pair, the corner
  // is taken as is.
  const int want[3][3] = { { (0 + 40 + 100 + 140) / 4, (40 + 80 + 140 + 180) / 4, (80 + 180) / 2 },
                           { (100 + 140 + 200 + 240) / 4, (140 + 180 + 240 + 255) / 4, (180 + 255) / 2 },
                           { (200 + 240) / 2, (240 + 255) / 2, 255 } };
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(dst.At(x, y), LICE_RGBA(want[y][x], 0, 0, 255)) << x << "," << y;
}

TEST(RasterRotate, SourceAlphaAndClipToSourceRect)
{
  TestBitmap src(2, 1, 2, false), dst(2, 1, 2, false);
  src.At(0, 0) = LICE_RGBA(255, 255, 255, 0);
  src.At(1, 0) = LICE_RGBA(100, 255, 0, 128);
  dst.At(0, 0) = dst.At(1, 0) = LICE_RGBA(200, 0, 0, 100);
  Rotate(dst, src, 0.0f, LICE_FLAG_SOURCEALPHA);
  EXPECT_EQ(dst.At(0, 0), LICE_RGBA(200, 0, 0, 100));
  EXPECT_EQ(dst.At(1, 0), LICE_RGBA(149, 129, 0, 228));

  // Clipped to the one-pixel source rectangle: only samples inside it land.
  TestBitmap big = Numbered(4, 4, false), out(4, 4, 4, false);
  LICE_BlitRotated(&out, &big, 0, 0, 4, 4, 1, 1, 1, 1, 0.0f, true, 1.0f, 0, 0, 0);
  std::set<LICE_PixelWord> seen;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      if (out.At(x, y)) seen.insert(out.At(x, y));
  EXPECT_EQ(seen, std::set<LICE_PixelWord>{ big.At(1, 1) });
}

TEST(RasterRotate, NothingDrawnForBadInput)
{
  TestBitmap src = Numbered(4, 4, false), dst(4, 4, 4, false);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  LICE_BlitRotated(&dst, &src, 0, 0, 0, 4, 0, 0, 4, 4, 0, false, 1.0f, 0);
  LICE_BlitRotated(&dst, &src, 0, 0, 4, 4, 0, 0, 4, 4, 0, false, 0.001f, 0);
  LICE_BlitRotated(&dst, &src, 0, 0, 4, 4, 0, 0, 4, 4, 0, false, 1.0f, 0xF1);
  LICE_BlitRotated(&dst, &src, 0, 0, 4, 4, 9, 9, 4, 4, 0, true, 1.0f, 0);
  LICE_BlitRotated(&dst, nullptr, 0, 0, 4, 4, 0, 0, 4, 4, 0, false, 1.0f, 0);
  LICE_BlitRotated(&dst, &src, 0, 0, 4, 4, nan, 0, 4, 4, 0, true, 1.0f, 0);
  LICE_BlitRotated(&dst, &src, 0, 0, 4, 4, 0, 0, 4, 4, nan, false, nan, 0);
  for (LICE_PixelWord p : dst.Memory()) EXPECT_EQ(p, 0u);
}

TEST(RasterRotate, ClippingFuzzWritesOnlyInsideTarget)
{
  std::mt19937 rng(31337);
  for (int iter = 0; iter < 3000; ++iter)
  {
    // Source pixels carry their own coordinates, so a write can be traced.
    const int sw = 1 + (int)(rng() % 9), sh = 1 + (int)(rng() % 9);
    TestBitmap src(sw, sh, sw + (int)(rng() % 2), (rng() & 1) != 0);
    for (int y = 0; y < sh; ++y)
      for (int x = 0; x < sw; ++x) src.At(x, y) = 0x01000000u | (LICE_PixelWord)(y * 16 + x);
    const int dw = 1 + (int)(rng() % 12), dh = 1 + (int)(rng() % 12);
    TestBitmap dst(dw, dh, dw + 1, (rng() & 1) != 0), flipped = dst.Flipped();

    auto pickf = [&](int n)
    {
      const float choices[] = { -1e30f, 1e30f, -0.5f, 0.49f, (float)n + 0.5f, (float)-n };
      return (rng() % 3) ? (float)((int)(rng() % (unsigned)(3 * n + 1)) - n) / 2 : choices[rng() % 6];
    };
    const int dstx = EdgeBiased(rng, dw), dsty = EdgeBiased(rng, dh);
    const int dstw = EdgeBiased(rng, dw), dsth = EdgeBiased(rng, dh);
    const float sx = pickf(sw), sy = pickf(sh), sW = pickf(sw), sH = pickf(sh);
    const float angle = (float)(rng() % 64) * kPi / 16, cx = pickf(2), cy = pickf(2);
    const bool clip = (rng() & 1) != 0;
    // Nearest or bilinear copies, or any combine mode at part weight.
    const int pick = (int)(rng() % 4);
    const int mode = pick == 0 ? 0 : pick == 1 ? LICE_FLAG_BILINEAR : (int)(rng() % 0x20000);
    const float alpha = pick < 2 ? 1.0f : 0.7f;
    LICE_BlitRotated(&dst, &src, dstx, dsty, dstw, dsth, sx, sy, sW, sH, angle, clip, alpha, mode, cx, cy);
    TestBitmap src2 = src.Flipped();
    LICE_BlitRotated(&flipped, &src2, dstx, dsty, dstw, dsth, sx, sy, sW, sH, angle, clip, alpha, mode, cx,
                     cy);
    ASSERT_EQ(flipped.Flipped().Memory(), dst.Memory()) << "row order, iteration " << iter;

    // Padding untouched; nothing outside the normalised destination
    // rectangle; nearest copies only ever write source pixels.
    const long long x0 = dstw < 0 ? (long long)dstx + dstw : dstx;
    const long long y0 = dsth < 0 ? (long long)dsty + dsth : dsty;
    const long long x1 = x0 + std::llabs((long long)dstw), y1 = y0 + std::llabs((long long)dsth);
    for (int y = 0; y < dh; ++y)
    {
      ASSERT_EQ(dst.Memory()[(size_t)y * (dw + 1) + dw], 0u) << "padding, iteration " << iter;
      for (int x = 0; x < dw; ++x)
      {
        const LICE_PixelWord p = dst.At(x, y);
        if (!p) continue;
        ASSERT_TRUE(x >= x0 && x < x1 && y >= y0 && y < y1) << "iteration " << iter;
        const int px = (int)(p & 0xF), py = (int)((p >> 4) & 0xF);
        ASSERT_TRUE(pick != 0 || (px < sw && py < sh && src.At(px, py) == p)) << iter;
      }
    }
  }
}

// LICE_SmoothBlur

namespace
{

LICE_PixelWord H(LICE_PixelWord p) { return (p >> 1) & 0x7F7F7F7F; }
LICE_PixelWord Q(LICE_PixelWord p) { return (p >> 2) & 0x3F3F3F3F; }
LICE_PixelWord E(LICE_PixelWord p) { return (p >> 3) & 0x1F1F1F1F; }

// Reference: clip the way the blur does, then weigh each pixel's neighbours
// by where it sits in the rectangle.
void RefBlur(TestBitmap& dst, TestBitmap& src, int dstx, int dsty, int srcx, int srcy, int w, int h)
{
  long long l = std::max(srcx, 0), t = std::max(srcy, 0);
  long long r = std::min<long long>((long long)srcx + w, src.Width());
  long long b = std::min<long long>((long long)srcy + h, src.Height());
  long long dx = dstx, dy = dsty;
  if (dx < 0) l -= dx, dx = 0;
  if (dy < 0) t -= dy, dy = 0;
  if (dx >= dst.Width() || dy >= dst.Height()) return;
  const long long cols = std::min(r - l, dst.Width() - dx);
  const long long rows = std::min(b - t, dst.Height() - dy);
  if (cols < 2 || rows < 2) return;
  TestBitmap in = src;
  auto S = [&](long long x, long long y) { return in.At((int)(l + x), (int)(t + y)); };
  for (long long y = 0; y < rows; ++y)
    for (long long x = 0; x < cols; ++x)
    {
      const bool ex = x == 0 || x == cols - 1, ey = y == 0 || y == rows - 1;
      const long long hx = x == 0 ? 1 : x - 1, vy = y == 0 ? 1 : y - 1;
      LICE_PixelWord v = H(S(x, y));
      if (ex && ey)
        v += Q(S(hx, y)) + Q(S(x, vy));
      else if (ex)
        v += Q(S(hx, y)) + E(S(x, y - 1)) + E(S(x, y + 1));
      else if (ey)
        v += Q(S(x, vy)) + E(S(x - 1, y)) + E(S(x + 1, y));
      else
        v += E(S(x - 1, y)) + E(S(x + 1, y)) + E(S(x, y - 1)) + E(S(x, y + 1));
      dst.At((int)(dx + x), (int)(dy + y)) = v;
    }
}

}  // namespace

TEST(RasterBlur, SpreadsOnePixel)
{
  TestBitmap src(5, 5, 5, false), dst(5, 5, 5, false);
  src.At(2, 2) = LICE_RGBA(0xF0, 0xF0, 0xF0, 0xF0);
  LICE_SmoothBlur(&dst, &src, 0, 0, 0, 0, 5, 5);
  EXPECT_EQ(dst.At(2, 2), LICE_RGBA(0x78, 0x78, 0x78, 0x78));
  EXPECT_EQ(dst.At(2, 1), LICE_RGBA(0x1E, 0x1E, 0x1E, 0x1E));
  EXPECT_EQ(dst.At(3, 2), LICE_RGBA(0x1E, 0x1E, 0x1E, 0x1E));
  EXPECT_EQ(dst.At(1, 1), 0u);
}

TEST(RasterBlur, SeededRandomMatchesReference)
{
  std::mt19937 rng(606);
  for (int iter = 0; iter < 3000; ++iter)
  {
    TestBitmap src = RandomBitmap(rng, 10, 10, 1), dst = RandomBitmap(rng, 10, 10, 1);
    const int dx = EdgeBiased(rng, dst.Width()), dy = EdgeBiased(rng, dst.Height());
    const int sx = EdgeBiased(rng, src.Width()), sy = EdgeBiased(rng, src.Height());
    const int w = EdgeBiased(rng, src.Width()), h = EdgeBiased(rng, src.Height());
    TestBitmap expect = dst;
    RefBlur(expect, src, dx, dy, sx, sy, w, h);
    LICE_SmoothBlur(&dst, &src, dx, dy, sx, sy, w, h);
    ASSERT_EQ(dst.Memory(), expect.Memory()) << iter;
  }
}

TEST(RasterBlur, InPlaceReadsUnblurredRows)
{
  std::mt19937 rng(9);
  // 1500 columns need the heap scratch; 37 fit the stack one.
  for (int w : { 37, 1500 })
  {
    TestBitmap img(w, 6, w, (w & 1) != 0);
    FillRandom(img, rng);
    TestBitmap copy = img, expect = img;
    LICE_SmoothBlur(&expect, &copy, 0, 0, 0, 0, w, 6);
    LICE_SmoothBlur(&img, &img, 0, 0, 0, 0, w, 6);
    EXPECT_EQ(img.Memory(), expect.Memory()) << w;
  }
}
