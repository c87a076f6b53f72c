#include "IPlugLV2.h"

#include "IPlugBoundary.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/time/time.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

// Sections:
//   - construction: features, ports
//   - blocks: ports, transport, run
//   - background work
//   - state
//   - entry points

namespace
{

const void* FindFeature(const LV2_Feature* const* features, const char* uri)
{
  for (int i = 0; features && features[i]; ++i)
    if (features[i]->URI && std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
  return nullptr;
}

// The block length from options, 0 when the host gives none.
int MaxBlockFromOptions(const LV2_Options_Option* options, LV2_URID_Map* map)
{
  if (!options || !map) return 0;
  const LV2_URID maxLen = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
  const LV2_URID nominal = map->map(map->handle, LV2_BUF_SIZE__nominalBlockLength);
  const LV2_URID atomInt = map->map(map->handle, LV2_ATOM__Int);
  int found = 0;
  for (const LV2_Options_Option* o = options; o->key || o->value; ++o)
    if ((o->key == maxLen || (o->key == nominal && !found)) && o->type == atomInt &&
        o->size == sizeof(int32_t) && o->value)
    {
      const int32_t v = *(const int32_t*)o->value;
      if (v > 0) found = v;
    }
  return found;
}

}  // namespace

// ================================================================ construction

IPlugLV2::IPlugLV2(const IPlugLV2InstanceInfo& info, int nParams, const char* channelIOStr, int nPresets,
                   const char* effectName, const char* productName, const char* mfrName, int vendorVersion,
                   int uniqueID, int mfrID, int latency, int midiMode, bool plugDoesChunks, bool plugIsInst)
  : IPlugBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion, uniqueID,
              mfrID, latency, midiMode, plugDoesChunks, plugIsInst)
{
  mMap = (LV2_URID_Map*)FindFeature(info.mFeatures, LV2_URID__map);
  if (mMap && !mMap->map) mMap = nullptr;
  mSchedule = (LV2_Worker_Schedule*)FindFeature(info.mFeatures, LV2_WORKER__schedule);
  if (mSchedule && !mSchedule->schedule_work) mSchedule = nullptr;
  if (mMap)
  {
    const struct
    {
      LV2_URID* urid;
      const char* uri;
    } kUris[] = {
      { &mUrids.atomBlank, LV2_ATOM__Blank },
      { &mUrids.atomObject, LV2_ATOM__Object },
      { &mUrids.atomFloat, LV2_ATOM__Float },
      { &mUrids.atomDouble, LV2_ATOM__Double },
      { &mUrids.atomInt, LV2_ATOM__Int },
      { &mUrids.atomLong, LV2_ATOM__Long },
      { &mUrids.atomChunk, LV2_ATOM__Chunk },
      { &mUrids.timePosition, LV2_TIME__Position },
      { &mUrids.timeBpm, LV2_TIME__beatsPerMinute },
      { &mUrids.timeFrame, LV2_TIME__frame },
      { &mUrids.timeSpeed, LV2_TIME__speed },
      { &mUrids.timeBeatsPerBar, LV2_TIME__beatsPerBar },
      { &mUrids.timeBeatUnit, LV2_TIME__beatUnit },
    };
    for (const auto& u : kUris) *u.urid = mMap->map(mMap->handle, u.uri);
    const std::string uri = info.mPluginUri ? info.mPluginUri : "";
    mUrids.stateBank = mMap->map(mMap->handle, (uri + "#bank").c_str());
    mUrids.stateProgram = mMap->map(mMap->handle, (uri + "#program").c_str());
  }

  if (std::isfinite(info.mSampleRate) && info.mSampleRate > 0.0) SetSampleRate(info.mSampleRate);
  const int maxBlock =
      MaxBlockFromOptions((const LV2_Options_Option*)FindFeature(info.mFeatures, LV2_OPTIONS__options), mMap);
  SetBlockSize(maxBlock > 0 ? maxBlock : 1024);

  const int nIn = NInChannels(), nOut = NOutChannels();
  if (!mControlPorts.Resize(nParams) || !mLastControl.Resize(nParams) || (nIn && !mInPorts.Resize(nIn)) ||
      (nOut && !mOutPorts.Resize(nOut)))
    throw std::bad_alloc();
  for (int i = 0; i < nParams; ++i)
  {
    mControlPorts.Get()[i] = nullptr;
    mLastControl.Get()[i] = std::numeric_limits<float>::quiet_NaN();
  }
  for (int i = 0; i < nIn; ++i) mInPorts.Get()[i] = nullptr;
  for (int i = 0; i < nOut; ++i) mOutPorts.Get()[i] = nullptr;
  // Audio ports are always there; one the host leaves null reads silence.
  SetInputsConnected(0, nIn, true);
  SetOutputsConnected(0, nOut, true);

  // Symbols from names: lower case, runs of other characters as one '_'.
  const int kSymbolLen = 64;
  if (nParams && !mSymbols.Resize(nParams * kSymbolLen)) throw std::bad_alloc();
  for (int i = 0; i < nParams; ++i)
  {
    char* out = mSymbols.Get() + i * kSymbolLen;
    int n = 0;
    for (const char* c = GetParam(i)->GetNameForHost(); *c && n < kSymbolLen - 1; ++c)
    {
      const unsigned char ch = (unsigned char)*c;
      if (std::isalnum(ch))
        out[n++] = (char)std::tolower(ch);
      else if (n && out[n - 1] != '_')
        out[n++] = '_';
    }
    while (n && out[n - 1] == '_') --n;
    out[n] = 0;
  }
}

IPlugLV2::~IPlugLV2() { StopBackgroundWork(); }

const char* IPlugLV2::ParamSymbol(int paramIdx) const
{
  if (paramIdx < 0 || paramIdx >= NParams() || !mSymbols.Get()) return "";
  return mSymbols.Get() + paramIdx * 64;
}

void IPlugLV2::ConnectPort(uint32_t port, void* data)
{
  const uint32_t nParams = (uint32_t)NParams(), nIn = (uint32_t)NInChannels(),
                 nOut = (uint32_t)NOutChannels();
  if (port < nParams)
    mControlPorts.Get()[port] = (const float*)data;
  else if ((port -= nParams) < nIn)
    mInPorts.Get()[port] = (float*)data;
  else if ((port -= nIn) < nOut)
    mOutPorts.Get()[port] = (float*)data;
  else if ((port -= nOut) == 0)
    mTimePort = (const LV2_Atom_Sequence*)data;
  else if (port == 1)
    mFreewheelPort = (const float*)data;
}

void IPlugLV2::Activate() { ActivationChanged(true); }

void IPlugLV2::Deactivate()
{
  ActivationChanged(false);
  ResetProcessing();
}

// ================================================================ blocks

void IPlugLV2::PrepareBlock()
{
  for (int i = 0; i < NParams(); ++i)
  {
    const float* port = mControlPorts.Get()[i];
    if (!port) continue;
    const float v = *port;
    float& last = mLastControl.Get()[i];
    if (v == last || (std::isnan(v) && std::isnan(last))) continue;
    last = v;
    // A NaN from the host keeps the value the parameter has.
    if (!std::isfinite(v)) continue;
    IParam* param = GetParam(i);
    param->SetValue(param->Bounded((double)v));
    ParamChanged(i);
  }
  ReadTransport();
}

// A position applies from the start of the block in which it arrives: the
// last one in the sequence counts for the whole block.
void IPlugLV2::ReadTransport()
{
  const LV2_Atom_Sequence* seq = mTimePort;
  if (!seq || !mMap) return;
  // Walked within the size the host gives, every event checked to fit.
  const uint32_t size = seq->atom.size;
  if (size < sizeof(LV2_Atom_Sequence_Body)) return;
  const uint8_t* body = (const uint8_t*)&seq->body;
  uint32_t at = sizeof(LV2_Atom_Sequence_Body);
  while (at + sizeof(LV2_Atom_Event) <= size)
  {
    const LV2_Atom_Event* ev = (const LV2_Atom_Event*)(body + at);
    const uint32_t evSize = ev->body.size;
    if (evSize > size - at - sizeof(LV2_Atom_Event)) break;
    const LV2_Atom* atom = &ev->body;
    if ((atom->type == mUrids.atomObject || atom->type == mUrids.atomBlank) &&
        evSize >= sizeof(LV2_Atom_Object_Body))
    {
      const LV2_Atom_Object_Body* obj = (const LV2_Atom_Object_Body*)(atom + 1);
      if (obj->otype == mUrids.timePosition)
      {
        // Properties: key, context, then an atom and its padded body.
        const uint8_t* props = (const uint8_t*)(obj + 1);
        const uint32_t propsSize = evSize - (uint32_t)sizeof(LV2_Atom_Object_Body);
        uint32_t p = 0;
        while (p + sizeof(LV2_Atom_Property_Body) <= propsSize)
        {
          const LV2_Atom_Property_Body* prop = (const LV2_Atom_Property_Body*)(props + p);
          const uint32_t vSize = prop->value.size;
          if (vSize > propsSize - p - sizeof(LV2_Atom_Property_Body)) break;
          const void* v = prop + 1;
          double value = std::numeric_limits<double>::quiet_NaN();
          if (prop->value.type == mUrids.atomFloat && vSize >= sizeof(float))
            value = *(const float*)v;
          else if (prop->value.type == mUrids.atomDouble && vSize >= sizeof(double))
            value = *(const double*)v;
          else if (prop->value.type == mUrids.atomInt && vSize >= sizeof(int32_t))
            value = *(const int32_t*)v;
          else if (prop->value.type == mUrids.atomLong && vSize >= sizeof(int64_t))
            value = (double)*(const int64_t*)v;
          if (std::isfinite(value))
          {
            if (prop->key == mUrids.timeBpm && value > 0.0)
              mTempo = value;
            else if (prop->key == mUrids.timeFrame)
              mFrame = value;
            else if (prop->key == mUrids.timeSpeed)
              mSpeed = value;
            else if (prop->key == mUrids.timeBeatsPerBar && value > 0.0 && value < 1e6)
              mBeatsPerBar = (int)value;
            else if (prop->key == mUrids.timeBeatUnit && value > 0.0 && value < 1e6)
              mBeatUnit = (int)value;
          }
          p += (uint32_t)sizeof(LV2_Atom_Property_Body) + ((vSize + 7u) & ~7u);
        }
      }
    }
    at += (uint32_t)sizeof(LV2_Atom_Event) + ((evSize + 7u) & ~7u);
  }
}

int IPlugLV2::HostSamplePos()
{
  if (!(mFrame >= 0.0)) return 0;
  return mFrame < 2147483647.0 ? (int)(mFrame + 0.5) : 2147483647;
}

double IPlugLV2::HostTempo() { return mTempo; }

void IPlugLV2::HostTimeSig(int* numerator, int* denominator)
{
  *numerator = mBeatsPerBar;
  *denominator = mBeatUnit;
}

bool IPlugLV2::HostRendersOffline() { return mFreewheelPort && *mFreewheelPort >= 0.5f; }

void IPlugLV2::Run(uint32_t nFrames)
{
  const int n = nFrames > 0x7fffffffu ? 0x7fffffff : (int)nFrames;
  // A block that throws is silence.
  if (!CatchAtBoundary([&] { ProcessReplacing(mInPorts.Get(), mOutPorts.Get(), n); }))
    for (int i = 0; i < NOutChannels(); ++i)
      if (float* out = mOutPorts.Get()[i]) std::memset(out, 0, sizeof(float) * (size_t)n);
  // Between positions the transport runs on at its speed.
  mFrame += mSpeed * n;
}

// ================================================================ background work

bool IPlugLV2::RequestBackgroundWork()
{
  const uint8_t job = 1;
  if (mSchedule && mSchedule->schedule_work(mSchedule->handle, sizeof(job), &job) == LV2_WORKER_SUCCESS)
    return true;
  // A request the host refuses (its queue full) would be lost for good, the
  // effect counting it as pending: the process-wide worker takes it.
  return IPlugBase::RequestBackgroundWork();
}

LV2_Worker_Status IPlugLV2::Work()
{
  DoBackgroundWork();
  return LV2_WORKER_SUCCESS;
}

// ================================================================ state

LV2_State_Status IPlugLV2::SaveState(LV2_State_Store_Function store, LV2_State_Handle handle)
{
  if (!mMap || !store) return LV2_STATE_ERR_NO_FEATURE;
  StateChunk bank;
  int32_t program;
  {
    WDL_MutexLock lock(&mMutex);
    WriteChunkHeader(&bank);
    if (!SavePresets(&bank) || bank.Size() <= 0) return LV2_STATE_ERR_UNKNOWN;
    program = GetCurrentPresetIdx();
  }
  const uint32_t flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
  LV2_State_Status s =
      store(handle, mUrids.stateBank, bank.GetBytes(), (size_t)bank.Size(), mUrids.atomChunk, flags);
  if (s != LV2_STATE_SUCCESS) return s;
  return store(handle, mUrids.stateProgram, &program, sizeof(program), mUrids.atomInt, flags);
}

LV2_State_Status IPlugLV2::RestoreState(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle)
{
  if (!mMap || !retrieve) return LV2_STATE_ERR_NO_FEATURE;
  size_t bankSize = 0, programSize = 0;
  uint32_t bankType = 0, programType = 0, flags = 0;
  const void* bank = retrieve(handle, mUrids.stateBank, &bankSize, &bankType, &flags);
  const void* program = retrieve(handle, mUrids.stateProgram, &programSize, &programType, &flags);
  if (!bank || bankType != mUrids.atomChunk || bankSize == 0 || bankSize > 0x7fffffff)
    return LV2_STATE_ERR_BAD_TYPE;
  int32_t current = -1;
  if (program)
  {
    if (programType != mUrids.atomInt || programSize != sizeof(int32_t)) return LV2_STATE_ERR_BAD_TYPE;
    std::memcpy(&current, program, sizeof(current));
  }
  StateChunk chunk;
  if (chunk.AppendBytes(bank, (int)bankSize) < 0) return LV2_STATE_ERR_UNKNOWN;
  return RestoreBank(&chunk, current) ? LV2_STATE_SUCCESS : LV2_STATE_ERR_BAD_TYPE;
}

// ================================================================ entry points

namespace
{

IPlugLV2* Plug(LV2_Handle instance) { return static_cast<IPlugLV2*>(instance); }

LV2_State_Status StateSave(LV2_Handle instance, LV2_State_Store_Function store, LV2_State_Handle handle,
                           uint32_t flags, const LV2_Feature* const* features)
{
  (void)flags, (void)features;
  LV2_State_Status status = LV2_STATE_ERR_UNKNOWN;
  CatchAtBoundary([&] { status = Plug(instance)->SaveState(store, handle); });
  return status;
}

LV2_State_Status StateRestore(LV2_Handle instance, LV2_State_Retrieve_Function retrieve,
                              LV2_State_Handle handle, uint32_t flags, const LV2_Feature* const* features)
{
  (void)flags, (void)features;
  LV2_State_Status status = LV2_STATE_ERR_UNKNOWN;
  CatchAtBoundary([&] { status = Plug(instance)->RestoreState(retrieve, handle); });
  return status;
}

LV2_Worker_Status WorkerWork(LV2_Handle instance, LV2_Worker_Respond_Function respond,
                             LV2_Worker_Respond_Handle handle, uint32_t size, const void* data)
{
  (void)respond, (void)handle, (void)size, (void)data;
  LV2_Worker_Status status = LV2_WORKER_ERR_UNKNOWN;
  CatchAtBoundary([&] { status = Plug(instance)->Work(); });
  return status;
}

LV2_Worker_Status WorkerResponse(LV2_Handle instance, uint32_t size, const void* body)
{
  (void)instance, (void)size, (void)body;
  return LV2_WORKER_SUCCESS;
}

const LV2_State_Interface kStateInterface = { StateSave, StateRestore };
const LV2_Worker_Interface kWorkerInterface = { WorkerWork, WorkerResponse, nullptr };

}  // namespace

const void* IPlugLV2::ExtensionData(const char* uri)
{
  if (!uri) return nullptr;
  if (std::strcmp(uri, LV2_STATE__interface) == 0) return &kStateInterface;
  if (std::strcmp(uri, LV2_WORKER__interface) == 0) return &kWorkerInterface;
  return nullptr;
}

LV2_Handle IPlugLV2Instantiate(IPlugLV2* (*make)(const IPlugLV2InstanceInfo&),
                               const LV2_Descriptor* descriptor, double rate, const char* bundle,
                               const LV2_Feature* const* features)
{
  IPlugLV2* plug = nullptr;
  CatchAtBoundary(
      [&]
      {
        IPlugLV2InstanceInfo info;
        info.mPluginUri = descriptor && descriptor->URI ? descriptor->URI : "";
        info.mSampleRate = rate;
        info.mBundlePath = bundle;
        info.mFeatures = features;
        plug = make(info);
      });
  return plug;
}

void IPlugLV2ConnectPort(LV2_Handle instance, uint32_t port, void* data)
{
  Plug(instance)->ConnectPort(port, data);
}

void IPlugLV2Activate(LV2_Handle instance)
{
  CatchAtBoundary([&] { Plug(instance)->Activate(); });
}

void IPlugLV2Run(LV2_Handle instance, uint32_t nFrames) { Plug(instance)->Run(nFrames); }

void IPlugLV2Deactivate(LV2_Handle instance)
{
  CatchAtBoundary([&] { Plug(instance)->Deactivate(); });
}

void IPlugLV2Cleanup(LV2_Handle instance)
{
  CatchAtBoundary([&] { delete Plug(instance); });
}

const void* IPlugLV2ExtensionData(const char* uri) { return IPlugLV2::ExtensionData(uri); }
