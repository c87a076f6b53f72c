// The exported LV2 entry point. Include this from exactly one source file
// of a plug-in, after defining LV2CLASS as the plug-in's class (a subclass
// of IPlugLV2 constructed from IPlugLV2InstanceInfo) and LV2URI as its URI.
#pragma once

#include "IPlugLV2.h"

#if !defined(LV2CLASS) || !defined(LV2URI)
#error "define LV2CLASS and LV2URI before including IPlugLV2Entry.h"
#endif

namespace
{

IPlugLV2* MakeLV2Plugin(const IPlugLV2InstanceInfo& info)
{
  LV2CLASS* plug = new LV2CLASS(info);
  plug->EnsureDefaultPreset();
  return plug;
}

LV2_Handle InstantiateLV2Plugin(const LV2_Descriptor* descriptor, double rate, const char* bundle,
                                const LV2_Feature* const* features)
{
  return IPlugLV2Instantiate(MakeLV2Plugin, descriptor, rate, bundle, features);
}

const LV2_Descriptor kLV2Descriptor = {
  LV2URI,      InstantiateLV2Plugin, IPlugLV2ConnectPort, IPlugLV2Activate,
  IPlugLV2Run, IPlugLV2Deactivate,   IPlugLV2Cleanup,     IPlugLV2ExtensionData,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
  return index == 0 ? &kLV2Descriptor : nullptr;
}
