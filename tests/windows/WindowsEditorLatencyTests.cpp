// How long the audio thread's process calls take while the GUI thread opens,
// closes and plays with the Win32 editor. A lock the editor holds across
// window work or host calls shows here as long blocks. The figures are
// printed, never asserted: the run checks only that audio ran throughout,
// the editor opened every time, the gestures took effect and every output
// was finite.
#include "Editing.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

using namespace wintest;

namespace
{

const int kBlock = 64;
const double kSampleRate = 44100.;
// A fifth of a 64-frame block's 1.45 ms.
const double kSlowMs = 0.3;

// What the GUI thread is doing while a block runs. kOther is the editor
// opened for the gestures and closed at the end.
enum Activity
{
  kIdle,
  kOpenClose,
  kDrag,
  kWheel,
  kEntry,
  kOther,
  kActivities
};
const char* const kActivityNames[kActivities] = { "idle", "open/close", "drag", "wheel", "entry", "other" };

struct Figures
{
  long long blocks = 0, slow = 0;
  double longestMs = 0., totalMs = 0.;

  void Add(double ms)
  {
    ++blocks;
    if (ms > kSlowMs) ++slow;
    longestMs = std::max(longestMs, ms);
    totalMs += ms;
  }
  Figures& operator+=(const Figures& o)
  {
    blocks += o.blocks;
    slow += o.slow;
    longestMs = std::max(longestMs, o.longestMs);
    totalMs += o.totalMs;
    return *this;
  }
};

LONGLONG Ticks()
{
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

LONGLONG TicksPerSecond()
{
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return f.QuadPart;
}

// An audio thread for one instance: 64-frame float blocks, each started at
// its deadline on a schedule counted from the first block (so waits do not
// add up to drift), each process call timed with the performance counter
// and filed under the activity the GUI thread last announced.
class PacedAudio
{
public:
  explicit PacedAudio(quorvex::VstHost& host) : mHost(host) {}
  ~PacedAudio() { Stop(); }

  void Start()
  {
    mThread = std::thread([this] { Run(); });
  }
  void Stop()
  {
    mStop = true;
    if (mThread.joinable()) mThread.join();
  }
  // [GUI thread] Blocks from now on count for a.
  void Attribute(Activity a) { mActivity = a; }

  // [after Stop]
  const Figures& Of(int a) const { return mFigures[a]; }
  long long NonFinite() const { return mNonFinite; }
  long long LateStarts() const { return mLateStarts; }
  long long Restarts() const { return mRestarts; }
  double SleepMs() const { return mSleepMs; }

private:
  void Run();
  void WaitUntil(LONGLONG deadline);

  quorvex::VstHost& mHost;
  std::thread mThread;
  std::atomic<bool> mStop{ false };
  std::atomic<int> mActivity{ kIdle };
  Figures mFigures[kActivities];
  long long mNonFinite = 0, mLateStarts = 0, mRestarts = 0;
  LONGLONG mSleepTicks = 0;
  double mSleepMs = 0.;
};

// Sleep(1) takes about 1 ms under Wine (up to a timer tick, 15.6 ms, on
// Windows without a raised timer resolution), too coarse for a 1.45 ms
// period: sleep only while more than one Sleep(1) is left, spin the rest.
void PacedAudio::WaitUntil(LONGLONG deadline)
{
  for (;;)
  {
    const LONGLONG left = deadline - Ticks();
    if (left <= 0) return;
    if (left > mSleepTicks)
      Sleep(1);
    else
      YieldProcessor();
  }
}

void PacedAudio::Run()
{
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  const LONGLONG freq = TicksPerSecond();
  LONGLONG sleeps[9];
  for (LONGLONG& s : sleeps)
  {
    const LONGLONG t = Ticks();
    Sleep(1);
    s = Ticks() - t;
  }
  std::nth_element(sleeps, sleeps + 4, sleeps + 9);
  mSleepMs = (double)sleeps[4] * 1000. / (double)freq;
  mSleepTicks = sleeps[4] + freq / 5000;  // and 0.2 ms to spare

  float in[2][kBlock], out[2][kBlock];
  float* ins[2] = { in[0], in[1] };
  float* outs[2] = { out[0], out[1] };
  uint32_t noise = 1;
  long long pos = 0;
  const double period = (double)kBlock / kSampleRate * (double)freq;
  LONGLONG start = Ticks();
  for (long long k = 1; !mStop; ++k)
  {
    // Noise with an impulse every 3000 frames, so the delay line is busy.
    for (int i = 0; i < kBlock; ++i, ++pos)
    {
      noise = noise * 1664525u + 1013904223u;
      const float v = (pos % 3000 == 0) ? 1.f : (float)(int32_t)noise / 4294967296.f;
      in[0][i] = v;
      in[1][i] = -v;
    }
    Figures& f = mFigures[mActivity.load()];
    const LONGLONG t0 = Ticks();
    mHost.ProcessReplacing(ins, outs, kBlock);
    const LONGLONG t1 = Ticks();
    f.Add((double)(t1 - t0) * 1000. / (double)freq);
    for (int ch = 0; ch < 2; ++ch)
      for (int i = 0; i < kBlock; ++i)
        if (!std::isfinite(out[ch][i])) ++mNonFinite;

    const LONGLONG deadline = start + (LONGLONG)((double)k * period);
    const LONGLONG behind = Ticks() - deadline;
    if (behind > (LONGLONG)(4. * period))
    {
      // Far behind (a stall): start the schedule again rather than burst.
      ++mRestarts;
      start = Ticks() - (LONGLONG)((double)k * period);
      continue;
    }
    WaitUntil(deadline);
    if (Ticks() - deadline > (LONGLONG)(period / 4.)) ++mLateStarts;
  }
}

// A DAW does work of its own when told of an edit (automation lanes, its
// own controls), on the thread that told it. The reference host answers in
// microseconds, so it is made to take this long on the GUI thread: what the
// plug-in holds while it waits for the host, the audio thread waits for too.
const double kHostEditMs = 0.5;

struct SlowHost
{
  DWORD guiThread;
  LONGLONG ticks;

  static void OnCallback(void* self, VstInt32 opcode)
  {
    const SlowHost* h = static_cast<const SlowHost*>(self);
    if (GetCurrentThreadId() != h->guiThread) return;
    if (opcode != audioMasterBeginEdit && opcode != audioMasterAutomate && opcode != audioMasterEndEdit &&
        opcode != audioMasterUpdateDisplay)
      return;
    const LONGLONG end = Ticks() + h->ticks;
    while (Ticks() < end) YieldProcessor();
  }
};

// Knobs and sliders, with the direction a first drag or wheel turn can
// move them from the defaults (Dry Mix starts at its top).
struct Control
{
  int param, x, y, dir;  // dir: -1 up (the value rises), 1 down
};
const Control kControls[] = {
  { kDelayRate, 88, 118, -1 }, { kPanWidth, 279, 130, 1 }, { kFeedback, 379, 130, -1 },
  { kDryMix, 453, 110, 1 },    { kWetMix, 497, 160, -1 },
};

// Entry boxes: the continuous parameters, two values each, taken in turn.
struct Entry
{
  int param, x, y;
  const char* text[2];
};
const Entry kEntries[] = {
  { kFeedback, 379, 130, { "25", "40" } },
  { kPanWidth, 279, 130, { "30", "60" } },
  { kDryMix, 453, 110, { "70", "90" } },
  { kWetMix, 497, 160, { "55", "35" } },
};

const int kCycles = 100, kDrags = 30, kTurns = 40, kEntryCount = 20;

}  // namespace

TEST(EditorLatency, AudioBlocksWhileTheEditorOpensClosesAndIsPlayedWith)
{
  const LONGLONG began = Ticks();
  Editing e;
  ASSERT_NO_FATAL_FAILURE(e.Open(kSampleRate, kBlock));
  HWND hostWnd = (HWND)e.host.EditorHostWindow();
  e.host.Dispatch(effEditClose);
  Pump(50);
  SlowHost slow = { GetCurrentThreadId(), (LONGLONG)(kHostEditMs / 1000. * (double)TicksPerSecond()) };
  e.host.SetCallbackObserver(&SlowHost::OnCallback, &slow);

  PacedAudio audio(e.host);
  audio.Start();
  Pump(1000);

  // Open, a few ticks, close: as a host showing and hiding the editor.
  audio.Attribute(kOpenClose);
  int opened = 0, closed = 0;
  for (int i = 0; i < kCycles; ++i)
  {
    const bool accepted = e.host.Dispatch(effEditOpen, 0, 0, hostWnd) != 0;
    e.editor = Editor(e.host);
    if (accepted && e.editor) ++opened;
    Pump(10);
    for (int t = 0; t < 3; ++t)
    {
      e.host.Dispatch(effEditIdle);
      Pump(4);
    }
    e.host.Dispatch(effEditClose);
    if (e.editor && !IsWindow(e.editor)) ++closed;
    Pump(4);
  }

  audio.Attribute(kOther);
  ASSERT_NE(e.host.Dispatch(effEditOpen, 0, 0, hostWnd), 0);
  e.editor = Editor(e.host);
  ASSERT_NE(e.editor, nullptr);
  Pump(150);

  // Drags there and back, so no control runs into its end.
  audio.Attribute(kDrag);
  int dragged = 0;
  for (int i = 0; i < kDrags; ++i)
  {
    const Control& c = kControls[i % 5];
    const int dy = ((i / 5) % 2 ? -40 : 40) * c.dir;
    const float before = e.host.GetParameter(c.param);
    e.Drag(c.x, c.y, 0, dy);
    dragged += PumpUntil([&] { return e.host.GetParameter(c.param) != before; }, 500);
  }

  // Three notches a turn (two move the rate knob less than half a step),
  // there and back; the last gestures end by the timer.
  audio.Attribute(kWheel);
  int turned = 0;
  for (int i = 0; i < kTurns; ++i)
  {
    const Control& c = kControls[i % 5];
    const float before = e.host.GetParameter(c.param);
    e.Wheel(c.x, c.y, ((i / 5) % 2 ? 3 : -3) * c.dir, 60);
    turned += PumpUntil([&] { return e.host.GetParameter(c.param) != before; }, 500);
  }
  Pump(800);

  // Right click, typed digits, Enter; the box commits on the next timer tick.
  audio.Attribute(kEntry);
  int boxes = 0, committed = 0;
  for (int i = 0; i < kEntryCount; ++i)
  {
    const Entry& c = kEntries[i % 4];
    const std::string text = c.text[(i / 4) % 2];
    e.RightClick(c.x, c.y);
    if (!PumpUntil([&] { return EntryBox(e.editor) != nullptr; }, 500)) continue;
    ++boxes;
    HWND box = EntryBox(e.editor);
    for (char ch : text) PostMessageA(box, WM_CHAR, (WPARAM)(unsigned char)ch, 1);
    PostMessageA(box, WM_KEYDOWN, VK_RETURN, 1);
    Pump(150);
    committed +=
        PumpUntil([&] { return !EntryBox(e.editor) && e.host.ParamDisplay(c.param).find(text) == 0; }, 1000);
  }

  audio.Attribute(kOther);
  e.host.Dispatch(effEditClose);
  Pump(50);
  audio.Stop();
  e.host.SetCallbackObserver(nullptr, nullptr);
  const double seconds = (double)(Ticks() - began) / (double)TicksPerSecond();

  EXPECT_EQ(opened, kCycles);
  EXPECT_EQ(closed, kCycles);
  EXPECT_EQ(dragged, kDrags);
  EXPECT_EQ(turned, kTurns);
  EXPECT_EQ(boxes, kEntryCount);
  EXPECT_EQ(committed, kEntryCount);
  EXPECT_EQ(audio.NonFinite(), 0);
  for (int a = kIdle; a <= kEntry; ++a) EXPECT_GT(audio.Of(a).blocks, 0) << kActivityNames[a];

  const std::string what[kActivities] = { "1 s",
                                          std::to_string(kCycles) + " cycles",
                                          std::to_string(kDrags) + " drags",
                                          std::to_string(kTurns) + " turns",
                                          std::to_string(kEntryCount) + " entries",
                                          "" };
  Figures all;
  for (int a = 0; a < kActivities; ++a)
  {
    const Figures& f = audio.Of(a);
    all += f;
    if (a == kOther) continue;
    std::printf("win32 latency: %s %s: blocks>0.3ms %lld, longest %.2f ms (%lld blocks, mean %.3f ms)\n",
                kActivityNames[a], what[a].c_str(), f.slow, f.longestMs, f.blocks,
                f.blocks ? f.totalMs / (double)f.blocks : 0.);
  }
  std::printf("win32 latency: all %.1f s: blocks>0.3ms %lld, longest %.2f ms (%lld blocks, mean %.3f ms)\n",
              seconds, all.slow, all.longestMs, all.blocks,
              all.blocks ? all.totalMs / (double)all.blocks : 0.);
  std::printf("win32 latency: the host takes %.1f ms for each edit it is told of on the GUI thread\n",
              kHostEditMs);
  std::printf("win32 latency: pacing: Sleep(1) takes %.2f ms; %lld blocks started over a quarter block late, "
              "%lld schedule restarts\n",
              audio.SleepMs(), audio.LateStarts(), audio.Restarts());
}
