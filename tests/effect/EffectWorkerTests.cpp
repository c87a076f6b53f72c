// Instances share one worker thread: the first resume starts it, it builds
// every instance's longer line, and the last instance closed ends it.
#include "EffectHarness.h"
#include "ProcessCounts.h"

#include <chrono>
#include <memory>
#include <thread>

using namespace effecttest;
using stresstest::LiveThreads;
using stresstest::LiveThreadsSettledAt;

namespace
{

// 8 kHz keeps the lines short: at 120 bpm a line holds 320,000 samples, so
// "Delay Rate" 4/1 at 30 bpm (256,000) is held at 160,000 until the worker
// has built a longer one.
const double kRateHz = 8000.0;
const size_t kWantedTap = 256000;

// The frame at which an impulse at frame 0 first sounds on output 1 (the
// near tap alone with these settings); 0 when it does not.
size_t NearEcho(Plug& plug)
{
  plug.Input(Impulse(kWantedTap + 4096));
  plug.RunAll();
  const std::vector<size_t> at = NonZero(plug.Out().r);
  return at.empty() ? 0 : at[0];
}

}  // namespace

TEST(EffectWorker, InstancesShareOneThreadThatEndsWithTheLast)
{
  // An instance never resumed keeps the module loaded, so what loading
  // it starts is not counted.
  quorvex::VstHost holder;
  ASSERT_EQ(holder.Load(QUORVEX_EFFECT_PATH), "");
  // Nor what a runtime starts at the first thread start (ThreadSanitizer's
  // own thread).
  std::thread([] {}).join();
  const int before = LiveThreads();
  ASSERT_GT(before, 0);
  {
    std::vector<std::unique_ptr<Plug>> plugs;
    for (int i = 0; i < 4; ++i)
    {
      plugs.emplace_back(new Plug(kRateHz, 4096));
      plugs.back()->Isolate(k4_1, kNormal);
      plugs.back()->Empty();
    }
    EXPECT_LE(LiveThreads() - before, 1) << "threads of 4 resumed instances without an editor";

    // A tempo drop asks each instance for a longer line, all at once.
    for (auto& plug : plugs)
    {
      plug->host.SetTempo(30.0);
      plug->Empty();
    }
    for (size_t i = 0; i < plugs.size(); ++i)
    {
      // The worker builds meanwhile; each probe lets the taps move on.
      size_t echo = NearEcho(*plugs[i]);
      for (int probe = 0; probe < 200 && echo != kWantedTap; ++probe)
      {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        echo = NearEcho(*plugs[i]);
      }
      EXPECT_EQ(echo, kWantedTap) << "instance " << i << ": the line did not grow";
    }
    EXPECT_LE(LiveThreads() - before, 1) << "threads after every line grew";
  }
  EXPECT_EQ(LiveThreadsSettledAt(before), before) << "a thread outlives the instances";
}
