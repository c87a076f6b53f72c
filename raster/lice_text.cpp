// LICE_CachedFont
//   1. Shared scratch bitmaps and platform helpers
//   2. Font set-up and simple accessors
//   3. Glyph cache: lookup and rendering
//   4. DrawText: choosing the way, the cached way, the native way
//   5. DrawGlyph
#include "lice_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "lice_combine.h"
#include "lice_utf8.h"

using lice::DecodeUTF8;

namespace
{

// ============================================================================
// 1. Shared state and platform helpers
// ============================================================================

int gFontCount = 0;
LICE_SysBitmap* gGlyphScratch = nullptr;
LICE_SysBitmap* gNativeScratch = nullptr;

// Grows the glyph scratch to at least w x h; a new surface gets white text on
// an opaque black background so its red channel reads as coverage.
HDC GlyphScratch(int w, int h)
{
  if (!gGlyphScratch) gGlyphScratch = new LICE_SysBitmap();
  if (gGlyphScratch->Width() < w || gGlyphScratch->Height() < h)
  {
    gGlyphScratch->Resize(w, h);
    HDC dc = static_cast<HDC>(gGlyphScratch->PlatformContext());
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(0, 0, 0));
  }
  if (gGlyphScratch->Width() < w || gGlyphScratch->Height() < h) return nullptr;
  return static_cast<HDC>(gGlyphScratch->PlatformContext());
}

COLORREF ToColorRef(LICE_PixelWord p) { return RGB(LICE_GETR(p), LICE_GETG(p), LICE_GETB(p)); }

#ifdef _WIN32
bool RunningUnderWine()
{
  static int state = 0;  // 0 not probed, 1 no, 2 yes
  if (!state)
  {
    HKEY key = nullptr;
    state = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine", 0, KEY_READ, &key) == ERROR_SUCCESS ? 2 : 1;
    if (key) RegCloseKey(key);
  }
  return state == 2;
}

bool HasMultiByteSequence(const char* text, int count)
{
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  for (int i = 0; count < 0 ? s[i] != 0 : i < count;)
  {
    unsigned ch;
    const int avail = count < 0 ? 4 : count - i;
    const int n = DecodeUTF8(s + i, avail, &ch);
    if (n > 1) return true;
    i += n;
  }
  return false;
}

// UTF-8 with a well-formed multi-byte sequence goes through the UTF-16 entry
// point; anything else, or a failed strict conversion, through the 8-bit one.
int PlatformDrawText(HDC dc, const char* text, int count, RECT* r, int flags)
{
  if (HasMultiByteSequence(text, count))
  {
    WCHAR fixed[1024];
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, count, nullptr, 0);
    if (units > 0)
    {
      std::vector<WCHAR> heap;
      WCHAR* buf = fixed;
      if (units > 999)
      {
        heap.resize((size_t)units + 1);
        buf = heap.data();
      }
      const int got = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, count, buf, units);
      if (got > 0)
      {
        const int len = count < 0 ? -1 : got;
        return DrawTextW(dc, buf, len, r, flags);
      }
    }
  }
  return DrawTextA(dc, text, count, r, flags);
}
#else
bool RunningUnderWine() { return false; }

int PlatformDrawText(HDC dc, const char* text, int count, RECT* r, int flags)
{
  return DrawText(dc, text, count, r, flags);
}
#endif

const int kAlignFlags = DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM;

}  // namespace

// ============================================================================
// 2. Set-up and accessors
// ============================================================================

LICE_CachedFont::LICE_CachedFont() : mExtended(4096), mCoverage(65536)
{
  memset(mAscii, 0, sizeof(mAscii));
  ++gFontCount;
}

LICE_CachedFont::~LICE_CachedFont()
{
  if ((mFlags & LICE_FONT_FLAG_OWNS_HFONT) && mFont) DeleteObject(mFont);
  if (--gFontCount == 0)
  {
    delete gGlyphScratch;
    delete gNativeScratch;
    gGlyphScratch = gNativeScratch = nullptr;
  }
}

int LICE_CachedFont::LiveFontCount() { return gFontCount; }

bool LICE_CachedFont::ScratchBitmapsExist() { return gGlyphScratch || gNativeScratch; }

void LICE_CachedFont::SetFromPlatformFont(HFONT font, int flags)
{
  if ((mFlags & LICE_FONT_FLAG_OWNS_HFONT) && mFont && mFont != font) DeleteObject(mFont);
  mFlags = flags;
  mFont = font;

  if (font)
  {
    if (HDC dc = GlyphScratch(256, 256))
    {
      HGDIOBJ old = SelectObject(dc, font);
      TEXTMETRIC tm;
      if (GetTextMetrics(dc, &tm)) mLineHeight = tm.tmHeight;
      SelectObject(dc, old);
    }
  }

  memset(mAscii, 0, sizeof(mAscii));
  mExtended.Resize(0);
  mCoverage.Resize(0);

  if (mFlags & LICE_FONT_FLAG_PRECALCALL)
    for (int ch = 0; ch < 128; ++ch) RenderGlyph((unsigned short)ch);
}

void LICE_CachedFont::SetCombineMode(int mode, float alpha)
{
  mCombineMode = mode;
  mCombineAlpha = alpha;
}

// ============================================================================
// 3. Glyph cache
// ============================================================================

const LICE_CachedFont::Glyph* LICE_CachedFont::FindGlyph(unsigned short ch) const
{
  if (ch < 128) return &mAscii[ch];
  const Glyph* list = mExtended.Get();
  const int n = mExtended.GetSize();
  const Glyph* it =
      std::lower_bound(list, list + n, ch, [](const Glyph& g, unsigned short c) { return g.code < c; });
  return it != list + n && it->code == ch ? it : nullptr;
}

const unsigned char* LICE_CachedFont::Coverage(const Glyph* g) const
{
  if (!g || g->offset <= 0) return nullptr;
  return static_cast<const unsigned char*>(mCoverage.Get()) + (g->offset - 1);
}

LICE_CachedFont::Glyph* LICE_CachedFont::RenderGlyph(unsigned short ch)
{
  if (mLineHeight > 1023) return nullptr;

  Glyph* g = const_cast<Glyph*>(FindGlyph(ch));
  bool appended = false;
  if (!g)
  {
    if (mFlags & LICE_FONT_FLAG_PRECALCALL) return nullptr;
    const int n = mExtended.GetSize();
    Glyph* list = mExtended.Resize(n + 1, false);
    if (!list) return nullptr;
    g = &list[n];
    memset(g, 0, sizeof(*g));
    g->code = ch;
    appended = true;
  }
  if (g->offset != 0) return g;
  g->code = ch;

  // Renders into g, which stays at the list's end until sorted in below.
  // Without a platform font the record stays unrendered but must still be
  // sorted in, or later lookups miss it and append another on every draw.
  [&]
  {
    if (!mFont) return;
    const int s = 2 * std::max(mLineHeight, 1) + 8;
    HDC dc = GlyphScratch(s, s);
    if (!dc) return;
    int m = 2, widen = 4;
    if (mLineHeight > 15)
    {
      m = mLineHeight / 16 + 2;
      widen = 2 * m;
    }

    char utf8[4];
    const int nBytes = lice::EncodeUTF8(ch, utf8);
    HGDIOBJ old = SelectObject(dc, mFont);
    RECT r = { 0, 0, 0, 0 };
    PlatformDrawText(dc, utf8, nBytes, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    const int w = r.right - r.left, h = r.bottom - r.top;
    int bw = std::min(w + widen, gGlyphScratch->Width());
    const int bh = std::min(h, gGlyphScratch->Height());
    if (bw >= 1 && bh >= 1)
    {
      LICE_FillBox(gGlyphScratch, 0, 0, bw, bh, LICE_RGBA(0, 0, 0, 255), 1.0f, LICE_MODE_COPY);
      RECT dr = { m, 0, m + w, h };
      PlatformDrawText(dc, utf8, nBytes, &dr, DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
    }
    SelectObject(dc, old);

    if (bw < 1 || bh < 1)
    {
      g->offset = -1;
      return;
    }
    g->advance = w;
    if (mFlags & LICE_FONT_FLAG_FX_BLUR) LICE_SmoothBlur(gGlyphScratch, gGlyphScratch, 0, 0, 0, 0, bw, bh);

    lice::Surface sur(gGlyphScratch);
    const bool invert = (mFlags & LICE_FONT_FLAG_FX_INVERT) != 0;
    auto cov = [&](int x, int y)
    {
      const int c = lice::Bytes(sur.Row(y) + x)[LICE_PIXEL_R];
      return invert ? 255 - c : c;
    };
    auto inkInColumn = [&](int x)
    {
      for (int y = 0; y < bh; ++y)
        if (cov(x, y)) return true;
      return false;
    };

    // Keep the pen box [m, m + w) plus any ink beyond it.
    int first = std::min(m, bw), end = std::min(m + w, bw);
    for (int x = 0; x < first; ++x)
      if (inkInColumn(x))
      {
        first = x;
        break;
      }
    for (int x = bw - 1; x >= end; --x)
      if (inkInColumn(x))
      {
        end = x + 1;
        break;
      }
    // Shadow and outline pixels land one column beyond the ink; keep room.
    if (mFlags & (LICE_FONT_FLAG_FX_SHADOW | LICE_FONT_FLAG_FX_OUTLINE)) end = std::min(end + 1, bw);
    if ((mFlags & LICE_FONT_FLAG_FX_OUTLINE) && !(mFlags & LICE_FONT_FLAG_FX_SHADOW))
      first = std::max(first - 1, 0);
    const int tw = end - first;
    if (tw < 1)
    {
      g->offset = -1;
      g->advance = 0;
      return;
    }

    const int at = mCoverage.GetSize();
    if ((long long)at + (long long)tw * bh >= 0x7FFFFFFF) return;
    unsigned char* store = static_cast<unsigned char*>(mCoverage.Resize(at + tw * bh, false));
    if (!store) return;
    unsigned char* dst = store + at;
    int gw = tw, gh = bh;
    if (mFlags & LICE_FONT_FLAG_VERTICAL)
    {
      // A quarter turn: clockwise reads top to bottom, anticlockwise bottom to top.
      const bool up = (mFlags & LICE_FONT_FLAG_VERTICAL_BOTTOMUP) != 0;
      gw = bh;
      gh = tw;
      for (int y = 0; y < bh; ++y)
        for (int x = 0; x < tw; ++x)
        {
          const int nx = up ? y : bh - 1 - y, ny = up ? tw - 1 - x : x;
          dst[ny * gw + nx] = (unsigned char)cov(first + x, y);
        }
    }
    else
    {
      for (int y = 0; y < bh; ++y)
        for (int x = 0; x < tw; ++x) dst[y * tw + x] = (unsigned char)cov(first + x, y);
    }

    const int fx = mFlags & (LICE_FONT_FLAG_FX_MONO | LICE_FONT_FLAG_FX_SHADOW | LICE_FONT_FLAG_FX_OUTLINE);
    if (fx)
    {
      for (int i = 0; i < gw * gh; ++i) dst[i] = dst[i] > 130 ? 255 : 0;
      const bool shadow = (mFlags & LICE_FONT_FLAG_FX_SHADOW) != 0;
      if (fx & (LICE_FONT_FLAG_FX_SHADOW | LICE_FONT_FLAG_FX_OUTLINE))
      {
        auto full = [&](int x, int y)
        { return x >= 0 && y >= 0 && x < gw && y < gh && dst[y * gw + x] == 255; };
        // Bottom-up and right-to-left so that new 128s never feed later tests.
        for (int y = gh - 1; y >= 0; --y)
          for (int x = gw - 1; x >= 0; --x)
          {
            unsigned char& p = dst[y * gw + x];
            if (p) continue;
            const bool hit = shadow ? full(x - 1, y) || full(x, y - 1) || full(x - 1, y - 1)
                                    : full(x, y - 1) || full(x, y + 1) || full(x - 1, y) || full(x + 1, y);
            if (hit) p = 128;
          }
      }
    }
    g->offset = at + 1;
    g->width = gw;
    g->height = gh;
    g->overhang = m - first;
  }();

  if (appended)
  {
    // Move the new record from the end into code order.
    Glyph* list = mExtended.Get();
    const int n = mExtended.GetSize();
    const Glyph rec = list[n - 1];
    int i = n - 1;
    for (; i > 0 && list[i - 1].code > rec.code; --i) list[i] = list[i - 1];
    list[i] = rec;
    g = &list[i];
  }
  return g;
}

// ============================================================================
// 4. DrawText
// ============================================================================

bool LICE_CachedFont::UseCachedWay(LICE_IBitmap* bm, int flags, bool forced) const
{
  if (bm && bm->Extension(LICE_EXT_IS_YUV, nullptr)) return true;
  if (mLineHeight >= 256) return false;
  return !(mFlags & LICE_FONT_FLAG_FORCE_NATIVE) || !mFont || forced || RunningUnderWine() ||
         (flags & LICE_DT_USEFGALPHA) || (mFlags & 0x1F7) || (mLineSpacing && !(flags & DT_SINGLELINE));
}

int LICE_CachedFont::DrawText(LICE_IBitmap* bm, const char* text, int count, RECT* rect, int flags)
{
  if (!text || !rect) return 0;
  if (!bm && !(flags & DT_CALCRECT)) return 0;
  const bool forced = (flags & LICE_DT_NEEDALPHA) != 0;
  flags &= ~LICE_DT_NEEDALPHA;
  if (count < 1) count = -1;

  if (UseCachedWay(bm, flags, forced))
    return CachedText(bm, reinterpret_cast<const unsigned char*>(text), count, rect, flags);
  return NativeText(bm, text, count, rect, flags);
}

int LICE_CachedFont::CachedText(LICE_IBitmap* bm, const unsigned char* text, int count, RECT* rect, int flags)
{
  const bool vertical = (mFlags & LICE_FONT_FLAG_VERTICAL) != 0;
  const bool bottomUp = vertical && (mFlags & LICE_FONT_FLAG_VERTICAL_BOTTOMUP);
  const int lineStep = mLineHeight + mLineSpacing;

  // Walks the text, calling fn(glyph, along, across) for each drawable
  // character with the pen before it; returns the extents.
  auto walk = [&](auto&& fn, int* alongExtent, int* acrossExtent)
  {
    int along = 0, across = 0, maxAlong = 0, maxAcross = 0;
    bool any = false;
    for (int i = 0; count < 0 ? text[i] != 0 : i < count;)
    {
      unsigned ch;
      const int avail = count < 0 ? 4 : count - i;
      i += DecodeUTF8(text + i, avail, &ch);
      any = true;
      if (ch == '\r') continue;
      if (ch == '\n')
      {
        if (!(flags & DT_SINGLELINE))
        {
          across += lineStep;
          along = 0;
          continue;
        }
        ch = ' ';
      }
      const Glyph* g = RenderGlyph((unsigned short)ch);
      if (!g || g->offset <= 0)
      {
        if (g && g->offset < 0) along += g->advance;
        continue;
      }
      fn(g, along, across);
      const int ink = along - g->overhang + (vertical ? g->height : g->width);
      along += g->advance;
      maxAlong = std::max(maxAlong, std::max(along, ink));
      maxAcross = std::max(maxAcross, across + mLineHeight);
    }
    if (any) maxAcross = std::max(maxAcross, across + mLineHeight);
    *alongExtent = maxAlong;
    *acrossExtent = maxAcross;
  };
  auto nothing = [](const Glyph*, int, int) {};

  int alongExt = 0, acrossExt = 0;
  if (flags & DT_CALCRECT)
  {
    walk(nothing, &alongExt, &acrossExt);
    const int w = vertical ? acrossExt : alongExt, h = vertical ? alongExt : acrossExt;
    rect->right = rect->left + w;
    rect->bottom = rect->top + h;
    return vertical ? w : h;
  }

  float alpha = mCombineAlpha;
  if (flags & LICE_DT_USEFGALPHA) alpha *= LICE_GETA(mTextColour) / 255.0f;
  if (!(alpha > 0.0f)) return 0;

  int x = rect->left, y = rect->top;
  if ((flags & kAlignFlags) || bottomUp)
  {
    walk(nothing, &alongExt, &acrossExt);
    const int w = vertical ? acrossExt : alongExt, h = vertical ? alongExt : acrossExt;
    if (flags & DT_CENTER)
      x += (rect->right - rect->left - w) / 2;
    else if (flags & DT_RIGHT)
      x = rect->right - w;
    if (flags & DT_VCENTER)
      y += (rect->bottom - rect->top - h) / 2;
    else if (flags & DT_BOTTOM)
      y = rect->bottom - h;
    if (bottomUp) y += h;
  }

  RECT clip = { 0, 0, bm->Width(), bm->Height() };
  if (!(flags & DT_NOCLIP))
  {
    clip.left = std::max((int)rect->left, 0);
    clip.top = std::max((int)rect->top, 0);
    clip.right = std::min((int)rect->right, bm->Width());
    clip.bottom = std::min((int)rect->bottom, bm->Height());
  }
  if (clip.right <= clip.left || clip.bottom <= clip.top) return 0;

  const float savedAlpha = mCombineAlpha;
  mCombineAlpha = alpha;
  int drawnExtent = 0;
  walk(
      [&](const Glyph* g, int along, int across)
      {
        bool drawn;
        if (!vertical)
          drawn = DrawGlyph(bm, g->code, x + along, y + across, &clip);
        else if (bottomUp)
          drawn = DrawGlyph(bm, g->code, x + across, y - along - g->height, &clip);
        else
          drawn = DrawGlyph(bm, g->code, x + across, y + along, &clip);
        if (drawn) drawnExtent = std::max(drawnExtent, across + mLineHeight);
      },
      &alongExt, &acrossExt);
  mCombineAlpha = savedAlpha;
  return drawnExtent;
}

int LICE_CachedFont::NativeText(LICE_IBitmap* bm, const char* text, int count, RECT* rect, int flags)
{
  flags |= DT_NOPREFIX;

  // The destination's own context, or that of a parent it is a view into.
  HDC dc = bm ? static_cast<HDC>(bm->PlatformContext()) : nullptr;
  int ox = 0, oy = 0;
  bool view = false;
  // A few levels at most, so that a view chain that loops ends.
  LICE_IBitmap* level = bm;
  for (int depth = 0; level && !dc && depth < 8; ++depth)
  {
    LICE_SubBitmapInfo info = { nullptr, 0, 0 };
    if (level->Extension(LICE_EXT_SUBBITMAP, &info) != LICE_EXT_SUBBITMAP_ANSWER || !info.parent ||
        info.parent == level || info.x < -0xFFFFFF || info.x > 0xFFFFFF || info.y < -0xFFFFFF ||
        info.y > 0xFFFFFF)
      break;
    ox += info.x;
    oy += info.y;
    level = info.parent;
    dc = static_cast<HDC>(level->PlatformContext());
    view = dc != nullptr;
  }

  if (flags & DT_CALCRECT)
  {
    if (!dc) dc = GlyphScratch(256, 256);
    if (!dc) return 0;
    HGDIOBJ old = SelectObject(dc, mFont);
    const int h = PlatformDrawText(dc, text, count, rect, flags);
    SelectObject(dc, old);
    return h;
  }

  auto prepare = [&](HDC ctx)
  {
    SetTextColor(ctx, ToColorRef(mTextColour));
    SetBkMode(ctx, mBackgroundMode);
    if (mBackgroundMode == OPAQUE) SetBkColor(ctx, ToColorRef(mBackgroundColour));
  };

  if (dc)
  {
    HGDIOBJ old = SelectObject(dc, mFont);
    prepare(dc);
    RECT r = { rect->left + ox, rect->top + oy, rect->right + ox, rect->bottom + oy };
    int saved = 0;
    if (view)
    {
      saved = SaveDC(dc);
      IntersectClipRect(dc, ox, oy, ox + bm->Width(), oy + bm->Height());
    }
    const int h = PlatformDrawText(dc, text, count, &r, flags);
    if (view) RestoreDC(dc, saved);
    SelectObject(dc, old);
    return h;
  }

  // No context: draw over a copy of the destination box in the scratch.
  if (!gNativeScratch) gNativeScratch = new LICE_SysBitmap(4, 4);
  HDC sdc = static_cast<HDC>(gNativeScratch->PlatformContext());
  if (!sdc) return 0;
  HGDIOBJ old = SelectObject(sdc, mFont);
  RECT m = *rect;
  PlatformDrawText(sdc, text, count, &m, (flags & ~kAlignFlags) | DT_CALCRECT);
  const int tw = m.right - m.left, th = m.bottom - m.top;
  int bx = rect->left, by = rect->top;
  if (flags & DT_RIGHT)
    bx = rect->right - tw;
  else if (flags & DT_CENTER)
    bx = rect->left + (rect->right - rect->left) / 2 - tw / 2;
  if (flags & DT_BOTTOM)
    by = rect->bottom - th;
  else if (flags & DT_VCENTER)
    by = rect->top + (rect->bottom - rect->top) / 2 - th / 2;

  int l = std::max(bx, 0), t = std::max(by, 0);
  int r = std::min(bx + tw, bm->Width()), b = std::min(by + th, bm->Height());
  if (!(flags & DT_NOCLIP))
  {
    l = std::max(l, (int)rect->left);
    t = std::max(t, (int)rect->top);
    r = std::min(r, (int)rect->right);
    b = std::min(b, (int)rect->bottom);
  }
  // Room for ink that hangs past the pen box on either side.
  const int margin = Margin();
  l -= std::min(l, margin);
  r += std::max(0, std::min(bm->Width() - r, margin));
  if (r <= l || b <= t)
  {
    SelectObject(sdc, old);
    return 0;
  }
  const int bw = r - l, bh = b - t;
  if (gNativeScratch->Width() < bw || gNativeScratch->Height() < bh)
    gNativeScratch->Resize(std::max(bw, gNativeScratch->Width()), std::max(bh, gNativeScratch->Height()));
  if (gNativeScratch->Width() < bw || gNativeScratch->Height() < bh)
  {
    SelectObject(sdc, old);
    return 0;
  }
  LICE_BlitImage(gNativeScratch, bm, 0, 0, l, t, bw, bh, 1.0f, LICE_MODE_COPY);
  prepare(sdc);
  RECT sr = { rect->left - l, rect->top - t, rect->right - l, rect->bottom - t };
  const int h = PlatformDrawText(sdc, text, count, &sr, flags);
  SelectObject(sdc, old);
  LICE_BlitImage(bm, gNativeScratch, l, t, 0, 0, bw, bh, mCombineAlpha, LICE_MODE_COPY);
  return h;
}

// ============================================================================
// 5. DrawGlyph
// ============================================================================

bool LICE_CachedFont::DrawGlyph(LICE_IBitmap* bm, unsigned short ch, int x, int y, const RECT* clip)
{
  const Glyph* g = FindGlyph(ch);
  if (!g || g->offset <= 0 || !bm || !clip) return false;
  const unsigned char* cov = Coverage(g);
  if (!cov) return false;

  if (!(mFlags & LICE_FONT_FLAG_VERTICAL))
    x -= g->overhang;
  else if (mFlags & LICE_FONT_FLAG_VERTICAL_BOTTOMUP)
    y += g->overhang;
  else
    y -= g->overhang;

  lice::Surface dst(bm);
  if (!dst.Valid()) return false;
  const int x0 = std::max({ x, (int)clip->left, 0 }),
            x1 = std::min({ x + g->width, (int)clip->right, dst.width });
  const int y0 = std::max({ y, (int)clip->top, 0 }),
            y1 = std::min({ y + g->height, (int)clip->bottom, dst.height });
  if (x0 >= x1 || y0 >= y1) return false;

  if (mBackgroundMode == OPAQUE)
    LICE_FillBox(bm, x0, y0, x1 - x0, y1 - y0, mBackgroundColour, mCombineAlpha,
                 mCombineMode & ~LICE_FLAG_SOURCEALPHA);

  const int alpha = lice::WeightTrunc(mCombineAlpha);
  if (alpha <= 0) return true;
  const int modeByte = mCombineMode & LICE_MODE_MASK;
  const int tr = LICE_GETR(mTextColour), tg = LICE_GETG(mTextColour), tb = LICE_GETB(mTextColour);
  const int er = LICE_GETR(mEffectColour), eg = LICE_GETG(mEffectColour), eb = LICE_GETB(mEffectColour);
  const bool mono = (mFlags & LICE_FONT_FLAG_FX_MONO) != 0;
  const bool effects = (mFlags & (LICE_FONT_FLAG_FX_SHADOW | LICE_FONT_FLAG_FX_OUTLINE)) != 0;

  // Each covered destination pixel of the glyph, with its coverage.
  auto eachCovered = [&](auto&& put)
  {
    for (int yy = y0; yy < y1; ++yy)
    {
      const unsigned char* src = cov + (size_t)(yy - y) * g->width;
      unsigned char* row = lice::Bytes(dst.Row(yy));
      for (int xx = x0; xx < x1; ++xx)
        if (const int c = src[xx - x]) put(row + 4 * xx, c);
    }
  };

  // Copy at full weight: x' = colour + (x - colour) * (255 - c) / 256.
  if (!mono && !effects && modeByte == LICE_MODE_COPY && alpha >= 256)
  {
    eachCovered(
        [&](unsigned char* d, int c)
        {
          const int inv = 255 - c;
          lice::StoreRGBA(d, tr + lice::DivTrunc((d[LICE_PIXEL_R] - tr) * inv, 8),
                          tg + lice::DivTrunc((d[LICE_PIXEL_G] - tg) * inv, 8),
                          tb + lice::DivTrunc((d[LICE_PIXEL_B] - tb) * inv, 8),
                          255 + lice::DivTrunc((d[LICE_PIXEL_A] - 255) * inv, 8));
        });
    return true;
  }

  // Per-pixel weights vary, so the weighted (not the full-weight) forms are used.
  lice::DispatchCombine(modeByte, false, 0,
                        [&](auto op)
                        {
                          eachCovered(
                              [&](unsigned char* d, int c)
                              {
                                if (effects && c != 255)
                                  op.Pix(d, er, eg, eb, 255, alpha);
                                else if (mono || effects)
                                  op.Pix(d, tr, tg, tb, 255, alpha);
                                else
                                  op.Pix(d, tr, tg, tb, 255, std::min(256, alpha * c / 256));
                              });
                        });
  return true;
}
