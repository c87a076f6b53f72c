// IPlugBase
//
// Contents:
//   - host identification
//   - construction and destruction
//   - background work
//   - channels and block size
//   - processing frame
//   - parameters and editor
// Presets and state chunks live in IPlugPresets.cpp.
#include "IPlugBase.h"
#include "IGraphics.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

// Channel counts above this are taken as garbage in the channel string.
static const int kMaxChannels = 256;
// Scratch buffers never grow past this; longer host blocks run as sub-blocks.
static const int kMaxScratchFrames = 65536;
// Hosts that announce a tiny block size still get useful sub-blocks.
static const int kMinScratchFrames = 32;

// ================================================================ the lock rule

namespace
{
std::atomic<int> gLockRuleViolations{ 0 };
const int kLoggedViolations = 10;
}  // namespace

void ILockRule::Check(const WDL_Mutex* lock, const char* what)
{
  if (!lock || !lock->HeldByThisThread()) return;
  // Said in the host's log, but not without end.
  if (gLockRuleViolations.fetch_add(1) < kLoggedViolations)
    std::fprintf(stderr, "IPlug: %s while holding the instance lock\n", what ? what : "a blocking call");
}

int ILockRule::Violations() { return gLockRuleViolations.load(); }

// ================================================================ host identification

int HostCodeFromName(const char* name)
{
  static const struct
  {
    const char* word;
    int code;
  } kHosts[] = {
    { "cubase", 3 },      { "reaper", 1 },   { "nuendo", 4 },      { "cakewalk", 5 },   { "samplitude", 8 },
    { "fruity", 7 },      { "live", 9 },     { "melodyne", 12 },   { "vstmanlib", 13 }, { "aulab", 14 },
    { "forte", 15 },      { "chainer", 16 }, { "audition", 17 },   { "orion", 18 },     { "sawstudio", 20 },
    { "logic", 21 },      { "digital", 22 }, { "audiomulch", 23 }, { "presonus", 24 },  { "acoustica", 25 },
    { "garageband", 26 }, { "ardour", 27 },
  };
  if (!name) return 0;
  char lower[256];
  int n = 0;
  for (; name[n] && n < (int)sizeof(lower) - 1; ++n) lower[n] = (char)std::tolower((unsigned char)name[n]);
  lower[n] = 0;
  for (const auto& h : kHosts)
    if (std::strstr(lower, h.word)) return h.code;
  return 0;
}

void IPlugBase::SetHostInfo(const char* productName, int packedVersion)
{
  WDL_MutexLock lock(&mMutex);
  mHost = HostCodeFromName(productName);
  mHostVersion = packedVersion;
}

int IPlugBase::GetVersion(bool decimal) const
{
  if (!decimal) return mVersion;
  const int major = (mVersion >> 16) & 0xffff, minor = (mVersion >> 8) & 0xff, patch = mVersion & 0xff;
  return major * 10000 + minor * 100 + patch;
}

void IPlugBase::GetVersionText(int packed, char* text)
{
  if (!text) return;
  std::snprintf(text, 16, "v%d.%02d", (packed >> 16) & 0xffff, (packed >> 8) & 0xff);
}

// ================================================================ construction

// An item the list cannot take would be lost and leave the instance short
// of a parameter, preset or channel: construction fails instead.
template <class T> static void AddOwned(WDL_PtrList<T>& list, T* item)
{
  const int before = list.GetSize();
  if (list.Add(item) != before)
  {
    delete item;
    throw std::bad_alloc();
  }
}

IPlugBase::IPlugBase(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
                     const char* productName, const char* mfrName, int vendorVersion, int uniqueID, int mfrID,
                     int latency, int midiMode, bool plugDoesChunks, bool plugIsInst)
  : mCurrentPresetIdx(0), mPendingEndParam(-1), mUniqueID(uniqueID), mMfrID(mfrID), mVersion(vendorVersion),
    mHost(-1), mHostVersion(0), mDoesChunks(plugDoesChunks), mIsInst(plugIsInst), mMidiMode(midiMode),
    mSampleRate(44100.0), mBlockSize(0), mLatency(latency), mGraphics(nullptr), mScratchFrames(0),
    mUnboundOutputs(0)
{
  CopyFixedText(mEffectName, effectName, MAX_EFFECT_NAME_LEN);
  CopyFixedText(mProductName, productName, MAX_EFFECT_NAME_LEN);
  CopyFixedText(mMfrName, mfrName, MAX_EFFECT_NAME_LEN);
  // No destructor runs for a constructor that throws: what was made so far
  // goes before the exception leaves.
  try
  {
    Build(nParams, channelIOStr, nPresets);
  }
  catch (...)
  {
    Release();
    throw;
  }
}

void IPlugBase::Build(int nParams, const char* channelIOStr, int nPresets)
{
  mReports = new IEditReport[kEditReportCapacity];
  for (int i = 0; i < nParams; ++i) AddOwned(mParams, new IParam);

  for (int k = 1; k <= nPresets; ++k)
  {
    PresetSlot* slot = new PresetSlot;
    std::snprintf(slot->mName, MAX_PRESET_NAME_LEN, "- %d -", k);
    AddOwned(mPresets, slot);
  }

  int nIn = 0, nOut = 0;
  for (const char* p = channelIOStr; p;)
  {
    int in = 0, out = 0;
    std::sscanf(p, "%d-%d", &in, &out);
    if (in > kMaxChannels) in = kMaxChannels;
    if (out > kMaxChannels) out = kMaxChannels;
    if (in > nIn) nIn = in;
    if (out > nOut) nOut = out;
    AddOwned(mChannelIO, new ChannelIOPair(in, out));
    p = std::strchr(p, ' ');
    if (p) ++p;
  }

  // Channel records keep pointers into the slot arrays: size them once.
  double** in = mInData.Resize(nIn);
  double** out = mOutData.Resize(nOut);
  if ((nIn && !in) || (nOut && !out)) throw std::bad_alloc();
  if ((nIn && !mInFData.Resize(nIn)) || (nOut && !mOutFData.Resize(nOut))) throw std::bad_alloc();
  for (int i = 0; i < nIn; ++i)
  {
    in[i] = nullptr;
    InputChannelRec* rec = new InputChannelRec;
    rec->mSlot = &in[i];
    AddOwned(mInChannels, rec);
  }
  for (int i = 0; i < nOut; ++i)
  {
    out[i] = nullptr;
    OutputChannelRec* rec = new OutputChannelRec;
    rec->mSlot = &out[i];
    AddOwned(mOutChannels, rec);
  }
  mScratchFrames = ScratchFrames();
  mUnboundOutputs = nOut;
}

IPlugBase::~IPlugBase()
{
  // A fallback: the derived parts are gone by now, so an effect whose job
  // uses them has stopped its background work already.
  StopBackgroundWork();
  Release();
}

void IPlugBase::Release()
{
  // The adapter part is gone by now, so a gesture end can no longer reach
  // the host: drop it, and detach the editor first so that nothing it does
  // while being destroyed finds it (or the gesture) still here.
  mPendingEndParam = -1;
  IGraphics* graphics = mGraphics;
  mGraphics = nullptr;
  delete graphics;
  mParams.Empty(true);
  mPresets.Empty(true);
  mInChannels.Empty(true);
  mOutChannels.Empty(true);
  mChannelIO.Empty(true);
  delete[] mReports;
  mReports = nullptr;
}

// ================================================================ background work

bool IPlugBase::StartBackgroundWork()
{
  ILockRule::Check(&mMutex, "starting the worker");
  return IPlugWorker::Attach(&mWorkerJob);
}

void IPlugBase::StopBackgroundWork()
{
  // The job running may be waiting for the instance lock.
  ILockRule::Check(&mMutex, "waiting for the worker");
  IPlugWorker::Detach(&mWorkerJob);
}

void IPlugBase::RunBackgroundWork(void* owner) { static_cast<IPlugBase*>(owner)->DoBackgroundWork(); }

// ================================================================ channels

void IPlugBase::SetSampleRate(double sampleRate)
{
  WDL_MutexLock lock(&mMutex);
  // A rate of 0, a negative one or NaN would turn every tempo figure into
  // garbage; keep the last good one.
  if (std::isfinite(sampleRate) && sampleRate > 0.0) mSampleRate = sampleRate;
}

bool IPlugBase::IsAllowedIO(int nIn, int nOut) const
{
  const int n = mChannelIO.GetSize();
  for (int i = 0; i < n; ++i)
  {
    const ChannelIOPair* p = mChannelIO.Get(i);
    if ((nIn < 0 || nIn == p->mIn) && (nOut < 0 || nOut == p->mOut)) return true;
  }
  return false;
}

bool IPlugBase::IsInChannelConnected(int i) const
{
  const InputChannelRec* rec = mInChannels.Get(i);
  return rec && rec->mConnected;
}

bool IPlugBase::IsOutChannelConnected(int i) const
{
  const OutputChannelRec* rec = mOutChannels.Get(i);
  return rec && rec->mConnected;
}

// An unconnected channel's slot points at its scratch buffer: inputs read
// silence from it, outputs are written there and discarded.
template <class Rec> static void SetConnected(WDL_PtrList<Rec>& list, int first, int count, bool connected)
{
  const int n = list.GetSize();
  // 64-bit range arithmetic: host values near the int limits must not wrap.
  const long long end = (long long)first + (count > 0 ? count : 0);
  for (long long i = first < 0 ? 0 : first; i < n && i < end; ++i)
  {
    Rec* rec = list.Get((int)i);
    rec->mConnected = connected;
    if (!connected) *rec->mSlot = rec->mScratch.Get();
  }
}

void IPlugBase::SetInputsConnected(int first, int count, bool connected)
{
  WDL_MutexLock lock(&mMutex);
  SetConnected(mInChannels, first, count, connected);
}

void IPlugBase::SetOutputsConnected(int first, int count, bool connected)
{
  WDL_MutexLock lock(&mMutex);
  SetConnected(mOutChannels, first, count, connected);
  mUnboundOutputs = 0;
  for (int i = 0; i < mOutChannels.GetSize(); ++i) mUnboundOutputs += mOutChannels.Get(i)->mConnected ? 0 : 1;
}

// One channel's fresh scratch, made and cleared outside the lock.
struct FreshScratch
{
  WDL_TypedBuf<double> mDoubles;
  WDL_TypedBuf<float> mFloats;
  bool Make(int frames)
  {
    double* d = mDoubles.Resize(frames);
    float* f = mFloats.Resize(frames);
    if (d) std::memset(d, 0, sizeof(double) * (size_t)frames);
    if (f) std::memset(f, 0, sizeof(float) * (size_t)frames);
    return d && f;
  }
};

// A channel whose buffers could not be made keeps its old ones.
template <class Rec> static void SwapScratch(WDL_PtrList<Rec>& list, FreshScratch* fresh)
{
  for (int i = 0; i < list.GetSize(); ++i)
  {
    Rec* rec = list.Get(i);
    if (fresh[i].mDoubles.Get() && fresh[i].mFloats.Get())
    {
      rec->mScratch.Swap(fresh[i].mDoubles);
      rec->mFScratch.Swap(fresh[i].mFloats);
    }
    // An unconnected channel reads and writes its scratch.
    if (!rec->mConnected) *rec->mSlot = rec->mScratch.Get();
  }
}

void IPlugBase::SetBlockSize(int blockSize)
{
  int frames = blockSize;
  if (frames < kMinScratchFrames) frames = kMinScratchFrames;
  if (frames > kMaxScratchFrames) frames = kMaxScratchFrames;
  int nIn, nOut;
  {
    WDL_MutexLock lock(&mMutex);
    if (blockSize == mBlockSize) return;
    nIn = mInChannels.GetSize();
    nOut = mOutChannels.GetSize();
  }
  // Allocated and cleared without the lock: the audio thread only waits
  // for the swap. Both precisions, so either frame can run.
  std::unique_ptr<FreshScratch[]> fresh(new FreshScratch[nIn + nOut]);
  bool whole = true;
  for (int i = 0; i < nIn + nOut; ++i) whole = fresh[i].Make(frames) && whole;
  {
    WDL_MutexLock lock(&mMutex);
    SwapScratch(mInChannels, fresh.get());
    SwapScratch(mOutChannels, fresh.get() + nIn);
    mScratchFrames = ScratchFrames();
    // A channel left without its buffers is made on the next call, even for
    // the same size.
    if (whole) mBlockSize = blockSize;
  }
}

int IPlugBase::ScratchFrames() const
{
  int frames = 0x7fffffff;
  auto shortest = [&frames](int n) { frames = n < frames ? n : frames; };
  for (int i = 0; i < mInChannels.GetSize(); ++i)
  {
    shortest(mInChannels.Get(i)->mScratch.GetSize());
    shortest(mInChannels.Get(i)->mFScratch.GetSize());
  }
  for (int i = 0; i < mOutChannels.GetSize(); ++i)
  {
    shortest(mOutChannels.Get(i)->mScratch.GetSize());
    shortest(mOutChannels.Get(i)->mFScratch.GetSize());
  }
  return frames;
}

double IPlugBase::SamplesPerBeat()
{
  const double tempo = HostTempo();
  if (!(tempo > 0.0) || !std::isfinite(tempo)) return 0.0;
  return 60.0 * mSampleRate / tempo;
}

// ================================================================ processing frame

enum
{
  kFrameReplacing = 0,
  kFrameAccumulating = 1
};

// Subnormals in long feedback tails cost many times a normal sample and
// never decay to 0, so a processed block runs with them flushed to zero
// (results and operands alike); the host's own setting comes back after.
// MXCSR is the same on every x86-64 runtime, so all builds round alike;
// on arm64 FPCR.FZ flushes both as well.
class ScopedFlushDenormals
{
public:
#if defined(__SSE2__) || defined(_M_X64)
  // Many hosts flush already; the control register is then left alone.
  ScopedFlushDenormals() : mSaved(_mm_getcsr())
  {
    if ((mSaved & kFlushBits) != kFlushBits) _mm_setcsr(mSaved | kFlushBits);
  }
  ~ScopedFlushDenormals()
  {
    if ((mSaved & kFlushBits) != kFlushBits) _mm_setcsr(mSaved);
  }

private:
  static const unsigned kFlushBits = 0x8040;  // FTZ (bit 15) | DAZ (bit 6)
  unsigned mSaved;
#elif defined(__aarch64__) && (defined(__GNUC__) || defined(__clang__))
  ScopedFlushDenormals() : mSaved(ReadFpcr())
  {
    if (!(mSaved & kFlushBit)) WriteFpcr(mSaved | kFlushBit);
  }
  ~ScopedFlushDenormals()
  {
    if (!(mSaved & kFlushBit)) WriteFpcr(mSaved);
  }

private:
  static const uint64_t kFlushBit = uint64_t(1) << 24;  // FPCR.FZ
  static uint64_t ReadFpcr()
  {
    uint64_t v;
    __asm__ volatile("mrs %0, fpcr" : "=r"(v));
    return v;
  }
  static void WriteFpcr(uint64_t v) { __asm__ volatile("msr fpcr, %0" : : "r"(v) : "memory"); }
  uint64_t mSaved;
#else
  ScopedFlushDenormals() {}
#endif
};

// Sample conversions, eight at a time with AVX (chosen at run time, not
// on Windows where GCC cannot align the stack for it), four with SSE2;
// the same roundings as the one-at-a-time casts.
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__) && !defined(_WIN32)
#define QUORVEX_AVX 1
#include <immintrin.h>

#include "ICpuFeatures.h"

static const bool kHasAvx = CpuHasAvx();

__attribute__((target("avx"))) static int FloatsToDoublesAvx(const float* src, double* dst, int n)
{
  int s = 0;
  for (; s + 8 <= n; s += 8)
  {
    const __m256 f = _mm256_loadu_ps(src + s);
    _mm256_storeu_pd(dst + s, _mm256_cvtps_pd(_mm256_castps256_ps128(f)));
    _mm256_storeu_pd(dst + s + 4, _mm256_cvtps_pd(_mm256_extractf128_ps(f, 1)));
  }
  return s;
}

__attribute__((target("avx"))) static int DoublesToFloatsAvx(const double* src, float* dst, int n,
                                                             bool accumulate)
{
  int s = 0;
  for (; s + 8 <= n; s += 8)
  {
    __m256 f = _mm256_set_m128(_mm256_cvtpd_ps(_mm256_loadu_pd(src + s + 4)),
                               _mm256_cvtpd_ps(_mm256_loadu_pd(src + s)));
    if (accumulate) f = _mm256_add_ps(_mm256_loadu_ps(dst + s), f);
    _mm256_storeu_ps(dst + s, f);
  }
  return s;
}
#endif

static void FloatsToDoubles(const float* src, double* dst, int n)
{
  int s = 0;
#if QUORVEX_AVX
  if (kHasAvx) s = FloatsToDoublesAvx(src, dst, n);
#endif
#if defined(__SSE2__) || defined(_M_X64)
  for (; s + 4 <= n; s += 4)
  {
    const __m128 f = _mm_loadu_ps(src + s);
    _mm_storeu_pd(dst + s, _mm_cvtps_pd(f));
    _mm_storeu_pd(dst + s + 2, _mm_cvtps_pd(_mm_movehl_ps(f, f)));
  }
#endif
  for (; s < n; ++s) dst[s] = (double)src[s];
}

static void DoublesToFloats(const double* src, float* dst, int n, bool accumulate)
{
  int s = 0;
#if QUORVEX_AVX
  if (kHasAvx) s = DoublesToFloatsAvx(src, dst, n, accumulate);
#endif
#if defined(__SSE2__) || defined(_M_X64)
  for (; s + 4 <= n; s += 4)
  {
    __m128 f = _mm_movelh_ps(_mm_cvtpd_ps(_mm_loadu_pd(src + s)), _mm_cvtpd_ps(_mm_loadu_pd(src + s + 2)));
    if (accumulate) f = _mm_add_ps(_mm_loadu_ps(dst + s), f);
    _mm_storeu_ps(dst + s, f);
  }
#endif
  if (accumulate)
    for (; s < n; ++s) dst[s] += (float)src[s];
  else
    for (; s < n; ++s) dst[s] = (float)src[s];
}

template <class T> void IPlugBase::BindInputs(T** inputs, int offset, int nFrames)
{
  int hostIdx = 0;
  for (int i = 0; i < mInChannels.GetSize(); ++i)
  {
    InputChannelRec* rec = mInChannels.Get(i);
    double* scratch = rec->mScratch.Get();
    T* host = nullptr;
    if (rec->mConnected)
    {
      host = inputs ? inputs[hostIdx] : nullptr;
      ++hostIdx;
    }
    if (!host)
    {
      // Unconnected (or missing) inputs read as silence.
      if (scratch && nFrames) std::memset(scratch, 0, sizeof(double) * (size_t)nFrames);
      *rec->mSlot = scratch;
    }
    else if constexpr (sizeof(T) == sizeof(double))
    {
      *rec->mSlot = (double*)host + offset;
    }
    else
    {
      FloatsToDoubles((const float*)host + offset, scratch, nFrames);
      *rec->mSlot = scratch;
    }
  }
}

template <class T> void IPlugBase::BindOutputs(T** outputs, int offset, int nFrames)
{
  (void)nFrames;
  int hostIdx = 0;
  for (int i = 0; i < mOutChannels.GetSize(); ++i)
  {
    OutputChannelRec* rec = mOutChannels.Get(i);
    T* host = nullptr;
    if (rec->mConnected)
    {
      host = outputs ? outputs[hostIdx] : nullptr;
      ++hostIdx;
    }
    rec->mFDest = nullptr;
    if (!host)
    {
      // Written and discarded.
      *rec->mSlot = rec->mScratch.Get();
    }
    else if constexpr (sizeof(T) == sizeof(double))
    {
      *rec->mSlot = (double*)host + offset;
    }
    else
    {
      *rec->mSlot = rec->mScratch.Get();
      rec->mFDest = (float*)host + offset;
    }
  }
}

void IPlugBase::ConvertOutputs(int nFrames, bool accumulate)
{
  for (int i = 0; i < mOutChannels.GetSize(); ++i)
  {
    OutputChannelRec* rec = mOutChannels.Get(i);
    float* dest = rec->mFDest;
    const double* src = rec->mScratch.Get();
    if (!dest || !src) continue;
    DoublesToFloats(src, dest, nFrames, accumulate);
  }
}

// A host may pass the same buffer as an input and an output. The effect
// may write an output before it has read every input, so such an input is
// read from a copy in its scratch buffer, unless the effect works frame by
// frame and the two buffers coincide exactly.
static double* ScratchOf(InputChannelRec* rec, double*) { return rec->mScratch.Get(); }
static float* ScratchOf(InputChannelRec* rec, float*) { return rec->mFScratch.Get(); }

template <class T> void IPlugBase::SeparateAliasedInputs(T** ins, T** outs, int nFrames)
{
  if (nFrames <= 0) return;
  const uintptr_t bytes = sizeof(T) * (uintptr_t)nFrames;
  for (int i = 0; i < mInChannels.GetSize(); ++i)
  {
    T* in = ins[i];
    T* scratch = ScratchOf(mInChannels.Get(i), in);
    if (!in || in == scratch || !scratch) continue;
    const uintptr_t a = (uintptr_t)in;
    for (int o = 0; o < mOutChannels.GetSize(); ++o)
    {
      const uintptr_t b = (uintptr_t)outs[o];
      if (b && a < b + bytes && b < a + bytes && !(a == b && ProcessesInPlace()))
      {
        std::memcpy(scratch, in, (size_t)bytes);
        ins[i] = scratch;
        break;
      }
    }
  }
}

void IPlugBase::BindFloats(float** inputs, float** outputs, int offset, int nFrames)
{
  float** ins = mInFData.Get();
  float** outs = mOutFData.Get();
  int hostIdx = 0;
  for (int i = 0; i < mInChannels.GetSize(); ++i)
  {
    InputChannelRec* rec = mInChannels.Get(i);
    float* host = rec->mConnected && inputs ? inputs[hostIdx] : nullptr;
    hostIdx += rec->mConnected ? 1 : 0;
    if (host)
    {
      ins[i] = host + offset;
      continue;
    }
    // Unconnected (or missing) inputs read as silence.
    ins[i] = rec->mFScratch.Get();
    if (ins[i] && nFrames) std::memset(ins[i], 0, sizeof(float) * (size_t)nFrames);
  }
  hostIdx = 0;
  for (int i = 0; i < mOutChannels.GetSize(); ++i)
  {
    OutputChannelRec* rec = mOutChannels.Get(i);
    float* host = rec->mConnected && outputs ? outputs[hostIdx] : nullptr;
    hostIdx += rec->mConnected ? 1 : 0;
    // Written and discarded when unconnected.
    outs[i] = host ? host + offset : rec->mFScratch.Get();
  }
}

template <class T> void IPlugBase::RunFrame(T** inputs, T** outputs, int nFrames, int mode)
{
  if (nFrames < 0) nFrames = 0;
  const int chunk = mScratchFrames;
  if (chunk <= 0 && nFrames > 0)
  {
    // No scratch at all (allocation failed): the only safe answer is
    // silence on the outputs we would have replaced.
    if (mode == kFrameReplacing && outputs)
      for (int i = 0; i < mOutChannels.GetSize(); ++i)
        if (T* host = outputs[i]) std::memset(host, 0, sizeof(T) * (size_t)nFrames);
    return;
  }

  // The host hands over one buffer per output pin whatever it connected;
  // those past the connected channels are never bound, so a replacing call
  // clears them instead of leaving whatever the host had in them.
  const int unbound = mode == kFrameReplacing && outputs ? mUnboundOutputs : 0;
  // Floats straight to an effect that takes them.
  const bool direct = sizeof(T) == sizeof(float) && ProcessesFloat();

  int offset = 0;
  do {
    const int n = nFrames - offset < chunk ? nFrames - offset : chunk;
    if constexpr (sizeof(T) == sizeof(double))
    {
      BindInputs(inputs, offset, n);
      BindOutputs(outputs, offset, n);
      SeparateAliasedInputs(mInData.Get(), mOutData.Get(), n);
      ProcessBlock(mInData.Get(), mOutData.Get(), n);
    }
    else if (direct)
    {
      BindFloats(inputs, outputs, offset, n);
      SeparateAliasedInputs(mInFData.Get(), mOutFData.Get(), n);
      ProcessBlockFloat(mInFData.Get(), mOutFData.Get(), n, mode == kFrameAccumulating);
    }
    else
    {
      BindInputs(inputs, offset, n);
      BindOutputs(outputs, offset, n);
      ProcessBlock(mInData.Get(), mOutData.Get(), n);
      ConvertOutputs(n, mode == kFrameAccumulating);
    }
    // Cleared after the block: such a buffer may also be one of the inputs.
    for (int k = mOutChannels.GetSize() - unbound; unbound && k < mOutChannels.GetSize(); ++k)
      if (T* host = outputs[k]) std::memset(host + offset, 0, sizeof(T) * (size_t)n);
    offset += n;
  } while (offset < nFrames);
}

// The one lock pair of a block; the holder is marked as the audio thread,
// whose time requests are the host calls the lock may cover.
class ScopedProcessLock
{
public:
  ScopedProcessLock(WDL_Mutex* mutex, std::atomic<uintptr_t>* thread) : mMutex(mutex), mThread(thread)
  {
    mMutex->Enter();
    mOuter = mThread->load(std::memory_order_relaxed) == 0;
    if (mOuter) mThread->store(WDL_Mutex::ThisThread(), std::memory_order_relaxed);
  }
  ~ScopedProcessLock()
  {
    if (mOuter) mThread->store(0, std::memory_order_relaxed);
    mMutex->Leave();
  }

private:
  WDL_Mutex* mMutex;
  std::atomic<uintptr_t>* mThread;
  bool mOuter = false;
};

void IPlugBase::ProcessReplacing(float** inputs, float** outputs, int nFrames)
{
  ScopedProcessLock lock(&mMutex, &mProcessThread);
  PrepareBlock();
  ScopedFlushDenormals flush;
  RunFrame(inputs, outputs, nFrames, kFrameReplacing);
}

void IPlugBase::ProcessAccumulating(float** inputs, float** outputs, int nFrames)
{
  ScopedProcessLock lock(&mMutex, &mProcessThread);
  PrepareBlock();
  ScopedFlushDenormals flush;
  RunFrame(inputs, outputs, nFrames, kFrameAccumulating);
}

void IPlugBase::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames)
{
  ScopedProcessLock lock(&mMutex, &mProcessThread);
  PrepareBlock();
  ScopedFlushDenormals flush;
  RunFrame(inputs, outputs, nFrames, kFrameReplacing);
}

void IPlugBase::ProcessBlock(double** inputs, double** outputs, int nFrames)
{
  const int nIn = NInChannels(), nOut = NOutChannels();
  const int m = nIn < nOut ? nIn : nOut;
  if (nFrames <= 0) return;
  for (int i = 0; i < m; ++i)
    if (outputs[i] && inputs[i] && outputs[i] != inputs[i])
      std::memmove(outputs[i], inputs[i], sizeof(double) * (size_t)nFrames);
    else if (outputs[i] && !inputs[i])
      std::memset(outputs[i], 0, sizeof(double) * (size_t)nFrames);
  for (int i = m; i < nOut; ++i)
    if (outputs[i]) std::memset(outputs[i], 0, sizeof(double) * (size_t)nFrames);
}

bool IPlugBase::SendMidiMessages(MidiMessage* msgs, int n)
{
  bool ok = true;
  for (int i = 0; i < n; ++i) ok = SendMidiMessage(&msgs[i]) && ok;
  return ok;
}

// ================================================================ parameters and editor

void IPlugBase::NotifyAllParamsChanged()
{
  WDL_MutexLock lock(&mMutex);
  for (int i = 0; i < NParams(); ++i) ParamChanged(i);
}

void IPlugBase::SetParamFromEditor(int paramIdx, double normalizedValue)
{
  WDL_MutexLock lock(&mMutex);
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  param->SetUnitValue(normalizedValue);
  AutomateParam(paramIdx, normalizedValue);
  ParamChanged(paramIdx);
}

void IPlugBase::AttachEditor(IGraphics* graphics)
{
  if (!graphics) return;
  WDL_MutexLock lock(&mMutex);
  if (graphics == mGraphics) return;
  // Ours from here: an editor that cannot be prepared goes.
  std::unique_ptr<IGraphics> owned(graphics);
  for (int i = 0; i < NParams(); ++i) graphics->UpdateParamControls(i, GetParam(i)->GetUnitValue(), true);
  graphics->PrepareDrawing();
  delete mGraphics;
  mGraphics = owned.release();
}

void IPlugBase::PushParamsToEditor()
{
  WDL_MutexLock lock(&mMutex);
  if (!mGraphics) return;
  for (int i = 0; i < NParams(); ++i) mGraphics->UpdateParamControls(i, GetParam(i)->Value(), false);
}

void IPlugBase::ScheduleGestureEnd(int paramIdx)
{
  WDL_MutexLock lock(&mMutex);
  if (mGraphics)
  {
    mPendingEndParam = paramIdx;
    const int ticks = mGraphics->FrameRate() / 2;
    mGraphics->SetParamChangeTimer(ticks > 1 ? ticks : 1);
  }
  else
  {
    EndParamGesture(paramIdx);
  }
}

void IPlugBase::FlushPendingGestureEnd()
{
  WDL_MutexLock lock(&mMutex);
  if (mGraphics) mGraphics->CancelParamChangeTimer();
  if (mPendingEndParam >= 0)
  {
    const int idx = mPendingEndParam;
    mPendingEndParam = -1;
    EndParamGesture(idx);
  }
}

// ================================================================ edit reports

bool IPlugBase::QueueEditReport(int kind, int paramIdx, double value)
{
  WDL_MutexLock lock(&mMutex);
  if (mReportCount >= kEditReportCapacity)
  {
    // Only an editor that never lets a sender run gets here: the editor
    // sends itself long before the queue is full.
    ++mReportsDropped;
    return false;
  }
  IEditReport& r = mReports[(mReportHead + mReportCount) % kEditReportCapacity];
  r.mKind = kind;
  r.mParamIdx = paramIdx;
  r.mValue = value;
  ++mReportCount;
  return true;
}

int IPlugBase::QueuedEditReports()
{
  WDL_MutexLock lock(&mMutex);
  return mReportCount;
}

void IPlugBase::SendEditReports(bool wait)
{
  ILockRule::Check(&mMutex, "sending edit reports");
  if (mMutex.HeldByThisThread()) return;
  if (wait)
    mSendMutex.Enter();
  else if (!mSendMutex.TryEnter())
    return;
  // Released, and the depth put back first, also when a host call throws.
  struct Held
  {
    WDL_Mutex* m;
    ~Held() { m->Leave(); }
  } held{ &mSendMutex };
  struct Sending
  {
    int* depth;
    ~Sending()
    {
      if (depth) --*depth;
    }
  } sending{ nullptr };
  // A host answering a report by calling back into the plug-in must not
  // overtake the reports already taken off the queue.
  if (mSendDepth == 0)
  {
    ++mSendDepth;
    sending.depth = &mSendDepth;
    for (;;)
    {
      IEditReport batch[32];
      int n = 0;
      {
        WDL_MutexLock lock(&mMutex);
        while (n < 32 && mReportCount > 0)
        {
          batch[n++] = mReports[mReportHead];
          mReportHead = (mReportHead + 1) % kEditReportCapacity;
          --mReportCount;
        }
      }
      if (!n) break;
      for (int i = 0; i < n; ++i) SendEditReport(batch[i]);
    }
  }
}

bool IPlugBase::SendsFromHostCalls() const
{
  const uintptr_t idle = mIdleThread.load();
  return idle == 0 || idle == WDL_Mutex::ThisThread();
}

void IPlugBase::EditorEventDone()
{
  const uintptr_t idle = mIdleThread.load();
  if (idle == 0 || idle == WDL_Mutex::ThisThread())
  {
    SendEditReports(false);
    return;
  }
  // The host's thread sends; a queue filling up between its idles is sent
  // from here rather than refused.
  if (QueuedEditReports() > kEditReportCapacity / 2) SendEditReports(false);
}

void IPlugBase::NoteEditorOpened() { mIdleThread.store(0); }

void IPlugBase::NoteEditorIdle() { mIdleThread.store(WDL_Mutex::ThisThread()); }
