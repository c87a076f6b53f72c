// Counts what a thread does that a real-time audio thread must not:
// allocations, frees, page faults, waits on locks other than an allowed
// one, sleeps and blocking file I/O. It also times every mutex lock that
// had to wait, the allowed ones included. The heap and the blocking calls
// are replaced for the whole process (glibc, no sanitizer), so the plug-in
// loaded into it is seen too; elsewhere on Linux only page faults are
// counted, and on Windows nothing. The same replacements can make a
// thread's allocations and thread starts fail on purpose.
#pragma once

#include <string>

namespace stress
{

// A lock wait longer than this is counted in waitsOver100us.
const long long kLongWaitNs = 100000;

struct AudioCounts
{
  long allocs = 0, frees = 0, faults = 0;
  // lockWaits: locks taken on mutexes other than the allowed ones, waited
  // or not, and waits on conditions, rwlocks, semaphores and joins.
  long lockWaits = 0, sleeps = 0, fileIO = 0;
  // Mutex locks that found the mutex taken and waited (a failed try first):
  // how many of them were on an allowed lock, the longest of all, and how
  // many took longer than kLongWaitNs.
  long instanceWaits = 0, waitsOver100us = 0;
  long long longestWaitNs = 0;

  long Blocking() const { return lockWaits + sleeps + fileIO; }
  bool Clean() const { return allocs == 0 && frees == 0 && faults == 0 && Blocking() == 0; }
  AudioCounts& operator+=(const AudioCounts& o);
  std::string Text() const;
};

// Whether heap and blocking calls are counted in this build.
bool InterposerActive();

// [any thread] Starts counting on the calling thread from zero.
void WatchBegin();
// [the same thread] Stops and returns what was counted since WatchBegin.
AudioCounts WatchEnd();

// [any thread] A mutex that may be waited on (an instance's own lock).
// At most 64 are remembered; they are never forgotten.
void AllowLock(const void* mutex);

// [any thread] Records the mutexes the calling thread locks until
// ProbeLocksEnd, which returns the one locked or null when none or several.
void ProbeLocksBegin();
const void* ProbeLocksEnd();

// Forced failures, for the code paths behind a refused allocation or
// thread start. Allocations fail where the heap is replaced (glibc, no
// sanitizer); thread starts also under AddressSanitizer.
bool AllocationsFail();
bool ThreadStartsFail();
// [any thread] The malloc family counts for FailAllocation when called
// from the code of the module holding address (a loaded plug-in), every
// operator new wherever it is called from; null: operator new only.
void CountAllocationsFrom(const void* address);
// [any thread] The calling thread's nth counted allocation from now fails
// (operator new throws std::bad_alloc, the malloc family returns null),
// the others succeed; 0 fails none.
void FailAllocation(long n);
// [the same thread] Allocations counted since FailAllocation.
long AllocationsCounted();
// [any thread] Heap blocks allocated and not yet freed in the process.
long LiveAllocations();
// [any thread] The calling thread's next n pthread_create calls fail with
// EAGAIN.
void FailThreadStarts(int n);

}  // namespace stress
