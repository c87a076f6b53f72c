// quorvex-render --snapshot: the editor of the built-in effect, compared
// pixel for pixel with the committed picture of its default state, and
// following the state that --program and --param select.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Render.h"
#include "lice_bitmap.h"
#include "lice_png.h"

using namespace quorvex;

namespace
{

const char* const kReference = QUORVEX_SOURCE_DIR "/docs/editor.png";

using Params = std::vector<std::pair<std::string, std::string>>;

struct Image
{
  std::vector<unsigned char> rgb;
  int w = 0, h = 0;
};

Image Take(const std::string& program = "", const Params& params = {})
{
  RenderOptions o;
  o.program = program;
  o.params = params;
  Image s;
  std::string error;
  EXPECT_TRUE(SnapshotEditor(o, &s.rgb, &s.w, &s.h, &error)) << error;
  return s;
}

// The decoded file as RGB rows; empty when it cannot be read.
Image Read(const std::string& path)
{
  Image out;
  std::unique_ptr<LICE_IBitmap> bmp(LICE_ReadPngFile(path.c_str()));
  if (!bmp) return out;
  out.w = bmp->Width();
  out.h = bmp->Height();
  for (int y = 0; y < out.h; ++y)
    for (int x = 0; x < out.w; ++x)
    {
      const LICE_PixelWord p = bmp->PixelData()[y * bmp->RowSpan() + x];
      out.rgb.push_back((unsigned char)LICE_GETR(p));
      out.rgb.push_back((unsigned char)LICE_GETG(p));
      out.rgb.push_back((unsigned char)LICE_GETB(p));
    }
  return out;
}

// Where two images of one size differ: count and bounding box (l, t, r, b).
struct Diff
{
  int count = 0;
  int l = 1 << 30, t = 1 << 30, r = -1, b = -1;
};

Diff Compare(const Image& a, const Image& b)
{
  Diff d;
  for (int y = 0; y < a.h; ++y)
    for (int x = 0; x < a.w; ++x)
    {
      const size_t i = ((size_t)y * a.w + x) * 3;
      if (std::equal(&a.rgb[i], &a.rgb[i] + 3, &b.rgb[i])) continue;
      ++d.count;
      d.l = std::min(d.l, x);
      d.t = std::min(d.t, y);
      d.r = std::max(d.r, x + 1);
      d.b = std::max(d.b, y + 1);
    }
  return d;
}

}  // namespace

// An unintended change to the artwork, a control's drawing or the text shows
// up here. After an intended one, redraw the reference with
//   quorvex-render --snapshot docs/editor.png
// and look at it before committing.
TEST(EditorSnapshot, DefaultStateMatchesTheCommittedPicture)
{
  const Image ref = Read(kReference);
  ASSERT_EQ(ref.w, 545) << kReference;
  ASSERT_EQ(ref.h, 210);
  const Image now = Take();
  ASSERT_EQ(now.w, ref.w);
  ASSERT_EQ(now.h, ref.h);
  const Diff d = Compare(now, ref);
  if (d.count)
  {
    std::string error;
    WriteRgbPng("editor-actual.png", now.rgb, now.w, now.h, &error);
  }
  EXPECT_EQ(d.count, 0) << "differing pixels in (" << d.l << ", " << d.t << ", " << d.r << ", " << d.b
                        << "); this run's picture is editor-actual.png in the test's folder";
  // Drawing twice gives the same bits.
  EXPECT_EQ(Compare(Take(), now).count, 0);
}

TEST(EditorSnapshot, FollowsProgramsAndParametersOnly)
{
  const Image def = Take();
  struct Case
  {
    const char* what;
    std::string program;
    Params params;
    int l, t, r, b;  // where the change must stay
  } cases[] = {
    // Dry 100 -> 0 and Wet 50 -> 90: the two sliders.
    { "Only Delay", "Only Delay", {}, 434, 82, 516, 183 },
    { "Delay Rate", "", { { "Delay Rate", "1/16D" } }, 47, 77, 129, 190 },
    { "Ping Pong", "", { { "Ping Pong", "Dotted 2" } }, 140, 75, 218, 160 },
    { "Pan Width", "", { { "Pan Width", "-35" } }, 248, 99, 310, 190 },
    { "program by number, then a parameter", "0", { { "Feedback", "99" } }, 348, 99, 410, 190 },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    const Diff d = Compare(Take(c.program, c.params), def);
    EXPECT_GT(d.count, 50);
    EXPECT_GE(d.l, c.l);
    EXPECT_GE(d.t, c.t);
    EXPECT_LE(d.r, c.r);
    EXPECT_LE(d.b, c.b);
  }
}

TEST(EditorSnapshot, CommandLineWritesThePictureOrRefuses)
{
  RenderOptions o;
  std::string error;
  ASSERT_TRUE(
      ParseRenderArgs({ "--snapshot", "e.png", "--program", "Harp", "--param", "Wet Mix=10" }, &o, &error))
      << error;
  EXPECT_EQ(o.snapshot, "e.png");
  EXPECT_EQ(o.program, "Harp");

  const std::vector<std::vector<std::string>> bad = {
    { "--snapshot" },
    { "--snapshot", "" },
    { "--snapshot", "e.png", "in.wav" },
    { "--snapshot", "e.png", "-o", "x.wav" },
    { "--snapshot", "e.png", "--plugin", "p.so" },
    { "--snapshot", "e.png", "--list" },
  };
  for (const auto& args : bad)
  {
    RenderOptions fresh;
    error.clear();
    EXPECT_FALSE(ParseRenderArgs(args, &fresh, &error)) << args.back();
    EXPECT_FALSE(error.empty());
  }

  std::string dir = (std::filesystem::temp_directory_path() / "quorvex-snapshot-XXXXXX").string();
  ASSERT_NE(mkdtemp(&dir[0]), nullptr);
  const std::string file = dir + "/harp.png";
  o.snapshot = file;
  o.quiet = false;
  std::string report;
  ASSERT_EQ(RunRender(o, &report, &error), kRenderOk) << error;
  EXPECT_NE(report.find("545 x 210"), std::string::npos);
  const Image written = Read(file);
  const Image direct = Take("Harp", { { "Wet Mix", "10" } });
  ASSERT_EQ(written.w, 545);
  EXPECT_EQ(Compare(written, direct).count, 0);

  // Bad state or an unwritable file: an error, and no file left behind.
  struct Fail
  {
    std::string program, param, path;
  } fails[] = { { "No Such Program", "", file + "2" },
                { "", "Wet Mix=300", file + "3" },
                { "", "", dir + "/missing/dir/e.png" } };
  for (const Fail& f : fails)
  {
    RenderOptions bad;
    bad.snapshot = f.path;
    bad.program = f.program;
    if (!f.param.empty())
      bad.params = { { f.param.substr(0, f.param.find('=')), f.param.substr(f.param.find('=') + 1) } };
    error.clear();
    EXPECT_EQ(RunRender(bad, &report, &error), kRenderFailed) << f.path;
    EXPECT_FALSE(error.empty());
    FILE* left = std::fopen(f.path.c_str(), "rb");
    EXPECT_EQ(left, nullptr) << f.path;
    if (left) std::fclose(left);
  }
  std::filesystem::remove_all(dir);
}
