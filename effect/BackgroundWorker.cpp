#include "BackgroundWorker.h"

#include "IPlugBoundary.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#ifdef _WIN32

bool BackgroundWorker::Start(Job job, void* arg)
{
  if (mRunning) return true;
  mJob = job;
  mArg = arg;
  mStop = false;
  mEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset
  if (!mEvent) return false;
  mThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
  if (!mThread)
  {
    CloseHandle(mEvent);
    mEvent = nullptr;
    return false;
  }
  mRunning = true;
  return true;
}

void BackgroundWorker::Stop()
{
  if (!mRunning) return;
  mStop = true;
  SetEvent(mEvent);
  WaitForSingleObject(mThread, INFINITE);
  CloseHandle(mThread);
  CloseHandle(mEvent);
  mThread = mEvent = nullptr;
  mRunning = false;
}

void BackgroundWorker::Wake()
{
  if (mRunning) SetEvent(mEvent);
}

DWORD WINAPI BackgroundWorker::ThreadProc(LPVOID self)
{
  CatchAtBoundary([self] { static_cast<BackgroundWorker*>(self)->Loop(); });
  return 0;
}

void BackgroundWorker::Loop()
{
  while (WaitForSingleObject(mEvent, INFINITE) == WAIT_OBJECT_0 && !mStop) RunJob();
}

#else

bool BackgroundWorker::Start(Job job, void* arg)
{
  if (mRunning) return true;
  mJob = job;
  mArg = arg;
  mStop = false;
  if (pipe(mPipe) != 0) return false;
  // The writing end never blocks: a full pipe already means "wake up".
  fcntl(mPipe[1], F_SETFL, fcntl(mPipe[1], F_GETFL) | O_NONBLOCK);
  // Processes the host starts must not inherit them.
  fcntl(mPipe[0], F_SETFD, FD_CLOEXEC);
  fcntl(mPipe[1], F_SETFD, FD_CLOEXEC);
  if (pthread_create(&mThread, nullptr, ThreadProc, this) != 0)
  {
    close(mPipe[0]);
    close(mPipe[1]);
    mPipe[0] = mPipe[1] = -1;
    return false;
  }
  mRunning = true;
  return true;
}

void BackgroundWorker::Stop()
{
  if (!mRunning) return;
  mStop = true;
  Wake();
  pthread_join(mThread, nullptr);
  close(mPipe[0]);
  close(mPipe[1]);
  mPipe[0] = mPipe[1] = -1;
  mRunning = false;
}

void BackgroundWorker::Wake()
{
  if (!mRunning) return;
  const char b = 1;
  if (write(mPipe[1], &b, 1) < 0) {}  // full: a wake-up is pending anyway
}

void* BackgroundWorker::ThreadProc(void* self)
{
  CatchAtBoundary([self] { static_cast<BackgroundWorker*>(self)->Loop(); });
  return nullptr;
}

void BackgroundWorker::Loop()
{
  char buf[64];
  while (!mStop)
  {
    const ssize_t n = read(mPipe[0], buf, sizeof(buf));
    if (n == 0) break;
    if (n < 0) continue;  // interrupted
    if (!mStop) RunJob();
  }
}

#endif

void BackgroundWorker::RunJob()
{
  // A job that throws is over; the thread waits for the next wake-up.
  CatchAtBoundary([this] { mJob(mArg); });
}
