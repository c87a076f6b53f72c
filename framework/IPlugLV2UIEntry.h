// The exported LV2 UI entry point. Include this from exactly one source
// file of a plug-in's UI binary, after defining LV2UICLASS as the class (a
// subclass of IPlugLV2UI constructed from IPlugLV2UIInstanceInfo) and
// LV2UIURI as the UI's URI.
#pragma once

#include "IPlugLV2UI.h"

#if !defined(LV2UICLASS) || !defined(LV2UIURI)
#error "define LV2UICLASS and LV2UIURI before including IPlugLV2UIEntry.h"
#endif

namespace
{

IPlugLV2UI* MakeLV2UI(const IPlugLV2UIInstanceInfo& info) { return new LV2UICLASS(info); }

LV2UI_Handle InstantiateLV2UI(const LV2UI_Descriptor*, const char*, const char*, LV2UI_Write_Function write,
                              LV2UI_Controller controller, LV2UI_Widget* widget,
                              const LV2_Feature* const* features)
{
  return IPlugLV2UIInstantiate(MakeLV2UI, write, controller, widget, features);
}

const LV2UI_Descriptor kLV2UIDescriptor = {
  LV2UIURI, InstantiateLV2UI, IPlugLV2UICleanup, IPlugLV2UIPortEvent, IPlugLV2UIExtensionData,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index)
{
  return index == 0 ? &kLV2UIDescriptor : nullptr;
}
