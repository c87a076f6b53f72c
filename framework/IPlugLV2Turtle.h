// The description of an LV2 bundle, written from a plug-in's parameter
// table and factory programs, so the ports a host reads never drift from
// the code: manifest.ttl, the plug-in's .ttl and presets.ttl.
#pragma once

#include "IPlugLV2.h"

#include <string>

struct IPlugLV2BundleInfo
{
  const char* mUri = "";
  const char* mBinary = "";       // the shared library, relative to the bundle
  const char* mTtl = "";          // the plug-in's description, relative to the bundle
  const char* mClass = "Plugin";  // an lv2core class name, e.g. "DelayPlugin"
  const char* mLicense = nullptr;
  // An X11 UI in a binary of its own, when not null.
  const char* mUiUri = nullptr;
  const char* mUiBinary = nullptr;
};

// [any thread] Writes the three files into dir, which must exist. The
// plug-in's parameters are read as they stand (their defaults, on a fresh
// instance); the initialised program slots become presets uri#preset-NN,
// numbered from 01, in slot order; selecting them changes the instance.
// False with *error set when a file cannot be written.
bool WriteLV2Bundle(IPlugLV2* plug, const IPlugLV2BundleInfo& info, const std::string& dir,
                    std::string* error);
