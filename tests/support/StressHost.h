// A hostile, watchful host on top of the reference host. Before each block
// it fills every output with a marker NaN and surrounds every buffer with
// 64-sample guard zones; after it, it checks that each output sample was
// written, finite and not subnormal, that no guard or input changed, and
// what the plug-in did on the audio thread (AudioWatch). It records which
// thread made each call into the plug-in and each callback out of it.
//
// One StressHost is one instance; its process calls come from one thread
// (the "audio thread" of that instance), the rest from any one other thread
// at a time.
#pragma once

#include "AudioWatch.h"
#include "HostedPlug.h"
#include "QuorvexParams.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace stress
{

enum class Precision
{
  kFloat,
  kDouble,
  kAccumulate
};
const char* PrecisionName(Precision p);

const int kGuard = 64;

// One buffer per channel, each between two guard zones.
template <class T> class GuardedBuffers
{
public:
  GuardedBuffers(int channels, int capacity);
  // Whole buffer and guards set to the guard marker, then the first n
  // samples to `fill` (as bits, so a marker NaN stays the same NaN).
  void Arm(int n, uint64_t fillBits);
  T* Data(int ch) { return &mStore[ch][kGuard]; }
  T** Pointers() { return mPtrs.data(); }
  int Channels() const { return (int)mStore.size(); }
  int Capacity() const { return mCapacity; }
  // Guards around the first n samples still hold the guard marker.
  bool GuardsIntact(int n) const;
  // Bits of sample i of a channel.
  uint64_t Bits(int ch, int i) const;

private:
  int mCapacity;
  std::vector<std::vector<T>> mStore;
  std::vector<T*> mPtrs;
};

// What a block check found; empty `fault` means the block was clean.
// startNs (steady clock) and processNs time the process call alone.
struct BlockReport
{
  std::string fault;
  AudioCounts counts;
  long long startNs = 0, processNs = 0;
};

class StressHost : public qtest::HostedPlug
{
public:
  explicit StressHost(int maxFrames = 8192);
  ~StressHost() override;

  // Loads the built plug-in and learns its instance lock from effIdle,
  // which takes nothing else. "" on success.
  std::string Load(const std::string& path);
  bool Open(double sampleRate, int blockSize) { return host.Open(sampleRate, blockSize); }
  void Close() { host.Close(); }

  // Inputs of the next blocks: noise with an impulse every 3000 samples by
  // default; the filler gets the channel, the buffer, frames and the
  // running sample position.
  typedef std::function<void(int ch, double* in, int n, long long pos)> InputFiller;
  void SetInput(InputFiller filler) { mFiller = std::move(filler); }
  void Noise(unsigned seed);

  // One watched block of n frames (0 ≤ n ≤ maxFrames) through the given
  // callback, checked as described above.
  BlockReport Block(int n, Precision p);
  // Output sample i of channel ch of the last block, as double.
  double Out(int ch, int i) const;

  // Sums of what was seen on the audio thread across all Blocks.
  const AudioCounts& Totals() const { return mTotals; }
  long long Blocks() const { return mBlocks; }
  long long Frames() const { return mFrames; }

  // Thread record: process calls from more than one thread, and host
  // callbacks made by a thread that is neither the one that loaded the
  // instance nor its audio thread (a thread of the plug-in's own).
  bool ProcessFromOneThread() const { return mAudioThreadCount <= 1; }
  long ForeignCallbacks() const { return mForeign.load(); }
  long CallbacksOnAudioThread() const { return mAudioCallbacks.load(); }
  // audioMasterEndEdit callbacks from any thread: edit gestures finished.
  long EditEnds() const { return mEditEnds.load(); }

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.f);

private:
  static void OnCallback(void* self, VstInt32 opcode);

  int mMaxFrames;
  GuardedBuffers<float> mInF, mOutF;
  GuardedBuffers<double> mInD, mOutD;
  std::vector<double> mInputCopy;
  Precision mLast = Precision::kDouble;
  InputFiller mFiller;
  long long mPos = 0;

  AudioCounts mTotals;
  long long mBlocks = 0, mFrames = 0;
  // Hashed thread ids: the one that loaded, the one processing.
  std::atomic<size_t> mUiThread{ 0 }, mAudioThread{ 0 };
  int mAudioThreadCount = 0;
  std::atomic<long> mForeign{ 0 }, mAudioCallbacks{ 0 }, mEditEnds{ 0 };
};

// Whether the long forms were asked for (QUORVEX_STRESS_FULL=1).
bool FullRuns();
// A bounded count for the default form, the full one under FullRuns.
long long Scaled(long long bounded, long long full);

// The plug-in's parameter ranges in its own units, for range checks.
using qtest::kParamRanges;

}  // namespace stress
