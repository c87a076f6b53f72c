#include "ICpuFeatures.h"

#if defined(_MSC_VER) && defined(_M_X64)
#include <immintrin.h>
#include <intrin.h>
#endif

namespace
{

bool DetectAvx()
{
  const unsigned kOsxsave = 1u << 27, kAvx = 1u << 28;
  // XCR0 bits 1 and 2: the OS saves the XMM and YMM state on switches.
  const unsigned kYmmState = 0x6;
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
  unsigned a = 1, b, c = 0, d;
  __asm__ volatile("cpuid" : "+a"(a), "=b"(b), "+c"(c), "=d"(d));
  if ((c & (kOsxsave | kAvx)) != (kOsxsave | kAvx)) return false;
  unsigned lo, hi;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return (lo & kYmmState) == kYmmState;
#elif defined(_MSC_VER) && defined(_M_X64)
  int r[4];
  __cpuid(r, 1);
  if (((unsigned)r[2] & (kOsxsave | kAvx)) != (kOsxsave | kAvx)) return false;
  return ((unsigned)_xgetbv(0) & kYmmState) == kYmmState;
#else
  (void)kOsxsave;
  (void)kAvx;
  (void)kYmmState;
  return false;
#endif
}

}  // namespace

bool CpuHasAvx()
{
  static const bool avx = DetectAvx();
  return avx;
}
