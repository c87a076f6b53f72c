// LICE_BlitImage and LICE_FillBox: hand-worked cases, then seeded random
// images with rectangles biased to the edges, checked pixel for pixel
// (padding included) against a plain per-pixel reference.

#include <gtest/gtest.h>

#include <iterator>

#include "RefCombine.h"
#include "TestBitmap.h"

namespace
{

// Every combine mode with and without source alpha, a filter bit, unknown
// modes and channel copies.
const int kModes[] = {
  0,       0x10000, 1,       0x10001, 2,       0x10002, 3,    0x10003,          4,
  0x10004, 5,       0x10005, 0x100,   0x10100, 6,       0xEF, 0xF0 + 2 + 4 * 1, 0xF0 + 3 + 4 * 0,
  0xFF
};

LICE_PixelWord RefPixelOp(LICE_PixelWord x, LICE_PixelWord s, float alpha, int mode)
{
  const int low = mode & 0xFF;
  if (low >= 0xF0)  // channel copy
  {
    const int from = low & 3, to = (low >> 2) & 3;
    const LICE_PixelWord byte = (s >> (8 * from)) & 0xFF;
    return (x & ~(0xFFu << (8 * to))) | (byte << (8 * to));
  }
  const bool sa = (mode & LICE_FLAG_SOURCEALPHA) != 0;
  if (low == 0 && !sa && alpha == 1.0f) return s;
  if (low == 0 && !sa && alpha == 0.5f) return ((x >> 1) & 0x7F7F7F7F) + ((s >> 1) & 0x7F7F7F7F);
  const int w = alpha >= 1.0f ? 256 : (int)(alpha * 256);
  if (w <= 0 || low > 5) return x;
  return RefCombine(x, LICE_GETR(s), LICE_GETG(s), LICE_GETB(s), LICE_GETA(s), w, low, sa);
}

// Source pixel (sx, sy) of the rectangle lands at dstx + sx - left: that one
// mapping is what all the clipping rules amount to.
void RefBlit(TestBitmap& dst, TestBitmap& src, int dstx, int dsty, const LICE_Rect* rect, float alpha,
             int mode)
{
  if (alpha == 0.0f) return;
  long long l = 0, t = 0, r = src.Width(), b = src.Height();
  if (rect) l = rect->left, t = rect->top, r = rect->right, b = rect->bottom;
  for (long long sy = t < 0 ? 0 : t; sy < b && sy < src.Height(); ++sy)
    for (long long sx = l < 0 ? 0 : l; sx < r && sx < src.Width(); ++sx)
    {
      const long long dx = dstx + sx - l, dy = dsty + sy - t;
      if (dx < 0 || dy < 0 || dx >= dst.Width() || dy >= dst.Height()) continue;
      LICE_PixelWord& p = dst.At((int)dx, (int)dy);
      p = RefPixelOp(p, src.At((int)sx, (int)sy), alpha, mode);
    }
}

void RefFill(TestBitmap& dst, int x, int y, int w, int h, LICE_PixelWord c, float alpha, int mode)
{
  double weight = alpha;
  if (mode & LICE_FLAG_SOURCEALPHA) weight *= LICE_GETA(c) * 0.003921569;
  const int a = !(weight > 0) ? 0 : (weight >= 1 ? 256 : (int)(weight * 256));
  const int low = mode & 0xFF;
  const LICE_PixelWord hc = (c >> 1) & 0x7F7F7F7F, qc = (c >> 2) & 0x3F3F3F3F;
  for (int py = 0; py < dst.Height(); ++py)
    for (int px = 0; px < dst.Width(); ++px)
    {
      if (px < x || py < y || px >= (long long)x + w || py >= (long long)y + h) continue;
      LICE_PixelWord& p = dst.At(px, py);
      const LICE_PixelWord hp = (p >> 1) & 0x7F7F7F7F, qp = (p >> 2) & 0x3F3F3F3F;
      if (low == 0 && a == 256)
        p = c;
      else if (low == 0 && a == 128)
        p = hc + hp;
      else if (low == 0 && a == 64)
        p = qp + hp + qc;
      else if (low == 0 && a == 192)
        p = hc + qc + qp;
      else if (a > 0 && low <= 5)
        p = RefCombine(p, LICE_GETR(c), LICE_GETG(c), LICE_GETB(c), a, a, low, false);
    }
}

}  // namespace

TEST(RasterBlit, HandWorkedCases)
{
  // A negative source left shifts where the rest lands.
  TestBitmap src(4, 2, 4, false), dst(10, 2, 10, false);
  for (int x = 0; x < 4; ++x) src.At(x, 0) = src.At(x, 1) = 100 + x;
  const LICE_Rect r = { -3, 0, 4, 2 };
  LICE_BlitImage(&dst, &src, 2, 0, &r, 1.0f, LICE_MODE_COPY);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(dst.At(x, 0), x >= 5 && x < 9 ? 100u + x - 5 : 0u) << x;

  // Copy at 0.5 halves whole words; at 0.4 it blends per byte (w = 102).
  TestBitmap s1(1, 1, 1, false), d1(1, 1, 1, false);
  s1.At(0, 0) = 0xFF03FF81u;
  d1.At(0, 0) = 0x01FF0380u;
  LICE_BlitImage(&d1, &s1, 0, 0, nullptr, 0.5f, LICE_MODE_COPY);
  EXPECT_EQ(d1.At(0, 0), 0x7F808080u);
  d1.At(0, 0) = LICE_RGBA(200, 0, 10, 255);
  s1.At(0, 0) = LICE_RGBA(0, 200, 10, 0);
  LICE_BlitImage(&d1, &s1, 0, 0, nullptr, 0.4f, LICE_MODE_COPY);
  EXPECT_EQ(d1.At(0, 0), LICE_RGBA(120, 80, 10, 153));
}

TEST(RasterBlit, NothingDrawnForBadInput)
{
  TestBitmap bm(4, 4, 4, false), empty(0, 0, 0, false);
  std::mt19937 rng(1);
  FillRandom(bm, rng);
  const std::vector<LICE_PixelWord> before = bm.Memory();
  LICE_BlitImage(&bm, nullptr, 0, 0, nullptr, 1.0f, 0);
  LICE_BlitImage(nullptr, &bm, 0, 0, nullptr, 1.0f, 0);
  LICE_BlitImage(&bm, &empty, 0, 0, nullptr, 1.0f, 0);
  LICE_BlitImage(&empty, &bm, 0, 0, nullptr, 1.0f, 0);
  LICE_BlitImage(&bm, &bm, 1, 1, 2, 2, -3, -3, 0.5f, 0);
  LICE_BlitImage(&bm, &bm, 0, 0, nullptr, 0.7f, 6);
  LICE_FillBox(nullptr, 0, 0, 4, 4, 0, 1.0f, 0);
  LICE_FillBox(&empty, 0, 0, 4, 4, 0, 1.0f, 0);
  LICE_FillBox(&bm, 0, 0, -4, 4, 0, 1.0f, 0);
  LICE_FillBox(&bm, 0, 0, 4, 4, 0, 1.0f, 7);
  LICE_FillBox(&bm, 0, 0, 4, 4, LICE_RGBA(1, 2, 3, 0), 1.0f, LICE_FLAG_SOURCEALPHA);
  EXPECT_EQ(bm.Memory(), before);
}

TEST(RasterBlit, SeededRandomBlitsMatchReference)
{
  std::mt19937 rng(1234);
  const float alphas[] = { 1.0f, 0.5f, 0.4f, 0.25f, 0.0f, -0.5f, 1.5f, 0.999f, 0.003f };
  for (int iter = 0; iter < 6000; ++iter)
  {
    TestBitmap src = RandomBitmap(rng, 13, 11, 2), dst = RandomBitmap(rng, 13, 11, 2);
    const int mode = kModes[rng() % std::size(kModes)];
    const float alpha = alphas[rng() % std::size(alphas)];
    const int dstx = EdgeBiased(rng, dst.Width()), dsty = EdgeBiased(rng, dst.Height());
    const LICE_Rect rect = { EdgeBiased(rng, src.Width()), EdgeBiased(rng, src.Height()),
                             EdgeBiased(rng, src.Width()), EdgeBiased(rng, src.Height()) };
    const LICE_Rect* r = (rng() % 4) != 0 ? &rect : nullptr;
    TestBitmap expect = dst;
    RefBlit(expect, src, dstx, dsty, r, alpha, mode);
    LICE_BlitImage(&dst, &src, dstx, dsty, r, alpha, mode);
    ASSERT_EQ(dst.Memory(), expect.Memory()) << "iteration " << iter;
  }
}

TEST(RasterFill, HandWorkedWeights)
{
  TestBitmap bm(3, 1, 3, false);
  const LICE_PixelWord c = LICE_RGBA(255, 0, 100, 255);
  bm.At(0, 0) = bm.At(1, 0) = LICE_RGBA(0, 255, 100, 0);
  // 0.25: three quarters old plus one quarter new, on whole words.
  LICE_FillBox(&bm, 0, 0, 1, 1, c, 0.25f, LICE_MODE_COPY);
  EXPECT_EQ(bm.At(0, 0), LICE_RGBA(63, 63 + 127, 25 + 50 + 25, 63));
  LICE_FillBox(&bm, 1, 0, 1, 1, c, 0.3f, LICE_MODE_COPY);  // w = 76
  EXPECT_EQ(bm.At(1, 0), LICE_RGBA(76, 179, 100, 23));
  // Colour alpha 128 at 1.0 gives weight 128: the halving fast path, which
  // halves the colour word including its alpha byte.
  LICE_FillBox(&bm, 2, 0, 1, 1, LICE_RGBA(200, 100, 50, 128), 1.0f, LICE_FLAG_SOURCEALPHA);
  EXPECT_EQ(bm.At(2, 0), LICE_RGBA(100, 50, 25, 64));
}

TEST(RasterFill, SeededRandomFillsMatchReference)
{
  std::mt19937 rng(77);
  const float alphas[] = { 1.0f, 0.5f, 0.25f, 0.75f, 0.3f, 0.0f, -1.0f, 2.0f, 0.01f };
  for (int iter = 0; iter < 6000; ++iter)
  {
    TestBitmap dst = RandomBitmap(rng, 13, 11, 2);
    const int mode = kModes[rng() % std::size(kModes)];
    const float alpha = alphas[rng() % std::size(alphas)];
    const int x = EdgeBiased(rng, dst.Width()), y = EdgeBiased(rng, dst.Height());
    const int w = EdgeBiased(rng, dst.Width()), h = EdgeBiased(rng, dst.Height());
    const LICE_PixelWord c = (LICE_PixelWord)rng();
    TestBitmap expect = dst;
    RefFill(expect, x, y, w, h, c, alpha, mode);
    LICE_FillBox(&dst, x, y, w, h, c, alpha, mode);
    ASSERT_EQ(dst.Memory(), expect.Memory()) << "iteration " << iter;
  }
}
