// Program and bank chunks from the host: a refused one changes nothing,
// an accepted one leaves every value in range.
#include "FuzzPlug.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 1) return 0;
  AEffect* e = fuzz::Instance();
  const bool bank = data[0] & 1;
  // The host's bytes in a buffer of exactly their size.
  const size_t n = size - 1;
  uint8_t* bytes = (uint8_t*)std::malloc(n ? n : 1);
  if (n) std::memcpy(bytes, data + 1, n);
  const std::vector<unsigned char> before = fuzz::State(e);
  const VstIntPtr ok = e->dispatcher(e, effSetChunk, bank ? 0 : 1, (VstIntPtr)n, bytes, 0.f);
  std::free(bytes);
  if (!ok && fuzz::State(e) != before) __builtin_trap();
  fuzz::CheckParams(e);
  return 0;
}
