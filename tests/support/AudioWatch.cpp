// Sections:
//   1. Per-thread counters and the allowed locks
//   2. Heap (malloc family, new and delete)
//   3. Blocking calls (locks, waits, sleeps, file I/O)
//   4. Forced failures (allocations, thread starts)
#include "AudioWatch.h"

#if defined(__linux__)
#include <sys/resource.h>
#endif

#include <atomic>
#include <cstdint>
#include <cstdio>

#if defined(__linux__) && defined(__GLIBC__) && !defined(QUORVEX_NO_INTERPOSER) &&                           \
    !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define STRESS_INTERPOSE 1
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#undef STRESS_INTERPOSE
#endif
#endif

// Thread starts are replaced in AddressSanitizer builds too: its own
// pthread_create is the next one after ours.
#if defined(__linux__) && defined(__GLIBC__) && !defined(QUORVEX_NO_INTERPOSER) &&                           \
    !defined(__SANITIZE_THREAD__)
#define STRESS_INTERPOSE_THREADS 1
#endif
#if defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#undef STRESS_INTERPOSE_THREADS
#endif
#endif

#if defined(STRESS_INTERPOSE) || defined(STRESS_INTERPOSE_THREADS)
#include <dlfcn.h>
#include <errno.h>
#include <link.h>
#include <pthread.h>
#endif

#if defined(STRESS_INTERPOSE)
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <new>
#endif

namespace stress
{

// ===========================================================================
// 1. Per-thread counters and the allowed locks
// ===========================================================================

namespace
{

// Plain data only: the heap functions read it before any constructor runs.
struct ThreadState
{
  bool watching;
  bool probing;
  long allocs, frees, lockWaits, sleeps, fileIO;
  long instanceWaits, waitsOver100us;
  long long longestWaitNs;
  long faultsAtBegin;
  const void* probed;
  int probedCount;
  // Forced failures: the counted allocation that fails (0: none), those
  // counted so far, thread starts still to fail.
  long failAt, failSeen;
  int failStarts;
};
thread_local ThreadState tState;

#if defined(STRESS_INTERPOSE)
// Code whose malloc-family calls count for FailAllocation: [lo, hi).
std::atomic<uintptr_t> gModuleLo{ 0 }, gModuleHi{ 0 };
// Heap blocks handed out and not yet freed, process-wide.
std::atomic<long> gLive{ 0 };
#endif

const int kMaxAllowed = 64;
std::atomic<const void*> gAllowed[kMaxAllowed];
std::atomic<int> gAllowedCount{ 0 };

// Windows has no per-thread count, so there the watch sees no faults.
long ThreadFaults()
{
#if defined(__linux__)
  struct rusage u;
  if (getrusage(RUSAGE_THREAD, &u) != 0) return 0;
  return u.ru_minflt + u.ru_majflt;
#else
  return 0;
#endif
}

}  // namespace

AudioCounts& AudioCounts::operator+=(const AudioCounts& o)
{
  allocs += o.allocs;
  frees += o.frees;
  faults += o.faults;
  lockWaits += o.lockWaits;
  sleeps += o.sleeps;
  fileIO += o.fileIO;
  instanceWaits += o.instanceWaits;
  waitsOver100us += o.waitsOver100us;
  if (o.longestWaitNs > longestWaitNs) longestWaitNs = o.longestWaitNs;
  return *this;
}

std::string AudioCounts::Text() const
{
  char text[256];
  std::snprintf(text, sizeof(text),
                "%ld allocations, %ld frees, %ld page faults, %ld lock waits, %ld sleeps, %ld file I/O; "
                "%ld instance-lock waits, %ld waits over 100 us, longest wait %.3f ms",
                allocs, frees, faults, lockWaits, sleeps, fileIO, instanceWaits, waitsOver100us,
                (double)longestWaitNs * 1e-6);
  return text;
}

#if defined(STRESS_INTERPOSE)
bool InterposerActive() { return true; }
#else
bool InterposerActive() { return false; }
#endif

void WatchBegin()
{
  ThreadState& s = tState;
  s.allocs = s.frees = s.lockWaits = s.sleeps = s.fileIO = 0;
  s.instanceWaits = s.waitsOver100us = 0;
  s.longestWaitNs = 0;
  s.faultsAtBegin = ThreadFaults();
  s.watching = true;
}

AudioCounts WatchEnd()
{
  ThreadState& s = tState;
  s.watching = false;
  AudioCounts c;
  c.faults = ThreadFaults() - s.faultsAtBegin;
  c.allocs = s.allocs;
  c.frees = s.frees;
  c.lockWaits = s.lockWaits;
  c.sleeps = s.sleeps;
  c.fileIO = s.fileIO;
  c.instanceWaits = s.instanceWaits;
  c.waitsOver100us = s.waitsOver100us;
  c.longestWaitNs = s.longestWaitNs;
  return c;
}

void AllowLock(const void* mutex)
{
  if (!mutex) return;
  const int n = gAllowedCount.load();
  for (int i = 0; i < n && i < kMaxAllowed; ++i)
    if (gAllowed[i].load() == mutex) return;
  const int slot = gAllowedCount.fetch_add(1);
  if (slot < kMaxAllowed) gAllowed[slot].store(mutex);
}

void ProbeLocksBegin()
{
  tState.probed = nullptr;
  tState.probedCount = 0;
  tState.probing = true;
}

const void* ProbeLocksEnd()
{
  tState.probing = false;
  return tState.probedCount == 1 ? tState.probed : nullptr;
}

#if defined(STRESS_INTERPOSE) || defined(STRESS_INTERPOSE_THREADS)
namespace
{

// The next definition of a function, looked up once. No function-local
// statics: their guards may lock a mutex, which would come back here.
template <class F> F Next(std::atomic<void*>& cache, const char* name)
{
  void* f = cache.load(std::memory_order_acquire);
  if (!f)
  {
    f = dlsym(RTLD_NEXT, name);
    cache.store(f, std::memory_order_release);
  }
  return reinterpret_cast<F>(f);
}

#define STRESS_NEXT(name, ...)                                                                               \
  static std::atomic<void*> name##Cache;                                                                     \
  using Fn = __VA_ARGS__;                                                                                    \
  Fn real = stress::Next<Fn>(name##Cache, #name)

}  // namespace
#endif

#if defined(STRESS_INTERPOSE)
namespace
{

// Whether this allocation is the one FailAllocation asked for; counts it.
// caller null: an operator new, which counts wherever it is called from.
inline bool FailHere(const void* caller)
{
  ThreadState& s = tState;
  if (!s.failAt) return false;
  if (caller)
  {
    const uintptr_t a = (uintptr_t)caller;
    if (a < gModuleLo.load(std::memory_order_relaxed) || a >= gModuleHi.load(std::memory_order_relaxed))
      return false;
  }
  return ++s.failSeen == s.failAt;
}

bool Allowed(const void* mutex)
{
  const int n = gAllowedCount.load();
  for (int i = 0; i < n && i < kMaxAllowed; ++i)
    if (gAllowed[i].load() == mutex) return true;
  return false;
}

void OnLock(const void* mutex)
{
  ThreadState& s = tState;
  if (s.probing && mutex != s.probed)
  {
    s.probed = mutex;
    ++s.probedCount;
  }
  if (s.watching && !Allowed(mutex)) ++s.lockWaits;
}

long long MonotonicNs()
{
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

// Locks a mutex as lock(m) would; while watching, a lock that finds the
// mutex taken is timed. trylock is not replaced here, so it cannot recurse.
template <class Lock> int TimedLock(pthread_mutex_t* m, Lock lock)
{
  OnLock(m);
  if (!tState.watching) return lock();
  const int tried = pthread_mutex_trylock(m);
  if (tried != EBUSY) return tried;  // taken (also a recursive re-entry), or an error lock() gives too
  const long long start = MonotonicNs();
  const int result = lock();
  const long long waited = MonotonicNs() - start;
  ThreadState& s = tState;
  if (Allowed(m)) ++s.instanceWaits;
  if (waited > kLongWaitNs) ++s.waitsOver100us;
  if (waited > s.longestWaitNs) s.longestWaitNs = waited;
  return result;
}

inline void CountWait()
{
  if (tState.watching) ++tState.lockWaits;
}
inline void CountSleep()
{
  if (tState.watching) ++tState.sleeps;
}
inline void CountFile()
{
  if (tState.watching) ++tState.fileIO;
}

// A descriptor that may make the caller wait: a regular file, or anything
// without O_NONBLOCK. Writing to a non-blocking pipe is how threads are
// woken without waiting, which is allowed.
void CountDescriptor(int fd)
{
  if (!tState.watching) return;
  struct stat st;
  const int flags = fcntl(fd, F_GETFL);
  if ((fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) || flags < 0 || !(flags & O_NONBLOCK)) ++tState.fileIO;
}

}  // namespace
#endif

}  // namespace stress

#if defined(STRESS_INTERPOSE)

using stress::tState;

// ===========================================================================
// 2. Heap
// ===========================================================================

extern "C"
{
  void* __libc_malloc(size_t);
  void* __libc_calloc(size_t, size_t);
  void* __libc_realloc(void*, size_t);
  void __libc_free(void*);
  void* __libc_memalign(size_t, size_t);
}  // extern "C"

namespace
{

void* CountedMalloc(size_t n, const void* caller)
{
  if (tState.watching) ++tState.allocs;
  if (stress::FailHere(caller)) return nullptr;
  void* p = __libc_malloc(n);
  if (p) stress::gLive.fetch_add(1, std::memory_order_relaxed);
  return p;
}

void* CountedMemalign(size_t align, size_t n, const void* caller)
{
  if (tState.watching) ++tState.allocs;
  if (stress::FailHere(caller)) return nullptr;
  void* p = __libc_memalign(align, n);
  if (p) stress::gLive.fetch_add(1, std::memory_order_relaxed);
  return p;
}

}  // namespace

extern "C"
{

  void* malloc(size_t n) { return CountedMalloc(n, __builtin_return_address(0)); }

  void* calloc(size_t n, size_t size)
  {
    if (tState.watching) ++tState.allocs;
    if (stress::FailHere(__builtin_return_address(0))) return nullptr;
    void* p = __libc_calloc(n, size);
    if (p) stress::gLive.fetch_add(1, std::memory_order_relaxed);
    return p;
  }

  void* realloc(void* p, size_t n)
  {
    if (tState.watching) ++tState.allocs;
    // A failed realloc keeps the block, as glibc's does.
    if (stress::FailHere(__builtin_return_address(0))) return nullptr;
    void* q = __libc_realloc(p, n);
    if (!p && q) stress::gLive.fetch_add(1, std::memory_order_relaxed);
    if (p && !q && n == 0) stress::gLive.fetch_sub(1, std::memory_order_relaxed);
    return q;
  }

  void free(void* p)
  {
    if (p && tState.watching) ++tState.frees;
    if (p) stress::gLive.fetch_sub(1, std::memory_order_relaxed);
    __libc_free(p);
  }

  void* memalign(size_t align, size_t n) { return CountedMemalign(align, n, __builtin_return_address(0)); }

  void* aligned_alloc(size_t align, size_t n)
  {
    return CountedMemalign(align, n, __builtin_return_address(0));
  }

  int posix_memalign(void** out, size_t align, size_t n)
  {
    if (align < sizeof(void*) || (align & (align - 1))) return 22;  // EINVAL
    void* p = CountedMemalign(align, n, __builtin_return_address(0));
    if (!p) return 12;  // ENOMEM
    *out = p;
    return 0;
  }

  void* valloc(size_t n)
  {
    return CountedMemalign((size_t)sysconf(_SC_PAGESIZE), n, __builtin_return_address(0));
  }
}  // extern "C"

// Through malloc and free, so each is counted once; an operator new
// counts for FailAllocation wherever it is called from.
void* operator new(size_t n)
{
  if (stress::FailHere(nullptr)) throw std::bad_alloc();
  void* p = malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept
{
  return stress::FailHere(nullptr) ? nullptr : malloc(n ? n : 1);
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept
{
  return stress::FailHere(nullptr) ? nullptr : malloc(n ? n : 1);
}
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { free(p); }

// ===========================================================================
// 3. Blocking calls
// ===========================================================================

extern "C"
{

  int pthread_mutex_lock(pthread_mutex_t* m)
  {
    STRESS_NEXT(pthread_mutex_lock, int (*)(pthread_mutex_t*));
    return stress::TimedLock(m, [&] { return real(m); });
  }

  int pthread_mutex_timedlock(pthread_mutex_t* m, const struct timespec* t)
  {
    STRESS_NEXT(pthread_mutex_timedlock, int (*)(pthread_mutex_t*, const struct timespec*));
    return stress::TimedLock(m, [&] { return real(m, t); });
  }

// The calls that only count: each counts as what it is, then runs the next
// definition with the same arguments.
#define STRESS_COUNTED(ret, name, params, args, count)                                                       \
  ret name params                                                                                            \
  {                                                                                                          \
    STRESS_NEXT(name, ret(*) params);                                                                        \
    count;                                                                                                   \
    return real args;                                                                                        \
  }

  STRESS_COUNTED(int, pthread_cond_wait, (pthread_cond_t * c, pthread_mutex_t* m), (c, m),
                 stress::CountWait());
  STRESS_COUNTED(int, pthread_cond_timedwait,
                 (pthread_cond_t * c, pthread_mutex_t* m, const struct timespec* t), (c, m, t),
                 stress::CountWait());
  STRESS_COUNTED(int, pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l), stress::CountWait());
  STRESS_COUNTED(int, pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l), stress::CountWait());
  STRESS_COUNTED(int, pthread_join, (pthread_t t, void** result), (t, result), stress::CountWait());
  STRESS_COUNTED(int, sem_wait, (sem_t * s), (s), stress::CountWait());
  STRESS_COUNTED(int, sem_timedwait, (sem_t * s, const struct timespec* t), (s, t), stress::CountWait());

  STRESS_COUNTED(int, nanosleep, (const struct timespec* t, struct timespec* rest), (t, rest),
                 stress::CountSleep());
  STRESS_COUNTED(int, clock_nanosleep,
                 (clockid_t clock, int flags, const struct timespec* t, struct timespec* rest),
                 (clock, flags, t, rest), stress::CountSleep());
  STRESS_COUNTED(int, usleep, (useconds_t us), (us), stress::CountSleep());
  STRESS_COUNTED(unsigned int, sleep, (unsigned int s), (s), stress::CountSleep());

  // Anonymous mappings are allocations too (large buffers come straight
  // from them); glibc's own calls do not come through here.
  void* mmap(void* addr, size_t len, int prot, int flags, int fd, off_t offset)
  {
    STRESS_NEXT(mmap, void* (*)(void*, size_t, int, int, int, off_t));
    if (flags & MAP_ANONYMOUS)
    {
      if (tState.watching) ++tState.allocs;
      if (stress::FailHere(__builtin_return_address(0)))
      {
        errno = ENOMEM;
        return MAP_FAILED;
      }
    }
    return real(addr, len, prot, flags, fd, offset);
  }

  int munmap(void* addr, size_t len)
  {
    STRESS_NEXT(munmap, int (*)(void*, size_t));
    if (tState.watching) ++tState.frees;
    return real(addr, len);
  }

  int poll(struct pollfd* fds, nfds_t n, int timeout)
  {
    STRESS_NEXT(poll, int (*)(struct pollfd*, nfds_t, int));
    if (timeout != 0) stress::CountSleep();
    return real(fds, n, timeout);
  }

  int select(int n, fd_set* r, fd_set* w, fd_set* e, struct timeval* t)
  {
    STRESS_NEXT(select, int (*)(int, fd_set*, fd_set*, fd_set*, struct timeval*));
    if (!t || t->tv_sec || t->tv_usec) stress::CountSleep();
    return real(n, r, w, e, t);
  }

// The open family: the mode argument is there only when the file may be
// created. flags is the last named parameter of each.
#define STRESS_OPEN(name, params, args)                                                                      \
  int name params                                                                                            \
  {                                                                                                          \
    STRESS_NEXT(name, int(*) params);                                                                        \
    va_list modeArg;                                                                                         \
    va_start(modeArg, flags);                                                                                \
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(modeArg, int) : 0;                  \
    va_end(modeArg);                                                                                         \
    stress::CountFile();                                                                                     \
    return real args;                                                                                        \
  }

  STRESS_OPEN(open, (const char* path, int flags, ...), (path, flags, mode));
  STRESS_OPEN(open64, (const char* path, int flags, ...), (path, flags, mode));
  STRESS_OPEN(openat, (int dir, const char* path, int flags, ...), (dir, path, flags, mode));

  STRESS_COUNTED(FILE*, fopen, (const char* path, const char* mode), (path, mode), stress::CountFile());
  STRESS_COUNTED(FILE*, fopen64, (const char* path, const char* mode), (path, mode), stress::CountFile());
  STRESS_COUNTED(size_t, fwrite, (const void* p, size_t size, size_t n, FILE* f), (p, size, n, f),
                 stress::CountFile());
  STRESS_COUNTED(size_t, fread, (void* p, size_t size, size_t n, FILE* f), (p, size, n, f),
                 stress::CountFile());
  STRESS_COUNTED(ssize_t, read, (int fd, void* p, size_t n), (fd, p, n), stress::CountDescriptor(fd));
  STRESS_COUNTED(ssize_t, write, (int fd, const void* p, size_t n), (fd, p, n), stress::CountDescriptor(fd));
  STRESS_COUNTED(ssize_t, pread64, (int fd, void* p, size_t n, off_t at), (fd, p, n, at),
                 stress::CountFile());
  STRESS_COUNTED(ssize_t, pwrite64, (int fd, const void* p, size_t n, off_t at), (fd, p, n, at),
                 stress::CountFile());
  STRESS_COUNTED(int, fsync, (int fd), (fd), stress::CountFile());

}  // extern "C"

#endif  // STRESS_INTERPOSE

// ===========================================================================
// 4. Forced failures
// ===========================================================================

namespace stress
{

#if defined(STRESS_INTERPOSE) && defined(__linux__)
namespace
{

struct ModuleSearch
{
  uintptr_t address, lo, hi;
};

int FindModule(struct dl_phdr_info* info, size_t, void* data)
{
  ModuleSearch* m = static_cast<ModuleSearch*>(data);
  uintptr_t lo = UINTPTR_MAX, hi = 0;
  for (int i = 0; i < info->dlpi_phnum; ++i)
  {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD) continue;
    const uintptr_t start = info->dlpi_addr + ph.p_vaddr;
    if (start < lo) lo = start;
    if (start + ph.p_memsz > hi) hi = start + ph.p_memsz;
  }
  if (m->address < lo || m->address >= hi) return 0;
  m->lo = lo;
  m->hi = hi;
  return 1;
}

}  // namespace

void CountAllocationsFrom(const void* address)
{
  ModuleSearch m = { (uintptr_t)address, 0, 0 };
  if (!address || !dl_iterate_phdr(FindModule, &m)) m.lo = m.hi = 0;
  gModuleLo.store(m.lo);
  gModuleHi.store(m.hi);
}

bool AllocationsFail() { return true; }
long LiveAllocations() { return gLive.load(); }
#else
void CountAllocationsFrom(const void*) {}
bool AllocationsFail() { return false; }
long LiveAllocations() { return 0; }
#endif

void FailAllocation(long n)
{
  tState.failAt = n > 0 ? n : 0;
  tState.failSeen = 0;
}

long AllocationsCounted() { return tState.failSeen; }

#if defined(STRESS_INTERPOSE_THREADS)
bool ThreadStartsFail() { return true; }
#else
bool ThreadStartsFail() { return false; }
#endif

void FailThreadStarts(int n) { tState.failStarts = n > 0 ? n : 0; }

}  // namespace stress

#if defined(STRESS_INTERPOSE_THREADS)
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg)
{
  STRESS_NEXT(pthread_create, int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*));
  if (stress::tState.failStarts > 0)
  {
    --stress::tState.failStarts;
    return EAGAIN;
  }
  return real(thread, attr, start, arg);
}
#endif
