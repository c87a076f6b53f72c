// The state: the bank (program slots with their names) and the current
// program, nothing else. It goes through lilv and a saved session's text
// unchanged, is the VST 2 build's bank chunk byte for byte, never moves a
// parameter away from its port, and a refused restore changes nothing.
#include "LV2TestHost.h"

#include <lv2/atom/atom.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>

using namespace lv2test;

namespace
{

LV2_URID Urid(const char* uri) { return World::Get().Urids().Map(uri); }

// A bank unlike the factory one, made by the VST 2 build: slot 3 renamed,
// slot 22 stored and named, program 7 current.
struct CustomBank
{
  std::vector<uint8_t> bytes;
  std::vector<std::string> names;
  static constexpr int32_t kProgram = 7;
};

CustomBank MakeCustomBank()
{
  VstTwin vst;
  vst.host.SetProgram(3);
  vst.host.Dispatch(effSetProgramName, 0, 0, (void*)"Round Trip");
  vst.host.SetProgram(22);
  vst.host.Dispatch(effSetProgramName, 0, 0, (void*)"Slot \"23\" \\ quoted");
  vst.host.SetProgram(CustomBank::kProgram);
  CustomBank bank;
  bank.bytes = vst.host.GetChunk(false);
  for (int i = 0; i < kNumSlots; ++i) bank.names.push_back(vst.host.ProgramNameIndexed(i));
  EXPECT_EQ(bank.names[3], "Round Trip");
  return bank;
}

std::vector<std::string> NamesInVst(const std::vector<uint8_t>& bank)
{
  VstTwin vst;
  EXPECT_NE(vst.host.SetChunk(bank, false), 0);
  std::vector<std::string> names;
  for (int i = 0; i < kNumSlots; ++i) names.push_back(vst.host.ProgramNameIndexed(i));
  return names;
}

Bank Saved(Instance& plug)
{
  std::vector<Property> props;
  EXPECT_EQ(plug.Save(&props), LV2_STATE_SUCCESS);
  const Bank bank = BankOf(props);
  EXPECT_TRUE(bank.ok) << "the state holds the bank and the program, nothing else";
  return bank;
}

}  // namespace

TEST(LV2State, TheBankGoesThroughLilvAndASessionsTextUnchanged)
{
  World& world = World::Get();
  ASSERT_NE(world.Plugin(), nullptr);
  const CustomBank custom = MakeCustomBank();

  // A fresh instance saves the factory bank as the VST 2 build does.
  Instance a;
  ASSERT_TRUE(a.Ok());
  {
    VstTwin vst;
    const Bank factory = Saved(a);
    EXPECT_EQ(factory.bytes, vst.host.GetChunk(false));
    EXPECT_EQ(factory.program, 0);
  }
  ASSERT_EQ(a.Restore(BankProperties(custom.bytes, CustomBank::kProgram)), LV2_STATE_SUCCESS);
  Bank bank = Saved(a);
  EXPECT_EQ(bank.bytes, custom.bytes);
  EXPECT_EQ(bank.program, CustomBank::kProgram);

  // Saved by lilv with the port values, written out as a session's text,
  // read back and restored into another instance.
  a.Isolate(k1_8, kDotted, 60, 40);
  a.Set(qtest::kPan, -30.0f);
  LilvState* state = lilv_state_new_from_instance(world.Plugin(), a.Lilv(), world.Urids().MapFeature(),
                                                  nullptr, nullptr, nullptr, nullptr, GetPortValue, &a,
                                                  LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
  ASSERT_NE(state, nullptr);
  char* text = lilv_state_to_string(world.Lilv(), world.Urids().MapFeature(), world.Urids().UnmapFeature(),
                                    state, "urn:quorvex:test:session-state", nullptr);
  lilv_state_free(state);
  ASSERT_NE(text, nullptr);
  LilvState* loaded = lilv_state_new_from_string(world.Lilv(), world.Urids().MapFeature(), text);
  lilv_free(text);
  ASSERT_NE(loaded, nullptr);
  Instance b;
  lilv_state_restore(loaded, b.Lilv(), SetPortValue, &b, 0, nullptr);
  lilv_state_free(loaded);
  for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(b.Get(i), a.Get(i)) << "port " << i;
  bank = Saved(b);
  EXPECT_EQ(bank.bytes, custom.bytes);
  EXPECT_EQ(bank.program, CustomBank::kProgram);

  // The names are the VST 2 build's, every slot.
  EXPECT_EQ(NamesInVst(bank.bytes), custom.names);
}

TEST(LV2State, ARefusedRestoreReturnsAnErrorAndChangesNothing)
{
  const CustomBank custom = MakeCustomBank();
  const std::vector<Property> good = BankProperties(custom.bytes, CustomBank::kProgram);
  auto with = [&](auto change)
  {
    std::vector<Property> props = good;
    change(props);
    return props;
  };
  // A value of the bank made NaN: the first double 60.0 (slot 0's feedback).
  std::vector<uint8_t> nanBank = custom.bytes;
  {
    const double sixty = 60.0, nan = std::numeric_limits<double>::quiet_NaN();
    uint8_t pattern[8];
    std::memcpy(pattern, &sixty, 8);
    auto at = std::search(nanBank.begin(), nanBank.end(), pattern, pattern + 8);
    ASSERT_NE(at, nanBank.end());
    std::memcpy(&*at, &nan, 8);
  }
  std::vector<uint8_t> randomBank(custom.bytes.size());
  std::mt19937 rng(5);
  for (uint8_t& b : randomBank) b = (uint8_t)rng();

  struct Case
  {
    const char* name;
    std::vector<Property> props;
  };
  const int32_t big = std::numeric_limits<int32_t>::max();
  const Case cases[] = {
    { "bank as atom:String", with([](auto& p) { p[0].type = Urid(LV2_ATOM__String); }) },
    { "no bank", with([](auto& p) { p.erase(p.begin()); }) },
    { "empty bank", with([](auto& p) { p[0].value.clear(); }) },
    { "bank cut in half", with([](auto& p) { p[0].value.resize(p[0].value.size() / 2); }) },
    { "bank one byte short", with([](auto& p) { p[0].value.pop_back(); }) },
    { "bank one byte long", with([](auto& p) { p[0].value.push_back(0); }) },
    { "bank header damaged", with([](auto& p) { p[0].value[0] ^= 0xff; }) },
    { "a value NaN", with([&](auto& p) { p[0].value = nanBank; }) },
    { "random bytes", with([&](auto& p) { p[0].value = randomBank; }) },
    { "program 25", BankProperties(custom.bytes, kNumSlots) },
    { "program -2", BankProperties(custom.bytes, -2) },
    { "program 2^31-1", BankProperties(custom.bytes, big) },
    { "program as atom:Long", with(
                                  [](auto& p)
                                  {
                                    p[1].type = Urid(LV2_ATOM__Long);
                                    p[1].value.resize(8, 0);
                                  }) },
    { "program of two bytes", with([](auto& p) { p[1].value.resize(2); }) },
    { "program as atom:Float", with([](auto& p) { p[1].type = Urid(LV2_ATOM__Float); }) },
  };

  Instance plug;
  ASSERT_TRUE(plug.Ok());
  ASSERT_EQ(plug.Restore(good), LV2_STATE_SUCCESS);
  plug.Isolate(k1_8, kDotted);
  const Bank before = Saved(plug);
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.name);
    EXPECT_NE(plug.Restore(c.props), LV2_STATE_SUCCESS);
    const Bank after = Saved(plug);
    EXPECT_EQ(after.bytes, before.bytes);
    EXPECT_EQ(after.program, before.program);
  }
  // The ports still rule: "1/8" (11025) with its dotted far tap (16538).
  const Stereo out = Render(plug, Impulse(20000), 512, {});
  EXPECT_EQ(NonZero(out.r), std::vector<size_t>{ 11025 });
  EXPECT_EQ(NonZero(out.l), std::vector<size_t>{ 16538 });

  // Without urid:map there are no keys to store under: both refused.
  HostSetup noMap;
  noMap.map = false;
  Instance bare(noMap);
  ASSERT_TRUE(bare.Ok());
  std::vector<Property> props;
  EXPECT_NE(bare.Save(&props), LV2_STATE_SUCCESS);
  EXPECT_TRUE(props.empty());
  EXPECT_NE(bare.Restore(good), LV2_STATE_SUCCESS);
  bare.Isolate(k1_8, kDotted);
  const Stereo bareOut = Render(bare, Impulse(20000), 512, {});
  EXPECT_EQ(bareOut, out);
}

TEST(LV2State, ARestoreNeverMovesAParameterAwayFromItsPort)
{
  // Program 14 ("Only Delay") current in the bank restored: its values
  // differ from the ports', which keep sounding.
  const CustomBank custom = MakeCustomBank();
  Instance restored, untouched;
  ASSERT_TRUE(restored.Ok() && untouched.Ok());
  const float ports[kNumParams] = { k1_16, kTriplet2, 30, 70, 20, 90 };
  for (int i = 0; i < kNumParams; ++i) restored.Set(i, ports[i]), untouched.Set(i, ports[i]);
  const Stereo in = Noise(60000, 3);
  Stereo a = Render(restored, in, 512, {}), b = Render(untouched, in, 512, {});
  ASSERT_EQ(restored.Restore(BankProperties(custom.bytes, 14)), LV2_STATE_SUCCESS);
  EXPECT_EQ(Saved(restored).program, 14);
  a = Render(restored, in, 512, {});
  b = Render(untouched, in, 512, {});
  EXPECT_EQ(FirstDifference(a, b), in.Frames());
}
