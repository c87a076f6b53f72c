// StateChunk: the byte buffer behind every program and bank chunk.
//
// Values are stored as little-endian bytes on every target; reads go
// through a bounded cursor and report -1 instead of reading past the end.
#pragma once

#include "heapbuf.h"
#include "wdlstring.h"

#include <cstdint>

class StateChunk
{
public:
  StateChunk() : mBytes(4096) {}

  // Each append returns the new size, or -1 when the buffer could not grow
  // (the chunk is then unchanged).
  int AppendValue(int32_t v);
  int AppendValue(double v);
  int AppendBytes(const void* data, int n);
  int AppendText(const char* text);
  int AppendBool(bool b);
  int AppendChunk(const StateChunk& other) { return AppendBytes(other.GetBytes(), other.Size()); }

  // Return the position after the item, or -1 (destination unchanged).
  int ReadValue(int32_t* v, int pos) const;
  int ReadValue(double* v, int pos) const;
  // Sets str to the stored text (cut at a NUL). A length that does not fit
  // the chunk, or a negative one, fails with -1.
  int ReadText(WDL_String* str, int pos) const;
  int ReadBool(bool* b, int pos) const;

  void Clear() { mBytes.Resize(0, false); }
  int Size() const { return mBytes.GetSize(); }
  // Null on failure; the size is then unchanged.
  uint8_t* Resize(int n) { return mBytes.Resize(n < 0 ? 0 : n, false); }
  uint8_t* GetBytes() const { return mBytes.Get(); }

private:
  WDL_TypedBuf<uint8_t> mBytes;
};

// 'pfft' header at the start of every chunk handed to the host.
constexpr int32_t kChunkMagic = 0x70666674;
constexpr int32_t kChunkVersion = 0x00010000;

void WriteChunkHeader(StateChunk* chunk);
// Returns the header's version and moves *pos past it; 0 with *pos
// unchanged when the magic is missing; 0 with *pos = -1 when the version
// is cut off.
int ReadChunkHeader(const StateChunk* chunk, int* pos);
