// The editor images compiled into the effect: the table, the decoded sizes,
// and the properties of the artwork the controls rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <vector>

#include "Quorvex2Images.h"
#include "lice_bitmap.h"
#include "lice_png.h"

namespace
{
constexpr double kPi = 3.14159265358979323846;

struct ImageCase
{
  int id;
  const char* name;
  int width, height;
};

const ImageCase kImages[] = {
  { 100, "img/bg.png", 545, 210 },   { 101, "img/knob.png", 2050, 82 }, { 102, "img/knob2.png", 124, 62 },
  { 103, "img/slider.png", 18, 18 }, { 104, "img/radio.png", 78, 85 },
};

std::unique_ptr<LICE_IBitmap> Decode(int id)
{
  const QuorvexEmbeddedFile* f = QuorvexFindEmbeddedFile(id);
  if (!f) return nullptr;
  return std::unique_ptr<LICE_IBitmap>(LICE_ReadPngMemory(f->data, (int)f->size));
}

LICE_PixelWord At(LICE_IBitmap* b, int x, int y) { return b->PixelData()[y * b->RowSpan() + x]; }

int MaxChannel(LICE_PixelWord p) { return std::max({ LICE_GETR(p), LICE_GETG(p), LICE_GETB(p) }); }
}  // namespace

TEST(EmbeddedImages, EachDecodesToItsSizeAndMatchesTheSourceFile)
{
  for (const ImageCase& c : kImages)
  {
    SCOPED_TRACE(c.name);
    const QuorvexEmbeddedFile* f = QuorvexFindEmbeddedFile(c.id);
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->name, c.name);
    // The header itself says 8-bit RGBA (bit depth, colour type 6), whatever
    // the decoder would turn other forms into.
    ASSERT_GT(f->size, 26u);
    EXPECT_EQ(f->data[24], 8);
    EXPECT_EQ(f->data[25], 6);
    std::unique_ptr<LICE_IBitmap> bmp = Decode(c.id);
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp->Width(), c.width);
    EXPECT_EQ(bmp->Height(), c.height);

    // A stale build would embed an older image than the one in the tree.
    std::ifstream in(std::string(QUORVEX_SOURCE_DIR "/effect/") + c.name, std::ios::binary);
    std::vector<char> disk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(disk.size(), f->size);
    EXPECT_EQ(std::memcmp(disk.data(), f->data, f->size), 0);
  }
}

TEST(EmbeddedImages, TableHoldsExactlyTheFiveIds)
{
  size_t count = 0;
  const QuorvexEmbeddedFile* all = QuorvexEmbeddedFiles(&count);
  ASSERT_EQ(count, std::size(kImages));
  std::set<int> ids;
  for (size_t i = 0; i < count; ++i) ids.insert(all[i].id);
  EXPECT_EQ(ids, (std::set<int>{ 100, 101, 102, 103, 104 }));
  for (int id : { -1, 0, 99, 105, 0x10064 }) EXPECT_EQ(QuorvexFindEmbeddedFile(id), nullptr) << id;
  EXPECT_NE(QuorvexEmbeddedFiles(nullptr), nullptr);
}

// The film strip's pointer must step evenly from -150 to +150 degrees, frame
// 1 lowest, or the knob would lie about the value it shows.
TEST(EmbeddedImages, DelayRatePointerSweepsEvenly)
{
  std::unique_ptr<LICE_IBitmap> strip = Decode(101);
  ASSERT_NE(strip, nullptr);
  const int frame = 82, frames = 25;
  const double c = frame / 2.0;
  for (int i = 0; i < frames; ++i)
  {
    // Centroid of the bright pointer, inside the knob face only.
    double sx = 0, sy = 0, n = 0;
    for (int y = 0; y < frame; ++y)
      for (int x = 0; x < frame; ++x)
      {
        double dx = x + 0.5 - c, dy = y + 0.5 - c, r = std::hypot(dx, dy);
        LICE_PixelWord p = At(strip.get(), i * frame + x, y);
        if (r > 6 && r < 22 && LICE_GETA(p) > 200 && MaxChannel(p) > 180)
        {
          sx += dx;
          sy += dy;
          n += 1;
        }
      }
    ASSERT_GT(n, 10) << "frame " << i + 1;
    double deg = std::atan2(sx, -sy) * 180.0 / kPi;
    EXPECT_NEAR(deg, -150.0 + 12.5 * i, 2.0) << "frame " << i + 1;
  }
}

// The dot turns about the frame centre: it must sit straight above it. The
// cap frame is drawn over it unrotated, so it must leave the dot's ring clear.
TEST(EmbeddedImages, PositionDotSitsAboveTheCentreOutsideTheCap)
{
  std::unique_ptr<LICE_IBitmap> img = Decode(102);
  ASSERT_NE(img, nullptr);
  double sx = 0, sy = 0, n = 0;
  for (int y = 0; y < 62; ++y)
    for (int x = 0; x < 62; ++x)
    {
      double a = LICE_GETA(At(img.get(), x, y)) / 255.0;
      sx += a * (x + 0.5);
      sy += a * (y + 0.5);
      n += a;
    }
  ASSERT_GT(n, 5);
  EXPECT_NEAR(sx / n, 31.0, 0.1);
  const double dotY = sy / n;
  EXPECT_LT(dotY, 12.0);
  // Where the dot sits (at every angle, by symmetry) the cap is see-through.
  const double r = 31.0 - dotY;
  for (int deg = 0; deg < 360; deg += 15)
  {
    double a = deg * kPi / 180.0;
    int x = (int)std::floor(31.0 + r * std::sin(a)), y = (int)std::floor(31.0 - r * std::cos(a));
    EXPECT_LT(LICE_GETA(At(img.get(), 62 + x, y)), 128) << deg;
  }
}

// White value texts are drawn over the background below each control.
TEST(EmbeddedImages, BackgroundIsOpaqueAndDarkUnderTheValueTexts)
{
  std::unique_ptr<LICE_IBitmap> bg = Decode(100);
  ASSERT_NE(bg, nullptr);
  for (int y = 0; y < bg->Height(); ++y)
    for (int x = 0; x < bg->Width(); ++x) ASSERT_EQ(LICE_GETA(At(bg.get(), x, y)), 255) << x << "," << y;

  struct Area
  {
    int l, t, r, b;
  };
  const Area texts[] = { { 60, 175, 116, 189 },
                         { 254, 175, 304, 189 },
                         { 354, 175, 404, 189 },
                         { 437, 168, 469, 182 },
                         { 481, 168, 513, 182 } };
  for (const Area& a : texts)
    for (int y = a.t; y < a.b; ++y)
      for (int x = a.l; x < a.r; ++x) ASSERT_LT(MaxChannel(At(bg.get(), x, y)), 48) << x << "," << y;
}
