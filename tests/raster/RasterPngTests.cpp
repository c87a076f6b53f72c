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

#include "PngCodec.h"
#include "TestBitmap.h"

namespace
{

using Bytes = std::vector<unsigned char>;
using Rows = qtest::PngRows;
using qtest::PngLayout;

// Encodes packed rows (libpng's own row format for the given type and depth).
Bytes Encode(const PngLayout& layout, const Rows& rows)
{
  Bytes out = qtest::EncodePng(layout, rows);
  if (out.empty()) ADD_FAILURE() << "encoding failed";
  return out;
}

// RGBA8 image of seeded random pixels; its pixels go to *pixels when given.
Bytes RandomRgba(int w, int h, bool interlaced, std::vector<LICE_PixelWord>* pixels = nullptr)
{
  std::mt19937 rng(w * 1000 + h);
  PngLayout layout(w, h);
  layout.interlaced = interlaced;
  Rows rows(h, std::vector<png_byte>((size_t)w * 4));
  for (auto& r : rows)
  {
    for (auto& b : r) b = (png_byte)rng();
    for (int x = 0; pixels && x < w; ++x)
      pixels->push_back(LICE_RGBA(r[x * 4], r[x * 4 + 1], r[x * 4 + 2], r[x * 4 + 3]));
  }
  return Encode(layout, rows);
}

LICE_IBitmap* Read(const Bytes& bytes, LICE_IBitmap* into = nullptr)
{
  return LICE_ReadPngMemory(bytes.data(), (int)bytes.size(), into);
}

std::unique_ptr<LICE_IBitmap> Load(const Bytes& bytes) { return std::unique_ptr<LICE_IBitmap>(Read(bytes)); }

// Row-major pixels of any bitmap, honouring its row order and span.
std::vector<LICE_PixelWord> Pixels(LICE_IBitmap* bm)
{
  std::vector<LICE_PixelWord> out;
  for (int y = 0; y < bm->Height(); ++y)
  {
    const int row = bm->IsBottomUp() ? bm->Height() - 1 - y : y;
    const LICE_PixelWord* p = bm->PixelData() + (size_t)row * bm->RowSpan();
    out.insert(out.end(), p, p + bm->Width());
  }
  return out;
}

bool WriteFile(const std::string& path, const Bytes& bytes)
{
  FILE* fp = fopen(path.c_str(), "wb");
  if (!fp) return false;
  const bool ok = fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size();
  return fclose(fp) == 0 && ok;
}

// A valid 1 x 1 image whose header claims w x h (with a matching CRC, so only
// the size is a lie).
Bytes WithClaimedSize(uint32_t w, uint32_t h)
{
  Bytes bytes = RandomRgba(1, 1, false);
  auto put = [&](size_t at, uint32_t v)
  {
    for (int i = 0; i < 4; ++i) bytes[at + i] = (unsigned char)(v >> (24 - 8 * i));
  };
  // Signature (8), IHDR length (4), "IHDR" (4), then width and height.
  put(16, w);
  put(20, h);
  put(29, (uint32_t)crc32(0, &bytes[12], 17));
  return bytes;
}

}  // namespace

TEST(RasterPng, RgbaLandsInPlatformByteOrder)
{
  auto bm = Load(Encode(PngLayout(), { { 10, 20, 30, 40 } }));
  ASSERT_TRUE(bm);
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bm->PixelData());
#if defined(__APPLE__)
  EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{ 40, 10, 20, 30 }));
#else
  EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{ 30, 20, 10, 40 }));
#endif
}

TEST(RasterPng, ColourTypesExpandToRgba)
{
  const LICE_PixelWord k = LICE_RGBA(0, 0, 0, 255), w = LICE_RGBA(255, 255, 255, 255);
  const LICE_PixelWord red = LICE_RGBA(255, 0, 0, 255), blue = LICE_RGBA(0, 0, 255, 255);
  const std::vector<png_color> palette = { { 255, 0, 0 }, { 0, 255, 0 }, { 0, 0, 255 } };
  struct Case
  {
    PngLayout layout;
    Rows rows;
    std::vector<LICE_PixelWord> want;
  } cases[] = {
    // 1-bit grey, MSB first: black, white, black / white, white, black.
    { { 3, 2, PNG_COLOR_TYPE_GRAY, 1 }, { { 0x40 }, { 0xC0 } }, { k, w, k, w, w, k } },
    { { 4, 1, PNG_COLOR_TYPE_PALETTE, 8, palette },
      { { 0, 1, 2, 1 } },
      { red, LICE_RGBA(0, 255, 0, 255), blue, LICE_RGBA(0, 255, 0, 255) } },
    // tRNS covers the first two entries; the third stays opaque.
    { { 4, 1, PNG_COLOR_TYPE_PALETTE, 8, palette, { 0, 128 } },
      { { 0, 1, 2, 1 } },
      { LICE_RGBA(255, 0, 0, 0), LICE_RGBA(0, 255, 0, 128), blue, LICE_RGBA(0, 255, 0, 128) } },
    // 16-bit big-endian samples keep their high bytes.
    { { 2, 1, PNG_COLOR_TYPE_RGB, 16 },
      { { 0x12, 0xFF, 0x34, 0x00, 0x56, 0x80, 0xFF, 0xFF, 0x00, 0x01, 0x7F, 0xFE } },
      { LICE_RGBA(0x12, 0x34, 0x56, 255), LICE_RGBA(0xFF, 0x00, 0x7F, 255) } },
    { { 2, 1, PNG_COLOR_TYPE_GRAY_ALPHA },
      { { 90, 10, 200, 255 } },
      { LICE_RGBA(90, 90, 90, 10), LICE_RGBA(200, 200, 200, 255) } },
  };
  for (const Case& c : cases)
  {
    // Rows land by image row also in a bottom-up bitmap with padded rows.
    TestBitmap into(7, 7, 7, true);
    ASSERT_EQ(Read(Encode(c.layout, c.rows), &into), &into) << c.layout.colourType;
    EXPECT_EQ(into.Width(), c.layout.width);
    EXPECT_EQ(into.Height(), c.layout.height);
    EXPECT_EQ(Pixels(&into), c.want) << c.layout.colourType;
  }
}

TEST(RasterPng, InterlacedAndIntoGivenBitmaps)
{
  std::vector<LICE_PixelWord> pixels;
  const Bytes bytes = RandomRgba(13, 11, true, &pixels);
  auto created = Load(bytes);
  ASSERT_TRUE(created);
  EXPECT_EQ(created->RowSpan(), 16);
  EXPECT_EQ(Pixels(created.get()), pixels);

  LICE_MemBitmap existing(10, 10);
  EXPECT_EQ(Read(bytes, &existing), &existing);
  EXPECT_EQ(existing.Width(), 13);
  EXPECT_EQ(Pixels(&existing), pixels);
}

TEST(RasterPng, ShortTruncatedOrCorruptDataFails)
{
  const Bytes bytes = RandomRgba(9, 7, true);
  const unsigned char notPng[8] = { 'G', 'I', 'F', '8', '9', 'a', 0, 0 };
  EXPECT_EQ(LICE_ReadPngMemory(notPng, 8, nullptr), nullptr);
  EXPECT_EQ(LICE_ReadPngMemory(nullptr, 100, nullptr), nullptr);
  EXPECT_EQ(LICE_ReadPngMemory(bytes.data(), -5, nullptr), nullptr);
  // Every cut short of the end chunk (the last 12 bytes, never read).
  LICE_MemBitmap given(3, 3);
  for (size_t n = 0; n < bytes.size() - 12; ++n)
  {
    ASSERT_EQ(LICE_ReadPngMemory(bytes.data(), (int)n, nullptr), nullptr) << n;
    ASSERT_EQ(LICE_ReadPngMemory(bytes.data(), (int)n, &given), nullptr) << n;
  }
  EXPECT_TRUE(Load(bytes));

  const Bytes plain = RandomRgba(6, 6, false);
  for (size_t i = 0; i < plain.size() - 12; ++i)
  {
    Bytes bad = plain;
    bad[i] ^= 0x21;
    EXPECT_EQ(Load(bad), nullptr) << "flipped byte " << i;
  }
}

TEST(RasterPng, RefusesOversizedImages)
{
  EXPECT_EQ(Load(WithClaimedSize(100000, 1)), nullptr);     // side over the limit
  EXPECT_EQ(Load(WithClaimedSize(60000, 60000)), nullptr);  // too many pixels
  EXPECT_EQ(Load(WithClaimedSize(0x7FFFFFFF, 0x7FFFFFFF)), nullptr);
  EXPECT_EQ(Load(WithClaimedSize(0x80000000u, 1)), nullptr);
  // A plausible size with no data behind it still fails cleanly.
  EXPECT_EQ(Load(WithClaimedSize(300, 200)), nullptr);
  LICE_MemBitmap given(4, 4);
  EXPECT_EQ(Read(WithClaimedSize(60000, 60000), &given), nullptr);
}

TEST(RasterPng, FilesAndExtensionRule)
{
  std::vector<LICE_PixelWord> pixels;
  const Bytes bytes = RandomRgba(3, 4, false, &pixels);
  const std::string dir = testing::TempDir();
  const std::string upper = dir + "raster_IMAGE.PNG", jpeg = dir + "raster_photo.jpg";
  const std::string cut = dir + "raster_cut.png";
  ASSERT_TRUE(WriteFile(upper, bytes));
  ASSERT_TRUE(WriteFile(jpeg, bytes));
  ASSERT_TRUE(WriteFile(cut, Bytes(bytes.begin(), bytes.begin() + 60)));

  std::unique_ptr<LICE_IBitmap> a(LICE_ReadPngChecked(upper.c_str(), true));
  ASSERT_TRUE(a);
  EXPECT_EQ(Pixels(a.get()), pixels);
  EXPECT_EQ(LICE_ReadPngChecked(jpeg.c_str(), true), nullptr);
  EXPECT_TRUE(std::unique_ptr<LICE_IBitmap>(LICE_ReadPngChecked(jpeg.c_str(), false)));
  for (const char* name : { "images.png/knob", "dir\\x.png\\knob", "png", "", (const char*)nullptr })
    EXPECT_EQ(LICE_ReadPngChecked(name, true), nullptr) << (name ? name : "null");
  EXPECT_EQ(LICE_ReadPngFile((dir + "raster_missing.png").c_str()), nullptr);
  EXPECT_EQ(LICE_ReadPngFile(cut.c_str()), nullptr);  // fails like truncated memory

  // The reader list offers the same loader.
  LICE_ImageReaderEntry* head = LICE_ImageReaders();
  ASSERT_NE(head, nullptr);
  const char filter[] = "PNG files (*.PNG)\0*.PNG\0";
  EXPECT_EQ(memcmp(head->typeFilter(), filter, sizeof(filter)), 0);
  EXPECT_EQ(head->load(jpeg.c_str(), true, nullptr), nullptr);
  std::unique_ptr<LICE_IBitmap> b(head->load(upper.c_str(), true, nullptr));
  EXPECT_TRUE(b);

  for (const std::string& path : { upper, jpeg, cut }) remove(path.c_str());
}

// The bundle loader looks images up by this name (macOS), so the editor's
// "../img/knob.png" finds Contents/Resources/knob.png.
TEST(RasterPng, BundleResourceNames)
{
  const char* const cases[][2] = {
    { "../img/knob.png", "knob" }, { "bg.png", "bg" }, { "img/radio", "radio" }, { "a.b/c", "c" },
    { "x/y.tar.png", "y.tar" },    { ".png", ".png" }, { "dir/", "" },           { "", "" },
    { ".hidden", ".hidden" },
  };
  for (const auto& c : cases) EXPECT_EQ(LICE_BundleResourceName(c[0]), c[1]) << c[0];
  EXPECT_EQ(LICE_BundleResourceName(nullptr), "");
}
