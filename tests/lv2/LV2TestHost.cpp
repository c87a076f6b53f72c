#include "LV2TestHost.h"

#include "QuorvexParams.h"

#include <lv2/buf-size/buf-size.h>
#include <lv2/parameters/parameters.h>
#include <lv2/time/time.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

namespace lv2test
{

const char* const kPluginUri = "https://www.vantu.audio/plugins/quorvex-2";

std::string PresetUri(int slot)
{
  char suffix[32];
  std::snprintf(suffix, sizeof(suffix), "#preset-%02d", slot + 1);
  return std::string(kPluginUri) + suffix;
}

// ================================================================ URIDs

UridMap::UridMap()
{
  mMap.handle = this;
  mMap.map = [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->Map(uri); };
  mUnmap.handle = this;
  mUnmap.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID urid) { return static_cast<UridMap*>(h)->Unmap(urid); };
}

LV2_URID UridMap::Map(const char* uri)
{
  std::lock_guard<std::mutex> lock(mMutex);
  for (size_t i = 0; i < mUris.size(); ++i)
    if (mUris[i] == uri) return (LV2_URID)(i + 1);
  mUris.emplace_back(uri);
  return (LV2_URID)mUris.size();
}

const char* UridMap::Unmap(LV2_URID urid)
{
  std::lock_guard<std::mutex> lock(mMutex);
  return urid >= 1 && urid <= mUris.size() ? mUris[urid - 1].c_str() : nullptr;
}

// ================================================================ the world

World& World::Get()
{
  static World world;
  return world;
}

World::World()
{
  mWorld = lilv_world_new();
  // The build tree's bundle alone: an installed copy must not answer for it.
  LilvNode* bundle = lilv_new_file_uri(mWorld, nullptr, QUORVEX_LV2_BUNDLE_DIR);
  lilv_world_load_bundle(mWorld, bundle);
  lilv_node_free(bundle);
  Node uri = Uri(kPluginUri);
  mPlugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(mWorld), uri.get());
}

// ================================================================ instances

Instance::Instance(const HostSetup& setup) : mSetup(setup)
{
  World& world = World::Get();
  const LilvPlugin* plugin = world.Plugin();
  if (!plugin) return;
  float defaults[kNumPorts];
  lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults);
  for (int i = 0; i < kNumParams; ++i) mControls[i] = defaults[i];

  UridMap& urids = world.Urids();
  if (setup.map)
  {
    mFeatureList.push_back(LV2_Feature{ LV2_URID__map, urids.MapFeature() });
    mFeatureList.push_back(LV2_Feature{ LV2_URID__unmap, urids.UnmapFeature() });
  }
  if (setup.options)
  {
    mMaxBlock = setup.blockLength;
    mRate = (float)setup.sampleRate;
    const LV2_URID atomInt = urids.Map(LV2_ATOM__Int), atomFloat = urids.Map(LV2_ATOM__Float);
    mOptions = {
      { LV2_OPTIONS_INSTANCE, 0, urids.Map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), atomInt,
        &mMaxBlock },
      { LV2_OPTIONS_INSTANCE, 0, urids.Map(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t), atomInt,
        &mMaxBlock },
      { LV2_OPTIONS_INSTANCE, 0, urids.Map(LV2_PARAMETERS__sampleRate), sizeof(float), atomFloat, &mRate },
      { LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr },
    };
    mFeatureList.push_back(LV2_Feature{ LV2_OPTIONS__options, mOptions.data() });
    mFeatureList.push_back(LV2_Feature{ LV2_BUF_SIZE__boundedBlockLength, nullptr });
  }
  if (setup.worker != Worker::kNone)
  {
    mSchedule.handle = this;
    mSchedule.schedule_work = ScheduleWork;
    mFeatureList.push_back(LV2_Feature{ LV2_WORKER__schedule, &mSchedule });
  }
  for (const LV2_Feature& f : mFeatureList) mFeatures.push_back(&f);
  mFeatures.push_back(nullptr);

  mInstance = lilv_plugin_instantiate(plugin, setup.sampleRate, mFeatures.data());
  if (!mInstance) return;
  mWorkerIface =
      (const LV2_Worker_Interface*)lilv_instance_get_extension_data(mInstance, LV2_WORKER__interface);
  if (setup.worker == Worker::kThread) mWorkerThread = std::thread([this] { WorkerLoop(); });

  // Room for a few positions a run.
  mSequence.assign(512, 0);
  for (int i = 0; i < kNumParams; ++i) lilv_instance_connect_port(mInstance, (uint32_t)i, &mControls[i]);
  lilv_instance_connect_port(mInstance, kTimeIn, setup.connectTime ? mSequence.data() : nullptr);
  lilv_instance_connect_port(mInstance, kFreewheel, setup.connectFreewheel ? &mFreewheel : nullptr);
  if (setup.activate) Activate();
}

Instance::~Instance()
{
  if (!mInstance) return;
  // The worker first: work() never overlaps deactivate or cleanup.
  if (mWorkerThread.joinable())
  {
    {
      std::lock_guard<std::mutex> lock(mWorkMutex);
      mStop = true;
    }
    mWorkCv.notify_all();
    mWorkerThread.join();
  }
  if (mActive) Deactivate();
  lilv_instance_free(mInstance);
}

void Instance::Isolate(int rate, int mode, int wet, int feedback)
{
  const float values[kNumParams] = { (float)rate, (float)mode, 100.0f, (float)feedback, 0.0f, (float)wet };
  for (int i = 0; i < kNumParams; ++i) mControls[i] = values[i];
}

void Instance::Activate()
{
  lilv_instance_activate(mInstance);
  mActive = true;
}

void Instance::Deactivate()
{
  lilv_instance_deactivate(mInstance);
  mActive = false;
}

// Events in the sequence: frame offset, then an atom; every atom padded to 8.
void Instance::BuildSequence()
{
  UridMap& urids = World::Get().Urids();
  uint8_t* base = (uint8_t*)mSequence.data();
  const size_t capacity = mSequence.size() * sizeof(uint64_t);
  size_t at = sizeof(LV2_Atom_Sequence);
  auto put = [&](const void* bytes, size_t n)
  {
    if (at + n > capacity) return;
    std::memcpy(base + at, bytes, n);
    at += n;
  };
  auto pad = [&]
  {
    while (at % 8) base[at++] = 0;
  };
  auto property = [&](const char* key, const char* type, const void* value, uint32_t size)
  {
    LV2_Atom_Property_Body p;
    p.key = urids.Map(key);
    p.context = 0;
    p.value.size = size;
    p.value.type = urids.Map(type);
    put(&p, sizeof(p));
    put(value, size);
    pad();
  };
  for (const Position& pos : mPending)
  {
    if (at + 256 > capacity) break;
    LV2_Atom_Event* ev = (LV2_Atom_Event*)(base + at);
    at += sizeof(LV2_Atom_Event);
    const size_t bodyAt = at;
    LV2_Atom_Object_Body obj{ 0, urids.Map(LV2_TIME__Position) };
    put(&obj, sizeof(obj));
    const int64_t frame = (int64_t)mFrame + pos.offset;
    const float speed = 1.0f, bpm = (float)pos.bpm, beatsPerBar = 4.0f;
    const int32_t beatUnit = 4;
    property(LV2_TIME__frame, LV2_ATOM__Long, &frame, sizeof(frame));
    property(LV2_TIME__speed, LV2_ATOM__Float, &speed, sizeof(speed));
    property(LV2_TIME__beatsPerBar, LV2_ATOM__Float, &beatsPerBar, sizeof(beatsPerBar));
    property(LV2_TIME__beatUnit, LV2_ATOM__Int, &beatUnit, sizeof(beatUnit));
    property(LV2_TIME__beatsPerMinute, LV2_ATOM__Float, &bpm, sizeof(bpm));
    ev->time.frames = pos.offset;
    ev->body.type = urids.Map(LV2_ATOM__Object);
    ev->body.size = (uint32_t)(at - bodyAt);
  }
  LV2_Atom_Sequence* seq = (LV2_Atom_Sequence*)base;
  seq->atom.type = urids.Map(LV2_ATOM__Sequence);
  seq->atom.size = (uint32_t)(at - sizeof(LV2_Atom));
  seq->body.unit = 0;
  seq->body.pad = 0;
}

void Instance::Run(const float* inL, const float* inR, float* outL, float* outR, uint32_t frames)
{
  lilv_instance_connect_port(mInstance, kInL, const_cast<float*>(inL));
  lilv_instance_connect_port(mInstance, kInR, const_cast<float*>(inR));
  lilv_instance_connect_port(mInstance, kOutL, outL);
  lilv_instance_connect_port(mInstance, kOutR, outR);
  if (mSetup.connectTime)
  {
    if (!mRaw.empty())
    {
      mRawBuffer = mRaw;
      lilv_instance_connect_port(mInstance, kTimeIn, mRawBuffer.data());
    }
    else
    {
      BuildSequence();
      lilv_instance_connect_port(mInstance, kTimeIn, mSequence.data());
    }
  }
  lilv_instance_run(mInstance, frames);
  mPending.clear();
  mRaw.clear();
  mFrame += frames;

  // Responses go back on the audio thread, after the run.
  std::deque<std::vector<uint8_t>> responses;
  {
    std::lock_guard<std::mutex> lock(mWorkMutex);
    responses.swap(mResponses);
  }
  if (mWorkerIface)
  {
    LV2_Handle handle = lilv_instance_get_handle(mInstance);
    for (const auto& r : responses)
      if (mWorkerIface->work_response) mWorkerIface->work_response(handle, (uint32_t)r.size(), r.data());
    if (mWorkerIface->end_run) mWorkerIface->end_run(handle);
  }
}

// ---------------------------------------------------------------- state

namespace
{

LV2_State_Status Store(LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t type,
                       uint32_t flags)
{
  auto* out = static_cast<std::vector<Property>*>(handle);
  Property p;
  p.key = key;
  p.type = type;
  p.flags = flags;
  p.value.assign((const uint8_t*)value, (const uint8_t*)value + size);
  out->push_back(p);
  return LV2_STATE_SUCCESS;
}

const void* Retrieve(LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags)
{
  const auto* props = static_cast<const std::vector<Property>*>(handle);
  for (const Property& p : *props)
    if (p.key == key)
    {
      *size = p.value.size();
      *type = p.type;
      *flags = p.flags;
      // A zero-length value still has an address.
      return p.value.empty() ? (const void*)&p.value : p.value.data();
    }
  return nullptr;
}

const LV2_State_Interface* StateInterface(LilvInstance* instance)
{
  return (const LV2_State_Interface*)lilv_instance_get_extension_data(instance, LV2_STATE__interface);
}

}  // namespace

LV2_State_Status Instance::Save(std::vector<Property>* out)
{
  out->clear();
  const LV2_State_Interface* state = StateInterface(mInstance);
  if (!state) return LV2_STATE_ERR_NO_FEATURE;
  return state->save(lilv_instance_get_handle(mInstance), Store, out,
                     LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, mFeatures.data());
}

LV2_State_Status Instance::Restore(const std::vector<Property>& props)
{
  const LV2_State_Interface* state = StateInterface(mInstance);
  if (!state) return LV2_STATE_ERR_NO_FEATURE;
  return state->restore(lilv_instance_get_handle(mInstance), Retrieve,
                        const_cast<std::vector<Property>*>(&props), LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE,
                        mFeatures.data());
}

bool AtomNumber(const void* value, uint32_t size, uint32_t type, double* out)
{
  UridMap& urids = World::Get().Urids();
  if (type == urids.Map(LV2_ATOM__Float) && size == sizeof(float))
    *out = *(const float*)value;
  else if (type == urids.Map(LV2_ATOM__Double) && size == sizeof(double))
    *out = *(const double*)value;
  else if ((type == urids.Map(LV2_ATOM__Int) || type == urids.Map(LV2_ATOM__Bool)) && size == sizeof(int32_t))
    *out = *(const int32_t*)value;
  else if (type == urids.Map(LV2_ATOM__Long) && size == sizeof(int64_t))
    *out = (double)*(const int64_t*)value;
  else
    return false;
  return true;
}

namespace
{

int ParamIndex(const char* symbol)
{
  World& world = World::Get();
  Node sym(lilv_new_string(world.Lilv(), symbol));
  const LilvPort* port = lilv_plugin_get_port_by_symbol(world.Plugin(), sym.get());
  const int index = port ? (int)lilv_port_get_index(world.Plugin(), port) : -1;
  return index < kNumParams ? index : -1;
}

}  // namespace

void SetPortValue(const char* symbol, void* instance, const void* value, uint32_t size, uint32_t type)
{
  double v;
  const int index = ParamIndex(symbol);
  if (index >= 0 && AtomNumber(value, size, type, &v)) static_cast<Instance*>(instance)->Set(index, (float)v);
}

const void* GetPortValue(const char* symbol, void* instance, uint32_t* size, uint32_t* type)
{
  const int index = ParamIndex(symbol);
  *size = index >= 0 ? sizeof(float) : 0;
  *type = index >= 0 ? World::Get().Urids().Map(LV2_ATOM__Float) : 0;
  return index >= 0 ? static_cast<Instance*>(instance)->Control(index) : nullptr;
}

Bank BankOf(const std::vector<Property>& props)
{
  UridMap& urids = World::Get().Urids();
  const LV2_URID bankKey = urids.Map((std::string(kPluginUri) + "#bank").c_str());
  const LV2_URID programKey = urids.Map((std::string(kPluginUri) + "#program").c_str());
  Bank bank;
  bool haveBank = false, haveProgram = false;
  for (const Property& p : props)
  {
    if (p.key == bankKey && p.type == urids.Map(LV2_ATOM__Chunk))
    {
      bank.bytes = p.value;
      haveBank = true;
    }
    else if (p.key == programKey && p.type == urids.Map(LV2_ATOM__Int) && p.value.size() == sizeof(int32_t))
    {
      std::memcpy(&bank.program, p.value.data(), sizeof(int32_t));
      haveProgram = true;
    }
  }
  bank.ok = haveBank && haveProgram && props.size() == 2;
  return bank;
}

std::vector<Property> BankProperties(const std::vector<uint8_t>& bytes, int32_t program)
{
  UridMap& urids = World::Get().Urids();
  std::vector<Property> props(2);
  props[0].key = urids.Map((std::string(kPluginUri) + "#bank").c_str());
  props[0].type = urids.Map(LV2_ATOM__Chunk);
  props[0].flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
  props[0].value = bytes;
  props[1].key = urids.Map((std::string(kPluginUri) + "#program").c_str());
  props[1].type = urids.Map(LV2_ATOM__Int);
  props[1].flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
  props[1].value.resize(sizeof(int32_t));
  std::memcpy(props[1].value.data(), &program, sizeof(int32_t));
  return props;
}

// ---------------------------------------------------------------- the worker

LV2_Worker_Status Instance::ScheduleWork(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data)
{
  Instance* self = static_cast<Instance*>(handle);
  ++self->mScheduled;
  if (!self->mWorkerIface) return LV2_WORKER_ERR_UNKNOWN;
  if (self->mSetup.worker == Worker::kFull) return LV2_WORKER_ERR_NO_SPACE;
  if (self->mSetup.worker == Worker::kSync)
  {
    ++self->mWorkRuns;
    return self->mWorkerIface->work(lilv_instance_get_handle(self->mInstance), Respond, self, size, data);
  }
  {
    std::lock_guard<std::mutex> lock(self->mWorkMutex);
    self->mRequests.emplace_back((const uint8_t*)data, (const uint8_t*)data + size);
  }
  self->mWorkCv.notify_all();
  return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status Instance::Respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data)
{
  Instance* self = static_cast<Instance*>(handle);
  std::lock_guard<std::mutex> lock(self->mWorkMutex);
  self->mResponses.emplace_back((const uint8_t*)data, (const uint8_t*)data + size);
  return LV2_WORKER_SUCCESS;
}

void Instance::WorkerLoop()
{
  std::unique_lock<std::mutex> lock(mWorkMutex);
  for (;;)
  {
    mWorkCv.wait(lock, [this] { return mStop || !mRequests.empty(); });
    if (mStop) return;
    std::vector<uint8_t> request = std::move(mRequests.front());
    mRequests.pop_front();
    ++mBusy;
    lock.unlock();
    mWorkerIface->work(lilv_instance_get_handle(mInstance), Respond, this, (uint32_t)request.size(),
                       request.data());
    ++mWorkRuns;
    lock.lock();
    --mBusy;
    mWorkCv.notify_all();
  }
}

void Instance::WaitForWorker()
{
  std::unique_lock<std::mutex> lock(mWorkMutex);
  // Bounded, so a stuck worker fails the test instead of hanging it.
  mWorkCv.wait_for(lock, std::chrono::seconds(60), [this] { return mRequests.empty() && mBusy == 0; });
}

// ================================================================ signals and renders

Stereo Impulse(size_t frames, size_t at)
{
  Stereo s(frames);
  s.l[at] = s.r[at] = 1.0f;
  return s;
}

Stereo Noise(size_t frames, unsigned seed)
{
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  Stereo s(frames);
  for (size_t i = 0; i < frames; ++i) s.l[i] = u(rng), s.r[i] = u(rng);
  return s;
}

std::vector<size_t> NonZero(const std::vector<float>& v)
{
  std::vector<size_t> at;
  for (size_t i = 0; i < v.size(); ++i)
    if (v[i] != 0.0f) at.push_back(i);
  return at;
}

size_t FirstDifference(const Stereo& a, const Stereo& b)
{
  const size_t n = std::min(a.Frames(), b.Frames());
  for (size_t i = 0; i < n; ++i)
    if (std::memcmp(&a.l[i], &b.l[i], sizeof(float)) || std::memcmp(&a.r[i], &b.r[i], sizeof(float)))
      return i;
  return a.Frames() == b.Frames() ? a.Frames() : n;
}

bool AllFinite(const Stereo& s)
{
  for (size_t i = 0; i < s.Frames(); ++i)
    if (!std::isfinite(s.l[i]) || !std::isfinite(s.r[i])) return false;
  return true;
}

namespace
{

// Frames to the next run boundary: the block, the end, or the next change.
size_t RunLength(size_t pos, size_t end, int block, const std::vector<TempoChange>& tempo)
{
  size_t n = std::min(end - pos, (size_t)block);
  for (const TempoChange& c : tempo)
    if (c.frame > pos && c.frame - pos < n) n = c.frame - pos;
  return n;
}

}  // namespace

Stereo Render(Instance& plug, const Stereo& in, int block, const std::vector<TempoChange>& tempo)
{
  Stereo out(in.Frames());
  size_t pos = 0;
  while (pos < in.Frames())
  {
    for (const TempoChange& c : tempo)
      if (c.frame == pos) plug.SendTempo(c.bpm);
    const size_t n = RunLength(pos, in.Frames(), block, tempo);
    plug.Run(&in.l[pos], &in.r[pos], &out.l[pos], &out.r[pos], (uint32_t)n);
    pos += n;
  }
  return out;
}

// ================================================================ the VST 2 twin

VstTwin::VstTwin(double sampleRate, int block)
{
  EXPECT_EQ(host.Load(QUORVEX_EFFECT_PATH), "");
  host.SetCallLogging(false);
  host.SetTempo(120.0);
  host.Open(sampleRate, block);
}

void VstTwin::Set(int param, double plain)
{
  host.SetParameter(param, qtest::Normalised(param, plain));
  EXPECT_EQ(Plain(param), plain) << "parameter " << param;
}

double VstTwin::Plain(int param)
{
  const qtest::ParamRange r = qtest::kParamRanges[param];
  return std::floor((double)host.GetParameter(param) * (r.hi - r.lo) + r.lo + 0.5);
}

Stereo VstTwin::Render(const Stereo& in, int block, const std::vector<TempoChange>& tempo)
{
  Stereo input = in, out(in.Frames());
  size_t pos = 0;
  while (pos < in.Frames())
  {
    for (const TempoChange& c : tempo)
      if (c.frame == pos) host.SetTempo(c.bpm);
    const size_t n = RunLength(pos, in.Frames(), block, tempo);
    float* ins[2] = { &input.l[pos], &input.r[pos] };
    float* outs[2] = { &out.l[pos], &out.r[pos] };
    host.ProcessReplacing(ins, outs, (VstInt32)n);
    pos += n;
  }
  return out;
}

}  // namespace lv2test
