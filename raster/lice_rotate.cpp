// Scaled and rotated blits with nearest or bilinear sampling.
//
// Sections:
//   1. Fixed-point set-up
//   2. Samplers
//   3. LICE_BlitRotated

#include <cmath>

#include "lice.h"
#include "lice_combine.h"

using namespace lice;

#if defined(_MSC_VER)
#define LICE_ALWAYS_INLINE __forceinline
#else
#define LICE_ALWAYS_INLINE inline __attribute__((always_inline))
#endif

namespace
{

// ============================================================================
// 1. Fixed-point set-up
// ============================================================================

// Positions are kept in 16.16 fixed point in 64-bit integers. Absurd float
// input is limited first (positions to 2^30 pixels, steps to 2^16 pixels) so
// that conversions and the per-pixel sums over a bitmap's rows and columns
// (each below 2^29) cannot overflow.
const double kMaxPositionFixed = 70368744177664.0;  // 2^46
const double kMaxStepFixed = 4294967296.0;          // 2^32

long long RoundAway(double v) { return (long long)(v < 0 ? v - 0.5 : v + 0.5); }

long long Fixed(double v, double limit)
{
  v *= 65536.0;
  if (!(v > -limit)) v = -limit;  // also catches NaN
  if (v > limit) v = limit;
  return RoundAway(v);
}

int RoundEdge(double v, int lo, int hi)
{
  if (!(v > lo)) return lo;
  if (v > hi) return hi;
  const long long r = RoundAway(v);
  return r < lo ? lo : (r > hi ? hi : (int)r);
}

struct SampleWindow
{
  int left, top, width, height;
};

// ============================================================================
// 2. Samplers
// ============================================================================

// Each sampler yields the source channels at a fixed-point position relative
// to the window, or false when the position lies outside it.
struct NearestSampler
{
  static bool Sample(const Surface& src, const SampleWindow& win, long long u, long long v, int* ch)
  {
    if (u < 0 || v < 0) return false;
    const long long iu = u >> 16, iv = v >> 16;
    if (iu >= win.width || iv >= win.height) return false;
    const unsigned char* p = Bytes(src.Row(win.top + (int)iv) + win.left + iu);
    ch[0] = p[LICE_PIXEL_R];
    ch[1] = p[LICE_PIXEL_G];
    ch[2] = p[LICE_PIXEL_B];
    ch[3] = p[LICE_PIXEL_A];
    return true;
  }
};

struct BilinearSampler
{
  // Inlined into the row loop: a call per pixel costs as much as the sample.
  static LICE_ALWAYS_INLINE bool Sample(const Surface& src, const SampleWindow& win, long long u, long long v,
                                        int* ch)
  {
    if (u < 0 || v < 0) return false;
    const long long iu = u >> 16, iv = v >> 16;
    if (iu >= win.width || iv >= win.height) return false;
    const unsigned fu = (unsigned)(u & 0xFFFF), fv = (unsigned)(v & 0xFFFF);
    const LICE_PixelWord* row = src.Row(win.top + (int)iv) + win.left + iu;
    const unsigned char* p00 = Bytes(row);
    const bool lastCol = iu == win.width - 1, lastRow = iv == win.height - 1;
    static const int kPos[4] = { LICE_PIXEL_R, LICE_PIXEL_G, LICE_PIXEL_B, LICE_PIXEL_A };

    if (lastCol && lastRow)
    {
      for (int c = 0; c < 4; ++c) ch[c] = p00[kPos[c]];
    }
    else if (lastCol)
    {
      const unsigned char* p01 = Bytes(row + src.RowStep());
      for (int c = 0; c < 4; ++c) ch[c] = (int)((p00[kPos[c]] * (65536 - fv) + p01[kPos[c]] * fv) >> 16);
    }
    else if (lastRow)
    {
      const unsigned char* p10 = Bytes(row + 1);
      for (int c = 0; c < 4; ++c) ch[c] = (int)((p00[kPos[c]] * (65536 - fu) + p10[kPos[c]] * fu) >> 16);
    }
    else
    {
      const LICE_PixelWord* row1 = row + src.RowStep();
      const LICE_PixelWord q00 = row[0], q10 = row[1], q01 = row1[0], q11 = row1[1];
      // Around a dot or a glyph most neighbourhoods are see-through zeros,
      // which sample to zero whatever the weights.
      if ((q00 | q10 | q01 | q11) == 0)
      {
        ch[0] = ch[1] = ch[2] = ch[3] = 0;
        return true;
      }
      const unsigned both = (unsigned)(((unsigned long long)fu * fv) >> 16);
      const unsigned w00 = 65536 - fu - fv + both, w10 = fu - both, w01 = fv - both, w11 = both;
      const unsigned char* p10 = Bytes(row + 1);
      const unsigned char* p01 = Bytes(row1);
      const unsigned char* p11 = Bytes(row1 + 1);
      for (int c = 0; c < 4; ++c)
      {
        const int k = kPos[c];
        ch[c] = (int)((p00[k] * w00 + p10[k] * w10 + p01[k] * w01 + p11[k] * w11) >> 16);
      }
    }
    return true;
  }
};

struct RotatedArea
{
  int x0, y0, x1, y1;  // destination, clipped, exclusive ends
  long long u0, v0;    // sample position of (x0, y0)
  long long dudx, dvdx, dudy, dvdy;
};

template <class Sampler, class Op>
void RotatedRows(const Surface& dst, const Surface& src, const SampleWindow& win, const RotatedArea& a, int w)
{
  long long rowU = a.u0, rowV = a.v0;
  for (int y = a.y0; y < a.y1; ++y, rowU += a.dudy, rowV += a.dvdy)
  {
    LICE_PixelWord* d = dst.Row(y);
    long long u = rowU, v = rowV;
    for (int x = a.x0; x < a.x1; ++x, u += a.dudx, v += a.dvdx)
    {
      int ch[4];
      if (Sampler::Sample(src, win, u, v, ch)) Op::Pix(Bytes(d + x), ch[0], ch[1], ch[2], ch[3], w);
    }
  }
}

}  // namespace

// ============================================================================
// 3. LICE_BlitRotated
// ============================================================================

void LICE_BlitRotated(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                      float srcx, float srcy, float srcw, float srch, float angle, bool clipToSourceRect,
                      float alpha, int mode, float rotCentreX, float rotCentreY)
{
  if (!dest || !src || dstw == 0 || dsth == 0) return;
  const Surface dst(dest), sur(src);
  if (!dst.Valid() || !sur.Valid()) return;

  SampleWindow win = { 0, 0, sur.width, sur.height };
  if (clipToSourceRect)
  {
    const double l = srcw < 0 ? (double)srcx + srcw : srcx;
    const double t = srch < 0 ? (double)srcy + srch : srcy;
    const int wl = RoundEdge(l, 0, sur.width), wt = RoundEdge(t, 0, sur.height);
    const int wr = RoundEdge(l + std::fabs((double)srcw), 0, sur.width);
    const int wb = RoundEdge(t + std::fabs((double)srch), 0, sur.height);
    win = { wl, wt, wr - wl, wb - wt };
    if (win.width <= 0 || win.height <= 0) return;
  }

  // A negative destination size mirrors: walk the source from its far edge.
  long long dx = dstx, dy = dsty, W = dstw, H = dsth;
  double sx = srcx, sy = srcy, sw = srcw, sh = srch;
  if (W < 0)
  {
    dx += W;
    W = -W;
    sx += sw;
    sw = -sw;
  }
  if (H < 0)
  {
    dy += H;
    H = -H;
    sy += sh;
    sh = -sh;
  }

  const double c = std::cos((double)angle), s = std::sin((double)angle);
  const double Wd = (double)W, Hd = (double)H;
  const double dudx = c * sw / Wd, dudy = s * sw / Wd;
  const double dvdx = -s * sh / Hd, dvdy = c * sh / Hd;
  double uStart = sx - ((c * sw - sw + s * sw * Hd / Wd) / 2 - rotCentreX);
  double vStart = sy - ((c * sh - s * sh * Wd / Hd - sh) / 2 - rotCentreY);

  long long x0 = dx, y0 = dy, x1 = dx + W, y1 = dy + H;
  if (x0 < 0)
  {
    uStart -= (double)x0 * dudx;
    vStart -= (double)x0 * dvdx;
    x0 = 0;
  }
  if (y0 < 0)
  {
    uStart -= (double)y0 * dudy;
    vStart -= (double)y0 * dvdy;
    y0 = 0;
  }
  if (x1 > dst.width) x1 = dst.width;
  if (y1 > dst.height) y1 = dst.height;
  if (x0 >= x1 || y0 >= y1) return;

  RotatedArea area;
  area.x0 = (int)x0;
  area.y0 = (int)y0;
  area.x1 = (int)x1;
  area.y1 = (int)y1;
  area.u0 = Fixed(uStart - win.left, kMaxPositionFixed);
  area.v0 = Fixed(vStart - win.top, kMaxPositionFixed);
  area.dudx = Fixed(dudx, kMaxStepFixed);
  area.dvdx = Fixed(dvdx, kMaxStepFixed);
  area.dudy = Fixed(dudy, kMaxStepFixed);
  area.dvdy = Fixed(dvdy, kMaxStepFixed);

  const int w = WeightRound(alpha);
  if (w <= 0) return;
  const int modeByte = mode & LICE_MODE_MASK;
  const bool bilinear = ((mode & LICE_FILTER_MASK) >> 8) == 1;
  const bool sourceAlpha = (mode & LICE_FLAG_SOURCEALPHA) != 0;
  DispatchCombine(modeByte, sourceAlpha, w,
                  [&](auto op)
                  {
                    if (bilinear)
                      RotatedRows<BilinearSampler, decltype(op)>(dst, sur, win, area, w);
                    else
                      RotatedRows<NearestSampler, decltype(op)>(dst, sur, win, area, w);
                  });
}
