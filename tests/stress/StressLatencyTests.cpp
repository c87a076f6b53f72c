// How long the audio thread waits while someone works the editor: 64-frame
// blocks paced in real time at 44.1 kHz (1.45 ms each) while the main
// thread opens and closes the editor, drags knobs and sliders, turns the
// wheel and types into entry boxes. The waits and block times per kind of
// operation are printed as one table ("latency:" lines); the run asserts
// only that audio ran clean and that every operation took effect.
#include "StressTestUtil.h"
// After gtest: Xlib defines None, Bool and the like.
#include "EditorUser.h"
#include "PacedAudio.h"

#include <iostream>

using namespace latency;
using stress::Scaled;

TEST(StressLatency, AudioThreadWhileTheEditorIsWorked)
{
  TestScreen screen;
  if (!screen.dpy) GTEST_SKIP() << "no X server";
  const Window parent = screen.MakeParent(0, 0, kEditorW, kEditorH);
  const int cycles = (int)Scaled(100, 1000), drags = (int)Scaled(20, 200), wheels = (int)Scaled(6, 60),
            entries = (int)Scaled(10, 100);

  StressHost s(64);
  stresstest::Start(s, 44100, 64);
  stresstest::Busy(s.host);
  EditorUser user(screen, s, parent);
  OpLog log;
  int opened = 0, shown = 0, dragged = 0, turned = 0, typed = 0;
  const long long start = NowNs();
  PacedAudio audio(s, 64, 44100);

  // The first open loads what every later one shares (fonts, images).
  log.Run("first open", [&] { shown += user.Open(); });
  // A second untouched: only the editor's own timer.
  log.Run("editor idle", [&] { std::this_thread::sleep_for(std::chrono::seconds(1)); });
  for (int i = 0; i < drags; ++i) log.Run("drag", [&] { dragged += user.Drag(i); });
  for (int i = 0; i < wheels; ++i) log.Run("wheel", [&] { turned += user.Wheel(i); });
  for (int i = 0; i < entries; ++i) log.Run("entry box", [&] { typed += user.Entry(i); });
  log.Run("close", [&] { user.Close(); });
  for (int i = 0; i < cycles; ++i) log.Run("open/close", [&] { opened += user.Cycle(3); });
  audio.Stop();
  const double seconds = (NowNs() - start) * 1e-9;

  PrintTable("latency:", log.Attribute(audio.blocks, audio.PeriodNs()), audio, seconds);
  if (stress::InterposerActive())
    std::cout << "latency: audio thread totals: " << audio.counts.Text() << "\n";

  EXPECT_EQ(audio.fault, "");
  EXPECT_GT(audio.blocks.size(), 0u);
  EXPECT_TRUE(s.ProcessFromOneThread());
  EXPECT_EQ(shown, 1) << "first open drawn";
  EXPECT_EQ(opened, cycles) << "editor opened in its parent";
  EXPECT_EQ(dragged, drags) << "drags ended as gestures";
  EXPECT_EQ(turned, wheels) << "wheel turns ended as gestures";
  EXPECT_EQ(typed, entries) << "entry boxes committed";
  s.Close();
  XDestroyWindow(screen.dpy, parent);
}
