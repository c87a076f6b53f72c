// IPlugVST
//
// Contents:
//   - construction and the AEffect
//   - host services (gestures, time info, MIDI out)
//   - host entry points (process, parameters)
//   - dispatcher and its helpers (chunks, pins, events, vendor-specific)
#include "IPlugVST.h"
#include "IGraphics.h"
#include "IPlugBoundary.h"

#include <cmath>
#include <cstdio>
#include <cstring>

// Host buffers for parameter texts are small; names, labels and display
// texts never exceed 31 characters.
static const int kParamTextBytes = 32;
// Program names copied to the host: hosts commonly size their buffers for
// far less than a slot can hold.
static const int kProgramNameBytes = 64;
// Longest host text we read (program names, typed values).
static const int kHostTextBytes = MAX_PRESET_NAME_LEN;

// Positive in the 64-bit result too: hosts compare the whole value.
static const VstIntPtr kCockosExtension = (VstIntPtr)0xBEEF0000u;
static const VstInt32 kVendorHandled = 0xBEEF;
static const VstInt32 kWheelQuery = CCONST('s', 't', 'C', 'A');
static const VstInt32 kWheelValue = CCONST('W', 'h', 'e', 'e');

static int BoundedCount(int n, int max) { return n < 0 ? 0 : (n > max ? max : n); }

static void FillSpeakerArrangement(VstSpeakerArrangement* arr, int nChannels)
{
  std::memset(arr, 0, sizeof(*arr));
  arr->numChannels = nChannels;
  switch (nChannels)
  {
    case 0: arr->type = kSpeakerArrEmpty; break;
    case 1: arr->type = kSpeakerArrMono; break;
    case 2: arr->type = kSpeakerArrStereo; break;
    default: arr->type = kSpeakerArrUserDefined; break;
  }
}

// ================================================================ construction

IPlugVST::IPlugVST(audioMasterCallback hostCallback, int nParams, const char* channelIOStr, int nPresets,
                   const char* effectName, const char* productName, const char* mfrName, int vendorVersion,
                   int uniqueID, int mfrID, int latency, int midiMode, bool plugDoesChunks, bool plugIsInst)
  : IPlugBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion, uniqueID,
              mfrID, latency, midiMode, plugDoesChunks, plugIsInst),
    mHostCallback(hostCallback), mHostInitDone(false)
{
  std::memset(&mEditRect, 0, sizeof(mEditRect));
  std::memset(&mAEffect, 0, sizeof(mAEffect));
  mAEffect.magic = kEffectMagic;
  mAEffect.dispatcher = VSTDispatcher;
  mAEffect.process = VSTProcess;
  mAEffect.setParameter = VSTSetParameter;
  mAEffect.getParameter = VSTGetParameter;
  mAEffect.numPrograms = nPresets;
  mAEffect.numParams = nParams;
  mAEffect.numInputs = NInChannels();
  mAEffect.numOutputs = NOutChannels();
  mAEffect.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing;
  if (plugDoesChunks) mAEffect.flags |= effFlagsProgramChunks;
  if (IsAllowedIO(1, -1)) mAEffect.flags |= effFlagsCanMono;
  if (plugIsInst) mAEffect.flags |= effFlagsIsSynth;
  mAEffect.initialDelay = latency;
  mAEffect.ioRatio = 1.0f;
  mAEffect.object = this;
  mAEffect.uniqueID = uniqueID;
  mAEffect.version = GetVersion(true);
  mAEffect.processReplacing = VSTProcessReplacing;
  mAEffect.processDoubleReplacing = VSTProcessDoubleReplacing;

  FillSpeakerArrangement(&mInputSpkrArr, NInChannels());
  FillSpeakerArrangement(&mOutputSpkrArr, NOutChannels());

  SetInputsConnected(0, NInChannels(), true);
  SetOutputsConnected(0, NOutChannels(), true);
  SetBlockSize(1024);
}

IPlugVST::~IPlugVST()
{
  // Also when deleted without effClose: a pending wheel gesture still ends
  // at the host while the adapter exists to tell it.
  FlushPendingGestureEnd();
  SendEditReports(true);
  mProgramChunk.Resize(0);
  mBankChunk.Resize(0);
}

// ================================================================ host services

VstIntPtr IPlugVST::HostCall(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  // The audio thread's time requests are the only host calls made under
  // the lock.
  if (!OnProcessThread()) ILockRule::Check(&mMutex, "a host call");
  return mHostCallback ? mHostCallback(&mAEffect, opcode, index, value, ptr, opt) : 0;
}

VstTimeInfo* IPlugVST::GetTimeInfo(VstInt32 mask)
{
  return (VstTimeInfo*)HostCall(audioMasterGetTime, 0, mask);
}

// Gestures, automation and display requests are queued under the lock and
// reach the host in SendEditReport, after it is released.
void IPlugVST::BeginParamGesture(int paramIdx)
{
  WDL_MutexLock lock(&mMutex);
  FlushPendingGestureEnd();
  QueueEditReport(IEditReport::kBeginEdit, paramIdx);
}

void IPlugVST::BeginParamGestureIfNew(int paramIdx)
{
  WDL_MutexLock lock(&mMutex);
  if (paramIdx != mPendingEndParam)
  {
    FlushPendingGestureEnd();
    QueueEditReport(IEditReport::kBeginEdit, paramIdx);
  }
}

void IPlugVST::AutomateParam(int paramIdx, double normalizedValue)
{
  QueueEditReport(IEditReport::kAutomate, paramIdx, normalizedValue);
}

void IPlugVST::EndParamGesture(int paramIdx) { QueueEditReport(IEditReport::kEndEdit, paramIdx); }

void IPlugVST::NotifyHostDisplay() { QueueEditReport(IEditReport::kUpdateDisplay, -1); }

void IPlugVST::SendEditReport(const IEditReport& r)
{
  switch (r.mKind)
  {
    case IEditReport::kBeginEdit: HostCall(audioMasterBeginEdit, r.mParamIdx); break;
    case IEditReport::kAutomate:
      HostCall(audioMasterAutomate, r.mParamIdx, 0, nullptr, (float)r.mValue);
      break;
    case IEditReport::kEndEdit: HostCall(audioMasterEndEdit, r.mParamIdx); break;
    case IEditReport::kUpdateDisplay: HostCall(audioMasterUpdateDisplay); break;
    default: break;
  }
}

int IPlugVST::HostSamplePos()
{
  const VstTimeInfo* ti = GetTimeInfo(0);
  if (!ti || !(ti->samplePos >= 0.0)) return 0;
  const double pos = ti->samplePos + 0.5;
  return pos < 2147483647.0 ? (int)pos : 2147483647;
}

double IPlugVST::HostTempo()
{
  const VstTimeInfo* ti = GetTimeInfo(kVstTempoValid);
  if (!ti || !(ti->flags & kVstTempoValid)) return 0.0;
  // NaN and infinities count as no tempo.
  const double tempo = ti->tempo;
  return (tempo > 0.0 && std::isfinite(tempo)) ? tempo : 0.0;
}

void IPlugVST::HostTimeSig(int* numerator, int* denominator)
{
  int num = 0, den = 0;
  const VstTimeInfo* ti = GetTimeInfo(kVstTimeSigValid);
  if (ti && (ti->flags & kVstTimeSigValid) && ti->timeSigNumerator >= 0 && ti->timeSigDenominator >= 0)
  {
    num = ti->timeSigNumerator;
    den = ti->timeSigDenominator;
  }
  if (numerator) *numerator = num;
  if (denominator) *denominator = den;
}

bool IPlugVST::HostRendersOffline()
{
  return HostCall(audioMasterGetCurrentProcessLevel) == kVstProcessLevelOffline;
}

int IPlugVST::IdentifyHost()
{
  {
    WDL_MutexLock lock(&mMutex);
    if (mHost >= 0) return mHost;
  }
  // Asked without the lock; a second thread asking at the same time asks
  // again and stores the same answer.
  {
    char product[256];
    product[0] = 0;
    HostCall(audioMasterGetProductString, 0, 0, product);
    product[sizeof(product) - 1] = 0;
    int packed = 0;
    if (product[0])
    {
      // A version the packed form cannot hold (major above 65535, or
      // negative) is unknown rather than garbage.
      const VstIntPtr v = HostCall(audioMasterGetVendorVersion);
      const long long d = (v < 0 || v > 655359999) ? 0 : (long long)v;
      packed = (int)(((d / 10000) << 16) | (((d % 10000) / 100) << 8) | (d % 100));
    }
    SetHostInfo(product, packed);
  }
  WDL_MutexLock lock(&mMutex);
  return mHost;
}

void IPlugVST::InitForHost()
{
  {
    WDL_MutexLock lock(&mMutex);
    if (mHostInitDone) return;
  }
  const int host = IdentifyHost();
  WDL_MutexLock lock(&mMutex);
  if (mHostInitDone) return;
  mHostInitDone = true;
  // These hosts open every input pin they are offered; keep them to a pair.
  if (host == 15 || host == 17 || host == 18 || host == 20)
    if (NInChannels() > 2) SetInputsConnected(2, NInChannels() - 2, false);
  mInputSpkrArr.numChannels = mAEffect.numInputs = NInChannels();
  mOutputSpkrArr.numChannels = mAEffect.numOutputs = NOutChannels();
}

void IPlugVST::AttachEditor(IGraphics* graphics)
{
  WDL_MutexLock lock(&mMutex);
  IPlugBase::AttachEditor(graphics);
  if (graphics && mGraphics == graphics)
  {
    mAEffect.flags |= effFlagsHasEditor;
    SyncEditorRect();
  }
}

void IPlugVST::SyncEditorRect()
{
  if (!mGraphics) return;
  mEditRect.top = 0;
  mEditRect.left = 0;
  mEditRect.bottom = (VstInt16)mGraphics->Height();
  mEditRect.right = (VstInt16)mGraphics->Width();
}

void IPlugVST::SetLatency(int samples)
{
  WDL_MutexLock lock(&mMutex);
  mAEffect.initialDelay = samples;
  IPlugBase::SetLatency(samples);
}

bool IPlugVST::SendMidiMessage(MidiMessage* msg)
{
  if (!msg) return false;
  VstMidiEvent ev;
  std::memset(&ev, 0, sizeof(ev));
  ev.type = kVstMidiType;
  ev.byteSize = sizeof(VstMidiEvent);
  ev.deltaFrames = msg->mOffset;
  ev.midiData[0] = (char)msg->mStatus;
  ev.midiData[1] = (char)msg->mData1;
  ev.midiData[2] = (char)msg->mData2;
  VstEvents events;
  std::memset(&events, 0, sizeof(events));
  events.numEvents = 1;
  events.events[0] = (VstEvent*)&ev;
  return HostCall(audioMasterProcessEvents, 0, 0, &events) == 1;
}

bool IPlugVST::SendSysExMessage(SysExMessage* msg)
{
  if (!msg) return false;
  VstMidiSysexEvent ev;
  std::memset(&ev, 0, sizeof(ev));
  ev.type = kVstSysExType;
  ev.byteSize = sizeof(VstMidiSysexEvent);
  ev.deltaFrames = msg->mOffset;
  ev.dumpBytes = msg->mSize;
  ev.sysexDump = (char*)msg->mData;
  VstEvents events;
  std::memset(&events, 0, sizeof(events));
  events.numEvents = 1;
  events.events[0] = (VstEvent*)&ev;
  return HostCall(audioMasterProcessEvents, 0, 0, &events) == 1;
}

// ================================================================ host entry points

static IPlugVST* PlugOf(AEffect* effect) { return effect ? (IPlugVST*)effect->object : nullptr; }

void IPlugVST::PrepareBlock()
{
  if (GetMidiMode()) HostCall(audioMasterWantMidi);
}

// The three process callbacks: the frame takes the lock, sends WantMidi
// (PrepareBlock), then binds and processes. A block that throws is silence
// on every output it would have replaced (nothing added when accumulating);
// the next block runs as usual.
template <class T>
static void RunProcessCallback(AEffect* effect, T** inputs, T** outputs, VstInt32 nFrames,
                               void (IPlugBase::*frame)(T**, T**, int), bool replacing)
{
  IPlugVST* plug = PlugOf(effect);
  if (!plug) return;
  if (CatchAtBoundary([&] { (plug->*frame)(inputs, outputs, nFrames); })) return;
  if (!replacing || !outputs || nFrames <= 0) return;
  for (int i = 0; i < plug->NOutChannels(); ++i)
    if (T* out = outputs[i]) std::memset(out, 0, sizeof(T) * (size_t)nFrames);
}

void VSTCALLBACK IPlugVST::VSTProcess(AEffect* effect, float** inputs, float** outputs, VstInt32 nFrames)
{
  RunProcessCallback(effect, inputs, outputs, nFrames, &IPlugBase::ProcessAccumulating, false);
}

void VSTCALLBACK IPlugVST::VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs,
                                               VstInt32 nFrames)
{
  RunProcessCallback(effect, inputs, outputs, nFrames, &IPlugBase::ProcessReplacing, true);
}

void VSTCALLBACK IPlugVST::VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                                     VstInt32 nFrames)
{
  RunProcessCallback(effect, inputs, outputs, nFrames, &IPlugBase::ProcessDoubleReplacing, true);
}

// A getParameter that throws reads 0; a setParameter that throws keeps the
// value it had set.
float VSTCALLBACK IPlugVST::VSTGetParameter(AEffect* effect, VstInt32 index)
{
  IPlugVST* plug = PlugOf(effect);
  if (!plug) return 0.0f;
  float value = 0.0f;
  if (!CatchAtBoundary([&] { value = plug->GetParameterNow(index); })) return 0.0f;
  return value;
}

void VSTCALLBACK IPlugVST::VSTSetParameter(AEffect* effect, VstInt32 index, float value)
{
  IPlugVST* plug = PlugOf(effect);
  if (!plug) return;
  CatchAtBoundary([&] { plug->SetParameterNow(index, value); });
}

float IPlugVST::GetParameterNow(VstInt32 index)
{
  WDL_MutexLock lock(&mMutex);
  IParam* param = GetParam(index);
  return param ? (float)param->GetUnitValue() : 0.0f;
}

void IPlugVST::SetParameterNow(VstInt32 index, float value)
{
  WDL_MutexLock lock(&mMutex);
  IParam* param = GetParam(index);
  if (!param) return;
  // Controls get the value bounded as the parameter bounds it: a NaN or
  // out-of-range value from the host must not reach drawing code.
  const double normalized = value > 0.0 ? (value < 1.0 ? value : 1.0) : 0.0;
  if (mGraphics) mGraphics->UpdateParamControls(index, normalized, true);
  param->SetUnitValue(normalized);
  ParamChanged(index);
}

// ================================================================ dispatcher

VstIntPtr VSTCALLBACK IPlugVST::VSTDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                              VstIntPtr value, void* ptr, float opt)
{
  IPlugVST* plug = PlugOf(effect);
  if (!plug) return 0;
  if (opcode == effClose)
  {
    CatchAtBoundary([&] { plug->Close(); });
    return 0;
  }
  // A call that throws answers 0, its locks released on the way out and no
  // editor left half open; state changes are built before they are swapped
  // in where they can be, so the state stays as it was.
  VstIntPtr result = 0;
  CatchAtBoundary([&] { result = plug->Dispatch(opcode, index, value, ptr, opt); });
  // Hosts expect edit reports on their GUI thread: the thread that idles
  // the editor sends them (any thread while none does). Events sent from
  // the audio thread never do.
  if (opcode != effProcessEvents)
    CatchAtBoundary(
        [&]
        {
          if (plug->SendsFromHostCalls()) plug->SendEditReports(false);
        });
  return result;
}

void IPlugVST::Close()
{
  // An editor still open (hosts do forget effEditClose) closes first,
  // without the lock: its thread may be waiting for it.
  if (mGraphics && mGraphics->GetWindow())
  {
    EditorClosing();
    mGraphics->CloseWindow();
  }
  // No job of this instance runs from here on, and the last instance
  // closed joins the worker while the module is surely still loaded.
  StopBackgroundWork();
  // Waits for a call in progress, and closes a wheel gesture the host
  // would otherwise record as still held.
  {
    WDL_MutexLock lock(&mMutex);
    FlushPendingGestureEnd();
  }
  SendEditReports(true);
  delete this;
}

VstIntPtr IPlugVST::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  // Opcodes that make window-system calls, start threads, build lines or
  // call the host run without the lock; what they do to state takes it.
  switch (opcode)
  {
    case effOpen:
      InitForHost();
      NotifyAllParamsChanged();
      return 0;

    case effSetSampleRate:
      SetSampleRate(opt);
      ResetProcessing();
      return 0;

    case effSetBlockSize:
      SetBlockSize(value < 0 ? 0 : (value > 0x7fffffff ? 0x7fffffff : (int)value));
      ResetProcessing();
      return 0;

    case effMainsChanged:
      if (value)
      {
        ActivationChanged(true);
      }
      else
      {
        ActivationChanged(false);
        ResetProcessing();
      }
      return 0;

    case effEditGetRect:
      if (ptr && mGraphics)
      {
        WDL_MutexLock lock(&mMutex);
        *(ERect**)ptr = &mEditRect;
        return 1;
      }
      return 0;

    case effEditOpen:
      if (!mGraphics) return 0;
      NoteEditorOpened();
      if (!mGraphics->OpenWindow(ptr)) return 0;
      // The host takes a throw for a refusal: no window may stay open.
      try
      {
        EditorOpened();
      }
      catch (...)
      {
        mGraphics->CloseWindow();
        throw;
      }
      return 1;

    case effEditClose:
      if (!mGraphics) return 0;
      EditorClosing();
      mGraphics->CloseWindow();
      SendEditReports(true);
      return 1;

    case effEditIdle:
      if (mGraphics && mGraphics->GetWindow()) NoteEditorIdle();
      return 0;

    case effVendorSpecific:
      if (index == kWheelQuery && value == kWheelValue)
        return mGraphics ? (mGraphics->OnHostMouseWheel(opt) ? 1 : 0) : 0;
      break;

    default: break;
  }

  WDL_MutexLock lock(&mMutex);
  IParam* param = GetParam(index);  // null unless index is a valid parameter

  switch (opcode)
  {
    case effSetProgram:
      StoreCurrentPreset();
      if (value >= 0 && value <= 0x7fffffff) SelectPreset((int)value);
      return 0;

    case effGetProgram: return GetCurrentPresetIdx();

    case effSetProgramName:
      if (ptr)
      {
        char name[kHostTextBytes];
        CopyFixedText(name, (const char*)ptr, sizeof(name));
        StoreCurrentPreset(name);
      }
      return 0;

    case effGetProgramName:
      if (ptr) CopyFixedText((char*)ptr, GetPresetName(GetCurrentPresetIdx()), kProgramNameBytes);
      return 0;

    case effGetParamLabel:
      if (param && ptr) CopyFixedText((char*)ptr, param->GetLabelForHost(), kParamTextBytes);
      return 0;

    case effGetParamDisplay:
      if (param && ptr)
      {
        char text[MAX_PARAM_DISPLAY_TEXT];
        param->FormatDisplay(false, text, param->Value());
        CopyFixedText((char*)ptr, text, kParamTextBytes);
      }
      return 0;

    case effGetParamName:
      if (param && ptr) CopyFixedText((char*)ptr, param->GetNameForHost(), kParamTextBytes);
      return 0;

    case effIdentify: return CCONST('N', 'v', 'E', 'f');

    case effGetChunk: return GetChunk((void**)ptr, index == 0);

    case effSetChunk: return SetChunk(ptr, value, index == 0);

    case effProcessEvents:
      if (!ptr) return 0;
      ProcessEvents((const VstEvents*)ptr);
      return 1;

    case effCanBeAutomated: return 1;

    case effString2Parameter:
      if (!param) return 0;
      if (ptr)
      {
        char text[kHostTextBytes];
        CopyFixedText(text, (const char*)ptr, sizeof(text));
        const double v = param->ValueFromText(text);
        if (mGraphics) mGraphics->UpdateParamControls(index, v, false);
        param->SetValue(v);
        ParamChanged(index);
      }
      return 1;

    case effGetProgramNameIndexed:
      if (!ptr) return 0;
      CopyFixedText((char*)ptr, GetPresetName(index), kProgramNameBytes);
      return ((char*)ptr)[0] ? 1 : 0;

    case effGetInputProperties: return PinProperties((VstPinProperties*)ptr, index, true);

    case effGetOutputProperties: return PinProperties((VstPinProperties*)ptr, index, false);

    case effGetPlugCategory: return IsInstrument() ? kPlugCategSynth : kPlugCategEffect;

    case effSetSpeakerArrangement:
    {
      const VstSpeakerArrangement* in = (const VstSpeakerArrangement*)value;
      const VstSpeakerArrangement* out = (const VstSpeakerArrangement*)ptr;
      // The host's counts are bounded to ours first, so that count - n
      // cannot overflow for a hostile numChannels.
      if (in)
      {
        const int n = BoundedCount(in->numChannels, NInChannels());
        SetInputsConnected(0, n, true);
        SetInputsConnected(n, NInChannels() - n, false);
      }
      if (out)
      {
        const int n = BoundedCount(out->numChannels, NOutChannels());
        SetOutputsConnected(0, n, true);
        SetOutputsConnected(n, NOutChannels() - n, false);
      }
      return 1;
    }

    case effGetEffectName:
      if (!ptr) return 0;
      CopyFixedText((char*)ptr, GetEffectName(), kVstMaxEffectNameLen);
      return 1;

    case effGetVendorString:
      if (!ptr) return 0;
      CopyFixedText((char*)ptr, GetMfrName(), kVstMaxVendorStrLen);
      return 1;

    case effGetProductString:
      if (!ptr) return 0;
      CopyFixedText((char*)ptr, GetProductName(), kVstMaxProductStrLen);
      return 1;

    case effGetVendorVersion: return GetVersion(true);

    case effVendorSpecific: return VendorSpecific(index, value, ptr, opt);

    case effCanDo: return CanDo((const char*)ptr);

    case effGetVstVersion: return kVstVersion;

    case effGetMidiKeyName:
      if (ptr)
      {
        MidiKeyName* key = (MidiKeyName*)ptr;
        key->keyName[0] = 0;
        const bool named = NoteNameFor(key->thisKeyNumber, key->keyName);
        key->keyName[sizeof(key->keyName) - 1] = 0;
        return named ? 1 : 0;
      }
      return 0;

    case effGetSpeakerArrangement:
      if (value) *(VstSpeakerArrangement**)value = &mInputSpkrArr;
      if (ptr) *(VstSpeakerArrangement**)ptr = &mOutputSpkrArr;
      return 1;

    default: return 0;
  }
}

VstIntPtr IPlugVST::VendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  const bool valid = value >= 0 && value < NParams();
  IParam* param = valid ? GetParam((int)value) : nullptr;

  if (index == effGetParamDisplay)
  {
    if (!ptr) return 0;
    if (param)
    {
      char text[MAX_PARAM_DISPLAY_TEXT];
      param->FormatDisplay(true, text, opt);
      CopyFixedText((char*)ptr, text, kParamTextBytes);
    }
    return kVendorHandled;
  }
  if (index == effGetParamName)
  {
    return (param && param->IsTwoState()) ? kVendorHandled : 0;
  }
  if (index == effString2Parameter)
  {
    if (!ptr || !param) return 0;
    char* text = (char*)ptr;
    if (text[0])
    {
      char in[kHostTextBytes];
      CopyFixedText(in, text, sizeof(in));
      const double v = param->ValueFromText(in);
      std::snprintf(text, 24, "%.17f", param->GetUnitValue(v));
    }
    return kVendorHandled;
  }
  return 0;
}

VstIntPtr IPlugVST::CanDo(const char* question) const
{
  if (!question) return 0;
  const int midi = GetMidiMode();
  if (!std::strcmp(question, "receiveVstTimeInfo")) return 1;
  if (!std::strcmp(question, "sendVstEvents") || !std::strcmp(question, "sendVstMidiEvent"))
    return (midi == 1 || midi == 3) ? 1 : 0;
  if (!std::strcmp(question, "receiveVstEvents") || !std::strcmp(question, "receiveVstMidiEvent"))
    return (midi == 1 || midi == 2) ? 1 : 0;
  if (!std::strcmp(question, "hasCockosExtensions")) return kCockosExtension;
  if (!std::strcmp(question, "hasCockosViewAsConfig")) return kCockosExtension;
  return 0;
}

VstIntPtr IPlugVST::GetChunk(void** data, bool isBank)
{
  if (!data) return 0;
  StateChunk* chunk = isBank ? &mBankChunk : &mProgramChunk;
  const bool ok = isBank ? SerializeBank(chunk) : SerializeProgram(chunk);
  if (!ok || chunk->Size() <= 0) return 0;
  *data = chunk->GetBytes();
  return chunk->Size();
}

VstIntPtr IPlugVST::SetChunk(const void* data, VstIntPtr size, bool isBank)
{
  // An empty or negative size carries no state: refuse it rather than
  // resetting the first parameter as a cut-off chunk would.
  if (!data || size <= 0 || size > 0x7fffffff) return 0;
  StateChunk* chunk = isBank ? &mBankChunk : &mProgramChunk;
  uint8_t* bytes = chunk->Resize((int)size);
  if (!bytes || chunk->Size() != (int)size) return 0;
  std::memcpy(bytes, data, (size_t)size);
  return UnserializeState(chunk, isBank) >= 0 ? 1 : 0;
}

VstIntPtr IPlugVST::PinProperties(VstPinProperties* pin, int index, bool isInput) const
{
  const int count = isInput ? NInChannels() : NOutChannels();
  if (!pin || index < 0 || index >= count) return 0;
  pin->flags = kVstPinIsActive;
  if (index % 2 == 0 && index < count - 1) pin->flags |= kVstPinIsStereo;
  std::snprintf(pin->label, sizeof(pin->label), isInput ? "Input %d" : "Output %d", index + 1);
  return 1;
}

void IPlugVST::ProcessEvents(const VstEvents* events)
{
  for (int i = 0; i < events->numEvents; ++i)
  {
    const VstEvent* ev = events->events[i];
    if (!ev) continue;
    if (ev->type == kVstMidiType)
    {
      const VstMidiEvent* me = (const VstMidiEvent*)ev;
      MidiMessage msg;
      msg.mOffset = me->deltaFrames;
      msg.mStatus = (uint8_t)me->midiData[0];
      msg.mData1 = (uint8_t)me->midiData[1];
      msg.mData2 = (uint8_t)me->midiData[2];
      MidiReceived(&msg);
    }
    else if (ev->type == kVstSysExType)
    {
      const VstMidiSysexEvent* se = (const VstMidiSysexEvent*)ev;
      if (se->dumpBytes < 0 || (se->dumpBytes > 0 && !se->sysexDump)) continue;
      SysExMessage msg;
      msg.mOffset = se->deltaFrames;
      msg.mSize = se->dumpBytes;
      msg.mData = (const uint8_t*)se->sysexDump;
      SysExReceived(&msg);
    }
  }
}
