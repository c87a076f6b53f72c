// IPlugBase: the host-independent plug-in instance.
//
// Owns the parameters, preset slots, channel records and (once attached)
// the editor, plus the one recursive lock that serialises them. A format
// adapter (IPlugVST) derives from it and supplies the host-facing hooks;
// the effect derives from that and overrides the processing hooks.
//
// Threads: the host's UI thread calls the dispatcher-side operations, its
// audio thread the processing frame. Every public entry takes mMutex; the
// lock is recursive so hooks may call locked operations again.
//
// Contents:
//   - construction and identity
//   - hooks overridden by the effect / adapter
//   - processing frame
//   - parameters, editor, presets and state
#pragma once

#include "IParam.h"
#include "IPlugStructs.h"
#include "StateChunk.h"
#include "mutex.h"
#include "ptrlist.h"
#include "wdlstring.h"

class IGraphics;

#define MAX_EFFECT_NAME_LEN 128
#define MAX_PRESET_NAME_LEN 256

// Packs a version as 0xMMMMmmpp.
#define IPLUG_VERSION(major, minor, patch) (((major) << 16) | ((minor) << 8) | (patch))

struct PresetSlot
{
  bool mInitialized = false;
  char mName[MAX_PRESET_NAME_LEN];
  StateChunk mChunk;
  PresetSlot() { mName[0] = 0; }
};

// Maps a host's product string to a host code (0 when not recognised).
int HostCodeFromName(const char* name);

class IPlugBase
{
public:
  IPlugBase(int nParams, const char* channelIOStr, int nPresets,
            const char* effectName, const char* productName, const char* mfrName,
            int vendorVersion, int uniqueID, int mfrID, int latency,
            int midiMode, bool plugDoesChunks, bool plugIsInst);
  virtual ~IPlugBase();

  IPlugBase(const IPlugBase&) = delete;
  IPlugBase& operator=(const IPlugBase&) = delete;

  // ------------------------------------------------------------ hooks
  // [any thread] host changed rate/block size or suspended processing.
  virtual void ResetProcessing() { WDL_MutexLock lock(&mMutex); }
  // [any thread, instance lock] parameter paramIdx has a new value.
  virtual void ParamChanged(int paramIdx) { (void)paramIdx; WDL_MutexLock lock(&mMutex); }
  // [audio thread, instance lock] first thing of every processed block.
  virtual void PrepareBlock() {}
  // [audio thread, instance lock] true when ProcessBlock reads every input
  // of a frame before it writes an output of that frame (or a later one),
  // so a host buffer passed as both input and output needs no copy.
  virtual bool ProcessesInPlace() const { return false; }
  // [audio thread, instance lock] default copies inputs to outputs.
  virtual void ProcessBlock(double** inputs, double** outputs, int nFrames);
  // [UI thread]
  virtual void EditorOpened() {}
  virtual void EditorClosing() {}
  // [UI thread, instance lock]
  virtual void ActivationChanged(bool active) { (void)active; WDL_MutexLock lock(&mMutex); }
  // [audio thread, instance lock]
  virtual void MidiReceived(MidiMessage* msg) { (void)msg; }
  virtual void SysExReceived(SysExMessage* msg) { (void)msg; }
  // [UI thread] name must hold 64 bytes.
  virtual bool NoteNameFor(int noteNumber, char* name) { (void)noteNumber; if (name) name[0] = 0; return false; }
  // [UI thread, instance lock]
  virtual bool SaveState(StateChunk* chunk) { return SaveParams(chunk); }
  virtual int LoadState(const StateChunk* chunk, int startPos) { return LoadParams(chunk, startPos); }

  // ------------------------------------------------------------ adapter hooks
  // [UI thread] edit gestures reported to the host.
  virtual void BeginParamGesture(int paramIdx) = 0;
  virtual void BeginParamGestureIfNew(int paramIdx) = 0;
  virtual void AutomateParam(int paramIdx, double normalizedValue) = 0;
  virtual void EndParamGesture(int paramIdx) = 0;
  virtual void NotifyHostDisplay() = 0;
  // [audio thread] one time-info request each.
  virtual int HostSamplePos() = 0;
  virtual double HostTempo() = 0;
  virtual void HostTimeSig(int* numerator, int* denominator) = 0;
  // [UI thread] asks the host once; later calls return the stored code.
  virtual int IdentifyHost() { return mHost; }
  virtual void SyncEditorRect() = 0;
  virtual void InitForHost() = 0;
  // [UI thread] takes ownership of the editor.
  virtual void AttachEditor(IGraphics* graphics);
  // [UI thread, instance lock]
  virtual void SetBlockSize(int blockSize);
  virtual void SetLatency(int samples) { mLatency = samples; }
  // [audio thread, instance lock] true when the host took the event.
  virtual bool SendMidiMessage(MidiMessage* msg) = 0;
  virtual bool SendMidiMessages(MidiMessage* msgs, int n);
  virtual bool SendSysExMessage(SysExMessage* msg) = 0;

  // ------------------------------------------------------------ identity
  int GetVersion(bool decimal) const;
  static void GetVersionText(int packed, char* text);  // text holds 16 bytes
  const char* GetEffectName() const { return mEffectName; }
  const char* GetProductName() const { return mProductName; }
  const char* GetMfrName() const { return mMfrName; }
  int GetUniqueID() const { return mUniqueID; }
  int GetMfrID() const { return mMfrID; }
  bool DoesChunks() const { return mDoesChunks; }
  bool IsInstrument() const { return mIsInst; }
  int GetMidiMode() const { return mMidiMode; }
  int GetHost() const { return mHost; }
  int GetHostVersion() const { return mHostVersion; }
  void SetHostInfo(const char* productName, int packedVersion);

  // ------------------------------------------------------------ channels
  double GetSampleRate() const { return mSampleRate; }
  void SetSampleRate(double sampleRate);
  int GetBlockSize() const { return mBlockSize; }
  int GetLatency() const { return mLatency; }
  int NInChannels() const { return mInChannels.GetSize(); }
  int NOutChannels() const { return mOutChannels.GetSize(); }
  int NChannelIOPairs() const { return mChannelIO.GetSize(); }
  const ChannelIOPair* GetChannelIOPair(int i) const { return mChannelIO.Get(i); }
  bool IsAllowedIO(int nIn, int nOut) const;
  bool IsInChannelConnected(int i) const;
  bool IsOutChannelConnected(int i) const;
  void SetInputsConnected(int first, int count, bool connected);
  void SetOutputsConnected(int first, int count, bool connected);
  // Samples per beat at the host's tempo; 0 when the host reports none.
  double SamplesPerBeat();

  // ------------------------------------------------------------ processing frame
  // [audio thread] A host block of any length; blocks longer than the
  // scratch buffers run as several sub-blocks, so nothing is allocated here.
  void ProcessReplacing(float** inputs, float** outputs, int nFrames);
  void ProcessAccumulating(float** inputs, float** outputs, int nFrames);
  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames);

  // ------------------------------------------------------------ parameters
  int NParams() const { return mParams.GetSize(); }
  IParam* GetParam(int idx) const { return mParams.Get(idx); }
  void NotifyAllParamsChanged();
  // [UI thread] value, automation to the host, then ParamChanged.
  void SetParamFromEditor(int paramIdx, double normalizedValue);

  // ------------------------------------------------------------ editor
  IGraphics* GetGUI() const { return mGraphics; }
  void PushParamsToEditor();
  void ScheduleGestureEnd(int paramIdx);
  void FlushPendingGestureEnd();
  int PendingEndParam() const { return mPendingEndParam; }

  // ------------------------------------------------------------ presets and state
  int NPresets() const { return mPresets.GetSize(); }
  int GetCurrentPresetIdx() const { return mCurrentPresetIdx; }
  const char* GetPresetName(int idx) const;
  bool IsPresetInitialized(int idx) const;
  // Values follow the parameters in index order: int for boolean, integer
  // and enumerated parameters, double for real ones.
  void AddFactoryPreset(const char* name, ...);
  void AddPresetsFromCurrent(const char* name, int count);
  void EnsureDefaultPreset();
  bool SelectPreset(int idx);
  void StoreCurrentPreset(const char* name = nullptr);
  void NextUserPresetName(char* name) const;  // name holds MAX_PRESET_NAME_LEN

  bool SaveParams(StateChunk* chunk);
  int LoadParams(const StateChunk* chunk, int startPos);
  bool SavePresets(StateChunk* chunk);
  int LoadPresets(const StateChunk* chunk, int startPos);

  // Whole-state exchange as the host sees it; the result of a load is the
  // final read position (-1 on failure).
  bool SerializeProgram(StateChunk* chunk);
  bool SerializeBank(StateChunk* chunk);
  int UnserializeState(const StateChunk* chunk, bool isBank);

  WDL_Mutex* GetMutex() { return &mMutex; }

protected:
  template <class T> void RunFrame(T** inputs, T** outputs, int nFrames, int mode);
  template <class T> void BindInputs(T** inputs, int offset, int nFrames);
  template <class T> void BindOutputs(T** outputs, int offset, int nFrames);
  void ConvertOutputs(int nFrames, bool accumulate);
  void SeparateAliasedInputs(int nFrames);
  // Frames a sub-block may hold: the shortest scratch buffer.
  int ScratchFrames() const;

  WDL_PtrList<ChannelIOPair> mChannelIO;
  WDL_PtrList<IParam> mParams;
  WDL_PtrList<PresetSlot> mPresets;
  int mCurrentPresetIdx;
  int mPendingEndParam;
  WDL_Mutex mMutex;

  char mEffectName[MAX_EFFECT_NAME_LEN];
  char mProductName[MAX_EFFECT_NAME_LEN];
  char mMfrName[MAX_EFFECT_NAME_LEN];
  int mUniqueID, mMfrID, mVersion;
  int mHost, mHostVersion;
  bool mDoesChunks, mIsInst;
  int mMidiMode;
  double mSampleRate;
  int mBlockSize;
  int mLatency;
  IGraphics* mGraphics;

  // Kept from the last block-size and connection changes.
  int mScratchFrames, mUnboundOutputs;
  WDL_TypedBuf<double*> mInData, mOutData;
  WDL_PtrList<InputChannelRec> mInChannels;
  WDL_PtrList<OutputChannelRec> mOutChannels;
};
