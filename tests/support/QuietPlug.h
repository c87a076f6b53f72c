// A plug-in base with no host behind it: every host service does nothing.
// For editor tests and benchmarks that need a plug-in but no adapter.
#pragma once

#include "IPlugBase.h"

class QuietPlug : public IPlugBase
{
public:
  explicit QuietPlug(int nParams, const char* channelIO = "2-2", double defaultValue = 0.0)
    : IPlugBase(nParams, channelIO, 0, "Effect", "Product", "Maker", 0x10000, 1, 2, 0, 0, false, false)
  {
    for (int i = 0; i < nParams; ++i) GetParam(i)->DefineDouble("p", defaultValue, 0.0, 1.0, 0.0);
  }

  void BeginParamGesture(int) override {}
  void BeginParamGestureIfNew(int) override {}
  void AutomateParam(int, double) override {}
  void EndParamGesture(int) override {}
  void NotifyHostDisplay() override {}
  int HostSamplePos() override { return 0; }
  double HostTempo() override { return 0.0; }
  void HostTimeSig(int* n, int* d) override { *n = *d = 4; }
  void SyncEditorRect() override {}
  void InitForHost() override {}
  bool SendMidiMessage(MidiMessage*) override { return true; }
  bool SendSysExMessage(SysExMessage*) override { return true; }
};
