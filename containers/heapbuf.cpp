#include "heapbuf.h"
#include "wdl_alloc.h"

#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------- hooks

static void* SysRealloc(void* p, size_t n) { return std::realloc(p, n); }
static void* SysMalloc(size_t n) { return std::malloc(n); }
static void SysFree(void* p) { std::free(p); }

static const WDL_AllocHooks kSystemHooks = { SysRealloc, SysMalloc, SysFree };
static WDL_AllocHooks sHooks = kSystemHooks;

const WDL_AllocHooks& WDL_GetAllocHooks() { return sHooks; }
void WDL_SetAllocHooks(const WDL_AllocHooks* hooks) { sHooks = hooks ? *hooks : kSystemHooks; }

void* WDL_Realloc(void* p, size_t size) { return sHooks.realloc_fn(p, size); }
void* WDL_Malloc(size_t size) { return sHooks.malloc_fn(size); }
void WDL_Free(void* p)
{
  if (p) sHooks.free_fn(p);
}

// ---------------------------------------------------------------- WDL_HeapBuf

WDL_HeapBuf::~WDL_HeapBuf() { WDL_Free(m_buf); }

long long WDL_HeapBuf::AllocSizeFor(int newsize, int granul)
{
  if (newsize <= 0) return 0;
  long long extra = newsize / 2;
  if (extra < granul) extra = granul;
  long long alloc;
  if (granul < 4096)
  {
    alloc = (long long)newsize + extra;
  }
  else
  {
    extra &= ~4095LL;
    if (extra < 4096) extra = 4096;
    if (extra > 0x400000) extra = 0x400000;
    // Block plus a 96-byte allocator header fills whole 4 KiB pages.
    alloc = (((long long)newsize + extra + 96) & ~4095LL) - 96;
  }
  return alloc > 0x7fffffffLL ? -1 : alloc;
}

void* WDL_HeapBuf::Resize(int newsize, bool resizedown)
{
  if (newsize < 0) newsize = 0;

  bool realloc_needed = newsize > m_alloc;
  if (!realloc_needed && resizedown)
  {
    long long threshold = (long long)m_alloc - 4LL * m_granul;
    if (threshold > m_alloc / 2) threshold = m_alloc / 2;
    if (threshold < 1) threshold = 1;
    realloc_needed = newsize < threshold;
  }

  if (!realloc_needed)
  {
    m_size = newsize;
    return Get();
  }

  if (newsize == 0)
  {
    WDL_Free(m_buf);
    m_buf = nullptr;
    m_alloc = m_size = 0;
    return nullptr;
  }

  const long long alloc = AllocSizeFor(newsize, m_granul);
  if (alloc < newsize) return nullptr;  // does not fit a 32-bit size

  void* nb = m_buf ? WDL_Realloc(m_buf, (size_t)alloc) : nullptr;
  if (!nb)
  {
    nb = WDL_Malloc((size_t)alloc);
    if (!nb) return nullptr;
    if (m_buf)
    {
      std::memcpy(nb, m_buf, (size_t)(m_size < newsize ? m_size : newsize));
      WDL_Free(m_buf);
    }
  }
  m_buf = nb;
  m_alloc = (int)alloc;
  m_size = newsize;
  return m_buf;
}
