// WDL_Mutex: a recursive lock; the thread that holds it may enter again.
#pragma once

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

private:
#ifdef _WIN32
  CRITICAL_SECTION m_mutex;
#else
  pthread_mutex_t m_mutex;
#endif
};

// Holds a mutex for the lifetime of the guard; a null mutex is a no-op.
class WDL_MutexLock
{
public:
  explicit WDL_MutexLock(WDL_Mutex* m) : m_m(m) { if (m_m) m_m->Enter(); }
  ~WDL_MutexLock() { if (m_m) m_m->Leave(); }

  WDL_MutexLock(const WDL_MutexLock&) = delete;
  WDL_MutexLock& operator=(const WDL_MutexLock&) = delete;

private:
  WDL_Mutex* m_m;
};
