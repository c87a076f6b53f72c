// LICE_BlitRotated (geometry, sampling, clipping) and LICE_SmoothBlur.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <set>

#include "raster_test_util.h"

namespace {

const float kPi = 3.14159265358979f;

TestBitmap Numbered(int w, int h, bool bottomUp)
{
  TestBitmap bm(w, h, w, bottomUp);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) bm.At(x, y) = LICE_RGBA(x * 10 + 1, y * 10 + 1, 7, 255);
  return bm;
}

void Rotate(TestBitmap& dst, TestBitmap& src, float angle, int mode = 0, float cx = 0,
            float cy = 0)
{
  LICE_BlitRotated(&dst, &src, 0, 0, dst.Width(), dst.Height(), 0, 0, (float)src.Width(),
                   (float)src.Height(), angle, false, 1.0f, mode, cx, cy);
}

} // namespace

TEST(RasterRotate, IdentityReproducesSource)
{
  for (bool srcUp : {false, true})
    for (bool dstUp : {false, true})
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
  const int v[3][3] = {{0, 40, 80}, {100, 140, 180}, {200, 240, 255}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) src.At(x, y) = LICE_RGBA(v[y][x], 0, 0, 255);
  Rotate(dst, src, 0.0f, LICE_FLAG_BILINEAR, 0.5f, 0.5f);
  EXPECT_EQ(LICE_GETR(dst.At(0, 0)), (0 + 40 + 100 + 140) / 4);
  EXPECT_EQ(LICE_GETR(dst.At(1, 1)), (140 + 180 + 240 + 255) / 4);
  EXPECT_EQ(LICE_GETR(dst.At(2, 0)), (80 + 180) / 2);  // last column: vertical pair
  EXPECT_EQ(LICE_GETR(dst.At(0, 2)), (200 + 240) / 2); // last row: horizontal pair
  EXPECT_EQ(LICE_GETR(dst.At(2, 2)), 255);             // corner taken as is
  EXPECT_EQ(LICE_GETA(dst.At(1, 2)), 255);
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
  EXPECT_EQ(seen, std::set<LICE_PixelWord>{big.At(1, 1)});
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
  const float big = 1e30f;
  for (int iter = 0; iter < 3000; ++iter)
  {
    const int sw = 1 + (int)(rng() % 9), sh = 1 + (int)(rng() % 9);
    TestBitmap src(sw, sh, sw + (int)(rng() % 2), (rng() & 1) != 0);
    for (int y = 0; y < sh; ++y)
      for (int x = 0; x < sw; ++x) src.At(x, y) = 0x01000000u | (LICE_PixelWord)(y * 16 + x);
    const int dw = 1 + (int)(rng() % 12), dh = 1 + (int)(rng() % 12);
    TestBitmap dst(dw, dh, dw + 1, (rng() & 1) != 0);

    auto pick = [&](int n) {
      const int choices[] = {-n - 3, -n, -1, 0, 1, n - 1, n, n + 2, INT_MIN, INT_MAX};
      return (rng() % 3) ? (int)(rng() % (unsigned)(3 * n + 1)) - n : choices[rng() % 10];
    };
    auto pickf = [&](int n) {
      const float choices[] = {-big, big, -0.5f, 0.49f, (float)n + 0.5f, (float)-n};
      return (rng() % 3) ? (float)((int)(rng() % (unsigned)(3 * n + 1)) - n) / 2
                         : choices[rng() % 6];
    };
    const int dstx = pick(dw), dsty = pick(dh), dstw = pick(dw), dsth = pick(dh);
    const float sx = pickf(sw), sy = pickf(sh), sW = pickf(sw), sH = pickf(sh);
    const float angle = (float)(rng() % 64) * kPi / 16;
    const bool clip = (rng() & 1) != 0;
    const int mode = (rng() & 1) ? LICE_FLAG_BILINEAR : 0;
    LICE_BlitRotated(&dst, &src, dstx, dsty, dstw, dsth, sx, sy, sW, sH, angle, clip, 1.0f, mode,
                     pickf(2), pickf(2));

    // Padding untouched; nothing outside the (normalised) destination
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
        if (!mode)
        {
          const int px = (int)(p & 0xF), py = (int)((p >> 4) & 0xF);
          ASSERT_TRUE(px < sw && py < sh && src.At(px, py) == p) << "iteration " << iter;
        }
      }
    }
  }
}

TEST(RasterRotate, BottomUpMatchesTopDown)
{
  std::mt19937 rng(2);
  for (int iter = 0; iter < 300; ++iter)
  {
    TestBitmap s1(6, 5, 6, false), s2(6, 5, 6, true), d1(7, 8, 7, false), d2(7, 8, 7, true);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x) s1.At(x, y) = s2.At(x, y) = (LICE_PixelWord)rng();
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 7; ++x) d1.At(x, y) = d2.At(x, y) = (LICE_PixelWord)rng();
    const float angle = (float)(rng() % 100) / 10.0f;
    const int mode = (int)(rng() % 6) | ((rng() & 1) ? LICE_FLAG_BILINEAR : 0) |
                     ((rng() & 1) ? LICE_FLAG_SOURCEALPHA : 0);
    const int dx = (int)(rng() % 6) - 2, dy = (int)(rng() % 6) - 2;
    for (auto* pair : {&d1, &d2})
      LICE_BlitRotated(pair, pair == &d1 ? &s1 : &s2, dx, dy, 6, 7, 0.5f, 0.0f, 5.0f, 5.0f,
                       angle, true, 0.7f, mode, 0.3f, -0.2f);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 7; ++x) ASSERT_EQ(d1.At(x, y), d2.At(x, y)) << iter;
  }
}

// ----------------------------------------------------------------------------
// LICE_SmoothBlur
// ----------------------------------------------------------------------------

namespace {

LICE_PixelWord H(LICE_PixelWord p) { return (p >> 1) & 0x7F7F7F7F; }
LICE_PixelWord Q(LICE_PixelWord p) { return (p >> 2) & 0x3F3F3F3F; }
LICE_PixelWord E(LICE_PixelWord p) { return (p >> 3) & 0x1F1F1F1F; }

// Reference: clip the way the blur does, then weigh each pixel's neighbours
// by where it sits in the rectangle.
void RefBlur(TestBitmap& dst, TestBitmap& src, int dstx, int dsty, int srcx, int srcy, int w,
             int h)
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

} // namespace

TEST(RasterBlur, SpreadsOnePixel)
{
  TestBitmap src(5, 5, 5, false), dst(5, 5, 5, false);
  src.At(2, 2) = LICE_RGBA(0xF0, 0xF0, 0xF0, 0xF0);
  LICE_SmoothBlur(&dst, &src, 0, 0, 0, 0, 5, 5);
  EXPECT_EQ(dst.At(2, 2), LICE_RGBA(0x78, 0x78, 0x78, 0x78));
  EXPECT_EQ(dst.At(2, 1), LICE_RGBA(0x1E, 0x1E, 0x1E, 0x1E));
  EXPECT_EQ(dst.At(3, 2), LICE_RGBA(0x1E, 0x1E, 0x1E, 0x1E));
  EXPECT_EQ(dst.At(1, 1), 0u);

  TestBitmap narrow(5, 5, 5, false);
  LICE_SmoothBlur(&narrow, &src, 0, 0, 2, 0, 1, 5);
  LICE_SmoothBlur(&narrow, &src, 0, 0, 0, 2, 5, 1);
  LICE_SmoothBlur(&narrow, &src, 4, 4, 0, 0, 5, 5);
  for (LICE_PixelWord p : narrow.Memory()) EXPECT_EQ(p, 0u);
}

TEST(RasterBlur, SeededRandomMatchesReference)
{
  std::mt19937 rng(606);
  for (int iter = 0; iter < 3000; ++iter)
  {
    const int sw = 1 + (int)(rng() % 10), sh = 1 + (int)(rng() % 10);
    const int dw = 1 + (int)(rng() % 10), dh = 1 + (int)(rng() % 10);
    TestBitmap src(sw, sh, sw + (int)(rng() % 2), (rng() & 1) != 0);
    TestBitmap dst(dw, dh, dw + (int)(rng() % 2), (rng() & 1) != 0);
    FillRandom(src, rng);
    FillRandom(dst, rng);
    auto pick = [&](int n) {
      const int choices[] = {-n, -1, 0, 1, n - 1, n, INT_MIN, INT_MAX};
      return (rng() % 3) ? (int)(rng() % (unsigned)(2 * n + 1)) - n / 2 : choices[rng() % 8];
    };
    const int dx = pick(dw), dy = pick(dh), sx = pick(sw), sy = pick(sh);
    const int w = pick(sw), h = pick(sh);
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
  for (int w : {37, 1500})
  {
    TestBitmap img(w, 6, w, (w & 1) != 0);
    FillRandom(img, rng);
    TestBitmap copy = img, expect = img;
    LICE_SmoothBlur(&expect, &copy, 0, 0, 0, 0, w, 6);
    LICE_SmoothBlur(&img, &img, 0, 0, 0, 0, w, 6);
    EXPECT_EQ(img.Memory(), expect.Memory()) << w;
  }
}
