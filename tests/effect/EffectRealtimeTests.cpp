// The audio thread after resume: no allocation and no page fault, also
// while a tempo change makes the effect build a longer line. The heap
// functions are replaced for the whole process to count calls made on the
// processing thread, so this runs as an executable of its own.
#include "EffectHarness.h"

#include <chrono>
#include <thread>

#if defined(__linux__) && defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#define QUORVEX_COUNT_HEAP 1
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#undef QUORVEX_COUNT_HEAP
#endif
#endif

#if defined(QUORVEX_COUNT_HEAP)
#include <sys/resource.h>

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* __libc_memalign(size_t, size_t);

static thread_local bool tCounting = false;
static thread_local long tHeapCalls = 0;

extern "C" void* malloc(size_t n)
{
  tHeapCalls += tCounting;
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t size)
{
  tHeapCalls += tCounting;
  return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t n)
{
  tHeapCalls += tCounting;
  return __libc_realloc(p, n);
}
extern "C" void* memalign(size_t align, size_t n)
{
  tHeapCalls += tCounting;
  return __libc_memalign(align, n);
}

static long MinorFaults()
{
  struct rusage u;
  getrusage(RUSAGE_THREAD, &u);
  return u.ru_minflt;
}
#endif

using namespace effecttest;

#if defined(QUORVEX_COUNT_HEAP)
namespace {

// Host buffers, written once so that their own pages are in place.
struct Buffers
{
  explicit Buffers(int n) : in(n), l(n), r(n)
  {
    for (int i = 0; i < n; ++i) in[i] = (i % 97) * 0.01 - 0.4;
  }
  std::vector<double> in, l, r;
};

void Process(Plug& plug, Buffers& b, int n)
{
  double* ins[2] = { b.in.data(), b.in.data() };
  double* outs[2] = { b.l.data(), b.r.data() };
  plug.host.ProcessDouble(ins, outs, n);
}

}  // namespace
#endif

TEST(EffectRealtime, NoAllocationOrPageFaultOnTheAudioThreadAfterResume)
{
#if !defined(QUORVEX_COUNT_HEAP)
  GTEST_SKIP() << "needs glibc's heap entry points and per-thread fault counts, without a sanitizer";
#else
  const int block = 512;
  Buffers buf(block);
  {
    // Code pages of the effect (steady run, crossfades, tempo follow) are
    // faulted in by another instance first; they are shared.
    Plug warm(96000.0, block);
    for (int i = 0; i < 400; ++i)
    {
      if (i % 100 == 50) warm.Set(kRate, i % 25);
      if (i == 200) warm.host.SetTempo(140.0);
      Process(warm, buf, block);
    }
  }

  Plug plug(96000.0, block);  // resumed at 120 bpm: a 3,840,000-sample line
  plug.Isolate(k4_1, kDotted2, 60, 90);
  plug.Set(kDry, 100);

  tCounting = true;
  const long faults = MinorFaults();
  const long heap = tHeapCalls;
  Process(plug, buf, block);  // the first block places the taps
  // Two passes through the whole line with a rate change in between, then
  // 50 bpm asks for a 9,216,000-sample line: the audio thread holds the
  // taps inside the old one while the worker builds the new one, then runs
  // through all of it.
  for (int i = 0; i < 28000; ++i)
  {
    if (i == 7000) plug.Set(kRate, k1_8D);
    if (i == 9000)
    {
      plug.Set(kRate, k4_1);
      plug.host.SetTempo(50.0);
    }
    if (i >= 9000 && i < 9100) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Process(plug, buf, block);
  }
  const long faultsSeen = MinorFaults() - faults;
  const long heapSeen = tHeapCalls - heap;
  tCounting = false;
  EXPECT_EQ(heapSeen, 0);
  EXPECT_EQ(faultsSeen, 0);
  for (int i = 0; i < block; ++i) ASSERT_TRUE(std::isfinite(buf.l[i]) && std::isfinite(buf.r[i]));
#endif
}
