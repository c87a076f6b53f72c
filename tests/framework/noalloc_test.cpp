// The processing frame allocates nothing, also for host blocks longer than
// the announced block size: global and container allocations are counted.
#include "FakePlug.h"
#include "wdl_alloc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

// The replacements below pair malloc with free; GCC cannot see that once it
// inlines them into library code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

static bool sCounting = false;
static int sAllocations = 0;

void* operator new(std::size_t n)
{
  if (sCounting) ++sAllocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

static void* CountingRealloc(void* p, size_t n) { ++sAllocations; return std::realloc(p, n); }
static void* CountingMalloc(size_t n) { ++sAllocations; return std::malloc(n); }
static void PlainFree(void* p) { std::free(p); }

TEST(FrameworkNoAlloc, ProcessingAllocatesNothing)
{
  FakePlug plug(2, "1-1 2-2");
  plug.SetInputsConnected(0, 2, true);
  plug.SetOutputsConnected(0, 1, true);  // output 1 unconnected: uses scratch
  plug.SetBlockSize(64);
  plug.mBlockFrames.reserve(1000);

  const int n = 1000;
  std::vector<float> fin(n, 0.25f), fout(n), fout2(n);
  std::vector<double> din(n, 0.5), dout(n), dout2(n);
  float* fi[] = { fin.data(), fin.data() };
  float* fo[] = { fout.data(), fout2.data() };
  double* di[] = { din.data(), din.data() };
  double* do_[] = { dout.data(), dout2.data() };

  static const WDL_AllocHooks kCounting = { CountingRealloc, CountingMalloc, PlainFree };
  WDL_SetAllocHooks(&kCounting);
  sAllocations = 0;
  sCounting = true;
  for (int nFrames : { 64, 1000, 0, 17 })
  {
    plug.ProcessReplacing(fi, fo, nFrames);
    plug.ProcessAccumulating(fi, fo, nFrames);
    plug.ProcessDoubleReplacing(di, do_, nFrames);
  }
  sCounting = false;
  WDL_SetAllocHooks(nullptr);

  EXPECT_EQ(sAllocations, 0);
  EXPECT_EQ(fout[999], 0.5f);  // replaced, then accumulated once
  EXPECT_EQ(dout[999], 0.5);
}
