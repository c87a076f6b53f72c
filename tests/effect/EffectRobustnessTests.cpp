// Hostile input seen from the host: non-finite and absurd samples,
// subnormal tails, outputs the host marked unconnected. (Refused chunks are
// a stress run.)
#include "EffectHarness.h"

#include <cmath>
#include <cstring>
#include <limits>
#if defined(__SSE2__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

using namespace effecttest;

namespace
{

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

bool FiniteFrom(const Stereo& s, size_t from)
{
  for (size_t i = from; i < s.Frames(); ++i)
    if (!std::isfinite(s.l[i]) || !std::isfinite(s.r[i])) return false;
  return true;
}

}  // namespace

// ================================================================ non-finite input

TEST(EffectRobustness, NonFiniteOrHugeInputLeavesTheEchoesWorking)
{
  struct Burst
  {
    const char* name;
    double l, r;
  };
  const Burst bursts[] = {
    { "NaN", kNaN, kNaN },
    { "+Inf", kInf, 0.0 },
    { "+Inf and -Inf", kInf, -kInf },
    { "1e308", 1e308, 1e308 },
    { "largest finite", 1.7976931348623157e308, 0.0 },
  };
  for (const Burst& b : bursts)
    for (int feedback : { 0, 99 })
      for (Path path : { Path::kDouble, Path::kFloat })
      {
        SCOPED_TRACE(testing::Message() << b.name << ", feedback " << feedback << ", path " << (int)path);
        Plug plug;
        plug.Isolate(k1_64, kNormal, 100, feedback);
        Stereo in(48000);
        for (size_t t = 5000; t < 6000; ++t) in.l[t] = b.l, in.r[t] = b.r;
        in.l[40000] = in.r[40000] = 1.0;
        plug.Input(in);
        plug.Run(20000, path);
        // Suspend and resume, as hosts do, while the line still holds the burst.
        plug.host.SetBlockSize(512);
        plug.RunAll(path);
        // The wet path never carries the burst on: finite right after it,
        // and the later impulse echoes as in a clean line.
        EXPECT_TRUE(FiniteFrom(plug.Out(), 6000));
        EXPECT_EQ(plug.Out().r[41378], 1.0);
        EXPECT_EQ(plug.Out().l[42756], 1.0);
      }
}

// ================================================================ subnormals

TEST(EffectRobustness, FeedbackTailsReachZeroWithoutSubnormals)
{
  // "1/64" at 1000 bpm and 8 kHz: 30 samples, so a "Feedback" 99 tail falls
  // through the whole double range within a few million samples.
  Plug plug(8000.0, 4096);
  plug.host.SetTempo(1000.0);
  plug.Isolate(k1_64, kNormal, 100, 99);
  plug.Set(kPan, 90);
  plug.Set(kDry, 100);
  plug.Input(Impulse(100000));
  plug.RunAll();
  size_t subnormal = 0;
  bool silent = false;
  for (int pass = 0; pass < 60; ++pass)
  {
    // The input carries subnormals too: they must not come out either.
    Stereo in(100000);
    in.l[7] = in.r[9] = std::numeric_limits<double>::denorm_min() * 5;
    plug.Input(in);
    plug.RunAll();
    silent = true;
    for (size_t i = 0; i < in.Frames(); ++i)
    {
      subnormal += std::fpclassify(plug.Out().l[i]) == FP_SUBNORMAL;
      subnormal += std::fpclassify(plug.Out().r[i]) == FP_SUBNORMAL;
      silent = silent && plug.Out().l[i] == 0.0 && plug.Out().r[i] == 0.0;
    }
  }
  EXPECT_EQ(subnormal, 0u);
  EXPECT_TRUE(silent);
}

// The control register the processing frame changes: MXCSR's FTZ and DAZ
// on x86-64, FPCR.FZ on arm64, each beside a rounding-mode change.
namespace
{
#if defined(__SSE2__) || defined(_M_X64)
unsigned long long ReadFpControl() { return _mm_getcsr(); }
void WriteFpControl(unsigned long long v) { _mm_setcsr((unsigned)v); }
const unsigned long long kFlushBits = 0x8040, kRoundingBits = 0x6000, kOtherRounding = 0x2000;
#define QUORVEX_FP_CONTROL 1
#elif defined(__aarch64__) && (defined(__GNUC__) || defined(__clang__))
unsigned long long ReadFpControl()
{
  unsigned long long v;
  __asm__ volatile("mrs %0, fpcr" : "=r"(v));
  return v;
}
void WriteFpControl(unsigned long long v) { __asm__ volatile("msr fpcr, %0" : : "r"(v) : "memory"); }
const unsigned long long kFlushBits = 1ull << 24, kRoundingBits = 3ull << 22, kOtherRounding = 1ull << 22;
#define QUORVEX_FP_CONTROL 1
#endif
}  // namespace

TEST(EffectRobustness, TheHostsFloatingPointStateIsRestored)
{
#if QUORVEX_FP_CONTROL
  Plug plug;
  const unsigned long long saved = ReadFpControl();
  for (unsigned long long hostState :
       { saved & ~kFlushBits, saved | kFlushBits, (saved & ~kRoundingBits) | kOtherRounding })
  {
    WriteFpControl(hostState);
    plug.Input(Noise(2000, 3));
    plug.RunAll(Path::kDouble);
    plug.Input(Noise(2000, 4));
    plug.RunAll(Path::kFloat);
    plug.Input(Noise(2000, 5));
    plug.RunAll(Path::kAccumulate);
    EXPECT_EQ(ReadFpControl(), hostState);
  }
  WriteFpControl(saved);
#else
  GTEST_SKIP() << "x86-64 and arm64 only";
#endif
}

// ================================================================ unconnected outputs

TEST(EffectRobustness, EveryOutputBufferIsWrittenInReplacingMode)
{
  for (int nOut : { 1, 0 })
  {
    SCOPED_TRACE(nOut);
    Plug plug;
    VstSpeakerArrangement in, out;
    std::memset(&in, 0, sizeof(in));
    std::memset(&out, 0, sizeof(out));
    in.numChannels = 2;
    out.numChannels = nOut;
    EXPECT_EQ(plug.host.Dispatch(effSetSpeakerArrangement, 0, (VstIntPtr)&in, &out), 1);
    const int n = 300;
    std::vector<float> fi(n, 0.5f), fo0(n, 7.0f), fo1(n, 7.0f);
    std::vector<double> di(n, 0.5), do0(n, 7.0), do1(n, 7.0);
    float* fin[2] = { fi.data(), fi.data() };
    float* fout[2] = { fo0.data(), fo1.data() };
    double* din[2] = { di.data(), di.data() };
    double* dout[2] = { do0.data(), do1.data() };
    plug.host.ProcessReplacing(fin, fout, n);
    plug.host.ProcessDouble(din, dout, n);
    // Dry 100: a connected output carries the input; the others are silent.
    EXPECT_EQ(fo0, std::vector<float>(n, nOut ? 0.5f : 0.0f));
    EXPECT_EQ(fo1, std::vector<float>(n, 0.0f));
    EXPECT_EQ(do0, std::vector<double>(n, nOut ? 0.5 : 0.0));
    EXPECT_EQ(do1, std::vector<double>(n, 0.0));
  }
}
