#include "mutex.h"

#ifdef _WIN32

WDL_Mutex::WDL_Mutex() { InitializeCriticalSection(&m_mutex); }
WDL_Mutex::~WDL_Mutex() { DeleteCriticalSection(&m_mutex); }
void WDL_Mutex::Enter() { EnterCriticalSection(&m_mutex); }
void WDL_Mutex::Leave() { LeaveCriticalSection(&m_mutex); }
bool WDL_Mutex::TryEnter() { return TryEnterCriticalSection(&m_mutex) != 0; }

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
void WDL_Mutex::Enter() { pthread_mutex_lock(&m_mutex); }
void WDL_Mutex::Leave() { pthread_mutex_unlock(&m_mutex); }
bool WDL_Mutex::TryEnter() { return pthread_mutex_trylock(&m_mutex) == 0; }

#endif
