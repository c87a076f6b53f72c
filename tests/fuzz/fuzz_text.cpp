// UTF-8 text drawn through the cached font, both ways, with the flags and
// clip taken from the input: any bytes draw or measure without fault.
#include "lice_bitmap.h"
#include "lice_text.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{

LICE_CachedFont* Font(int which)
{
  static LICE_CachedFont* fonts[3] = {};
  if (!fonts[which])
  {
    static const int kFlags[3] = { 0, LICE_FONT_FLAG_VERTICAL,
                                   LICE_FONT_FLAG_FX_SHADOW | LICE_FONT_FLAG_FX_OUTLINE };
    fonts[which] = new LICE_CachedFont;
    HFONT f = CreateFont(12 + 5 * which, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, 0, DEFAULT_PITCH, "Arial");
    fonts[which]->SetFromPlatformFont(f, kFlags[which] | LICE_FONT_FLAG_OWNS_HFONT);
    fonts[which]->SetTextColour(LICE_RGBA(255, 255, 255, 255));
  }
  return fonts[which];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 6 || size > 4096) return 0;
  static LICE_MemBitmap bitmap(96, 48);
  LICE_CachedFont* font = Font(data[0] % 3);
  static const int kFormats[] = { DT_LEFT,     DT_CENTER, DT_RIGHT | DT_BOTTOM, DT_VCENTER | DT_SINGLELINE,
                                  DT_CALCRECT, DT_NOCLIP, DT_NOPREFIX,          LICE_DT_NEEDALPHA };
  const int flags = kFormats[data[1] % 8] | ((data[1] & 0x80) ? LICE_DT_NEEDALPHA : 0);
  RECT r;
  r.left = (int8_t)data[2];
  r.top = (int8_t)data[3];
  r.right = r.left + data[4];
  r.bottom = r.top + data[5];
  font->SetCombineMode(data[2] & 3, (data[3] & 0xf) / 15.0f);
  // The text in a buffer of its exact length, once counted and once
  // terminated.
  const size_t n = size - 6;
  char* text = (char*)std::malloc(n + 1);
  std::memcpy(text, data + 6, n);
  text[n] = 0;
  font->DrawText(&bitmap, text, (int)n, &r, flags);
  font->DrawText(&bitmap, text, -1, &r, flags & ~DT_CALCRECT);
  std::free(text);
  return 0;
}
