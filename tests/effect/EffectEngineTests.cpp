// White-box checks of the engine state, with the effect linked in directly
// and a minimal host callback that answers only the time request.
#include "EffectParams.h"
#include "Quorvex2.h"

#include <gtest/gtest.h>

#if defined(__linux__)
#include <sys/resource.h>
#endif

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

using effecttest::Gain;
using effecttest::Normalised;

namespace
{

double gTempo = 120.0;
VstTimeInfo gTime;

VstIntPtr VSTCALLBACK TestHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  if (opcode == audioMasterVersion) return kVstVersion;
  if (opcode != audioMasterGetTime) return 0;
  std::memset(&gTime, 0, sizeof(gTime));
  gTime.tempo = gTempo;
  gTime.flags = kVstTempoValid;
  return (VstIntPtr)&gTime;
}

// One opened and resumed instance; the host's close deletes it.
class Engine
{
public:
  explicit Engine(double sampleRate = 44100.0, double tempo = 120.0, bool resume = true)
    : plug(new Quorvex2(TestHost)), mEffect(plug->GetAEffect())
  {
    gTempo = tempo;
    Dispatch(effOpen);
    if (!resume) return;
    Dispatch(effSetSampleRate, 0, nullptr, (float)sampleRate);
    Dispatch(effSetBlockSize, 512);
    Dispatch(effMainsChanged, 1);
  }
  ~Engine() { Dispatch(effClose); }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  void Dispatch(VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f)
  {
    mEffect->dispatcher(mEffect, opcode, 0, value, ptr, opt);
  }
  void Set(int index, double v) { mEffect->setParameter(mEffect, index, Normalised(index, v)); }
  // A constant level through the 64-bit callback; returns both outputs.
  std::vector<double> Block(int frames, double level = 0.0)
  {
    std::vector<double> in(frames > 0 ? frames : 1, level), l(in.size()), r(in.size());
    double* ins[2] = { in.data(), in.data() };
    double* outs[2] = { l.data(), r.data() };
    mEffect->processDoubleReplacing(mEffect, ins, outs, frames);
    l.insert(l.end(), r.begin(), r.end());
    return l;
  }

  // Runs short blocks until the worker has swapped in a line of at least
  // len samples (it works on its own thread); false after 10 s.
  bool WaitForLine(uint32_t len)
  {
    for (int i = 0; i < 10000 && plug->BufLen() < len; ++i)
    {
      Block(64);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Block(64);
    return plug->BufLen() >= len;
  }

  Quorvex2* plug;

private:
  AEffect* mEffect;
};

}  // namespace

TEST(EffectEngine, LineIsSizedOffTheAudioThreadTapsAtTheFirstBlock)
{
  {
    // Opened only: no line yet. A host that processes without ever
    // resuming still gets one, at the first block.
    Engine idle(44100.0, 120.0, false);
    EXPECT_FALSE(idle.plug->HasLine());
    idle.Block(1);
    EXPECT_EQ(idle.plug->BufLen(), 1764000u);
  }
  Engine e;
  // Resumed: the line exists, the taps wait for the first block.
  EXPECT_FALSE(e.plug->BufReady());
  EXPECT_TRUE(e.plug->HasLine());
  EXPECT_EQ(e.plug->BufLen(), 1764000u);
  // Gains hold the defaults from the moment the host opens the effect.
  EXPECT_EQ(e.plug->Pan(), 0.95f);
  EXPECT_EQ(e.plug->FeedbackGain(), Gain(60));
  EXPECT_EQ(e.plug->DryGain(), 1.0f);
  EXPECT_EQ(e.plug->WetGain(), 0.5f);

  e.Block(0);
  EXPECT_EQ(e.plug->BufLen(), 1764000u);
  EXPECT_EQ(e.plug->NearTap(), 22050);
  EXPECT_EQ(e.plug->FarTap(), 44100);
  EXPECT_EQ(e.plug->FadeCount(), -1);
}

TEST(EffectEngine, EveryDelayRateAndPingPongTargetAtOneTwentyBeatsPerMinute)
{
  // Whole-note fractions of 88200 samples, halves rounded up.
  const int nearTaps[25] = { 1378,  1838,   2067,   2756,   3675,   4134,   5513,  7350,  8269,
                             11025, 14700,  16538,  22050,  29400,  33075,  44100, 58800, 66150,
                             88200, 117600, 132300, 176400, 235200, 264600, 352800 };
  const int farTaps[5] = { 29400, 33075, 44100, 51450, 55125 };
  Engine e;
  e.Block(1);
  for (int i = 0; i < 25; ++i)
  {
    e.Set(kDelayRate, i);
    EXPECT_EQ(e.plug->NearTarget(), nearTaps[i]) << i;
    EXPECT_EQ(e.plug->FarTarget(), 2 * nearTaps[i]) << i;
  }
  e.Set(kDelayRate, 12);
  for (int mode = 0; mode < 5; ++mode)
  {
    e.Set(kPingPong, mode);
    EXPECT_EQ(e.plug->FarTarget(), farTaps[mode]) << mode;
  }
  // Out-of-range modes and choices are clamped.
  EXPECT_EQ(FarTapFor(16538, 0), 22051);
  EXPECT_EQ(FarTapFor(22050, 9), 55125);
  EXPECT_EQ(FarTapFor(22050, -1), 55125);
  EXPECT_EQ(DelayRateFraction(-5), DelayRateFraction(0));
  EXPECT_EQ(DelayRateFraction(99), 4.0f);
}

TEST(EffectEngine, LongerTapsThanTheLineHoldsAreHeldUntilALongerLineArrives)
{
  // 20 bpm asks for far more than the 120 bpm line holds: the taps are
  // held inside it until the worker swaps in a longer one, then move.
  {
    Engine e;
    e.Set(kDelayRate, 24);
    e.Set(kPingPong, 4);
    e.Block(1);
    gTempo = 20.0;
    e.Block(1);
    EXPECT_EQ(e.plug->NearTarget(), 882000);
    EXPECT_EQ(e.plug->FarTarget(), 1764000);
    ASSERT_TRUE(e.WaitForLine(10584000u));
    EXPECT_EQ(e.plug->NearTarget(), 2116800);
    EXPECT_EQ(e.plug->FarTarget(), 5292000);
    e.Block(5000);
    EXPECT_EQ(e.plug->FarTap(), 5292000);
  }
  // A new sample rate resizes the line at once, before the next block.
  {
    Engine e;
    e.Set(kDelayRate, 23);
    e.Block(1);
    e.Dispatch(effSetSampleRate, 0, nullptr, 192000.0f);
    EXPECT_EQ(e.plug->BufLen(), 7680000u);
    e.Block(5000);
    EXPECT_EQ(e.plug->NearTarget(), 1152000);
  }
  // An absurd first tempo is bounded at 2^25 samples.
  Engine e(44100.0, 1e-9);
  e.Set(kDelayRate, 24);
  e.Block(64);
  EXPECT_EQ(e.plug->BufLen(), 33554432u);
  EXPECT_EQ(e.plug->NearTap(), 16777216);
  EXPECT_EQ(e.plug->FarTap(), 33554432);
}

TEST(EffectEngine, MissingTempoFallsBackToOneTwenty)
{
  for (double tempo :
       { 0.0, -1.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity() })
  {
    Engine e(48000.0, tempo);
    e.Block(16);
    EXPECT_EQ(e.plug->BufLen(), 1920000u) << tempo;
    EXPECT_EQ(e.plug->NearTap(), 24000) << tempo;
    gTempo = 60.0;
    e.Block(16);
    EXPECT_EQ(e.plug->NearTarget(), 48000) << tempo;
    gTempo = tempo;
    e.Block(16);
    EXPECT_EQ(e.plug->NearTarget(), 48000) << tempo;
  }
}

#if defined(__SANITIZE_ADDRESS__)
#define QUORVEX_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVEX_UNDER_ASAN 1
#endif
#endif

// The line is the effect's one large allocation: an address-space limit
// lets the child process see it fail without using the memory.
TEST(EffectEngine, LineAllocationFailurePassesTheDrySignal)
{
#if defined(QUORVEX_UNDER_ASAN)
  GTEST_SKIP() << "the sanitizer's allocator does not honour an address-space limit";
#elif !defined(__linux__)
  GTEST_SKIP() << "needs an address-space limit and /proc";
#else
  EXPECT_EXIT(
      {
        Engine e(44100.0, 1e-9, false);  // asks for 2^25 samples, 256 MiB
        e.Set(kDryMix, 70);
        long pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r"))
        {
          if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
          std::fclose(f);
        }
        struct rlimit limit;
        limit.rlim_cur = limit.rlim_max = (rlim_t)pages * 4096 + (64u << 20);
        const bool limited = pages > 0 && setrlimit(RLIMIT_AS, &limit) == 0;
        e.Dispatch(effSetSampleRate, 0, nullptr, 44100.0f);
        e.Dispatch(effMainsChanged, 1);
        const std::vector<double> out = e.Block(256, 0.5);
        bool dry = true;
        for (double v : out) dry = dry && v == (double)Gain(70) * 0.5;
        std::_Exit(limited && e.plug->BufReady() && !e.plug->HasLine() && dry ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
#endif
}

// The note lengths as the former powf-based formula gave them on glibc; both
// runtimes must reproduce these bits.
static const uint32_t kFractionBits[25] = {
  0x3c800000, 0x3caaaaab, 0x3cc00000, 0x3d000000, 0x3d2aaaab, 0x3d400000, 0x3d800000, 0x3daaaaab, 0x3dc00000,
  0x3e000000, 0x3e2aaaab, 0x3e400000, 0x3e800000, 0x3eaaaaab, 0x3ec00000, 0x3f000000, 0x3f2aaaab, 0x3f400000,
  0x3f800000, 0x3faaaaab, 0x3fc00000, 0x40000000, 0x402aaaab, 0x40400000, 0x40800000,
};

static float FractionFromBits(int i)
{
  float f;
  std::memcpy(&f, &kFractionBits[i], sizeof f);
  return f;
}

TEST(EffectEngine, NoteLengthsKeepTheirFormerBits)
{
  for (int i = 0; i < 25; ++i)
  {
    EXPECT_EQ(DelayRateFraction(i), FractionFromBits(i)) << i;
#if defined(__GLIBC__)
    const float third = 1.0f / 3.0f;
    // The table is what glibc's powf made of the old formula.
    const float e = (float)(i % 3 == 0 ? i : i % 3 == 1 ? i + 2 : i - 2) * third;
    const float old = i % 3 == 0   ? std::pow(2.0f, e) / 64.0f
                      : i % 3 == 1 ? std::pow(2.0f, e) / 96.0f
                                   : 3.0f * std::pow(2.0f, e) / 128.0f;
    EXPECT_EQ(old, FractionFromBits(i)) << i;
#endif
  }

  // And the near taps they give, at tempos and rates where halves and
  // thirds do not come out even.
  for (double rate : { 44100.0, 48000.0, 88200.0, 96000.0 })
    for (double tempo : { 60.0, 97.0, 120.0, 133.7, 174.0 })
    {
      Engine e(rate, tempo);
      e.Block(1);
      const double whole = 4.0 * 60.0 * rate / tempo;
      for (int i = 0; i < 25; ++i)
      {
        e.Set(kDelayRate, i);
        const double want = std::trunc((double)FractionFromBits(i) * whole + 0.5);
        EXPECT_EQ(e.plug->NearTarget(), (int32_t)want) << rate << " " << tempo << " " << i;
      }
    }
}
