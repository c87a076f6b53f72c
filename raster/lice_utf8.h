// UTF-8 decoding shared by the glyph cache and the text backends. Internal.
#pragma once

namespace lice
{

// Decodes one character of s (avail > 0 bytes readable) into *ch and returns
// the bytes consumed. Lead bytes below 0xC2 stand for themselves; two- and
// three-byte sequences give 16-bit codes; a four-byte sequence becomes a
// space (the glyph cache holds 16-bit codes only); any incomplete sequence
// counts as its lead byte alone. Continuation bytes are 0x80-0xC0.
inline int DecodeUTF8(const unsigned char* s, int avail, unsigned* ch)
{
  const unsigned c = s[0];
  auto cont = [&](int i) { return i < avail && s[i] >= 0x80 && s[i] <= 0xC0; };
  if (c >= 0xC2 && c <= 0xDF && cont(1))
  {
    *ch = ((c << 6) & 0x7FF) | (s[1] & 0x3F);
    return 2;
  }
  if (c >= 0xE0 && c <= 0xEF && cont(1) && cont(2))
  {
    *ch = ((c << 12) | ((s[1] & 0x3Fu) << 6) | (s[2] & 0x3Fu)) & 0xFFFF;
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4 && cont(1) && cont(2) && cont(3))
  {
    *ch = ' ';
    return 4;
  }
  *ch = c;
  return 1;
}

// Encodes a 16-bit code in 1-3 bytes; returns the byte count.
inline int EncodeUTF8(unsigned ch, char* out)
{
  if (ch < 0x80)
  {
    out[0] = (char)ch;
    return 1;
  }
  if (ch < 0x800)
  {
    out[0] = (char)(0xC0 | (ch >> 6));
    out[1] = (char)(0x80 | (ch & 0x3F));
    return 2;
  }
  out[0] = (char)(0xE0 | ((ch >> 12) & 0x0F));
  out[1] = (char)(0x80 | ((ch >> 6) & 0x3F));
  out[2] = (char)(0x80 | (ch & 0x3F));
  return 3;
}

}  // namespace lice
