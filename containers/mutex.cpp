#include "mutex.h"

uintptr_t WDL_Mutex::ThisThread()
{
#ifdef _WIN32
  return (uintptr_t)GetCurrentThreadId();
#else
  return (uintptr_t)pthread_self();
#endif
}

void WDL_Mutex::Entered()
{
  if (m_depth++ == 0) m_owner.store(ThisThread(), std::memory_order_relaxed);
}

void WDL_Mutex::Leaving()
{
  if (--m_depth == 0) m_owner.store(0, std::memory_order_relaxed);
}

#ifdef _WIN32

WDL_Mutex::WDL_Mutex() { InitializeCriticalSection(&m_mutex); }
WDL_Mutex::~WDL_Mutex() { DeleteCriticalSection(&m_mutex); }
void WDL_Mutex::Enter()
{
  EnterCriticalSection(&m_mutex);
  Entered();
}
void WDL_Mutex::Leave()
{
  Leaving();
  LeaveCriticalSection(&m_mutex);
}
bool WDL_Mutex::TryEnter()
{
  if (!TryEnterCriticalSection(&m_mutex)) return false;
  Entered();
  return true;
}

#else

WDL_Mutex::WDL_Mutex()
{
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&m_mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

WDL_Mutex::~WDL_Mutex() { pthread_mutex_destroy(&m_mutex); }
void WDL_Mutex::Enter()
{
  pthread_mutex_lock(&m_mutex);
  Entered();
}
void WDL_Mutex::Leave()
{
  Leaving();
  pthread_mutex_unlock(&m_mutex);
}
bool WDL_Mutex::TryEnter()
{
  if (pthread_mutex_trylock(&m_mutex) != 0) return false;
  Entered();
  return true;
}

#endif
