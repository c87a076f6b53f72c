// BackgroundWorker: one thread of an instance's own that runs a job each
// time it is woken. The audio thread wakes it without waiting for anything,
// so work that must not happen there (allocating, first-touching memory)
// can be handed over. Nothing a job throws leaves the thread.
#pragma once

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

class BackgroundWorker
{
public:
  typedef void (*Job)(void* arg);

  BackgroundWorker() {}
  ~BackgroundWorker() { Stop(); }
  BackgroundWorker(const BackgroundWorker&) = delete;
  BackgroundWorker& operator=(const BackgroundWorker&) = delete;

  // [UI thread] starts the thread once; false when it could not be started.
  bool Start(Job job, void* arg);
  // [any thread but the worker's, not holding a lock the job takes] lets a
  // running job finish, then ends the thread.
  void Stop();
  // [any thread, never blocks] the job runs (again) soon after.
  void Wake();
  bool Running() const { return mRunning.load(); }

private:
  void Loop();
  void RunJob();
#ifdef _WIN32
  static DWORD WINAPI ThreadProc(LPVOID self);
  HANDLE mThread = nullptr;
  HANDLE mEvent = nullptr;
#else
  static void* ThreadProc(void* self);
  pthread_t mThread;
  int mPipe[2] = { -1, -1 };  // a byte written wakes the thread
#endif
  Job mJob = nullptr;
  void* mArg = nullptr;
  // Set once the thread and its wake-up exist; Wake reads it from the
  // audio thread.
  std::atomic<bool> mRunning{ false };
  std::atomic<bool> mStop{ false };
};
