// A test plug-in module (tests/testplug) loaded through the reference host,
// with its side channel (TestPlug.h) at hand: the log of what it received,
// and commands standing in for its editor and effect code.
#pragma once

#include "HostedPlug.h"
#include "TestPlug.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace qtest
{

class TestPlugDriver : public HostedPlug
{
public:
  // Loads, and unless told otherwise opens the instance (44.1 kHz, 512).
  explicit TestPlugDriver(const char* path, bool open = true) : HostedPlug(path, open)
  {
    mGetLog = Function<TestPlugGetLogProc>("TestPlug_GetLog");
    mClearLog = Function<TestPlugClearLogProc>("TestPlug_ClearLog");
    mCommand = Function<TestPlugCommandProc>("TestPlug_Command");
    mCopyFrame = Function<TestPlugCopyFrameProc>("TestPlug_CopyFrame");
  }

  bool Ok() const { return host.IsLoaded() && mGetLog && mClearLog && mCommand; }

  // Refreshed on every call: host code, values and ranges are read live.
  const TestPlugLog& Log() { return *mGetLog(Fx()); }
  // The log, and what the host recorded.
  void ClearLog()
  {
    mClearLog(Fx());
    host.ClearCalls();
    host.ClearEvents();
  }
  double Cmd(int command, int a = 0, double v = 0.0) { return mCommand(Fx(), command, a, v); }
  double Value(int param) { return Log().values[param]; }
  // Wheel steps on a parameter as the editor makes them, each to a
  // normalised value.
  void Wheel(int param, std::initializer_list<double> steps)
  {
    for (double v : steps) Cmd(kTPCmdWheel, param, v);
  }
  // The headless editor's last frame, 0xAARRGGBB; false when the module has
  // no headless editor or the size differs.
  bool CopyFrame(uint32_t* pixels, int w, int h) { return mCopyFrame && mCopyFrame(Fx(), pixels, w, h) == 1; }

private:
  TestPlugGetLogProc mGetLog = nullptr;
  TestPlugClearLogProc mClearLog = nullptr;
  TestPlugCommandProc mCommand = nullptr;
  TestPlugCopyFrameProc mCopyFrame = nullptr;
};

// Every parameter within its range, in the plug-in's units and normalised.
inline void ExpectParamsInRange(TestPlugDriver& plug)
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

}  // namespace qtest
