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
    if (!error.empty()) return;
    // The module is already loaded: this only takes a second reference.
    mLibrary = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(mLibrary, nullptr);
    if (!mLibrary) return;
    mGetLog = (TestPlugGetLogProc)dlsym(mLibrary, "TestPlug_GetLog");
    mClearLog = (TestPlugClearLogProc)dlsym(mLibrary, "TestPlug_ClearLog");
    mCommand = (TestPlugCommandProc)dlsym(mLibrary, "TestPlug_Command");
    EXPECT_TRUE(mGetLog && mClearLog && mCommand);
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

  // One replacing block of silence, enough to run queued commands.
  void Process(int frames = 64)
  {
    std::vector<float> in0(frames), in1(frames), out0(frames), out1(frames);
    float* ins[2] = { in0.data(), in1.data() };
    float* outs[2] = { out0.data(), out1.data() };
    host.ProcessReplacing(ins, outs, frames);
  }

  double Value(int param) { return Log().values[param]; }

  quorvex::VstHost host;

private:
  void* mLibrary = nullptr;
  TestPlugGetLogProc mGetLog = nullptr;
  TestPlugClearLogProc mClearLog = nullptr;
  TestPlugCommandProc mCommand = nullptr;
};

// The gesture traffic the host saw, as "begin 2", "automate 2", "end 2".
inline std::vector<std::string> GestureCalls(const quorvex::VstHost& host)
{
  std::vector<std::string> out;
  for (const quorvex::HostCall& c : host.Calls())
  {
    const char* what = c.opcode == audioMasterAutomate   ? "automate"
                       : c.opcode == audioMasterBeginEdit ? "begin"
                       : c.opcode == audioMasterEndEdit   ? "end"
                                                          : nullptr;
    if (what) out.push_back(std::string(what) + " " + std::to_string(c.index));
  }
  return out;
}

inline int CountCalls(const quorvex::VstHost& host, VstInt32 opcode)
{
  int n = 0;
  for (const quorvex::HostCall& c : host.Calls()) n += c.opcode == opcode;
  return n;
}

inline void ExpectParamsInRange(Plug& plug)
{
  const TestPlugLog& log = plug.Log();
  for (int i = 0; i < kTPNumParams; ++i)
  {
    EXPECT_GE(log.values[i], log.minValues[i]) << "parameter " << i;
    EXPECT_LE(log.values[i], log.maxValues[i]) << "parameter " << i;
    const float n = plug.host.GetParameter(i);
    EXPECT_GE(n, 0.0f) << "parameter " << i;
    EXPECT_LE(n, 1.0f) << "parameter " << i;
  }
}

// Little-endian readers for chunk bytes.
inline int32_t Int32At(const std::vector<uint8_t>& b, size_t pos)
{
  return (int32_t)((uint32_t)b[pos] | ((uint32_t)b[pos + 1] << 8) | ((uint32_t)b[pos + 2] << 16) |
                   ((uint32_t)b[pos + 3] << 24));
}

inline double DoubleAt(const std::vector<uint8_t>& b, size_t pos)
{
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | b[pos + i];
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

inline void PutInt32(std::vector<uint8_t>* b, int32_t v)
{
  for (int i = 0; i < 4; ++i) b->push_back((uint8_t)((uint32_t)v >> (8 * i)));
}

inline void PutDouble(std::vector<uint8_t>* b, double d)
{
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  for (int i = 0; i < 8; ++i) b->push_back((uint8_t)(bits >> (8 * i)));
}

}  // namespace adaptertest
