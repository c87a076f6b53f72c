#include "StressHost.h"

#if defined(__linux__)
#endif

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace stress
{

namespace
{

// Quiet NaNs with payloads no arithmetic produces.
const uint64_t kOutMarkD = 0x7ff8deaddeaddeadull, kGuardMarkD = 0x7ff8beefbeefbeefull;
const uint32_t kOutMarkF = 0x7fc0deadu, kGuardMarkF = 0x7fc0beefu;
// Accumulating calls add to what the host has there.
const float kAccumulateBase = 0.125f;

size_t ThisThread() { return std::hash<std::thread::id>()(std::this_thread::get_id()); }

template <class T> uint64_t BitsOf(T v)
{
  if constexpr (sizeof(T) == 8)
  {
    uint64_t b;
    std::memcpy(&b, &v, 8);
    return b;
  }
  else
  {
    uint32_t b;
    std::memcpy(&b, &v, 4);
    return b;
  }
}

template <class T> T FromBits(uint64_t bits)
{
  T v;
  if constexpr (sizeof(T) == 8)
    std::memcpy(&v, &bits, 8);
  else
  {
    const uint32_t b = (uint32_t)bits;
    std::memcpy(&v, &b, 4);
  }
  return v;
}

}  // namespace

const char* PrecisionName(Precision p)
{
  switch (p)
  {
    case Precision::kFloat: return "float";
    case Precision::kDouble: return "double";
    default: return "accumulating float";
  }
}

bool FullRuns()
{
  const char* v = std::getenv("QUORVEX_STRESS_FULL");
  return v && v[0] && std::strcmp(v, "0") != 0;
}

long long Scaled(long long bounded, long long full) { return FullRuns() ? full : bounded; }

// ================================================================ guarded buffers

template <class T> GuardedBuffers<T>::GuardedBuffers(int channels, int capacity) : mCapacity(capacity)
{
  mStore.resize(channels);
  for (auto& s : mStore)
    s.assign((size_t)capacity + 2 * kGuard, FromBits<T>(sizeof(T) == 8 ? kGuardMarkD : kGuardMarkF));
  for (auto& s : mStore) mPtrs.push_back(&s[kGuard]);
}

template <class T> void GuardedBuffers<T>::Arm(int n, uint64_t fillBits)
{
  const T guard = FromBits<T>(sizeof(T) == 8 ? kGuardMarkD : kGuardMarkF);
  const T fill = FromBits<T>(fillBits);
  for (auto& s : mStore)
  {
    // Only what a block can reach: its samples and the guards around them.
    std::fill(s.begin(), s.begin() + kGuard, guard);
    std::fill(s.begin() + kGuard, s.begin() + kGuard + n, fill);
    std::fill(s.begin() + kGuard + n, s.begin() + 2 * kGuard + n, guard);
  }
}

template <class T> bool GuardedBuffers<T>::GuardsIntact(int n) const
{
  const uint64_t guard = sizeof(T) == 8 ? kGuardMarkD : kGuardMarkF;
  for (const auto& s : mStore)
    for (int i = 0; i < kGuard; ++i)
      if (BitsOf(s[i]) != guard || BitsOf(s[kGuard + n + i]) != guard) return false;
  return true;
}

template <class T> uint64_t GuardedBuffers<T>::Bits(int ch, int i) const
{
  return BitsOf(mStore[ch][kGuard + i]);
}

template class GuardedBuffers<float>;
template class GuardedBuffers<double>;

// ================================================================ host

StressHost::StressHost(int maxFrames)
  : mMaxFrames(maxFrames), mInF(2, maxFrames), mOutF(2, maxFrames), mInD(2, maxFrames), mOutD(2, maxFrames),
    mInputCopy(2 * ((size_t)maxFrames + 2 * kGuard))
{
  Noise(1);
  host.SetCallLogging(false);
  host.SetCallbackObserver(&StressHost::OnCallback, this);
}

StressHost::~StressHost() { host.Close(); }

void StressHost::Noise(unsigned seed)
{
  auto rng = std::make_shared<std::mt19937>(seed);
  mFiller = [rng](int, double* in, int n, long long pos)
  {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int i = 0; i < n; ++i) in[i] = (pos + i) % 3000 == 0 ? 1.0 : 0.5 * u(*rng);
  };
}

std::string StressHost::Load(const std::string& path)
{
  mUiThread = ThisThread();
  const std::string error = host.Load(path);
  if (!error.empty()) return error;
  ProbeLocksBegin();
  Dispatch(effIdle);
  AllowLock(ProbeLocksEnd());
  // The reference host's own lock, taken by every callback to find the
  // instance, belongs to the host, not to the plug-in.
  ProbeLocksBegin();
  quorvex::VstHost::HostCallback(host.Effect(), audioMasterVersion, 0, 0, nullptr, 0.f);
  AllowLock(ProbeLocksEnd());
  return "";
}

void StressHost::OnCallback(void* self, VstInt32 opcode)
{
  StressHost* h = static_cast<StressHost*>(self);
  if (opcode == audioMasterEndEdit) ++h->mEditEnds;
  const size_t thread = ThisThread();
  if (thread == h->mAudioThread.load())
    ++h->mAudioCallbacks;
  else if (thread != h->mUiThread.load())
    ++h->mForeign;
}

VstIntPtr StressHost::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  return host.Dispatch(opcode, index, value, ptr, opt);
}

BlockReport StressHost::Block(int n, Precision p)
{
  BlockReport report;
  if (n < 0 || n > mMaxFrames)
  {
    report.fault = "block larger than the host's buffers";
    return report;
  }
  const size_t self = ThisThread();
  if (mAudioThreadCount == 0 || self != mAudioThread.load())
  {
    mAudioThread = self;
    ++mAudioThreadCount;
  }

  // Inputs in both precisions, guards around them, and a copy to compare.
  mInD.Arm(n, 0);
  mInF.Arm(n, 0);
  for (int ch = 0; ch < 2; ++ch)
  {
    double* d = mInD.Data(ch);
    mFiller(ch, d, n, mPos);
    float* f = mInF.Data(ch);
    for (int i = 0; i < n; ++i) f[i] = (float)d[i];
  }
  const size_t span = (size_t)n + 2 * kGuard;
  for (int ch = 0; ch < 2; ++ch)
    for (size_t i = 0; i < span; ++i)
      mInputCopy[ch * span + i] =
          p == Precision::kDouble ? mInD.Data(ch)[(long)i - kGuard] : (double)mInF.Data(ch)[(long)i - kGuard];
  if (p == Precision::kDouble)
    mOutD.Arm(n, kOutMarkD);
  else
    mOutF.Arm(n, p == Precision::kAccumulate ? BitsOf(kAccumulateBase) : kOutMarkF);

  {
    WatchBegin();
    const auto start = std::chrono::steady_clock::now();
    switch (p)
    {
      case Precision::kFloat: host.ProcessReplacing(mInF.Pointers(), mOutF.Pointers(), n); break;
      case Precision::kAccumulate: host.ProcessAccumulate(mInF.Pointers(), mOutF.Pointers(), n); break;
      case Precision::kDouble: host.ProcessDouble(mInD.Pointers(), mOutD.Pointers(), n); break;
    }
    const auto end = std::chrono::steady_clock::now();
    report.counts = WatchEnd();
    report.startNs = std::chrono::duration_cast<std::chrono::nanoseconds>(start.time_since_epoch()).count();
    report.processNs = std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count();
  }
  mLast = p;
  mPos += n;
  mTotals += report.counts;
  ++mBlocks;
  mFrames += n;

  // The checks, first fault only.
  auto fault = [&](const char* what, int ch, int i)
  {
    if (report.fault.empty())
      report.fault = std::string(what) + " (" + PrecisionName(p) + ", channel " + std::to_string(ch) +
                     ", sample " + std::to_string(i) + " of " + std::to_string(n) + ")";
  };
  const bool guards = p == Precision::kDouble ? mOutD.GuardsIntact(n) && mInD.GuardsIntact(n)
                                              : mOutF.GuardsIntact(n) && mInF.GuardsIntact(n);
  if (!guards) fault("a guard zone was written", -1, -1);
  for (int ch = 0; ch < 2; ++ch)
  {
    for (int i = 0; i < n && report.fault.empty(); ++i)
    {
      if (p == Precision::kDouble ? mOutD.Bits(ch, i) == kOutMarkD
                                  : (p == Precision::kFloat && mOutF.Bits(ch, i) == kOutMarkF))
        fault("output not written", ch, i);
      const double v = Out(ch, i);
      if (!std::isfinite(v)) fault("output not finite", ch, i);
      if (std::fpclassify(v) == FP_SUBNORMAL) fault("subnormal output", ch, i);
    }
    for (size_t i = 0; i < span && report.fault.empty(); ++i)
    {
      const double now =
          p == Precision::kDouble ? mInD.Data(ch)[(long)i - kGuard] : (double)mInF.Data(ch)[(long)i - kGuard];
      if (BitsOf(now) != BitsOf(mInputCopy[ch * span + i])) fault("input changed", ch, (int)i - kGuard);
    }
  }
  return report;
}

double StressHost::Out(int ch, int i) const
{
  if (mLast == Precision::kDouble) return FromBits<double>(mOutD.Bits(ch, i));
  return (double)FromBits<float>(mOutF.Bits(ch, i));
}

}  // namespace stress
