// The audio thread's worst lock wait per editor operation: the built
// plug-in in a real X11 window, 64-frame blocks paced in real time at
// 44.1 kHz on an audio thread, while the main thread repeats each
// operation: open, idle, close, drags, wheel turns, entry boxes with typed
// text, parameter changes from the host and state saved and loaded with the
// editor open. Needs an X server:
//
//   tests/support/with-xvfb.sh build/bench/editor/editor_latency_bench [repeats]
//
// Lock waits are timed only where the stress host's interposer works (glibc,
// no sanitizer); block times always.

#include "EditorUser.h"
#include "PacedAudio.h"

#include <cstdlib>
#include <random>

using namespace latency;

int main(int argc, char** argv)
{
  const int n = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 50;
  TestScreen screen;
  if (!screen.dpy)
  {
    std::fprintf(stderr, "%s: no X server (run it through tests/support/with-xvfb.sh)\n", argv[0]);
    return 1;
  }
  StressHost s(64);
  const std::string error = s.Load(QUORVEX_EFFECT_PATH);
  if (!error.empty() || !s.Open(44100, 64))
  {
    std::fprintf(stderr, "%s: cannot load the plug-in: %s\n", argv[0], error.c_str());
    return 1;
  }
  s.host.SetProgram(3);
  const Window parent = screen.MakeParent(0, 0, kEditorW, kEditorH);
  EditorUser user(screen, s, parent);
  OpLog log;
  int failed = 0;
  auto sleepMs = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  const long long start = NowNs();
  PacedAudio audio(s, 64, 44100);

  log.Run("first open", [&] { failed += !user.Open(); });
  log.Run("close", [&] { user.Close(); });
  for (int i = 0; i < n; ++i)
  {
    log.Run("open", [&] { failed += !user.Open(); });
    for (int k = 0; k < 3; ++k)
    {
      sleepMs(10);
      log.Run("idle", [&] { s.Dispatch(effEditIdle); });
    }
    log.Run("close", [&] { user.Close(); });
    sleepMs(10);
  }

  failed += !user.Open();
  for (int i = 0; i < n; ++i) log.Run("drag", [&] { failed += !user.Drag(i); });
  for (int i = 0; i < std::max(3, n / 5); ++i) log.Run("wheel", [&] { failed += !user.Wheel(i); });
  for (int i = 0; i < n; ++i) log.Run("entry box", [&] { failed += !user.Entry(i); });
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> value(0.f, 1.f);
  for (int i = 0; i < 20 * n; ++i)
  {
    log.Run("parameter set", [&] { s.host.SetParameter(i % s.host.NumParams(), value(rng)); });
    sleepMs(1);
  }
  for (int i = 0; i < n; ++i)
  {
    // Bank and program chunks in turn, each saved and loaded back.
    log.Run("state save/load",
            [&]
            {
              const bool program = i % 2;
              failed += s.host.SetChunk(s.host.GetChunk(program), program) == 0;
            });
    sleepMs(5);
  }
  user.Close();
  audio.Stop();

  PrintTable("bench:", log.Attribute(audio.blocks, audio.PeriodNs()), audio, (NowNs() - start) * 1e-9);
  if (!audio.fault.empty()) std::printf("bench: audio fault: %s\n", audio.fault.c_str());
  if (failed) std::printf("bench: %d operations did not take effect\n", failed);
  s.Close();
  XDestroyWindow(screen.dpy, parent);
  return audio.fault.empty() && !failed ? 0 : 1;
}
