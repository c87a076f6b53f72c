// Four host threads on one instance at once, as a busy DAW session has
// them: audio, automation at 10,000 parameter changes a second, the editor
// opening, ticking and closing, and state saved and restored every 10 ms.
// Meant for ThreadSanitizer; in any build every thread must get on and
// every block stay clean.
#include "StressTestUtil.h"
#include "TestScreen.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <random>
#include <thread>

using namespace stress;
using namespace stresstest;
using Clock = std::chrono::steady_clock;

namespace
{

// QUORVEX_STRESS_SECONDS, else a few seconds (a minute for the full run).
int RunSeconds()
{
  const char* v = std::getenv("QUORVEX_STRESS_SECONDS");
  if (v && std::atoi(v) > 0) return std::atoi(v);
  return (int)Scaled(3, 60);
}

}  // namespace

TEST(StressThreads, AudioAutomationEditorAndStateAtOnce)
{
  x11test::TestScreen screen;
  if (!screen.dpy) GTEST_SKIP() << "no X server";
  const Window parent = screen.MakeParent(0, 0, 545, 210);
  const int seconds = RunSeconds();

  StressHost s(512);
  Start(s, 48000, 512);
  Busy(s.host);
  const std::vector<uint8_t> bank = s.host.GetChunk(false), program = s.host.GetChunk(true);
  ASSERT_FALSE(bank.empty());
  ASSERT_FALSE(program.empty());

  std::atomic<bool> stop{ false };
  std::atomic<long> blocks{ 0 }, automations{ 0 }, editorCycles{ 0 }, editorTicks{ 0 }, saves{ 0 },
      loads{ 0 };
  std::string audioFault;
  AudioCounts audioCounts;
  long refusedLoads = 0, refusedOpens = 0;

  std::thread audio(
      [&]
      {
        const Precision kP[] = { Precision::kFloat, Precision::kDouble };
        while (!stop)
        {
          const BlockReport r = s.Block(512, kP[blocks % 2]);
          if (audioFault.empty()) audioFault = r.fault;
          audioCounts += r.counts;
          ++blocks;
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      });
  std::thread automation(
      [&]
      {
        std::mt19937 rng(9);
        std::uniform_real_distribution<float> value(0.f, 1.f);
        // Ten changes every 1 ms tick.
        auto next = Clock::now();
        while (!stop)
        {
          for (int i = 0; i < 10; ++i) s.host.SetParameter((int)(rng() % kNumParams), value(rng));
          automations += 10;
          next += std::chrono::milliseconds(1);
          std::this_thread::sleep_until(next);
          if (Clock::now() > next + std::chrono::milliseconds(50))
            next = Clock::now();  // fell behind: no burst
        }
      });
  std::thread editor(
      [&]
      {
        while (!stop)
        {
          if (s.Dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)parent) != 1)
          {
            ++refusedOpens;
            continue;
          }
          for (int i = 0; i < 10 && !stop; ++i)
          {
            s.Dispatch(effEditIdle);
            ++editorTicks;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
          s.Dispatch(effEditClose);
          ++editorCycles;
        }
      });
  std::thread state(
      [&]
      {
        auto next = Clock::now();
        for (long i = 0; !stop; ++i)
        {
          // Save one kind, load the other, alternately.
          const bool asProgram = i % 2;
          if (s.host.GetChunk(asProgram).empty()) continue;
          ++saves;
          if (s.host.SetChunk(asProgram ? bank : program, !asProgram) == 0) ++refusedLoads;
          ++loads;
          next += std::chrono::milliseconds(10);
          std::this_thread::sleep_until(next);
        }
      });

  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  stop = true;
  audio.join();
  automation.join();
  editor.join();
  state.join();

  EXPECT_EQ(audioFault, "");
  if (InterposerActive())
  {
    EXPECT_TRUE(audioCounts.Clean()) << audioCounts.Text();
  }
  EXPECT_GT(blocks.load(), 0);
  EXPECT_GT(automations.load(), 0);
  EXPECT_GT(editorCycles.load(), 0);
  EXPECT_GT(loads.load(), 0);
  EXPECT_EQ(refusedLoads, 0);
  EXPECT_EQ(refusedOpens, 0);
  for (int i = 0; i < kNumParams; ++i)
  {
    const float v = s.host.GetParameter(i);
    EXPECT_TRUE(v >= 0.f && v <= 1.f) << i;
  }
  std::cout << "[ threads  ] " << seconds << " s: " << blocks << " blocks, " << automations
            << " automations, " << editorCycles << " editor cycles (" << editorTicks << " idle calls), "
            << saves << " saves, " << loads << " loads\n";
  s.Close();
  XDestroyWindow(screen.dpy, parent);
}
