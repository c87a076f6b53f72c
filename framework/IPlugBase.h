// IPlugBase: the host-independent plug-in instance.
//
// Owns the parameters, preset slots, channel records and (once attached)
// the editor, plus the one recursive lock that serialises them. A format
// adapter (IPlugVST) derives from it and supplies the host-facing hooks;
// the effect derives from that and overrides the processing hooks.
//
// Threads: the host's UI thread calls the dispatcher-side operations, its
// audio thread the processing frame. Every public entry that reads or
// writes state takes mMutex; the lock is recursive so hooks may call locked
// operations again.
//
// The lock rule. On every thread but the audio thread the instance lock is
// held only while plug-in state is read or written (microseconds). While
// it is held nothing makes a window-system call, waits for a server, draws,
// allocates a delay line or a bitmap, starts, joins or waits for a thread,
// spawns a process or calls the host: those run after it is released. Edit
// reports made under it (begin edit, automate, end edit, update display)
// wait in a queue and are sent after it, in order, by one sender at a time.
// The audio thread keeps one lock pair and one time request per block; a
// wait longer than a block is a dropout the musician hears. ILockRule
// checks the rule where it matters.
//
// Contents:
//   - construction and identity
//   - hooks overridden by the effect / adapter
//   - background work on the process-wide worker
//   - processing frame
//   - parameters, editor, presets and state
#pragma once

#include "IParam.h"
#include "IPlugStructs.h"
#include "IPlugWorker.h"
#include "StateChunk.h"
#include "mutex.h"
#include "ptrlist.h"
#include "wdlstring.h"

#include <atomic>
#include <cstdint>

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

// Calls that must never run under the instance lock say so here. A call
// made where the rule forbids is counted and its first few are logged; the
// tests expect none.
namespace ILockRule
{
// [any thread] counts what when the calling thread holds lock.
void Check(const WDL_Mutex* lock, const char* what);
// [any thread] calls counted since the module was loaded.
int Violations();
}  // namespace ILockRule

// One report of an edit to the host, queued under the instance lock.
struct IEditReport
{
  enum Kind
  {
    kBeginEdit,
    kAutomate,
    kEndEdit,
    kUpdateDisplay
  };
  int mKind = kBeginEdit;
  int mParamIdx = -1;
  double mValue = 0.0;
};

class IPlugBase
{
public:
  IPlugBase(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
            const char* productName, const char* mfrName, int vendorVersion, int uniqueID, int mfrID,
            int latency, int midiMode, bool plugDoesChunks, bool plugIsInst);
  virtual ~IPlugBase();

  IPlugBase(const IPlugBase&) = delete;
  IPlugBase& operator=(const IPlugBase&) = delete;

  // ------------------------------------------------------------ hooks
  // [any thread] host changed rate/block size or suspended processing.
  virtual void ResetProcessing() { WDL_MutexLock lock(&mMutex); }
  // [any thread, instance lock] parameter paramIdx has a new value.
  virtual void ParamChanged(int paramIdx)
  {
    (void)paramIdx;
    WDL_MutexLock lock(&mMutex);
  }
  // [audio thread, instance lock] first thing of every processed block.
  virtual void PrepareBlock() {}
  // [audio thread, instance lock] true when ProcessBlock reads every input
  // of a frame before it writes an output of that frame (or a later one),
  // so a host buffer passed as both input and output needs no copy.
  virtual bool ProcessesInPlace() const { return false; }
  // [audio thread, instance lock] default copies inputs to outputs.
  virtual void ProcessBlock(double** inputs, double** outputs, int nFrames);
  // [audio thread, instance lock] An effect that returns true here is handed
  // single-precision blocks in ProcessBlockFloat, on the host's own buffers
  // (accumulate: add to the outputs), instead of converted copies.
  virtual bool ProcessesFloat() const { return false; }
  virtual void ProcessBlockFloat(float** inputs, float** outputs, int nFrames, bool accumulate)
  {
    (void)inputs, (void)outputs, (void)nFrames, (void)accumulate;
  }
  // [UI thread]
  virtual void EditorOpened() {}
  virtual void EditorClosing() {}
  // [UI thread, no instance lock] the host resumed (true) or suspended
  // processing; a resume is where background work starts.
  virtual void ActivationChanged(bool active)
  {
    (void)active;
    WDL_MutexLock lock(&mMutex);
  }
  // [audio thread, instance lock]
  virtual void MidiReceived(MidiMessage* msg) { (void)msg; }
  virtual void SysExReceived(SysExMessage* msg) { (void)msg; }
  // [UI thread] name must hold 64 bytes.
  virtual bool NoteNameFor(int noteNumber, char* name)
  {
    (void)noteNumber;
    if (name) name[0] = 0;
    return false;
  }
  // [UI thread, instance lock]
  virtual bool SaveState(StateChunk* chunk) { return SaveParams(chunk); }
  virtual int LoadState(const StateChunk* chunk, int startPos) { return LoadParams(chunk, startPos); }

  // ------------------------------------------------------------ adapter hooks
  // [UI thread] edit gestures reported to the host: an adapter queues them
  // (QueueEditReport) and sends them in SendEditReport.
  virtual void BeginParamGesture(int paramIdx) = 0;
  virtual void BeginParamGestureIfNew(int paramIdx) = 0;
  virtual void AutomateParam(int paramIdx, double normalizedValue) = 0;
  virtual void EndParamGesture(int paramIdx) = 0;
  virtual void NotifyHostDisplay() = 0;
  // [audio thread] one time-info request each.
  virtual int HostSamplePos() = 0;
  virtual double HostTempo() = 0;
  virtual void HostTimeSig(int* numerator, int* denominator) = 0;
  // [audio thread] true when the host renders offline (faster than real
  // time, waiting for every block); asks the host each call.
  virtual bool HostRendersOffline() { return false; }
  // [UI thread] asks the host once; later calls return the stored code.
  virtual int IdentifyHost() { return mHost; }
  virtual void SyncEditorRect() = 0;
  virtual void InitForHost() = 0;
  // [UI thread] takes ownership of the editor, also when it throws.
  virtual void AttachEditor(IGraphics* graphics);
  // [UI thread, instance lock]
  virtual void SetBlockSize(int blockSize);
  virtual void SetLatency(int samples) { mLatency = samples; }
  // [sender thread, no instance lock] one queued report to the host.
  virtual void SendEditReport(const IEditReport& report) { (void)report; }
  // [audio thread, instance lock] true when the host took the event.
  virtual bool SendMidiMessage(MidiMessage* msg) = 0;
  virtual bool SendMidiMessages(MidiMessage* msgs, int n);
  virtual bool SendSysExMessage(SysExMessage* msg) = 0;

  // ------------------------------------------------------------ background work
  // Work the audio thread hands off (allocating, first-touching memory)
  // runs on one worker thread shared by every instance of the process
  // (IPlugWorker.h). An adapter whose host has a worker of its own may
  // run it there instead (RequestBackgroundWork).
  //
  // [UI thread, no instance lock] Attaches this instance's job, starting the
  // worker for the first instance; idempotent. False when the worker could
  // not be started.
  bool StartBackgroundWork();
  // [UI thread, no instance lock] Detaches: a pending run is dropped, a
  // running one waited for; the last instance detached joins the worker.
  // effClose calls it before the instance is deleted, and the destructor as
  // a fallback; but a derived class whose DoBackgroundWork uses its own
  // members calls it first thing in its own destructor, so that no run
  // overlaps the destruction of what it uses.
  void StopBackgroundWork();
  // [any thread incl. audio, instance lock allowed, never blocks] asks for
  // DoBackgroundWork to run soon; false when no background work is started.
  virtual bool RequestBackgroundWork() { return IPlugWorker::Post(&mWorkerJob); }
  // [worker thread, no instance lock held on entry] once per request that
  // found none pending; sees what the requester wrote before asking.
  virtual void DoBackgroundWork() {}

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

  // ------------------------------------------------------------ edit reports
  // [any thread, no instance lock] Sends the queued reports in order. One
  // sender at a time: with wait false a call gives up while another thread
  // sends (that one sends what is queued); a call from inside a report
  // being sent returns at once, so the order holds.
  void SendEditReports(bool wait);
  // [editor thread, no locks] an editor event has ended: sends unless the
  // host idles the editor from another thread (hosts expect reports on
  // their GUI thread), or the queue is filling up.
  void EditorEventDone();
  // [host thread] the editor opened: until the host idles it, the editor's
  // own thread sends.
  void NoteEditorOpened();
  // [host thread] the host idles the editor from this thread, which sends
  // from now on.
  void NoteEditorIdle();
  // [any thread] whether this thread sends the reports of dispatcher calls.
  bool SendsFromHostCalls() const;
  // [any thread] reports waiting; reports refused because the queue was full.
  int QueuedEditReports();
  int DroppedEditReports() const { return mReportsDropped.load(); }
  enum
  {
    kEditReportCapacity = 1024
  };

  // ------------------------------------------------------------ presets and state
  int NPresets() const { return mPresets.GetSize(); }
  int GetCurrentPresetIdx() const { return mCurrentPresetIdx; }
  const char* GetPresetName(int idx) const;
  bool IsPresetInitialized(int idx) const;
  // Values follow the parameters in index order: int for boolean, integer
  // and enumerated parameters, double for real ones. [constructor] Both
  // throw std::bad_alloc when a preset cannot be stored whole.
  void AddFactoryPreset(const char* name, ...);
  void AddPresetsFromCurrent(const char* name, int count);
  void EnsureDefaultPreset();
  bool SelectPreset(int idx);
  void StoreCurrentPreset(const char* name = nullptr);
  void NextUserPresetName(char* name) const;  // name holds MAX_PRESET_NAME_LEN

  bool SaveParams(StateChunk* chunk);
  int LoadParams(const StateChunk* chunk, int startPos);
  bool SavePresets(StateChunk* chunk);
  // selectCurrent: the current slot's values go to the parameters after.
  int LoadPresets(const StateChunk* chunk, int startPos, bool selectCurrent = true);
  // [UI thread, takes the instance lock] The program slots from a bank
  // chunk (header and slots) and the current program (-1: kept), the
  // parameters untouched; false, and nothing changed, when either is
  // refused.
  bool RestoreBank(const StateChunk* chunk, int currentPreset);

  // Whole-state exchange as the host sees it; the result of a load is the
  // final read position (-1 on failure).
  bool SerializeProgram(StateChunk* chunk);
  bool SerializeBank(StateChunk* chunk);
  int UnserializeState(const StateChunk* chunk, bool isBank);

  WDL_Mutex* GetMutex() { return &mMutex; }

protected:
  // [instance lock] appends a report; false (counted) when the queue is full.
  bool QueueEditReport(int kind, int paramIdx, double value = 0.0);
  // [any thread] whether the calling thread is running a process callback
  // of this instance (where host calls under the lock are the audio
  // thread's time requests).
  bool OnProcessThread() const
  {
    return mProcessThread.load(std::memory_order_relaxed) == WDL_Mutex::ThisThread();
  }

  template <class T> void RunFrame(T** inputs, T** outputs, int nFrames, int mode);
  template <class T> void BindInputs(T** inputs, int offset, int nFrames);
  template <class T> void BindOutputs(T** outputs, int offset, int nFrames);
  // The host's floats as they are, for ProcessBlockFloat.
  void BindFloats(float** inputs, float** outputs, int offset, int nFrames);
  void ConvertOutputs(int nFrames, bool accumulate);
  // Inputs that overlap an output other than exactly are read from a copy.
  template <class T> void SeparateAliasedInputs(T** ins, T** outs, int nFrames);
  // Frames a sub-block may hold: the shortest scratch buffer.
  int ScratchFrames() const;

  WDL_PtrList<ChannelIOPair> mChannelIO;
  WDL_PtrList<IParam> mParams;
  WDL_PtrList<PresetSlot> mPresets;
  int mCurrentPresetIdx;
  int mPendingEndParam;
  WDL_Mutex mMutex;

  // Edit reports: a ring allocated with the instance, under mMutex.
  IEditReport* mReports = nullptr;
  int mReportHead = 0, mReportCount = 0;
  std::atomic<int> mReportsDropped{ 0 };
  // Held by the thread sending; never while holding mMutex.
  WDL_Mutex mSendMutex;
  int mSendDepth = 0;
  // The thread that idles the editor, 0 while none has since it opened.
  std::atomic<uintptr_t> mIdleThread{ 0 };
  // The thread inside a process callback, 0 outside one.
  std::atomic<uintptr_t> mProcessThread{ 0 };

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
  WDL_TypedBuf<float*> mInFData, mOutFData;
  WDL_PtrList<InputChannelRec> mInChannels;
  WDL_PtrList<OutputChannelRec> mOutChannels;

private:
  // [worker thread] DoBackgroundWork of the instance owner.
  static void RunBackgroundWork(void* owner);
  // This instance's job on the process-wide worker.
  IPlugWorkerJob mWorkerJob{ RunBackgroundWork, this };

  // [constructor] parameters, presets and channels; throws when one cannot
  // be made.
  void Build(int nParams, const char* channelIOStr, int nPresets);
  // [constructor, destructor] frees what Build made, and the editor.
  void Release();
};
