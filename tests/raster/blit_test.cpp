// LICE_BlitImage and LICE_FillBox: hand-worked cases, then seeded random
// images with rectangles biased to the edges, checked pixel for pixel
// (padding included) against a plain per-pixel reference.

#include <gtest/gtest.h>

#include <climits>

#include "lice_combine.h"
#include "raster_test_util.h"

namespace {

// Coordinates a clipper is most likely to get wrong for an extent n.
int EdgeBiased(std::mt19937& rng, int n)
{
  switch (rng() % 14)
  {
    case 0: return -n - 5;
    case 1: return -n;
    case 2: return -1 - (int)(rng() % 3);
    case 3: return 0;
    case 4: return 1;
    case 5: return n - 1;
    case 6: return n;
    case 7: return n + 1;
    case 8: return INT_MAX;
    case 9: return INT_MIN;
    case 10: return INT_MAX - (int)(rng() % 4);
    default: return (int)(rng() % (unsigned)(3 * n + 1)) - n;
  }
}

TestBitmap RandomBitmap(std::mt19937& rng)
{
  const int w = 1 + (int)(rng() % 13), h = 1 + (int)(rng() % 11);
  TestBitmap bm(w, h, w + (int)(rng() % 3), (rng() & 1) != 0);
  FillRandom(bm, rng);
  return bm;
}

LICE_PixelWord RefPixelOp(LICE_PixelWord x, LICE_PixelWord s, float alpha, int mode)
{
  const int low = mode & 0xFF;
  if (low >= 0xF0)
  {
    const int from = low & 3, to = (low >> 2) & 3;
    const LICE_PixelWord byte = (s >> (8 * from)) & 0xFF;
    return (x & ~(0xFFu << (8 * to))) | (byte << (8 * to));
  }
  const bool sa = (mode & LICE_FLAG_SOURCEALPHA) != 0;
  if (low == 0 && !sa && alpha == 1.0f) return s;
  if (low == 0 && !sa && alpha == 0.5f)
    return ((x >> 1) & 0x7F7F7F7F) + ((s >> 1) & 0x7F7F7F7F);
  int w = alpha >= 1.0f ? 256 : (int)(alpha * 256);
  if (w <= 0 || low > 5) return x;
  return RefCombine(x, LICE_GETR(s), LICE_GETG(s), LICE_GETB(s), LICE_GETA(s), w, low, sa);
}

// Source pixel (sx, sy) of the rectangle lands at dstx + sx - left: that one
// mapping is what all the clipping rules amount to.
void RefBlit(TestBitmap& dst, TestBitmap& src, int dstx, int dsty, const LICE_Rect* rect,
             float alpha, int mode)
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

const int kModes[] = {0,     0x10000, 1, 0x10001, 2,     0x10002, 3,     0x10003, 4,
                      0x10004, 5,     0x10005, 0x100, 0x10100, 6, 0xEF, 0xF0 + 2 + 4 * 1,
                      0xF0 + 3 + 4 * 0, 0xFF};
const float kAlphas[] = {1.0f, 0.5f, 0.4f, 0.25f, 0.0f, -0.5f, 1.5f, 0.999f, 0.003f};

} // namespace

TEST(RasterBlit, NegativeSourceLeftShiftsDestination)
{
  TestBitmap src(4, 2, 4, false), dst(10, 2, 10, false);
  for (int x = 0; x < 4; ++x) src.At(x, 0) = src.At(x, 1) = 100 + x;
  const LICE_Rect r = {-3, 0, 4, 2};
  LICE_BlitImage(&dst, &src, 2, 0, &r, 1.0f, LICE_MODE_COPY);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(dst.At(x, 0), x >= 5 && x < 9 ? 100u + x - 5 : 0u) << x;
}

TEST(RasterBlit, HalfAndPartialCopy)
{
  TestBitmap src(1, 1, 1, false), dst(1, 1, 1, false);
  src.At(0, 0) = 0xFF03FF81u;
  dst.At(0, 0) = 0x01FF0380u;
  LICE_BlitImage(&dst, &src, 0, 0, nullptr, 0.5f, LICE_MODE_COPY);
  EXPECT_EQ(dst.At(0, 0), 0x7F808080u); // 0x007F0140 + 0x7F017F40, halves per byte

  dst.At(0, 0) = LICE_RGBA(200, 0, 10, 255);
  src.At(0, 0) = LICE_RGBA(0, 200, 10, 0);
  LICE_BlitImage(&dst, &src, 0, 0, nullptr, 0.4f, LICE_MODE_COPY); // w = 102
  EXPECT_EQ(dst.At(0, 0), LICE_RGBA(120, 80, 10, 153));
}

TEST(RasterBlit, SourceAlphaCopy)
{
  TestBitmap src(3, 1, 3, false), dst(3, 1, 3, false);
  src.At(0, 0) = LICE_RGBA(255, 255, 255, 0);
  src.At(1, 0) = LICE_RGBA(1, 2, 3, 255);
  src.At(2, 0) = LICE_RGBA(100, 255, 0, 128);
  for (int x = 0; x < 3; ++x) dst.At(x, 0) = LICE_RGBA(200, 0, 0, 100);
  LICE_BlitImage(&dst, &src, 0, 0, nullptr, 1.0f, LICE_FLAG_SOURCEALPHA);
  EXPECT_EQ(dst.At(0, 0), LICE_RGBA(200, 0, 0, 100));
  EXPECT_EQ(dst.At(1, 0), LICE_RGBA(1, 2, 3, 255));
  EXPECT_EQ(dst.At(2, 0), LICE_RGBA(149, 129, 0, 228));
}

TEST(RasterBlit, ChannelCopyMovesOneByte)
{
  TestBitmap src(2, 1, 2, false), dst(2, 1, 2, false);
  src.At(0, 0) = LICE_RGBA(11, 22, 33, 44);
  src.At(1, 0) = LICE_RGBA(55, 66, 77, 88);
  dst.At(0, 0) = dst.At(1, 0) = LICE_RGBA(1, 2, 3, 4);
  LICE_BlitImage(&dst, &src, 0, 0, nullptr, 0.1f,
                 LICE_ChannelCopyMode(LICE_PIXEL_R, LICE_PIXEL_A));
  EXPECT_EQ(dst.At(0, 0), LICE_RGBA(1, 2, 3, 11));
  EXPECT_EQ(dst.At(1, 0), LICE_RGBA(1, 2, 3, 55));
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
  for (int iter = 0; iter < 6000; ++iter)
  {
    TestBitmap src = RandomBitmap(rng), dst = RandomBitmap(rng);
    const int mode = kModes[rng() % (sizeof(kModes) / sizeof(kModes[0]))];
    const float alpha = kAlphas[rng() % (sizeof(kAlphas) / sizeof(kAlphas[0]))];
    const int dstx = EdgeBiased(rng, dst.Width()), dsty = EdgeBiased(rng, dst.Height());
    LICE_Rect rect = {EdgeBiased(rng, src.Width()), EdgeBiased(rng, src.Height()),
                      EdgeBiased(rng, src.Width()), EdgeBiased(rng, src.Height())};
    const bool useRect = (rng() % 4) != 0;

    TestBitmap expect = dst;
    RefBlit(expect, src, dstx, dsty, useRect ? &rect : nullptr, alpha, mode);
    LICE_BlitImage(&dst, &src, dstx, dsty, useRect ? &rect : nullptr, alpha, mode);
    ASSERT_EQ(dst.Memory(), expect.Memory())
        << "iteration " << iter << " mode " << mode << " alpha " << alpha << " at " << dstx
        << "," << dsty << " rect " << rect.left << "," << rect.top << "," << rect.right << ","
        << rect.bottom << " useRect " << useRect;
  }
}

// ----------------------------------------------------------------------------
// LICE_FillBox
// ----------------------------------------------------------------------------

namespace {

void RefFill(TestBitmap& dst, int x, int y, int w, int h, LICE_PixelWord c, float alpha, int mode)
{
  double weight = alpha;
  if (mode & LICE_FLAG_SOURCEALPHA) weight *= LICE_GETA(c) * 0.003921569;
  const int a = !(weight > 0) ? 0 : (weight >= 1 ? 256 : (int)(weight * 256));
  const int low = mode & 0xFF;
  for (int py = 0; py < dst.Height(); ++py)
    for (int px = 0; px < dst.Width(); ++px)
    {
      if (px < x || py < y || px >= (long long)x + w || py >= (long long)y + h) continue;
      LICE_PixelWord& p = dst.At(px, py);
      const LICE_PixelWord hc = (c >> 1) & 0x7F7F7F7F, qc = (c >> 2) & 0x3F3F3F3F;
      const LICE_PixelWord hp = (p >> 1) & 0x7F7F7F7F, qp = (p >> 2) & 0x3F3F3F3F;
      if (low == 0 && a == 256) p = c;
      else if (low == 0 && a == 128) p = hc + hp;
      else if (low == 0 && a == 64) p = qp + hp + qc;
      else if (low == 0 && a == 192) p = hc + qc + qp;
      else if (a > 0 && low <= 5)
        p = RefCombine(p, LICE_GETR(c), LICE_GETG(c), LICE_GETB(c), a, a, low, false);
    }
}

} // namespace

TEST(RasterFill, FastAndGeneralCopyWeights)
{
  TestBitmap bm(2, 1, 2, false);
  const LICE_PixelWord c = LICE_RGBA(255, 0, 100, 255);
  bm.At(0, 0) = bm.At(1, 0) = LICE_RGBA(0, 255, 100, 0);
  LICE_FillBox(&bm, 0, 0, 1, 1, c, 0.25f, LICE_MODE_COPY);
  // Three quarters old plus one quarter new, on whole words.
  EXPECT_EQ(bm.At(0, 0), LICE_RGBA(63, 63 + 127, 25 + 50 + 25, 63));
  LICE_FillBox(&bm, 1, 0, 1, 1, c, 0.3f, LICE_MODE_COPY); // w = 76
  EXPECT_EQ(bm.At(1, 0), LICE_RGBA(76, 179, 100, 23)); // alpha moves toward 76
}

TEST(RasterFill, SourceAlphaScalesWeight)
{
  TestBitmap bm(1, 1, 1, false);
  bm.At(0, 0) = LICE_RGBA(0, 0, 0, 0);
  // Colour alpha 128 at alpha 1.0 gives weight 128: the halving fast path,
  // which halves the colour word including its alpha byte.
  LICE_FillBox(&bm, 0, 0, 1, 1, LICE_RGBA(200, 100, 50, 128), 1.0f, LICE_FLAG_SOURCEALPHA);
  EXPECT_EQ(bm.At(0, 0), LICE_RGBA(100, 50, 25, 64));
}

TEST(RasterFill, SeededRandomFillsMatchReference)
{
  std::mt19937 rng(77);
  const float alphas[] = {1.0f, 0.5f, 0.25f, 0.75f, 0.3f, 0.0f, -1.0f, 2.0f, 0.01f};
  for (int iter = 0; iter < 6000; ++iter)
  {
    TestBitmap dst = RandomBitmap(rng);
    const int mode = kModes[rng() % (sizeof(kModes) / sizeof(kModes[0]))];
    const float alpha = alphas[rng() % (sizeof(alphas) / sizeof(alphas[0]))];
    const int x = EdgeBiased(rng, dst.Width()), y = EdgeBiased(rng, dst.Height());
    const int w = EdgeBiased(rng, dst.Width()), h = EdgeBiased(rng, dst.Height());
    const LICE_PixelWord c = (LICE_PixelWord)rng();
    TestBitmap expect = dst;
    RefFill(expect, x, y, w, h, c, alpha, mode);
    LICE_FillBox(&dst, x, y, w, h, c, alpha, mode);
    ASSERT_EQ(dst.Memory(), expect.Memory())
        << iter << " box " << x << "," << y << " " << w << "x" << h << " mode " << mode
        << " alpha " << alpha;
  }
}
