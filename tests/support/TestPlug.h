// The test plug-in's side channel: what it received and what its hooks saw,
// plus commands standing in for an editor and for effect code. Plain C
// records, so tests reach them through dlsym without sharing class layouts.
#pragma once

#include <stdint.h>

enum TestPlugParams
{
  kTPMix = 0,  // double 0..100, step 0.01, label "%"
  kTPOffset,   // int -12..12, label "st"
  kTPShape,    // enum of 4 with display texts
  kTPBypass,   // enum of 2 ("Off", "On"): two-state
  kTPToggle,   // int 0..1: two-state
  kTPFreq,     // double 20..20000, step 1, label "Hz"
  kTPRange,    // double 0..1e40, step 0.01: display texts longer than a host buffer
  kTPNumParams
};

enum TestPlugCommands
{
  // Queued, run at the start of the next ProcessBlock.
  kTPCmdSendMidi = 1,  // a = offset: 0x90 60 100
  kTPCmdSendSysEx,     // a = offset: F0 7D 01 02 03 F7
  kTPCmdQueryTime,     // HostTempo, HostSamplePos, HostTimeSig, SamplesPerBeat
  kTPCmdSetLatency,    // a = samples

  // Immediate, as the editor would call them on the UI thread.
  kTPCmdMouseDown,     // a = parameter
  kTPCmdDrag,          // a = parameter, v = normalised value
  kTPCmdMouseUp,       // a = parameter
  kTPCmdWheel,         // a = parameter, v = normalised value
  kTPCmdTimerTick,     // one tick of the editor's timer
  kTPCmdIdentifyHost,  // returns IdentifyHost()
  kTPCmdNotifyDisplay,
  kTPCmdSetLatencyNow,  // a = samples

  // Mouse events into the editor's controls; a = x | y << 16.
  kTPCmdEdMouseDown,  // v = modifier bits: 1 right, 2 shift, 4 control
  kTPCmdEdDrag,
  kTPCmdEdMouseUp,
  kTPCmdEdDblClick,  // returns 1 when the editor asks for capture
  kTPCmdEdWheel,     // v = wheel steps

  // The next call of hook a (TestPlugHooks) throws, as failing effect code.
  kTPCmdThrowIn
};

enum TestPlugHooks
{
  kTPHookParamChanged = 1,
  kTPHookProcessBlock,
  kTPHookEditorOpened
};

enum
{
  kTPMaxMidi = 64,
  kTPMaxSysEx = 8,
  kTPMaxSysExBytes = 64,
  kTPMaxParamChanged = 1024
};

struct TestPlugMidi
{
  int32_t offset;
  uint8_t status, data1, data2;
};

struct TestPlugSysEx
{
  int32_t offset;
  int32_t size;
  uint8_t bytes[kTPMaxSysExBytes];
};

struct TestPlugLog
{
  // Events received through effProcessEvents.
  int32_t midiCount;
  TestPlugMidi midi[kTPMaxMidi];
  int32_t sysexCount;
  TestPlugSysEx sysex[kTPMaxSysEx];

  // ParamChanged calls in order (the first kTPMaxParamChanged of them).
  int32_t paramChangedCount;
  int32_t paramChanged[kTPMaxParamChanged];

  int32_t processBlocks;
  int32_t lastSendResult;  // 1/0 from the last queued send, -1 before any

  // Results of the last kTPCmdQueryTime.
  double tempo;
  double samplesPerBeat;
  int32_t samplePos;
  int32_t timeSigNum, timeSigDen;

  // Fake editor.
  int32_t editorOpens, editorCloses;
  int32_t editorOpenedHooks, editorClosingHooks;
  int32_t timerTicksSet;  // last SetParamChangeTimer argument
  int32_t timerRunning;   // ticks left, 0 when stopped (refreshed)
  int32_t wheelCalls;
  float lastWheelDelta;
  int32_t controlUpdates;
  int32_t lastControlParam;
  double lastControlValue;
  int32_t lastControlNormalized;

  // Refreshed by TestPlug_GetLog.
  int32_t hostCode;
  int32_t hostVersion;
  int32_t latency;
  int32_t pendingEndParam;
  // Native window layer (X11 variant): frames presented since the last
  // open, the entry box's window (0 none), presenting through shared memory.
  int32_t presents;
  uint32_t entryWindow;
  int32_t sharedMemory;
  int32_t xErrors;             // X errors on the layer's connections, process-wide
  int32_t lockRuleViolations;  // calls made under the instance lock that must not be
  double values[kTPNumParams];
  double minValues[kTPNumParams];
  double maxValues[kTPNumParams];
};

#ifdef __cplusplus
extern "C"
{
#endif
  typedef TestPlugLog* (*TestPlugGetLogProc)(void* effect);
  typedef void (*TestPlugClearLogProc)(void* effect);
  typedef double (*TestPlugCommandProc)(void* effect, int command, int a, double v);
  // Copies the headless editor's presented frame as 0xAARRGGBB words (w * h);
  // 0 when there is none or the size differs.
  typedef int (*TestPlugCopyFrameProc)(void* effect, uint32_t* pixels, int w, int h);
#ifdef __cplusplus
}
#endif
