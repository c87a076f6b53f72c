// Instances coming and going: repeated loads and unloads leave nothing
// behind.
#include "StressTestUtil.h"

#if defined(_WIN32)
#include <windows.h>
#include <tlhelp32.h>
#endif

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>
#include <vector>

using namespace stress;
using namespace stresstest;

namespace {

// What an instance could leave behind: open descriptors (handles on
// Windows) and live threads of this process; -1 when they cannot be read.
#if defined(_WIN32)
// One entry of ntdll's table of all handles (SystemExtendedHandleInformation).
struct HandleEntry
{
  void* object;
  ULONG_PTR process, handle;
  ULONG access;
  USHORT backTrace, type;
  ULONG attributes, reserved;
};

int OpenHandles()
{
  DWORD n = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &n) && n > 0) return (int)n;
  // Wine answers 0 above; its system-wide table is complete.
  typedef LONG(WINAPI * Query)(ULONG, void*, ULONG, ULONG*);
  FARPROC address = GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
  const Query query = reinterpret_cast<Query>(reinterpret_cast<void*>(address));
  if (!query) return -1;
  std::vector<ULONG_PTR> table(1 << 14);
  for (;;)
  {
    const LONG status = query(64, table.data(), (ULONG)(table.size() * sizeof(ULONG_PTR)), nullptr);
    if (status == 0) break;
    // Anything but STATUS_INFO_LENGTH_MISMATCH is final.
    if (status != (LONG)0xC0000004 || table.size() > (1u << 24)) return -1;
    table.resize(table.size() * 2);
  }
  const ULONG_PTR count = table[0];
  if (count > (table.size() - 2) * sizeof(ULONG_PTR) / sizeof(HandleEntry)) return -1;
  const HandleEntry* entries = reinterpret_cast<const HandleEntry*>(&table[2]);
  int mine = 0;
  for (ULONG_PTR i = 0; i < count; ++i)
    if (entries[i].process == GetCurrentProcessId()) ++mine;
  return mine;
}

int LiveThreads()
{
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return -1;
  int n = 0;
  THREADENTRY32 e;
  e.dwSize = sizeof(e);
  for (BOOL more = Thread32First(snap, &e); more; more = Thread32Next(snap, &e))
    if (e.th32OwnerProcessID == GetCurrentProcessId()) ++n;
  CloseHandle(snap);
  return n;
}

// The process has about 1,000 TLS slots; each one a load keeps is lost.
int FreeTlsSlots()
{
  std::vector<DWORD> taken;
  for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(slot);
  for (DWORD slot : taken) TlsFree(slot);
  return (int)taken.size();
}
#else
int OpenHandles() { return CountEntries("/proc/self/fd"); }
int LiveThreads() { return CountEntries("/proc/self/task"); }
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
  EXPECT_EQ(LiveThreads(), threads);
#if defined(_WIN32)
  EXPECT_EQ(FreeTlsSlots(), tlsSlots);
  if (dialogs) FreeLibrary(dialogs);
#endif
  std::cout << "[ loads    ] " << loads << " loads and unloads\n";
}
