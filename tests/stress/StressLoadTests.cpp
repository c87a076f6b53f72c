// Instances coming and going: repeated loads and unloads leave nothing
// behind.
#include "StressTestUtil.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>
#include <vector>

using namespace stress;
using namespace stresstest;

namespace
{

#if defined(_WIN32)
// The process has about 1,000 TLS slots; each one a load keeps is lost.
int FreeTlsSlots()
{
  std::vector<DWORD> taken;
  for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(slot);
  for (DWORD slot : taken) TlsFree(slot);
  return (int)taken.size();
}
#endif

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
#if defined(_WIN32)
  // Hosts keep the common dialogs loaded; Wine's keep a mutex for each
  // fresh load, which is not the plug-in's to answer for.
  const HMODULE dialogs = LoadLibraryA("comdlg32.dll");
#endif
  int fds = -1, threads = -1;
#if defined(_WIN32)
  int tlsSlots = -1;
#endif
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
      fds = OpenHandles();
      threads = LiveThreads();
      ASSERT_GT(fds, 0);
      ASSERT_GT(threads, 0);
#if defined(_WIN32)
      tlsSlots = FreeTlsSlots();
#endif
    }
  }
  // Nothing an instance opens or starts outlives it.
  EXPECT_EQ(OpenHandles(), fds);
  EXPECT_EQ(LiveThreadsSettledAt(threads), threads);
#if defined(_WIN32)
  EXPECT_EQ(FreeTlsSlots(), tlsSlots);
  if (dialogs) FreeLibrary(dialogs);
#endif
  std::cout << "[ loads    ] " << loads << " loads and unloads\n";
}
