// Echo positions and gains of the real plug-in, seen from the host.
#include "EffectHarness.h"

using namespace effecttest;

namespace
{

// Expects an impulse response with pan +100: output 1 echoes at N, 3N, 5N…,
// output 0 at F, F + 2N, F + 4N…, each scaled by the feedback gain, and
// nothing anywhere else.
void ExpectPingPong(const Stereo& out, int nearTap, int farTap, float wet, float feedback)
{
  std::vector<size_t> atL, atR;
  std::vector<double> gains;
  double g = 1.0;
  for (size_t k = 0; nearTap + 2 * k * nearTap < out.Frames() && g != 0.0; ++k, g = (double)feedback * g)
  {
    if (farTap + 2 * k * nearTap < out.Frames()) atL.push_back(farTap + 2 * k * nearTap);
    atR.push_back(nearTap + 2 * k * nearTap);
    gains.push_back(1.0 * wet * g);
  }
  ASSERT_EQ(NonZero(out.l), atL);
  ASSERT_EQ(NonZero(out.r), atR);
  for (size_t k = 0; k < atL.size(); ++k) EXPECT_EQ(out.l[atL[k]], gains[k]) << "echo " << k;
  for (size_t k = 0; k < atR.size(); ++k) EXPECT_EQ(out.r[atR[k]], gains[k]) << "echo " << k;
}

}  // namespace

TEST(EffectEchoes, ImpulseResponsePerRateAndPingPongMode)
{
  // "1/4" at 120 bpm and 44.1 kHz is 22050 samples; far = near × factor.
  // 16537.5 rounds to 16538; 16538 × 4/3 + 0.5 truncates to 22051.
  struct Case
  {
    int rate, mode, nearTap, farTap, wet, feedback;
  };
  const Case cases[] = {
    { k1_4, kTriplet, 22050, 29400, 50, 60 }, { k1_4, kDotted, 22050, 33075, 50, 60 },
    { k1_4, kNormal, 22050, 44100, 50, 60 },  { k1_4, kTriplet2, 22050, 51450, 50, 60 },
    { k1_4, kDotted2, 22050, 55125, 50, 60 }, { k1_8D, kTriplet, 16538, 22051, 50, 60 },
    { k1_16, kNormal, 5513, 11026, 50, 60 },  { k1_8, kNormal, 11025, 22050, 100, 0 },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(testing::Message() << "rate " << c.rate << ", mode " << c.mode);
    Plug plug;
    plug.Isolate(c.rate, c.mode, c.wet, c.feedback);
    plug.Input(Impulse(c.farTap + 6 * c.nearTap + 1));
    plug.RunAll();
    ExpectPingPong(plug.Out(), c.nearTap, c.farTap, Gain(c.wet), Gain(c.feedback));
  }
}

TEST(EffectEchoes, MixesMatchTheSignalModel)
{
  struct Case
  {
    const char* name;
    int rate, mode, pan, feedback, dry, wet, nearTap, farTap;
    Stereo in;
    bool monoHost;
  };
  const Case cases[] = {
    { "defaults", k1_4, kNormal, 90, 60, 100, 50, 22050, 44100, Noise(120000, 3), false },
    { "pan 0", k1_16, kDotted, 0, 60, 0, 50, 5513, 8270, Impulse(60000), false },
    { "pan -100", k1_16, kNormal, -100, 80, 0, 70, 5513, 11026, Noise(40000, 1), false },
    { "dry only", k1_4, kNormal, 90, 99, 100, 0, 22050, 44100, Noise(100000, 2), false },
    // Half the impulse enters the line, half of that reaches each side.
    { "signal on input 0", k1_16, kNormal, 0, 50, 0, 100, 5513, 11026, Impulse(30000, 0, 1.0, 0.0), false },
    { "mono host", k1_16, kNormal, 100, 60, 100, 50, 5513, 11026, Noise(30000, 4), true },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.name);
    Plug plug;
    Stereo in = c.in;
    if (c.monoHost)
    {
      // Input 1 is never handed over and counts as silence.
      VstSpeakerArrangement inArr{}, outArr{};
      inArr.numChannels = 1;
      inArr.type = kSpeakerArrMono;
      outArr.numChannels = 2;
      outArr.type = kSpeakerArrStereo;
      EXPECT_EQ(plug.host.Dispatch(effSetSpeakerArrangement, 0, (VstIntPtr)&inArr, &outArr), 1);
      plug.inputs = 1;
      in.r.assign(in.Frames(), 0.0);
    }
    const int values[6] = { c.rate, c.mode, c.pan, c.feedback, c.dry, c.wet };
    for (int i = 0; i < 6; ++i) plug.Set(i, values[i]);
    plug.Input(c.in);
    plug.RunAll();
    const Stereo expected =
        Model{ c.nearTap, c.farTap, PanOf(c.pan), Gain(c.wet), Gain(c.feedback), Gain(c.dry) }.Run(in);
    EXPECT_EQ(plug.Out().l, expected.l);
    EXPECT_EQ(plug.Out().r, expected.r);
    EXPECT_TRUE(c.wet != 0 || (plug.Out().l == c.in.l && plug.Out().r == c.in.r));
  }
}

TEST(EffectEchoes, TapsOfAFewSamplesMatchTheSignalModel)
{
  // Taps shorter than the loops' steps: "1/64" at 165375 / N bpm is N
  // samples, so the feedback reads what the last few frames wrote.
  for (int nearTap : { 1, 2, 3, 4, 5 })
    for (int mode : { kNormal, kDotted })
    {
      SCOPED_TRACE(testing::Message() << "near " << nearTap << ", mode " << mode);
      const int farTap = mode == kNormal ? 2 * nearTap : (int)((float)nearTap * 1.5f + 0.5f);
      Plug plug(44100.0, 61);
      plug.host.SetTempo(165375.0 / nearTap);
      const int values[6] = { k1_64, mode, 40, 80, 30, 70 };
      for (int i = 0; i < 6; ++i) plug.Set(i, values[i]);
      const Stereo in = Noise(3000, 12);
      plug.Input(in);
      plug.RunAll();
      const Stereo expected = Model{ nearTap, farTap, PanOf(40), Gain(70), Gain(80), Gain(30) }.Run(in);
      ASSERT_EQ(plug.Out().l, expected.l);
      ASSERT_EQ(plug.Out().r, expected.r);
    }
}

TEST(EffectEchoes, SampleRatesAndBlockSizesGiveTheSameEchoes)
{
  // "1/16" is a sixteenth of four beats: sampleRate / 8.
  for (double rate : { 44100.0, 48000.0, 96000.0 })
    for (int block : { 1, 17, 512, 4096 })
    {
      SCOPED_TRACE(testing::Message() << rate << " Hz, blocks of " << block);
      const int nearTap = rate == 44100.0 ? 5513 : (int)rate / 8;
      Plug plug(rate, block);
      plug.Isolate(k1_16, kNormal, 50, 60);
      plug.Input(Impulse(7 * nearTap + 1));
      plug.RunAll();
      ExpectPingPong(plug.Out(), nearTap, 2 * nearTap, Gain(50), Gain(60));
    }
}

TEST(EffectEchoes, FloatPathsMatchTheDoublePath)
{
  Stereo in = Noise(50000, 5);
  // Float-exact input, so all paths see the same samples.
  for (size_t i = 0; i < in.Frames(); ++i) in.l[i] = (float)in.l[i], in.r[i] = (float)in.r[i];
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
