// WDL_Mutex: a recursive lock; the thread that holds it may enter again.
#pragma once

#include <atomic>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

class WDL_Mutex
{
public:
  WDL_Mutex();
  ~WDL_Mutex();

  WDL_Mutex(const WDL_Mutex&) = delete;
  WDL_Mutex& operator=(const WDL_Mutex&) = delete;

  void Enter();
  void Leave();
  // True when the lock was taken; never waits.
  bool TryEnter();

  // [any thread] whether the calling thread holds the lock.
  bool HeldByThisThread() const { return m_owner.load(std::memory_order_relaxed) == ThisThread(); }
  // [any thread] an id of the calling thread, never 0. No thread-local
  // storage: in a loaded module its first use may allocate.
  static uintptr_t ThisThread();

private:
  void Entered();
  void Leaving();

#ifdef _WIN32
  CRITICAL_SECTION m_mutex;
#else
  pthread_mutex_t m_mutex;
#endif
  // Written by the holder only; read by anyone asking whether they hold it.
  std::atomic<uintptr_t> m_owner{ 0 };
  int m_depth = 0;
};

// Holds a mutex for the lifetime of the guard; a null mutex is a no-op.
class WDL_MutexLock
{
public:
  explicit WDL_MutexLock(WDL_Mutex* m) : m_m(m)
  {
    if (m_m) m_m->Enter();
  }
  ~WDL_MutexLock()
  {
    if (m_m) m_m->Leave();
  }

  WDL_MutexLock(const WDL_MutexLock&) = delete;
  WDL_MutexLock& operator=(const WDL_MutexLock&) = delete;

private:
  WDL_Mutex* m_m;
};
