// What the peer comparisons share (bench/engine/peer_bench.cpp for VST 2,
// bench/lv2/lv2_bench.cpp for LV2): peers given on the command line, the
// clock, and the min and median of interleaved passes printed beside the
// ratio to Quorvex 2.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace peerbench
{

inline double Now()
{
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Stereo noise the passes cycle through, kInputFrames long so that it
// stays within cache reach, and output buffers as long.
const size_t kInputFrames = size_t(1) << 16;

template <class T> struct Buffers
{
  std::vector<T> in[2], out[2];
  Buffers()
  {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-0.5, 0.5);
    for (int c = 0; c < 2; ++c)
    {
      in[c].resize(kInputFrames);
      out[c].assign(kInputFrames, 0);
      for (T& v : in[c]) v = (T)u(rng);
    }
  }
};

// ns per stereo frame for one pass of `frames` frames in blocks of `block`,
// cycling through buf; run(ins, outs) hands one block to the instances.
template <class T, class Run> double TimePass(Buffers<T>& buf, int block, size_t frames, Run run)
{
  const size_t blocks = frames / (size_t)block, inInput = kInputFrames / (size_t)block;
  const double t0 = Now();
  for (size_t b = 0; b < blocks; ++b)
  {
    const size_t at = (b % inInput) * (size_t)block;
    T* ins[2] = { &buf.in[0][at], &buf.in[1][at] };
    T* outs[2] = { &buf.out[0][at], &buf.out[1][at] };
    run(ins, outs);
  }
  return (Now() - t0) * 1e9 / (double)(blocks * (size_t)block);
}

// The head of the timing table the benchmarks print.
inline void PrintTimingHead(double sampleRate, int passes, size_t frames)
{
  std::printf("ns per stereo frame, %.0f Hz, stereo noise, %d interleaved passes of %zu frames; "
              "min, median, ratio of min to Quorvex 2\n",
              sampleRate, passes, frames);
  std::printf("%6s %7s  %-32s %10s %10s %9s\n", "block", "path", "plug-in", "min", "median", "ratio");
}

// "label;where[;mono][;name=value]...": where is a library path (VST 2) or
// a plug-in URI (LV2); a mono plug-in runs one instance per channel.
struct Peer
{
  std::string label, path;
  bool mono = false;
  std::vector<std::pair<std::string, std::string>> params;
};

inline bool ParsePeer(const std::string& arg, Peer* peer)
{
  std::vector<std::string> fields;
  size_t at = 0;
  for (;;)
  {
    const size_t semi = arg.find(';', at);
    fields.push_back(arg.substr(at, semi == std::string::npos ? std::string::npos : semi - at));
    if (semi == std::string::npos) break;
    at = semi + 1;
  }
  if (fields.size() < 2 || fields[0].empty() || fields[1].empty()) return false;
  peer->label = fields[0];
  peer->path = fields[1];
  for (size_t i = 2; i < fields.size(); ++i)
  {
    if (fields[i] == "mono")
    {
      peer->mono = true;
      continue;
    }
    const size_t eq = fields[i].find('=');
    if (eq == std::string::npos) return false;
    peer->params.emplace_back(fields[i].substr(0, eq), fields[i].substr(eq + 1));
  }
  return true;
}

struct Figures
{
  double min = 0.0, median = 0.0;
  bool ran = false;
};

inline Figures Summarise(std::vector<double> v)
{
  Figures f;
  if (v.empty()) return f;
  std::sort(v.begin(), v.end());
  f.min = v.front();
  f.median = v[v.size() / 2];
  f.ran = true;
  return f;
}

// One row per peer; the ratio is of each min to the first peer's.
inline void PrintTable(const std::vector<Peer>& peers, const char* precision, int block,
                       const std::vector<Figures>& f)
{
  for (size_t k = 0; k < peers.size(); ++k)
  {
    if (!f[k].ran)
    {
      std::printf("%6d %7s  %-32s %10s %10s %9s\n", block, precision, peers[k].label.c_str(), "-", "-", "-");
      continue;
    }
    const double ratio = f[0].ran && f[0].min > 0.0 ? f[k].min / f[0].min : 0.0;
    std::printf("%6d %7s  %-32s %10.2f %10.2f %8.1fx\n", block, precision, peers[k].label.c_str(), f[k].min,
                f[k].median, ratio);
  }
}

// The command line shared by the peer benchmarks:
//   TOOL [--passes N] [--frames N] PEER...
// Quorvex 2 (at `self`) comes first. False, with the reason printed, on a
// peer that does not parse; `syntax` says how one is written.
struct CommandLine
{
  int passes = 15;
  size_t frames = size_t(1) << 18;
  std::vector<Peer> peers;
};

inline bool ParseCommandLine(int argc, char** argv, const char* tool, const char* self, const char* syntax,
                             CommandLine* line)
{
  line->peers.assign(1, Peer());
  line->peers[0].label = "Quorvex 2";
  line->peers[0].path = self;
  for (int i = 1; i < argc; ++i)
  {
    const std::string arg = argv[i];
    if (arg == "--passes" && i + 1 < argc)
      line->passes = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--frames" && i + 1 < argc)
      line->frames = (size_t)std::max(4096, std::atoi(argv[++i]));
    else
    {
      Peer peer;
      if (!ParsePeer(arg, &peer))
      {
        std::fprintf(stderr, "%s: bad peer \"%s\" (%s)\n", tool, arg.c_str(), syntax);
        return false;
      }
      line->peers.push_back(peer);
    }
  }
  return true;
}

}  // namespace peerbench
