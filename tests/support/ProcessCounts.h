// What an instance could leave behind in the process: open descriptors
// (handles on Windows) and live threads; -1 when they cannot be read.
// Shared by the stress runs and the effect's tests.
#pragma once

#if defined(_WIN32)
// Includers use std::min and std::max.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <tlhelp32.h>

#include <vector>
#elif defined(__linux__)
#include <dirent.h>
#endif

#include <chrono>
#include <thread>

namespace stresstest
{

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

inline int OpenHandles()
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

inline int LiveThreads()
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
#elif defined(__linux__)
// Entries of a /proc/self directory: open descriptors, live threads.
inline int CountEntries(const char* dir)
{
  DIR* d = opendir(dir);
  if (!d) return -1;
  int n = 0;
  while (const dirent* e = readdir(d))
    if (e->d_name[0] != '.') ++n;
  closedir(d);
  return n;
}

inline int OpenHandles() { return CountEntries("/proc/self/fd"); }
inline int LiveThreads() { return CountEntries("/proc/self/task"); }
#endif

// Live threads once they are n again: a joined thread leaves the kernel's
// list a moment after its join returns. Gives up after about ten seconds.
inline int LiveThreadsSettledAt(int n)
{
  int live = LiveThreads();
  for (int i = 0; i < 1000 && live != n; ++i)
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    live = LiveThreads();
  }
  return live;
}

}  // namespace stresstest
