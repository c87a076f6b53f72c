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

using namespace effecttest;

namespace
{

const size_t kFade = 4410;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Both inputs carry t + 1, so with no feedback the line holds v(t) = t + 1
// and every tap value names the sample it read.
Stereo Ramp(size_t frames)
{
  Stereo s(frames);
  for (size_t t = 0; t < frames; ++t) s.l[t] = s.r[t] = (double)(t + 1);
  return s;
}

double V(size_t t, int lookback) { return t >= (size_t)lookback ? (double)(t - lookback + 1) : 0.0; }

// With pan +100, wet 100, dry 0, frames from..to hold the old taps before
// `fadeAt`, then weigh the old lookback by (4409 - j) / 4410 for 4410
// frames, then hold the new taps.
void ExpectTaps(const Stereo& out, size_t from, size_t to, size_t fadeAt, int nearOld, int nearNew,
                int farOld, int farNew)
{
  for (size_t t = from; t < to; ++t)
  {
    float a = t < fadeAt ? 1.0f : 0.0f;
    if (t >= fadeAt && t - fadeAt < kFade) a = (float)(kFade - 1 - (t - fadeAt)) / (float)kFade;
    const float b = 1.0f - a;
    ASSERT_EQ(out.r[t], (double)a * V(t, nearOld) + (double)b * V(t, nearNew)) << "frame " << t;
    ASSERT_EQ(out.l[t], (double)a * V(t, farOld) + (double)b * V(t, farNew)) << "frame " << t;
  }
}

bool AllFinite(const Stereo& s)
{
  for (size_t i = 0; i < s.Frames(); ++i)
    if (!std::isfinite(s.l[i]) || !std::isfinite(s.r[i])) return false;
  return true;
}

}  // namespace

// ================================================================ crossfades and gain changes

TEST(EffectCrossfade, TapMovesFadeOverExactly4410Samples)
{
  struct Case
  {
    const char* name;
    void (*change)(Plug&);
    int nearNew, farNew;
  };
  const Case cases[] = {
    { "Delay Rate", [](Plug& p) { p.Set(kRate, k1_32); }, 2756, 5512 },
    // "1/64" at 60 bpm: 2756.25 samples.
    { "host tempo", [](Plug& p) { p.host.SetTempo(60.0); }, 2756, 5512 },
    // Only the far tap moves: 1378 × 2.5 = 3445.
    { "Ping Pong", [](Plug& p) { p.Set(kMode, kDotted2); }, 1378, 3445 },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.name);
    Plug plug;
    plug.Isolate(k1_64, kNormal);
    plug.Input(Ramp(30000));
    plug.Run(10000);
    c.change(plug);
    plug.RunAll();
    ExpectTaps(plug.Out(), 3000, 30000, 10000, 1378, c.nearNew, 2756, c.farNew);
  }
}

TEST(EffectCrossfade, ChangesDuringACrossfadeChainOnItsEnd)
{
  // The first fade runs frames 10000..14409 and 14410 ends it; the next one
  // to the targets recorded meanwhile starts with frame 14411.
  struct Case
  {
    const char* name;
    void (*change)(Plug&);
    int nearLast, farLast;
  };
  const Case cases[] = {
    { "Delay Rate", [](Plug& p) { p.Set(kRate, k1_16); }, 5513, 11026 },
    { "Ping Pong", [](Plug& p) { p.Set(kMode, kTriplet); }, 2756, 3675 },
    // 120 -> 60 -> 30 bpm: the second tempo change is taken up too.
    { "tempo", [](Plug& p) { p.host.SetTempo(30.0); }, 5513, 11026 },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.name);
    Plug plug;
    plug.Isolate(k1_64, kNormal);
    plug.Input(Ramp(30000));
    plug.Run(10000);
    if (c.change == cases[2].change)
      plug.host.SetTempo(60.0);
    else
      plug.Set(kRate, k1_32);
    plug.Run(1000);
    c.change(plug);
    plug.Run(5000);
    plug.Set(kWet, 100);  // no tap change: the running fade is not disturbed
    plug.RunAll();
    ExpectTaps(plug.Out(), 3000, 14411, 10000, 1378, 2756, 2756, 5512);
    ExpectTaps(plug.Out(), 14410, 30000, 14411, 2756, c.nearLast, 5512, c.farLast);
  }
}

TEST(EffectCrossfade, TempoChangingEveryBlockConvergesOnTheLastTempo)
{
  // A host's tempo ramp from 120 down to 80 bpm, one step per 256-frame
  // block, then steady: the taps end where 80 bpm puts them.
  Plug plug(44100.0, 256);
  plug.Isolate(k1_8, kNormal);
  plug.Input(Stereo(400000));
  plug.Run(2560);
  for (int step = 1; step <= 40; ++step)
  {
    plug.host.SetTempo(120.0 - step);
    plug.Run(256);
  }
  plug.Input(Impulse(60000));
  plug.RunAll();
  // "1/8" at 80 bpm: 132300 / 8 = 16537.5, rounded up.
  EXPECT_EQ(NonZero(plug.Out().r), std::vector<size_t>{ 16538 });
  EXPECT_EQ(NonZero(plug.Out().l), std::vector<size_t>{ 33076 });
}

TEST(EffectCrossfade, PresetSelectedWhileRunningReachesBothItsTaps)
{
  // "Classic Delay Triplet" sets "Delay Rate" (a crossfade) and then
  // "Ping Pong", which must not be left waiting.
  Plug plug;
  plug.Input(Stereo(20000));
  plug.RunAll();
  plug.host.SetProgram(2);
  plug.Set(kDry, 0);
  plug.Set(kFeedback, 0);
  plug.Set(kPan, 100);
  plug.Input(Stereo(10000));
  plug.RunAll();
  plug.Input(Impulse(40000));
  plug.RunAll();
  EXPECT_EQ(NonZero(plug.Out().r), std::vector<size_t>{ 11025 });
  EXPECT_EQ(NonZero(plug.Out().l), std::vector<size_t>{ 14700 });
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
  // The line takes the new feedback from its first sample too.
  std::vector<double> line(in.Frames());
  for (size_t t = 0; t < line.size(); ++t)
    line[t] = (t >= 8000 ? (double)Gain(40) * line[t - 2756] : 0.0) + (double)(t + 1);
  for (size_t t = 8000; t < in.Frames(); ++t)
  {
    const double expected = 0.25 * line[t - 2756] + 0.25 * line[t - 1378] + (double)Gain(30) * in.l[t];
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
  EXPECT_EQ(NonZero(plug.Out().r), (std::vector<size_t>{ 1378, 2756 }));
  EXPECT_EQ(plug.Out().r[1378], (double)((float)(4409 - 1378) / 4410.0f));
  EXPECT_EQ(plug.Out().r[2756], (double)(1.0f - (float)(4409 - 2756) / 4410.0f));
}

TEST(EffectFirstBlock, EmptyBlockFollowsATempoChange)
{
  Plug plug;
  plug.Isolate(k1_64, kNormal);
  plug.Input(Ramp(20000));
  plug.Run(6000);
  plug.host.SetTempo(60.0);
  plug.Empty();
  // Back at 120 while the fade runs: a second fade follows at its end.
  plug.host.SetTempo(120.0);
  plug.RunAll();
  ExpectTaps(plug.Out(), 3000, 10411, 6000, 1378, 2756, 2756, 5512);
  ExpectTaps(plug.Out(), 10410, 20000, 10411, 2756, 1378, 5512, 2756);
}

TEST(EffectFirstBlock, FreshLineIsSilence)
{
#if defined(__GLIBC__)
  // Recycled-looking memory: heap blocks for the line, filled with a
  // non-zero pattern unless the caller asks for zeroes.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_PERTURB, 0x5a);
#endif
  Plug plug(44100.0, 4096);
  plug.Isolate(k4_1, kDotted2, 100, 99);
  plug.Set(kPan, 90);
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
  struct Case
  {
    const char* name;
    bool info, valid;
    double tempo;
  };
  const Case cases[] = {
    { "no time info", false, true, 120.0 },
    { "tempo not valid", true, false, 120.0 },
    { "zero", true, true, 0.0 },
    { "negative", true, true, -120.0 },
    { "NaN", true, true, kNaN },
    { "infinite", true, true, kInf },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.name);
    Plug plug;
    plug.Isolate(k1_4, kNormal);
    auto timing = [&](bool info, bool valid, double tempo)
    {
      plug.host.SetTimeInfoAvailable(info);
      plug.host.SetTempoValid(valid);
      plug.host.SetTempo(tempo);
    };
    Stereo in(66000 + 52920 + 1);
    in.l[6000] = in.r[6000] = in.l[66000] = in.r[66000] = 1.0;
    plug.Input(in);
    timing(c.info, c.valid, c.tempo);
    plug.Run(1000);
    timing(true, true, 100.0);
    plug.Run(59000);
    // Losing the tempo again keeps the 100 bpm taps.
    timing(c.info, c.valid, c.tempo);
    plug.RunAll();
    // "1/4" at 100 bpm: 26460 samples.
    EXPECT_EQ(NonZero(plug.Out().r), (std::vector<size_t>{ 6000 + 26460, 66000 + 26460 }));
    EXPECT_EQ(NonZero(plug.Out().l), (std::vector<size_t>{ 6000 + 52920, 66000 + 52920 }));
  }
}

TEST(EffectTempo, SlowerTempoOrHigherRateThanTheLineHoldsStaysInside)
{
  // Taps longer than the line sized at the first block are held inside it.
  for (int change = 0; change < 2; ++change)
  {
    Plug plug;
    plug.Isolate(k4_1, kDotted2, 100, 99);
    plug.Input(Noise(20000, 8));
    plug.RunAll();
    if (change == 0) plug.host.SetTempo(20.0);
    if (change == 1) plug.host.SetSampleRate(192000.0);
    plug.Input(Noise(400000, 9));
    plug.RunAll();
    EXPECT_TRUE(AllFinite(plug.Out())) << change;
    // Then far shorter taps than the line holds.
    plug.host.SetSampleRate(1000.0);
    plug.Set(kRate, k1_64);
    plug.Input(Noise(20000, 10));
    plug.RunAll();
    EXPECT_TRUE(AllFinite(plug.Out())) << change;
  }
}

TEST(EffectTempo, OddRatesBlocksAndTemposGiveFiniteOutput)
{
  for (double rate : { 8000.0, 1234.5678, 384000.0 })
    for (int block : { 1, 17, 2027, 8192 })
      for (double tempo : { 0.0, -90.0, kNaN, 1e9, 1e-9 })
      {
        SCOPED_TRACE(testing::Message() << rate << " Hz, blocks of " << block << ", " << tempo << " bpm");
        Plug plug(rate, block);
        plug.Isolate(block % 25, block % 5, 100, 99);
        plug.Set(kPan, 90);
        plug.Set(kDry, 100);
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

// A host rendering offline gets the longer line a tempo drop needs before
// the block runs: the first echo lands where a line long enough from the
// start puts it, and renders are bit-identical, however fast the host is.
TEST(EffectTempo, OfflineRenderAfterATempoDropEqualsALongLineFromTheStart)
{
  const size_t drop = 50 * 512, impulse = 200 * 512, echo = 1411200;  // 4/1 at 30 bpm
  auto render = [&](bool offline)
  {
    Plug plug;
    if (!offline)
    {
      // The reference: resumed at the slowest tempo, so its line holds it.
      plug.host.SetTempo(30.0);
      plug.host.Dispatch(effMainsChanged, 0, 0);
      plug.host.Dispatch(effMainsChanged, 0, 1);
      plug.host.SetTempo(120.0);
    }
    plug.host.SetProcessLevel(offline ? kVstProcessLevelOffline : kVstProcessLevelRealtime);
    plug.Isolate(k4_1, kNormal);
    Stereo in = Noise(impulse + echo + 2048, 21);
    for (size_t i = impulse; i < in.Frames(); ++i) in.l[i] = in.r[i] = 0.0;
    in.l[impulse] = in.r[impulse] = 1.0;
    plug.Input(in);
    plug.Run(drop);
    plug.host.SetTempo(30.0);
    plug.RunAll();
    return plug.Out();
  };
  const Stereo reference = render(false);
  const Stereo first = render(true), second = render(true);
  EXPECT_TRUE(first.l == reference.l && first.r == reference.r);
  EXPECT_TRUE(second.l == first.l && second.r == first.r);
  // The noise before the impulse echoes too; the impulse's echo is the
  // only one left of it at this lookback.
  EXPECT_NE(first.r[impulse + echo], 0.0);
  EXPECT_NEAR(first.r[impulse + echo], 1.0, 1e-6);
}
