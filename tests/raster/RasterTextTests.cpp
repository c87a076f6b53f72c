// Text: the drawing-context rules (font size and face keys, prefixes, line
// handling, selection), the FreeType backend's metrics and layout, and
// LICE_CachedFont's glyph cache, effects and both ways of drawing.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "lice_dc_impl.h"
#include "lice_text.h"
#include "lice_utf8.h"
#include "PngCodec.h"

namespace
{

const LICE_PixelWord kBlack = LICE_RGBA(0, 0, 0, 255);
const LICE_PixelWord kWhite = LICE_RGBA(255, 255, 255, 255);

struct Box
{
  int l = 1 << 30, t = 1 << 30, r = -1, b = -1;
  bool Empty() const { return r < 0; }
};

// Bounding box of the pixels that differ from bg.
Box InkBox(LICE_IBitmap& bm, LICE_PixelWord bg)
{
  Box box;
  for (int y = 0; y < bm.Height(); ++y)
    for (int x = 0; x < bm.Width(); ++x)
      if (bm.PixelData()[y * bm.RowSpan() + x] != bg)
      {
        box.l = std::min(box.l, x);
        box.t = std::min(box.t, y);
        box.r = std::max(box.r, x + 1);
        box.b = std::max(box.b, y + 1);
      }
  return box;
}

void Clear(LICE_IBitmap& bm, LICE_PixelWord c)
{
  LICE_FillBox(&bm, 0, 0, bm.Width(), bm.Height(), c, 1.0f, LICE_MODE_COPY);
}

HFONT Arial(int height, int weight = FW_NORMAL, bool italic = false, int quality = 0)
{
  return CreateFont(height, 0, 0, 0, weight, italic, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, quality, DEFAULT_PITCH, "Arial");
}

// A cached font over Arial that owns its platform font.
std::unique_ptr<LICE_CachedFont> Font(int height, int flags = 0x200 | 0x400)
{
  auto f = std::make_unique<LICE_CachedFont>();
  f->SetFromPlatformFont(Arial(height), flags);
  f->SetTextColour(kWhite);
  return f;
}

// ============================================================================
// Drawing-context rules
// ============================================================================

TEST(TextContext, FontSizeFaceKeyAndQualityRules)
{
  const struct
  {
    int height, width, size;
  } sizes[] = { { 0, 0, 10 }, { -14, 0, 14 },    { 14, 0, 14 },   { 0, -20, 20 },    { 1, 0, 10 },
                { 2, 0, 2 },  { 8192, 0, 8192 }, { 8193, 0, 10 }, { INT_MIN, 0, 10 } };
  for (const auto& s : sizes)
    EXPECT_EQ(lice_dc::FontSize(s.height, s.width), s.size) << s.height << "," << s.width;

  char key[1024];
  lice_dc::FaceKey("Arial", 700, true, key, sizeof(key));
  EXPECT_STREQ(key, "Arial Bold Italic");
  lice_dc::FaceKey("Arial", 699, false, key, sizeof(key));
  EXPECT_STREQ(key, "Arial");
  const std::string longName(2000, 'x');
  lice_dc::FaceKey(longName.c_str(), 400, true, key, sizeof(key));
  EXPECT_EQ(std::string(key), std::string(899, 'x') + " Italic");

  const int qualities[][2] = { { 0, 0 }, { 1, 0 }, { 3, 3 }, { 4, 4 }, { 5, 0 }, { -1, 0 } };
  for (const auto& q : qualities) EXPECT_EQ(lice_dc::StoredQuality(q[0]), q[1]);
}

TEST(TextContext, PrefixCarriageReturnAndLineFeedHandling)
{
  const struct
  {
    const char* in;
    int count, flags;
    const char* out;
  } cases[] = {
    { "&File", -1, 0, "File" },
    { "&File", -1, DT_NOPREFIX, "&File" },
    { "a&&b", -1, 0, "a&b" },
    { "ab&", -1, 0, "ab" },
    { "ab&c", 3, 0, "ab" },
    { "a\r\nb", -1, 0, "a\nb" },
    { "a\r\nb", -1, DT_SINGLELINE, "a b" },
    { "abc", 2, 0, "ab" },
    { "", -1, 0, "" },
  };
  char out[4096];
  for (const auto& c : cases)
  {
    lice_dc::PrepareText(c.in, c.count, c.flags, out);
    EXPECT_STREQ(out, c.out) << c.in;
  }
  const std::string huge(10000, 'a');
  EXPECT_EQ(lice_dc::PrepareText(huge.c_str(), -1, 0, out), 4095);
}

// Line placement under both backends' rules: GDI's (FreeType) aligns each
// line and reports the cell heights; the typographic one (Core Text) aligns
// the block, pads a single line and adds 1 to every height.
TEST(TextContext, LinePlacementUnderEachBackendsRules)
{
  const lice_dc::LineRules gdi{ 16, 16, 0, true };
  const lice_dc::LineRules typo = lice_dc::TypographicRules(12.9, 3.2, 0.4);  // sum 16.5
  EXPECT_EQ(typo.lineHeight, 18);
  EXPECT_EQ(typo.linePitch, 17);
  EXPECT_EQ(typo.heightPad, 1);
  EXPECT_FALSE(typo.alignEachLine);

  const RECT r = { 10, 5, 110, 35 };
  const struct
  {
    const char* name;
    const lice_dc::LineRules& rules;
    std::vector<int> widths;
    int flags, height;
    std::vector<lice_dc::LinePlace> places;
  } cases[] = {
    { "gdi left", gdi, { 30 }, DT_LEFT, 16, { { 10, 5, 30, 16 } } },
    { "gdi centred", gdi, { 30 }, DT_CENTER | DT_VCENTER, 16, { { 45, 12, 30, 16 } } },
    { "gdi lines one by one", gdi, { 30, 10 }, DT_CENTER, 32, { { 45, 5, 30, 16 }, { 55, 21, 10, 16 } } },
    { "gdi bottom", gdi, { 30, 10 }, DT_RIGHT | DT_BOTTOM, 32, { { 80, 3, 30, 16 }, { 100, 19, 10, 16 } } },
    { "typographic line", typo, { 30 }, DT_LEFT, 19, { { 10, 5, 30, 19 } } },
    { "typographic block", typo, { 30, 10 }, DT_CENTER, 35, { { 45, 5, 30, 17 }, { 45, 22, 10, 17 } } },
    { "typographic right",
      typo,
      { 30, 10 },
      DT_RIGHT | DT_VCENTER,
      35,
      { { 80, 3, 30, 17 }, { 80, 20, 10, 17 } } },
    { "no lines", gdi, {}, DT_CENTER, 0, {} },
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.name);
    std::vector<lice_dc::LinePlace> got(c.widths.size() + 1, lice_dc::LinePlace{ -1, -1, -1, -1 });
    EXPECT_EQ(lice_dc::PlaceLines(c.rules, c.widths.data(), (int)c.widths.size(), r, c.flags, got.data()),
              c.height);
    for (size_t i = 0; i < c.places.size(); ++i)
    {
      EXPECT_EQ(got[i].x, c.places[i].x) << i;
      EXPECT_EQ(got[i].y, c.places[i].y) << i;
      EXPECT_EQ(got[i].w, c.places[i].w) << i;
      EXPECT_EQ(got[i].h, c.places[i].h) << i;
    }
  }
}

// Typographic metrics truncate ascent, descent and leading one by one.
TEST(TextContext, TypographicMetricsAndWidths)
{
  const struct
  {
    double ascent, descent, leading;
    int height, ascentOut, descentOut, aveWidth;
  } cases[] = {
    { 12.9, 3.2, 0.4, 16, 12, 3, 10 },
    { 10.99, 2.5, 1.7, 14, 10, 2, 8 },
    { 0.0, 0.0, 0.0, 0, 0, 0, 0 },  // no height, nothing added
  };
  for (const auto& c : cases)
  {
    TEXTMETRIC tm;
    lice_dc::TypographicMetrics(c.ascent, c.descent, c.leading, &tm);
    EXPECT_EQ(tm.tmHeight, c.height) << c.ascent;
    EXPECT_EQ(tm.tmAscent, c.ascentOut) << c.ascent;
    EXPECT_EQ(tm.tmDescent, c.descentOut) << c.ascent;
    EXPECT_EQ(tm.tmAveCharWidth, c.aveWidth) << c.ascent;
  }
  const double widths[][2] = { { 10.49, 10 }, { 10.5, 11 }, { 0.0, 0 }, { 99.999, 100 } };
  for (const auto& w : widths) EXPECT_EQ(lice_dc::TypographicWidth(w[0]), (int)w[1]) << w[0];
}

TEST(TextContext, SelectionSlotsAndKindNumbers)
{
  LICE_SysBitmap bm(8, 8);
  HDC dc = static_cast<HDC>(bm.PlatformContext());
  ASSERT_NE(dc, nullptr);
  const HGDIOBJ kFont = reinterpret_cast<HGDIOBJ>((uintptr_t)LICE_OBJ_FONT);

  EXPECT_EQ(SelectObject(dc, kFont), kFont);  // empty slot: the kind number
  HFONT a = Arial(12), b = Arial(14);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(SelectObject(dc, a), kFont);
  EXPECT_EQ(SelectObject(dc, b), a);
  EXPECT_EQ(SelectObject(dc, kFont), b);
  EXPECT_EQ(SelectObject(dc, kFont), kFont);
  EXPECT_EQ(SelectObject(nullptr, a), nullptr);
  EXPECT_EQ(SelectObject(dc, nullptr), nullptr);

  // Measuring empty text leaves the rectangle alone.
  SelectObject(dc, a);
  RECT r = { 5, 6, 7, 8 };
  EXPECT_EQ(DrawText(dc, "", -1, &r, DT_CALCRECT), 0);
  EXPECT_EQ(r.right, 7);
  EXPECT_EQ(r.bottom, 8);
  SelectObject(dc, kFont);
  EXPECT_TRUE(DeleteObject(a));
  EXPECT_TRUE(DeleteObject(b));
  EXPECT_FALSE(DeleteObject(kFont));
}

TEST(TextContext, SelectedObjectsLiveUntilTheirLastRelease)
{
  LICE_SysBitmap bm(120, 60);
  const int live = lice_dc::LiveObjectCount();
  // Draws "Mix" through the context; the ink height tells which font drew.
  auto inkHeight = [&](HDC dc)
  {
    Clear(bm, kBlack);
    SetTextColor(dc, RGB(255, 255, 255));
    RECT r = { 0, 0, 120, 60 };
    EXPECT_EQ(DrawText(dc, "Mix", -1, &r, 0), 40);
    const Box box = InkBox(bm, kBlack);
    return box.Empty() ? 0 : box.b - box.t;
  };

  // Each way a context lets go of what it holds.
  const struct
  {
    const char* name;
    void (*release)(HDC dc, HFONT other);
    bool deletesContext;
  } ways[] = {
    { "kind number selected",
      [](HDC dc, HFONT) { SelectObject(dc, reinterpret_cast<HGDIOBJ>((uintptr_t)LICE_OBJ_FONT)); }, false },
    { "another font selected", [](HDC dc, HFONT other) { SelectObject(dc, other); }, false },
    { "context deleted", [](HDC dc, HFONT) { LICE_DeleteContext(dc); }, true },
  };
  for (const auto& w : ways)
  {
    SCOPED_TRACE(w.name);
    HDC dc = LICE_CreateBitmapContext(&bm);
    HFONT f = Arial(40), other = Arial(12);
    ASSERT_TRUE(dc && f && other);
    SelectObject(dc, f);
    SelectObject(dc, f);  // the slot holds one reference however often
    EXPECT_TRUE(DeleteObject(f));
    EXPECT_FALSE(DeleteObject(f));  // the maker's reference goes once
    EXPECT_EQ(lice_dc::LiveObjectCount(), live + 2);

    TEXTMETRIC tm;
    ASSERT_TRUE(GetTextMetrics(dc, &tm));
    EXPECT_EQ(tm.tmHeight, 40);
    EXPECT_GT(inkHeight(dc), 20);

    w.release(dc, other);
    EXPECT_EQ(lice_dc::LiveObjectCount(), live + 1);
    if (!w.deletesContext) LICE_DeleteContext(dc);
    EXPECT_TRUE(DeleteObject(other));
    EXPECT_EQ(lice_dc::LiveObjectCount(), live);
  }

  // Selected into two contexts, it lives until the second lets go.
  HDC a = LICE_CreateBitmapContext(&bm), b = LICE_CreateBitmapContext(&bm);
  HFONT f = Arial(40);
  ASSERT_TRUE(a && b && f);
  SelectObject(a, f);
  SelectObject(b, f);
  DeleteObject(f);
  LICE_DeleteContext(a);
  EXPECT_EQ(lice_dc::LiveObjectCount(), live + 1);
  EXPECT_GT(inkHeight(b), 20);
  LICE_DeleteContext(b);
  EXPECT_EQ(lice_dc::LiveObjectCount(), live);
}

TEST(TextContext, MetricsFaceCacheAndMultiLineMeasure)
{
  const int misses = lice_dc::FaceCacheMisses();
  HFONT f = Arial(16);
  HFONT g = Arial(20);
  ASSERT_TRUE(f && g);
  EXPECT_LE(lice_dc::FaceCacheMisses(), misses + 1);  // one face for both sizes

  LICE_SysBitmap bm(64, 64);
  HDC dc = static_cast<HDC>(bm.PlatformContext());
  SelectObject(dc, f);
  TEXTMETRIC tm;
  ASSERT_TRUE(GetTextMetrics(dc, &tm));
  // A positive height is the cell height, as on Windows.
  EXPECT_EQ(tm.tmHeight, 16);
  EXPECT_EQ(tm.tmAscent + tm.tmDescent, 16);
  EXPECT_GT(tm.tmAveCharWidth, 0);

  RECT one = { 0, 0, 0, 0 }, two = { 0, 0, 0, 0 }, single = { 0, 0, 0, 0 };
  EXPECT_EQ(DrawText(dc, "ab", -1, &one, DT_CALCRECT), 16);
  EXPECT_EQ(DrawText(dc, "ab\nc", -1, &two, DT_CALCRECT), 32);
  EXPECT_EQ(two.right, one.right);  // the widest line
  EXPECT_EQ(DrawText(dc, "ab\nc", -1, &single, DT_CALCRECT | DT_SINGLELINE), 16);
  EXPECT_GT(single.right, one.right);

  SelectObject(dc, g);
  ASSERT_TRUE(GetTextMetrics(dc, &tm));
  EXPECT_EQ(tm.tmHeight, 20);
  SelectObject(dc, reinterpret_cast<HGDIOBJ>((uintptr_t)LICE_OBJ_FONT));
  DeleteObject(f);
  DeleteObject(g);
}

TEST(TextContext, AlignmentClippingAndOpaqueBackground)
{
  LICE_SysBitmap bm(120, 40);
  HDC dc = static_cast<HDC>(bm.PlatformContext());
  HFONT f = Arial(16);
  SelectObject(dc, f);
  SetTextColor(dc, RGB(255, 255, 255));
  RECT m = { 0, 0, 0, 0 };
  DrawText(dc, "Mix", -1, &m, DT_CALCRECT);
  const int w = m.right;

  const struct
  {
    int flags;
    int x, y;  // expected pen box origin in rect (10, 5, 110, 35)
  } cases[] = {
    { DT_LEFT, 10, 5 },
    { DT_RIGHT, 110 - w, 5 },
    { DT_CENTER, 10 + 50 - w / 2, 5 },
    { DT_VCENTER, 10, 5 + 15 - 8 },
    { DT_BOTTOM, 10, 35 - 16 },
  };
  for (const auto& c : cases)
  {
    Clear(bm, kBlack);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(0, 0, 255));
    RECT r = { 10, 5, 110, 35 };
    EXPECT_EQ(DrawText(dc, "Mix", -1, &r, c.flags), 16);
    // The opaque background paints exactly the pen box.
    const Box box = InkBox(bm, kBlack);
    EXPECT_EQ(box.l, c.x) << c.flags;
    EXPECT_EQ(box.t, c.y) << c.flags;
    EXPECT_EQ(box.r, c.x + w) << c.flags;
    EXPECT_EQ(box.b, c.y + 16) << c.flags;
  }

  // Clipped to the rectangle unless DT_NOCLIP.
  SetBkMode(dc, TRANSPARENT);
  for (const int noclip : { 0, DT_NOCLIP })
  {
    Clear(bm, kBlack);
    RECT r = { 0, 0, 6, 8 };
    DrawText(dc, "MMM", -1, &r, noclip);
    const Box box = InkBox(bm, kBlack);
    ASSERT_FALSE(box.Empty());
    if (noclip)
    {
      EXPECT_GT(box.r, 6);
    }
    else
    {
      EXPECT_LE(box.r, 6);
      EXPECT_LE(box.b, 8);
    }
  }
  SelectObject(dc, reinterpret_cast<HGDIOBJ>((uintptr_t)LICE_OBJ_FONT));
  DeleteObject(f);
}

// ============================================================================
// Glyph cache
// ============================================================================

TEST(CachedFont, Utf8Decoding)
{
  const struct
  {
    std::vector<unsigned char> bytes;
    unsigned ch;
    int used;
  } cases[] = {
    { { 0x41 }, 0x41, 1 },
    { { 0xC3, 0xA9 }, 0xE9, 2 },
    { { 0xC3 }, 0xC3, 1 },        // lone lead at the end
    { { 0xC3, 0x41 }, 0xC3, 1 },  // not a continuation
    { { 0xC1, 0x81 }, 0xC1, 1 },  // overlong leads stand for themselves
    { { 0x80 }, 0x80, 1 },
    { { 0xE2, 0x82, 0xAC }, 0x20AC, 3 },
    { { 0xE2, 0x82 }, 0xE2, 1 },
    { { 0xF0, 0x9F, 0x98, 0x80 }, 0x20, 4 },  // beyond 16 bits: a space
    { { 0xF0, 0x9F, 0x98 }, 0xF0, 1 },
    { { 0xF5, 0x80, 0x80, 0x80 }, 0xF5, 1 },
  };
  for (const auto& c : cases)
  {
    unsigned ch = 0;
    EXPECT_EQ(lice::DecodeUTF8(c.bytes.data(), (int)c.bytes.size(), &ch), c.used);
    EXPECT_EQ(ch, c.ch);
  }
}

TEST(CachedFont, AsciiDirectOthersSortedAndPrecalcAsciiOnly)
{
  auto font = Font(16, 0x200 | 0x400);
  EXPECT_EQ(font->GetLineHeight(), 16);
  LICE_MemBitmap bm(200, 40);
  Clear(bm, kBlack);
  RECT r = { 0, 0, 200, 40 };
  // Code points out of order: ü (FC), à (E0), é (E9), € (20AC).
  font->DrawText(&bm, "A\xC3\xBC\xC3\xA0\xE2\x82\xAC\xC3\xA9\xC3\xA0", -1, &r, LICE_DT_NEEDALPHA);
  EXPECT_NE(font->FindGlyph('A')->offset, 0);
  EXPECT_EQ(font->FindGlyph('B')->offset, 0);
  ASSERT_EQ(font->ExtendedGlyphCount(), 4);
  const unsigned short codes[] = { 0xE0, 0xE9, 0xFC, 0x20AC };
  for (int i = 0; i < 4; ++i)
  {
    const LICE_CachedFont::Glyph* g = font->FindGlyph(codes[i]);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->code, codes[i]);
    EXPECT_GT(g->offset, 0);
  }
  EXPECT_EQ(font->FindGlyph(0xE1), nullptr);

  // Flag 0x4: ASCII at once, nothing else ever.
  auto pre = Font(16, 0x200 | 0x4);
  EXPECT_GT(pre->FindGlyph('z')->offset, 0);
  Clear(bm, kBlack);
  pre->DrawText(&bm, "\xC3\xA9", -1, &r, 0);
  EXPECT_EQ(pre->ExtendedGlyphCount(), 0);
  EXPECT_TRUE(InkBox(bm, kBlack).Empty());

  // A re-set drops every cached glyph.
  font->SetFromPlatformFont(Arial(12), 0x200 | 0x400);
  EXPECT_EQ(font->ExtendedGlyphCount(), 0);
  EXPECT_EQ(font->FindGlyph('A')->offset, 0);
  EXPECT_EQ(font->GetLineHeight(), 12);
}

TEST(CachedFont, NoPlatformFontKeepsOneSortedRecordPerCharacter)
{
  // A font whose platform font could not be made renders nothing, but its
  // records must still sort in: a missed lookup appends on every draw.
  LICE_MemBitmap bm(60, 20);
  RECT area = { 0, 0, 60, 20 };
  const struct
  {
    const char* text;
    std::vector<unsigned short> codes;  // sorted, distinct
  } texts[] = {
    { "\xC3\xBC\xC3\xA0\xE2\x82\xAC\xC3\xA9\xC3\xA0", { 0xE0, 0xE9, 0xFC, 0x20AC } },
    { "D\xC3\xA9lai \xE2\x88\x9E \xC3\x9F\xC2\xB0", { 0xB0, 0xDF, 0xE9, 0x221E } },
  };
  const struct
  {
    const char* name;
    bool reset;  // through SetFromPlatformFont(nullptr), else as constructed
    LICE_IBitmap* bm;
    int flags;
  } ways[] = {
    { "draw", true, &bm, 0 },
    { "draw, never set", false, &bm, LICE_DT_NEEDALPHA },
    { "measure", true, nullptr, DT_CALCRECT },
  };
  for (const auto& t : texts)
    for (const auto& w : ways)
    {
      LICE_CachedFont font;
      if (w.reset) font.SetFromPlatformFont(nullptr, 0);
      for (int pass = 0; pass < 4; ++pass)
      {
        RECT r = area;
        font.DrawText(w.bm, t.text, -1, &r, w.flags);
        ASSERT_EQ(font.ExtendedGlyphCount(), (int)t.codes.size()) << w.name << " pass " << pass;
      }
      for (const unsigned short code : t.codes)
      {
        const LICE_CachedFont::Glyph* g = font.FindGlyph(code);
        ASSERT_NE(g, nullptr) << w.name << " " << code;
        EXPECT_EQ(g->code, code);
        EXPECT_EQ(g->offset, 0);  // nothing to render with
      }
    }
}

TEST(CachedFont, MeasureLinesSpacesAndFourByteSequences)
{
  auto font = Font(16, 0x200 | 0x400);
  auto measure = [&](const char* s, int flags)
  {
    RECT r = { 3, 4, 3, 4 };
    const int h = font->DrawText(nullptr, s, -1, &r, flags | DT_CALCRECT | LICE_DT_NEEDALPHA);
    EXPECT_EQ(h, r.bottom - 4);
    return std::make_pair(r.right - 3, h);
  };
  EXPECT_EQ(measure("ab\nc", 0).second, 32);
  EXPECT_EQ(measure("ab\r\nc", 0).second, 32);
  EXPECT_EQ(measure("ab\nc", DT_SINGLELINE), measure("ab c", 0));
  EXPECT_EQ(measure("a\xF0\x9F\x98\x80"
                    "b",
                    0),
            measure("a b", 0));
  EXPECT_EQ(measure("", 0), std::make_pair(0, 0));
  // Both ways agree on the size.
  RECT native = { 0, 0, 0, 0 };
  font->DrawText(nullptr, "Delay 1/4", -1, &native, DT_CALCRECT);
  EXPECT_EQ(std::make_pair((int)native.right, (int)native.bottom), measure("Delay 1/4", 0));
}

TEST(CachedFont, ShadowOutlineAndMonoCoverage)
{
  for (const int fx : { 0x40, 0x80, 0x100 })
  {
    auto font = Font(16, 0x200 | fx);
    LICE_MemBitmap bm(40, 40);
    RECT r = { 0, 0, 40, 40 };
    font->DrawText(&bm, "Il", -1, &r, 0);
    for (const unsigned short ch : { 'I', 'l' })
    {
      const LICE_CachedFont::Glyph* g = font->FindGlyph(ch);
      ASSERT_GT(g->offset, 0);
      const unsigned char* c = font->Coverage(g);
      auto at = [&](int x, int y)
      { return x < 0 || y < 0 || x >= g->width || y >= g->height ? -1 : (int)c[y * g->width + x]; };
      int effectPixels = 0;
      for (int y = 0; y < g->height; ++y)
        for (int x = 0; x < g->width; ++x)
        {
          const int v = at(x, y);
          ASSERT_TRUE(v == 0 || v == 255 || (fx != 0x40 && v == 128)) << v;
          effectPixels += v == 128;
          if (v != 255) continue;
          // Every full pixel has its effect neighbours inside the box.
          const int(*n)[2] = nullptr;
          static const int shadow[3][2] = { { 1, 0 }, { 0, 1 }, { 1, 1 } };
          static const int outline[4][2] = { { 1, 0 }, { -1, 0 }, { 0, 1 }, { 0, -1 } };
          const int count = fx == 0x80 ? 3 : fx == 0x100 ? 4 : 0;
          n = fx == 0x80 ? shadow : outline;
          for (int k = 0; k < count; ++k)
          {
            const int nv = at(x + n[k][0], y + n[k][1]);
            if (nv == -1 && fx == 0x100 && n[k][1] != 0) continue;  // rows are not widened
            if (nv == -1 && fx == 0x80 && n[k][1] != 0) continue;
            EXPECT_TRUE(nv == 255 || nv == 128) << "fx " << fx << " at " << x << "," << y;
          }
        }
      if (fx != 0x40)
      {
        EXPECT_GT(effectPixels, 0);
      }
    }
  }

  // Shadow pixels take the effect colour.
  auto font = Font(16, 0x200 | 0x80);
  font->SetEffectColour(LICE_RGBA(255, 0, 0, 255));
  LICE_MemBitmap bm(40, 40);
  Clear(bm, kBlack);
  RECT r = { 0, 0, 40, 40 };
  font->DrawText(&bm, "I", -1, &r, 0);
  int red = 0, white = 0;
  for (int i = 0; i < 40 * 40; ++i)
  {
    red += bm.PixelData()[i] == LICE_RGBA(255, 0, 0, 255);
    white += bm.PixelData()[i] == kWhite;
  }
  EXPECT_GT(red, 0);
  EXPECT_GT(white, 0);
}

// ============================================================================
// Drawing
// ============================================================================

TEST(CachedFont, NativeAndCachedWaysInkTheSameBox)
{
  auto font = Font(16);
  const struct
  {
    const char* text;
    int flags;
  } cases[] = {
    { "Quorvex 2", 0 },   { "1/4", DT_CENTER },          { "100%", DT_RIGHT },
    { "jy", DT_VCENTER }, { "D\xC3\xA9lai", DT_BOTTOM }, { "two\nlines", DT_CENTER },
  };
  for (const auto& c : cases)
  {
    LICE_SysBitmap native(120, 50), scratchWay(120, 50);
    LICE_MemBitmap cached(120, 50);
    for (LICE_IBitmap* bm : { (LICE_IBitmap*)&native, (LICE_IBitmap*)&cached, (LICE_IBitmap*)&scratchWay })
      Clear(*bm, kBlack);
    RECT r1 = { 10, 5, 110, 45 }, r2 = r1, r3 = r1;
    const int h1 = font->DrawText(&native, c.text, -1, &r1, c.flags | DT_NOCLIP);
    const int h2 = font->DrawText(&cached, c.text, -1, &r2, c.flags | DT_NOCLIP | LICE_DT_NEEDALPHA);
    scratchWay.SetPlatformContext(nullptr);  // no context: the native scratch way
    const int h3 = font->DrawText(&scratchWay, c.text, -1, &r3, c.flags | DT_NOCLIP);
    EXPECT_EQ(h1, h3) << c.text;
    EXPECT_GT(h2, 0);
    const Box a = InkBox(native, kBlack), b = InkBox(cached, kBlack), s = InkBox(scratchWay, kBlack);
    ASSERT_FALSE(a.Empty()) << c.text;
    // Centring halves the rectangle and the text separately on the native
    // way, the difference on the cached way: one pixel apart at most.
    EXPECT_NEAR(a.l, b.l, 1) << c.text;
    EXPECT_NEAR(a.r, b.r, 1) << c.text;
    EXPECT_NEAR(a.t, b.t, 1) << c.text;
    EXPECT_NEAR(a.b, b.b, 1) << c.text;
    EXPECT_EQ(std::make_tuple(a.l, a.t, a.r, a.b), std::make_tuple(s.l, s.t, s.r, s.b)) << c.text;
    if (c.flags != 0) continue;
    // Unaligned, both ways put the same coverage down (up to rounding).
    for (int y = 0; y < 50; ++y)
      for (int x = 0; x < 120; ++x)
        ASSERT_NEAR(LICE_GETR(native.PixelData()[y * native.RowSpan() + x]),
                    LICE_GETR(cached.PixelData()[y * cached.RowSpan() + x]), 2)
            << c.text << " at " << x << "," << y;
  }
}

TEST(CachedFont, WayChoiceColourAlphaAndClipping)
{
  auto font = Font(16);
  LICE_MemBitmap bm(60, 30);
  RECT r = { 0, 0, 60, 30 };

  // The native way leaves the glyph cache empty; bit 31 or colour alpha use it.
  Clear(bm, kBlack);
  font->DrawText(&bm, "Q", -1, &r, 0);
  EXPECT_EQ(font->FindGlyph('Q')->offset, 0);
  font->DrawText(&bm, "Q", -1, &r, LICE_DT_NEEDALPHA);
  EXPECT_GT(font->FindGlyph('Q')->offset, 0);
  font->DrawText(&bm, "R", -1, &r, LICE_DT_USEFGALPHA);
  EXPECT_GT(font->FindGlyph('R')->offset, 0);

  // Colour alpha halves the ink; zero alpha draws nothing.
  auto brightest = [&](int alpha)
  {
    Clear(bm, kBlack);
    font->SetTextColour(LICE_RGBA(255, 255, 255, alpha));
    EXPECT_GT(font->DrawText(&bm, "I", -1, &r, LICE_DT_USEFGALPHA), 0);
    int v = 0;
    for (int i = 0; i < bm.RowSpan() * bm.Height(); ++i) v = std::max(v, LICE_GETR(bm.PixelData()[i]));
    return v;
  };
  const int full = brightest(255);
  EXPECT_NEAR(brightest(128), full / 2, 2);
  Clear(bm, kBlack);
  font->SetTextColour(LICE_RGBA(255, 255, 255, 0));
  EXPECT_EQ(font->DrawText(&bm, "I", -1, &r, LICE_DT_USEFGALPHA), 0);
  EXPECT_TRUE(InkBox(bm, kBlack).Empty());

  // Clipping: an empty or off-bitmap rectangle draws nothing.
  font->SetTextColour(kWhite);
  RECT empty = { 10, 10, 10, 20 }, off = { -50, -50, -10, -10 };
  EXPECT_EQ(font->DrawText(&bm, "I", -1, &empty, LICE_DT_NEEDALPHA), 0);
  EXPECT_EQ(font->DrawText(&bm, "I", -1, &off, LICE_DT_NEEDALPHA), 0);
  EXPECT_EQ(font->DrawText(nullptr, "I", -1, &r, 0), 0);
  EXPECT_TRUE(InkBox(bm, kBlack).Empty());
  EXPECT_FALSE(font->DrawGlyph(&bm, 'Z', 0, 0, &r));  // not cached
}

TEST(CachedFont, SubBitmapViewDrawsIntoItsParent)
{
  struct View : LICE_IBitmap
  {
    LICE_SysBitmap* parent;
    LICE_PixelWord* PixelData() override { return parent->PixelData() + 10 * parent->RowSpan() + 20; }
    int Width() override { return 30; }
    int Height() override { return 20; }
    int RowSpan() override { return parent->RowSpan(); }
    bool Resize(int, int) override { return false; }
    intptr_t Extension(int id, void* data) override
    {
      if (id != LICE_EXT_SUBBITMAP) return 0;
      *static_cast<LICE_SubBitmapInfo*>(data) = { parent, 20, 10 };
      return LICE_EXT_SUBBITMAP_ANSWER;
    }
  };
  LICE_SysBitmap parent(100, 50);
  Clear(parent, kBlack);
  View view;
  view.parent = &parent;
  auto font = Font(16);
  RECT r = { 0, 0, 30, 20 };
  EXPECT_EQ(font->DrawText(&view, "WWWWWW", -1, &r, DT_NOCLIP), 16);
  const Box box = InkBox(parent, kBlack);
  ASSERT_FALSE(box.Empty());
  // Clipped to the view even without clipping to the rectangle.
  EXPECT_GE(box.l, 20);
  EXPECT_EQ(box.r, 50);
  EXPECT_GE(box.t, 10);
  EXPECT_LE(box.b, 30);
}

TEST(CachedFont, ScratchBitmapsLiveWithTheFonts)
{
  ASSERT_EQ(LICE_CachedFont::LiveFontCount(), 0);
  {
    auto font = Font(16);
    EXPECT_TRUE(LICE_CachedFont::ScratchBitmapsExist());
    LICE_MemBitmap bm(30, 20);
    RECT r = { 0, 0, 30, 20 };
    font->DrawText(&bm, "x", -1, &r, 0);
  }
  EXPECT_FALSE(LICE_CachedFont::ScratchBitmapsExist());
  auto again = Font(14);
  LICE_MemBitmap bm(30, 20);
  Clear(bm, kBlack);
  RECT r = { 0, 0, 30, 20 };
  EXPECT_EQ(again->DrawText(&bm, "x", -1, &r, 0), 14);
  EXPECT_FALSE(InkBox(bm, kBlack).Empty());
}

TEST(CachedFont, VerticalTextRunsDownOrUp)
{
  for (const int flags : { 0x1, 0x1 | 0x2 })
  {
    auto font = Font(16, 0x200 | flags);
    LICE_MemBitmap bm(40, 120);
    Clear(bm, kBlack);
    RECT m = { 0, 0, 0, 0 };
    // Measuring swaps the axes: one line is as wide as the line height.
    EXPECT_EQ(font->DrawText(nullptr, "Tell", -1, &m, DT_CALCRECT), 16);
    EXPECT_EQ(m.right, 16);
    EXPECT_GT(m.bottom, 20);
    RECT r = { 10, 10, 40, 120 };
    EXPECT_EQ(font->DrawText(&bm, "Tell", -1, &r, 0), 16);
    const Box box = InkBox(bm, kBlack);
    ASSERT_FALSE(box.Empty());
    EXPECT_GT(box.b - box.t, 2 * (box.r - box.l)) << flags;
    EXPECT_GE(box.l, 10);
    EXPECT_LE(box.r, 26);
    EXPECT_GE(box.t, 10);
    EXPECT_LE(box.b, 10 + m.bottom + 1);
    // Glyphs are stored turned a quarter: taller than wide for a 'T'.
    const LICE_CachedFont::Glyph* t = font->FindGlyph('T');
    ASSERT_GT(t->offset, 0);
    EXPECT_GT(t->height, t->width / 2);
  }
}

TEST(TextContext, PooledRecordsAreReusedAndDoubleDeletesIgnored)
{
  LICE_SysBitmap bm(4, 4);
  HDC a = LICE_CreateBitmapContext(&bm);
  ASSERT_NE(a, nullptr);
  SetTextColor(a, RGB(1, 2, 3));
  LICE_DeleteContext(a);
  LICE_DeleteContext(a);              // already pooled: ignored
  EXPECT_EQ(SetTextColor(a, 0), 0u);  // a pooled record is no context
  HDC b = LICE_CreateBitmapContext(&bm);
  EXPECT_EQ(b, a);  // taken back from the pool, cleared
  EXPECT_EQ(GetTextColor(b), 0u);
  HDC c = LICE_CreateBitmapContext(&bm);
  EXPECT_NE(c, b);
  LICE_DeleteContext(b);
  LICE_DeleteContext(c);
}

// Sample sheet for a person to look at: each size from 10 to 24, native way
// on the left, cached way on the right.
TEST(CachedFont, SampleSheet)
{
  const int w = 560, rowH = 30, h = 15 * rowH;
  LICE_SysBitmap sheet(w, h);
  Clear(sheet, LICE_RGBA(32, 34, 38, 255));
  for (int size = 10; size <= 24; ++size)
  {
    auto font = Font(size);
    font->SetTextColour(LICE_RGBA(255, 255, 255, 230));
    const int y = (size - 10) * rowH;
    char text[64];
    snprintf(text, sizeof(text), "%d: 1/4 Feedback 62%% D\xC3\xA9lai", size);
    RECT left = { 4, y, w / 2, y + rowH }, right = { w / 2 + 4, y, w, y + rowH };
    font->DrawText(&sheet, text, -1, &left, DT_VCENTER | DT_NOCLIP);
    font->DrawText(&sheet, text, -1, &right, DT_VCENTER | DT_NOCLIP | LICE_DT_USEFGALPHA);
  }
  EXPECT_TRUE(qtest::WritePng("text_sample_sheet.png", &sheet));
}

}  // namespace
