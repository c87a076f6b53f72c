// IPlugLV2: binds IPlugBase to the LV2 plug-in interface.
//
// Ports, in index order: one control input per parameter (plain values),
// the audio inputs, the audio outputs, an atom sequence carrying the
// transport (time:Position) and the freewheel flag. The last two may be
// left unconnected. Parameters are ports and belong to the host: a block
// takes their values first, and nothing is reported back. The state holds
// only the bank (program slots with their names, and the current program).
//
// Every host feature is optional: without urid:map no transport is read
// (the tempo stays unknown, as with a VST 2 host that reports none) and the
// state is refused; without the host's worker the process-wide one runs the
// background work; without options the block size is 1024 and longer runs
// go as sub-blocks.
//
// Threads: instantiate, activate, deactivate, cleanup and the state
// functions on the host's instantiation thread; connect_port and run on its
// audio thread; work on its worker thread. run holds the instance lock for
// the block, as a VST 2 process callback does.
#pragma once

#include "IPlugBase.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstdint>

// What instantiate hands over.
struct IPlugLV2InstanceInfo
{
  const char* mPluginUri = "";
  double mSampleRate = 44100.0;
  const char* mBundlePath = nullptr;
  const LV2_Feature* const* mFeatures = nullptr;
};

class IPlugLV2 : public IPlugBase
{
public:
  IPlugLV2(const IPlugLV2InstanceInfo& info, int nParams, const char* channelIOStr, int nPresets,
           const char* effectName, const char* productName, const char* mfrName, int vendorVersion,
           int uniqueID, int mfrID, int latency, int midiMode, bool plugDoesChunks, bool plugIsInst);
  ~IPlugLV2() override;

  // ------------------------------------------------------------ ports
  // Port symbols, stable across versions: hosts keep them in sessions.
  // [any thread] the symbol of parameter i (default: its name in lower case,
  // spaces as underscores).
  virtual const char* ParamSymbol(int paramIdx) const;
  int NPorts() const { return NParams() + NInChannels() + NOutChannels() + 2; }
  int TimePortIndex() const { return NParams() + NInChannels() + NOutChannels(); }
  int FreewheelPortIndex() const { return TimePortIndex() + 1; }

  // ------------------------------------------------------------ host services
  // Parameters belong to the host: edits are not reported back.
  void BeginParamGesture(int) override {}
  void BeginParamGestureIfNew(int) override {}
  void AutomateParam(int, double) override {}
  void EndParamGesture(int) override {}
  void NotifyHostDisplay() override {}
  // [audio thread] the transport as the last time:Position told it.
  int HostSamplePos() override;
  double HostTempo() override;
  void HostTimeSig(int* numerator, int* denominator) override;
  // [audio thread] while the freewheel port is on.
  bool HostRendersOffline() override;
  void SyncEditorRect() override {}
  void InitForHost() override {}
  bool SendMidiMessage(MidiMessage*) override { return false; }
  bool SendSysExMessage(SysExMessage*) override { return false; }
  // [audio thread allowed, never blocks] the host's worker when it offers
  // one and takes the request, else the process-wide one.
  bool RequestBackgroundWork() override;
  // [audio thread, instance lock] the ports' values and the transport.
  void PrepareBlock() override;

  // ------------------------------------------------------------ LV2 entry points
  void ConnectPort(uint32_t port, void* data);
  void Activate();
  void Deactivate();
  void Run(uint32_t nFrames);
  static const void* ExtensionData(const char* uri);

  // [instantiation thread] The bank as the state interface stores it: the
  // chunk header and the program slots; and the current program.
  LV2_State_Status SaveState(LV2_State_Store_Function store, LV2_State_Handle handle);
  LV2_State_Status RestoreState(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);
  // [host worker thread]
  LV2_Worker_Status Work();

private:
  void ReadTransport();
  struct Urids
  {
    LV2_URID atomBlank = 0, atomObject = 0, atomFloat = 0, atomDouble = 0, atomInt = 0, atomLong = 0,
             atomChunk = 0, timePosition = 0, timeBpm = 0, timeFrame = 0, timeSpeed = 0, timeBeatsPerBar = 0,
             timeBeatUnit = 0, stateBank = 0, stateProgram = 0;
  };

  LV2_URID_Map* mMap = nullptr;
  LV2_Worker_Schedule* mSchedule = nullptr;
  Urids mUrids;

  // Connected by the host; null until it does.
  WDL_TypedBuf<const float*> mControlPorts;
  WDL_TypedBuf<float*> mInPorts, mOutPorts;
  const LV2_Atom_Sequence* mTimePort = nullptr;
  const float* mFreewheelPort = nullptr;
  // The value each control port had when last taken (NaN: never).
  WDL_TypedBuf<float> mLastControl;
  WDL_TypedBuf<char> mSymbols;

  // The transport: tempo 0 until a position gives one.
  double mTempo = 0.0, mSpeed = 0.0, mFrame = 0.0;
  int mBeatsPerBar = 0, mBeatUnit = 0;
};

// [instantiation thread] An instance of T (a subclass of IPlugLV2
// constructed from IPlugLV2InstanceInfo), or null; nothing is thrown out.
LV2_Handle IPlugLV2Instantiate(IPlugLV2* (*make)(const IPlugLV2InstanceInfo&),
                               const LV2_Descriptor* descriptor, double rate, const char* bundle,
                               const LV2_Feature* const* features);
void IPlugLV2ConnectPort(LV2_Handle instance, uint32_t port, void* data);
void IPlugLV2Activate(LV2_Handle instance);
void IPlugLV2Run(LV2_Handle instance, uint32_t nFrames);
void IPlugLV2Deactivate(LV2_Handle instance);
void IPlugLV2Cleanup(LV2_Handle instance);
const void* IPlugLV2ExtensionData(const char* uri);
