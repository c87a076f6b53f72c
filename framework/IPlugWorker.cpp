// IPlugWorker
//
// Contents:
//   - process-wide state and the platform's locks
//   - the thread: starting, stopping, waking, its loop
//   - attaching, detaching and posting jobs
#include "IPlugWorker.h"

#include "IPlugBoundary.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>
#endif

static_assert(std::atomic<uint64_t>::is_always_lock_free, "posting must not take a hidden lock");

// ================================================================ process-wide state

// Nothing here has a destructor: a host that leaks an instance keeps the
// thread running while static destructors run.
namespace
{

#ifdef _WIN32
typedef SRWLOCK Lock;
#define IPLUG_WORKER_LOCK_INIT SRWLOCK_INIT
CONDITION_VARIABLE gDone = CONDITION_VARIABLE_INIT;
void Enter(Lock* lock) { AcquireSRWLockExclusive(lock); }
void Leave(Lock* lock) { ReleaseSRWLockExclusive(lock); }
void WaitDone(Lock* lock) { SleepConditionVariableSRW(&gDone, lock, INFINITE, 0); }
void SignalDone() { WakeAllConditionVariable(&gDone); }
void YieldThread() { SwitchToThread(); }
#else
typedef pthread_mutex_t Lock;
#define IPLUG_WORKER_LOCK_INIT PTHREAD_MUTEX_INITIALIZER
pthread_cond_t gDone = PTHREAD_COND_INITIALIZER;
void Enter(Lock* lock) { pthread_mutex_lock(lock); }
void Leave(Lock* lock) { pthread_mutex_unlock(lock); }
void WaitDone(Lock* lock) { pthread_cond_wait(&gDone, lock); }
void SignalDone() { pthread_cond_broadcast(&gDone); }
void YieldThread() { sched_yield(); }
#endif

class Locked
{
public:
  explicit Locked(Lock* lock) : mLock(lock) { Enter(mLock); }
  ~Locked() { Leave(mLock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

private:
  Lock* mLock;
};

// Held while the thread starts or stops and the attached count changes;
// never taken by the thread itself, so joining under it is safe.
Lock gLifeLock = IPLUG_WORKER_LOCK_INIT;
int gUsers = 0;

// The job list, the running job, the stop request. Held for a few
// pointer moves only; a job runs without it.
Lock gLock = IPLUG_WORKER_LOCK_INIT;
IPlugWorkerJob* gJobs = nullptr;
IPlugWorkerJob* gRunningJob = nullptr;
int gWaitingDetaches = 0;
bool gStop = false;

// The next post's place in the order.
std::atomic<uint64_t> gNextTicket{ 1 };
std::atomic<bool> gThreadRuns{ false };

// The thread and its wake-up, under gLifeLock. Post reads the wake-up only
// for an attached job, which keeps it open.
#ifdef _WIN32
HANDLE gThread = nullptr;
HANDLE gWakeEvent = nullptr;  // auto-reset
#else
pthread_t gThread;
int gPipe[2] = { -1, -1 };  // a byte written wakes the thread
#endif

}  // namespace

// ================================================================ the thread

namespace
{

// [any thread, never blocks] a wake-up pending already is as good as a new one.
void Wake()
{
#ifdef _WIN32
  SetEvent(gWakeEvent);
#else
  const char b = 1;
  if (write(gPipe[1], &b, 1) < 0)
  {
  }  // full: a wake-up is pending anyway
#endif
}

// [worker thread] false when the thread is to end.
bool WaitForWake()
{
#ifdef _WIN32
  return WaitForSingleObject(gWakeEvent, INFINITE) == WAIT_OBJECT_0;
#else
  char buf[64];
  for (;;)
  {
    const ssize_t n = read(gPipe[0], buf, sizeof(buf));
    if (n > 0) return true;
    if (n == 0) return false;
    // Otherwise interrupted: wait again.
  }
#endif
}

// [worker thread, gLock] the attached job posted first, claimed: a post
// from now on runs it again, after the ones posted before that.
IPlugWorkerJob* ClaimNextJob()
{
  IPlugWorkerJob* next = nullptr;
  uint64_t first = 0;
  for (IPlugWorkerJob* job = gJobs; job; job = job->mNext)
  {
    const uint64_t posted = job->mPosted.load();
    if (posted && (!next || posted < first))
    {
      next = job;
      first = posted;
    }
  }
  // Takes what the posts wrote before posting along with the claim.
  if (next) next->mPosted.exchange(0);
  return next;
}

void Loop()
{
  while (WaitForWake())
  {
    Locked lock(&gLock);
    if (gStop) return;
    while (IPlugWorkerJob* job = ClaimNextJob())
    {
      gRunningJob = job;
      Leave(&gLock);
      // A job that throws is over; the next one runs as usual.
      CatchAtBoundary([job] { job->mRun(job->mOwner); });
      Enter(&gLock);
      gRunningJob = nullptr;
      SignalDone();
    }
    if (gStop) return;
  }
}

#ifdef _WIN32
DWORD WINAPI ThreadProc(LPVOID)
{
  CatchAtBoundary([] { Loop(); });
  return 0;
}
#else
void* ThreadProc(void*)
{
  CatchAtBoundary([] { Loop(); });
  return nullptr;
}
#endif

// [gLifeLock, no thread running]
bool StartThread()
{
  {
    Locked lock(&gLock);
    gStop = false;
  }
#ifdef _WIN32
  gWakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!gWakeEvent) return false;
  gThread = CreateThread(nullptr, 0, ThreadProc, nullptr, 0, nullptr);
  if (!gThread)
  {
    CloseHandle(gWakeEvent);
    gWakeEvent = nullptr;
    return false;
  }
#else
  if (pipe(gPipe) != 0)
  {
    gPipe[0] = gPipe[1] = -1;
    return false;
  }
  // The writing end never blocks: a full pipe already means "wake up".
  fcntl(gPipe[1], F_SETFL, fcntl(gPipe[1], F_GETFL) | O_NONBLOCK);
  // Processes the host starts must not inherit them.
  fcntl(gPipe[0], F_SETFD, FD_CLOEXEC);
  fcntl(gPipe[1], F_SETFD, FD_CLOEXEC);
  if (pthread_create(&gThread, nullptr, ThreadProc, nullptr) != 0)
  {
    close(gPipe[0]);
    close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
    return false;
  }
#endif
  gThreadRuns = true;
  return true;
}

// [gLifeLock, no job attached or running]
void StopThread()
{
  {
    Locked lock(&gLock);
    gStop = true;
  }
  Wake();
#ifdef _WIN32
  WaitForSingleObject(gThread, INFINITE);
  CloseHandle(gThread);
  CloseHandle(gWakeEvent);
  gThread = gWakeEvent = nullptr;
#else
  pthread_join(gThread, nullptr);
  close(gPipe[0]);
  close(gPipe[1]);
  gPipe[0] = gPipe[1] = -1;
#endif
  gThreadRuns = false;
}

}  // namespace

// ================================================================ jobs

bool IPlugWorker::Attach(IPlugWorkerJob* job)
{
  if (!job) return false;
  Locked life(&gLifeLock);
  if (job->mAttached.load()) return true;
  if (gUsers == 0 && !StartThread()) return false;
  ++gUsers;
  {
    Locked lock(&gLock);
    job->mPosted.store(0);
    job->mPrev = nullptr;
    job->mNext = gJobs;
    if (gJobs) gJobs->mPrev = job;
    gJobs = job;
  }
  job->mAttached.store(true);
  return true;
}

void IPlugWorker::Detach(IPlugWorkerJob* job)
{
  if (!job || !job->mAttached.exchange(false)) return;
  // A post that saw the job attached is a few instructions from done; once
  // it is, no post of this job touches the wake-up again.
  while (job->mPosting.load() != 0) YieldThread();
  {
    Locked lock(&gLock);
    if (job->mPrev) job->mPrev->mNext = job->mNext;
    if (job->mNext) job->mNext->mPrev = job->mPrev;
    if (gJobs == job) gJobs = job->mNext;
    job->mPrev = job->mNext = nullptr;
    job->mPosted.store(0);
    // Only this job's run: another instance's long one is not waited for.
    if (gRunningJob == job)
    {
      ++gWaitingDetaches;
      while (gRunningJob == job) WaitDone(&gLock);
      --gWaitingDetaches;
    }
  }
  Locked life(&gLifeLock);
  if (--gUsers == 0) StopThread();
}

bool IPlugWorker::Post(IPlugWorkerJob* job)
{
  if (!job) return false;
  job->mPosting.fetch_add(1);
  const bool attached = job->mAttached.load();
  if (attached)
  {
    // Written even when pending already, so the worker's claim takes what
    // the caller wrote before this post.
    uint64_t seen = job->mPosted.load();
    for (;;)
    {
      const uint64_t ticket = seen ? seen : gNextTicket.fetch_add(1);
      if (job->mPosted.compare_exchange_weak(seen, ticket)) break;
    }
    if (!seen) Wake();
  }
  job->mPosting.fetch_sub(1);
  return attached;
}

bool IPlugWorker::Running() { return gThreadRuns.load(); }

int IPlugWorker::WaitingDetaches()
{
  Locked lock(&gLock);
  return gWaitingDetaches;
}
