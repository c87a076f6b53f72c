// PNG images from memory: any bytes decode to a bitmap or to nothing.
#include "lice_bitmap.h"
#include "lice_png.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > 0x7fffffff) return 0;
  // Exactly the bytes given, so reading past them is reported.
  uint8_t* bytes = (uint8_t*)std::malloc(size ? size : 1);
  if (size) std::memcpy(bytes, data, size);
  LICE_IBitmap* bm = LICE_ReadPngMemory(bytes, (int)size);
  if (bm)
  {
    if (bm->Width() <= 0 || bm->Height() <= 0) __builtin_trap();
    // Touch the first and last pixel of the decoded image.
    volatile LICE_PixelWord first = bm->PixelData()[0];
    volatile LICE_PixelWord last =
        bm->PixelData()[(size_t)(bm->Height() - 1) * bm->RowSpan() + bm->Width() - 1];
    (void)first;
    (void)last;
    delete bm;
  }
  std::free(bytes);
  return 0;
}
