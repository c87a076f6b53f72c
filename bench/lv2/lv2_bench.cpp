// Quorvex 2 beside other LV2 delays, in one lilv host and interleaved in one
// run: processing cost per stereo frame (min and median of many passes,
// ratio to Quorvex 2), as bench/engine/peer_bench.cpp does for VST 2.
//
//   lv2_bench [--passes N] [--frames N] PEER...
//   PEER = "label;plug-in URI[;mono][;port symbol=plain value]..."
//
// Quorvex 2 comes from the build tree's bundle, the peers from the LV2 path
// (LV2_PATH, else lilv's default folders). The host offers what hosts
// commonly do: urid:map and unmap, options (maxBlockLength and
// nominalBlockLength as atom:Int, sampleRate as atom:Float),
// boundedBlockLength and a worker thread per instance. A mono plug-in runs
// one instance per channel; control inputs not given keep their defaults.
//
// Sections:
//   - the host: URIDs and features
//   - instances and their ports
//   - timing
//   - main
#include "PeerBench.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace
{

using peerbench::Figures;
using peerbench::Now;
using peerbench::Peer;

const double kSampleRate = 44100.0;
const int kBlocks[] = { 32, 512, 4096 };
const char* const kQuorvexUri = "https://www.vantu.audio/plugins/quorvex-2";
// Room an atom port's buffer has.
const size_t kAtomBytes = 8192;

// ================================================================ the host: URIDs and features

class Urids
{
public:
  Urids()
  {
    mMap.handle = this;
    mMap.map = [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<Urids*>(h)->Map(uri); };
    mUnmap.handle = this;
    mUnmap.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID u) { return static_cast<Urids*>(h)->Unmap(u); };
  }
  LV2_URID Map(const char* uri)
  {
    std::lock_guard<std::mutex> lock(mMutex);
    for (size_t i = 0; i < mUris.size(); ++i)
      if (mUris[i] == uri) return (LV2_URID)(i + 1);
    mUris.emplace_back(uri);
    return (LV2_URID)mUris.size();
  }
  const char* Unmap(LV2_URID u)
  {
    std::lock_guard<std::mutex> lock(mMutex);
    return u >= 1 && u <= mUris.size() ? mUris[u - 1].c_str() : nullptr;
  }
  LV2_URID_Map mMap;
  LV2_URID_Unmap mUnmap;

private:
  std::mutex mMutex;
  std::deque<std::string> mUris;
};

struct NodeFree
{
  void operator()(LilvNode* n) const { lilv_node_free(n); }
};
typedef std::unique_ptr<LilvNode, NodeFree> Node;

struct Host
{
  LilvWorld* world = nullptr;
  Urids urids;
  Node input, output, audio, control, atom, freeWheeling;
  Node Uri(const char* uri) { return Node(lilv_new_uri(world, uri)); }
};

// ================================================================ instances and their ports

// One plug-in instance with its ports connected, its features and its
// worker thread (work() off the audio thread, responses after the run).
class Instance
{
public:
  ~Instance()
  {
    if (mThread.joinable())
    {
      {
        std::lock_guard<std::mutex> lock(mMutex);
        mStop = true;
      }
      mCv.notify_all();
      mThread.join();
    }
    if (mInstance)
    {
      lilv_instance_deactivate(mInstance);
      lilv_instance_free(mInstance);
    }
  }

  bool Create(Host& host, const LilvPlugin* plugin, const Peer& peer, int block, std::string* error)
  {
    LV2_URID atomInt = host.urids.Map(LV2_ATOM__Int), atomFloat = host.urids.Map(LV2_ATOM__Float);
    mBlock = block;
    mRate = (float)kSampleRate;
    mOptions = {
      { LV2_OPTIONS_INSTANCE, 0, host.urids.Map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), atomInt,
        &mBlock },
      { LV2_OPTIONS_INSTANCE, 0, host.urids.Map(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t), atomInt,
        &mBlock },
      { LV2_OPTIONS_INSTANCE, 0, host.urids.Map(LV2_PARAMETERS__sampleRate), sizeof(float), atomFloat,
        &mRate },
      { LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr },
    };
    mSchedule.handle = this;
    mSchedule.schedule_work = Schedule;
    mFeatureList = {
      { LV2_URID__map, &host.urids.mMap },       { LV2_URID__unmap, &host.urids.mUnmap },
      { LV2_OPTIONS__options, mOptions.data() }, { LV2_BUF_SIZE__boundedBlockLength, nullptr },
      { LV2_WORKER__schedule, &mSchedule },
    };
    for (const LV2_Feature& f : mFeatureList) mFeatures.push_back(&f);
    mFeatures.push_back(nullptr);

    // Every feature the plug-in requires must be one of these.
    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    LILV_FOREACH(nodes, it, required)
    {
      const char* uri = lilv_node_as_uri(lilv_nodes_get(required, it));
      bool offered = false;
      for (const LV2_Feature& f : mFeatureList) offered = offered || std::strcmp(f.URI, uri) == 0;
      if (!offered) *error = std::string("requires ") + uri;
    }
    lilv_nodes_free(required);
    if (!error->empty()) return false;

    const uint32_t nPorts = lilv_plugin_get_num_ports(plugin);
    std::vector<float> mins(nPorts), maxs(nPorts), defs(nPorts);
    lilv_plugin_get_port_ranges_float(plugin, mins.data(), maxs.data(), defs.data());
    mControls.assign(nPorts, 0.0f);
    for (uint32_t i = 0; i < nPorts; ++i)
      mControls[i] = std::isfinite(defs[i]) ? defs[i] : std::isfinite(mins[i]) ? mins[i] : 0.0f;
    const LilvPort* fw =
        lilv_plugin_get_port_by_designation(plugin, host.input.get(), host.freeWheeling.get());
    if (fw) mControls[lilv_port_get_index(plugin, fw)] = 0.0f;
    for (const auto& param : peer.params)
    {
      Node symbol(lilv_new_string(host.world, param.first.c_str()));
      const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, symbol.get());
      if (!port || !lilv_port_is_a(plugin, port, host.control.get()) ||
          !lilv_port_is_a(plugin, port, host.input.get()))
      {
        *error = "no control input \"" + param.first + "\"";
        return false;
      }
      mControls[lilv_port_get_index(plugin, port)] = std::strtof(param.second.c_str(), nullptr);
    }

    mInstance = lilv_plugin_instantiate(plugin, kSampleRate, mFeatures.data());
    if (!mInstance)
    {
      *error = "instantiate failed";
      return false;
    }
    mWorker = (const LV2_Worker_Interface*)lilv_instance_get_extension_data(mInstance, LV2_WORKER__interface);
    if (mWorker) mThread = std::thread([this] { WorkerLoop(); });

    // Unconnected ports point at scratch: silence in, discarded out.
    mSilence.assign((size_t)block, 0.0f);
    mDiscard.assign((size_t)block, 0.0f);
    mAtoms.assign(nPorts, std::vector<uint64_t>());
    const LV2_URID sequence = host.urids.Map(LV2_ATOM__Sequence);
    mChunk = host.urids.Map(LV2_ATOM__Chunk);
    for (uint32_t i = 0; i < nPorts; ++i)
    {
      const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
      const bool in = lilv_port_is_a(plugin, port, host.input.get());
      if (lilv_port_is_a(plugin, port, host.audio.get()))
      {
        (in ? mAudioIn : mAudioOut).push_back(i);
        lilv_instance_connect_port(mInstance, i, in ? mSilence.data() : mDiscard.data());
      }
      else if (lilv_port_is_a(plugin, port, host.control.get()))
      {
        lilv_instance_connect_port(mInstance, i, &mControls[i]);
      }
      else if (lilv_port_is_a(plugin, port, host.atom.get()))
      {
        // An empty sequence in; an output gets its whole room each run.
        mAtoms[i].assign(kAtomBytes / 8, 0);
        LV2_Atom* a = (LV2_Atom*)mAtoms[i].data();
        a->size = sizeof(LV2_Atom_Sequence_Body);
        a->type = sequence;
        if (!in) mAtomOut.push_back(i);
        lilv_instance_connect_port(mInstance, i, mAtoms[i].data());
      }
      else
      {
        // CV and other kinds: a buffer of silence is safe for either.
        lilv_instance_connect_port(mInstance, i, in ? mSilence.data() : mDiscard.data());
      }
    }
    lilv_instance_activate(mInstance);
    return true;
  }

  size_t Inputs() const { return mAudioIn.size(); }

  // One run on channels [first, first + ports) of in and out.
  void Run(float* const* in, float* const* out, int first, uint32_t frames)
  {
    for (size_t k = 0; k < mAudioIn.size(); ++k)
      lilv_instance_connect_port(mInstance, mAudioIn[k],
                                 k < 2 - (size_t)first ? in[first + k] : mSilence.data());
    for (size_t k = 0; k < mAudioOut.size(); ++k)
      lilv_instance_connect_port(mInstance, mAudioOut[k],
                                 k < 2 - (size_t)first ? out[first + k] : mDiscard.data());
    for (uint32_t i : mAtomOut)
    {
      LV2_Atom* a = (LV2_Atom*)mAtoms[i].data();
      a->size = (uint32_t)(kAtomBytes - sizeof(LV2_Atom));
      a->type = mChunk;
    }
    lilv_instance_run(mInstance, frames);
    if (mResponsesWaiting.load(std::memory_order_acquire)) DeliverResponses();
  }

private:
  static LV2_Worker_Status Schedule(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data)
  {
    Instance* self = static_cast<Instance*>(handle);
    if (!self->mWorker) return LV2_WORKER_ERR_UNKNOWN;
    {
      std::lock_guard<std::mutex> lock(self->mMutex);
      self->mRequests.emplace_back((const uint8_t*)data, (const uint8_t*)data + size);
    }
    self->mCv.notify_all();
    return LV2_WORKER_SUCCESS;
  }

  static LV2_Worker_Status Respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data)
  {
    Instance* self = static_cast<Instance*>(handle);
    std::lock_guard<std::mutex> lock(self->mMutex);
    self->mResponses.emplace_back((const uint8_t*)data, (const uint8_t*)data + size);
    self->mResponsesWaiting.store(true, std::memory_order_release);
    return LV2_WORKER_SUCCESS;
  }

  void WorkerLoop()
  {
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;)
    {
      mCv.wait(lock, [this] { return mStop || !mRequests.empty(); });
      if (mStop) return;
      std::vector<uint8_t> request = std::move(mRequests.front());
      mRequests.pop_front();
      lock.unlock();
      mWorker->work(lilv_instance_get_handle(mInstance), Respond, this, (uint32_t)request.size(),
                    request.data());
      lock.lock();
    }
  }

  void DeliverResponses()
  {
    std::deque<std::vector<uint8_t>> responses;
    {
      std::lock_guard<std::mutex> lock(mMutex);
      responses.swap(mResponses);
      mResponsesWaiting.store(false, std::memory_order_relaxed);
    }
    LV2_Handle handle = lilv_instance_get_handle(mInstance);
    for (const auto& r : responses)
      if (mWorker->work_response) mWorker->work_response(handle, (uint32_t)r.size(), r.data());
    if (mWorker->end_run) mWorker->end_run(handle);
  }

  LilvInstance* mInstance = nullptr;
  const LV2_Worker_Interface* mWorker = nullptr;
  int32_t mBlock = 0;
  float mRate = 0.0f;
  LV2_URID mChunk = 0;
  std::vector<LV2_Options_Option> mOptions;
  LV2_Worker_Schedule mSchedule{};
  std::vector<LV2_Feature> mFeatureList;
  std::vector<const LV2_Feature*> mFeatures;
  std::vector<float> mControls, mSilence, mDiscard;
  std::vector<std::vector<uint64_t>> mAtoms;
  std::vector<uint32_t> mAudioIn, mAudioOut, mAtomOut;

  std::mutex mMutex;
  std::condition_variable mCv;
  std::deque<std::vector<uint8_t>> mRequests, mResponses;
  std::atomic<bool> mResponsesWaiting{ false };
  bool mStop = false;
  std::thread mThread;
};

// One peer at one block size: one stereo instance or two mono ones.
struct Setup
{
  std::vector<std::unique_ptr<Instance>> instances;
  std::string error;
};

Setup MakeSetup(Host& host, const Peer& peer, int block)
{
  Setup s;
  Node uri = host.Uri(peer.path.c_str());
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(host.world), uri.get());
  if (!plugin)
  {
    s.error = "no plug-in " + peer.path + " on the LV2 path";
    return s;
  }
  for (int i = 0; i < (peer.mono ? 2 : 1) && s.error.empty(); ++i)
  {
    auto instance = std::make_unique<Instance>();
    if (instance->Create(host, plugin, peer, block, &s.error)) s.instances.push_back(std::move(instance));
  }
  if (!s.error.empty()) s.instances.clear();
  return s;
}

// ================================================================ timing

// ns per stereo frame for one pass of `frames` frames.
double Pass(Setup& s, peerbench::Buffers<float>& buf, int block, size_t frames)
{
  return peerbench::TimePass(buf, block, frames,
                             [&](float** ins, float** outs)
                             {
                               // Mono instances take one channel each.
                               for (size_t k = 0; k < s.instances.size(); ++k)
                                 s.instances[k]->Run(ins, outs, s.instances.size() == 2 ? (int)k : 0,
                                                     (uint32_t)block);
                             });
}

// Every peer's passes interleaved, so load on the machine falls on all alike.
std::vector<Figures> Measure(std::vector<Setup>& setups, int block, int passes, size_t frames)
{
  peerbench::Buffers<float> buf;
  std::vector<std::vector<double>> times(setups.size());
  for (Setup& s : setups)
    if (!s.instances.empty()) Pass(s, buf, block, frames);  // warm up
  for (int p = 0; p < passes; ++p)
    for (size_t k = 0; k < setups.size(); ++k)
      if (!setups[k].instances.empty()) times[k].push_back(Pass(setups[k], buf, block, frames));
  std::vector<Figures> figures;
  for (auto& t : times) figures.push_back(peerbench::Summarise(t));
  return figures;
}

}  // namespace

// ================================================================ main

int main(int argc, char** argv)
{
  peerbench::CommandLine line;
  if (!peerbench::ParseCommandLine(argc, argv, "lv2_bench", kQuorvexUri, "label;uri[;mono][;symbol=value]...",
                                   &line))
    return 2;
  const int passes = line.passes;
  const size_t frames = line.frames;
  const std::vector<Peer>& peers = line.peers;

  Host host;
  host.world = lilv_world_new();
  // The build tree's bundle first: an installed copy of the same URI is
  // then the duplicate lilv leaves aside.
  LilvNode* bundle = lilv_new_file_uri(host.world, nullptr, QUORVEX_LV2_BUNDLE_DIR);
  lilv_world_load_bundle(host.world, bundle);
  lilv_node_free(bundle);
  lilv_world_load_all(host.world);
  host.input = host.Uri(LILV_URI_INPUT_PORT);
  host.output = host.Uri(LILV_URI_OUTPUT_PORT);
  host.audio = host.Uri(LILV_URI_AUDIO_PORT);
  host.control = host.Uri(LILV_URI_CONTROL_PORT);
  host.atom = host.Uri(LILV_URI_ATOM_PORT);
  host.freeWheeling = host.Uri(LV2_CORE__freeWheeling);
  {
    Node uri = host.Uri(kQuorvexUri);
    const LilvPlugin* quorvex = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(host.world), uri.get());
    std::printf("Quorvex 2 from %s\n",
                quorvex ? lilv_node_as_uri(lilv_plugin_get_bundle_uri(quorvex)) : "(missing)");
  }

  peerbench::PrintTimingHead(kSampleRate, passes, frames);
  for (int block : kBlocks)
  {
    std::vector<Setup> setups;
    for (const Peer& peer : peers)
    {
      setups.push_back(MakeSetup(host, peer, block));
      if (!setups.back().error.empty())
        std::fprintf(stderr, "lv2_bench: %s: %s\n", peer.label.c_str(), setups.back().error.c_str());
    }
    peerbench::PrintTable(peers, "32-bit", block, Measure(setups, block, passes, frames));
  }
  host.input.reset(), host.output.reset(), host.audio.reset(), host.control.reset(), host.atom.reset();
  host.freeWheeling.reset();
  lilv_world_free(host.world);
  return 0;
}
