// Quorvex2 beside other VST 2 delays, loaded the same way and interleaved
// in one run: processing cost per stereo frame (min and median of many
// passes, ratio to Quorvex2), instantiate times and resident memory per
// instance.
//
//   peer_bench [--passes N] [--frames N] PEER...
//   PEER = "label;path[;mono][;Parameter name=display text]..."
//
// A mono plug-in runs one instance per channel. Parameters are found by
// name and set by their display text, as the render tool does.
//
// Sections:
//   - peers and their instances
//   - timing
//   - main
#include "PeerBench.h"
#include "Render.h"
#include "VstHost.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{

using peerbench::Figures;
using peerbench::Now;
using peerbench::Peer;
using peerbench::PrintTable;
using peerbench::Summarise;

const double kSampleRate = 44100.0;
const int kBlocks[] = { 32, 512, 4096 };

// Resident set of the process, bytes (0 where /proc is missing).
size_t ResidentBytes()
{
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0, resident = 0;
  if (!(statm >> pages >> resident)) return 0;
  return resident * 4096;
}

// ================================================================ peers and their instances

// One peer at one block size: one stereo instance or two mono ones.
struct Setup
{
  const Peer* peer = nullptr;
  std::vector<std::unique_ptr<quorvex::VstHost>> hosts;
  bool doubles = false;
  std::string error;
};

std::unique_ptr<quorvex::VstHost> Instantiate(const Peer& peer, int block, std::string* error)
{
  auto host = std::make_unique<quorvex::VstHost>();
  host->SetCallLogging(false);
  *error = host->Load(peer.path);
  if (!error->empty()) return nullptr;
  host->Open(kSampleRate, block);
  for (const auto& param : peer.params)
  {
    const int index = quorvex::FindParameter(*host, param.first);
    if (index < 0)
    {
      *error = "no parameter \"" + param.first + "\"";
      return nullptr;
    }
    if (!quorvex::SetParameterByDisplay(*host, index, param.second, error)) return nullptr;
  }
  return host;
}

Setup MakeSetup(const Peer& peer, int block)
{
  Setup s;
  s.peer = &peer;
  for (int i = 0; i < (peer.mono ? 2 : 1) && s.error.empty(); ++i)
    if (auto host = Instantiate(peer, block, &s.error)) s.hosts.push_back(std::move(host));
  if (!s.error.empty()) s.hosts.clear();
  s.doubles = !s.hosts.empty();
  for (auto& h : s.hosts)
    s.doubles = s.doubles && (h->Flags() & effFlagsCanDoubleReplacing) && h->Effect()->processDoubleReplacing;
  return s;
}

// ================================================================ timing

// ns per stereo frame for one pass of `frames` frames.
template <class T> double Pass(Setup& s, peerbench::Buffers<T>& buf, int block, size_t frames)
{
  return peerbench::TimePass(buf, block, frames,
                             [&](T** ins, T** outs)
                             {
                               for (size_t k = 0; k < s.hosts.size(); ++k)
                               {
                                 // Mono instances take one channel each.
                                 T** i = s.hosts.size() == 2 ? &ins[k] : ins;
                                 T** o = s.hosts.size() == 2 ? &outs[k] : outs;
                                 if constexpr (sizeof(T) == sizeof(double))
                                   s.hosts[k]->ProcessDouble(i, o, block);
                                 else
                                   s.hosts[k]->ProcessReplacing(i, o, block);
                               }
                             });
}

// Every peer's passes interleaved, so load on the machine falls on all alike.
template <class T>
std::vector<Figures> Measure(std::vector<Setup>& setups, int block, int passes, size_t frames)
{
  peerbench::Buffers<T> buf;
  std::vector<std::vector<double>> times(setups.size());
  auto usable = [&](const Setup& s) { return !s.hosts.empty() && (sizeof(T) == sizeof(float) || s.doubles); };
  for (Setup& s : setups)
    if (usable(s)) Pass(s, buf, block, frames);  // warm up
  for (int p = 0; p < passes; ++p)
    for (size_t k = 0; k < setups.size(); ++k)
      if (usable(setups[k])) times[k].push_back(Pass(setups[k], buf, block, frames));
  std::vector<Figures> figures;
  for (auto& t : times) figures.push_back(Summarise(t));
  return figures;
}

// Threads of the process (0 where /proc is missing).
int ThreadCount()
{
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key)
    if (key == "Threads:")
    {
      int n = 0;
      status >> n;
      return n;
    }
  return 0;
}

// A second instance's creation (library mapped already, entry point and
// effOpen) and its set-up as a host does it before the first block: rate,
// block size, six parameters, resume.
struct Later
{
  std::unique_ptr<quorvex::VstHost> host;
  double createMs = 0.0, setupMs = 0.0;
};

Later MakeLater(const Peer& peer, std::string* error)
{
  Later l;
  l.host = std::make_unique<quorvex::VstHost>();
  l.host->SetCallLogging(false);
  double t0 = Now();
  *error = l.host->Load(peer.path);
  if (!error->empty())
  {
    l.host.reset();
    return l;
  }
  l.host->Dispatch(effOpen);
  l.createMs = (Now() - t0) * 1e3;
  t0 = Now();
  l.host->Dispatch(effSetSampleRate, 0, 0, nullptr, (float)kSampleRate);
  l.host->Dispatch(effSetBlockSize, 0, 512);
  for (int i = 0; i < 6 && i < l.host->NumParams(); ++i) l.host->SetParameter(i, l.host->GetParameter(i));
  l.host->Dispatch(effMainsChanged, 0, 1);
  l.setupMs = (Now() - t0) * 1e3;
  return l;
}

// First instance (library load included); the median creation and set-up
// of later ones; threads and resident memory those add after one block each.
void ReportInstances(const Peer& peer)
{
  const int kLater = 4;
  std::string error;
  double t0 = Now();
  auto first = Instantiate(peer, 512, &error);
  const double firstMs = (Now() - t0) * 1e3;
  if (!first)
  {
    std::printf("  %-32s %s\n", peer.label.c_str(), error.c_str());
    return;
  }
  std::vector<float> l(512, 0.0f), r(512, 0.0f);
  float* io[2] = { l.data(), r.data() };
  first->ProcessReplacing(io, io, 512);
  const size_t before = ResidentBytes();
  const int threadsBefore = ThreadCount();
  std::vector<Later> later;
  std::vector<double> create, setup;
  for (int i = 0; i < kLater; ++i)
  {
    Later one = MakeLater(peer, &error);
    if (!one.host) break;
    create.push_back(one.createMs);
    setup.push_back(one.setupMs);
    later.push_back(std::move(one));
  }
  for (auto& h : later) h.host->ProcessReplacing(io, io, 512);
  const size_t after = ResidentBytes();
  const int threads = ThreadCount() - threadsBefore;
  const double perInstance =
      later.empty() ? 0.0 : (double)(after > before ? after - before : 0) / later.size();
  std::printf("  %-32s %9.2f ms %9.2f ms %9.2f ms %8d %10.2f MB\n", peer.label.c_str(), firstMs,
              Summarise(create).median, Summarise(setup).median, threads, perInstance / 1e6);
}

}  // namespace

// ================================================================ main

int main(int argc, char** argv)
{
  peerbench::CommandLine line;
  if (!peerbench::ParseCommandLine(argc, argv, "peer_bench", QUORVEX_EFFECT_PATH,
                                   "label;path[;mono][;name=text]...", &line))
    return 2;
  const int passes = line.passes;
  const size_t frames = line.frames;
  const std::vector<Peer>& peers = line.peers;

  // Instantiate figures come first, before any library is mapped.
  std::printf("instances: the first (library load included); of 4 later ones the median creation "
              "(entry point, effOpen) and set-up (rate, block size, six parameters, resume), the threads "
              "all 4 add and the resident memory each adds after one block\n");
  std::printf("  %-32s %12s %12s %12s %8s %13s\n", "plug-in", "first", "create", "set-up", "threads",
              "memory");
  for (const Peer& peer : peers) ReportInstances(peer);

  std::printf("\n");
  peerbench::PrintTimingHead(kSampleRate, passes, frames);
  for (int block : kBlocks)
  {
    std::vector<Setup> setups;
    for (const Peer& peer : peers)
    {
      setups.push_back(MakeSetup(peer, block));
      if (!setups.back().error.empty())
        std::fprintf(stderr, "peer_bench: %s: %s\n", peer.label.c_str(), setups.back().error.c_str());
    }
    PrintTable(peers, "32-bit", block, Measure<float>(setups, block, passes, frames));
    PrintTable(peers, "64-bit", block, Measure<double>(setups, block, passes, frames));
  }
  return 0;
}
