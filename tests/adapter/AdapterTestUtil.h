// Loads a test plug-in module through the reference host and reaches its
// side channel (TestPlug_GetLog / TestPlug_Command) by symbol.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "TestPlug.h"
#include "VstHost.h"

namespace adaptertest {

class Plug
{
public:
  // Loads, and unless told otherwise opens the instance (44.1 kHz, 512).
  explicit Plug(const char* path, bool open = true)
  {
    const std::string error = host.Load(path);
    EXPECT_EQ(error, "");
    // The module is already loaded: this only takes a second reference.
    mLibrary = error.empty() ? dlopen(path, RTLD_NOW | RTLD_NOLOAD) : nullptr;
    if (!mLibrary) return;
    mGetLog = (TestPlugGetLogProc)dlsym(mLibrary, "TestPlug_GetLog");
    mClearLog = (TestPlugClearLogProc)dlsym(mLibrary, "TestPlug_ClearLog");
    mCommand = (TestPlugCommandProc)dlsym(mLibrary, "TestPlug_Command");
    if (open) host.Open();
  }
  ~Plug()
  {
    if (mLibrary) dlclose(mLibrary);
  }
  Plug(const Plug&) = delete;
  Plug& operator=(const Plug&) = delete;

  bool Ok() const { return host.IsLoaded() && mGetLog && mClearLog && mCommand; }
  AEffect* Fx() const { return host.Effect(); }

  // Refreshed on every call: host code, values and ranges are read live.
  const TestPlugLog& Log() { return *mGetLog(Fx()); }
  void ClearLog()
  {
    mClearLog(Fx());
    host.ClearCalls();
    host.ClearEvents();
  }
  double Cmd(int command, int a = 0, double v = 0.0) { return mCommand(Fx(), command, a, v); }
  double Value(int param) { return Log().values[param]; }

  // One replacing block of silence, enough to run queued commands.
  void Process(int frames = 64)
  {
    std::vector<float> buf(4 * frames);
    float* ins[2] = { &buf[0], &buf[frames] };
    float* outs[2] = { &buf[2 * frames], &buf[3 * frames] };
    host.ProcessReplacing(ins, outs, frames);
  }

  quorvex::VstHost host;

private:
  void* mLibrary = nullptr;
  TestPlugGetLogProc mGetLog = nullptr;
  TestPlugClearLogProc mClearLog = nullptr;
  TestPlugCommandProc mCommand = nullptr;
};

inline void ExpectParamsInRange(Plug& plug)
{
  const TestPlugLog& log = plug.Log();
  for (int i = 0; i < kTPNumParams; ++i)
  {
    EXPECT_GE(log.values[i], log.minValues[i]) << "parameter " << i;
    EXPECT_LE(log.values[i], log.maxValues[i]) << "parameter " << i;
    const float n = plug.host.GetParameter(i);
    EXPECT_TRUE(n >= 0.0f && n <= 1.0f) << "parameter " << i << ": " << n;
  }
}

// Little-endian chunk bytes.
inline double DoubleAt(const std::vector<uint8_t>& b, size_t pos)
{
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | b[pos + i];
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

// The edit traffic the host saw, in order: "begin 2", "automate 2", "end 2".
inline std::vector<std::string> EditCalls(const quorvex::VstHost& host)
{
  std::vector<std::string> out;
  for (const quorvex::HostCall& c : host.CallsCopy())
  {
    const char* what = c.opcode == audioMasterAutomate   ? "automate"
                       : c.opcode == audioMasterBeginEdit ? "begin"
                       : c.opcode == audioMasterEndEdit   ? "end"
                                                          : nullptr;
    if (what) out.push_back(std::string(what) + " " + std::to_string(c.index));
  }
  return out;
}

}  // namespace adaptertest
