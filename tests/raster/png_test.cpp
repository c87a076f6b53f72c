// PNG loading of images the tests encode themselves with libpng: every
// colour type the editor could meet, interlacing, truncation, corruption,
// oversized headers and loading into existing bitmaps.

#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "raster_test_util.h"

namespace {

struct PngLayout
{
  int width = 1, height = 1;
  int colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  int bitDepth = 8;
  bool interlaced = false;
  std::vector<png_color> palette;
  std::vector<png_byte> paletteAlpha; // tRNS for palette images
};

void AppendBytes(png_structp png, png_bytep data, size_t length)
{
  auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

// Encodes packed rows (libpng's own row format for the given type and depth).
std::vector<unsigned char> Encode(const PngLayout& layout, const std::vector<std::vector<png_byte>>& rows)
{
  std::vector<unsigned char> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)))
  {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "encoding failed";
    return {};
  }
  png_set_write_fn(png, &out, AppendBytes, NoFlush);
  png_set_IHDR(png, info, layout.width, layout.height, layout.bitDepth, layout.colourType,
               layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!layout.palette.empty())
    png_set_PLTE(png, info, layout.palette.data(), (int)layout.palette.size());
  if (!layout.paletteAlpha.empty())
    png_set_tRNS(png, info, layout.paletteAlpha.data(), (int)layout.paletteAlpha.size(), nullptr);
  std::vector<png_bytep> pointers;
  for (const auto& r : rows) pointers.push_back(const_cast<png_bytep>(r.data()));
  png_write_info(png, info);
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// RGBA8 image of seeded random pixels and its encoding.
std::vector<unsigned char> RandomRgba(int w, int h, bool interlaced, std::vector<png_byte>* pixels)
{
  std::mt19937 rng(w * 1000 + h);
  PngLayout layout;
  layout.width = w;
  layout.height = h;
  layout.interlaced = interlaced;
  std::vector<std::vector<png_byte>> rows(h, std::vector<png_byte>((size_t)w * 4));
  for (auto& r : rows)
    for (auto& b : r) b = (png_byte)rng();
  if (pixels)
    for (const auto& r : rows) pixels->insert(pixels->end(), r.begin(), r.end());
  return Encode(layout, rows);
}

std::unique_ptr<LICE_IBitmap> Load(const std::vector<unsigned char>& bytes)
{
  return std::unique_ptr<LICE_IBitmap>(
      LICE_ReadPngMemory(bytes.data(), (int)bytes.size(), nullptr));
}

LICE_PixelWord PixelAt(LICE_IBitmap* bm, int x, int y)
{
  const int row = bm->IsBottomUp() ? bm->Height() - 1 - y : y;
  return bm->PixelData()[(size_t)row * bm->RowSpan() + x];
}

void ExpectMatchesRgba(LICE_IBitmap* bm, const std::vector<png_byte>& rgba, int w, int h)
{
  ASSERT_EQ(bm->Width(), w);
  ASSERT_EQ(bm->Height(), h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      const png_byte* p = &rgba[((size_t)y * w + x) * 4];
      ASSERT_EQ(PixelAt(bm, x, y), LICE_RGBA(p[0], p[1], p[2], p[3])) << x << "," << y;
    }
}

std::string TempPath(const char* name)
{
  return testing::TempDir() + name;
}

bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
  FILE* fp = fopen(path.c_str(), "wb");
  if (!fp) return false;
  const bool ok = fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size();
  return fclose(fp) == 0 && ok;
}

void PutU32(unsigned char* p, uint32_t v)
{
  p[0] = (unsigned char)(v >> 24);
  p[1] = (unsigned char)(v >> 16);
  p[2] = (unsigned char)(v >> 8);
  p[3] = (unsigned char)v;
}

// A valid 1 x 1 RGBA image whose header is rewritten to claim w x h (the
// header CRC is recomputed, so only the size is a lie).
std::vector<unsigned char> WithClaimedSize(uint32_t w, uint32_t h)
{
  std::vector<unsigned char> bytes = RandomRgba(1, 1, false, nullptr);
  // Signature (8), IHDR length (4), "IHDR" (4), then width and height.
  PutU32(&bytes[16], w);
  PutU32(&bytes[20], h);
  PutU32(&bytes[29], (uint32_t)crc32(0, &bytes[12], 17));
  return bytes;
}

} // namespace

TEST(RasterPng, RgbaLandsInPlatformByteOrder)
{
  PngLayout layout;
  const auto bytes = Encode(layout, {{10, 20, 30, 40}});
  auto bm = Load(bytes);
  ASSERT_TRUE(bm);
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bm->PixelData());
#if defined(__APPLE__)
  EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{40, 10, 20, 30}));
#else
  EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{30, 20, 10, 40}));
#endif
}

TEST(RasterPng, OneBitGreyExpandsToOpaqueBlackAndWhite)
{
  PngLayout layout;
  layout.width = 3;
  layout.height = 2;
  layout.colourType = PNG_COLOR_TYPE_GRAY;
  layout.bitDepth = 1;
  // Row 0: black, white, black; row 1: white, white, black (MSB first).
  auto bm = Load(Encode(layout, {{0x40}, {0xC0}}));
  ASSERT_TRUE(bm);
  EXPECT_EQ(bm->Width(), 3);
  EXPECT_EQ(bm->Height(), 2);
  EXPECT_EQ(bm->RowSpan(), 4);
  const LICE_PixelWord k = LICE_RGBA(0, 0, 0, 255), w = LICE_RGBA(255, 255, 255, 255);
  EXPECT_EQ(PixelAt(bm.get(), 0, 0), k);
  EXPECT_EQ(PixelAt(bm.get(), 1, 0), w);
  EXPECT_EQ(PixelAt(bm.get(), 2, 0), k);
  EXPECT_EQ(PixelAt(bm.get(), 0, 1), w);
  EXPECT_EQ(PixelAt(bm.get(), 1, 1), w);
  EXPECT_EQ(PixelAt(bm.get(), 2, 1), k);
}

TEST(RasterPng, PaletteWithAndWithoutTransparency)
{
  PngLayout layout;
  layout.width = 4;
  layout.colourType = PNG_COLOR_TYPE_PALETTE;
  layout.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  const std::vector<std::vector<png_byte>> rows = {{0, 1, 2, 1}};

  auto opaque = Load(Encode(layout, rows));
  ASSERT_TRUE(opaque);
  EXPECT_EQ(PixelAt(opaque.get(), 0, 0), LICE_RGBA(255, 0, 0, 255));
  EXPECT_EQ(PixelAt(opaque.get(), 2, 0), LICE_RGBA(0, 0, 255, 255));

  // tRNS covers the first two entries; the third stays opaque.
  layout.paletteAlpha = {0, 128};
  auto clear = Load(Encode(layout, rows));
  ASSERT_TRUE(clear);
  EXPECT_EQ(PixelAt(clear.get(), 0, 0), LICE_RGBA(255, 0, 0, 0));
  EXPECT_EQ(PixelAt(clear.get(), 1, 0), LICE_RGBA(0, 255, 0, 128));
  EXPECT_EQ(PixelAt(clear.get(), 2, 0), LICE_RGBA(0, 0, 255, 255));
  EXPECT_EQ(PixelAt(clear.get(), 3, 0), LICE_RGBA(0, 255, 0, 128));
}

TEST(RasterPng, SixteenBitRgbKeepsHighBytes)
{
  PngLayout layout;
  layout.width = 2;
  layout.colourType = PNG_COLOR_TYPE_RGB;
  layout.bitDepth = 16;
  auto bm = Load(Encode(layout, {{0x12, 0xFF, 0x34, 0x00, 0x56, 0x80,     // big-endian samples
                                  0xFF, 0xFF, 0x00, 0x01, 0x7F, 0xFE}}));
  ASSERT_TRUE(bm);
  EXPECT_EQ(PixelAt(bm.get(), 0, 0), LICE_RGBA(0x12, 0x34, 0x56, 255));
  EXPECT_EQ(PixelAt(bm.get(), 1, 0), LICE_RGBA(0xFF, 0x00, 0x7F, 255));
}

TEST(RasterPng, GreyWithAlpha)
{
  PngLayout layout;
  layout.width = 2;
  layout.colourType = PNG_COLOR_TYPE_GRAY_ALPHA;
  auto bm = Load(Encode(layout, {{90, 10, 200, 255}}));
  ASSERT_TRUE(bm);
  EXPECT_EQ(PixelAt(bm.get(), 0, 0), LICE_RGBA(90, 90, 90, 10));
  EXPECT_EQ(PixelAt(bm.get(), 1, 0), LICE_RGBA(200, 200, 200, 255));
}

TEST(RasterPng, InterlacedMatchesPixels)
{
  std::vector<png_byte> pixels;
  const auto bytes = RandomRgba(13, 11, true, &pixels);
  auto bm = Load(bytes);
  ASSERT_TRUE(bm);
  ExpectMatchesRgba(bm.get(), pixels, 13, 11);
}

TEST(RasterPng, LoadsIntoGivenBitmaps)
{
  std::vector<png_byte> pixels;
  const auto bytes = RandomRgba(20, 5, false, &pixels);

  LICE_MemBitmap existing(10, 10);
  EXPECT_EQ(LICE_ReadPngMemory(bytes.data(), (int)bytes.size(), &existing), &existing);
  EXPECT_EQ(existing.Width(), 20);
  EXPECT_EQ(existing.Height(), 5);
  ExpectMatchesRgba(&existing, pixels, 20, 5);

  // Rows land by image row also in a bottom-up bitmap with padded rows.
  struct Padded : TestBitmap
  {
    Padded() : TestBitmap(0, 0, 0, true) {}
    bool Resize(int w, int h) override
    {
      static_cast<TestBitmap&>(*this) = TestBitmap(w, h, w + 3, true);
      return true;
    }
  } padded;
  EXPECT_EQ(LICE_ReadPngMemory(bytes.data(), (int)bytes.size(), &padded), &padded);
  ExpectMatchesRgba(&padded, pixels, 20, 5);
}

TEST(RasterPng, RefusesShortOrForeignMemory)
{
  const auto bytes = RandomRgba(2, 2, false, nullptr);
  EXPECT_EQ(LICE_ReadPngMemory(bytes.data(), 7, nullptr), nullptr);
  EXPECT_EQ(LICE_ReadPngMemory(nullptr, 100, nullptr), nullptr);
  EXPECT_EQ(LICE_ReadPngMemory(bytes.data(), -5, nullptr), nullptr);
  const unsigned char notPng[8] = {'G', 'I', 'F', '8', '9', 'a', 0, 0};
  EXPECT_EQ(LICE_ReadPngMemory(notPng, 8, nullptr), nullptr);
}

TEST(RasterPng, EveryTruncationFailsWithoutLeaks)
{
  std::vector<png_byte> pixels;
  const auto bytes = RandomRgba(9, 7, true, &pixels);
  // The last 12 bytes are the end chunk, which decoding never reads.
  const size_t imageEnd = bytes.size() - 12;
  LICE_MemBitmap given(3, 3);
  for (size_t n = 8; n < imageEnd; ++n)
  {
    ASSERT_EQ(LICE_ReadPngMemory(bytes.data(), (int)n, nullptr), nullptr) << n;
    ASSERT_EQ(LICE_ReadPngMemory(bytes.data(), (int)n, &given), nullptr) << n;
  }
  auto whole = Load(bytes);
  ASSERT_TRUE(whole);
  ExpectMatchesRgba(whole.get(), pixels, 9, 7);
}

TEST(RasterPng, CorruptBytesFail)
{
  const auto bytes = RandomRgba(6, 6, false, nullptr);
  const size_t imageEnd = bytes.size() - 12;
  for (size_t i = 0; i < imageEnd; ++i)
  {
    std::vector<unsigned char> bad = bytes;
    bad[i] ^= 0x21;
    std::unique_ptr<LICE_IBitmap> bm(LICE_ReadPngMemory(bad.data(), (int)bad.size(), nullptr));
    EXPECT_EQ(bm, nullptr) << "flipped byte " << i;
  }
}

TEST(RasterPng, RefusesOversizedImages)
{
  EXPECT_EQ(Load(WithClaimedSize(100000, 1)), nullptr);    // side over the limit
  EXPECT_EQ(Load(WithClaimedSize(60000, 60000)), nullptr); // too many pixels
  EXPECT_EQ(Load(WithClaimedSize(0x7FFFFFFF, 0x7FFFFFFF)), nullptr);
  EXPECT_EQ(Load(WithClaimedSize(0x80000000u, 1)), nullptr);
  // A plausible size with no data behind it still fails cleanly.
  EXPECT_EQ(Load(WithClaimedSize(300, 200)), nullptr);
  LICE_MemBitmap given(4, 4);
  const auto huge = WithClaimedSize(60000, 60000);
  EXPECT_EQ(LICE_ReadPngMemory(huge.data(), (int)huge.size(), &given), nullptr);
}

TEST(RasterPng, FilesAndExtensionRule)
{
  std::vector<png_byte> pixels;
  const auto bytes = RandomRgba(3, 4, false, &pixels);
  const std::string upper = TempPath("raster_IMAGE.PNG"), jpeg = TempPath("raster_photo.jpg");
  ASSERT_TRUE(WriteFile(upper, bytes));
  ASSERT_TRUE(WriteFile(jpeg, bytes));

  std::unique_ptr<LICE_IBitmap> a(LICE_ReadPngChecked(upper.c_str(), true));
  ASSERT_TRUE(a);
  ExpectMatchesRgba(a.get(), pixels, 3, 4);
  EXPECT_EQ(LICE_ReadPngChecked(jpeg.c_str(), true), nullptr);
  std::unique_ptr<LICE_IBitmap> b(LICE_ReadPngChecked(jpeg.c_str(), false));
  EXPECT_TRUE(b);
  EXPECT_EQ(LICE_ReadPngChecked("images.png/knob", true), nullptr);
  EXPECT_EQ(LICE_ReadPngChecked("dir\\x.png\\knob", true), nullptr);
  EXPECT_EQ(LICE_ReadPngChecked("png", true), nullptr);
  EXPECT_EQ(LICE_ReadPngChecked("", true), nullptr);
  EXPECT_EQ(LICE_ReadPngChecked(nullptr, true), nullptr);
  EXPECT_EQ(LICE_ReadPngFile(TempPath("raster_missing.png").c_str()), nullptr);

  // A truncated file fails like truncated memory.
  const std::string cut = TempPath("raster_cut.png");
  ASSERT_TRUE(WriteFile(cut, std::vector<unsigned char>(bytes.begin(), bytes.begin() + 60)));
  EXPECT_EQ(LICE_ReadPngFile(cut.c_str()), nullptr);

  remove(upper.c_str());
  remove(jpeg.c_str());
  remove(cut.c_str());
}

TEST(RasterPng, ReaderIsRegistered)
{
  LICE_ImageReaderEntry* head = LICE_ImageReaders();
  ASSERT_NE(head, nullptr);
  const char* filter = head->typeFilter();
  const char expected[] = "PNG files (*.PNG)\0*.PNG\0";
  EXPECT_EQ(memcmp(filter, expected, sizeof(expected)), 0);
  EXPECT_EQ(head->load("not-an-image.txt", true, nullptr), nullptr);
}
