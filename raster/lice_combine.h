// Internal to the raster library (and its tests): the per-pixel combine
// functions, bitmap row access and the once-per-call mode dispatch.
//
// Sections:
//   1. Integer helpers and weights
//   2. Surface: a clipped-safe view of a bitmap's rows, and blit clipping
//   3. Combine functions without source alpha
//   4. Combine functions weighted by source alpha
//   5. Dispatch: pick the combine function once per call
//
// Every combine function has the signature
//   static void Pix(unsigned char* dest, int r, int g, int b, int a, int w)
// with source channels 0-255 (256 allowed where a weight stands in for a
// channel) and weight w 0-256. Notation in the formula comments: s source
// channel, x destination channel, / truncates toward zero.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lice.h"

namespace lice
{

// ============================================================================
// 1. Integer helpers and weights
// ============================================================================

// Division by 2^shift truncating toward zero, also for negative products.
inline int DivTrunc(int v, int shift) { return (v < 0 ? v + ((1 << shift) - 1) : v) >> shift; }

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// ReciprocalTable[i] = 65536 / i - 1 (entry 0 is 0).
struct ReciprocalTableType
{
  uint16_t v[256];
  constexpr ReciprocalTableType() : v()
  {
    for (int i = 1; i < 256; ++i) v[i] = (uint16_t)(65536 / i - 1);
  }
};
constexpr ReciprocalTableType ReciprocalTable{};

// Float weight to 0-256, truncating. Negative, NaN and zero give 0; anything
// at or above 1.0 gives full weight.
inline int WeightTrunc(double alpha)
{
  if (!(alpha > 0.0)) return 0;
  if (alpha >= 1.0) return 256;
  return (int)(alpha * 256.0);
}

// Float weight to 0-256, rounding halves away from zero.
inline int WeightRound(double alpha)
{
  if (!(alpha > 0.0)) return 0;
  if (alpha >= 1.0) return 256;
  return (int)(alpha * 256.0 + 0.5);
}

// ============================================================================
// 2. Surface
// ============================================================================

// Snapshot of a bitmap's geometry with row addressing that honours
// IsBottomUp. Usable only when Valid().
struct Surface
{
  LICE_PixelWord* pixels = nullptr;
  int width = 0;
  int height = 0;
  ptrdiff_t span = 0;
  bool bottomUp = false;

  explicit Surface(LICE_IBitmap* bm)
  {
    if (!bm) return;
    pixels = bm->PixelData();
    width = bm->Width();
    height = bm->Height();
    span = bm->RowSpan();
    bottomUp = bm->IsBottomUp();
  }

  bool Valid() const { return pixels && width > 0 && height > 0 && span >= width; }

  LICE_PixelWord* Row(int y) const
  {
    return pixels + (bottomUp ? (ptrdiff_t)(height - 1 - y) : (ptrdiff_t)y) * span;
  }

  // Pointer step from row y to row y + 1.
  ptrdiff_t RowStep() const { return bottomUp ? -span : span; }
};

// What a rectangle blit touches: the corner in each bitmap and the size.
struct BlitArea
{
  int dstx, dsty, srcx, srcy, cols, rows;
};

// Moves an origin below 0 up to 0, and the origin paired with it along.
inline void ClipOrigin(long long& origin, long long& paired)
{
  if (origin < 0)
  {
    paired -= origin;
    origin = 0;
  }
}

// Source columns [l, r) and rows [t, b), already cut to the source's right
// and bottom, with their corner at (dx, dy) of dst: the part inside dst,
// false when none is. 64-bit so that extreme rectangles cannot overflow.
inline bool ClipToDest(const Surface& dst, long long l, long long t, long long r, long long b, long long dx,
                       long long dy, BlitArea* area)
{
  ClipOrigin(dx, l);
  ClipOrigin(dy, t);
  if (r <= l || b <= t || dx >= dst.width || dy >= dst.height) return false;
  area->dstx = (int)dx;
  area->dsty = (int)dy;
  area->srcx = (int)l;
  area->srcy = (int)t;
  area->cols = (int)(r - l < dst.width - dx ? r - l : dst.width - dx);
  area->rows = (int)(b - t < dst.height - dy ? b - t : dst.height - dy);
  return true;
}

inline unsigned char* Bytes(LICE_PixelWord* p) { return reinterpret_cast<unsigned char*>(p); }

inline const unsigned char* Bytes(const LICE_PixelWord* p)
{
  return reinterpret_cast<const unsigned char*>(p);
}

inline void StoreRGBA(unsigned char* d, int r, int g, int b, int a)
{
  d[LICE_PIXEL_R] = (unsigned char)r;
  d[LICE_PIXEL_G] = (unsigned char)g;
  d[LICE_PIXEL_B] = (unsigned char)b;
  d[LICE_PIXEL_A] = (unsigned char)a;
}

// Whole-word fractions: each byte halved, quartered or divided by 8 at once.
inline LICE_PixelWord Half(LICE_PixelWord p) { return (p >> 1) & 0x7F7F7F7Fu; }
inline LICE_PixelWord Quarter(LICE_PixelWord p) { return (p >> 2) & 0x3F3F3F3Fu; }
inline LICE_PixelWord Eighth(LICE_PixelWord p) { return (p >> 3) & 0x1F1F1F1Fu; }

// ============================================================================
// 3. Combine functions without source alpha
// ============================================================================

inline int CopyChannel(int x, int s, int inv) { return s + DivTrunc((x - s) * inv, 8); }

// x' = s: full-weight copy.
struct CopyStore
{
  static void Pix(unsigned char* d, int r, int g, int b, int a, int) { StoreRGBA(d, r, g, b, a); }
};

// x' = s + (x - s) * (256 - w) / 256
struct Copy
{
  static void Pix(unsigned char* d, int r, int g, int b, int a, int w)
  {
    if (w <= 0) return;
    if (w >= 256) return StoreRGBA(d, r, g, b, a);
    const int inv = 256 - w;
    StoreRGBA(d, CopyChannel(d[LICE_PIXEL_R], r, inv), CopyChannel(d[LICE_PIXEL_G], g, inv),
              CopyChannel(d[LICE_PIXEL_B], b, inv), CopyChannel(d[LICE_PIXEL_A], a, inv));
  }
};

// x' = (s + x) >> 1, per byte: the half-weight line copy.
struct CopyAverage
{
  static void Pix(unsigned char* d, int r, int g, int b, int a, int)
  {
    StoreRGBA(d, (r + d[LICE_PIXEL_R]) >> 1, (g + d[LICE_PIXEL_G]) >> 1, (b + d[LICE_PIXEL_B]) >> 1,
              (a + d[LICE_PIXEL_A]) >> 1);
  }
};

// x' = clamp(x + s * w / 256)
struct Add
{
  static void Pix(unsigned char* d, int r, int g, int b, int a, int w)
  {
    if (w <= 0) return;
    if (w >= 256)
      return StoreRGBA(d, Clamp255(d[LICE_PIXEL_R] + r), Clamp255(d[LICE_PIXEL_G] + g),
                       Clamp255(d[LICE_PIXEL_B] + b), Clamp255(d[LICE_PIXEL_A] + a));
    StoreRGBA(d, Clamp255(d[LICE_PIXEL_R] + ((r * w) >> 8)), Clamp255(d[LICE_PIXEL_G] + ((g * w) >> 8)),
              Clamp255(d[LICE_PIXEL_B] + ((b * w) >> 8)), Clamp255(d[LICE_PIXEL_A] + ((a * w) >> 8)));
  }
};

inline int DodgeChannel(int x, int k)
{
  const int v = k > 254 ? 256 * x : 256 * x / (256 - k);
  return v > 255 ? 255 : v;
}

// k = s * w / 256; x' = min(255, k > 254 ? 256 * x : 256 * x / (256 - k))
struct Dodge
{
  static void Pix(unsigned char* d, int r, int g, int b, int a, int w)
  {
    if (w <= 0) return;
    if (w >= 256)
      return StoreRGBA(d, DodgeChannel(d[LICE_PIXEL_R], r), DodgeChannel(d[LICE_PIXEL_G], g),
                       DodgeChannel(d[LICE_PIXEL_B], b), DodgeChannel(d[LICE_PIXEL_A], a));
    StoreRGBA(d, DodgeChannel(d[LICE_PIXEL_R], (r * w) >> 8), DodgeChannel(d[LICE_PIXEL_G], (g * w) >> 8),
              DodgeChannel(d[LICE_PIXEL_B], (b * w) >> 8), DodgeChannel(d[LICE_PIXEL_A], (a * w) >> 8));
  }
};

// x' = ((256 - w) * 256 + s * w) * x >> 16
struct Multiply
{
  static void Pix(unsigned char* d, int r, int g, int b, int a, int w)
  {
    if (w <= 0) return;
    if (w >= 256)
      return StoreRGBA(d, (r * d[LICE_PIXEL_R]) >> 8, (g * d[LICE_PIXEL_G]) >> 8, (b * d[LICE_PIXEL_B]) >> 8,
                       (a * d[LICE_PIXEL_A]) >> 8);
    const int base = (256 - w) * 256;
    StoreRGBA(d, ((base + r * w) * d[LICE_PIXEL_R]) >> 16, ((base + g * w) * d[LICE_PIXEL_G]) >> 16,
              ((base + b * w) * d[LICE_PIXEL_B]) >> 16, ((base + a * w) * d[LICE_PIXEL_A]) >> 16);
  }
};

inline int OverlayChannel(int x, int s, int w)
{
  const int v = w * (s - 128);
  return Clamp255(((v - DivTrunc(v * x, 8) + 32768) * x) >> 15);
}

// v = w * (s - 128); x' = clamp((v - v * x / 256 + 32768) * x >> 15)
struct Overlay
{
  static void Pix(unsigned char* d, int r, int g, int b, int a, int w)
  {
    if (w <= 0) return;
    StoreRGBA(d, OverlayChannel(d[LICE_PIXEL_R], r, w), OverlayChannel(d[LICE_PIXEL_G], g, w),
              OverlayChannel(d[LICE_PIXEL_B], b, w), OverlayChannel(d[LICE_PIXEL_A], a, w));
  }
};

// Hue (384 steps a turn), saturation and value of the destination steered by
// source r, g, b (128 = unchanged); the result alpha byte is the source's.
// No zero-weight shortcut: even w = 0 round-trips the colour through HSV.
inline void HsvAdjustPixel(unsigned char* d, int r, int g, int b, int a, int w)
{
  const int R = d[LICE_PIXEL_R], G = d[LICE_PIXEL_G], B = d[LICE_PIXEL_B];
  int mx, mn, base, offset;
  if (R < G)
  {
    if (B < G)
    {
      mx = G;
      mn = R < B ? R : B;
      base = 128;
      offset = B - R;
    }
    else
    {
      mx = B;
      mn = R;
      base = 256;
      offset = R - G;
    }
  }
  else if (B < R)
  {
    mx = R;
    mn = G < B ? G : B;
    offset = G - B;
    base = G < B ? 383 : 0;
  }
  else
  {
    mx = B;
    mn = G;
    base = 256;
    offset = R - G;
  }
  const int delta = mx - mn;

  const int sat = (delta * ReciprocalTable.v[mx]) >> 8;
  int hue = base + DivTrunc(w * (r + r / 2 - 192), 8) + DivTrunc(offset * (ReciprocalTable.v[delta] + 1), 10);
  if (hue < 0)
    hue += 384;
  else if (hue >= 384)
    hue -= 384;

  const int sat2 = Clamp255(sat + DivTrunc(w * (g - 128), 7));
  const int val = Clamp255(mx + DivTrunc(w * (b - 128), 7));
  const int p = ((256 - sat2) * val) >> 8;

  const int f = hue & 63;
  const int up = (val * (16384 - sat2 * (64 - f))) >> 14;
  const int down = (val * (16384 - sat2 * f)) >> 14;
  switch (hue >> 6)
  {
    case 0: StoreRGBA(d, val, up, p, a); break;
    case 1: StoreRGBA(d, down, val, p, a); break;
    case 2: StoreRGBA(d, p, val, up, a); break;
    case 3: StoreRGBA(d, p, down, val, a); break;
    case 4: StoreRGBA(d, up, p, val, a); break;
    default: StoreRGBA(d, val, p, down, a); break;
  }
}

struct HsvAdjust
{
  static void Pix(unsigned char* d, int r, int g, int b, int a, int w) { HsvAdjustPixel(d, r, g, b, a, w); }
};

// ============================================================================
// 4. Combine functions weighted by source alpha: w' = w * (a + 1) / 256
// ============================================================================

inline int SourceWeight(int w, int a) { return (w * (a + 1)) >> 8; }

// a = 0: nothing. RGB: x' = s + (x - s) * (256 - w') / 256; alpha: min(255, x + w')
struct CopySA
{
  static void Pix(unsigned char* d, int r, int g, int b, int a, int w)
  {
    if (a == 0) return;
    const int ww = SourceWeight(w, a);
    if (ww <= 0) return;
    const int inv = 256 - ww;
    const int alpha = d[LICE_PIXEL_A] + ww;
    StoreRGBA(d, CopyChannel(d[LICE_PIXEL_R], r, inv), CopyChannel(d[LICE_PIXEL_G], g, inv),
              CopyChannel(d[LICE_PIXEL_B], b, inv), alpha > 255 ? 255 : alpha);
  }
};

// w = 256. a = 255: RGB copied, alpha 255. Else RGB: x' = s + (x - s) * (255 - a) / 256;
// alpha: min(255, x + a)
struct CopySAFull
{
  static void Pix(unsigned char* d, int r, int g, int b, int a, int)
  {
    if (a == 0) return;
    if (a >= 255) return StoreRGBA(d, r, g, b, 255);
    const int inv = 255 - a;
    const int alpha = d[LICE_PIXEL_A] + a;
    StoreRGBA(d, CopyChannel(d[LICE_PIXEL_R], r, inv), CopyChannel(d[LICE_PIXEL_G], g, inv),
              CopyChannel(d[LICE_PIXEL_B], b, inv), alpha > 255 ? 255 : alpha);
  }
};

// a = 0: nothing; else Add with w'
struct AddSA
{
  static void Pix(unsigned char* d, int r, int g, int b, int a, int w)
  {
    if (a == 0) return;
    Add::Pix(d, r, g, b, a, SourceWeight(w, a));
  }
};

// Dodge with w' (a = 0 still dodges at full weight)
struct DodgeSA
{
  static void Pix(unsigned char* d, int r, int g, int b, int a, int w)
  {
    Dodge::Pix(d, r, g, b, a, SourceWeight(w, a));
  }
};

// a = 0: nothing; else Multiply with w'
struct MultiplySA
{
  static void Pix(unsigned char* d, int r, int g, int b, int a, int w)
  {
    if (a == 0) return;
    Multiply::Pix(d, r, g, b, a, SourceWeight(w, a));
  }
};

// Overlay with w'
struct OverlaySA
{
  static void Pix(unsigned char* d, int r, int g, int b, int a, int w)
  {
    Overlay::Pix(d, r, g, b, a, SourceWeight(w, a));
  }
};

// HSV adjust with w'
struct HsvAdjustSA
{
  static void Pix(unsigned char* d, int r, int g, int b, int a, int w)
  {
    HsvAdjustPixel(d, r, g, b, a, SourceWeight(w, a));
  }
};

// ============================================================================
// 5. Dispatch
// ============================================================================

// Calls fn with a default-constructed combine type for the mode byte (0-5)
// and weight, choosing the dedicated full-weight copy forms at w = 256.
// Returns false, without calling fn, for any other mode byte.
template <class Fn> bool DispatchCombine(int modeByte, bool sourceAlpha, int w, Fn&& fn)
{
  if (sourceAlpha)
  {
    switch (modeByte)
    {
      case LICE_MODE_COPY:
        if (w >= 256)
          fn(CopySAFull{});
        else
          fn(CopySA{});
        return true;
      case LICE_MODE_ADD: fn(AddSA{}); return true;
      case LICE_MODE_DODGE: fn(DodgeSA{}); return true;
      case LICE_MODE_MULTIPLY: fn(MultiplySA{}); return true;
      case LICE_MODE_OVERLAY: fn(OverlaySA{}); return true;
      case LICE_MODE_HSVADJUST: fn(HsvAdjustSA{}); return true;
      default: return false;
    }
  }
  switch (modeByte)
  {
    case LICE_MODE_COPY:
      if (w >= 256)
        fn(CopyStore{});
      else
        fn(Copy{});
      return true;
    case LICE_MODE_ADD: fn(Add{}); return true;
    case LICE_MODE_DODGE: fn(Dodge{}); return true;
    case LICE_MODE_MULTIPLY: fn(Multiply{}); return true;
    case LICE_MODE_OVERLAY: fn(Overlay{}); return true;
    case LICE_MODE_HSVADJUST: fn(HsvAdjust{}); return true;
    default: return false;
  }
}

}  // namespace lice
