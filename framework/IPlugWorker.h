// IPlugWorker: one thread for the whole process that runs the instances'
// background jobs (work the audio thread hands off: allocating and
// first-touching memory). An idle thread per instance would cost a host
// with 50 instances 50 threads; this one starts when the first instance
// attaches and is joined when the last one detaches, so a module can be
// unloaded with no thread of its own left (never from a static destructor
// or the loader's entry function, where joining can deadlock).
//
// Each instance embeds one job record. Posting it never blocks, allocates
// or takes a lock, so the audio thread may post; the worker runs pending
// jobs one at a time in the order they were posted, so a long build of one
// instance holds another up by that build at most. Nothing a job throws
// leaves the worker.
#pragma once

#include <atomic>
#include <cstdint>

// One instance's job. Owned by the instance, which attaches it while it
// may post and detaches it before it goes away.
struct IPlugWorkerJob
{
  typedef void (*Run)(void* owner);

  IPlugWorkerJob(Run run, void* owner) : mRun(run), mOwner(owner) {}
  IPlugWorkerJob(const IPlugWorkerJob&) = delete;
  IPlugWorkerJob& operator=(const IPlugWorkerJob&) = delete;

  Run mRun;
  void* mOwner;
  // 0 while not pending; otherwise the job's place in the posting order.
  std::atomic<uint64_t> mPosted{ 0 };
  // Posting does nothing unless set.
  std::atomic<bool> mAttached{ false };
  // Posts under way: a detach waits for them, so none reaches a wake-up
  // the worker's stop has closed.
  std::atomic<int> mPosting{ 0 };
  // The worker's list of attached jobs, under its lock.
  IPlugWorkerJob* mPrev = nullptr;
  IPlugWorkerJob* mNext = nullptr;
};

namespace IPlugWorker
{
// [UI thread, no instance lock] Attaches job, starting the thread for the
// first one; true when attached (already, or now), false when the thread
// could not be started.
bool Attach(IPlugWorkerJob* job);
// [UI thread, no instance lock, not from a job] Detaches job: a pending
// run of it is dropped, a running one is waited for (not other jobs).
// The last job detached joins the thread. Does nothing when not attached.
void Detach(IPlugWorkerJob* job);
// [any thread incl. audio; never blocks] The job runs once soon, after the
// jobs posted before it; posting a job already pending changes nothing.
// False (and nothing happens) when the job is not attached.
bool Post(IPlugWorkerJob* job);

// Read-only views for tests.
// [any thread] whether the thread runs.
bool Running();
// [any thread] detaches waiting for their running job.
int WaitingDetaches();
}  // namespace IPlugWorker
