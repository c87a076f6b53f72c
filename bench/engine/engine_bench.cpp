// Processing cost per stereo frame of the built plug-in, through its
// exported entry point, beside a plain copy of the same buffers; and the
// memory one instance takes.
//
// Sections:
//   - input and timing helpers
//   - one measured run
//   - memory per instance
//   - main
#include "VstHost.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace
{

const double kSampleRate = 44100.0;
const int kFade = 4410;
// About 24 s of audio per timed pass; the best of many short passes
// counts, so other load on the machine spoils few of them.
const size_t kFramesPerPass = size_t(1) << 20;
const int kPasses = 40;
// Input cycles through this many frames so it stays in cache-sized reach.
const size_t kInputFrames = size_t(1) << 16;

enum class Precision
{
  k64,
  k32
};
enum class State
{
  kSteady,
  kCrossfading
};

// ================================================================ input and timing helpers

template <class T> struct Buffers
{
  std::vector<T> inL, inR, outL, outR;
  Buffers() : inL(kInputFrames), inR(kInputFrames), outL(kInputFrames), outR(kInputFrames)
  {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-0.5, 0.5);
    for (size_t i = 0; i < kInputFrames; ++i)
    {
      inL[i] = (T)u(rng);
      inR[i] = (T)u(rng);
    }
  }
};

double Seconds(std::chrono::steady_clock::time_point from)
{
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// Keeps the copy loop from being optimised away.
volatile double gSink = 0.0;

// ================================================================ one measured run

struct Result
{
  double effectNs = 0.0, copyNs = 0.0, fadeShare = 0.0;
};

template <class T> void Process(quorvex::VstHost& host, T** ins, T** outs, int frames)
{
  if constexpr (sizeof(T) == sizeof(double))
    host.ProcessDouble(ins, outs, frames);
  else
    host.ProcessReplacing(ins, outs, frames);
}

template <class T> Result Measure(int block, State state)
{
  Buffers<T> buf;
  quorvex::VstHost host;
  const std::string error = host.Load(QUORVEX_EFFECT_PATH);
  if (!error.empty())
  {
    std::fprintf(stderr, "engine_bench: %s\n", error.c_str());
    return Result();
  }
  host.Open(kSampleRate, block);

  const size_t blocksPerPass = kFramesPerPass / (size_t)block;
  const size_t blocksInInput = kInputFrames / (size_t)block;
  // A new "Delay Rate" as soon as the last crossfade has run out, so fades
  // follow each other back to back; one host call per fade, so the figure
  // is the crossfading loop's, not the cost of setParameter.
  const float rates[2] = { 9.0f / 24.0f, 12.0f / 24.0f };
  size_t fadeFrames = 0, fadeLeft = 0;
  int toggle = 0;

  auto run = [&](bool timedEffect)
  {
    for (size_t b = 0; b < blocksPerPass; ++b)
    {
      const size_t at = (b % blocksInInput) * (size_t)block;
      T* ins[2] = { &buf.inL[at], &buf.inR[at] };
      T* outs[2] = { &buf.outL[at], &buf.outR[at] };
      if (!timedEffect)
      {
        std::memcpy(outs[0], ins[0], sizeof(T) * (size_t)block);
        std::memcpy(outs[1], ins[1], sizeof(T) * (size_t)block);
        continue;
      }
      if (state == State::kCrossfading)
      {
        // The fade counts 4410 weighted samples and one that ends it.
        if (fadeLeft == 0)
        {
          host.SetParameter(0, rates[toggle ^= 1]);
          fadeLeft = kFade + 1;
        }
        const size_t n = fadeLeft < (size_t)block ? fadeLeft : (size_t)block;
        fadeFrames += n;
        fadeLeft -= n;
      }
      Process(host, ins, outs, block);
    }
  };

  run(true);  // first block sizes the line; settle caches
  Result r;
  r.effectNs = 1e30;
  r.copyNs = 1e30;
  fadeFrames = 0;
  for (int pass = 0; pass < kPasses; ++pass)
  {
    auto t0 = std::chrono::steady_clock::now();
    run(true);
    const double e = Seconds(t0) * 1e9 / (double)(blocksPerPass * (size_t)block);
    t0 = std::chrono::steady_clock::now();
    run(false);
    const double c = Seconds(t0) * 1e9 / (double)(blocksPerPass * (size_t)block);
    gSink = gSink + (double)buf.outL[kInputFrames / 2];
    if (e < r.effectNs) r.effectNs = e;
    if (c < r.copyNs) r.copyNs = c;
  }
  r.fadeShare = (double)fadeFrames / (double)(kPasses * blocksPerPass * (size_t)block);
  return r;
}

// ================================================================ memory per instance

#if defined(__linux__)
// Resident memory of the process: the line is mapped apart from the heap.
size_t ResidentBytes()
{
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  unsigned long pages = 0, resident = 0;
  const int n = std::fscanf(f, "%lu %lu", &pages, &resident);
  std::fclose(f);
  return n == 2 ? (size_t)resident * 4096 : 0;
}

void ReportMemory()
{
  // A first instance keeps the library mapped, so the second one's cost is
  // the instance alone.
  quorvex::VstHost first;
  if (!first.Load(QUORVEX_EFFECT_PATH).empty()) return;

  const size_t before = ResidentBytes();
  {
    quorvex::VstHost host;
    host.Load(QUORVEX_EFFECT_PATH);
    host.Open(kSampleRate, 512);
    std::vector<double> l(512, 0.0), r(512, 0.0);
    double* ins[2] = { l.data(), r.data() };
    double* outs[2] = { l.data(), r.data() };
    host.ProcessDouble(ins, outs, 512);
    const size_t after = ResidentBytes();
    // 20 whole notes at 120 bpm and 44.1 kHz.
    const size_t line = 1764000u * sizeof(double);
    const size_t total = after > before ? after - before : 0;
    std::printf("\nmemory per instance (resident, after open and one block):\n");
    std::printf("  total   %10zu bytes\n", total);
    std::printf("  line    %10zu bytes (%.1f MB)\n", line, (double)line / 1e6);
    std::printf("  rest    %10zu bytes (%.3f MB, target < 2 MB)\n", total > line ? total - line : 0,
                (double)(total > line ? total - line : 0) / 1e6);
  }
}
#else
void ReportMemory() { std::printf("\nmemory per instance: measured on Linux only\n"); }
#endif

}  // namespace

// ================================================================ main

// engine_bench [BLOCK [32|64 [steady|crossfading]]]: only that block size
// (precision, state), for a profiler.
int main(int argc, char** argv)
{
  const int onlyBlock = argc > 1 ? std::atoi(argv[1]) : 0;
  const int onlyBits = argc > 2 ? std::atoi(argv[2]) : 0;
  const char* onlyState = argc > 3 ? argv[3] : "";
  std::printf(
      "Quorvex2 through VSTPluginMain, %.0f Hz, 120 bpm, stereo noise, best of %d passes of %zu frames\n",
      kSampleRate, kPasses, kFramesPerPass);
  std::printf("%6s %7s %12s %12s %12s %7s %10s\n", "block", "path", "state", "ns/frame", "copy ns/fr",
              "ratio", "in fade");
  for (State state : { State::kSteady, State::kCrossfading })
    for (Precision p : { Precision::k64, Precision::k32 })
      for (int block : { 32, 512, 4096 })
      {
        if ((onlyBlock && block != onlyBlock) || (onlyBits && onlyBits != (p == Precision::k64 ? 64 : 32)) ||
            (*onlyState && std::strcmp(onlyState, state == State::kSteady ? "steady" : "crossfading") != 0))
          continue;
        const Result r = p == Precision::k64 ? Measure<double>(block, state) : Measure<float>(block, state);
        std::printf("%6d %7s %12s %12.2f %12.3f %7.1f %9.0f%%\n", block,
                    p == Precision::k64 ? "64-bit" : "32-bit",
                    state == State::kSteady ? "steady" : "crossfading", r.effectNs, r.copyNs,
                    r.copyNs > 0.0 ? r.effectNs / r.copyNs : 0.0, 100.0 * r.fadeShare);
      }
  std::printf(
      "targets: steady <= 1.0 ns at 512 and 4096 frames, <= 2.0 ns at 32; crossfading <= 1.5x steady\n");
  ReportMemory();
  return 0;
}
