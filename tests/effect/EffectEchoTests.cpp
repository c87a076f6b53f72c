// Echo positions and gains of the real plug-in, seen from the host.
#include "EffectHarness.h"

#include <cmath>
#include <random>

using namespace effecttest;

namespace {

// Expects an impulse response with pan +100: output 1 echoes at N, 3N, 5N…,
// output 0 at F, F + 2N, F + 4N…, each scaled by the feedback gain, and
// nothing anywhere else.
void ExpectPingPong(const Stereo& out, int nearTap, int farTap, float wet, float feedback)
{
  std::vector<size_t> atL, atR;
  std::vector<double> gainL, gainR;
  double g = 1.0;
  for (size_t k = 0; nearTap + 2 * k * nearTap < out.Frames(); ++k)
  {
    if (farTap + 2 * k * nearTap < out.Frames())
    {
      atL.push_back(farTap + 2 * k * nearTap);
      gainL.push_back(1.0 * wet * g);
    }
    atR.push_back(nearTap + 2 * k * nearTap);
    gainR.push_back(1.0 * wet * g);
    g = (double)feedback * g;
  }
  ASSERT_EQ(NonZero(out.l), atL);
  ASSERT_EQ(NonZero(out.r), atR);
  for (size_t k = 0; k < atL.size(); ++k) EXPECT_EQ(out.l[atL[k]], gainL[k]) << "echo " << k;
  for (size_t k = 0; k < atR.size(); ++k) EXPECT_EQ(out.r[atR[k]], gainR[k]) << "echo " << k;
}

Stereo Noise(size_t frames, unsigned seed)
{
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Stereo s(frames);
  for (size_t i = 0; i < frames; ++i)
  {
    s.l[i] = u(rng);
    s.r[i] = u(rng);
  }
  return s;
}

}  // namespace

// ---------------------------------------------------------------- tap placement

TEST(EffectEchoes, EachPingPongModePlacesTheFarTap)
{
  // "1/4" at 120 bpm and 44.1 kHz is 22050 samples; far = near × factor.
  const int farTaps[5] = { 29400, 33075, 44100, 51450, 55125 };
  for (int mode = 0; mode < 5; ++mode)
  {
    SCOPED_TRACE(mode);
    Plug plug;
    plug.Isolate(k1_4, mode, 50, 60);
    plug.Input(Impulse(farTaps[mode] + 6 * 22050 + 1));
    plug.RunAll();
    ExpectPingPong(plug.Out(), 22050, farTaps[mode], Gain(50), Gain(60));
  }
}

TEST(EffectEchoes, OddNoteLengthsRoundHalvesUp)
{
  {
    // 16537.5 rounds to 16538; 16538 × 4/3 + 0.5 truncates to 22051.
    Plug plug;
    plug.Isolate(k1_8D, kTriplet, 50, 60);
    plug.Input(Impulse(22051 + 4 * 16538 + 1));
    plug.RunAll();
    ExpectPingPong(plug.Out(), 16538, 22051, Gain(50), Gain(60));
  }
  {
    Plug plug;
    plug.Isolate(k1_16, kNormal, 50, 60);
    plug.Input(Impulse(8 * 5513 + 1));
    plug.RunAll();
    ExpectPingPong(plug.Out(), 5513, 11026, Gain(50), Gain(60));
  }
}

// ---------------------------------------------------------------- gains

TEST(EffectEchoes, PanWidthZeroSplitsBothTapsEvenly)
{
  Plug plug;
  plug.Isolate(k1_16, kDotted, 50, 60);
  plug.Set(kPan, 0);
  const Stereo in = Impulse(60000);
  plug.Input(in);
  plug.RunAll();
  EXPECT_EQ(plug.Out().l, plug.Out().r);
  // Near 5513, far 8270: a quarter of each echo on both sides.
  EXPECT_EQ(plug.Out().l[5513], 0.25);
  EXPECT_EQ(plug.Out().l[8270], 0.25);
  EXPECT_EQ(plug.Out().l[5513 + 2 * 5513], 0.25 * (double)Gain(60));
  EXPECT_EQ(plug.Out().l, (Model{ 5513, 8270, 0.5f, Gain(50), Gain(60), 0.0f }.Run(in).l));
}

TEST(EffectEchoes, NegativePanWidthSwapsTheOutputs)
{
  const Stereo in = Noise(40000, 1);
  Plug right, left;
  right.Isolate(k1_16, kTriplet2, 70, 80);
  left.Isolate(k1_16, kTriplet2, 70, 80);
  left.Set(kPan, -100);
  // The line is mono and there is no dry signal, so only the sides swap.
  right.Input(in);
  left.Input(in);
  right.RunAll();
  left.RunAll();
  EXPECT_EQ(right.Out().l, left.Out().r);
  EXPECT_EQ(right.Out().r, left.Out().l);
  EXPECT_NE(right.Out().l, right.Out().r);
}

TEST(EffectEchoes, NoFeedbackGivesOneEchoPerSide)
{
  Plug plug;
  plug.Isolate(k1_8, kNormal, 100, 0);
  plug.Input(Impulse(200000));
  plug.RunAll();
  EXPECT_EQ(NonZero(plug.Out().r), std::vector<size_t>{ 11025 });
  EXPECT_EQ(NonZero(plug.Out().l), std::vector<size_t>{ 22050 });
  EXPECT_EQ(plug.Out().r[11025], 1.0);
}

TEST(EffectEchoes, DryOnlyPassesTheInputUnchanged)
{
  Plug plug;
  plug.Set(kWet, 0);
  plug.Set(kDry, 100);
  plug.Set(kFeedback, 99);
  const Stereo in = Noise(100000, 2);
  plug.Input(in);
  plug.RunAll();
  EXPECT_EQ(plug.Out().l, in.l);
  EXPECT_EQ(plug.Out().r, in.r);
}

TEST(EffectEchoes, DefaultsMixDryAndWetAsDocumented)
{
  // Defaults: "1/4" "Normal", pan 90, feedback 60, dry 100, wet 50.
  Plug plug;
  const Stereo in = Noise(120000, 3);
  plug.Input(in);
  plug.RunAll();
  const Stereo expected = Model{ 22050, 44100, PanOf(90), Gain(50), Gain(60), Gain(100) }.Run(in);
  EXPECT_EQ(plug.Out().l, expected.l);
  EXPECT_EQ(plug.Out().r, expected.r);
}

// ---------------------------------------------------------------- mono

TEST(EffectEchoes, MonoSignalEntersTheLineAtHalfLevel)
{
  Plug plug;
  plug.Isolate(k1_16, kNormal, 100, 50);
  plug.Set(kPan, 0);
  plug.Input(Impulse(30000, 0, 1.0, 0.0));
  plug.RunAll();
  // Half the impulse in the line, half of that on each side.
  EXPECT_EQ(plug.Out().l[5513], 0.25);
  EXPECT_EQ(plug.Out().r[5513], 0.25);
  EXPECT_EQ(plug.Out().r[11026], 0.25);
  EXPECT_EQ(plug.Out().r[3 * 5513], 0.25 * (double)Gain(50));
}

TEST(EffectEchoes, MonoHostReadsInputOneAsSilence)
{
  Stereo in = Noise(30000, 4);
  Plug mono;
  VstSpeakerArrangement inArr{}, outArr{};
  inArr.numChannels = 1;
  inArr.type = kSpeakerArrMono;
  outArr.numChannels = 2;
  outArr.type = kSpeakerArrStereo;
  EXPECT_EQ(mono.host.Dispatch(effSetSpeakerArrangement, 0, (VstIntPtr)&inArr, &outArr), 1);
  mono.inputs = 1;
  mono.Isolate(k1_16, kNormal, 50, 60);
  mono.Set(kDry, 100);
  mono.Input(in);
  mono.RunAll();

  in.r.assign(in.Frames(), 0.0);
  const Stereo expected = Model{ 5513, 11026, PanOf(100), Gain(50), Gain(60), Gain(100) }.Run(in);
  EXPECT_EQ(mono.Out().l, expected.l);
  EXPECT_EQ(mono.Out().r, expected.r);
}

// ---------------------------------------------------------------- rates, blocks and paths

TEST(EffectEchoes, SampleRatesAndBlockSizesGiveTheSameEchoes)
{
  // "1/16" is a sixteenth of four beats: sampleRate / 8.
  const double rates[3] = { 44100.0, 48000.0, 96000.0 };
  const int nearTaps[3] = { 5513, 6000, 12000 };
  for (int r = 0; r < 3; ++r)
    for (int block : { 1, 17, 512, 4096 })
    {
      SCOPED_TRACE(testing::Message() << rates[r] << " Hz, blocks of " << block);
      Plug plug(rates[r], block);
      plug.Isolate(k1_16, kNormal, 50, 60);
      plug.Input(Impulse(7 * nearTaps[r] + 1));
      plug.RunAll();
      ExpectPingPong(plug.Out(), nearTaps[r], 2 * nearTaps[r], Gain(50), Gain(60));
    }
}

TEST(EffectEchoes, FloatPathsMatchTheDoublePath)
{
  Stereo in = Noise(50000, 5);
  // Float-exact input, so both paths see the same samples.
  for (size_t i = 0; i < in.Frames(); ++i)
  {
    in.l[i] = (float)in.l[i];
    in.r[i] = (float)in.r[i];
  }
  for (int block : { 17, 512, 4096 })
  {
    SCOPED_TRACE(block);
    Plug d(44100.0, block), f(44100.0, block), a(44100.0, block);
    for (Plug* p : { &d, &f, &a })
    {
      p->Isolate(k1_16, kDotted2, 60, 70);
      p->Set(kDry, 80);
      p->Set(kPan, 30);
    }
    d.Input(in);
    f.Input(in);
    a.Input(in, 0.25);
    d.RunAll(Path::kDouble);
    f.RunAll(Path::kFloat);
    a.RunAll(Path::kAccumulate);
    for (size_t i = 0; i < in.Frames(); ++i)
    {
      ASSERT_EQ(f.Out().l[i], (double)(float)d.Out().l[i]) << i;
      ASSERT_EQ(f.Out().r[i], (double)(float)d.Out().r[i]) << i;
      ASSERT_EQ(a.Out().l[i], (double)(0.25f + (float)d.Out().l[i])) << i;
      ASSERT_EQ(a.Out().r[i], (double)(0.25f + (float)d.Out().r[i])) << i;
    }
  }
}
