// An audio thread running small blocks paced in real time through a
// StressHost, and which of the main thread's operations each of its lock
// waits and slow blocks falls into. Shared by the editor stress runs and
// bench/editor/editor_latency_bench.cpp; nothing here asserts, and the
// figures are printed, never compared.
#pragma once

#include "StressHost.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace latency
{

using stress::Precision;
using stress::StressHost;

inline long long NowNs()
{
  using namespace std::chrono;
  return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

// ================================================================ paced audio

// What one block saw, kept for attributing it afterwards.
struct BlockRecord
{
  long long startNs, processNs, longestWaitNs;
  long waitsOver100us;
};

// [thread of its own] Blocks of `frames` at `rate` through one instance,
// float and double in turn, each started at its own deadline counted from
// the first, so a late block never shifts the ones after it.
class PacedAudio
{
public:
  PacedAudio(StressHost& s, int frames, double rate)
    : mHost(s), mFrames(frames), mRate(rate), mThread([this] { Run(); })
  {
  }
  ~PacedAudio() { Stop(); }
  void Stop()
  {
    mStop = true;
    if (mThread.joinable()) mThread.join();
  }
  double PeriodSeconds() const { return mFrames / mRate; }
  long long PeriodNs() const { return std::llround(PeriodSeconds() * 1e9); }
  int Frames() const { return mFrames; }
  double Rate() const { return mRate; }

  // Read after Stop: the first fault, every block, the watch's sums.
  std::string fault;
  std::vector<BlockRecord> blocks;
  stress::AudioCounts counts;

private:
  void Run()
  {
    blocks.reserve(1 << 18);  // six minutes
    const auto start = std::chrono::steady_clock::now();
    for (long long n = 0; !mStop; ++n)
    {
      const long long due = std::llround(n * PeriodSeconds() * 1e9);
      std::this_thread::sleep_until(start + std::chrono::nanoseconds(due));
      const stress::BlockReport r = mHost.Block(mFrames, n % 2 ? Precision::kDouble : Precision::kFloat);
      if (fault.empty()) fault = r.fault;
      counts += r.counts;
      blocks.push_back({ r.startNs, r.processNs, r.counts.longestWaitNs, r.counts.waitsOver100us });
    }
  }

  StressHost& mHost;
  const int mFrames;
  const double mRate;
  std::atomic<bool> mStop{ false };
  std::thread mThread;
};

// ================================================================ operations and figures

// Figures of the blocks that started during one kind of operation.
struct Row
{
  std::string label;
  long ops = 0, blocks = 0, waitsOver100us = 0, slowBlocks = 0;
  long long longestWaitNs = 0, longestProcessNs = 0;

  void Add(const BlockRecord& b, long long periodNs)
  {
    ++blocks;
    waitsOver100us += b.waitsOver100us;
    longestWaitNs = std::max(longestWaitNs, b.longestWaitNs);
    longestProcessNs = std::max(longestProcessNs, b.processNs);
    if (b.processNs > periodNs) ++slowBlocks;
  }
};

// [main thread] When the main thread did what. A block belongs to the
// operation running when its process call started: a lock taken in it is
// taken first, so a wait begins within microseconds of that. Operations
// finished by the editor's own thread (input) last until the host has
// seen the result.
class OpLog
{
public:
  template <class F> void Run(const std::string& label, F&& op)
  {
    const long long start = NowNs();
    op();
    mSpans.push_back({ Label(label), start, NowNs() });
  }

  // One row per label in first-use order, then "overall" over every block
  // (between operations too).
  std::vector<Row> Attribute(const std::vector<BlockRecord>& blocks, long long periodNs) const
  {
    std::vector<Row> rows(mLabels.size() + 1);
    for (size_t i = 0; i < mLabels.size(); ++i) rows[i].label = mLabels[i];
    Row& overall = rows.back();
    overall.label = "overall";
    for (const Span& span : mSpans) ++rows[span.label].ops;
    overall.ops = (long)mSpans.size();
    for (const BlockRecord& b : blocks)
    {
      overall.Add(b, periodNs);
      // Spans are in time order and do not overlap: the last one started
      // before the block is the only candidate.
      auto next = std::upper_bound(mSpans.begin(), mSpans.end(), b.startNs,
                                   [](long long t, const Span& s) { return t < s.startNs; });
      if (next != mSpans.begin() && b.startNs <= (next - 1)->endNs) rows[(next - 1)->label].Add(b, periodNs);
    }
    return rows;
  }

private:
  struct Span
  {
    size_t label;
    long long startNs, endNs;
  };
  size_t Label(const std::string& label)
  {
    const auto at = std::find(mLabels.begin(), mLabels.end(), label);
    if (at != mLabels.end()) return (size_t)(at - mLabels.begin());
    mLabels.push_back(label);
    return mLabels.size() - 1;
  }
  std::vector<std::string> mLabels;
  std::vector<Span> mSpans;
};

// One table on stdout, each line starting with `prefix`. Without the
// interposer only the block times are there.
inline void PrintTable(const char* prefix, const std::vector<Row>& rows, const PacedAudio& audio,
                       double seconds)
{
  const double periodMs = audio.PeriodNs() * 1e-6;
  std::printf("%s %d-frame blocks at %.0f Hz (%.2f ms each), float and double in turn, %.1f s\n", prefix,
              audio.Frames(), audio.Rate(), periodMs, seconds);
  if (!stress::InterposerActive())
    std::printf("%s lock waits are not timed in this build (no interposer): block times only\n", prefix);
  char slow[32];
  std::snprintf(slow, sizeof(slow), "blocks>%.2fms", periodMs);
  std::printf("%s %-16s %6s %8s %12s %13s %14s %14s\n", prefix, "operation", "ops", "blocks", "waits>100us",
              "longest wait", slow, "longest block");
  for (const Row& r : rows)
  {
    char waits[16] = "-", longest[16] = "-";
    if (stress::InterposerActive())
    {
      std::snprintf(waits, sizeof(waits), "%ld", r.waitsOver100us);
      std::snprintf(longest, sizeof(longest), "%.2f ms", r.longestWaitNs * 1e-6);
    }
    std::printf("%s %-16s %6ld %8ld %12s %13s %14ld %11.2f ms\n", prefix, r.label.c_str(), r.ops, r.blocks,
                waits, longest, r.slowBlocks, r.longestProcessNs * 1e-6);
  }
  std::fflush(stdout);
}

}  // namespace latency
