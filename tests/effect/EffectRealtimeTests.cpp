// The audio thread after resume: no allocation and no page fault, also
// while a tempo change makes the effect build a longer line. The heap
// functions are replaced for the whole process (AudioWatch) to count calls
// made on the processing thread, so this runs as an executable of its own.
#include "AudioWatch.h"
#include "EffectHarness.h"

#include <chrono>
#include <thread>

using namespace effecttest;

namespace
{

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

TEST(EffectRealtime, NoAllocationOrPageFaultOnTheAudioThreadAfterResume)
{
  if (!stress::InterposerActive())
    GTEST_SKIP() << "needs glibc's heap entry points and per-thread fault counts, without a sanitizer";
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

  stress::WatchBegin();
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
  // The sleeps above are the test's own; lock waits are the stress runs' to judge.
  const stress::AudioCounts seen = stress::WatchEnd();
  EXPECT_EQ(seen.allocs, 0);
  EXPECT_EQ(seen.faults, 0);
  for (int i = 0; i < block; ++i) ASSERT_TRUE(std::isfinite(buf.l[i]) && std::isfinite(buf.r[i]));
}
