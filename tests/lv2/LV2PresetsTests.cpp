// The 21 presets as a host loads them (lilv_state_new_from_world): each
// label and value is the VST 2 build's program in the same slot, and
// applied to the ports it sounds as that program does.
#include "LV2TestHost.h"

#include <lv2/atom/atom.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>

using namespace lv2test;

namespace
{

// Port values as lilv hands them over: numbers of any atom type.
struct PortValues
{
  std::map<std::string, double> values;
  bool unknownType = false;
};

void Collect(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type)
{
  PortValues* out = static_cast<PortValues*>(user);
  double v;
  if (AtomNumber(value, size, type, &v))
    out->values[symbol] = v;
  else
    out->unknownType = true;
}

}  // namespace

TEST(LV2Presets, EachHoldsTheVst2ProgramOfItsSlotAndSoundsAsIt)
{
  World& world = World::Get();
  const LilvPlugin* plugin = world.Plugin();
  ASSERT_NE(plugin, nullptr);
  const Stereo in = Noise(30000, 40);
  for (int slot = 0; slot < kNumFactoryPresets; ++slot)
  {
    const std::string uri = PresetUri(slot);
    SCOPED_TRACE(uri);
    Node preset = world.Uri(uri.c_str());
    lilv_world_load_resource(world.Lilv(), preset.get());
    LilvState* state = lilv_state_new_from_world(world.Lilv(), world.Urids().MapFeature(), preset.get());
    ASSERT_NE(state, nullptr);

    VstTwin vst;
    vst.host.SetProgram(slot);
    ASSERT_EQ(vst.host.GetProgram(), slot);
    EXPECT_EQ(lilv_state_get_label(state), vst.host.ProgramNameIndexed(slot));
    PortValues values;
    lilv_state_emit_port_values(state, Collect, &values);
    EXPECT_FALSE(values.unknownType);
    EXPECT_EQ(values.values.size(), (size_t)kNumParams);
    for (int i = 0; i < kNumParams; ++i)
    {
      const char* symbol =
          lilv_node_as_string(lilv_port_get_symbol(plugin, lilv_plugin_get_port_by_index(plugin, i)));
      ASSERT_EQ(values.values.count(symbol), 1u) << symbol;
      EXPECT_EQ(values.values[symbol], vst.Plain(i)) << symbol;
    }

    // Through the host's port setter, as a preset menu does.
    Instance plug;
    ASSERT_TRUE(plug.Ok());
    lilv_state_restore(state, plug.Lilv(), SetPortValue, &plug, 0, nullptr);
    lilv_state_free(state);
    const Stereo lv2 = Render(plug, in, 512, {});
    const Stereo reference = vst.Render(in, 512, {});
    EXPECT_EQ(FirstDifference(lv2, reference), in.Frames());
  }
}
