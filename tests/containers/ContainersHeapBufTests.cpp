// Heap buffer growth rule, typed buffers, pointer lists, exhausted heap.
#include "ScopedFailingHeap.h"
#include "heapbuf.h"
#include "ptrlist.h"
#include "wdl_alloc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(ContainersHeapBuf, GrowthRuleFigures)
{
  // Page granularity: block plus 96-byte header fills whole pages.
  WDL_HeapBuf page(4096);
  ASSERT_NE(page.Resize(8), nullptr);
  EXPECT_EQ(page.GetSize(), 8);
  EXPECT_EQ(page.GetAlloc(), 4000);
  ASSERT_NE(page.Resize(10000), nullptr);
  EXPECT_EQ(page.GetAlloc(), 12192);                               // extra 5000 rounds down to 4096
  EXPECT_EQ(WDL_HeapBuf::AllocSizeFor(20000000, 4096), 24190880);  // extra clamped to 4 MiB

  // Small granularity: new size + max(new size / 2, granul).
  WDL_HeapBuf small(128);
  ASSERT_NE(small.Resize(8), nullptr);
  EXPECT_EQ(small.GetAlloc(), 136);
  ASSERT_NE(small.Resize(1000), nullptr);
  EXPECT_EQ(small.GetAlloc(), 1500);

  // Growing inside the allocation keeps the block and its bytes.
  std::memset(small.Get(), 0x5a, 1000);
  void* before = small.Get();
  ASSERT_EQ(small.Resize(1400), before);
  EXPECT_EQ(small.GetAlloc(), 1500);

  // Shrink threshold min(1500 - 4 * 128, 1500 / 2) = 750.
  small.Resize(750);
  EXPECT_EQ(small.GetAlloc(), 1500);
  small.Resize(749);
  EXPECT_EQ(small.GetAlloc(), 749 + 374);
  EXPECT_EQ(static_cast<unsigned char*>(small.Get())[748], 0x5a);
  small.Resize(10, false);  // shrinking not allowed: only the size changes
  EXPECT_EQ(small.GetAlloc(), 1123);
  EXPECT_EQ(small.GetSize(), 10);

  // Size 0 frees; a negative size counts as 0.
  EXPECT_EQ(small.Resize(0), nullptr);
  EXPECT_EQ(small.GetAlloc(), 0);
  EXPECT_EQ(page.Resize(-5), nullptr);
  EXPECT_EQ(page.GetSize(), 0);
  EXPECT_EQ(page.GetAlloc(), 0);
  EXPECT_EQ(WDL_HeapBuf::AllocSizeFor(-5, 4096), 0);
}

TEST(ContainersHeapBuf, TypedBufCountsElements)
{
  WDL_TypedBuf<double> buf(128);
  ASSERT_NE(buf.Resize(3), nullptr);
  buf.Get()[2] = 2.5;
  double* last = buf.Add(7.25);
  ASSERT_EQ(last, buf.Get() + 3);
  EXPECT_EQ(buf.GetSize(), 4);
  EXPECT_EQ(buf.Get()[2], 2.5);
  EXPECT_EQ(*last, 7.25);
  // A count whose byte size overflows 32 bits is refused, not wrapped.
  EXPECT_EQ(buf.Resize(0x20000000), nullptr);
  EXPECT_EQ(buf.GetSize(), 4);
}

TEST(ContainersHeapBuf, TypedBufAddsItsOwnElementWhileMoving)
{
  // A heap that never grows a block in place: every growth moves the
  // elements and frees the old block before the new element is stored.
  static const WDL_AllocHooks kMoving = {
    [](void*, size_t) -> void* { return nullptr; },
    [](size_t n) -> void* { return std::malloc(n); },
    [](void* p) { std::free(p); },
  };
  WDL_SetAllocHooks(&kMoving);
  struct Wide
  {
    double a, b, c;
  };
  WDL_TypedBuf<Wide> buf(16);
  buf.Add({ 1.5, 2.5, 3.5 });
  for (int i = 0; i < 200; ++i) ASSERT_NE(buf.Add(buf.Get()[0]), nullptr) << i;
  WDL_SetAllocHooks(nullptr);
  for (int i = 0; i < buf.GetSize(); ++i)
  {
    ASSERT_EQ(buf.Get()[i].a, 1.5) << i;
    ASSERT_EQ(buf.Get()[i].c, 3.5) << i;
  }
}

namespace
{
struct Tracked
{
  int id;
  std::vector<int>* log;
  ~Tracked() { log->push_back(id); }
};
}  // namespace

TEST(ContainersPtrList, IndexingFindDeleteEmpty)
{
  std::vector<int> deleted;
  WDL_PtrList<Tracked> list;
  EXPECT_EQ(list.Get(0), nullptr);
  Tracked* items[4];
  for (int i = 0; i < 4; ++i) EXPECT_EQ(list.Add(items[i] = new Tracked{ i, &deleted }), i);
  EXPECT_EQ(list.Get(-1), nullptr);
  EXPECT_EQ(list.Get(4), nullptr);
  EXPECT_EQ(list.Get(3), items[3]);
  EXPECT_EQ(list.Find(items[2]), 2);

  // Later items move down; out-of-range deletes are ignored.
  list.Delete(1, true);
  EXPECT_EQ(deleted, std::vector<int>{ 1 });
  EXPECT_EQ(list.Get(1), items[2]);
  EXPECT_EQ(list.Find(items[1]), -1);
  list.Delete(-1, true);
  list.Delete(3, true);
  EXPECT_EQ(list.GetSize(), 3);

  list.Delete(0);  // not deleted: the owner still has it
  EXPECT_EQ(deleted.size(), 1u);
  delete items[0];

  list.Add(new Tracked{ 9, &deleted });
  deleted.clear();
  list.Empty(true);
  EXPECT_EQ(deleted, (std::vector<int>{ 9, 3, 2 }));
  EXPECT_EQ(list.GetSize(), 0);
}

TEST(ContainersHeapBuf, FailedAllocationLeavesContainersUnchanged)
{
  WDL_HeapBuf hb(4096);
  std::memcpy(hb.Resize(8), "abcdefg", 8);
  WDL_HeapBuf small(128);
  small.Resize(1000);
  WDL_TypedBuf<int> typed(16);
  typed.Resize(4);  // allocates 16 + 16 bytes, which 8 ints then fill
  typed.Resize(8);
  for (int i = 0; i < 8; ++i) typed.Get()[i] = i;
  // 4000 bytes hold 500 pointers; the 501st needs a new block.
  WDL_PtrList<int> full, empty;
  static int dummy;
  for (int i = 0; i < 500; ++i) full.Add(&dummy);

  {
    ScopedFailingHeap failing;
    EXPECT_EQ(hb.Resize(100000), nullptr);
    EXPECT_EQ(small.Resize(10), nullptr);  // a shrink that reallocates fails too
    EXPECT_EQ(typed.Add(42), nullptr);
    EXPECT_EQ(full.Add(&dummy), 499);
    EXPECT_EQ(empty.Add(&dummy), -1);
  }

  EXPECT_EQ(hb.GetSize(), 8);
  EXPECT_EQ(hb.GetAlloc(), 4000);
  EXPECT_STREQ(static_cast<char*>(hb.Get()), "abcdefg");
  EXPECT_EQ(small.GetSize(), 1000);
  EXPECT_EQ(small.GetAlloc(), 1500);
  ASSERT_EQ(typed.GetSize(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(typed.Get()[i], i);
  EXPECT_EQ(full.GetSize(), 500);
  EXPECT_EQ(empty.GetSize(), 0);

  // When only in-place growth fails, a fresh block takes the old bytes.
  static const WDL_AllocHooks kNoRealloc = {
    [](void*, size_t) -> void* { return nullptr; },
    [](size_t n) { return std::malloc(n); },
    [](void* p) { std::free(p); },
  };
  WDL_SetAllocHooks(&kNoRealloc);
  char* grown = static_cast<char*>(hb.Resize(100000));
  WDL_SetAllocHooks(nullptr);
  ASSERT_NE(grown, nullptr);
  EXPECT_STREQ(grown, "abcdefg");
}
