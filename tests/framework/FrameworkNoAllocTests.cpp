// The processing frame allocates nothing, also for host blocks longer than
// the announced block size. The heap is replaced for the whole process
// (AudioWatch), so this runs as an executable of its own; the containers'
// allocation hooks count theirs also where it is not (sanitizer builds).
#include "AudioWatch.h"
#include "FakePlug.h"
#include "wdl_alloc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

static int sAllocations = 0;

static void* CountingRealloc(void* p, size_t n)
{
  ++sAllocations;
  return std::realloc(p, n);
}
static void* CountingMalloc(size_t n)
{
  ++sAllocations;
  return std::malloc(n);
}
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
  stress::WatchBegin();
  for (int nFrames : { 64, 1000, 0, 17 })
  {
    plug.ProcessReplacing(fi, fo, nFrames);
    plug.ProcessAccumulating(fi, fo, nFrames);
    plug.ProcessDoubleReplacing(di, do_, nFrames);
  }
  const stress::AudioCounts heap = stress::WatchEnd();
  WDL_SetAllocHooks(nullptr);

  EXPECT_EQ(sAllocations, 0);
  EXPECT_EQ(heap.allocs, 0);
  EXPECT_EQ(fout[999], 0.5f);  // replaced, then accumulated once
  EXPECT_EQ(dout[999], 0.5);
}
