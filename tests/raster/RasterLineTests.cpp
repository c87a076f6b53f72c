// LICE_DrawSegment: exact pixel sets of short lines, anti-aliasing weights,
// clipping against every edge and extreme coordinates.

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>

#include "TestBitmap.h"

namespace
{

const LICE_PixelWord kWhite = LICE_RGBA(255, 255, 255, 255);
using PixelSet = std::set<std::pair<int, int>>;

PixelSet Lit(TestBitmap& bm)
{
  PixelSet lit;
  for (int y = 0; y < bm.Height(); ++y)
    for (int x = 0; x < bm.Width(); ++x)
      if (bm.At(x, y)) lit.insert({ x, y });
  return lit;
}

// Pixels of a white line on a black w x h bitmap with two padding words per row.
PixelSet Draw(int w, int h, bool bottomUp, int x1, int y1, int x2, int y2)
{
  TestBitmap bm(w, h, w + 2, bottomUp);
  LICE_DrawSegment(&bm, x1, y1, x2, y2, kWhite, 1.0f, LICE_MODE_COPY, false);
  for (int y = 0; y < h; ++y)
    for (int x = w; x < w + 2; ++x) EXPECT_EQ(bm.Memory()[y * (w + 2) + x], 0u) << "padding";
  return Lit(bm);
}

}  // namespace

TEST(RasterSegment, ExactPixelSets)
{
  PixelSet row, anti;
  for (int x = 0; x < 10; ++x) row.insert({ x, 5 });
  for (int i = 0; i < 6; ++i) anti.insert({ 5 - i, i });
  EXPECT_EQ(Draw(10, 8, false, -10, 5, 20, 5), row);
  EXPECT_EQ(Draw(5, 6, true, 2, 4, 2, 100), (PixelSet{ { 2, 4 }, { 2, 5 } }));
  EXPECT_EQ(Draw(5, 6, false, 2, 4, 2, 100), (PixelSet{ { 2, 4 }, { 2, 5 } }));
  EXPECT_EQ(Draw(6, 6, false, 0, 0, 4, 2), (PixelSet{ { 0, 0 }, { 1, 1 }, { 2, 1 }, { 3, 1 }, { 4, 2 } }));
  EXPECT_EQ(Draw(6, 6, false, 5, 0, 0, 5), anti);
}

TEST(RasterSegment, RunWeights)
{
  TestBitmap bm(3, 1, 3, false);
  const LICE_PixelWord c = LICE_RGBA(3, 3, 3, 3);
  for (int x = 0; x < 3; ++x) bm.At(x, 0) = LICE_RGBA(1, 1, 1, 1);
  LICE_DrawSegment(&bm, 0, 0, 0, 0, c, 0.5f, LICE_MODE_COPY, false);    // word halves
  LICE_DrawSegment(&bm, 1, 0, 1, 0, c, 0.502f, LICE_MODE_COPY, false);  // byte average
  LICE_DrawSegment(&bm, 2, 0, 2, 0, LICE_RGBA(200, 0, 0, 0), 1.0f, LICE_MODE_ADD, false);
  EXPECT_EQ(bm.At(0, 0), LICE_RGBA(1, 1, 1, 1));
  EXPECT_EQ(bm.At(1, 0), LICE_RGBA(2, 2, 2, 2));
  EXPECT_EQ(bm.At(2, 0), LICE_RGBA(201, 1, 1, 1));

  bm.At(0, 0) = LICE_RGBA(0, 255, 100, 0);
  LICE_DrawSegment(&bm, 0, 0, 0, 0, LICE_RGBA(255, 0, 100, 255), 0.75f, LICE_MODE_COPY, false);
  EXPECT_EQ(bm.At(0, 0), LICE_RGBA(127 + 63, 63, 50 + 25 + 25, 127 + 63));
}

TEST(RasterSegment, AntialiasedWeightsSplitAcrossNeighbours)
{
  TestBitmap bm(5, 2, 5, false);
  LICE_DrawSegment(&bm, 0, 0, 4, 1, kWhite, 1.0f, LICE_MODE_COPY, true);
  // Ends at full weight, then 191/64 and 127/128 in the middle; white copied
  // onto black at weight w gives about w in every channel.
  const int want[2][5] = { { 255, 191, 127, 64, 0 }, { 0, 64, 128, 191, 255 } };
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x)
    {
      const int v = want[y][x];
      EXPECT_EQ(bm.At(x, y), LICE_RGBA(v, v, v, v)) << x << "," << y;
    }
}

TEST(RasterSegment, LinesOutsideDrawNothing)
{
  TestBitmap bm(8, 8, 8, false);
  LICE_DrawSegment(&bm, -5, -1, 20, -1, kWhite, 1.0f, 0, false);
  LICE_DrawSegment(&bm, -5, 0, -1, 7, kWhite, 1.0f, 0, true);
  LICE_DrawSegment(&bm, 8, 0, 30, 9, kWhite, 1.0f, 0, false);
  LICE_DrawSegment(&bm, -4, 3, 3, -4, kWhite, 1.0f, 0, false);  // passes the corner outside
  LICE_DrawSegment(&bm, 0, 0, 7, 7, kWhite, 0.0f, 0, false);
  LICE_DrawSegment(&bm, 0, 0, 7, 7, kWhite, 1.0f, 6, true);
  LICE_DrawSegment(nullptr, 0, 0, 7, 7, kWhite, 1.0f, 0, true);
  EXPECT_TRUE(Lit(bm).empty());
}

TEST(RasterSegment, ClippedLinesStayOnTheirLine)
{
  std::mt19937 rng(4242);
  for (int iter = 0; iter < 3000; ++iter)
  {
    const int w = 1 + (int)(rng() % 20), h = 1 + (int)(rng() % 20);
    TestBitmap bm(w, h, w + 1, (rng() & 1) != 0);
    const int x1 = EdgeBiased(rng, w), y1 = EdgeBiased(rng, h);
    const int x2 = EdgeBiased(rng, w), y2 = EdgeBiased(rng, h);
    LICE_DrawSegment(&bm, x1, y1, x2, y2, kWhite, 1.0f, LICE_MODE_COPY, (rng() & 1) != 0);

    for (int y = 0; y < h; ++y) ASSERT_EQ(bm.Memory()[(size_t)y * (w + 1) + w], 0u) << "padding";
    const double dx = (double)x2 - x1, dy = (double)y2 - y1, len = std::hypot(dx, dy);
    for (const auto& p : Lit(bm))
    {
      // Distance from the infinite line (or the point). Clipping truncates
      // each moved end toward zero, which may pull a shallow line a pixel or
      // two off its exact course.
      const double px = p.first - (double)x1, py = p.second - (double)y1;
      const double dist = len > 0 ? std::fabs(px * dy - py * dx) / len : std::hypot(px, py);
      ASSERT_LT(dist, 3.5) << iter << ": " << x1 << "," << y1 << " - " << x2 << "," << y2;
    }
    // Ends inside the bitmap are drawn.
    for (const auto& e : { std::make_pair(x1, y1), std::make_pair(x2, y2) })
    {
      if (e.first >= 0 && e.second >= 0 && e.first < w && e.second < h)
      {
        ASSERT_EQ(bm.At(e.first, e.second), kWhite) << iter;
      }
    }
  }
}

TEST(RasterSegment, BottomUpMatchesTopDown)
{
  std::mt19937 rng(8);
  for (int iter = 0; iter < 500; ++iter)
  {
    TestBitmap down = RandomBitmap(rng, 9, 7, 1), up = down.Flipped();
    const int x1 = (int)(rng() % 15) - 3, y1 = (int)(rng() % 13) - 3;
    const int x2 = (int)(rng() % 15) - 3, y2 = (int)(rng() % 13) - 3;
    const int mode = (int)(rng() % 6);
    const bool aa = (rng() & 1) != 0;
    const LICE_PixelWord c = (LICE_PixelWord)rng();
    for (TestBitmap* bm : { &down, &up }) LICE_DrawSegment(bm, x1, y1, x2, y2, c, 0.6f, mode, aa);
    ASSERT_EQ(up.Flipped().Memory(), down.Memory()) << iter;
  }
}
