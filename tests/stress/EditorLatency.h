// The built plug-in's editor worked as a user works it (XTest input into a
// real X11 parent window) while an audio thread runs small blocks paced in
// real time, and which of the user's operations each lock wait and slow
// block of the audio thread falls into. Shared by the editor stress runs
// and bench/editor/editor_latency_bench.cpp; nothing here asserts, and the
// figures are printed, never compared.
#pragma once

#include "StressHost.h"
#include "TestScreen.h"

#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace latency {

using stress::Precision;
using stress::StressHost;
using x11test::TestScreen;
using x11test::WaitFor;

const int kEditorW = 545, kEditorH = 210;

inline VstIntPtr EditOpen(StressHost& s, Window parent)
{
  return s.Dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)parent);
}

// The editor window in parent has drawn its face: more than one colour.
inline bool Drawn(TestScreen& screen, Window parent)
{
  const std::vector<Window> kids = screen.Children(parent);
  if (kids.size() != 1) return false;
  const std::vector<uint32_t> px = screen.Grab(kids[0], kEditorW, kEditorH);
  for (uint32_t p : px)
    if (p != px[0]) return true;
  return false;
}

inline long long NowNs()
{
  using namespace std::chrono;
  return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

// ================================================================ paced audio

// What one block saw, kept for attributing it afterwards.
struct BlockRecord
{
  long long startNs, processNs, longestWaitNs;
  long waitsOver100us;
};

// [thread of its own] Blocks of `frames` at `rate` through one instance,
// float and double in turn, each started at its own deadline counted from
// the first, so a late block never shifts the ones after it.
class PacedAudio
{
public:
  PacedAudio(StressHost& s, int frames, double rate)
    : mHost(s), mFrames(frames), mRate(rate), mThread([this] { Run(); })
  {
  }
  ~PacedAudio() { Stop(); }
  void Stop()
  {
    mStop = true;
    if (mThread.joinable()) mThread.join();
  }
  double PeriodSeconds() const { return mFrames / mRate; }
  long long PeriodNs() const { return std::llround(PeriodSeconds() * 1e9); }
  int Frames() const { return mFrames; }
  double Rate() const { return mRate; }

  // Read after Stop: the first fault, every block, the watch's sums.
  std::string fault;
  std::vector<BlockRecord> blocks;
  stress::AudioCounts counts;

private:
  void Run()
  {
    blocks.reserve(1 << 18);  // six minutes
    const auto start = std::chrono::steady_clock::now();
    for (long long n = 0; !mStop; ++n)
    {
      const long long due = std::llround(n * PeriodSeconds() * 1e9);
      std::this_thread::sleep_until(start + std::chrono::nanoseconds(due));
      const stress::BlockReport r = mHost.Block(mFrames, n % 2 ? Precision::kDouble : Precision::kFloat);
      if (fault.empty()) fault = r.fault;
      counts += r.counts;
      blocks.push_back({ r.startNs, r.processNs, r.counts.longestWaitNs, r.counts.waitsOver100us });
    }
  }

  StressHost& mHost;
  const int mFrames;
  const double mRate;
  std::atomic<bool> mStop{ false };
  std::thread mThread;
};

// ================================================================ operations and figures

// Figures of the blocks that started during one kind of operation.
struct Row
{
  std::string label;
  long ops = 0, blocks = 0, waitsOver100us = 0, slowBlocks = 0;
  long long longestWaitNs = 0, longestProcessNs = 0;

  void Add(const BlockRecord& b, long long periodNs)
  {
    ++blocks;
    waitsOver100us += b.waitsOver100us;
    longestWaitNs = std::max(longestWaitNs, b.longestWaitNs);
    longestProcessNs = std::max(longestProcessNs, b.processNs);
    if (b.processNs > periodNs) ++slowBlocks;
  }
};

// [main thread] When the main thread did what. A block belongs to the
// operation running when its process call started: a lock taken in it is
// taken first, so a wait begins within microseconds of that. Operations
// finished by the editor's own thread (input) last until the host has
// seen the result.
class OpLog
{
public:
  template <class F>
  void Run(const std::string& label, F&& op)
  {
    const long long start = NowNs();
    op();
    mSpans.push_back({ Label(label), start, NowNs() });
  }

  // One row per label in first-use order, then "overall" over every block
  // (between operations too).
  std::vector<Row> Attribute(const std::vector<BlockRecord>& blocks, long long periodNs) const
  {
    std::vector<Row> rows(mLabels.size() + 1);
    for (size_t i = 0; i < mLabels.size(); ++i) rows[i].label = mLabels[i];
    Row& overall = rows.back();
    overall.label = "overall";
    for (const Span& span : mSpans) ++rows[span.label].ops;
    overall.ops = (long)mSpans.size();
    for (const BlockRecord& b : blocks)
    {
      overall.Add(b, periodNs);
      // Spans are in time order and do not overlap: the last one started
      // before the block is the only candidate.
      auto next = std::upper_bound(mSpans.begin(), mSpans.end(), b.startNs,
                                   [](long long t, const Span& s) { return t < s.startNs; });
      if (next != mSpans.begin() && b.startNs <= (next - 1)->endNs) rows[(next - 1)->label].Add(b, periodNs);
    }
    return rows;
  }

private:
  struct Span
  {
    size_t label;
    long long startNs, endNs;
  };
  size_t Label(const std::string& label)
  {
    const auto at = std::find(mLabels.begin(), mLabels.end(), label);
    if (at != mLabels.end()) return (size_t)(at - mLabels.begin());
    mLabels.push_back(label);
    return mLabels.size() - 1;
  }
  std::vector<std::string> mLabels;
  std::vector<Span> mSpans;
};

// One table on stdout, each line starting with `prefix`. Without the
// interposer only the block times are there.
inline void PrintTable(const char* prefix, const std::vector<Row>& rows, const PacedAudio& audio,
                       double seconds)
{
  const double periodMs = audio.PeriodNs() * 1e-6;
  std::printf("%s %d-frame blocks at %.0f Hz (%.2f ms each), float and double in turn, %.1f s\n", prefix,
              audio.Frames(), audio.Rate(), periodMs, seconds);
  if (!stress::InterposerActive())
    std::printf("%s lock waits are not timed in this build (no interposer): block times only\n", prefix);
  char slow[32];
  std::snprintf(slow, sizeof(slow), "blocks>%.2fms", periodMs);
  std::printf("%s %-16s %6s %8s %12s %13s %14s %14s\n", prefix, "operation", "ops", "blocks", "waits>100us",
              "longest wait", slow, "longest block");
  for (const Row& r : rows)
  {
    char waits[16] = "-", longest[16] = "-";
    if (stress::InterposerActive())
    {
      std::snprintf(waits, sizeof(waits), "%ld", r.waitsOver100us);
      std::snprintf(longest, sizeof(longest), "%.2f ms", r.longestWaitNs * 1e-6);
    }
    std::printf("%s %-16s %6ld %8ld %12s %13s %14ld %11.2f ms\n", prefix, r.label.c_str(), r.ops, r.blocks,
                waits, longest, r.slowBlocks, r.longestProcessNs * 1e-6);
  }
  std::fflush(stdout);
}

// ================================================================ the user

// Centres of the effect's controls, in the editor's coordinates.
struct Control
{
  const char* name;
  int x, y;
};
const Control kDelayRate{ "Delay Rate", 88, 118 }, kPanWidth{ "Pan Width", 279, 130 },
  kFeedback{ "Feedback", 379, 130 }, kDryMix{ "Dry Mix", 453, 132 }, kWetMix{ "Wet Mix", 497, 132 };

// Someone at the editor of one instance, its parent window at the screen's
// origin so editor and screen coordinates agree. Each operation returns
// whether it took effect: the window opened, the host saw the gesture end.
class EditorUser
{
public:
  EditorUser(TestScreen& screen, StressHost& s, Window parent) : mScreen(screen), mHost(s), mParent(parent) {}

  // effEditOpen, then the first frame on screen.
  bool Open() { return EditOpen(mHost, mParent) == 1 && WaitFor([&] { return Drawn(mScreen, mParent); }); }
  void Close() { mHost.Dispatch(effEditClose); }

  // A host's short look: open, `idles` effEditIdle calls 10 ms apart, close.
  // True when the window was there.
  bool Cycle(int idles)
  {
    const bool opened = EditOpen(mHost, mParent) == 1;
    XSync(mScreen.dpy, False);
    const bool shown = mScreen.Children(mParent).size() == 1;
    for (int i = 0; i < idles; ++i)
    {
      mHost.Dispatch(effEditIdle);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Close();
    return opened && shown;
  }

  // The i-th drag: knobs and sliders in turn, up on one pass, down on the
  // next, so no press lands where the last one did (a double-click). Moves
  // come at a hand's pace, so the editor redraws between them.
  bool Drag(int i)
  {
    static const Control kDragged[] = { kDelayRate, kDryMix, kPanWidth, kWetMix, kFeedback };
    const Control& c = kDragged[i % 5];
    const int step = (i / 5) % 2 ? 3 : -3;
    return Gesture(1, [&] {
      mScreen.Move(c.x, c.y);
      mScreen.Button(1, true);
      for (int k = 1; k <= 8; ++k)
      {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        mScreen.Move(c.x, c.y + k * step);
      }
      mScreen.Button(1, false);
    });
  }

  // The i-th wheel turn: three notches on a knob, one gesture that the
  // editor's timer ends half a second after the last.
  bool Wheel(int i)
  {
    static const Control kTurned[] = { kPanWidth, kFeedback, kDelayRate };
    const Control& c = kTurned[i % 3];
    const int button = (i / 3) % 2 ? 4 : 5;
    return Gesture(1, [&] {
      mScreen.Move(c.x, c.y);
      for (int k = 0; k < 3; ++k)
      {
        mScreen.Button(button, true);
        mScreen.Button(button, false);
      }
    });
  }

  // The i-th entry box: a right click opens it, the text typed into it is
  // committed by Enter. The right click is a gesture of its own.
  bool Entry(int i)
  {
    static const struct
    {
      Control control;
      std::vector<KeySym> keys;
    } kTyped[] = {
      { kFeedback, { XK_4, XK_2 } },
      { kPanWidth, { XK_minus, XK_3, XK_5 } },
      { kDryMix, { XK_6, XK_3 } },
      { kWetMix, { XK_2, XK_7 } },
      { kFeedback, { XK_7, XK_0 } },
    };
    const auto& t = kTyped[i % 5];
    const std::vector<Window> kids = mScreen.Children(mParent);
    if (kids.size() != 1) return false;
    const Window editor = kids[0];
    return Gesture(2, [&] {
      mScreen.Click(t.control.x, t.control.y, 3);
      // Typed once the box has the keyboard: it exists a moment before.
      if (!WaitFor([&] { return HasFocus(editor); })) return;
      for (KeySym k : t.keys) mScreen.Key(k);
      mScreen.Key(XK_Return);
      WaitFor([&] { return mScreen.Children(editor).empty(); });
    });
  }

private:
  // The entry box, the editor window's one child, has the keyboard focus.
  bool HasFocus(Window editor)
  {
    const std::vector<Window> kids = mScreen.Children(editor);
    return kids.size() == 1 && mScreen.Focus() == kids[0];
  }

  // Runs input, then waits for the host to see `ends` more gestures end.
  template <class F>
  bool Gesture(long ends, F&& input)
  {
    const long before = mHost.EditEnds();
    input();
    return WaitFor([&] { return mHost.EditEnds() >= before + ends; });
  }

  TestScreen& mScreen;
  StressHost& mHost;
  Window mParent;
};

}  // namespace latency
