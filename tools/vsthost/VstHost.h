// Reference VST 2 host: loads a plug-in library the way a DAW does and drives
// it through its AEffect, while answering the plug-in's host callbacks from
// settable state and recording what the plug-in asked for.
//
// One VstHost object is one plug-in instance. Several may live at once (also
// of the same library); each must be used from one thread at a time.
#ifndef QUORVEX_VSTHOST_H
#define QUORVEX_VSTHOST_H

#include <cstdint>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "VstApi.h"

namespace quorvex
{

// A host callback that the plug-in made and the host logs.
struct HostCall
{
  VstInt32 opcode = 0;
  VstInt32 index = 0;
  VstIntPtr value = 0;
  float opt = 0.f;
  std::thread::id thread;  // the thread the plug-in called from
};

// A copy of an event that the plug-in sent with audioMasterProcessEvents.
struct HostEvent
{
  VstInt32 type = 0;
  VstInt32 byteSize = 0;
  VstInt32 deltaFrames = 0;
  uint8_t midiData[4] = { 0, 0, 0, 0 };  // kVstMidiType only
  std::vector<uint8_t> sysex;            // kVstSysExType only
};

class VstHost
{
public:
  VstHost();
  ~VstHost();  // Close()
  VstHost(const VstHost&) = delete;
  VstHost& operator=(const VstHost&) = delete;

  // --- Life cycle -----------------------------------------------------------

  // Loads the library and creates the instance through its entry point.
  // Returns an empty string on success, else a one-line reason; on failure
  // nothing stays loaded.
  std::string Load(const std::string& path);
  // As Load, for a plug-in linked into this program: entry is its
  // VSTPluginMain, name says what it is in error texts.
  typedef AEffect*(VSTCALLBACK* EntryProc)(audioMasterCallback host);
  std::string LoadEntry(EntryProc entry, const std::string& name);
  // effOpen, effSetSampleRate, effSetBlockSize, effMainsChanged(1).
  bool Open(double sampleRate = 44100., VstInt32 blockSize = 512);
  // effMainsChanged(0) when open, effClose, then unloads the library.
  void Close();

#if defined(_WIN32)
  // --- Editor window (Windows) ------------------------------------------------
  // Creates a top-level window whose client area has the effEditGetRect size
  // and opens the editor in it (effEditOpen with its HWND), as a DAW does.
  // Returns the host window, null when the plug-in has no editor or refuses.
  void* OpenEditorWindow();
  // effEditClose, then destroys the host window; nothing when none is open.
  void CloseEditorWindow();
  void* EditorHostWindow() const { return mEditorHost; }
#endif

  bool IsLoaded() const { return mEffect != nullptr; }
  bool IsOpen() const { return mOpen; }
  AEffect* Effect() const { return mEffect; }
  // An exported symbol of the loaded library itself (a test plug-in's side
  // channel); null when it has none, or the effect came through LoadEntry.
  void* Symbol(const char* name) const;

  // --- Dispatcher and conveniences -------------------------------------------

  // 0 when nothing is loaded.
  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.f);

  std::string EffectName();
  std::string VendorString();
  std::string ProductString();
  VstInt32 VendorVersion();
  std::string ParamName(VstInt32 index);
  std::string ParamLabel(VstInt32 index);
  std::string ParamDisplay(VstInt32 index);
  std::string ProgramName();                       // of the current program
  std::string ProgramNameIndexed(VstInt32 index);  // effGetProgramNameIndexed
  bool CanDo(const char* question);                // effCanDo answered positively

  VstInt32 NumParams() const { return mEffect ? mEffect->numParams : 0; }
  VstInt32 NumPrograms() const { return mEffect ? mEffect->numPrograms : 0; }
  VstInt32 NumInputs() const { return mEffect ? mEffect->numInputs : 0; }
  VstInt32 NumOutputs() const { return mEffect ? mEffect->numOutputs : 0; }
  VstInt32 Flags() const { return mEffect ? mEffect->flags : 0; }
  VstInt32 UniqueID() const { return mEffect ? mEffect->uniqueID : 0; }
  VstInt32 Version() const { return mEffect ? mEffect->version : 0; }

  // Index range is the plug-in's to check; the host passes it on unchanged.
  void SetParameter(VstInt32 index, float value);
  float GetParameter(VstInt32 index);
  void SetProgram(VstInt32 index);
  VstInt32 GetProgram();

  // effGetChunk: copies the plug-in's bytes (index 0 = bank, else program).
  std::vector<uint8_t> GetChunk(bool program);
  // effSetChunk: returns the plug-in's result.
  VstIntPtr SetChunk(const std::vector<uint8_t>& data, bool program);

  // Changes take effect at once; when open the plug-in is suspended around them.
  void SetSampleRate(double sampleRate);
  void SetBlockSize(VstInt32 blockSize);
  double SampleRate() const { return mSampleRate; }
  VstInt32 BlockSize() const { return mBlockSize; }

  // --- Processing ------------------------------------------------------------
  // Each call hands one block to the plug-in and then advances the transport
  // by the block length. False when the plug-in lacks the callback.

  bool ProcessReplacing(float** inputs, float** outputs, VstInt32 frames);
  bool ProcessAccumulate(float** inputs, float** outputs, VstInt32 frames);
  bool ProcessDouble(double** inputs, double** outputs, VstInt32 frames);

  // --- What the host tells the plug-in -----------------------------------------

  void SetTempo(double bpm) { mTempo = bpm; }
  void SetTimeSignature(VstInt32 numerator, VstInt32 denominator);
  void SetSamplePos(double samplePos) { mSamplePos = samplePos; }
  double SamplePos() const { return mSamplePos; }
  // Off: audioMasterGetTime answers null.
  void SetTimeInfoAvailable(bool available) { mTimeInfoAvailable = available; }
  // Off: the time info comes without kVstTempoValid.
  void SetTempoValid(bool valid) { mTempoValid = valid; }
  void SetProductString(const std::string& text) { mProductString = text; }
  void SetVendorString(const std::string& text) { mVendorString = text; }
  void SetVendorVersion(VstInt32 version) { mVendorVersion = version; }
  void SetProcessEventsResult(VstIntPtr result) { mProcessEventsResult = result; }
  void SetProcessLevel(VstInt32 level) { mProcessLevel = level; }
  // Answers audioMasterAutomate by calling setParameter back with the value.
  void SetEchoAutomation(bool on) { mEchoAutomation = on; }

  // --- What the plug-in told the host ------------------------------------------

  // audioMasterAutomate, BeginEdit, EndEdit, UpdateDisplay, WantMidi,
  // IOChanged and SizeWindow, in the order received. Calls() is for a host
  // whose plug-in reports on the caller's thread only; an editor reporting
  // from a thread of its own is read through CallsCopy().
  const std::vector<HostCall>& Calls() const { return mCalls; }
  std::vector<HostCall> CallsCopy() const
  {
    std::lock_guard<std::mutex> lock(mCallsMutex);
    return mCalls;
  }
  void ClearCalls()
  {
    std::lock_guard<std::mutex> lock(mCallsMutex);
    mCalls.clear();
  }
  void SetCallLogging(bool on) { mLogCalls = on; }
  const std::vector<HostEvent>& Events() const { return mEvents; }
  void ClearEvents() { mEvents.clear(); }
  int TimeRequests() const { return mTimeRequests; }

  // Told of every host callback the plug-in makes, on the calling thread and
  // before it is answered; must neither allocate nor block (stress runs call
  // it on the audio thread).
  typedef void (*CallbackObserver)(void* context, VstInt32 opcode);
  void SetCallbackObserver(CallbackObserver observer, void* context)
  {
    mObserver = observer;
    mObserverContext = context;
  }

  // The callback handed to every plug-in; public so tests can feed it
  // hostile input directly.
  static VstIntPtr VSTCALLBACK HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                            void* ptr, float opt);

private:
  VstIntPtr OnCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                       float opt);
  VstIntPtr OnProcessEvents(const VstEvents* events);
  VstTimeInfo* FillTimeInfo();
  std::string DispatchString(VstInt32 opcode, VstInt32 index);
  // Runs the entry point and keeps the effect; on failure unloads.
  std::string Create(EntryProc entry, const std::string& what);
  void Unload();

  void* mLibrary = nullptr;
  AEffect* mEffect = nullptr;
  bool mOpen = false;

  double mSampleRate = 44100.;
  VstInt32 mBlockSize = 512;
  double mTempo = 120.;
  VstInt32 mTimeSigNumerator = 4;
  VstInt32 mTimeSigDenominator = 4;
  double mSamplePos = 0.;
  bool mTimeInfoAvailable = true;
  bool mTempoValid = true;
  std::string mProductString = "Quorvex Reference Host";
  std::string mVendorString = "Quorvex";
  VstInt32 mVendorVersion = 10000;
  VstIntPtr mProcessEventsResult = 1;
  VstInt32 mProcessLevel = kVstProcessLevelUnknown;
  bool mEchoAutomation = false;
  VstTimeInfo mTimeInfo;

  bool mLogCalls = true;
  mutable std::mutex mCallsMutex;
  std::vector<HostCall> mCalls;
  std::vector<HostEvent> mEvents;
  int mTimeRequests = 0;
  void* mEditorHost = nullptr;
  CallbackObserver mObserver = nullptr;
  void* mObserverContext = nullptr;
};

}  // namespace quorvex

#endif  // QUORVEX_VSTHOST_H
