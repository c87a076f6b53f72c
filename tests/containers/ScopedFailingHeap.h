// Heap hooks that refuse every allocation while in scope, so a test can
// check that a container survives an exhausted heap unchanged.
#pragma once

#include "wdl_alloc.h"

#include <cstdlib>

class ScopedFailingHeap
{
public:
  ScopedFailingHeap()
  {
    static const WDL_AllocHooks kFailing = {
      [](void*, size_t) -> void* { return nullptr; },
      [](size_t) -> void* { return nullptr; },
      [](void* p) { std::free(p); },
    };
    WDL_SetAllocHooks(&kFailing);
  }
  ~ScopedFailingHeap() { WDL_SetAllocHooks(nullptr); }

  ScopedFailingHeap(const ScopedFailingHeap&) = delete;
  ScopedFailingHeap& operator=(const ScopedFailingHeap&) = delete;
};
