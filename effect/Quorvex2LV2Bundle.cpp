// Writes the LV2 bundle's description (manifest.ttl, Quorvex2.ttl,
// presets.ttl) into the folder given, from the plug-in as built.
//   quorvex-lv2-bundle FOLDER
#include "IPlugLV2Turtle.h"
#include "Quorvex2.h"

#include <cstdio>

int main(int argc, char** argv)
{
  if (argc != 2)
  {
    std::fprintf(stderr, "usage: quorvex-lv2-bundle FOLDER\n");
    return 2;
  }
  IPlugLV2InstanceInfo host;
  host.mPluginUri = QUORVEX_LV2_URI;
  Quorvex2 plug(host);
  plug.EnsureDefaultPreset();
  IPlugLV2BundleInfo info;
  info.mUri = QUORVEX_LV2_URI;
  info.mBinary = "Quorvex2.so";
  info.mTtl = "Quorvex2.ttl";
  info.mClass = "DelayPlugin";
  info.mUiUri = QUORVEX_LV2_URI "#ui";
  info.mUiBinary = "Quorvex2_ui.so";
  std::string error;
  if (!WriteLV2Bundle(&plug, info, argv[1], &error))
  {
    std::fprintf(stderr, "quorvex-lv2-bundle: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
