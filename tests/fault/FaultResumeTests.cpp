// A resume whose line worker cannot start: the instance resumes, its line
// does not grow (taps held inside it), and a later resume that starts the
// worker brings growth back.
#include "FaultTestUtil.h"

#include <chrono>
#include <thread>

using namespace faulttest;

namespace
{

// 8 kHz keeps the lines short: 20 whole notes at 120 bpm are 320,000
// samples, so a tap is held at 160,000.
const double kRateHz = 8000.0;
const long kHeldTap = 160000;
// "Delay Rate" 4/1 at 30 bpm: 4 whole notes of 64,000 samples.
const long kWantedTap = 256000;

// Dry off, no feedback, the whole wet signal on the near tap's side:
// output 1 is the near tap alone.
void NearTapOnly(quorvex::VstHost& h)
{
  const double v[kNumParams] = { 24, 2, 100, 0, 0, 100 };
  for (int i = 0; i < kNumParams; ++i) SetParam(h, i, v[i]);
}

// An impulse into both inputs (unless silent), then silence, `frames` in
// all (so that no echo of it is left for the next call); the frame after
// the impulse at which output 1 first sounds, -1 when it stays silent.
long EchoAfterImpulse(quorvex::VstHost& h, long frames, bool silent = false)
{
  const int block = 4096;
  std::vector<float> in(2 * block, 0.f), out(2 * block, 0.f);
  float* ins[2] = { &in[0], &in[block] };
  float* outs[2] = { &out[0], &out[block] };
  long echo = -1;
  for (long done = 0; done < frames; done += block)
  {
    in[0] = in[block] = done == 0 && !silent ? 1.f : 0.f;
    h.ProcessReplacing(ins, outs, block);
    for (int i = 0; i < block && echo < 0; ++i)
      if (out[block + i] != 0.f && done + i > 0) echo = done + i;
  }
  return echo;
}

}  // namespace

TEST(FaultResume, WorkerCannotStart)
{
  if (!stress::ThreadStartsFail()) GTEST_SKIP() << "pthread_create is not replaced in this build";
  ASSERT_TRUE(Module::Get().Ok());
  Parent parent;
  quorvex::VstHost h;
  ASSERT_EQ(Load(h), "");
  h.SetTempo(120.0);
  const int threads = CountEntries("/proc/self/task");
  stress::FailThreadStarts(1);
  // Open: effOpen, rate, block size, effMainsChanged(1), whose worker start fails.
  ASSERT_TRUE(h.Open(kRateHz, 512));
  stress::FailThreadStarts(0);
  EXPECT_EQ(CountEntries("/proc/self/task"), threads) << "a worker runs";

  // The tempo drops to where the wanted tap no longer fits the line.
  NearTapOnly(h);
  h.SetTempo(30.0);
  EXPECT_EQ(EchoAfterImpulse(h, kHeldTap + 8192), kHeldTap) << "the tap is not held inside the line";
  // Given the time the worker takes below, the line still has not grown.
  for (int probe = 0; probe < 5; ++probe)
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(EchoAfterImpulse(h, kWantedTap + 8192), kHeldTap) << "the line grew without a worker";
  }
  ExpectWorks(h, parent, "after the worker failed to start");

  // A later resume starts the worker, and growth is back: the line this
  // resume keeps suits 120 bpm, so the tap held at 30 bpm asks the worker
  // for a longer one.
  NearTapOnly(h);
  // What the check wrote leaves the line first.
  EchoAfterImpulse(h, 2 * kHeldTap + 8192, true);
  h.SetTempo(120.0);
  h.Dispatch(effMainsChanged, 0, 0);
  h.Dispatch(effMainsChanged, 0, 1);
  EXPECT_EQ(CountEntries("/proc/self/task"), threads + 1) << "no worker after the second resume";
  h.SetTempo(30.0);
  // The worker builds the longer line meanwhile; each probe lets the
  // audio run on, so the tap crossfades to where it was asked.
  long echo = -1;
  for (int probe = 0; probe < 200 && echo != kWantedTap; ++probe)
  {
    echo = EchoAfterImpulse(h, kWantedTap + 8192);
    if (echo != kWantedTap) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(echo, kWantedTap) << "the line did not grow once the worker ran";
  Record("effMainsChanged(1) with the worker's pthread_create refused (EAGAIN)",
         "0 as always, resumed: audio runs with the taps held inside the line, which never grows; "
         "the next resume starts the worker and the line grows again");
}
