// What the LV2 build renders: echoes at the samples the tempo asks for, the
// tempo taken from time:Position (120 bpm without one), and the same bits
// as the VST 2 build's processReplacing under the same tempo automation.
#include "LV2TestHost.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace lv2test;

TEST(LV2Echoes, AnImpulseEchoesWhereTheTempoPutsIt)
{
  // "1/4" is a beat: 22050 samples at 120 bpm, 17640 at 150, 29400 at 90
  // (44.1 kHz). The far tap is the near one times the ping-pong factor.
  struct Case
  {
    const char* name;
    int rate, mode;
    double bpm;       // 0: no position at all
    uint32_t offset;  // of the position in the first run
    double earlier;   // a position before it in the same run (0: none)
    bool connectTime;
    size_t nearTap, farTap;
  };
  const Case cases[] = {
    { "1/4 triplet", k1_4, kTriplet, 120, 0, 0, true, 22050, 29400 },
    { "1/4 dotted", k1_4, kDotted, 120, 0, 0, true, 22050, 33075 },
    { "1/4 normal", k1_4, kNormal, 120, 0, 0, true, 22050, 44100 },
    { "1/4 triplet 2", k1_4, kTriplet2, 120, 0, 0, true, 22050, 51450 },
    { "1/4 dotted 2", k1_4, kDotted2, 120, 0, 0, true, 22050, 55125 },
    { "1/8D triplet", k1_8D, kTriplet, 120, 0, 0, true, 16538, 22051 },
    { "150 bpm", k1_4, kNormal, 150, 0, 0, true, 17640, 35280 },
    { "90 bpm", k1_4, kNormal, 90, 0, 0, true, 29400, 58800 },
    { "150 bpm arriving mid-run", k1_4, kNormal, 150, 300, 0, true, 17640, 35280 },
    { "90 then 150 bpm in one run: the last counts", k1_4, kNormal, 150, 300, 90, true, 17640, 35280 },
    { "no position", k1_4, kNormal, 0, 0, 0, true, 22050, 44100 },
    { "no transport port", k1_4, kNormal, 0, 0, 0, false, 22050, 44100 },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.name);
    HostSetup setup;
    setup.connectTime = c.connectTime;
    Instance plug(setup);
    ASSERT_TRUE(plug.Ok());
    plug.Isolate(c.rate, c.mode);
    if (c.earlier > 0) plug.SendTempo(c.earlier, 0);
    if (c.bpm > 0) plug.SendTempo(c.bpm, c.offset);
    const Stereo out = Render(plug, Impulse(c.farTap + 1000), 512, {});
    EXPECT_EQ(NonZero(out.r), std::vector<size_t>{ c.nearTap });
    EXPECT_EQ(NonZero(out.l), std::vector<size_t>{ c.farTap });
    EXPECT_EQ(out.r[c.nearTap], 1.0f);
    EXPECT_EQ(out.l[c.farTap], 1.0f);
  }
}

TEST(LV2Echoes, OutputEqualsTheVst2BuildBitForBitAtAnyBlockSize)
{
  struct Setting
  {
    const char* name;
    float values[kNumParams];
  };
  const Setting settings[] = {
    { "defaults", { k1_4, kNormal, 90, 60, 100, 50 } },
    { "1/8D triplet", { k1_8D, kTriplet, -40, 85, 30, 80 } },
    { "1/32T triplet 2, feedback 99", { 1, kTriplet2, 0, 99, 70, 100 } },
  };
  // Tempo automation that never falls below half of 120 bpm, the tempo
  // both lines are sized for; the changes fall inside blocks of every size.
  const std::vector<TempoChange> tempo = { { 0, 120.0 }, { 23456, 150.0 }, { 61234, 90.0 } };
  Stereo in = Noise(100000, 7);
  for (size_t at : { 1000, 30000, 70000 }) in.l[at] = in.r[at] = 1.0f;

  for (const Setting& s : settings)
    for (int block : { 1, 61, 512, 4096 })
    {
      SCOPED_TRACE(testing::Message() << s.name << ", blocks of " << block);
      HostSetup setup;
      setup.blockLength = block;
      Instance plug(setup);
      ASSERT_TRUE(plug.Ok());
      VstTwin vst(44100.0, block);
      for (int i = 0; i < kNumParams; ++i)
      {
        plug.Set(i, s.values[i]);
        vst.Set(i, s.values[i]);
      }
      const Stereo lv2 = Render(plug, in, block, tempo);
      const Stereo reference = vst.Render(in, block, tempo);
      EXPECT_EQ(FirstDifference(lv2, reference), in.Frames());
      EXPECT_NE(lv2.l, in.l);
    }
}
