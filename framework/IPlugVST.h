// IPlugVST: binds IPlugBase to the VST 2.4 interface.
//
// The AEffect handed to the host is a member, so its address is valid until
// effClose. Nothing thrown inside leaves through a callback
// (IPlugBoundary.h): a dispatcher or getParameter call that throws answers
// 0, a process call that throws is silence. The process callbacks,
// setParameter and getParameter hold the instance lock for their whole run;
// dispatcher calls hold it while they read or write state, never across
// window, thread, line or host work (the lock rule in IPlugBase.h). Edit
// reports reach the host after the lock is released.
#pragma once

#include "IPlugBase.h"
#include "VstApi.h"

class IPlugVST : public IPlugBase
{
public:
  IPlugVST(audioMasterCallback hostCallback, int nParams, const char* channelIOStr, int nPresets,
           const char* effectName, const char* productName, const char* mfrName, int vendorVersion,
           int uniqueID, int mfrID, int latency, int midiMode, bool plugDoesChunks, bool plugIsInst);
  ~IPlugVST() override;

  AEffect* GetAEffect() { return &mAEffect; }

  // ------------------------------------------------------------ host services
  // [UI thread] gestures and automation reach the host in call order.
  void BeginParamGesture(int paramIdx) override;
  void BeginParamGestureIfNew(int paramIdx) override;
  void AutomateParam(int paramIdx, double normalizedValue) override;
  void EndParamGesture(int paramIdx) override;
  void NotifyHostDisplay() override;
  // [sender thread, no instance lock]
  void SendEditReport(const IEditReport& report) override;
  // [audio thread] one audioMasterGetTime each.
  int HostSamplePos() override;
  double HostTempo() override;
  void HostTimeSig(int* numerator, int* denominator) override;
  // [audio thread] one audioMasterGetCurrentProcessLevel.
  bool HostRendersOffline() override;
  // [UI thread] asks the host for its product string and version once.
  int IdentifyHost() override;
  void SyncEditorRect() override;
  void InitForHost() override;
  void AttachEditor(IGraphics* graphics) override;
  void SetLatency(int samples) override;
  // [audio thread, instance lock] true when the host returned 1.
  bool SendMidiMessage(MidiMessage* msg) override;
  bool SendSysExMessage(SysExMessage* msg) override;

  // ------------------------------------------------------------ host entry points
  // [audio thread, instance lock] before every process callback.
  void PrepareBlock() override;
  static VstIntPtr VSTCALLBACK VSTDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                             VstIntPtr value, void* ptr, float opt);
  static void VSTCALLBACK VSTProcess(AEffect* effect, float** inputs, float** outputs, VstInt32 nFrames);
  static void VSTCALLBACK VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs,
                                              VstInt32 nFrames);
  static void VSTCALLBACK VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                                    VstInt32 nFrames);
  static float VSTCALLBACK VSTGetParameter(AEffect* effect, VstInt32 index);
  static void VSTCALLBACK VSTSetParameter(AEffect* effect, VstInt32 index, float value);

private:
  // [host thread] effClose: closes the editor, stops background work, sends
  // what is queued, deletes.
  void Close();
  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  // [any thread, takes the instance lock] getParameter and setParameter.
  float GetParameterNow(VstInt32 index);
  void SetParameterNow(VstInt32 index, float value);
  VstIntPtr VendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt);
  VstIntPtr CanDo(const char* question) const;
  VstIntPtr GetChunk(void** data, bool isBank);
  VstIntPtr SetChunk(const void* data, VstIntPtr size, bool isBank);
  VstIntPtr PinProperties(VstPinProperties* pin, int index, bool isInput) const;
  void ProcessEvents(const VstEvents* events);
  VstIntPtr HostCall(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);
  VstTimeInfo* GetTimeInfo(VstInt32 mask);

  ERect mEditRect;
  audioMasterCallback mHostCallback;
  VstSpeakerArrangement mInputSpkrArr, mOutputSpkrArr;
  bool mHostInitDone;
  StateChunk mProgramChunk, mBankChunk;
  AEffect mAEffect;
};
