// LICE_DrawSegment: exact pixel sets of short lines, anti-aliasing weights,
// clipping against every edge and extreme coordinates.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>
#include <utility>

#include "raster_test_util.h"

namespace {

const LICE_PixelWord kWhite = LICE_RGBA(255, 255, 255, 255);

std::set<std::pair<int, int>> Lit(TestBitmap& bm)
{
  std::set<std::pair<int, int>> lit;
  for (int y = 0; y < bm.Height(); ++y)
    for (int x = 0; x < bm.Width(); ++x)
      if (bm.At(x, y)) lit.insert({x, y});
  return lit;
}

int EdgeBiasedCoord(std::mt19937& rng, int n)
{
  switch (rng() % 10)
  {
    case 0: return INT_MIN;
    case 1: return INT_MAX;
    case 2: return -1;
    case 3: return n;
    case 4: return -1000000 + (int)(rng() % 3);
    default: return (int)(rng() % (unsigned)(3 * n)) - n;
  }
}

} // namespace

TEST(RasterSegment, HorizontalRunClippedToWidth)
{
  TestBitmap bm(10, 8, 12, false);
  LICE_DrawSegment(&bm, -10, 5, 20, 5, kWhite, 1.0f, LICE_MODE_COPY, false);
  std::set<std::pair<int, int>> want;
  for (int x = 0; x < 10; ++x) want.insert({x, 5});
  EXPECT_EQ(Lit(bm), want);
  for (int y = 0; y < 8; ++y)
    for (int x = 10; x < 12; ++x) EXPECT_EQ(bm.Memory()[y * 12 + x], 0u) << "padding";
}

TEST(RasterSegment, VerticalRunOnBottomUpBitmap)
{
  TestBitmap up(5, 6, 5, true), down(5, 6, 5, false);
  LICE_DrawSegment(&up, 2, 4, 2, 100, kWhite, 1.0f, LICE_MODE_COPY, false);
  LICE_DrawSegment(&down, 2, 4, 2, 100, kWhite, 1.0f, LICE_MODE_COPY, false);
  const std::set<std::pair<int, int>> want = {{2, 4}, {2, 5}};
  EXPECT_EQ(Lit(up), want);
  EXPECT_EQ(Lit(down), want);
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

TEST(RasterSegment, SlopedLinesMeetInTheMiddle)
{
  TestBitmap bm(6, 6, 6, false);
  LICE_DrawSegment(&bm, 0, 0, 4, 2, kWhite, 1.0f, LICE_MODE_COPY, false);
  const std::set<std::pair<int, int>> shallow = {{0, 0}, {1, 1}, {2, 1}, {3, 1}, {4, 2}};
  EXPECT_EQ(Lit(bm), shallow);

  TestBitmap diag(6, 6, 6, false);
  LICE_DrawSegment(&diag, 5, 0, 0, 5, kWhite, 1.0f, LICE_MODE_COPY, false);
  std::set<std::pair<int, int>> anti;
  for (int i = 0; i < 6; ++i) anti.insert({5 - i, i});
  EXPECT_EQ(Lit(diag), anti);
}

TEST(RasterSegment, AntialiasedWeightsSplitAcrossNeighbours)
{
  TestBitmap bm(5, 2, 5, false);
  LICE_DrawSegment(&bm, 0, 0, 4, 1, kWhite, 1.0f, LICE_MODE_COPY, true);
  // Ends at full weight; then 191/64, and 127/128 in the middle; a white
  // copy onto black at weight w gives about w in every channel.
  auto grey = [](int v) { return LICE_RGBA(v, v, v, v); };
  EXPECT_EQ(bm.At(0, 0), kWhite);
  EXPECT_EQ(bm.At(4, 1), kWhite);
  EXPECT_EQ(bm.At(1, 0), grey(191));
  EXPECT_EQ(bm.At(1, 1), grey(64));
  EXPECT_EQ(bm.At(3, 1), grey(191));
  EXPECT_EQ(bm.At(3, 0), grey(64));
  EXPECT_EQ(bm.At(2, 0), grey(127));
  EXPECT_EQ(bm.At(2, 1), grey(128));
  EXPECT_EQ(bm.At(0, 1), 0u);
  EXPECT_EQ(bm.At(4, 0), 0u);
}

TEST(RasterSegment, LinesOutsideDrawNothing)
{
  TestBitmap bm(8, 8, 8, false);
  LICE_DrawSegment(&bm, -5, -1, 20, -1, kWhite, 1.0f, 0, false);
  LICE_DrawSegment(&bm, -5, 0, -1, 7, kWhite, 1.0f, 0, true);
  LICE_DrawSegment(&bm, 8, 0, 30, 9, kWhite, 1.0f, 0, false);
  LICE_DrawSegment(&bm, -4, 3, 3, -4, kWhite, 1.0f, 0, false); // passes the corner outside
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
    const int x1 = EdgeBiasedCoord(rng, w), y1 = EdgeBiasedCoord(rng, h);
    const int x2 = EdgeBiasedCoord(rng, w), y2 = EdgeBiasedCoord(rng, h);
    const bool aa = (rng() & 1) != 0;
    LICE_DrawSegment(&bm, x1, y1, x2, y2, kWhite, 1.0f, LICE_MODE_COPY, aa);

    for (int y = 0; y < h; ++y) ASSERT_EQ(bm.Memory()[(size_t)y * (w + 1) + w], 0u) << "padding";
    const double dx = (double)x2 - x1, dy = (double)y2 - y1;
    const double len = std::sqrt(dx * dx + dy * dy);
    for (const auto& p : Lit(bm))
    {
      // Perpendicular distance from the infinite line (or from the point).
      const double px = p.first - (double)x1, py = p.second - (double)y1;
      const double dist = len > 0 ? std::fabs(px * dy - py * dx) / len : std::hypot(px, py);
      // Clipping truncates each moved end toward zero, which may pull a
      // shallow line a pixel or two off its exact course.
      ASSERT_LT(dist, 3.5) << iter << ": " << x1 << "," << y1 << " - " << x2 << "," << y2
                           << " lit " << p.first << "," << p.second;
    }
    const bool inside1 = x1 >= 0 && y1 >= 0 && x1 < w && y1 < h;
    const bool inside2 = x2 >= 0 && y2 >= 0 && x2 < w && y2 < h;
    if (inside1)
    {
      ASSERT_EQ(bm.At(x1, y1), kWhite) << iter;
    }
    if (inside2)
    {
      ASSERT_EQ(bm.At(x2, y2), kWhite) << iter;
    }
  }
}

TEST(RasterSegment, BottomUpMatchesTopDown)
{
  std::mt19937 rng(8);
  for (int iter = 0; iter < 500; ++iter)
  {
    TestBitmap down(9, 7, 9, false), up(9, 7, 9, true);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 9; ++x) down.At(x, y) = up.At(x, y) = (LICE_PixelWord)rng();
    const int x1 = (int)(rng() % 15) - 3, y1 = (int)(rng() % 13) - 3;
    const int x2 = (int)(rng() % 15) - 3, y2 = (int)(rng() % 13) - 3;
    const int mode = (int)(rng() % 6);
    const bool aa = (rng() & 1) != 0;
    const LICE_PixelWord c = (LICE_PixelWord)rng();
    LICE_DrawSegment(&down, x1, y1, x2, y2, c, 0.6f, mode, aa);
    LICE_DrawSegment(&up, x1, y1, x2, y2, c, 0.6f, mode, aa);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 9; ++x) ASSERT_EQ(down.At(x, y), up.At(x, y)) << iter;
  }
}
