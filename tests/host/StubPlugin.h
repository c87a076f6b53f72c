// Protocol between the host tests and the stub plug-in: what the stub
// observed of its host, and the vendor-specific codes that make it call back.
#ifndef QUORVEX_TESTS_STUBPLUGIN_H
#define QUORVEX_TESTS_STUBPLUGIN_H

#include "VstApi.h"

struct StubObservations
{
  VstIntPtr versionAtLoad;  // audioMasterVersion asked from the entry point
  char productAtLoad[256];  // product string asked from the entry point
  char productAtOpen[256];  // product string asked at effOpen (0x7f-filled first)
  VstIntPtr vendorVersionAtOpen;
  VstInt32 dispatched[64];  // opcodes received, in order (first 64)
  VstInt32 numDispatched;
  float sampleRate;
  VstIntPtr blockSize;
  VstInt32 processCalls;
  bool lastTimeNull;  // the host answered audioMasterGetTime with null
  double lastTempo;
  double lastSamplePos;
  double lastPpqPos;
  VstInt32 lastTimeFlags;
  VstInt32 lastTimeSigNumerator;
  VstInt32 lastTimeSigDenominator;
  VstIntPtr lastEventsResult;
};

// index of effVendorSpecific
enum StubVendorCode
{
  kStubObservations = 0x51560001,  // returns a StubObservations*
  kStubEditGesture,                // begin, automate(opt), end, update display for param `value`
  kStubSendMidi,                   // one MIDI event: deltaFrames 17, 0x90 60 100
  kStubSendSysex                   // one sysex event: deltaFrames 3, F0 7D 01 02 F7
};

// How VSTPluginMain behaves, set through the exported QuorvexStubSetEntryMode.
enum StubEntryMode
{
  kStubEntryNormal = 0,
  kStubEntryNull,
  kStubEntryBadMagic
};

const VstInt32 kStubNumParams = 3;
const VstInt32 kStubNumPrograms = 3;
const VstInt32 kStubUniqueID = CCONST('Q', 's', 't', 'b');

#endif
