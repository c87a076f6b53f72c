// Combine functions against the plain formulas, exhaustively where the space
// is small, plus hand-worked values.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "lice_combine.h"
#include "raster_test_util.h"

namespace {

using ChannelRef = int (*)(int x, int s, int w);

// Runs Op over every weight 0-256 and every (source, destination) byte pair
// on all four channels at once (each channel gets a different permutation of
// the values) and compares with the reference. Returns the mismatch count.
template <class Op>
long Exhaustive(ChannelRef ref, bool skipZeroWeight)
{
  long bad = 0;
  for (int w = skipZeroWeight ? 1 : 0; w <= 256; ++w)
    for (int s = 0; s < 256; ++s)
    {
      const int src[4] = {s, 255 - s, (s * 7) & 255, s ^ 0xA5};
      for (int x = 0; x < 256; ++x)
      {
        const int dst[4] = {x, 255 - x, (x * 13) & 255, x ^ 0x5A};
        LICE_PixelWord p = LICE_RGBA(dst[0], dst[1], dst[2], dst[3]);
        Op::Pix(lice::Bytes(&p), src[0], src[1], src[2], src[3], w);
        const int got[4] = {LICE_GETR(p), LICE_GETG(p), LICE_GETB(p), LICE_GETA(p)};
        for (int c = 0; c < 4; ++c)
          if (got[c] != ref(dst[c], src[c], w)) ++bad;
      }
    }
  return bad;
}

} // namespace

TEST(RasterCombine, IntegerHelpers)
{
  EXPECT_EQ(lice::DivTrunc(-1, 8), 0);
  EXPECT_EQ(lice::DivTrunc(-256, 8), -1);
  EXPECT_EQ(lice::DivTrunc(-257, 8), -1);
  EXPECT_EQ(lice::DivTrunc(-512, 8), -2);
  EXPECT_EQ(lice::DivTrunc(511, 8), 1);
  EXPECT_EQ(lice::ReciprocalTable.v[0], 0);
  EXPECT_EQ(lice::ReciprocalTable.v[1], 65535);
  EXPECT_EQ(lice::ReciprocalTable.v[2], 32767);
  EXPECT_EQ(lice::ReciprocalTable.v[255], 256);
  EXPECT_EQ(lice::WeightTrunc(0.4), 102);
  EXPECT_EQ(lice::WeightTrunc(-0.5), 0);
  EXPECT_EQ(lice::WeightTrunc(7.0), 256);
  EXPECT_EQ(lice::WeightRound(0.3), 77);
  EXPECT_EQ(lice::WeightRound(1.0 / 512), 1);
}

TEST(RasterCombine, PlainModesMatchFormulasExhaustively)
{
  EXPECT_EQ(Exhaustive<lice::Copy>(RefCopy, true), 0);
  EXPECT_EQ(Exhaustive<lice::Add>(RefAdd, false), 0);
  EXPECT_EQ(Exhaustive<lice::Dodge>(RefDodge, false), 0);
  EXPECT_EQ(Exhaustive<lice::Multiply>(RefMultiply, false), 0);
  EXPECT_EQ(Exhaustive<lice::Overlay>(RefOverlay, false), 0);
}

TEST(RasterCombine, SourceAlphaModesMatchFormulas)
{
  // Every weight and source alpha; colour pairs from the corners and a
  // seeded sample of the middle.
  std::mt19937 rng(17);
  std::vector<int> values = {0, 1, 128, 255};
  for (int i = 0; i < 2; ++i) values.push_back((int)(rng() & 255));

  long bad = 0;
  for (int mode = 0; mode <= 5; ++mode)
    for (int w = 1; w <= 256; ++w)
      for (int a = 0; a < 256; ++a)
        for (int s : values)
          for (int x : values)
          {
            const LICE_PixelWord d = LICE_RGBA(x, 255 - x, x ^ 0x33, 255 - s);
            LICE_PixelWord got = d;
            lice::DispatchCombine(mode, true, w, [&](auto op) {
              decltype(op)::Pix(lice::Bytes(&got), s, 255 - s, x, a, w);
            });
            if (got != RefCombine(d, s, 255 - s, x, a, w, mode, true)) ++bad;
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
        LICE_PixelWord got = d;
        lice::CopySAFull::Pix(lice::Bytes(&got), s, 255 - s, x, a, 256);
        if (got != RefCombine(d, s, 255 - s, x, a, 256, 0, true)) ++bad;
      }
  EXPECT_EQ(bad, 0);
}

TEST(RasterCombine, SourceAlphaCopyHandValues)
{
  // Alpha 128 at full weight: RGB moves 129/256 of the way, truncating
  // toward zero on the negative products too.
  LICE_PixelWord p = LICE_RGBA(200, 0, 50, 100);
  lice::CopySAFull::Pix(lice::Bytes(&p), 100, 255, 50, 128, 256);
  EXPECT_EQ(LICE_GETR(p), 149); // 100 + 100 * 127 / 256
  EXPECT_EQ(LICE_GETG(p), 129); // 255 - 32385 / 256 = 255 - 126
  EXPECT_EQ(LICE_GETB(p), 50);
  EXPECT_EQ(LICE_GETA(p), 228);

  p = LICE_RGBA(1, 2, 3, 200);
  lice::CopySAFull::Pix(lice::Bytes(&p), 9, 9, 9, 128, 256);
  EXPECT_EQ(LICE_GETA(p), 255);

  p = LICE_RGBA(1, 2, 3, 4);
  lice::CopySAFull::Pix(lice::Bytes(&p), 9, 9, 9, 0, 256);
  EXPECT_EQ(p, LICE_RGBA(1, 2, 3, 4));
  lice::CopySAFull::Pix(lice::Bytes(&p), 9, 8, 7, 255, 256);
  EXPECT_EQ(p, LICE_RGBA(9, 8, 7, 255));
}

TEST(RasterCombine, DodgeSaturates)
{
  // k = 255 > 254: any non-zero channel saturates, zero stays zero.
  LICE_PixelWord p = LICE_RGBA(1, 0, 200, 0);
  lice::Dodge::Pix(lice::Bytes(&p), 255, 255, 255, 0, 256);
  EXPECT_EQ(p, LICE_RGBA(255, 0, 255, 0));
}

TEST(RasterCombine, HsvAdjustHandValues)
{
  // Pure red turned by 190 of 384 hue steps lands in the third sector.
  LICE_PixelWord p = LICE_RGBA(255, 0, 0, 10);
  lice::HsvAdjust::Pix(lice::Bytes(&p), 255, 128, 128, 77, 256);
  EXPECT_EQ(p, LICE_RGBA(0, 255, 247, 77));

  p = LICE_RGBA(0, 255, 0, 10);
  lice::HsvAdjust::Pix(lice::Bytes(&p), 128, 128, 128, 200, 256);
  EXPECT_EQ(p, LICE_RGBA(0, 255, 0, 200));

  // Value and saturation steered by blue and green: half value, no
  // saturation left.
  p = LICE_RGBA(200, 100, 50, 0);
  lice::HsvAdjust::Pix(lice::Bytes(&p), 128, 0, 28, 255, 256);
  EXPECT_EQ(p, LICE_RGBA(0, 0, 0, 255)); // val = clamp(200 - 200) = 0
}

TEST(RasterCombine, HsvAdjustMatchesFormulaOnSamples)
{
  std::mt19937 rng(5);
  long bad = 0;
  for (int i = 0; i < 400000; ++i)
  {
    const LICE_PixelWord d = (LICE_PixelWord)rng();
    const int r = (int)(rng() & 255), g = (int)(rng() & 255), b = (int)(rng() & 255),
              a = (int)(rng() & 255);
    const int w = (int)(rng() % 257);
    LICE_PixelWord got = d;
    lice::HsvAdjust::Pix(lice::Bytes(&got), r, g, b, a, w);
    if (got != RefCombine(d, r, g, b, a, w, 5, false)) ++bad;
  }
  EXPECT_EQ(bad, 0);
}

TEST(RasterCombine, HsvAdjustNeutralSourceKeepsColour)
{
  // Source 128/128/128 changes nothing but the conversion's rounding.
  int worst = 0;
  for (int R = 0; R < 256; R += 3)
    for (int G = 0; G < 256; G += 3)
      for (int B = 0; B < 256; B += 3)
        for (int w : {1, 128, 256})
        {
          LICE_PixelWord p = LICE_RGBA(R, G, B, 0);
          lice::HsvAdjust::Pix(lice::Bytes(&p), 128, 128, 128, 33, w);
          ASSERT_EQ(LICE_GETA(p), 33);
          const int e = std::max({std::abs(LICE_GETR(p) - R), std::abs(LICE_GETG(p) - G),
                                  std::abs(LICE_GETB(p) - B)});
          worst = std::max(worst, e);
        }
  EXPECT_LE(worst, 5); // the worst over every colour
}
