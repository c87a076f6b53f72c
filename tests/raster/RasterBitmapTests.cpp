// Heap and system bitmaps: geometry, alignment, growth and refusal of sizes
// that do not fit.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "lice.h"

namespace
{

bool Aligned64(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 63) == 0; }

}  // namespace

TEST(RasterBitmap, MemBitmapGeometryAndGrowth)
{
  LICE_MemBitmap bm(0, 0, 4);
  EXPECT_EQ(bm.PixelData(), nullptr);
  EXPECT_TRUE(bm.Resize(10, 3));
  EXPECT_EQ(bm.RowSpan(), 12);
  EXPECT_EQ(bm.AllocatedBytes(), 144);
  EXPECT_TRUE(Aligned64(bm.PixelData()));

  // Growth keeps a quarter of head-room; a later fit reuses the buffer.
  EXPECT_TRUE(bm.Resize(20, 3));
  EXPECT_EQ(bm.AllocatedBytes(), 300);
  EXPECT_TRUE(Aligned64(bm.PixelData()));
  LICE_PixelWord* kept = bm.PixelData();
  EXPECT_TRUE(bm.Resize(22, 3));
  EXPECT_EQ(bm.RowSpan(), 24);
  EXPECT_EQ(bm.AllocatedBytes(), 300);
  EXPECT_EQ(bm.PixelData(), kept);
  // Every pixel of the new geometry is writable (the sanitizer watches).
  for (int i = 0; i < bm.RowSpan() * bm.Height(); ++i) bm.PixelData()[i] = 0;
  EXPECT_FALSE(bm.Resize(22, 3));

  EXPECT_TRUE(bm.Resize(0, 5));
  EXPECT_EQ(bm.Height(), 0);
  EXPECT_EQ(bm.PixelData(), nullptr);
  EXPECT_EQ(bm.AllocatedBytes(), 0);

  // Row padding follows the lowest set bit of the alignment, at most 16.
  const unsigned alignment[] = { 0, 1, 2, 3, 4, 6, 16, 48, 64 };
  const int span[] = { 5, 5, 6, 5, 8, 6, 16, 16, 16 };
  for (int i = 0; i < 9; ++i)
    EXPECT_EQ(LICE_MemBitmap(5, 2, alignment[i]).RowSpan(), span[i]) << alignment[i];
}

TEST(RasterBitmap, MemBitmapRefusesSizesBeyondIntBytes)
{
  const int sizes[][2] = { { 100000, 100000 }, { INT_MAX, 1 }, { 1, INT_MAX }, { -3, 7 } };
  for (const auto& s : sizes)
  {
    LICE_MemBitmap bm(4, 4);
    EXPECT_TRUE(bm.Resize(s[0], s[1]));
    EXPECT_EQ(bm.Width(), 0);
    EXPECT_EQ(bm.Height(), 0);
    EXPECT_EQ(bm.PixelData(), nullptr);
  }
  // A buffer that cannot grow to a huge size must not be reused for it.
  LICE_MemBitmap small(16, 16);
  EXPECT_TRUE(small.Resize(1 << 15, 1 << 15));
  EXPECT_EQ(small.PixelData(), nullptr);
}

TEST(RasterBitmap, SysBitmapKeepsSurfaceWhileItFits)
{
  LICE_SysBitmap bm(100, 50);
  EXPECT_EQ(bm.RowSpan(), 100);
  ASSERT_NE(bm.PixelData(), nullptr);
  EXPECT_TRUE(Aligned64(bm.PixelData()));
  for (int i = 0; i < 100 * 50; ++i) ASSERT_EQ(bm.PixelData()[i], 0u);

    // The drawing context stays across resizes.
#if defined(_WIN32)
  void* context = bm.PlatformContext();
  ASSERT_NE(context, nullptr);
#else
  int context = 0;
  bm.SetPlatformContext(&context);
#endif
  LICE_PixelWord* surface = bm.PixelData();
  EXPECT_TRUE(bm.Resize(90, 40));
  EXPECT_EQ(bm.Width(), 90);
  EXPECT_EQ(bm.Height(), 40);
  EXPECT_EQ(bm.RowSpan(), 100);
  EXPECT_EQ(bm.PixelData(), surface);
  EXPECT_FALSE(bm.Resize(90, 40));

  // One row or one pixel more than the surface holds: a new surface.
  EXPECT_TRUE(bm.Resize(100, 51));
  for (int i = 0; i < 100 * 51; ++i) bm.PixelData()[i] = 1;
  EXPECT_TRUE(bm.Resize(101, 50));
  EXPECT_EQ(bm.RowSpan(), 104);
  EXPECT_TRUE(Aligned64(bm.PixelData()));
  for (int i = 0; i < 104 * 50; ++i) bm.PixelData()[i] = 1;
  EXPECT_TRUE(bm.Resize(7, 1));
  EXPECT_EQ(bm.RowSpan(), 104);
#if defined(_WIN32)
  EXPECT_EQ(bm.PlatformContext(), context);
#else
  EXPECT_EQ(static_cast<LICE_IBitmap&>(bm).PlatformContext(), &context);
#endif
}

TEST(RasterBitmap, SysBitmapEmptyAndHugeSizes)
{
  EXPECT_EQ(LICE_SysBitmap().PixelData(), nullptr);
  const int sizes[][2] = { { 0, 10 }, { -8, 10 }, { INT_MAX, 2 }, { 70000, 70000 } };
  for (const auto& s : sizes)
  {
    LICE_SysBitmap bm(3, 3);
    EXPECT_EQ(bm.RowSpan(), 4);
    bm.Resize(s[0], s[1]);
    EXPECT_EQ(bm.Width(), 0);
    EXPECT_EQ(bm.Height(), 0);
    EXPECT_EQ(bm.RowSpan(), 0);
    EXPECT_EQ(bm.PixelData(), nullptr);
  }
}
