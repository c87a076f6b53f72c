// Redraw cost of the effect's own editor (real images, value texts) in the
// headless layer: a full redraw, and one tick with a single control changed
// by the host.
//
//   quorvex_editor_bench [seconds-per-case [name filter]]

#include "BenchTiming.h"
#include "IGraphicsHeadless.h"
#include "IPlugVSTCreate.h"
#include "Quorvex2.h"

#include <cstdio>
#include <cstring>
#include <functional>

namespace
{

double gSecondsPerCase = 0.5;
const char* gFilter = nullptr;

VstIntPtr VSTCALLBACK QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  return opcode == audioMasterVersion ? 2400 : 0;
}

AEffect* VSTCALLBACK Entry(audioMasterCallback cb) { return IPlugVSTCreate<Quorvex2>(cb); }

// Wall time per tick, and the thread's CPU time, which stays honest on a
// machine busy with other work. Returns the CPU figure.
double Measure(const char* name, const std::function<void()>& op)
{
  if (gFilter && !std::strstr(name, gFilter)) return 0.0;
  const bench::BenchTiming t = bench::TimeLoop(gSecondsPerCase, 1, 8, op);
  const double ms = t.WallPerRun() * 1e3, cpu = t.CpuPerRun() * 1e3;
  std::printf("%-38s %8.4f ms per tick, %8.4f ms CPU  (%lld ticks)\n", name, ms, cpu, t.runs);
  return cpu;
}

}  // namespace

int main(int argc, char** argv)
{
  gSecondsPerCase = bench::SecondsArg(argc, argv, 1, gSecondsPerCase);
  if (argc > 2) gFilter = argv[2];
  AEffect* effect = Entry(&QuietHost);
  if (!effect) return 1;
  IPlugVST* plug = static_cast<IPlugVST*>(effect->object);
  IGraphics* g = plug->GetGUI();
  int parent = 0;
  if (!g || !effect->dispatcher(effect, effEditOpen, 0, 0, &parent, 0.0f)) return 1;

  std::printf("Quorvex 2 editor %d x %d, %d controls\n", g->Width(), g->Height(), g->NControls());
  const double full = Measure("full redraw",
                              [&]
                              {
                                g->SetAllControlsDirty();
                                g->OnTimerTick();
                              });
  // Steps so that every tick changes the value the control shows.
  double v = 0.0;
  auto knob = [&](int param, const char* name)
  {
    return Measure(name,
                   [&]
                   {
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
  std::printf("targets (CPU time): full redraw <= 1 ms (%s), one knob <= 0.1 ms (%s, %s)\n",
              full <= 1.0 ? "met" : "MISSED", rot <= 0.1 ? "met" : "MISSED", strip <= 0.1 ? "met" : "MISSED");
  effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  return 0;
}
