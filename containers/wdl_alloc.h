// Heap hooks behind every container allocation.
//
// Containers allocate through these so that tests can simulate an
// exhausted heap; production code never changes them.
#pragma once

#include <cstddef>

struct WDL_AllocHooks
{
  void* (*realloc_fn)(void* p, size_t size);
  void* (*malloc_fn)(size_t size);
  void (*free_fn)(void* p);
};

// Returns the hooks in use; passing null restores the C library's.
const WDL_AllocHooks& WDL_GetAllocHooks();
void WDL_SetAllocHooks(const WDL_AllocHooks* hooks);

void* WDL_Realloc(void* p, size_t size);
void* WDL_Malloc(size_t size);
void WDL_Free(void* p);
