// Rectangle blits and box fills.
//
// Sections:
//   1. LICE_BlitImage
//   2. LICE_FillBox

#include <cstring>

#include "lice.h"
#include "lice_combine.h"

using namespace lice;

// ============================================================================
// 1. LICE_BlitImage
// ============================================================================

namespace
{

template <class Op> void BlitRows(const Surface& dst, const Surface& src, const BlitArea& a, int w)
{
  for (int y = 0; y < a.rows; ++y)
  {
    LICE_PixelWord* d = dst.Row(a.dsty + y) + a.dstx;
    const LICE_PixelWord* s = src.Row(a.srcy + y) + a.srcx;
    for (int x = 0; x < a.cols; ++x)
    {
      const unsigned char* sp = Bytes(s + x);
      Op::Pix(Bytes(d + x), sp[LICE_PIXEL_R], sp[LICE_PIXEL_G], sp[LICE_PIXEL_B], sp[LICE_PIXEL_A], w);
    }
  }
}

}  // namespace

void LICE_BlitImage(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, const LICE_Rect* srcRect,
                    float alpha, int mode)
{
  if (!dest || !src || alpha == 0.0f) return;
  const Surface dst(dest), sur(src);
  if (!dst.Valid() || !sur.Valid()) return;

  long long l = 0, t = 0, r = sur.width, b = sur.height;
  if (srcRect)
  {
    l = srcRect->left;
    t = srcRect->top;
    r = srcRect->right < sur.width ? srcRect->right : sur.width;
    b = srcRect->bottom < sur.height ? srcRect->bottom : sur.height;
  }
  // A source corner left of or above the bitmap moves the destination with it.
  long long dx = dstx, dy = dsty;
  ClipOrigin(l, dx);
  ClipOrigin(t, dy);
  BlitArea area;
  if (!ClipToDest(dst, l, t, r, b, dx, dy, &area)) return;

  const int modeByte = mode & LICE_MODE_MASK;
  if (modeByte >= LICE_MODE_CHANNELCOPY)
  {
    const int from = modeByte & 3, to = (modeByte >> 2) & 3;
    for (int y = 0; y < area.rows; ++y)
    {
      unsigned char* d = Bytes(dst.Row(area.dsty + y) + area.dstx);
      const unsigned char* s = Bytes(sur.Row(area.srcy + y) + area.srcx);
      for (int x = 0; x < area.cols; ++x) d[x * 4 + to] = s[x * 4 + from];
    }
    return;
  }

  const bool sourceAlpha = (mode & LICE_FLAG_SOURCEALPHA) != 0;
  if (modeByte == LICE_MODE_COPY && !sourceAlpha)
  {
    if (alpha == 1.0f)
    {
      // memmove: a bitmap may be blitted onto itself.
      for (int y = 0; y < area.rows; ++y)
        memmove(dst.Row(area.dsty + y) + area.dstx, sur.Row(area.srcy + y) + area.srcx,
                (size_t)area.cols * sizeof(LICE_PixelWord));
      return;
    }
    if (alpha == 0.5f)
    {
      for (int y = 0; y < area.rows; ++y)
      {
        LICE_PixelWord* d = dst.Row(area.dsty + y) + area.dstx;
        const LICE_PixelWord* s = sur.Row(area.srcy + y) + area.srcx;
        for (int x = 0; x < area.cols; ++x) d[x] = Half(d[x]) + Half(s[x]);
      }
      return;
    }
  }

  const int w = WeightTrunc(alpha);
  if (w <= 0) return;
  DispatchCombine(modeByte, sourceAlpha, w, [&](auto op) { BlitRows<decltype(op)>(dst, sur, area, w); });
}

void LICE_BlitImage(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw,
                    int srch, float alpha, int mode)
{
  // Saturate so that huge widths still describe "to the edge of the source".
  auto end = [](int start, int size)
  {
    const long long e = (long long)start + size;
    return e > INT32_MAX ? INT32_MAX : (e < INT32_MIN ? INT32_MIN : (int)e);
  };
  const LICE_Rect r = { srcx, srcy, end(srcx, srcw), end(srcy, srch) };
  LICE_BlitImage(dest, src, dstx, dsty, &r, alpha, mode);
}

// ============================================================================
// 2. LICE_FillBox
// ============================================================================

namespace
{

template <class WordOp> void FillWords(const Surface& dst, int x, int y, int w, int h, WordOp op)
{
  for (int j = 0; j < h; ++j)
  {
    LICE_PixelWord* d = dst.Row(y + j) + x;
    for (int i = 0; i < w; ++i) d[i] = op(d[i]);
  }
}

}  // namespace

void LICE_FillBox(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_PixelWord colour, float alpha,
                  int mode)
{
  if (!dest) return;
  double weight = alpha;
  if (mode & LICE_FLAG_SOURCEALPHA) weight *= LICE_GETA(colour) * 0.003921569;

  long long bx = x, by = y, bw = w, bh = h;
  if (bx < 0)
  {
    bw += bx;
    bx = 0;
  }
  if (by < 0)
  {
    bh += by;
    by = 0;
  }
  const Surface dst(dest);
  if (weight == 0.0 || !dst.Valid() || bw <= 0 || bh <= 0 || bx >= dst.width || by >= dst.height) return;
  if (bw > dst.width - bx) bw = dst.width - bx;
  if (bh > dst.height - by) bh = dst.height - by;
  const int fx = (int)bx, fy = (int)by, fw = (int)bw, fh = (int)bh;

  const int a = WeightTrunc(weight);
  const int modeByte = mode & LICE_MODE_MASK;
  if (modeByte == LICE_MODE_COPY)
  {
    const LICE_PixelWord c = colour;
    switch (a)
    {
      case 256: FillWords(dst, fx, fy, fw, fh, [c](LICE_PixelWord) { return c; }); return;
      case 128: FillWords(dst, fx, fy, fw, fh, [c](LICE_PixelWord p) { return Half(c) + Half(p); }); return;
      case 64:
        FillWords(dst, fx, fy, fw, fh, [c](LICE_PixelWord p) { return Quarter(p) + Half(p) + Quarter(c); });
        return;
      case 192:
        FillWords(dst, fx, fy, fw, fh, [c](LICE_PixelWord p) { return Half(c) + Quarter(c) + Quarter(p); });
        return;
      default: break;
    }
  }
  if (a <= 0) return;

  // The weight itself stands in for the source alpha channel.
  const int r = LICE_GETR(colour), g = LICE_GETG(colour), b = LICE_GETB(colour);
  DispatchCombine(modeByte, false, a,
                  [&](auto op)
                  {
                    for (int j = 0; j < fh; ++j)
                    {
                      LICE_PixelWord* d = dst.Row(fy + j) + fx;
                      for (int i = 0; i < fw; ++i) decltype(op)::Pix(Bytes(d + i), r, g, b, a, a);
                    }
                  });
}
