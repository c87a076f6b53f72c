// Heap and system bitmaps: geometry, alignment, growth and refusal of sizes
// that do not fit.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "lice.h"

namespace {

bool Aligned64(const void* p)
{
  return (reinterpret_cast<uintptr_t>(p) & 63) == 0;
}

} // namespace

TEST(RasterBitmap, MemBitmapGeometryAndGrowth)
{
  LICE_MemBitmap bm(0, 0, 4);
  EXPECT_EQ(bm.PixelData(), nullptr);
  EXPECT_TRUE(bm.Resize(10, 3));
  EXPECT_EQ(bm.Width(), 10);
  EXPECT_EQ(bm.Height(), 3);
  EXPECT_EQ(bm.RowSpan(), 12);
  EXPECT_EQ(bm.AllocatedBytes(), 144);
  EXPECT_TRUE(Aligned64(bm.PixelData()));
  EXPECT_FALSE(bm.IsBottomUp());
  EXPECT_EQ(bm.PlatformContext(), nullptr);
  EXPECT_EQ(bm.Extension(0x59555678, nullptr), 0);

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
  EXPECT_EQ(bm.PixelData(), kept);

  EXPECT_TRUE(bm.Resize(0, 5));
  EXPECT_EQ(bm.Width(), 0);
  EXPECT_EQ(bm.Height(), 0);
  EXPECT_EQ(bm.PixelData(), nullptr);
  EXPECT_EQ(bm.AllocatedBytes(), 0);
}

TEST(RasterBitmap, MemBitmapAlignmentArgument)
{
  struct Case
  {
    unsigned alignment;
    int span;
  } cases[] = {{0, 5}, {1, 5}, {2, 6}, {3, 5}, {4, 8}, {6, 6}, {16, 16}, {48, 16}, {64, 16}};
  for (const Case& c : cases)
  {
    LICE_MemBitmap bm(5, 2, c.alignment);
    EXPECT_EQ(bm.RowSpan(), c.span) << "alignment " << c.alignment;
  }
}

TEST(RasterBitmap, MemBitmapRefusesSizesBeyondIntBytes)
{
  LICE_MemBitmap bm(4, 4);
  EXPECT_TRUE(bm.Resize(100000, 100000));
  EXPECT_EQ(bm.Width(), 0);
  EXPECT_EQ(bm.PixelData(), nullptr);
  EXPECT_TRUE(bm.Resize(INT_MAX, 1));
  EXPECT_EQ(bm.Width(), 0);
  EXPECT_TRUE(bm.Resize(1, INT_MAX));
  EXPECT_EQ(bm.Height(), 0);
  EXPECT_TRUE(bm.Resize(-3, 7));
  EXPECT_EQ(bm.Width(), 0);
  EXPECT_EQ(bm.Height(), 0);
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

  LICE_PixelWord* surface = bm.PixelData();
  EXPECT_TRUE(bm.Resize(90, 40));
  EXPECT_EQ(bm.Width(), 90);
  EXPECT_EQ(bm.Height(), 40);
  EXPECT_EQ(bm.RowSpan(), 100);
  EXPECT_EQ(bm.PixelData(), surface);
  EXPECT_FALSE(bm.Resize(90, 40));

  EXPECT_TRUE(bm.Resize(101, 50));
  EXPECT_EQ(bm.RowSpan(), 104);
  EXPECT_TRUE(Aligned64(bm.PixelData()));
  for (int i = 0; i < 104 * 50; ++i) bm.PixelData()[i] = 1;

  EXPECT_TRUE(bm.Resize(7, 1));
  EXPECT_EQ(bm.RowSpan(), 104);
}

TEST(RasterBitmap, SysBitmapEmptyAndHugeSizes)
{
  LICE_SysBitmap bm;
  EXPECT_EQ(bm.Width(), 0);
  EXPECT_EQ(bm.PixelData(), nullptr);
  EXPECT_TRUE(bm.Resize(3, 3));
  EXPECT_EQ(bm.RowSpan(), 4);

  EXPECT_FALSE(bm.Resize(0, 10));
  EXPECT_EQ(bm.Width(), 0);
  EXPECT_EQ(bm.Height(), 0);
  EXPECT_EQ(bm.PixelData(), nullptr);

  EXPECT_FALSE(bm.Resize(-8, 10));
  EXPECT_EQ(bm.Width(), 0);

  bm.Resize(INT_MAX, 2);
  EXPECT_EQ(bm.Width(), 0);
  EXPECT_EQ(bm.PixelData(), nullptr);
  bm.Resize(70000, 70000);
  EXPECT_EQ(bm.Width(), 0);
  EXPECT_EQ(bm.RowSpan(), 0);
}

TEST(RasterBitmap, SysBitmapCarriesAttachedContext)
{
  LICE_SysBitmap bm(8, 8);
  EXPECT_EQ(bm.PlatformContext(), nullptr);
  int context = 0;
  bm.SetPlatformContext(&context);
  bm.Resize(200, 10);
  EXPECT_EQ(bm.PlatformContext(), &context);
  LICE_IBitmap& base = bm;
  EXPECT_EQ(base.PlatformContext(), &context);
  EXPECT_EQ(base.Extension(0x51B7000, nullptr), 0);
}

TEST(RasterBitmap, PixelWordByteOrder)
{
  const LICE_PixelWord p = LICE_RGBA(10, 20, 30, 40);
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&p);
  EXPECT_EQ(b[LICE_PIXEL_R], 10);
  EXPECT_EQ(b[LICE_PIXEL_G], 20);
  EXPECT_EQ(b[LICE_PIXEL_B], 30);
  EXPECT_EQ(b[LICE_PIXEL_A], 40);
  EXPECT_EQ(LICE_GETR(p), 10);
  EXPECT_EQ(LICE_GETG(p), 20);
  EXPECT_EQ(LICE_GETB(p), 30);
  EXPECT_EQ(LICE_GETA(p), 40);
#if !defined(__APPLE__)
  EXPECT_EQ(p, 0x280A141Eu); // alpha<<24 | red<<16 | green<<8 | blue
#endif
}
