// The built plug-in with its X11 editor, on a private Xvfb, while audio
// runs: odd editor call orders, many open/close cycles, two editors at once,
// eight instances with editors open. Every run checks that what an editor
// takes (windows, connections, threads, shared memory, heap) comes back and
// that the plug-in reported no X error.
#include "StressTestUtil.h"
// After gtest: Xlib defines None, Bool and the like.
#include "EditorUser.h"

#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

using namespace stress;
using namespace stresstest;
using latency::Drawn;
using latency::EditOpen;
using latency::kEditorH;
using latency::kEditorW;
using x11test::TestScreen;
using x11test::WaitFor;

namespace
{

// Shared-memory segments this process created that still exist.
int OwnShmSegments()
{
  std::ifstream in("/proc/sysvipc/shm");
  std::string line;
  std::getline(in, line);  // column names
  int n = 0;
  while (std::getline(in, line))
  {
    std::istringstream fields(line);
    long key, shmid, perms, size, cpid;
    if (fields >> key >> shmid >> perms >> size >> cpid && cpid == (long)getpid()) ++n;
  }
  return n;
}

// What an open editor holds and a closed one must give back.
struct Census
{
  int fds = 0, threads = 0, shm = 0, windows = 0;
  size_t heap = 0;
};

Census Take(TestScreen& screen)
{
  XSync(screen.dpy, False);
  Census c;
  c.fds = CountEntries("/proc/self/fd");
  c.threads = CountEntries("/proc/self/task");
  c.shm = OwnShmSegments();
  c.windows = screen.CountWindows();
  c.heap = mallinfo2().uordblks;
  return c;
}

void ExpectGivenBack(const Census& before, const Census& after)
{
  EXPECT_EQ(after.fds, before.fds) << "descriptors (X connections, wake pipes)";
  EXPECT_EQ(after.threads, before.threads) << "threads";
  EXPECT_EQ(after.shm, before.shm) << "shared-memory segments";
  EXPECT_EQ(after.windows, before.windows) << "X windows";
  // One editor's image alone is 450 KB; what remains is allocator slack.
  // (Only the main thread's arena is seen, where the windows open and close.)
  EXPECT_LT((long)after.heap - (long)before.heap, 64 * 1024) << "heap bytes in use";
}

// Lets a sanitizer's report reach the real stderr while it is captured.
extern "C" void __sanitizer_set_report_fd(void* fd) __attribute__((weak));

// The plug-in's stderr (where its window layer reports X errors) goes to a
// file while a run lasts, and is echoed afterwards.
class StderrLog
{
public:
  StderrLog()
  {
    std::fflush(stderr);
    mSaved = dup(2);
    static const int reports = dup(2);
    if (__sanitizer_set_report_fd) __sanitizer_set_report_fd((void*)(intptr_t)reports);
    mFile = std::tmpfile();
    if (mFile) dup2(fileno(mFile), 2);
  }
  ~StderrLog() { Stop(); }
  std::string Stop()
  {
    if (!mFile) return mText;
    std::fflush(stderr);
    dup2(mSaved, 2);
    close(mSaved);
    std::rewind(mFile);
    char chunk[512];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof(chunk), mFile)) > 0) mText.append(chunk, got);
    std::fclose(mFile);
    mFile = nullptr;
    std::fputs(mText.c_str(), stderr);
    return mText;
  }

private:
  int mSaved = -1;
  std::FILE* mFile = nullptr;
  std::string mText;
};

// X errors, and calls the plug-in made under its instance lock that it must not.
bool XErrorsIn(const std::string& log)
{
  return log.find("X error") != std::string::npos ||
         log.find("while holding the instance lock") != std::string::npos;
}

// An audio thread for one instance, checking every block, until stopped.
class AudioLoop
{
public:
  explicit AudioLoop(StressHost& s) : mHost(s), mThread([this] { Run(); }) {}
  ~AudioLoop() { Stop(); }
  void Stop()
  {
    mStop = true;
    if (mThread.joinable()) mThread.join();
  }
  // Read after Stop.
  std::string fault;
  AudioCounts counts;
  long blocks = 0;

private:
  void Run()
  {
    const Precision kP[] = { Precision::kFloat, Precision::kDouble };
    while (!mStop)
    {
      const BlockReport r = mHost.Block(256, kP[blocks % 2]);
      if (fault.empty()) fault = r.fault;
      counts += r.counts;
      ++blocks;
      // Faster than real time, but leaving the other threads room.
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  StressHost& mHost;
  std::atomic<bool> mStop{ false };
  std::thread mThread;
};

void ExpectAudioClean(AudioLoop& audio)
{
  audio.Stop();
  EXPECT_GT(audio.blocks, 0);
  EXPECT_EQ(audio.fault, "");
  if (InterposerActive())
  {
    EXPECT_TRUE(audio.counts.Clean()) << audio.counts.Text();
  }
}

class StressEditor : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (!screen.dpy) GTEST_SKIP() << "no X server";
  }
  Window Parent(int x, int y) { return screen.MakeParent(x, y, kEditorW, kEditorH); }
  TestScreen screen;
};

}  // namespace

TEST_F(StressEditor, UnusualEditorCallOrders)
{
  StderrLog log;
  const int windowsAtStart = screen.CountWindows();
  const Window a = Parent(0, 0), b = Parent(0, 300);
  {
    StressHost s(256);
    Start(s, 44100, 256);
    Busy(s.host);

    // Before any open: the size is known, idle and close do nothing.
    ERect* rect = nullptr;
    ASSERT_EQ(s.Dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, kEditorW);
    EXPECT_EQ(rect->bottom - rect->top, kEditorH);
    s.Dispatch(effEditIdle);
    s.Dispatch(effEditClose);

    AudioLoop audio(s);
    // Open twice in the same parent: one window, drawn.
    ASSERT_EQ(EditOpen(s, a), 1);
    ASSERT_EQ(EditOpen(s, a), 1);
    XSync(screen.dpy, False);
    EXPECT_EQ(screen.Children(a).size(), 1u);
    EXPECT_TRUE(WaitFor([&] { return Drawn(screen, a); }));
    // Open in another parent without a close: the window moves there.
    ASSERT_EQ(EditOpen(s, b), 1);
    XSync(screen.dpy, False);
    EXPECT_TRUE(screen.Children(a).empty());
    EXPECT_TRUE(WaitFor([&] { return Drawn(screen, b); }));
    // Refused opens leave no window behind.
    EXPECT_EQ(EditOpen(s, 0), 0);
    EXPECT_EQ(EditOpen(s, 0x7ffffff0), 0);
    XSync(screen.dpy, False);
    EXPECT_TRUE(screen.Children(b).empty());
    // Close twice, idle after close.
    ASSERT_EQ(EditOpen(s, b), 1);
    s.Dispatch(effEditClose);
    s.Dispatch(effEditClose);
    s.Dispatch(effEditIdle);
    XSync(screen.dpy, False);
    EXPECT_TRUE(screen.Children(b).empty());
    ExpectAudioClean(audio);

    // effClose with the editor open, as a host that forgets to close it.
    ASSERT_EQ(EditOpen(s, b), 1);
    EXPECT_TRUE(WaitFor([&] { return Drawn(screen, b); }));
    s.Close();
    XSync(screen.dpy, False);
    EXPECT_TRUE(screen.Children(b).empty());
  }
  XDestroyWindow(screen.dpy, a);
  XDestroyWindow(screen.dpy, b);
  EXPECT_EQ(screen.CountWindows(), windowsAtStart);
  EXPECT_FALSE(XErrorsIn(log.Stop()));
}

TEST_F(StressEditor, OpenCloseCyclesAndTwoEditorsLeaveNothingBehind)
{
  StderrLog log;
  const int cycles = 100;
  const int windowsAtStart = screen.CountWindows();
  const Window pa = Parent(0, 0), pb = Parent(0, 300);
  {
    StressHost a(256), b(256);
    Start(a, 44100, 256);
    Start(b, 48000, 256);
    // The first editor loads what every later one shares (fonts, images),
    // and each instance keeps its back buffer between opens.
    ASSERT_EQ(EditOpen(a, pa), 1);
    ASSERT_EQ(EditOpen(b, pb), 1);
    ASSERT_TRUE(WaitFor([&] { return Drawn(screen, pa) && Drawn(screen, pb); }));
    a.Dispatch(effEditClose);
    b.Dispatch(effEditClose);
    const Census before = Take(screen);

    AudioLoop audio(a);
    int drawn = 0;
    for (int i = 0; i < cycles && !HasFailure(); ++i)
    {
      ASSERT_EQ(EditOpen(a, pa), 1) << i;
      a.Dispatch(effEditIdle);
      // Every tenth window lives until it has drawn; the rest close at once.
      if (i % 10 == 0) drawn += WaitFor([&] { return Drawn(screen, pa); });
      a.Dispatch(effEditClose);
    }
    EXPECT_EQ(drawn, cycles / 10);
    XSync(screen.dpy, False);
    EXPECT_TRUE(screen.Children(pa).empty());

    // Reopen without a close, then two editors at once, each drawing.
    ASSERT_EQ(EditOpen(a, pa), 1);
    ASSERT_EQ(EditOpen(a, pa), 1);
    ASSERT_EQ(EditOpen(b, pb), 1);
    EXPECT_TRUE(WaitFor([&] { return Drawn(screen, pa) && Drawn(screen, pb); }));
    // A host change reaches b's window while a's is open too.
    {
      const std::vector<Window> kidsB = screen.Children(pb);
      ASSERT_EQ(kidsB.size(), 1u);
      const std::vector<uint32_t> firstB = screen.Grab(kidsB[0], kEditorW, kEditorH);
      SetParam(b.host, kFeedback, 99);
      EXPECT_TRUE(WaitFor([&] { return screen.Grab(kidsB[0], kEditorW, kEditorH) != firstB; }));
    }
    a.Dispatch(effEditClose);
    b.Dispatch(effEditClose);
    ExpectAudioClean(audio);
    // A joined thread may linger in /proc for a moment.
    Census after;
    WaitFor(
        [&]
        {
          after = Take(screen);
          return after.threads == before.threads;
        });
    ExpectGivenBack(before, after);
    std::cout << "[ editor   ] " << cycles << " open/close cycles, " << audio.blocks
              << " audio blocks meanwhile\n";
  }
  XDestroyWindow(screen.dpy, pa);
  XDestroyWindow(screen.dpy, pb);
  EXPECT_EQ(screen.CountWindows(), windowsAtStart);
  EXPECT_FALSE(XErrorsIn(log.Stop()));
}

// ================================================================ side by side

namespace
{

struct Instance
{
  StressHost s{ 512 };
  std::vector<double> out;  // both channels, block after block
  void Run(Precision p)
  {
    const BlockReport r = s.Block(512, p);
    EXPECT_EQ(r.fault, "");
    for (int ch = 0; ch < 2; ++ch)
      for (int i = 0; i < 512; ++i) out.push_back(s.Out(ch, i));
  }
};

void Prepare(Instance& in, int k)
{
  Start(in.s, k % 2 ? 48000 : 44100, 512);
  in.s.host.SetProgram(1 + k * 2);
  in.s.Noise(100 + k);
}

}  // namespace

// Eight instances on two audio threads, two of them with editors open,
// each bit-identical to the same instance run alone.
TEST_F(StressEditor, EightInstancesTwoEditorsSoundAsAlone)
{
  StderrLog log;
  const int kInstances = 8, blocks = (int)Scaled(200, 3000);
  const Precision kP[] = { Precision::kFloat, Precision::kDouble };

  std::vector<std::vector<double>> alone(kInstances);
  for (int k = 0; k < kInstances; ++k)
  {
    Instance in;
    Prepare(in, k);
    for (int b = 0; b < blocks; ++b) in.Run(kP[(b + k) % 2]);
    alone[k] = std::move(in.out);
  }

  std::vector<std::unique_ptr<Instance>> together;
  for (int k = 0; k < kInstances; ++k)
  {
    together.push_back(std::make_unique<Instance>());
    Prepare(*together.back(), k);
  }
  const Window parents[2] = { Parent(0, 0), Parent(0, 300) };
  for (int k = 0; k < 2; ++k) ASSERT_EQ(EditOpen(together[k]->s, parents[k]), 1);
  auto audioThread = [&](int first)
  {
    for (int b = 0; b < blocks; ++b)
      for (int k = first; k < kInstances; k += 2) together[k]->Run(kP[(b + k) % 2]);
  };
  std::thread a(audioThread, 0), b(audioThread, 1);
  // Meanwhile the UI thread reads state as hosts do while playing, and the
  // editors draw.
  for (int i = 0; i < 200; ++i)
    for (auto& in : together)
    {
      (void)in->s.host.GetParameter(i % kNumParams);
      char text[64];
      in->s.host.Dispatch(effGetParamDisplay, i % kNumParams, 0, text);
      in->s.Dispatch(effEditIdle);
    }
  a.join();
  b.join();
  EXPECT_TRUE(Drawn(screen, parents[0]) && Drawn(screen, parents[1]));
  for (int k = 0; k < 2; ++k) together[k]->s.Dispatch(effEditClose);
  for (int k = 0; k < kInstances; ++k)
  {
    SCOPED_TRACE(k);
    ASSERT_EQ(together[k]->out.size(), alone[k].size());
    EXPECT_EQ(std::memcmp(together[k]->out.data(), alone[k].data(), sizeof(double) * alone[k].size()), 0);
    EXPECT_TRUE(together[k]->s.ProcessFromOneThread());
  }
  EXPECT_FALSE(XErrorsIn(log.Stop()));
}
