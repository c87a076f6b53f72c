// WDL_HeapBuf: the growable byte buffer under every container.
//
// Growth rule (shared by all containers):
//  - grow when the new size exceeds the allocation, or shrink (when allowed)
//    below min(alloc - 4 * granul, alloc / 2);
//  - allocate new size + max(new size / 2, granul), and for page-sized
//    granularities round so that block + 96-byte allocator header fills
//    whole 4 KiB pages;
//  - on allocation failure nothing changes and the caller sees a null result.
#pragma once

class WDL_HeapBuf
{
public:
  explicit WDL_HeapBuf(int granul = 4096) : m_granul(granul > 0 ? granul : 4096) {}
  ~WDL_HeapBuf();

  WDL_HeapBuf(const WDL_HeapBuf&) = delete;
  WDL_HeapBuf& operator=(const WDL_HeapBuf&) = delete;

  // Returns the buffer, or null when newsize is 0 or the allocation failed
  // (then the old contents and size are kept).
  void* Resize(int newsize, bool resizedown = true);
  void* Get() const { return m_size ? m_buf : nullptr; }
  int GetSize() const { return m_size; }
  int GetAlloc() const { return m_alloc; }
  int GetGranul() const { return m_granul; }
  // Exchanges contents (and granularity) with o: a buffer made outside a
  // lock is swapped in under it.
  void Swap(WDL_HeapBuf& o)
  {
    void* b = m_buf;
    m_buf = o.m_buf;
    o.m_buf = b;
    int t = m_alloc;
    m_alloc = o.m_alloc;
    o.m_alloc = t;
    t = m_size;
    m_size = o.m_size;
    o.m_size = t;
    t = m_granul;
    m_granul = o.m_granul;
    o.m_granul = t;
  }

  // Allocation size the growth rule picks for a new size; -1 when it does
  // not fit a 32-bit size.
  static long long AllocSizeFor(int newsize, int granul);

private:
  void* m_buf = nullptr;
  int m_alloc = 0;
  int m_size = 0;
  int m_granul;
};

// Typed view of a heap buffer, counted in elements of T (T must be trivially
// copyable: elements are moved with memcpy).
template <class T> class WDL_TypedBuf
{
public:
  explicit WDL_TypedBuf(int granul = 4096) : m_hb(granul) {}

  T* Get() const { return static_cast<T*>(m_hb.Get()); }
  int GetSize() const { return m_hb.GetSize() / (int)sizeof(T); }

  // Null when n is 0 or too large, or the allocation failed (size unchanged).
  T* Resize(int n, bool resizedown = true)
  {
    if (n < 0) n = 0;
    if ((long long)n * (long long)sizeof(T) > 0x7fffffffLL) return nullptr;
    return static_cast<T*>(m_hb.Resize(n * (int)sizeof(T), resizedown));
  }

  void Swap(WDL_TypedBuf& o) { m_hb.Swap(o.m_hb); }

  // Appends a copy of val; returns the new element, or null on failure.
  T* Add(const T& val)
  {
    // val may be one of our own elements: copy it before growing moves them.
    const T copy = val;
    const int sz = GetSize();
    T* p = Resize(sz + 1, false);
    if (!p) return nullptr;
    p[sz] = copy;
    return p + sz;
  }

private:
  WDL_HeapBuf m_hb;
};
