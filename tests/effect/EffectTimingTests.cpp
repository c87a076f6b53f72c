// Tap moves, tempo following and hostile host input, seen from the host.
//
// Sections:
//   - crossfades and gain changes
//   - first block and 0-frame blocks
//   - tempo and sample-rate trouble
#include "EffectHarness.h"

#include <cmath>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <limits>
#include <random>

using namespace effecttest;

namespace {

const size_t kFade = 4410;

// Both inputs carry t + 1, so with no feedback the line holds v(t) = t + 1
// and every tap value names the sample it read.
Stereo Ramp(size_t frames)
{
  Stereo s(frames);
  for (size_t t = 0; t < frames; ++t) s.l[t] = s.r[t] = (double)(t + 1);
  return s;
}

double V(size_t t, int lookback) { return t >= (size_t)lookback ? (double)(t - lookback + 1) : 0.0; }

// With pan +100, wet 100, dry 0: a crossfade that starts at frame `at`
// weighs the old lookback by (4409 - j) / 4410 and ends after 4410 frames.
void ExpectCrossfade(const Stereo& out, size_t at, int nearOld, int nearNew, int farOld, int farNew)
{
  for (size_t j = 0; j < kFade; ++j)
  {
    const float a = (float)(kFade - 1 - j) / (float)kFade;
    const float b = 1.0f - a;
    const size_t t = at + j;
    ASSERT_EQ(out.r[t], (double)a * V(t, nearOld) + (double)b * V(t, nearNew)) << "frame " << j;
    ASSERT_EQ(out.l[t], (double)a * V(t, farOld) + (double)b * V(t, farNew)) << "frame " << j;
  }
  EXPECT_EQ(out.r[at], (double)(4409.0f / 4410.0f) * V(at, nearOld) + (double)(1.0f - 4409.0f / 4410.0f) * V(at, nearNew));
  EXPECT_EQ(out.r[at + kFade - 1], V(at + kFade - 1, nearNew));
}

void ExpectSteady(const Stereo& out, size_t from, size_t to, int nearTap, int farTap)
{
  for (size_t t = from; t < to; ++t)
  {
    ASSERT_EQ(out.r[t], V(t, nearTap)) << "frame " << t;
    ASSERT_EQ(out.l[t], V(t, farTap)) << "frame " << t;
  }
}

Stereo Noise(size_t frames, unsigned seed)
{
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Stereo s(frames);
  for (size_t i = 0; i < frames; ++i) s.l[i] = u(rng), s.r[i] = u(rng);
  return s;
}

bool AllFinite(const Stereo& s)
{
  for (size_t i = 0; i < s.Frames(); ++i)
    if (!std::isfinite(s.l[i]) || !std::isfinite(s.r[i])) return false;
  return true;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

}  // namespace

// ================================================================ crossfades and gain changes

TEST(EffectCrossfade, DelayRateChangeFadesOverExactly4410Samples)
{
  Plug plug;
  plug.Isolate(k1_64, kNormal);
  plug.Input(Ramp(30000));
  plug.Run(10000);
  plug.Set(kRate, k1_32);
  plug.RunAll();
  ExpectSteady(plug.Out(), 3000, 10000, 1378, 2756);
  ExpectCrossfade(plug.Out(), 10000, 1378, 2756, 2756, 5512);
  ExpectSteady(plug.Out(), 10000 + kFade, 30000, 2756, 5512);
}

TEST(EffectCrossfade, ChangeDuringCrossfadeWaitsForTheNextChange)
{
  Plug plug;
  plug.Isolate(k1_64, kNormal);
  plug.Input(Ramp(30000));
  plug.Run(10000);
  plug.Set(kRate, k1_32);
  plug.Run(1000);
  plug.Set(kRate, k1_16);  // ignored until the fade has ended
  plug.Run(6000 - 1000);
  // Any later parameter change takes up the recorded targets.
  plug.Set(kWet, 100);
  plug.RunAll();
  ExpectCrossfade(plug.Out(), 10000, 1378, 2756, 2756, 5512);
  ExpectSteady(plug.Out(), 10000 + kFade, 16000, 2756, 5512);
  ExpectCrossfade(plug.Out(), 16000, 2756, 5513, 5512, 11026);
  ExpectSteady(plug.Out(), 16000 + kFade, 30000, 5513, 11026);
}

TEST(EffectCrossfade, PingPongChangeMovesOnlyTheFarTap)
{
  Plug plug;
  plug.Isolate(k1_64, kNormal);
  plug.Input(Ramp(20000));
  plug.Run(8000);
  plug.Set(kMode, kDotted2);
  plug.RunAll();
  // 1378 × 2.5 = 3445.
  ExpectCrossfade(plug.Out(), 8000, 1378, 1378, 2756, 3445);
  ExpectSteady(plug.Out(), 8000 + kFade, 20000, 1378, 3445);
}

TEST(EffectCrossfade, HostTempoChangeRetimesThroughACrossfade)
{
  Plug plug;
  plug.Isolate(k1_64, kNormal);
  plug.Input(Ramp(30000));
  plug.Run(10000);
  plug.host.SetTempo(60.0);
  plug.RunAll();
  // "1/64" at 60 bpm: 2756.25 samples.
  ExpectCrossfade(plug.Out(), 10000, 1378, 2756, 2756, 5512);
  ExpectSteady(plug.Out(), 10000 + kFade, 30000, 2756, 5512);
}

TEST(EffectCrossfade, GainChangesApplyAtOnce)
{
  Plug plug;
  plug.Isolate(k1_64, kNormal);
  const Stereo in = Ramp(20000);
  plug.Input(in);
  plug.Run(8000);
  plug.Set(kWet, 50);
  plug.Set(kPan, 0);
  plug.Set(kDry, 30);
  plug.Set(kFeedback, 40);
  plug.RunAll();
  const double quarter = 0.5 * 0.5;
  const double dry = (double)Gain(30);
  // The line takes the new feedback from its first sample too.
  std::vector<double> line(in.Frames());
  for (size_t t = 0; t < line.size(); ++t)
    line[t] = (t >= 8000 && t >= 2756 ? (double)Gain(40) * line[t - 2756] : 0.0) + (double)(t + 1);
  for (size_t t = 8000; t < in.Frames(); ++t)
  {
    const double expected = quarter * line[t - 2756] + quarter * line[t - 1378] + dry * in.l[t];
    ASSERT_EQ(plug.Out().l[t], expected) << t;
    ASSERT_EQ(plug.Out().r[t], expected) << t;
  }
}

// ================================================================ first block and 0-frame blocks

TEST(EffectFirstBlock, ChangesBeforeTheFirstBlockPlaceTapsWithoutFading)
{
  Plug plug;
  plug.Isolate(k1_8, kNormal);
  plug.Set(kRate, k1_32);
  plug.host.SetTempo(90.0);
  plug.Input(Impulse(10000));
  plug.RunAll();
  // "1/32" at 90 bpm: 117600 / 32 = 3675 samples.
  EXPECT_EQ(NonZero(plug.Out().r), std::vector<size_t>{ 3675 });
  EXPECT_EQ(NonZero(plug.Out().l), std::vector<size_t>{ 7350 });
  EXPECT_EQ(plug.Out().r[3675], 1.0);
}

TEST(EffectFirstBlock, EmptyFirstBlockStillSizesTheLineAndPlacesTaps)
{
  Plug plug;
  plug.Isolate(k1_64, kNormal);
  plug.Empty();  // 120 bpm: taps at 1378 and 2756
  plug.host.SetTempo(60.0);
  plug.Input(Impulse(10000));
  plug.RunAll();
  // The first real block fades to the 60 bpm taps instead of jumping.
  const float a1 = (float)(4409 - 1378) / 4410.0f, a2 = (float)(4409 - 2756) / 4410.0f;
  EXPECT_EQ(NonZero(plug.Out().r), (std::vector<size_t>{ 1378, 2756 }));
  EXPECT_EQ(plug.Out().r[1378], (double)a1);
  EXPECT_EQ(plug.Out().r[2756], (double)(1.0f - a2));
}

TEST(EffectFirstBlock, EmptyBlockFollowsATempoChange)
{
  Plug plug;
  plug.Isolate(k1_64, kNormal);
  plug.Input(Ramp(20000));
  plug.Run(6000);
  plug.host.SetTempo(60.0);
  plug.Empty();
  // Back at 120 the fade already runs and its end stays put.
  plug.host.SetTempo(120.0);
  plug.RunAll();
  ExpectCrossfade(plug.Out(), 6000, 1378, 2756, 2756, 5512);
  ExpectSteady(plug.Out(), 6000 + kFade, 20000, 2756, 5512);
}

TEST(EffectFirstBlock, FreshLineIsSilence)
{
#if defined(__GLIBC__)
  // Hand out recycled-looking memory: heap blocks for the line, filled
  // with a non-zero pattern unless the caller asks for zeroes.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_PERTURB, 0x5a);
#endif
  Plug plug(44100.0, 4096);
  plug.Set(kFeedback, 99);
  plug.Set(kWet, 100);
  plug.Set(kRate, k4_1);
  plug.Set(kMode, kDotted2);
  // One whole pass through the 1,764,000-sample line and a bit.
  for (int pass = 0; pass < 18; ++pass)
  {
    plug.Input(Stereo(100000));
    plug.RunAll();
    ASSERT_TRUE(NonZero(plug.Out().l).empty()) << pass;
    ASSERT_TRUE(NonZero(plug.Out().r).empty()) << pass;
  }
#if defined(__GLIBC__)
  mallopt(M_PERTURB, 0);
#endif
}

// ================================================================ tempo and sample-rate trouble

TEST(EffectTempo, NoTempoAtTheFirstBlockThenATempoLater)
{
  struct Case { const char* name; bool info, valid; double tempo; };
  const Case cases[] = {
    { "no time info", false, true, 120.0 }, { "tempo not valid", true, false, 120.0 },
    { "zero", true, true, 0.0 },            { "negative", true, true, -120.0 },
    { "NaN", true, true, kNaN },            { "infinite", true, true, kInf },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.name);
    Plug plug;
    plug.Isolate(k1_4, kNormal);
    Stereo in(66000 + 52920 + 1);
    in.l[6000] = in.r[6000] = 1.0;
    in.l[66000] = in.r[66000] = 1.0;
    plug.Input(in);
    plug.host.SetTimeInfoAvailable(c.info);
    plug.host.SetTempoValid(c.valid);
    plug.host.SetTempo(c.tempo);
    plug.Run(1000);
    plug.host.SetTimeInfoAvailable(true);
    plug.host.SetTempoValid(true);
    plug.host.SetTempo(100.0);
    plug.Run(60000 - 1000);
    // Losing the tempo again keeps the 100 bpm taps.
    plug.host.SetTempo(c.tempo);
    plug.host.SetTempoValid(c.valid);
    plug.host.SetTimeInfoAvailable(c.info);
    plug.RunAll();
    // "1/4" at 100 bpm: 26460 samples.
    EXPECT_EQ(NonZero(plug.Out().r), (std::vector<size_t>{ 6000 + 26460, 66000 + 26460 }));
    EXPECT_EQ(NonZero(plug.Out().l), (std::vector<size_t>{ 6000 + 52920, 66000 + 52920 }));
  }
}

TEST(EffectTempo, SlowerTempoThanTheLineHoldsStaysInside)
{
  Plug plug;
  plug.Isolate(k4_1, kDotted2);
  plug.Input(Stereo(1000));
  plug.RunAll();
  // 20 bpm asks for a near tap of 2,116,800: it stops at half the line.
  plug.host.SetTempo(20.0);
  Stereo in(5000 + 882000 + 1);
  in.l[5000] = in.r[5000] = 1.0;
  plug.Input(in);
  plug.RunAll();
  EXPECT_EQ(NonZero(plug.Out().r), std::vector<size_t>{ 5000 + 882000 });

  plug.Set(kFeedback, 99);
  plug.Input(Noise(200000, 7));
  plug.RunAll();
  EXPECT_TRUE(AllFinite(plug.Out()));
}

TEST(EffectTempo, HigherSampleRateThanTheLineHoldsStaysInside)
{
  Plug plug;
  plug.Isolate(k4_1, kDotted2, 100, 99);
  plug.Input(Noise(20000, 8));
  plug.RunAll();
  plug.host.SetSampleRate(192000.0);
  plug.Input(Noise(400000, 9));
  plug.RunAll();
  EXPECT_TRUE(AllFinite(plug.Out()));
  plug.host.SetSampleRate(1000.0);
  plug.Set(kRate, k1_64);
  plug.Input(Noise(20000, 10));
  plug.RunAll();
  EXPECT_TRUE(AllFinite(plug.Out()));
}

TEST(EffectTempo, OddRatesBlocksAndTemposGiveFiniteOutput)
{
  const double tempos[] = { 0.0, -90.0, kNaN, 1e9, 1e-9 };
  for (double rate : { 8000.0, 1234.5678, 384000.0 })
    for (int block : { 1, 17, 2027, 8192 })
      for (double tempo : tempos)
      {
        SCOPED_TRACE(testing::Message() << rate << " Hz, blocks of " << block << ", " << tempo << " bpm");
        Plug plug(rate, block);
        plug.Set(kFeedback, 99);
        plug.Set(kWet, 100);
        plug.Set(kRate, block % 25);
        plug.Set(kMode, block % 5);
        plug.host.SetTempo(tempo);
        const size_t third = block == 1 ? 700 : 3 * (size_t)block;
        plug.Input(Noise(3 * third, 11));
        plug.Run(third);
        plug.host.SetTempo(120.0);
        plug.Run(third);
        plug.host.SetTempo(tempo);
        plug.Set(kRate, 24);
        plug.RunAll();
        ASSERT_TRUE(AllFinite(plug.Out()));
      }
}
