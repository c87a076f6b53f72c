// Redraw cost of the effect's own editor (real images, value texts) in the
// headless layer: a full redraw, and one tick with a single control changed
// by the host.
//
//   quorvex_editor_bench [seconds-per-case [name filter]]

#include "IGraphicsHeadless.h"
#include "IPlugVSTCreate.h"
#include "Quorvex2.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>

namespace {

using Clock = std::chrono::steady_clock;
double gSecondsPerCase = 0.5;
const char* gFilter = nullptr;

VstIntPtr VSTCALLBACK QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  return opcode == audioMasterVersion ? 2400 : 0;
}

AEffect* VSTCALLBACK Entry(audioMasterCallback cb)
{
  return IPlugVSTCreate<Quorvex2>(cb);
}

double CpuSeconds()
{
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Wall time per tick, and the thread's CPU time, which stays honest on a
// machine busy with other work. Returns the CPU figure.
double Measure(const char* name, const std::function<void()>& op)
{
  if (gFilter && !std::strstr(name, gFilter)) return 0.0;
  op();
  long long runs = 0;
  const Clock::time_point start = Clock::now();
  const double cpuStart = CpuSeconds();
  double elapsed = 0;
  do
  {
    for (int i = 0; i < 8; ++i) op();
    runs += 8;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (elapsed < gSecondsPerCase);
  const double ms = elapsed * 1e3 / (double)runs;
  const double cpu = (CpuSeconds() - cpuStart) * 1e3 / (double)runs;
  std::printf("%-38s %8.4f ms per tick, %8.4f ms CPU  (%lld ticks)\n", name, ms, cpu, runs);
  return cpu;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc > 1) gSecondsPerCase = std::atof(argv[1]);
  if (argc > 2) gFilter = argv[2];
  AEffect* effect = Entry(&QuietHost);
  if (!effect) return 1;
  IPlugVST* plug = static_cast<IPlugVST*>(effect->object);
  IGraphics* g = plug->GetGUI();
  int parent = 0;
  if (!g || !effect->dispatcher(effect, effEditOpen, 0, 0, &parent, 0.0f)) return 1;

  std::printf("Quorvex 2 editor %d x %d, %d controls\n", g->Width(), g->Height(), g->NControls());
  const double full = Measure("full redraw", [&] {
    g->SetAllControlsDirty();
    g->OnTimerTick();
  });
  // Steps so that every tick changes the value the control shows.
  double v = 0.0;
  auto knob = [&](int param, const char* name) {
    return Measure(name, [&] {
      v = v < 0.99 ? v + 0.01 : 0.0;
      effect->setParameter(effect, param, (float)v);
      g->OnTimerTick();
    });
  };
  const double rot = knob(kPanWidth, "one knob: Pan Width (rotated dot)");
  const double strip = knob(kDelayRate, "one knob: Delay Rate (film strip)");
  knob(kDryMix, "one slider: Dry Mix");
  knob(kPingPong, "radio buttons: Ping Pong");
  Measure("idle tick (nothing dirty)", [&] { g->OnTimerTick(); });
  std::printf("targets (CPU time): full redraw <= 1 ms (%s), one knob <= 0.1 ms (%s, %s)\n", full <= 1.0 ? "met" : "MISSED",
              rot <= 0.1 ? "met" : "MISSED", strip <= 0.1 ? "met" : "MISSED");
  effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  return 0;
}
