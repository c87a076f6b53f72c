// Where the host or the system calls into the plug-in (the entry point, the
// AEffect callbacks, the plug-in's own threads) nothing may be thrown out:
// those callers are C, and an exception reaching them ends the host's
// process. Each such entry runs its work through CatchAtBoundary.
#pragma once

// Pulls in the C and C++ libraries' configuration macros.
#include <cstdlib>
#include <new>

// glibc cancels a thread by unwinding it with an exception of its own;
// swallowing that one aborts the process, so it goes on. Other C libraries
// (mingw-w64's) cancel without one.
#if defined(__GLIBC__) && defined(__GLIBCXX__)
#include <cxxabi.h>
#define IPLUG_FORCED_UNWIND 1
// The cancellation has no object behind it: its handler binds a null
// reference, which the undefined-behaviour sanitizer would stop at.
#define IPLUG_FORCED_UNWIND_HANDLER __attribute__((no_sanitize("null")))
#else
#define IPLUG_FORCED_UNWIND 0
#define IPLUG_FORCED_UNWIND_HANDLER
#endif

// [any thread] Runs f: true when it returned, false when it threw. The
// exception ends here, except a thread cancellation, which is rethrown.
template <class F> IPLUG_FORCED_UNWIND_HANDLER bool CatchAtBoundary(F&& f)
{
  try
  {
    f();
    return true;
  }
#if IPLUG_FORCED_UNWIND
  catch (abi::__forced_unwind&)
  {
    throw;
  }
#endif
  catch (...)
  {
    return false;
  }
}
