// The benchmarks' timing loop: an operation run in batches until a time
// budget is spent, with the wall and CPU time it took. Figures are printed,
// never compared.
#pragma once

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>

namespace bench
{

inline double CpuSeconds(clockid_t clock)
{
  timespec ts;
  clock_gettime(clock, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}
// The calling thread's CPU time stays honest on a machine busy with other
// work; the process's takes in the threads an editor runs of its own.
inline double ThreadCpuSeconds() { return CpuSeconds(CLOCK_THREAD_CPUTIME_ID); }
inline double ProcessCpuSeconds() { return CpuSeconds(CLOCK_PROCESS_CPUTIME_ID); }

struct BenchTiming
{
  long long runs = 0;
  double wallSeconds = 0.0, cpuSeconds = 0.0;  // cpu: the calling thread's
  double WallPerRun() const { return wallSeconds / (double)runs; }
  double CpuPerRun() const { return cpuSeconds / (double)runs; }
};

// Runs op warmUp times (caches, glyphs), then in batches of batch until
// seconds of wall time have passed, reading the clock between batches only.
inline BenchTiming TimeLoop(double seconds, int warmUp, int batch, const std::function<void()>& op)
{
  for (int i = 0; i < warmUp; ++i) op();
  BenchTiming t;
  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = ThreadCpuSeconds();
  do {
    for (int i = 0; i < batch; ++i) op();
    t.runs += batch;
    t.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  } while (t.wallSeconds < seconds);
  t.cpuSeconds = ThreadCpuSeconds() - cpuStart;
  return t;
}

// The process's CPU time while during() runs, as a share of one core.
inline double CpuShare(const std::function<void()>& during)
{
  const double cpuStart = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  during();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return (ProcessCpuSeconds() - cpuStart) / wall;
}

// Seconds per case from argument i when it is a positive number.
inline double SecondsArg(int argc, char** argv, int i, double fallback)
{
  const double v = argc > i ? std::atof(argv[i]) : 0.0;
  return v > 0.0 ? v : fallback;
}

}  // namespace bench
