// What a host sees of the plug-in before any audio: identity, parameters,
// programs and the factory presets' values.
#include "EffectHarness.h"

using namespace effecttest;

TEST(EffectIdentity, NamesNumbersAndFlags)
{
  Plug plug;
  quorvex::VstHost& h = plug.host;
  EXPECT_EQ(h.EffectName(), "Quorvex 2");
  EXPECT_EQ(h.VendorString(), "Vantu");
  EXPECT_EQ(h.ProductString(), "");
  EXPECT_EQ(h.NumParams(), 6);
  EXPECT_EQ(h.NumPrograms(), 25);
  EXPECT_EQ(h.NumInputs(), 2);
  EXPECT_EQ(h.NumOutputs(), 2);
  EXPECT_EQ((uint32_t)h.UniqueID(), 0x75673262u);
  EXPECT_EQ(h.Version(), 10200);
  EXPECT_EQ(h.VendorVersion(), 10200);
  // Editor, mono, replacing and double replacing; no chunks.
  EXPECT_EQ(h.Flags(), 0x1019);
  ERect* rect = nullptr;
  ASSERT_EQ(h.Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 210);
  EXPECT_EQ(rect->right, 545);
  EXPECT_EQ(h.Dispatch(effGetPlugCategory), kPlugCategEffect);
}

TEST(EffectIdentity, ParameterNamesLabelsDefaultsAndTexts)
{
  Plug plug;
  const char* names[6] = { "Delay Rate", "Ping Pong", "Pan Width", "Feedback", "Dry Mix", "Wet Mix" };
  const char* labels[6] = { "", "", "%", "%", "%", "%" };
  const char* shown[6] = { "1/4", "Normal", "90", "60", "100", "50" };
  const float normalised[6] = { 0.5f, 0.5f, 0.95f, (float)(60.0 / 99.0), 1.0f, 0.5f };
  for (int i = 0; i < 6; ++i)
  {
    SCOPED_TRACE(i);
    EXPECT_EQ(plug.host.ParamName(i), names[i]);
    EXPECT_EQ(plug.host.ParamLabel(i), labels[i]);
    EXPECT_EQ(plug.host.ParamDisplay(i), shown[i]);
    EXPECT_EQ(plug.host.GetParameter(i), normalised[i]);
  }
  EXPECT_EQ(plug.host.ParamName(6), "");

  const char* rates[25] = { "1/64", "1/32T", "1/64D", "1/32", "1/16T", "1/32D", "1/16", "1/8T", "1/16D",
                            "1/8",  "1/4T",  "1/8D",  "1/4",  "1/2T",  "1/4D",  "1/2",  "1/1T", "1/2D",
                            "1/1",  "2/1T",  "1/1D",  "2/1",  "4/1T",  "2/1D",  "4/1" };
  for (int i = 0; i < 25; ++i)
  {
    plug.Set(kRate, i);
    EXPECT_EQ(plug.host.ParamDisplay(kRate), rates[i]);
  }
  const char* modes[5] = { "Triplet", "Dotted", "Normal", "Triplet 2", "Dotted 2" };
  for (int i = 0; i < 5; ++i)
  {
    plug.Set(kMode, i);
    EXPECT_EQ(plug.host.ParamDisplay(kMode), modes[i]);
  }
  plug.Set(kPan, -100);
  EXPECT_EQ(plug.host.ParamDisplay(kPan), "-100");
  plug.Set(kFeedback, 99);
  EXPECT_EQ(plug.host.ParamDisplay(kFeedback), "99");
  EXPECT_EQ(plug.host.GetParameter(kFeedback), 1.0f);
}

TEST(EffectIdentity, ProgramNames)
{
  Plug plug;
  const char* names[21] = {
    "---- default ----",
    "Classic Delay",
    "Classic Delay Triplet",
    "Bright Room",
    "Dark Room",
    "Etheric Room",
    "Resonant Room",
    "Distant Echoes",
    "Distant Echoes 2",
    "Harp",
    "Long Delay",
    "Very Long Delay",
    "Don't Stop",
    "Light Drops",
    "Only Delay",
    "Quiet Delay",
    "Quiet Delay Dotted",
    "Relaxation",
    "Relaxation Dotted",
    "Stereo Enhanced",
    "Stereo Enhanced 2",
  };
  for (int i = 0; i < 21; ++i) EXPECT_EQ(plug.host.ProgramNameIndexed(i), names[i]) << i;
  for (int i = 21; i < 25; ++i)
    EXPECT_EQ(plug.host.ProgramNameIndexed(i), "- " + std::to_string(i + 1) + " -") << i;
  EXPECT_EQ(plug.host.ProgramName(), "---- default ----");
  EXPECT_EQ(plug.host.GetProgram(), 0);

  // Selecting an empty slot captures the live values under a user name.
  plug.host.SetProgram(22);
  EXPECT_EQ(plug.host.GetProgram(), 22);
  EXPECT_EQ(plug.host.ProgramNameIndexed(22), "user preset 1");
  EXPECT_EQ(plug.host.ProgramNameIndexed(21), "- 22 -");
  EXPECT_EQ(plug.host.ParamDisplay(kRate), "1/4");
}

TEST(EffectPresets, EveryFactoryPresetLoadsItsValues)
{
  // Delay Rate, Ping Pong, Pan Width, Feedback, Dry Mix, Wet Mix.
  const int presets[21][6] = {
    { 12, 2, 90, 60, 100, 50 }, { 9, 2, 90, 60, 70, 60 },   { 9, 0, 90, 60, 70, 60 },
    { 0, 2, 100, 60, 100, 70 }, { 1, 2, 90, 50, 60, 60 },   { 1, 2, 100, 90, 90, 50 },
    { 0, 2, 100, 80, 100, 60 }, { 21, 2, 100, 60, 60, 50 }, { 20, 2, 100, 70, 60, 40 },
    { 3, 2, 90, 80, 70, 50 },   { 9, 2, 90, 80, 80, 70 },   { 9, 2, 90, 90, 70, 50 },
    { 9, 2, 90, 96, 70, 50 },   { 2, 2, 90, 80, 70, 50 },   { 12, 2, 90, 60, 0, 90 },
    { 6, 2, 90, 80, 50, 30 },   { 6, 1, 90, 80, 50, 30 },   { 6, 2, 90, 80, 60, 40 },
    { 6, 4, 90, 80, 60, 40 },   { 9, 2, 100, 70, 100, 70 }, { 9, 0, 100, 70, 100, 70 },
  };
  Plug plug;
  for (int p = 20; p >= 0; --p)
  {
    plug.host.SetProgram(p);
    for (int i = 0; i < 6; ++i)
      EXPECT_EQ(plug.host.GetParameter(i), Normalised(i, presets[p][i]))
          << "preset " << p << ", parameter " << i;
  }
}

TEST(EffectPresets, OnlyDelayIsWetOnlyAndDontStopFeedsBackAlmostEverything)
{
  Plug only, dontStop;
  only.host.SetProgram(14);
  only.Input(Impulse(50000));
  only.RunAll();
  // Pan 90 is a balance of 0.95; the wet gain is 0.9 and nothing dry remains.
  EXPECT_EQ(only.Out().l[0], 0.0);
  EXPECT_EQ(only.Out().r[0], 0.0);
  EXPECT_EQ(only.Out().r[22050], (double)0.95f * (double)0.9f);
  EXPECT_EQ(only.Out().l[22050], (double)(float)(1.0f - 0.95f) * (double)0.9f);
  EXPECT_EQ(only.Out().l[44100], (double)0.95f * (double)0.9f);

  dontStop.host.SetProgram(12);
  dontStop.Input(Impulse(60000));
  dontStop.RunAll();
  // "1/8", dry 70: each echo on a side is the previous one times 0.96.
  const Stereo& out = dontStop.Out();
  EXPECT_EQ(out.r[0], (double)Gain(70));
  ASSERT_NE(out.r[11025], 0.0);
  EXPECT_EQ(out.r[3 * 11025], out.r[11025] * (double)0.96f);
  EXPECT_EQ(out.r[5 * 11025], out.r[11025] * ((double)0.96f * (double)0.96f));
}
