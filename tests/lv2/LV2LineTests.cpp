// A tempo drop below half of the 120 bpm the line was sized for needs a
// longer line: while freewheeling it is built within the run, as the VST 2
// build does for a host rendering offline; otherwise the host's worker
// builds it when the host offers one, else the process-wide worker.
#include "LV2TestHost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace lv2test;

TEST(LV2Line, FreewheelingATempoDropGrowsTheLineWithinTheRun)
{
  // "4/1" at 30 bpm is 1411200 samples, beyond the 882000 a near tap may
  // reach in a line sized for 120 bpm. Noise fills the line before the
  // drop, so the grown line must carry it over.
  const size_t drop = 50 * 512, impulse = 200 * 512, echo = 1411200;
  Stereo in = Noise(impulse + echo + 2048, 21);
  for (size_t i = impulse; i < in.Frames(); ++i) in.l[i] = in.r[i] = 0.0f;
  in.l[impulse] = in.r[impulse] = 1.0f;
  const std::vector<TempoChange> tempo = { { 0, 120.0 }, { drop, 30.0 } };

  for (int block : { 512, 4096 })
  {
    SCOPED_TRACE(testing::Message() << "blocks of " << block);
    // A worker is offered, and not needed.
    HostSetup setup;
    setup.blockLength = block;
    setup.worker = Worker::kThread;
    Instance grown(setup);
    ASSERT_TRUE(grown.Ok());
    grown.Isolate(k4_1, kNormal);
    grown.SetFreewheel(true);
    const Stereo a = Render(grown, in, block, tempo);
    EXPECT_EQ(grown.Scheduled(), 0);

    // The references: started at the low tempo (a run of 0 frames), so
    // its line is long enough before the first sample; and the VST 2
    // build resumed at the low tempo.
    setup.worker = Worker::kNone;
    Instance started(setup);
    ASSERT_TRUE(started.Ok());
    started.Isolate(k4_1, kNormal);
    started.SetFreewheel(true);
    started.SendTempo(30.0);
    started.Run(nullptr, nullptr, nullptr, nullptr, 0);
    const Stereo b = Render(started, in, block, tempo);

    VstTwin vst(44100.0, block);
    vst.host.SetTempo(30.0);
    vst.host.Dispatch(effMainsChanged, 0, 0);
    vst.host.Dispatch(effMainsChanged, 0, 1);
    const float values[kNumParams] = { k4_1, kNormal, 100, 0, 0, 100 };
    for (int i = 0; i < kNumParams; ++i) vst.Set(i, values[i]);
    const Stereo c = vst.Render(in, block, tempo);

    EXPECT_EQ(FirstDifference(a, c), in.Frames());
    EXPECT_EQ(FirstDifference(b, c), in.Frames());
    // The impulse's echo is the only one left at this lookback.
    EXPECT_NEAR(a.r[impulse + echo], 1.0f, 1e-6f);
  }
}

namespace
{

// 8 kHz keeps the lines short: sized for 120 bpm a line holds 320,000
// samples, so "4/1" at 30 bpm (256,000) is held at 160,000 until a longer
// one is built.
const size_t kWantedTap = 256000;

// Where an impulse at the start of a probe first sounds on out_r.
size_t NearEcho(Instance& plug)
{
  const Stereo out = Render(plug, Impulse(kWantedTap + 4096), 4096, {});
  const std::vector<size_t> at = NonZero(out.r);
  return at.empty() ? 0 : at[0];
}

}  // namespace

TEST(LV2Line, InRealTimeTheHostsWorkerElseTheProcessWideOneGrowsIt)
{
  struct Case
  {
    const char* name;
    Worker worker;
  };
  const Case cases[] = {
    { "no host worker", Worker::kNone },
    { "host worker thread", Worker::kThread },
    { "host worker running work() within schedule_work", Worker::kSync },
    { "host worker whose queue is full", Worker::kFull },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.name);
    HostSetup setup;
    setup.sampleRate = 8000.0;
    setup.worker = c.worker;
    Instance plug(setup);
    ASSERT_TRUE(plug.Ok());
    plug.Isolate(k4_1, kNormal);
    Render(plug, Stereo(4096), 4096, { { 0, 120.0 } });
    Render(plug, Stereo(4096), 4096, { { 0, 30.0 } });
    if (c.worker == Worker::kThread) plug.WaitForWorker();

    size_t echo = NearEcho(plug);
    // Within schedule_work, or once the worker thread is done, the line is
    // there for the next run.
    if (c.worker == Worker::kThread || c.worker == Worker::kSync)
    {
      EXPECT_EQ(echo, kWantedTap);
    }
    // The process-wide worker builds meanwhile; each probe lets the taps
    // move on.
    for (int probe = 0; probe < 200 && echo != kWantedTap; ++probe)
    {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      echo = NearEcho(plug);
    }
    EXPECT_EQ(echo, kWantedTap) << "the line did not grow";
    EXPECT_EQ(plug.Scheduled(), c.worker == Worker::kNone ? 0 : 1);
    EXPECT_EQ(plug.WorkRuns(), c.worker == Worker::kFull ? 0 : plug.Scheduled());
  }
}
