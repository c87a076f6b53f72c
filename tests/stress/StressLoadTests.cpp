// Instances coming and going, and living side by side: repeated loads and
// unloads leave nothing behind, and instances on two audio threads sound
// exactly as each does alone.
#include "StressTestUtil.h"

#include <dirent.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>

using namespace stress;
using namespace stresstest;

namespace {

// Entries of a /proc/self directory: open descriptors, live threads.
int CountEntries(const char* dir)
{
  DIR* d = opendir(dir);
  if (!d) return -1;
  int n = 0;
  while (const dirent* e = readdir(d))
    if (e->d_name[0] != '.') ++n;
  closedir(d);
  return n;
}

long Loads()
{
  // The valgrind run asks for fewer.
  const char* v = std::getenv("QUORVEX_STRESS_LOADS");
  if (v && std::atoi(v) > 0) return std::atoi(v);
  return 200;
}

}  // namespace

TEST(StressLoad, LoadAndUnloadRepeatedly)
{
  const long loads = Loads();
  int fds = -1, threads = -1;
  for (long i = 0; i < loads && !HasFailure(); ++i)
  {
    StressHost s(512);
    Start(s, i % 2 ? 48000 : 44100, 512);
    s.host.SetProgram((int)(i % 25));
    s.Block(512, i % 3 ? Precision::kDouble : Precision::kFloat);
    EXPECT_FALSE(s.host.GetChunk(false).empty());
    s.Close();
    // The first instance maps the library's dependencies for good.
    if (i == 0)
    {
      fds = CountEntries("/proc/self/fd");
      threads = CountEntries("/proc/self/task");
    }
  }
  // Nothing an instance opens or starts outlives it.
  EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
  EXPECT_EQ(CountEntries("/proc/self/task"), threads);
  std::cout << "[ loads    ] " << loads << " loads and unloads\n";
}

// ================================================================ side by side

namespace {

struct Instance
{
  StressHost s{ 512 };
  std::vector<double> out;  // both channels, block after block
  void Run(int b, Precision p)
  {
    const BlockReport r = s.Block(512, p);
    EXPECT_EQ(r.fault, "");
    for (int ch = 0; ch < 2; ++ch)
      for (int i = 0; i < 512; ++i) out.push_back(s.Out(ch, i));
    (void)b;
  }
};

void Prepare(Instance& in, int k)
{
  Start(in.s, k % 2 ? 48000 : 44100, 512);
  in.s.host.SetProgram(1 + k * 2);
  in.s.Noise(100 + k);
}

}  // namespace

TEST(StressInstances, EightOnTwoAudioThreadsSoundAsAlone)
{
  const int kInstances = 8, blocks = (int)Scaled(200, 3000);
  const Precision kP[] = { Precision::kFloat, Precision::kDouble };

  std::vector<std::vector<double>> alone(kInstances);
  for (int k = 0; k < kInstances; ++k)
  {
    Instance in;
    Prepare(in, k);
    for (int b = 0; b < blocks; ++b) in.Run(b, kP[(b + k) % 2]);
    alone[k] = std::move(in.out);
  }

  std::vector<std::unique_ptr<Instance>> together;
  for (int k = 0; k < kInstances; ++k)
  {
    together.push_back(std::make_unique<Instance>());
    Prepare(*together.back(), k);
  }
  auto audioThread = [&](int first) {
    for (int b = 0; b < blocks; ++b)
      for (int k = first; k < kInstances; k += 2) together[k]->Run(b, kP[(b + k) % 2]);
  };
  std::thread a(audioThread, 0), b(audioThread, 1);
  // Meanwhile the UI thread reads state as hosts do while playing.
  for (int i = 0; i < 200; ++i)
    for (auto& in : together)
    {
      (void)in->s.host.GetParameter(i % kNumParams);
      char text[64];
      in->s.host.Dispatch(effGetParamDisplay, i % kNumParams, 0, text);
    }
  a.join();
  b.join();
  for (int k = 0; k < kInstances; ++k)
  {
    SCOPED_TRACE(k);
    ASSERT_EQ(together[k]->out.size(), alone[k].size());
    EXPECT_EQ(std::memcmp(together[k]->out.data(), alone[k].data(), sizeof(double) * alone[k].size()), 0);
    EXPECT_TRUE(together[k]->s.ProcessFromOneThread());
  }
}
