// Counts what a thread does that a real-time audio thread must not:
// allocations, frees, page faults, waits on locks other than an allowed
// one, sleeps and blocking file I/O. The heap and the blocking calls are
// replaced for the whole process (glibc, no sanitizer), so the plug-in
// loaded into it is seen too; elsewhere on Linux only page faults are
// counted, and on Windows nothing.
#pragma once

#include <string>

namespace stress {

struct AudioCounts
{
  long allocs = 0, frees = 0, faults = 0;
  long lockWaits = 0, sleeps = 0, fileIO = 0;

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

}  // namespace stress
