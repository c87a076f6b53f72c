// Text drawing into bitmaps: the font interface and its one implementation,
// a platform font plus a cache of per-character coverage masks.
//
// LICE_CachedFont draws UTF-8 text either natively (the platform draws into
// the destination's drawing context, or into a shared scratch bitmap that is
// then copied) or from its glyph cache through the combine modes. The cached
// way serves effects, vertical text, colour alpha and destinations the
// platform cannot draw into.
//
// Threads: UI thread only. The scratch bitmaps and the live-font count are
// process-wide and unguarded, so fonts must not draw from two threads at once.
#pragma once

#include <cstdint>
#include <utility>

#include "heapbuf.h"
#include "lice.h"
#include "lice_dc.h"

// Font flags for SetFromPlatformFont.
constexpr int LICE_FONT_FLAG_VERTICAL = 0x1;
constexpr int LICE_FONT_FLAG_VERTICAL_BOTTOMUP = 0x2;  // with 0x1
constexpr int LICE_FONT_FLAG_PRECALCALL = 0x4;         // ASCII only, rendered at once
constexpr int LICE_FONT_FLAG_FX_BLUR = 0x10;
constexpr int LICE_FONT_FLAG_FX_INVERT = 0x20;
constexpr int LICE_FONT_FLAG_FX_MONO = 0x40;
constexpr int LICE_FONT_FLAG_FX_SHADOW = 0x80;
constexpr int LICE_FONT_FLAG_FX_OUTLINE = 0x100;
constexpr int LICE_FONT_FLAG_OWNS_HFONT = 0x200;
constexpr int LICE_FONT_FLAG_FORCE_NATIVE = 0x400;

// Extra DrawText flags above the platform's own.
constexpr int LICE_DT_USEFGALPHA = 0x40000000;
constexpr int LICE_DT_NEEDALPHA = (int)0x80000000;  // force the cached way

// Extension queries asked of destination bitmaps.
constexpr int LICE_EXT_IS_YUV = 0x59555678;
constexpr int LICE_EXT_SUBBITMAP = 0x51B7000;
constexpr intptr_t LICE_EXT_SUBBITMAP_ANSWER = 4096;

// A bitmap that is a view into a parent answers LICE_EXT_SUBBITMAP with 4096
// and fills this record (passed as the query's data).
struct LICE_SubBitmapInfo
{
  LICE_IBitmap* parent;
  int x, y;  // the view's origin in the parent
};

class LICE_IFont
{
public:
  virtual ~LICE_IFont() {}

  // [UI thread] Replaces the platform font and discards every cached glyph.
  virtual void SetFromPlatformFont(HFONT font, int flags = 0) = 0;
  // [UI thread] Each returns the previous value.
  virtual LICE_PixelWord SetTextColour(LICE_PixelWord colour) = 0;
  virtual LICE_PixelWord SetBackgroundColour(LICE_PixelWord colour) = 0;
  virtual LICE_PixelWord SetEffectColour(LICE_PixelWord colour) = 0;
  virtual int SetBackgroundMode(int mode) = 0;
  virtual void SetCombineMode(int mode, float alpha = 1.0f) = 0;
  // [UI thread] Draws (or with DT_CALCRECT measures into rect) count bytes of
  // UTF-8 text; count < 1 means up to the terminating zero. Returns the text
  // height (vertical fonts: its width), 0 when nothing could be drawn.
  virtual int DrawText(LICE_IBitmap* bm, const char* text, int count, RECT* rect, int flags) = 0;
  virtual LICE_PixelWord GetTextColour() = 0;
  virtual HFONT GetPlatformFont() = 0;
  virtual int GetLineHeight() = 0;
};

class LICE_CachedFont : public LICE_IFont
{
public:
  // 24 bytes per character; offset 0 = not rendered yet, -1 = renders to
  // nothing, else 1 + the coverage byte offset.
  struct Glyph
  {
    int offset;
    int width, height;
    int advance;
    uint16_t code;
    int overhang;  // the stored box starts this far before the pen
  };

  LICE_CachedFont();
  ~LICE_CachedFont() override;
  LICE_CachedFont(const LICE_CachedFont&) = delete;
  LICE_CachedFont& operator=(const LICE_CachedFont&) = delete;

  void SetFromPlatformFont(HFONT font, int flags = 0) override;
  // The setters return what was set before.
  LICE_PixelWord SetTextColour(LICE_PixelWord c) override { return std::exchange(mTextColour, c); }
  LICE_PixelWord SetBackgroundColour(LICE_PixelWord c) override
  {
    return std::exchange(mBackgroundColour, c);
  }
  LICE_PixelWord SetEffectColour(LICE_PixelWord c) override { return std::exchange(mEffectColour, c); }
  int SetBackgroundMode(int mode) override { return std::exchange(mBackgroundMode, mode); }
  void SetCombineMode(int mode, float alpha = 1.0f) override;
  int DrawText(LICE_IBitmap* bm, const char* text, int count, RECT* rect, int flags) override;
  LICE_PixelWord GetTextColour() override { return mTextColour; }
  HFONT GetPlatformFont() override { return mFont; }
  int GetLineHeight() override { return mLineHeight; }

  // [UI thread] Draws one already cached character with its pen at (x, y),
  // clipped to clip. False when it is not cached or nothing is visible.
  virtual bool DrawGlyph(LICE_IBitmap* bm, unsigned short ch, int x, int y, const RECT* clip);

  // For tests and tools: the cached record of ch (null when none), the
  // number of extended records, and the coverage bytes of a record.
  const Glyph* FindGlyph(unsigned short ch) const;
  int ExtendedGlyphCount() const { return mExtended.GetSize(); }
  const unsigned char* Coverage(const Glyph* g) const;

  // Live fonts and whether the shared scratch bitmaps exist (tests).
  static int LiveFontCount();
  static bool ScratchBitmapsExist();

private:
  Glyph* RenderGlyph(unsigned short ch);
  bool UseCachedWay(LICE_IBitmap* bm, int flags, bool forced) const;
  int CachedText(LICE_IBitmap* bm, const unsigned char* text, int count, RECT* rect, int flags);
  int NativeText(LICE_IBitmap* bm, const char* text, int count, RECT* rect, int flags);
  // Margin around a rendered glyph at the current line height.
  int Margin() const { return mLineHeight > 15 ? mLineHeight / 16 + 2 : 2; }

  LICE_PixelWord mTextColour = 0;
  LICE_PixelWord mBackgroundColour = 0xFFFFFFFF;
  LICE_PixelWord mEffectColour = 0xFFFFFFFF;
  int mBackgroundMode = TRANSPARENT;
  int mCombineMode = 0;
  float mCombineAlpha = 1.0f;
  int mFlags = 0;
  int mLineHeight = 0;
  int mLineSpacing = 0;
  Glyph mAscii[128];
  WDL_TypedBuf<Glyph> mExtended;
  WDL_HeapBuf mCoverage;
  HFONT mFont = nullptr;
};
