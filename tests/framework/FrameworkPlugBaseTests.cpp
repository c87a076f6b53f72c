// IPlugBase: channel configuration, the processing frame, host
// identification, editor attachment and gesture bookkeeping.
#include "FakePlug.h"
#include "ICpuFeatures.h"

#include <gtest/gtest.h>

#include <climits>
#include <thread>
#include <cmath>
#include <limits>
#include <vector>

namespace
{

using PairList = std::vector<std::pair<int, int>>;

PairList Pairs(const IPlugBase& plug)
{
  PairList pairs;
  for (int i = 0; i < plug.NChannelIOPairs(); ++i)
    pairs.emplace_back(plug.GetChannelIOPair(i)->mIn, plug.GetChannelIOPair(i)->mOut);
  return pairs;
}

void Connect(FakePlug& plug, int nIn, int nOut, int blockSize)
{
  plug.SetInputsConnected(0, nIn, true);
  plug.SetOutputsConnected(0, nOut, true);
  plug.SetBlockSize(blockSize);
}

// Host buffers for one block: nCh channels of n samples, each sample
// distinct (ramp) so that misplaced or missing frames show.
template <class T> struct Block
{
  std::vector<std::vector<T>> data;
  std::vector<T*> ptrs;
  Block(int nCh, int n, double fill, bool ramp)
  {
    for (int c = 0; c < nCh; ++c)
    {
      data.emplace_back(n);
      for (int s = 0; s < n; ++s) data[c][s] = ramp ? (T)(1 + c * 10000 + s) : (T)fill;
    }
    for (auto& d : data) ptrs.push_back(d.data());
  }
  T** get() { return ptrs.data(); }
};

}  // namespace

TEST(FrameworkPlugBase, ChannelStringParsing)
{
  const struct
  {
    const char* io;
    PairList pairs;
  } kCases[] = {
    { "1-1 2-2", { { 1, 1 }, { 2, 2 } } },
    { "2-2", { { 2, 2 } } },
    { "1-1  2-2", { { 1, 1 }, { 2, 2 }, { 2, 2 } } },
    { "", { { 0, 0 } } },
    { nullptr, {} },
  };
  for (const auto& c : kCases) EXPECT_EQ(Pairs(FakePlug(0, c.io)), c.pairs) << (c.io ? c.io : "null");

  FakePlug two(0, "1-1 2-2");
  EXPECT_EQ(two.NInChannels(), 2);
  EXPECT_EQ(two.NOutChannels(), 2);
  EXPECT_TRUE(two.IsAllowedIO(1, -1));
  EXPECT_TRUE(two.IsAllowedIO(2, 2));
  EXPECT_TRUE(two.IsAllowedIO(-1, -1));
  EXPECT_FALSE(two.IsAllowedIO(1, 2));
  FakePlug none(0, nullptr);
  EXPECT_EQ(none.NInChannels(), 0);
  EXPECT_FALSE(none.IsAllowedIO(-1, -1));

  // Garbage counts never turn into huge channel arrays.
  FakePlug garbage(0, "x-y 100000000-2");
  EXPECT_EQ(Pairs(garbage)[0], std::make_pair(0, 0));
  EXPECT_LE(garbage.NInChannels(), 256);
  EXPECT_EQ(garbage.NOutChannels(), 2);

  // Channel-less plug-ins still process (and run the block hook).
  none.SetBlockSize(64);
  none.ProcessReplacing(nullptr, nullptr, 16);
  EXPECT_EQ(none.mBlockFrames, std::vector<int>{ 16 });
}

TEST(FrameworkPlugBase, ConnectionsAndBlockSize)
{
  FakePlug plug(0, "1-1 2-2");
  EXPECT_FALSE(plug.IsInChannelConnected(0));
  Connect(plug, 2, 2, 64);
  EXPECT_TRUE(plug.IsInChannelConnected(1));
  plug.SetInputsConnected(1, 5, false);  // clipped to the channels
  EXPECT_TRUE(plug.IsInChannelConnected(0));
  EXPECT_FALSE(plug.IsInChannelConnected(1));
  plug.SetInputsConnected(-1, 2, false);  // only channel 0 is inside
  EXPECT_FALSE(plug.IsInChannelConnected(0));
  // Extreme ranges from a host are ignored without overflow.
  plug.SetInputsConnected(INT_MIN, -5, true);
  plug.SetInputsConnected(INT_MIN, INT_MAX, true);
  plug.SetOutputsConnected(INT_MAX, INT_MAX, false);
  plug.SetOutputsConnected(2, 1, false);
  EXPECT_FALSE(plug.IsInChannelConnected(0));
  EXPECT_TRUE(plug.IsOutChannelConnected(1));
  EXPECT_FALSE(plug.IsOutChannelConnected(2));

  // What the effect leaves in a discarded output survives the same block
  // size and is cleared by a new one.
  plug.SetOutputsConnected(1, 1, false);
  double seen = -1.0;
  plug.mProcess = [&](double**, double** out, int n)
  {
    seen = out[1][0];
    for (int s = 0; s < n; ++s) out[1][s] = 7.0;
  };
  Block<float> in(2, 64, 0.0, true), out(2, 64, 0.0, false);
  const struct
  {
    int blockSize;
    double seen;
  } kSteps[] = { { 64, 0.0 }, { 64, 7.0 }, { 128, 0.0 } };
  for (const auto& step : kSteps)
  {
    plug.SetBlockSize(step.blockSize);
    plug.ProcessReplacing(in.get(), out.get(), 64);
    EXPECT_EQ(seen, step.seen) << step.blockSize;
  }
}

// Single precision runs two ways: converted through double buffers, or
// straight to an effect that takes floats; the results must not differ.
const bool kFloatFrames[] = { false, true };
#define FOR_EACH_FLOAT_FRAME(direct)                                                                         \
  for (bool direct : kFloatFrames)                                                                           \
    if (SCOPED_TRACE(direct ? "floats straight to the effect" : "floats through doubles"); true)

TEST(FrameworkPlugBase, ProcessingFramePaths)
{
  const int n = 64;
  FOR_EACH_FLOAT_FRAME(direct)
  {
    FakePlug plug(0, "1-1 2-2");
    plug.mDirectFloats = direct;
    Connect(plug, 2, 2, n);

    Block<float> fin(2, n, 0.0, true), fout(2, n, 0.5, false), facc(2, n, 1.0, false);
    plug.ProcessReplacing(fin.get(), fout.get(), n);
    EXPECT_EQ(fout.data, fin.data);
    plug.ProcessAccumulating(fin.get(), facc.get(), n);
    for (int c = 0; c < 2; ++c)
      for (int s = 0; s < n; ++s) ASSERT_EQ(facc.data[c][s], 1.0f + fin.data[c][s]);
    Block<double> din(2, n, 0.0, true), dout(2, n, 0.5, false);
    double* seenIn = nullptr;
    double* seenOut = nullptr;
    plug.mProcess = [&](double** i, double** o, int frames)
    {
      seenIn = i[0];
      seenOut = o[1];
      plug.IPlugBase::ProcessBlock(i, o, frames);
    };
    plug.ProcessDoubleReplacing(din.get(), dout.get(), n);
    EXPECT_EQ(dout.data, din.data);
    EXPECT_EQ(seenIn, din.ptrs[0]);  // double buffers are used in place
    EXPECT_EQ(seenOut, dout.ptrs[1]);

    // Host pointers go only to connected channels: input 0 is off, so the
    // host's single input feeds channel 1 and channel 0 reads zeros; the
    // host's buffer for the unconnected output is cleared, not left stale.
    plug.SetInputsConnected(0, 1, false);
    plug.SetOutputsConnected(1, 1, false);
    std::vector<double> in0, in1;
    plug.mProcess = [&](double** i, double** o, int frames)
    {
      in0.assign(i[0], i[0] + frames);
      in1.assign(i[1], i[1] + frames);
      for (int s = 0; s < frames; ++s) o[0][s] = o[1][s] = 5.0;
    };
    Block<float> oneIn(1, n, 0.0, true), twoOut(2, n, 3.0, false);
    plug.ProcessReplacing(oneIn.get(), twoOut.get(), n);
    EXPECT_EQ(in0, std::vector<double>(n, 0.0));
    EXPECT_EQ(in1, std::vector<double>(oneIn.data[0].begin(), oneIn.data[0].end()));
    EXPECT_EQ(twoOut.data[0], std::vector<float>(n, 5.0f));
    EXPECT_EQ(twoOut.data[1], std::vector<float>(n, 0.0f));

    Block<double> dOneIn(1, n, 0.0, true), dTwoOut(2, n, 3.0, false);
    plug.ProcessDoubleReplacing(dOneIn.get(), dTwoOut.get(), n);
    EXPECT_EQ(in0, std::vector<double>(n, 0.0));
    EXPECT_EQ(in1, dOneIn.data[0]);
    EXPECT_EQ(dTwoOut.data[1], std::vector<double>(n, 0.0));

    // A 0-frame block still reaches the effect, and writes nothing.
    plug.mBlockFrames.clear();
    Block<float> zeroOut(2, 4, 9.0, false);
    plug.ProcessReplacing(oneIn.get(), zeroOut.get(), 0);
    EXPECT_EQ(plug.mBlockFrames, std::vector<int>{ 0 });
    EXPECT_EQ(zeroOut.data[0], std::vector<float>(4, 9.0f));
  }
}

TEST(FrameworkPlugBase, FloatConversionsRoundLikeCastsAtEveryLength)
{
  // Lengths around the conversion loops' steps; values that need rounding
  // to float; a guard sample after each block that must stay untouched.
  FOR_EACH_FLOAT_FRAME(direct)
  {
    FakePlug plug(0, "2-2");
    plug.mDirectFloats = direct;
    Connect(plug, 2, 2, 16);
    plug.mProcess = [](double** in, double** out, int frames)
    {
      for (int c = 0; c < 2; ++c)
        for (int s = 0; s < frames; ++s) out[c][s] = in[c][s] / 3.0 + 1e-9 * s;
    };
    for (int n = 0; n <= 13; ++n)
      for (bool accumulate : { false, true })
      {
        SCOPED_TRACE(testing::Message() << n << (accumulate ? " accumulating" : " replacing"));
        Block<float> in(2, n + 1, 0.0, true), out(2, n + 1, 0.25, false);
        for (int c = 0; c < 2; ++c) in.data[c][n] = 7.0f, out.data[c][n] = -1.0f;
        if (accumulate)
          plug.ProcessAccumulating(in.get(), out.get(), n);
        else
          plug.ProcessReplacing(in.get(), out.get(), n);
        for (int c = 0; c < 2; ++c)
        {
          for (int s = 0; s < n; ++s)
          {
            const float v = (float)((double)in.data[c][s] / 3.0 + 1e-9 * s);
            ASSERT_EQ(out.data[c][s], accumulate ? 0.25f + v : v) << "channel " << c << ", frame " << s;
          }
          EXPECT_EQ(out.data[c][n], -1.0f);
        }
      }
  }
}

TEST(FrameworkPlugBase, LongHostBlocksRunAsSubBlocks)
{
  const int n = 1000;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  FOR_EACH_FLOAT_FRAME(direct)
  for (int blockSize : { 64, 10, 999 })
  {
    SCOPED_TRACE(blockSize);
    FakePlug plug(0, "1-2");  // output 1 has no input: zeros
    plug.mDirectFloats = direct;
    Connect(plug, 1, 2, blockSize);

    // NaN-prefilled outputs must all be written.
    Block<float> fin(1, n, 0.0, true), fout(2, n, nan, false), facc(2, n, 2.0, false);
    plug.ProcessReplacing(fin.get(), fout.get(), n);
    EXPECT_EQ(fout.data[0], fin.data[0]);
    EXPECT_EQ(fout.data[1], std::vector<float>(n, 0.0f));
    plug.ProcessAccumulating(fin.get(), facc.get(), n);
    for (int s = 0; s < n; ++s) ASSERT_EQ(facc.data[0][s], 2.0f + fin.data[0][s]) << s;
    EXPECT_EQ(facc.data[1], std::vector<float>(n, 2.0f));

    Block<double> din(1, n, 0.0, true), dout(2, n, nan, false);
    plug.mBlockFrames.clear();
    plug.ProcessDoubleReplacing(din.get(), dout.get(), n);
    EXPECT_EQ(dout.data[0], din.data[0]);
    EXPECT_EQ(dout.data[1], std::vector<double>(n, 0.0));
    int total = 0;
    for (int f : plug.mBlockFrames)
    {
      EXPECT_GT(f, 0);
      total += f;
    }
    EXPECT_EQ(total, n);
  }
}

TEST(FrameworkPlugBase, InPlaceBuffersMatchSeparateBuffers)
{
  const int n = 256;
  FOR_EACH_FLOAT_FRAME(direct)
  {
    FakePlug plug(0, "2-2");
    plug.mDirectFloats = direct;
    Connect(plug, 2, 2, 100);  // also crosses sub-blocks
    // Swapping channels writes output 0 before it reads input 1's partner.
    plug.mProcess = [](double** in, double** out, int frames)
    {
      for (int s = 0; s < frames; ++s) out[0][s] = in[1][s] * 0.5;
      for (int s = 0; s < frames; ++s) out[1][s] = in[0][s] * 0.25;
    };

    Block<float> fin(2, n, 0.0, true), fout(2, n, 0.0, false), fshared(2, n, 0.0, true);
    plug.ProcessReplacing(fin.get(), fout.get(), n);
    plug.ProcessReplacing(fshared.get(), fshared.get(), n);
    EXPECT_EQ(fshared.data, fout.data);

    Block<double> din(2, n, 0.0, true), dout(2, n, 0.0, false), dshared(2, n, 0.0, true);
    plug.ProcessDoubleReplacing(din.get(), dout.get(), n);
    plug.ProcessDoubleReplacing(dshared.get(), dshared.get(), n);
    EXPECT_EQ(dshared.data, dout.data);
  }
}

TEST(FrameworkPlugBase, InPlaceEffectsGetTheHostsBufferOnlyWhereItCoincidesExactly)
{
  const int n = 64;
  FakePlug plug(0, "2-2");
  Connect(plug, 2, 2, n);
  plug.mInPlace = true;
  double* seen[2] = { nullptr, nullptr };
  plug.mProcess = [&](double** in, double** out, int frames)
  {
    seen[0] = in[0], seen[1] = in[1];
    for (int s = 0; s < frames; ++s)
    {
      const double a = in[0][s], b = in[1][s];
      out[0][s] = b, out[1][s] = a;
    }
  };
  // Exactly shared buffers go through untouched, even crossed.
  Block<double> shared(2, n, 0.0, true);
  const Block<double> orig = shared;
  double* crossed[2] = { shared.ptrs[1], shared.ptrs[0] };
  plug.ProcessDoubleReplacing(shared.get(), crossed, n);
  EXPECT_EQ(seen[0], shared.ptrs[0]);
  EXPECT_EQ(seen[1], shared.ptrs[1]);
  EXPECT_EQ(shared.data, orig.data);

  // An output starting one sample into an input still gets a copy.
  std::vector<double> line(n + 1);
  for (int s = 0; s <= n; ++s) line[s] = s;
  std::vector<double> other(n, 0.0), out1(n, 0.0);
  double* ins[2] = { line.data(), other.data() };
  double* outs[2] = { line.data() + 1, out1.data() };
  plug.ProcessDoubleReplacing(ins, outs, n);
  EXPECT_NE(seen[0], line.data());
  for (int s = 0; s < n; ++s) ASSERT_EQ(out1[s], (double)s);

  // The same for floats handed straight to the effect.
  plug.mDirectFloats = true;
  Block<float> fshared(2, n, 0.0, true);
  const Block<float> forig = fshared;
  float* fcrossed[2] = { fshared.ptrs[1], fshared.ptrs[0] };
  plug.ProcessReplacing(fshared.get(), fcrossed, n);
  EXPECT_EQ(plug.mSeenFloatIns, fshared.ptrs);
  EXPECT_EQ(fshared.data, forig.data);
  std::vector<float> fline(n + 1), fother(n, 0.0f), fout1(n, 0.0f);
  for (int s = 0; s <= n; ++s) fline[s] = (float)s;
  float* fins[2] = { fline.data(), fother.data() };
  float* fouts[2] = { fline.data() + 1, fout1.data() };
  plug.ProcessAccumulating(fins, fouts, n);
  EXPECT_NE(plug.mSeenFloatIns[0], fline.data());
  for (int s = 0; s < n; ++s) ASSERT_EQ(fout1[s], (float)s);
}

TEST(FrameworkPlugBase, IdentityVersionAndTime)
{
  const struct
  {
    const char* name;
    int code;
  } kHosts[] = {
    { "CUBASE", 3 },
    { "REAPER", 1 },
    { "Ableton Live", 9 },
    { "", 0 },
    { nullptr, 0 },
    { "Unknown Host", 0 },
    { "cubase nuendo", 3 } /* earlier row wins */,
    { "Nuendo Live", 4 },
  };
  for (const auto& h : kHosts) EXPECT_EQ(HostCodeFromName(h.name), h.code) << (h.name ? h.name : "null");

  FakePlug plug(0, "2-2", 0, 0x00010200);
  EXPECT_EQ(plug.GetHost(), -1);
  plug.SetHostInfo("Steinberg Cubase", 0x00050100);
  EXPECT_EQ(plug.GetHost(), 3);
  EXPECT_EQ(plug.GetHostVersion(), 0x00050100);
  EXPECT_EQ(plug.GetVersion(true), 10200);
  EXPECT_EQ(plug.GetVersion(false), 0x00010200);
  EXPECT_EQ(FakePlug(0, "", 0, IPLUG_VERSION(10, 11, 12)).GetVersion(true), 101112);
  char text[16];
  IPlugBase::GetVersionText(0x00010200, text);
  EXPECT_STREQ(text, "v1.02");
  IPlugBase::GetVersionText(IPLUG_VERSION(10, 11, 12), text);
  EXPECT_STREQ(text, "v10.11");

  EXPECT_DOUBLE_EQ(plug.SamplesPerBeat(), 22050.0);
  plug.SetSampleRate(48000.0);
  EXPECT_DOUBLE_EQ(plug.SamplesPerBeat(), 24000.0);
  plug.SetSampleRate(0.0);  // ignored
  EXPECT_EQ(plug.GetSampleRate(), 48000.0);
  for (double tempo : { 0.0, -120.0, std::nan("") })
  {
    plug.mTempo = tempo;
    EXPECT_EQ(plug.SamplesPerBeat(), 0.0) << tempo;
  }
}

TEST(FrameworkPlugBase, ParameterAndEditorCallOrder)
{
  FakePlug plug(3, "2-2");
  plug.GetParam(0)->DefineEnum("a", 12, 25);
  plug.GetParam(1)->DefineInt("b", 50, 0, 100);
  plug.GetParam(2)->DefineDouble("c", 0.25, 0.0, 1.0, 0.01);

  plug.NotifyAllParamsChanged();
  ASSERT_EQ(plug.mLog.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(plug.mLog[i].idx, i);
  plug.mLog.clear();

  // The value is set before the host hears of it, ParamChanged comes last.
  plug.SetParamFromEditor(1, 0.3);
  plug.SetParamFromEditor(3, 0.5);
  plug.SetParamFromEditor(-1, 0.5);
  ASSERT_EQ(plug.mLog.size(), 2u);
  EXPECT_EQ(plug.mLog[0].what, "automate");
  EXPECT_EQ(plug.mLog[0].value, 30.0);
  EXPECT_EQ(plug.mLastAutomated, 0.3);
  EXPECT_EQ(plug.mLog[1].what, "changed");
  EXPECT_EQ(plug.mLog[1].idx, 1);
  plug.mLog.clear();

  plug.PushParamsToEditor();  // no editor yet: nothing
  plug.AttachEditor(nullptr);
  EXPECT_TRUE(plug.mLog.empty());

  // Attaching pushes normalised values, then prepares drawing; a later
  // push sends plain values.
  bool firstGone = false;
  plug.AttachEditor(new FakeGraphics(&plug, &plug.mLog, 30, &firstGone));
  plug.PushParamsToEditor();
  ASSERT_EQ(plug.mLog.size(), 7u);
  EXPECT_EQ(plug.mLog[3].what, "prepare");
  const double unit[] = { 0.5, 0.3, 0.25 }, plain[] = { 12.0, 30.0, 0.25 };
  for (int i = 0; i < 3; ++i)
  {
    const FakeCall& u = plug.mLog[i];
    const FakeCall& p = plug.mLog[4 + i];
    EXPECT_TRUE(u.what == "update" && u.idx == i && u.normalized) << i;
    EXPECT_DOUBLE_EQ(u.value, unit[i]);
    EXPECT_TRUE(p.what == "update" && p.idx == i && !p.normalized) << i;
    EXPECT_EQ(p.value, plain[i]);
  }

  plug.AttachEditor(new FakeGraphics(&plug, &plug.mLog));
  EXPECT_TRUE(firstGone);
}

TEST(FrameworkPlugBase, GestureEndCountdown)
{
  for (int fps : { 30, 1 })
  {
    FakePlug plug(5, "2-2");
    plug.AttachEditor(new FakeGraphics(&plug, &plug.mLog, fps));
    plug.mLog.clear();
    plug.ScheduleGestureEnd(2);
    ASSERT_EQ(plug.mLog.size(), 1u);
    EXPECT_EQ(plug.mLog[0].what, "timer");
    EXPECT_EQ(plug.mLog[0].idx, fps == 30 ? 15 : 1);  // half a second, at least one tick
    EXPECT_EQ(plug.PendingEndParam(), 2);

    plug.ScheduleGestureEnd(2);  // a later wheel step restarts the countdown
    EXPECT_EQ(plug.CountCalls("end"), 0);
    plug.mLog.clear();
    plug.FlushPendingGestureEnd();
    ASSERT_EQ(plug.mLog.size(), 2u);
    EXPECT_EQ(plug.mLog[0].what, "cancel");
    EXPECT_EQ(plug.mLog[1].what, "end");
    EXPECT_EQ(plug.mLog[1].idx, 2);
    EXPECT_EQ(plug.PendingEndParam(), -1);
    plug.FlushPendingGestureEnd();
    EXPECT_EQ(plug.CountCalls("end"), 1);
  }

  FakePlug headless(5, "2-2");
  headless.ScheduleGestureEnd(4);
  ASSERT_EQ(headless.mLog.size(), 1u);
  EXPECT_EQ(headless.mLog[0].what, "end");
  EXPECT_EQ(headless.mLog[0].idx, 4);
  EXPECT_EQ(headless.PendingEndParam(), -1);
}

// An editor that ends its pending gesture as it goes away, deleted with the
// plug-in while a wheel gesture end is pending: by then only the base part
// is left, so nothing may reach the (gone) gesture hooks or the editor.
class FlushingGraphics : public FakeGraphics
{
public:
  using FakeGraphics::FakeGraphics;
  ~FlushingGraphics() override { mPlug->FlushPendingGestureEnd(); }
};

TEST(FrameworkPlugBase, DeletingWithAGestureEndPendingIsSafe)
{
  FakeLog log;
  bool destroyed = false;
  auto* plug = new FakePlug(5, "2-2");
  plug->AttachEditor(new FlushingGraphics(plug, &log, 30, &destroyed));
  plug->ScheduleGestureEnd(1);
  ASSERT_EQ(plug->PendingEndParam(), 1);
  delete plug;
  EXPECT_TRUE(destroyed);
}

// Only the thread holding an instance's lock is counted, and only while it
// holds it.
TEST(FrameworkPlugBase, LockRuleCountsCallsUnderTheInstanceLock)
{
  FakePlug plug(1, "1-1");
  const int before = ILockRule::Violations();
  ILockRule::Check(plug.GetMutex(), "a call without the lock");
  ILockRule::Check(nullptr, "a call without a lock");
  {
    WDL_MutexLock lock(plug.GetMutex());
    WDL_MutexLock again(plug.GetMutex());
    std::thread other([&] { ILockRule::Check(plug.GetMutex(), "another thread's call"); });
    other.join();
    ILockRule::Check(plug.GetMutex(), "a call under the lock");
  }
  ILockRule::Check(plug.GetMutex(), "a call after the lock");
  EXPECT_EQ(ILockRule::Violations(), before + 1);
}

// cpuid and xgetbv read by hand agree with the compiler's own detection
// (which the shipped code avoids for its runtime symbols).
TEST(CpuFeatures, AvxAgreesWithTheCompilersDetection)
{
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
  __builtin_cpu_init();
  EXPECT_EQ(CpuHasAvx(), __builtin_cpu_supports("avx") != 0);
#else
  EXPECT_FALSE(CpuHasAvx());
#endif
}
