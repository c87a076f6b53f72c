// WDL_PtrList: a growable list of pointers to T over one WDL_HeapBuf.
#pragma once

#include "heapbuf.h"

#include <cstring>

template <class T> class WDL_PtrList
{
public:
  explicit WDL_PtrList(int granul = 4096) : m_hb(granul) {}

  T** GetList() const { return static_cast<T**>(m_hb.Get()); }
  int GetSize() const { return m_hb.GetSize() / (int)sizeof(T*); }

  T* Get(int index) const
  {
    T** list = GetList();
    return (list && index >= 0 && index < GetSize()) ? list[index] : nullptr;
  }

  // Returns the new item's index; when the list cannot grow it is left as
  // it was and the old last index is returned.
  int Add(T* item)
  {
    const int sz = GetSize();
    T** list = static_cast<T**>(m_hb.Resize((sz + 1) * (int)sizeof(T*), false));
    if (!list) return sz - 1;
    list[sz] = item;
    return sz;
  }

  int Find(const T* item) const
  {
    T** list = GetList();
    const int sz = GetSize();
    for (int i = 0; i < sz; ++i)
      if (list[i] == item) return i;
    return -1;
  }

  void Delete(int index, bool wantDelete = false)
  {
    T** list = GetList();
    const int sz = GetSize();
    if (!list || index < 0 || index >= sz) return;
    if (wantDelete) delete list[index];
    std::memmove(list + index, list + index + 1, (size_t)(sz - index - 1) * sizeof(T*));
    m_hb.Resize((sz - 1) * (int)sizeof(T*), false);
  }

  // Empties the list, deleting the items last to first when asked.
  void Empty(bool wantDelete = false)
  {
    if (wantDelete)
    {
      for (int i = GetSize() - 1; i >= 0; --i)
      {
        T* item = Get(i);
        m_hb.Resize(i * (int)sizeof(T*), false);
        delete item;
      }
    }
    m_hb.Resize(0);
  }

private:
  WDL_HeapBuf m_hb;
};
