// Linux text backend: faces found through fontconfig, glyphs rendered by
// FreeType with grey anti-aliasing (or 1-bit for the non-anti-aliased
// quality), integer pen advances and no kerning, like GDI's DrawText.
// Rendered glyphs are kept per font so that repeated draws only blend.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "lice_dc_impl.h"
#include "lice_utf8.h"
#include "mutex.h"

namespace lice_dc
{

namespace
{

struct Face
{
  std::string path;
  int index;
};

struct Library
{
  WDL_Mutex mutex;  // FreeType wants face creation and destruction serialised
  FT_Library ft = nullptr;
  std::vector<Face*> faces;
  BackendFont* defaultFont = nullptr;
  bool defaultTried = false;

  ~Library();
};

// Set once the library is torn down at unload: fonts closed later (by other
// static destructors) are only freed, since FreeType has dropped their faces.
bool gLibraryGone = false;

Library& TheLibrary()
{
  static Library lib;
  return lib;
}

struct Glyph
{
  bool loaded;
  int advance;
  int left, top;  // bitmap origin relative to the pen and the baseline
  int w, h;
  size_t offset;  // into the coverage store
};

}  // namespace

struct BackendFont
{
  FT_Face face = nullptr;
  int ascent = 0, descent = 0, internalLeading = 0, aveWidth = 0;
  bool antialias = true;
  Glyph ascii[128] = {};
  std::unordered_map<unsigned, Glyph> others;
  std::vector<unsigned char> coverage;
};

namespace
{

Library::~Library()
{
  if (defaultFont) CloseFont(defaultFont);
  for (Face* f : faces) delete f;
  if (ft) FT_Done_FreeType(ft);
  gLibraryGone = true;
}

FT_Library FreeType()
{
  Library& lib = TheLibrary();
  if (!lib.ft && FT_Init_FreeType(&lib.ft)) lib.ft = nullptr;
  return lib.ft;
}

const Glyph* GetGlyph(BackendFont* f, unsigned ch)
{
  Glyph* g;
  if (ch < 128)
    g = &f->ascii[ch];
  else
    g = &f->others[ch];
  if (g->loaded) return g;
  g->loaded = true;

  const FT_Int32 load =
      FT_LOAD_RENDER | (f->antialias ? FT_LOAD_TARGET_LIGHT : FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME);
  if (FT_Load_Char(f->face, ch, load)) return g;
  const FT_GlyphSlot slot = f->face->glyph;
  g->advance = (int)((slot->advance.x + 32) >> 6);
  const FT_Bitmap& bm = slot->bitmap;
  if (bm.width == 0 || bm.rows == 0) return g;
  if (bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.pixel_mode != FT_PIXEL_MODE_MONO) return g;

  const size_t w = bm.width, h = bm.rows;
  const size_t at = f->coverage.size();
  f->coverage.resize(at + w * h);
  for (size_t y = 0; y < h; ++y)
  {
    const unsigned char* src = bm.buffer + (ptrdiff_t)y * bm.pitch;
    unsigned char* dst = &f->coverage[at + y * w];
    if (bm.pixel_mode == FT_PIXEL_MODE_GRAY)
      memcpy(dst, src, w);
    else
      for (size_t x = 0; x < w; ++x) dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
  }
  g->left = slot->bitmap_left;
  g->top = slot->bitmap_top;
  g->w = (int)w;
  g->h = (int)h;
  g->offset = at;
  return g;
}

// x' = x + (c - x) * k / 255 per channel; ink is opaque.
inline void Blend(unsigned char* d, int r, int g, int b, int k)
{
  if (k >= 255)
  {
    lice::StoreRGBA(d, r, g, b, 255);
    return;
  }
  d[LICE_PIXEL_R] = (unsigned char)(d[LICE_PIXEL_R] + (r - d[LICE_PIXEL_R]) * k / 255);
  d[LICE_PIXEL_G] = (unsigned char)(d[LICE_PIXEL_G] + (g - d[LICE_PIXEL_G]) * k / 255);
  d[LICE_PIXEL_B] = (unsigned char)(d[LICE_PIXEL_B] + (b - d[LICE_PIXEL_B]) * k / 255);
  d[LICE_PIXEL_A] = (unsigned char)(d[LICE_PIXEL_A] + (255 - d[LICE_PIXEL_A]) * k / 255);
}

}  // namespace

void* ResolveFace(const char*, const char* family, bool bold, bool italic)
{
  FcPattern* pat = FcPatternCreate();
  if (!pat) return nullptr;
  if (family && *family) FcPatternAddString(pat, FC_FAMILY, (const FcChar8*)family);
  FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pat, &result);
  FcPatternDestroy(pat);
  if (!match) return nullptr;

  Face* face = nullptr;
  FcChar8* file = nullptr;
  int index = 0;
  if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
  {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    face = new Face{ reinterpret_cast<const char*>(file), index };
    Library& lib = TheLibrary();
    WDL_MutexLock lock(&lib.mutex);
    lib.faces.push_back(face);
  }
  FcPatternDestroy(match);
  return face;
}

BackendFont* OpenFont(void* faceHandle, int size, bool cellHeight, int quality)
{
  const Face* face = static_cast<const Face*>(faceHandle);
  if (!face) return nullptr;
  FT_Face ftFace = nullptr;
  {
    Library& lib = TheLibrary();
    WDL_MutexLock lock(&lib.mutex);
    FT_Library ft = FreeType();
    if (!ft || FT_New_Face(ft, face->path.c_str(), face->index, &ftFace)) return nullptr;
  }
  if (FT_Select_Charmap(ftFace, FT_ENCODING_UNICODE))
  { /* keep the face's own map */
  }

  // Cell heights follow the Windows ascent and descent so that Arial and its
  // metric twins lay out as they do there.
  double asc = ftFace->ascender, desc = -ftFace->descender;
  const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ftFace, FT_SFNT_OS2));
  if (os2 && os2->usWinAscent + os2->usWinDescent > 0)
  {
    asc = os2->usWinAscent;
    desc = os2->usWinDescent;
  }
  const double upem = ftFace->units_per_EM > 0 ? ftFace->units_per_EM : 2048;
  if (asc + desc <= 0) asc = upem, desc = 0;

  BackendFont* f = new BackendFont;
  f->face = ftFace;
  f->antialias = quality != NONANTIALIASED_QUALITY;
  double em;
  if (cellHeight)
  {
    em = size * upem / (asc + desc);
    f->ascent = (int)std::lround(asc * size / (asc + desc));
    f->descent = size - f->ascent;
  }
  else
  {
    em = size;
    f->ascent = (int)std::lround(asc * em / upem);
    f->descent = (int)std::lround(desc * em / upem);
  }
  f->internalLeading = std::max(0, f->ascent + f->descent - (int)std::lround(em));
  f->aveWidth = os2 && os2->xAvgCharWidth > 0 ? (int)std::lround(os2->xAvgCharWidth * em / upem)
                                              : (int)std::lround(em / 2);
  FT_Set_Char_Size(ftFace, 0, (FT_F26Dot6)std::lround(em * 64), 72, 72);
  return f;
}

void CloseFont(BackendFont* font)
{
  if (!font) return;
  if (!gLibraryGone)
  {
    Library& lib = TheLibrary();
    WDL_MutexLock lock(&lib.mutex);
    FT_Done_Face(font->face);
  }
  delete font;
}

BackendFont* DefaultFont()
{
  Library& lib = TheLibrary();
  WDL_MutexLock lock(&lib.mutex);
  if (!lib.defaultTried)
  {
    lib.defaultTried = true;
    if (void* face = ResolveFace("sans-serif", "sans-serif", false, false))
      lib.defaultFont = OpenFont(face, 10, false, DEFAULT_QUALITY);
  }
  return lib.defaultFont;
}

void GetMetrics(BackendFont* font, TEXTMETRIC* tm)
{
  tm->tmAscent = font->ascent;
  tm->tmDescent = font->descent;
  tm->tmHeight = font->ascent + font->descent;
  tm->tmInternalLeading = font->internalLeading;
  tm->tmExternalLeading = 0;
  tm->tmAveCharWidth = font->aveWidth;
}

// GDI's: every line is the cell height, aligned on its own.
LineRules Rules(BackendFont* font)
{
  const int h = font->ascent + font->descent;
  return LineRules{ h, h, 0, true };
}

int LineWidth(BackendFont* font, const char* text, int n)
{
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  int w = 0;
  for (int i = 0; i < n;)
  {
    unsigned ch;
    i += lice::DecodeUTF8(s + i, n - i, &ch);
    w += GetGlyph(font, ch)->advance;
  }
  return w;
}

void DrawLine(BackendFont* font, const Target& t, int x, int y, const char* text, int n, COLORREF colour)
{
  const int r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
  const int baseline = y + font->ascent;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  for (int i = 0; i < n;)
  {
    unsigned ch;
    i += lice::DecodeUTF8(s + i, n - i, &ch);
    const Glyph* gl = GetGlyph(font, ch);
    const int gx = x + gl->left, gy = baseline - gl->top;
    x += gl->advance;
    if (gl->w <= 0) continue;
    const int x0 = std::max(gx, t.clipL), x1 = std::min(gx + gl->w, t.clipR);
    const int y0 = std::max(gy, t.clipT), y1 = std::min(gy + gl->h, t.clipB);
    for (int yy = y0; yy < y1; ++yy)
    {
      const unsigned char* cov = &font->coverage[gl->offset + (size_t)(yy - gy) * gl->w];
      unsigned char* row = lice::Bytes(t.surface.Row(yy));
      for (int xx = x0; xx < x1; ++xx)
        if (const int k = cov[xx - gx]) Blend(row + 4 * xx, r, g, b, k);
    }
  }
}

}  // namespace lice_dc
