// Combine functions against the plain formulas, exhaustively where the space
// is small, plus hand-worked values.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "lice_combine.h"
#include "RefCombine.h"

namespace
{

// Applies Op to one pixel and returns the result.
template <class Op> LICE_PixelWord Apply(LICE_PixelWord p, int r, int g, int b, int a, int w)
{
  Op::Pix(lice::Bytes(&p), r, g, b, a, w);
  return p;
}

// Every weight and every (source, destination) byte pair, on all four
// channels at once (each channel a different permutation). Mismatch count.
template <class Op> long Exhaustive(int (*ref)(int x, int s, int w), int firstWeight)
{
  long bad = 0;
  for (int w = firstWeight; w <= 256; ++w)
    for (int s = 0; s < 256; ++s)
    {
      const int src[4] = { s, 255 - s, (s * 7) & 255, s ^ 0xA5 };
      for (int x = 0; x < 256; ++x)
      {
        const int dst[4] = { x, 255 - x, (x * 13) & 255, x ^ 0x5A };
        const LICE_PixelWord p =
            Apply<Op>(LICE_RGBA(dst[0], dst[1], dst[2], dst[3]), src[0], src[1], src[2], src[3], w);
        const int got[4] = { LICE_GETR(p), LICE_GETG(p), LICE_GETB(p), LICE_GETA(p) };
        for (int c = 0; c < 4; ++c) bad += got[c] != ref(dst[c], src[c], w);
      }
    }
  return bad;
}

}  // namespace

TEST(RasterCombine, WeightConversions)
{
  EXPECT_EQ(lice::WeightTrunc(0.4), 102);
  EXPECT_EQ(lice::WeightTrunc(-0.5), 0);
  EXPECT_EQ(lice::WeightTrunc(7.0), 256);
  EXPECT_EQ(lice::WeightRound(0.3), 77);
  EXPECT_EQ(lice::WeightRound(1.0 / 512), 1);
}

TEST(RasterCombine, PlainModesMatchFormulasExhaustively)
{
  EXPECT_EQ(Exhaustive<lice::Copy>(RefCopy, 1), 0);
  EXPECT_EQ(Exhaustive<lice::Add>(RefAdd, 0), 0);
  EXPECT_EQ(Exhaustive<lice::Dodge>(RefDodge, 0), 0);
  EXPECT_EQ(Exhaustive<lice::Multiply>(RefMultiply, 0), 0);
  EXPECT_EQ(Exhaustive<lice::Overlay>(RefOverlay, 0), 0);
}

TEST(RasterCombine, SourceAlphaModesMatchFormulas)
{
  // Every weight and source alpha; colours from the corners and a seeded
  // sample of the middle.
  std::mt19937 rng(17);
  const int values[] = { 0, 1, 128, 255, (int)(rng() & 255), (int)(rng() & 255) };
  long bad = 0;
  for (int mode = 0; mode <= 5; ++mode)
    for (int w = 1; w <= 256; ++w)
      for (int a = 0; a < 256; ++a)
        for (int s : values)
          for (int x : values)
          {
            const LICE_PixelWord d = LICE_RGBA(x, 255 - x, x ^ 0x33, 255 - s);
            LICE_PixelWord got = d;
            lice::DispatchCombine(
                mode, true, w, [&](auto op) { decltype(op)::Pix(lice::Bytes(&got), s, 255 - s, x, a, w); });
            bad += got != RefCombine(d, s, 255 - s, x, a, w, mode, true);
          }
  EXPECT_EQ(bad, 0);
}

TEST(RasterCombine, FullWeightSourceAlphaCopyExhaustively)
{
  long bad = 0;
  for (int a = 0; a < 256; ++a)
    for (int s = 0; s < 256; ++s)
      for (int x = 0; x < 256; ++x)
      {
        const LICE_PixelWord d = LICE_RGBA(x, 255 - x, s, x);
        bad += Apply<lice::CopySAFull>(d, s, 255 - s, x, a, 256) !=
               RefCombine(d, s, 255 - s, x, a, 256, 0, true);
      }
  EXPECT_EQ(bad, 0);

  // Alpha 128: RGB moves 129/256 of the way, truncating toward zero on the
  // negative products too; alpha adds and saturates; 0 and 255 are exact.
  using SA = lice::CopySAFull;
  EXPECT_EQ(Apply<SA>(LICE_RGBA(200, 0, 50, 100), 100, 255, 50, 128, 256), LICE_RGBA(149, 129, 50, 228));
  EXPECT_EQ(LICE_GETA(Apply<SA>(LICE_RGBA(1, 2, 3, 200), 9, 9, 9, 128, 256)), 255);
  EXPECT_EQ(Apply<SA>(LICE_RGBA(1, 2, 3, 4), 9, 9, 9, 0, 256), LICE_RGBA(1, 2, 3, 4));
  EXPECT_EQ(Apply<SA>(LICE_RGBA(1, 2, 3, 4), 9, 8, 7, 255, 256), LICE_RGBA(9, 8, 7, 255));
}

TEST(RasterCombine, HsvAdjust)
{
  using Hsv = lice::HsvAdjust;
  // Pure red turned by 190 of 384 hue steps lands in the third sector.
  EXPECT_EQ(Apply<Hsv>(LICE_RGBA(255, 0, 0, 10), 255, 128, 128, 77, 256), LICE_RGBA(0, 255, 247, 77));
  EXPECT_EQ(Apply<Hsv>(LICE_RGBA(0, 255, 0, 10), 128, 128, 128, 200, 256), LICE_RGBA(0, 255, 0, 200));
  // Blue halves the value to nothing, green drops all saturation.
  EXPECT_EQ(Apply<Hsv>(LICE_RGBA(200, 100, 50, 0), 128, 0, 28, 255, 256), LICE_RGBA(0, 0, 0, 255));

  std::mt19937 rng(5);
  long bad = 0;
  for (int i = 0; i < 400000; ++i)
  {
    const LICE_PixelWord d = (LICE_PixelWord)rng();
    const int r = (int)(rng() & 255), g = (int)(rng() & 255), b = (int)(rng() & 255);
    const int a = (int)(rng() & 255), w = (int)(rng() % 257);
    bad += Apply<Hsv>(d, r, g, b, a, w) != RefCombine(d, r, g, b, a, w, 5, false);
  }
  EXPECT_EQ(bad, 0);

  // A neutral 128/128/128 source changes nothing but the conversion's rounding.
  int worst = 0;
  for (int R = 0; R < 256; R += 3)
    for (int G = 0; G < 256; G += 3)
      for (int B = 0; B < 256; B += 3)
        for (int w : { 1, 128, 256 })
        {
          const LICE_PixelWord p = Apply<Hsv>(LICE_RGBA(R, G, B, 0), 128, 128, 128, 33, w);
          ASSERT_EQ(LICE_GETA(p), 33);
          worst = std::max(
              { worst, std::abs(LICE_GETR(p) - R), std::abs(LICE_GETG(p) - G), std::abs(LICE_GETB(p) - B) });
        }
  EXPECT_LE(worst, 5);
}
