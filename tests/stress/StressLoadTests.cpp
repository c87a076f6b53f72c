// Instances coming and going: repeated loads and unloads leave nothing
// behind.
#include "StressTestUtil.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>

using namespace stress;
using namespace stresstest;

namespace {

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
