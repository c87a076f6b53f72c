#include "StateChunk.h"

#include <cstring>

// Chunks are little-endian on every target; convert through explicit bytes
// so that a big-endian build would still read them.
static void PutLE32(uint8_t* p, uint32_t v)
{
  for (int i = 0; i < 4; ++i) p[i] = (uint8_t)(v >> (8 * i));
}

static uint32_t GetLE32(const uint8_t* p)
{
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

int StateChunk::AppendBytes(const void* data, int n)
{
  const int sz = Size();
  if (n <= 0) return sz;
  if ((long long)sz + n > 0x7fffffffLL) return -1;
  uint8_t* p = mBytes.Resize(sz + n, false);
  if (!p) return -1;
  if (data)
    std::memcpy(p + sz, data, (size_t)n);
  else
    std::memset(p + sz, 0, (size_t)n);
  return sz + n;
}

int StateChunk::AppendValue(int32_t v)
{
  uint8_t b[4];
  PutLE32(b, (uint32_t)v);
  return AppendBytes(b, 4);
}

int StateChunk::AppendValue(double v)
{
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  uint8_t b[8];
  PutLE32(b, (uint32_t)bits);
  PutLE32(b + 4, (uint32_t)(bits >> 32));
  return AppendBytes(b, 8);
}

int StateChunk::AppendText(const char* text)
{
  const size_t len = text ? std::strlen(text) : 0;
  if (len > 0x7ffffff0u) return -1;
  const int sz = Size();
  if (AppendValue((int32_t)len) < 0) return -1;
  if (AppendBytes(text, (int)len) < 0)
  {
    Resize(sz);
    return -1;
  }
  return Size();
}

int StateChunk::AppendBool(bool b)
{
  const uint8_t v = b ? 1 : 0;
  return AppendBytes(&v, 1);
}

int StateChunk::ReadValue(int32_t* v, int pos) const
{
  if (pos < 0 || (long long)pos + 4 > Size()) return -1;
  *v = (int32_t)GetLE32(GetBytes() + pos);
  return pos + 4;
}

int StateChunk::ReadValue(double* v, int pos) const
{
  if (pos < 0 || (long long)pos + 8 > Size()) return -1;
  const uint8_t* p = GetBytes() + pos;
  const uint64_t bits = (uint64_t)GetLE32(p) | ((uint64_t)GetLE32(p + 4) << 32);
  std::memcpy(v, &bits, 8);
  return pos + 8;
}

int StateChunk::ReadText(WDL_String* str, int pos) const
{
  int32_t len = 0;
  pos = ReadValue(&len, pos);
  if (pos < 0) return -1;
  // A negative length would move the cursor backwards, a long one past the
  // end: both mean a corrupt chunk.
  if (len < 0 || (long long)pos + len > Size()) return -1;
  if (len > 0 && str)
  {
    const char* p = (const char*)GetBytes() + pos;
    const void* nul = std::memchr(p, 0, (size_t)len);
    // A text that cannot be kept is not read: the caller would take the
    // old one for it.
    if (!str->Set(p, nul ? (int)((const char*)nul - p) : len)) return -1;
  }
  return pos + len;
}

int StateChunk::ReadBool(bool* b, int pos) const
{
  if (pos < 0 || pos >= Size()) return -1;
  *b = GetBytes()[pos] != 0;
  return pos + 1;
}

void WriteChunkHeader(StateChunk* chunk)
{
  chunk->Clear();
  chunk->AppendValue(kChunkMagic);
  chunk->AppendValue(kChunkVersion);
}

int ReadChunkHeader(const StateChunk* chunk, int* pos)
{
  int32_t magic = 0;
  const int p = chunk->ReadValue(&magic, *pos);
  if (p < 0 || magic != kChunkMagic) return 0;
  int32_t version = 0;
  const int q = chunk->ReadValue(&version, p);
  if (q < 0)
  {
    *pos = -1;
    return 0;
  }
  *pos = q;
  return version;
}
