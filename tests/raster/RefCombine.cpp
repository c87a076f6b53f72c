#include "RefCombine.h"

#include <algorithm>

static int Clamp(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

int RefCopy(int x, int s, int w) { return s + (x - s) * (256 - w) / 256; }

int RefAdd(int x, int s, int w) { return Clamp(x + s * w / 256); }

int RefDodge(int x, int s, int w)
{
  const int k = s * w / 256;
  const int v = k > 254 ? 256 * x : 256 * x / (256 - k);
  return v > 255 ? 255 : v;
}

int RefMultiply(int x, int s, int w) { return ((256 - w) * 256 + s * w) * x / 65536; }

int RefOverlay(int x, int s, int w)
{
  const int v = w * (s - 128);
  return Clamp((v - v * x / 256 + 32768) * x / 32768);
}

// HSV adjust of destination (R, G, B) by source (r, g, b) at weight w.
static void RefHsv(int R, int G, int B, int r, int g, int b, int w, int out[3])
{
  auto recip = [](int i) { return i == 0 ? 0 : 65536 / i - 1; };
  int mx, base, offset;
  if (R < G)
  {
    if (B < G)
      mx = G, base = 128, offset = B - R;
    else
      mx = B, base = 256, offset = R - G;
  }
  else if (B < R)
    mx = R, offset = G - B, base = G < B ? 383 : 0;
  else
    mx = B, base = 256, offset = R - G;
  const int d = mx - std::min({ R, G, B });
  const int sat = d * recip(mx) / 256;
  int hue = base + w * (r + r / 2 - 192) / 256 + offset * (recip(d) + 1) / 1024;
  if (hue < 0)
    hue += 384;
  else if (hue >= 384)
    hue -= 384;
  const int sat2 = Clamp(sat + w * (g - 128) / 128);
  const int val = Clamp(mx + w * (b - 128) / 128);
  const int p = (256 - sat2) * val / 256;
  const int f = hue % 64;
  const int up = val * (16384 - sat2 * (64 - f)) / 16384;
  const int down = val * (16384 - sat2 * f) / 16384;
  const int table[6][3] = { { val, up, p },   { down, val, p }, { p, val, up },
                            { p, down, val }, { up, p, val },   { val, p, down } };
  for (int i = 0; i < 3; ++i) out[i] = table[hue / 64][i];
}

LICE_PixelWord RefCombine(LICE_PixelWord dest, int r, int g, int b, int a, int w, int modeByte,
                          bool sourceAlpha)
{
  int x[4] = { LICE_GETR(dest), LICE_GETG(dest), LICE_GETB(dest), LICE_GETA(dest) };
  const int s[4] = { r, g, b, a };
  if (sourceAlpha)
  {
    if (a == 0 && (modeByte == 0 || modeByte == 1 || modeByte == 3)) return dest;
    if (modeByte == 0 && w == 256)
    {
      if (a == 255) return LICE_RGBA(r, g, b, 255);
      for (int c = 0; c < 3; ++c) x[c] = s[c] + (x[c] - s[c]) * (255 - a) / 256;
      return LICE_RGBA(x[0], x[1], x[2], std::min(x[3] + a, 255));
    }
    w = w * (a + 1) / 256;
    if (modeByte == 0)
    {
      for (int c = 0; c < 3; ++c) x[c] = RefCopy(x[c], s[c], w);
      return LICE_RGBA(x[0], x[1], x[2], std::min(x[3] + w, 255));
    }
  }
  int (*channel)(int, int, int) = nullptr;
  switch (modeByte)
  {
    case 0: channel = RefCopy; break;
    case 1: channel = RefAdd; break;
    case 2: channel = RefDodge; break;
    case 3: channel = RefMultiply; break;
    case 4: channel = RefOverlay; break;
    case 5:
    {
      int out[3];
      RefHsv(x[0], x[1], x[2], r, g, b, w, out);
      return LICE_RGBA(out[0], out[1], out[2], a);
    }
    default: return dest;
  }
  for (int c = 0; c < 4; ++c) x[c] = channel(x[c], s[c], w);
  return LICE_RGBA(x[0], x[1], x[2], x[3]);
}
