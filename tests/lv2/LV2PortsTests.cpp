// The bundle as a host reads it through lilv (what lv2info prints): the
// plug-in, its ports in index order and its presets. Names, scale-point
// labels and preset labels are those of the VST 2 build.
#include "LV2TestHost.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

using namespace lv2test;

namespace
{

enum Kind
{
  kControlIn,
  kAudioIn,
  kAudioOut,
  kAtomIn
};

struct PortCase
{
  const char* symbol;
  Kind kind;
  float def, min, max;
  int scalePoints;
  bool optional;  // lv2:connectionOptional
};

// Index order is the array order. Names are checked against the VST 2 build.
const PortCase kPortCases[kNumPorts] = {
  { "delay_rate", kControlIn, 12, 0, 24, 25, false },   { "ping_pong", kControlIn, 2, 0, 4, 5, false },
  { "pan_width", kControlIn, 90, -100, 100, 0, false }, { "feedback", kControlIn, 60, 0, 99, 0, false },
  { "dry_mix", kControlIn, 100, 0, 100, 0, false },     { "wet_mix", kControlIn, 50, 0, 100, 0, false },
  { "in_l", kAudioIn, NAN, NAN, NAN, 0, false },        { "in_r", kAudioIn, NAN, NAN, NAN, 0, false },
  { "out_l", kAudioOut, NAN, NAN, NAN, 0, false },      { "out_r", kAudioOut, NAN, NAN, NAN, 0, false },
  { "time_in", kAtomIn, NAN, NAN, NAN, 0, true },       { "freewheel", kControlIn, 0, 0, 1, 0, true },
};

const char* const kAudioNames[4] = { "In L", "In R", "Out L", "Out R" };

bool NodeIs(const LilvNode* n, float v)
{
  if (std::isnan(v)) return n == nullptr;
  return n && (lilv_node_is_float(n) || lilv_node_is_int(n)) && lilv_node_as_float(n) == v;
}

bool Contains(const LilvNodes* nodes, const char* uri)
{
  Node n = World::Get().Uri(uri);
  return nodes && lilv_nodes_contains(nodes, n.get());
}

}  // namespace

TEST(LV2Ports, ThePluginAsAHostReadsIt)
{
  World& world = World::Get();
  const LilvPlugin* plugin = world.Plugin();
  ASSERT_NE(plugin, nullptr) << "no " << kPluginUri << " in " << QUORVEX_LV2_BUNDLE_DIR;
  Node name(lilv_plugin_get_name(plugin));
  EXPECT_STREQ(lilv_node_as_string(name.get()), "Quorvex 2");
  const std::string library = lilv_node_as_uri(lilv_plugin_get_library_uri(plugin));
  EXPECT_EQ(library.substr(library.size() - 12), "/Quorvex2.so");

  // Every feature optional: a host that offers none can run it.
  LilvNodes* required = lilv_plugin_get_required_features(plugin);
  EXPECT_EQ(lilv_nodes_size(required), 0u);
  lilv_nodes_free(required);
  LilvNodes* optional = lilv_plugin_get_optional_features(plugin);
  for (const char* f : { LV2_URID__map, LV2_WORKER__schedule, LV2_OPTIONS__options })
    EXPECT_TRUE(Contains(optional, f)) << f;
  lilv_nodes_free(optional);
  LilvNodes* extensions = lilv_plugin_get_extension_data(plugin);
  for (const char* e : { LV2_STATE__interface, LV2_WORKER__interface })
    EXPECT_TRUE(Contains(extensions, e)) << e;
  lilv_nodes_free(extensions);
}

TEST(LV2Ports, IndexesSymbolsNamesTypesRangesAndProperties)
{
  World& world = World::Get();
  const LilvPlugin* plugin = world.Plugin();
  ASSERT_NE(plugin, nullptr);
  ASSERT_EQ(lilv_plugin_get_num_ports(plugin), (uint32_t)kNumPorts);
  VstTwin vst;

  Node input = world.Uri(LV2_CORE__InputPort), output = world.Uri(LV2_CORE__OutputPort);
  Node control = world.Uri(LV2_CORE__ControlPort), audio = world.Uri(LV2_CORE__AudioPort);
  Node atomPort = world.Uri(LV2_ATOM__AtomPort), optionalProp = world.Uri(LV2_CORE__connectionOptional);
  Node bufferType = world.Uri(LV2_ATOM__bufferType), sequence = world.Uri(LV2_ATOM__Sequence);
  Node position = world.Uri(LV2_TIME__Position), freeWheeling = world.Uri(LV2_CORE__freeWheeling);
  Node designation = world.Uri(LV2_CORE__designation);

  for (int i = 0; i < kNumPorts; ++i)
  {
    const PortCase& c = kPortCases[i];
    SCOPED_TRACE(c.symbol);
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, (uint32_t)i);
    ASSERT_NE(port, nullptr);
    EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(plugin, port)), c.symbol);
    Node portName(lilv_port_get_name(plugin, port));
    const std::string expectName = i < kNumParams ? vst.host.ParamName(i)
                                   : i < kTimeIn  ? kAudioNames[i - kInL]
                                   : i == kTimeIn ? "Transport"
                                                  : "Freewheel";
    EXPECT_EQ(lilv_node_as_string(portName.get()), expectName);

    EXPECT_EQ(lilv_port_is_a(plugin, port, input.get()), c.kind != kAudioOut);
    EXPECT_EQ(lilv_port_is_a(plugin, port, output.get()), c.kind == kAudioOut);
    EXPECT_EQ(lilv_port_is_a(plugin, port, control.get()), c.kind == kControlIn);
    EXPECT_EQ(lilv_port_is_a(plugin, port, audio.get()), c.kind == kAudioIn || c.kind == kAudioOut);
    EXPECT_EQ(lilv_port_is_a(plugin, port, atomPort.get()), c.kind == kAtomIn);
    EXPECT_EQ(lilv_port_has_property(plugin, port, optionalProp.get()), c.optional);

    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(plugin, port, &def, &min, &max);
    EXPECT_TRUE(NodeIs(def, c.def)) << "default";
    EXPECT_TRUE(NodeIs(min, c.min)) << "minimum";
    EXPECT_TRUE(NodeIs(max, c.max)) << "maximum";
    lilv_node_free(def), lilv_node_free(min), lilv_node_free(max);
    // The defaults are the VST 2 build's.
    if (i < kNumParams)
    {
      EXPECT_EQ(vst.Plain(i), c.def);
    }

    // Scale points: one per value, labelled as the VST 2 build displays it.
    LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
    EXPECT_EQ(points ? (int)lilv_scale_points_size(points) : 0, c.scalePoints);
    std::map<int, std::string> labels;
    LILV_FOREACH(scale_points, it, points)
    {
      const LilvScalePoint* p = lilv_scale_points_get(points, it);
      labels[(int)lilv_node_as_float(lilv_scale_point_get_value(p))] =
          lilv_node_as_string(lilv_scale_point_get_label(p));
    }
    lilv_scale_points_free(points);
    EXPECT_EQ((int)labels.size(), c.scalePoints) << "values repeat";
    for (const auto& [value, label] : labels)
    {
      vst.Set(i, value);
      EXPECT_EQ(label, vst.host.ParamDisplay(i)) << "value " << value;
    }

    LilvNodes* types = lilv_port_get_value(plugin, port, bufferType.get());
    EXPECT_EQ(types && lilv_nodes_contains(types, sequence.get()), c.kind == kAtomIn);
    lilv_nodes_free(types);
    EXPECT_EQ(lilv_port_supports_event(plugin, port, position.get()), c.kind == kAtomIn);
    LilvNodes* designations = lilv_port_get_value(plugin, port, designation.get());
    EXPECT_EQ(designations && lilv_nodes_contains(designations, freeWheeling.get()), i == kFreewheel);
    lilv_nodes_free(designations);
  }
  const LilvPort* fw = lilv_plugin_get_port_by_designation(plugin, input.get(), freeWheeling.get());
  ASSERT_NE(fw, nullptr);
  EXPECT_EQ(lilv_port_get_index(plugin, fw), (uint32_t)kFreewheel);
}

TEST(LV2Ports, TheFactoryProgramsArePresetsInSlotOrder)
{
  World& world = World::Get();
  const LilvPlugin* plugin = world.Plugin();
  ASSERT_NE(plugin, nullptr);
  VstTwin vst;
  ASSERT_EQ(vst.host.NumPrograms(), kNumSlots);

  Node presetClass = world.Uri(LV2_PRESETS__Preset), label = world.Uri(LILV_NS_RDFS "label");
  LilvNodes* presets = lilv_plugin_get_related(plugin, presetClass.get());
  ASSERT_NE(presets, nullptr);
  EXPECT_EQ(lilv_nodes_size(presets), (unsigned)kNumFactoryPresets);
  for (int slot = 0; slot < kNumFactoryPresets; ++slot)
  {
    const std::string uri = PresetUri(slot);
    SCOPED_TRACE(uri);
    Node preset = world.Uri(uri.c_str());
    ASSERT_TRUE(lilv_nodes_contains(presets, preset.get()));
    lilv_world_load_resource(world.Lilv(), preset.get());
    Node text(lilv_world_get(world.Lilv(), preset.get(), label.get(), nullptr));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(lilv_node_as_string(text.get()), vst.host.ProgramNameIndexed(slot));
  }
  lilv_nodes_free(presets);
}
