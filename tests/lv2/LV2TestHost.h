// A small LV2 host on lilv for the LV2 tests: it loads the bundle from the
// build tree (nothing else), offers urid:map, options (block length, sample
// rate) and a worker as each test asks, sends the transport as time:Position
// atoms and calls the state interface directly. Beside it, the VST 2 build
// through the reference host, set to the same plain values, as the twin the
// LV2 output must equal.
#pragma once

#include "QuorvexParams.h"

#include "VstHost.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lv2test
{

extern const char* const kPluginUri;
// The preset of a factory program slot: kPluginUri#preset-NN, from 01.
std::string PresetUri(int slot);

// Port indexes, in the order the bundle promises.
// The parameters come first, in their own order (qtest::kRate ...).
using qtest::kNumParams;
enum Port
{
  kInL = kNumParams,
  kInR,
  kOutL,
  kOutR,
  kTimeIn,
  kFreewheel,
  kNumPorts
};
enum
{
  kNumFactoryPresets = 21,
  kNumSlots = 25
};
using qtest::k1_16;
using qtest::k1_4;
using qtest::k1_8;
using qtest::k1_8D;
using qtest::k4_1;
using qtest::kDotted;
using qtest::kDotted2;
using qtest::kNormal;
using qtest::kTriplet;
using qtest::kTriplet2;

// ================================================================ URIDs

// [any thread] URIs to numbers for every instance of the process.
class UridMap
{
public:
  UridMap();
  LV2_URID Map(const char* uri);
  const char* Unmap(LV2_URID urid);
  LV2_URID_Map* MapFeature() { return &mMap; }
  LV2_URID_Unmap* UnmapFeature() { return &mUnmap; }

private:
  std::mutex mMutex;
  std::deque<std::string> mUris;  // urid - 1; a deque keeps the strings in place
  LV2_URID_Map mMap;
  LV2_URID_Unmap mUnmap;
};

// ================================================================ the world

struct NodeFree
{
  void operator()(LilvNode* n) const { lilv_node_free(n); }
};
typedef std::unique_ptr<LilvNode, NodeFree> Node;

// The lilv world with the build tree's bundle loaded, one per process.
class World
{
public:
  static World& Get();
  LilvWorld* Lilv() { return mWorld; }
  // Null when the bundle holds no plug-in of kPluginUri.
  const LilvPlugin* Plugin() { return mPlugin; }
  Node Uri(const char* uri) { return Node(lilv_new_uri(mWorld, uri)); }
  UridMap& Urids() { return mUrids; }

private:
  World();
  LilvWorld* mWorld = nullptr;
  const LilvPlugin* mPlugin = nullptr;
  UridMap mUrids;
};

// ================================================================ instances

enum class Worker
{
  kNone,    // no work:schedule: the process-wide worker grows the line
  kThread,  // work() on the host's own worker thread
  kSync,    // work() inside schedule_work, as hosts do when freewheeling
  kFull,    // schedule_work refuses (LV2_WORKER_ERR_NO_SPACE): the host's queue is full
};

struct HostSetup
{
  double sampleRate = 44100.0;
  bool map = true;
  // buf-size:maxBlockLength and nominalBlockLength (atom:Int), and
  // param:sampleRate (atom:Float).
  bool options = true;
  int blockLength = 4096;
  Worker worker = Worker::kNone;
  // Left null when false (both are connectionOptional).
  bool connectTime = true;
  bool connectFreewheel = true;
  bool activate = true;
};

// One property as the state interface stores it.
struct Property
{
  LV2_URID key = 0, type = 0;
  uint32_t flags = 0;
  std::vector<uint8_t> value;
};

// A time:Position for the next run.
struct Position
{
  uint32_t offset = 0;
  double bpm = 120.0;
};

class Instance
{
public:
  explicit Instance(const HostSetup& setup = HostSetup());
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  bool Ok() const { return mInstance != nullptr; }
  LilvInstance* Lilv() { return mInstance; }
  const HostSetup& Setup() const { return mSetup; }

  // Control ports, plain values, read at the next run. The defaults until set.
  void Set(int port, float value) { mControls[port] = value; }
  float Get(int port) const { return mControls[port]; }
  const float* Control(int port) const { return &mControls[port]; }
  // Clean echoes: no dry signal, the near tap on out_r and the far one on out_l.
  void Isolate(int rate, int mode, int wet = 100, int feedback = 0);
  void SetFreewheel(bool on) { mFreewheel = on ? 1.0f : 0.0f; }

  // A time:Position (bpm as atom:Float, with frame and speed) in the next run.
  void SendTempo(double bpm, uint32_t offset = 0) { mPending.push_back(Position{ offset, bpm }); }
  // The next run's time_in holds exactly these bytes (an atom:Sequence as a
  // host would lay it out, or not), in an allocation of exactly that size.
  void SendRawSequence(const std::vector<uint8_t>& bytes) { mRaw = bytes; }

  void Activate();
  void Deactivate();
  // One run; null buffers are connected as null.
  void Run(const float* inL, const float* inR, float* outL, float* outR, uint32_t frames);

  // The state interface, called directly.
  LV2_State_Status Save(std::vector<Property>* out);
  LV2_State_Status Restore(const std::vector<Property>& props);

  // Calls of work:schedule, and of work() on the worker.
  int Scheduled() const { return mScheduled.load(); }
  int WorkRuns() const { return mWorkRuns.load(); }
  // [kThread] until the worker has run everything scheduled so far.
  void WaitForWorker();

private:
  static LV2_Worker_Status ScheduleWork(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data);
  static LV2_Worker_Status Respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data);
  void WorkerLoop();
  void BuildSequence();

  HostSetup mSetup;
  LilvInstance* mInstance = nullptr;
  const LV2_Worker_Interface* mWorkerIface = nullptr;
  bool mActive = false;

  float mControls[kNumParams];
  float mFreewheel = 0.0f;
  std::vector<Position> mPending;
  std::vector<uint8_t> mRaw;
  std::vector<uint64_t> mSequence;  // 8-byte aligned, as atoms are
  std::vector<uint8_t> mRawBuffer;
  double mFrame = 0.0;

  // Features.
  int32_t mMaxBlock = 0;
  float mRate = 0.0f;
  std::vector<LV2_Options_Option> mOptions;
  LV2_Worker_Schedule mSchedule;
  std::vector<LV2_Feature> mFeatureList;
  std::vector<const LV2_Feature*> mFeatures;

  // The worker: requests and responses, copied.
  std::atomic<int> mScheduled{ 0 }, mWorkRuns{ 0 };
  std::mutex mWorkMutex;
  std::condition_variable mWorkCv;
  std::deque<std::vector<uint8_t>> mRequests, mResponses;
  int mBusy = 0;
  bool mStop = false;
  std::thread mWorkerThread;
};

// ================================================================ signals and renders

struct Stereo
{
  std::vector<float> l, r;
  explicit Stereo(size_t frames = 0) : l(frames, 0.0f), r(frames, 0.0f) {}
  size_t Frames() const { return l.size(); }
  bool operator==(const Stereo& o) const { return l == o.l && r == o.r; }
};

Stereo Impulse(size_t frames, size_t at = 0);
Stereo Noise(size_t frames, unsigned seed);
// Frames whose sample differs from zero.
std::vector<size_t> NonZero(const std::vector<float>& v);
// The first frame that differs between a and b (a.Frames() when none).
size_t FirstDifference(const Stereo& a, const Stereo& b);
bool AllFinite(const Stereo& s);

struct TempoChange
{
  size_t frame;
  double bpm;
};

// Runs `in` through the instance in runs of `block` frames, cut at every
// tempo change, each change sent at the start of its run.
Stereo Render(Instance& plug, const Stereo& in, int block, const std::vector<TempoChange>& tempo);

// ================================================================ the VST 2 twin

// The VST 2 build through the reference host, resumed at 120 bpm.
class VstTwin
{
public:
  explicit VstTwin(double sampleRate = 44100.0, int block = 512);
  // Sets a parameter to this plain value exactly (through its normalised one).
  void Set(int param, double plain);
  // The plain value of a parameter, from its normalised one.
  double Plain(int param);
  // processReplacing in runs of `block`, cut at the tempo changes, the host
  // tempo changed at the start of each.
  Stereo Render(const Stereo& in, int block, const std::vector<TempoChange>& tempo);
  quorvex::VstHost host;
};

// A number in any of the atom types hosts hand port values in; false for
// other types.
bool AtomNumber(const void* value, uint32_t size, uint32_t type, double* out);
// lilv's port-value setter (LilvSetPortValueFunc) for an Instance.
void SetPortValue(const char* symbol, void* instance, const void* value, uint32_t size, uint32_t type);
// lilv's port-value getter (LilvGetPortValueFunc) for an Instance: its
// parameter ports, as atom:Float.
const void* GetPortValue(const char* symbol, void* instance, uint32_t* size, uint32_t* type);

// Bank bytes and current program saved by Save(); empty when missing.
struct Bank
{
  std::vector<uint8_t> bytes;
  int32_t program = -1;
  bool ok = false;
};
Bank BankOf(const std::vector<Property>& props);
// Properties as the plug-in stores them, from bank bytes and a program.
std::vector<Property> BankProperties(const std::vector<uint8_t>& bytes, int32_t program);

}  // namespace lv2test
