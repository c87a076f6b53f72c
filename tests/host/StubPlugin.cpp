// A minimal VST 2 effect for exercising hosts: two in, two out, output =
// input × "Gain". It asks its host for time info on every block, for the
// product string and version at effOpen, and calls back on request
// (StubVendorCode). Three parameters with display texts let the renderer's
// value search be tested:
//   0 "Gain"  label "%"  display round(v × 100)
//   1 "Mode"             display one of Off, 1/8, 1/8D, 1/4, Wide
//   2 "Time"  label "ms" display v × 1000 with one decimal
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "StubPlugin.h"
#include "VstEvents.h"

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

namespace
{

int gEntryMode = kStubEntryNormal;

const char* const kModeNames[] = { "Off", "1/8", "1/8D", "1/4", "Wide" };

struct Stub
{
  AEffect effect;
  audioMasterCallback host;
  StubObservations seen;
  float programs[kStubNumPrograms][kStubNumParams];
  char programNames[kStubNumPrograms][kVstMaxProgNameLen];
  VstInt32 program;
  float chunk[kStubNumParams];
};

Stub* From(AEffect* effect) { return static_cast<Stub*>(effect->object); }
float* Params(Stub* s) { return s->programs[s->program]; }

void Copy(void* ptr, const char* text, size_t capacity)
{
  if (ptr) std::snprintf(static_cast<char*>(ptr), capacity, "%s", text);
}

void FormatDisplay(VstInt32 index, float v, char* out)
{
  switch (index)
  {
    case 0: std::snprintf(out, kVstMaxParamStrLen, "%d", (int)std::lround(v * 100.f)); break;
    case 1:
      std::snprintf(out, kVstMaxParamStrLen, "%s", kModeNames[std::min(4, std::max(0, (int)(v * 5.f)))]);
      break;
    default: std::snprintf(out, kVstMaxParamStrLen + 4, "%.1f", v * 1000.f); break;
  }
}

void AskTime(Stub* s)
{
  AEffect* e = &s->effect;
  VstTimeInfo* t =
      (VstTimeInfo*)s->host(e, audioMasterGetTime, 0, kVstTempoValid | kVstTimeSigValid, nullptr, 0.f);
  s->seen.processCalls++;
  s->seen.lastTimeNull = t == nullptr;
  if (!t) return;
  s->seen.lastTempo = t->tempo;
  s->seen.lastSamplePos = t->samplePos;
  s->seen.lastPpqPos = t->ppqPos;
  s->seen.lastTimeFlags = t->flags;
  s->seen.lastTimeSigNumerator = t->timeSigNumerator;
  s->seen.lastTimeSigDenominator = t->timeSigDenominator;
}

template <typename T> void Run(AEffect* e, T** in, T** out, VstInt32 frames, bool accumulate)
{
  Stub* s = From(e);
  AskTime(s);
  T gain = (T)Params(s)[0];
  for (int c = 0; c < 2; ++c)
    for (VstInt32 i = 0; i < frames; ++i) out[c][i] = (accumulate ? out[c][i] : T(0)) + in[c][i] * gain;
}

void VSTCALLBACK ProcessReplacing(AEffect* e, float** i, float** o, VstInt32 n) { Run(e, i, o, n, false); }
void VSTCALLBACK ProcessAccumulate(AEffect* e, float** i, float** o, VstInt32 n) { Run(e, i, o, n, true); }
void VSTCALLBACK ProcessDouble(AEffect* e, double** i, double** o, VstInt32 n) { Run(e, i, o, n, false); }

void VSTCALLBACK SetParameter(AEffect* e, VstInt32 index, float value)
{
  if (index >= 0 && index < kStubNumParams) Params(From(e))[index] = value;
}

float VSTCALLBACK GetParameter(AEffect* e, VstInt32 index)
{
  return index >= 0 && index < kStubNumParams ? Params(From(e))[index] : 0.f;
}

VstIntPtr Send(Stub* s, VstEvent* first, VstInt32 count)
{
  VstEvents events;
  std::memset(&events, 0, sizeof(events));
  events.numEvents = count;
  events.events[0] = first;
  s->seen.lastEventsResult = s->host(&s->effect, audioMasterProcessEvents, 0, 0, &events, 0.f);
  return 1;
}

VstIntPtr VendorSpecific(Stub* s, VstInt32 code, VstIntPtr value, float opt)
{
  AEffect* e = &s->effect;
  switch (code)
  {
    case kStubObservations: return (VstIntPtr)&s->seen;
    case kStubEditGesture:
      s->host(e, audioMasterBeginEdit, (VstInt32)value, 0, nullptr, 0.f);
      s->host(e, audioMasterAutomate, (VstInt32)value, 0, nullptr, opt);
      s->host(e, audioMasterEndEdit, (VstInt32)value, 0, nullptr, 0.f);
      s->host(e, audioMasterUpdateDisplay, 0, 0, nullptr, 0.f);
      return 1;
    case kStubSendMidi:
    {
      VstMidiEvent midi = qtest::MidiEvent(17, 0x90, 60, 100);
      return Send(s, (VstEvent*)&midi, 1);
    }
    case kStubSendSysex:
    {
      char dump[] = { (char)0xF0, 0x7D, 0x01, 0x02, (char)0xF7 };
      VstMidiSysexEvent sysex = qtest::SysExEvent(3, dump, sizeof(dump));
      return Send(s, (VstEvent*)&sysex, 2);  // the second entry is null and must be skipped
    }
  }
  return 0;
}

VstIntPtr VSTCALLBACK Dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt)
{
  Stub* s = From(e);
  bool query = opcode == effVendorSpecific && index == kStubObservations;
  if (!query && s->seen.numDispatched < 64) s->seen.dispatched[s->seen.numDispatched++] = opcode;
  bool paramOk = index >= 0 && index < kStubNumParams;
  switch (opcode)
  {
    case effOpen:
      std::memset(s->seen.productAtOpen, 0x7f, sizeof(s->seen.productAtOpen));
      s->host(e, audioMasterGetProductString, 0, 0, s->seen.productAtOpen, 0.f);
      s->seen.vendorVersionAtOpen = s->host(e, audioMasterGetVendorVersion, 0, 0, nullptr, 0.f);
      return 0;
    case effClose: delete s; return 0;
    case effSetSampleRate: s->seen.sampleRate = opt; return 0;
    case effSetBlockSize: s->seen.blockSize = value; return 0;
    case effSetProgram:
      if (value >= 0 && value < kStubNumPrograms) s->program = (VstInt32)value;
      return 0;
    case effGetProgram: return s->program;
    case effGetProgramName: Copy(ptr, s->programNames[s->program], kVstMaxProgNameLen); return 0;
    case effGetProgramNameIndexed:
      if (index < 0 || index >= kStubNumPrograms) return 0;
      Copy(ptr, s->programNames[index], kVstMaxProgNameLen);
      return 1;
    case effGetParamName:
      if (paramOk && ptr) Copy(ptr, index == 0 ? "Gain" : index == 1 ? "Mode" : "Time", 32);
      return 0;
    case effGetParamLabel:
      if (paramOk && ptr) Copy(ptr, index == 0 ? "%" : index == 2 ? "ms" : "", 32);
      return 0;
    case effGetParamDisplay:
      if (paramOk && ptr) FormatDisplay(index, Params(s)[index], (char*)ptr);
      return 0;
    case effGetChunk:
      if (!ptr) return 0;
      std::memcpy(s->chunk, Params(s), sizeof(s->chunk));
      *(void**)ptr = s->chunk;
      return sizeof(s->chunk);
    case effSetChunk:
      if (!ptr || value != (VstIntPtr)sizeof(s->chunk)) return 0;
      std::memcpy(Params(s), ptr, sizeof(s->chunk));
      return 1;
    case effGetEffectName: Copy(ptr, "Host Stub", kVstMaxEffectNameLen); return ptr ? 1 : 0;
    case effGetVendorString: Copy(ptr, "Quorvex Tests", kVstMaxVendorStrLen); return ptr ? 1 : 0;
    case effGetProductString: Copy(ptr, "Stub", kVstMaxProductStrLen); return ptr ? 1 : 0;
    case effGetVendorVersion: return 1234;
    case effCanDo: return ptr && std::strcmp((const char*)ptr, "receiveVstTimeInfo") == 0;
    case effVendorSpecific: return VendorSpecific(s, index, value, opt);
  }
  return 0;
}

}  // namespace

STUB_EXPORT void QuorvexStubSetEntryMode(int mode) { gEntryMode = mode; }

// Built a second time with STUB_MAIN_ONLY to check the host's fallback to the
// old entry name, which C++ only lets us export under an assembler label.
#if defined(STUB_MAIN_ONLY)
STUB_EXPORT AEffect* StubLegacyMain(audioMasterCallback host) __asm__("main");
STUB_EXPORT AEffect* StubLegacyMain(audioMasterCallback host)
{
#else
STUB_EXPORT AEffect* VSTPluginMain(audioMasterCallback host)
{
#endif
  if (!host || gEntryMode == kStubEntryNull) return nullptr;
  // A bad-magic record cannot be closed by a host, so it must not be allocated.
  static Stub badMagic;
  Stub* s = gEntryMode == kStubEntryBadMagic ? &badMagic : new Stub;
  std::memset(s, 0, sizeof(*s));
  s->host = host;
  // Plug-ins commonly talk to the host before they have an effect to pass.
  s->seen.versionAtLoad = host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.f);
  host(nullptr, audioMasterGetProductString, 0, 0, s->seen.productAtLoad, 0.f);

  AEffect* e = &s->effect;
  e->magic = gEntryMode == kStubEntryBadMagic ? 0 : kEffectMagic;
  e->dispatcher = Dispatcher;
  e->process = ProcessAccumulate;
  e->setParameter = SetParameter;
  e->getParameter = GetParameter;
  e->numPrograms = kStubNumPrograms;
  e->numParams = kStubNumParams;
  e->numInputs = 2;
  e->numOutputs = 2;
  e->flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing | effFlagsProgramChunks;
  e->ioRatio = 1.f;
  e->object = s;
  e->uniqueID = kStubUniqueID;
  e->version = 1234;
  e->processReplacing = ProcessReplacing;
  e->processDoubleReplacing = ProcessDouble;

  const char* names[kStubNumPrograms] = { "Init", "Loud", "Wide Echo" };
  const float values[kStubNumPrograms][kStubNumParams] = { { 1.f, 0.f, 0.25f },
                                                           { 0.9f, 0.5f, 0.5f },
                                                           { 0.5f, 0.9f, 0.75f } };
  for (int p = 0; p < kStubNumPrograms; ++p)
  {
    Copy(s->programNames[p], names[p], kVstMaxProgNameLen);
    std::memcpy(s->programs[p], values[p], sizeof(values[p]));
  }
  return e;
}
