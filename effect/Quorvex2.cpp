// Quorvex 2
//
// Contents:
//   - line memory: zeroed, its pages present before the audio thread runs
//   - note lengths and tap factors
//   - construction: identity, parameters, editor, factory presets
//   - parameter changes: gains and tap targets
//   - the line: sized off the audio thread, grown by the worker
//   - block processing: tempo follow, crossfade bookkeeping
//   - the loops: contiguous stretches between line wraps, two frames a step
#include "Quorvex2.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#if !defined(_WIN32)
#include <sys/mman.h>
#endif
#if defined(__linux__) && !defined(MADV_POPULATE_WRITE)
#define MADV_POPULATE_WRITE 23  // kernel headers older than the kernel
#endif
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif
// Four frames a step where the processor has AVX, chosen at run time.
// Not on Windows: GCC there cannot align the stack for 32-byte spills.
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__) && !defined(_WIN32)
#define QUORVEX_AVX 1
#include <immintrin.h>

#include "ICpuFeatures.h"
#endif

#if defined(__APPLE__)
#define QUORVEX_EFFECT_NAME "Quorvex2"
#else
#define QUORVEX_EFFECT_NAME "Quorvex 2"
#endif

static const int kVendorVersion = IPLUG_VERSION(1, 2, 0);
static constexpr int FourCC(char a, char b, char c, char d)
{
  return ((int)a << 24) | ((int)b << 16) | ((int)c << 8) | (int)d;
}
static const int kUniqueID = FourCC('u', 'g', '2', 'b');
static const int kMfrID = FourCC('V', 'a', 'n', 't');

// 20 whole notes hold the longest far tap (10) and feedback tap (8) with
// room for the tempo to halve.
static const double kLineWholeNotes = 20.0;
// Hard ceiling for absurd tempos at the first block (256 MiB of samples).
static const double kMaxLineSamples = 33554432.0;
// Longest failed line while no worker runs: above any line asked for.
static const uint32_t kNoLineGrowth = 0xffffffffu;
// Tempo assumed when the host reports none before the line is sized.
static const double kFallbackTempo = 120.0;
// Nothing beyond this magnitude is written into the line: a NaN, an
// infinity or an absurd input would otherwise circulate for ever, and
// every output sum of line values stays finite even as 32-bit floats.
static const double kLineLimit = 1e30;

static const char* const kDelayRateTexts[kNumDelayRates] = {
  "1/64", "1/32T", "1/64D", "1/32", "1/16T", "1/32D", "1/16", "1/8T", "1/16D", "1/8",  "1/4T", "1/8D", "1/4",
  "1/2T", "1/4D",  "1/2",   "1/1T", "1/2D",  "1/1",   "2/1T", "1/1D", "2/1",   "4/1T", "2/1D", "4/1",
};

static const char* const kPingPongTexts[kNumPingPongModes] = {
  "Triplet", "Dotted", "Normal", "Triplet 2", "Dotted 2",
};

#if defined(QUORVEX_LV2)
// Port symbols: hosts store them in sessions.
static const char* const kParamSymbols[kNumParams] = {
  "delay_rate", "ping_pong", "pan_width", "feedback", "dry_mix", "wet_mix",
};

const char* Quorvex2::ParamSymbol(int paramIdx) const
{
  return paramIdx >= 0 && paramIdx < kNumParams ? kParamSymbols[paramIdx] : "";
}
#endif

// Halves round away from zero, so 5512.5 samples becomes 5513.
static double RoundHalfAway(double v) { return v >= 0.0 ? std::trunc(v + 0.5) : std::trunc(v - 0.5); }

// ================================================================ line memory

// Zeroed, since the taps read the whole line before it has been written
// once. With populate, every page is present before the line is used, so
// the audio thread takes no page fault on its first pass: in one call
// where the kernel can (Linux 5.14 on), else page by page. No huge pages:
// the first lines of a process come quicker on them, but once fresh ones
// must be found every further instance waits several times longer.
static double* NewLine(uint32_t len, bool populate)
{
#if defined(_WIN32)
  double* line = (double*)std::calloc(len, sizeof(double));
  if (!line) return nullptr;
#else
  const size_t bytes = sizeof(double) * (size_t)len;
  void* mem = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mem == MAP_FAILED) return nullptr;
  double* line = (double*)mem;
#if defined(__linux__)
  if (populate && madvise(mem, bytes, MADV_POPULATE_WRITE) == 0) return line;
#endif
#endif
  if (populate)
  {
    volatile double* touch = line;
    for (uint32_t i = 0; i < len; i += 512) touch[i] = 0.0;
    touch[len - 1] = 0.0;
  }
  return line;
}

static void FreeLine(double* line, uint32_t len)
{
  if (!line) return;
#if defined(_WIN32)
  (void)len;
  std::free(line);
#else
  munmap(line, sizeof(double) * (size_t)len);
#endif
}

// ================================================================ note lengths

// The powers of two are whole (the exponents i/3, (i+2)/3 and (i-2)/3 are
// integers for their groups), so they are built exactly instead of through
// the C runtime's pow, whose last bit differs between runtimes; the
// single-precision divisions then give the same bits everywhere.
float DelayRateFraction(int i)
{
  if (i < 0) i = 0;
  if (i > kNumDelayRates - 1) i = kNumDelayRates - 1;
  const int k = i / 3;
  switch (i % 3)
  {
    case 0: return (float)(1 << k) / 64.0f;           // straight
    case 1: return (float)(2 << k) / 96.0f;           // triplet
    default: return 3.0f * (float)(1 << k) / 128.0f;  // dotted
  }
}

int32_t FarTapFor(int32_t nearTap, int mode)
{
  if (mode == 2)
  {
    const long long farTap = 2LL * nearTap;
    return farTap > 0x7fffffffLL ? 0x7fffffff : (int32_t)farTap;
  }
  float factor;
  switch (mode)
  {
    case 0: factor = 4.0f / 3.0f; break;
    case 1: factor = 1.5f; break;
    case 3: factor = 7.0f / 3.0f; break;
    default: factor = 2.5f; break;
  }
  const float farTap = (float)nearTap * factor + 0.5f;
  return farTap < 2147483520.0f ? (int32_t)farTap : 0x7fffff80;
}

// ================================================================ construction

Quorvex2::Quorvex2(QuorvexHost host)
  : QuorvexAdapter(host, kNumParams, "1-1 2-2", kNumPresets, QUORVEX_EFFECT_NAME, "", "Vantu", kVendorVersion,
                   kUniqueID, kMfrID, 0, 0, false, false),
    mDelayBuf(nullptr), mSamplesPerWhole(0.0), mPan(0.0f), mFeedback(0.0f), mWet(0.0f), mDry(0.0f),
    mFarTarget(0), mFarOld(0), mFarNew(0), mNearTarget(0), mNearOld(0), mNearNew(0), mBufLen(0), mWritePos(0),
    mFadeLen(kFadeLength), mFadeCount(0), mBufReady(false), mPingPongMode(0), mNearWanted(0.0),
    mLineSized(false), mSizedRate(0.0), mLineWanted(0), mLineFailed(0), mOfflineAsked(0), mFramesWritten(0)
{
  IParam* rate = GetParam(kDelayRate);
  rate->DefineEnum("Delay Rate", 12, kNumDelayRates, "");
  for (int i = 0; i < kNumDelayRates; ++i) rate->AddTextForValue(i, kDelayRateTexts[i]);

  IParam* mode = GetParam(kPingPong);
  mode->DefineEnum("Ping Pong", 2, kNumPingPongModes, "");
  for (int i = 0; i < kNumPingPongModes; ++i) mode->AddTextForValue(i, kPingPongTexts[i]);

  GetParam(kPanWidth)->DefineInt("Pan Width", 90, -100, 100, "%");
  GetParam(kFeedback)->DefineInt("Feedback", 60, 0, 99, "%");
  GetParam(kDryMix)->DefineInt("Dry Mix", 100, 0, 100, "%");
  GetParam(kWetMix)->DefineInt("Wet Mix", 50, 0, 100, "%");

  // Attaching pushes the parameter values into the controls: after the
  // parameters, before the presets. An LV2 host shows the editor from a
  // UI binary of its own.
#if !defined(QUORVEX_LV2)
  BuildEditor();
#endif

  AddPresetsFromCurrent("---- default ----", 1);
  AddFactoryPreset("Classic Delay", 9, 2, 90, 60, 70, 60);
  AddFactoryPreset("Classic Delay Triplet", 9, 0, 90, 60, 70, 60);
  AddFactoryPreset("Bright Room", 0, 2, 100, 60, 100, 70);
  AddFactoryPreset("Dark Room", 1, 2, 90, 50, 60, 60);
  AddFactoryPreset("Etheric Room", 1, 2, 100, 90, 90, 50);
  AddFactoryPreset("Resonant Room", 0, 2, 100, 80, 100, 60);
  AddFactoryPreset("Distant Echoes", 21, 2, 100, 60, 60, 50);
  AddFactoryPreset("Distant Echoes 2", 20, 2, 100, 70, 60, 40);
  AddFactoryPreset("Harp", 3, 2, 90, 80, 70, 50);
  AddFactoryPreset("Long Delay", 9, 2, 90, 80, 80, 70);
  AddFactoryPreset("Very Long Delay", 9, 2, 90, 90, 70, 50);
  AddFactoryPreset("Don't Stop", 9, 2, 90, 96, 70, 50);
  AddFactoryPreset("Light Drops", 2, 2, 90, 80, 70, 50);
  AddFactoryPreset("Only Delay", 12, 2, 90, 60, 0, 90);
  AddFactoryPreset("Quiet Delay", 6, 2, 90, 80, 50, 30);
  AddFactoryPreset("Quiet Delay Dotted", 6, 1, 90, 80, 50, 30);
  AddFactoryPreset("Relaxation", 6, 2, 90, 80, 60, 40);
  AddFactoryPreset("Relaxation Dotted", 6, 4, 90, 80, 60, 40);
  AddFactoryPreset("Stereo Enhanced", 9, 2, 100, 70, 100, 70);
  AddFactoryPreset("Stereo Enhanced 2", 9, 0, 100, 70, 100, 70);
}

Quorvex2::~Quorvex2()
{
  // First: a line build running may be waiting for the lock to swap its
  // line in (the destructor does not hold it), so it finishes, and none
  // starts once the members it uses begin to go.
  StopBackgroundWork();
  FreeLine(mDelayBuf, mBufLen);
}

void Quorvex2::ResetProcessing()
{
  bool newRate;
  {
    WDL_MutexLock lock(&mMutex);
    newRate = GetSampleRate() != mSizedRate;
  }
  if (newRate) EnsureLine();
}

void Quorvex2::ActivationChanged(bool active)
{
  if (!active) return;
  EnsureLine();
  const bool started = StartBackgroundWork();
  // Without the worker nothing grows the line: the taps stay held inside
  // it, as after a failed allocation, until a resume starts one.
  WDL_MutexLock lock(&mMutex);
  if (!started)
  {
    mLineFailed = kNoLineGrowth;
    mLineWanted.store(0);
  }
  else if (mLineFailed == kNoLineGrowth)
  {
    // Taps held meanwhile ask the worker for their line.
    mLineFailed = 0;
    if (mBufReady) ParamChanged(kDelayRate);
  }
}

// ================================================================ parameter changes

void Quorvex2::ParamChanged(int paramIdx)
{
  WDL_MutexLock lock(&mMutex);
  IParam* param = GetParam(paramIdx);
  if (param)
  {
    const double v = RoundHalfAway(param->Value());
    const int32_t n = (v > -2147483648.0 && v < 2147483648.0) ? (int32_t)v : 0;
    const float g = (float)n * 0.01f;
    switch (paramIdx)
    {
      case kDelayRate:
      {
        double nearTap = RoundHalfAway((double)DelayRateFraction(n) * mSamplesPerWhole);
        mNearWanted = nearTap;
        // A slower tempo or faster rate than the line holds must not read
        // outside it (the feedback tap is twice the near one); the worker
        // builds a longer line meanwhile.
        const double limit = mBufReady ? (double)(mBufLen / 2) : 1073741823.0;
        if (!(nearTap <= limit)) nearTap = limit;
        if (!(nearTap >= 0.0)) nearTap = 0.0;
        mNearTarget = (int32_t)nearTap;
        break;
      }
      case kPingPong: mPingPongMode = n; break;
      case kPanWidth: mPan = (g + 1.0f) * 0.5f; break;
      case kFeedback: mFeedback = g; break;
      case kDryMix: mDry = g; break;
      case kWetMix: mWet = g; break;
      default: break;
    }
  }

  const int32_t farWanted = FarTapFor(mNearTarget, mPingPongMode);
  mFarTarget = farWanted;
  if (mBufReady && (uint32_t)mFarTarget > mBufLen) mFarTarget = (int32_t)mBufLen;

  if (!mBufReady) return;

  // Held inside a line too short for them: 20 whole notes hold every
  // setting at this tempo, so a further change of rate or mode fits.
  if (mNearWanted > (double)mNearTarget || (uint32_t)farWanted > mBufLen)
    RequestLine(kLineWholeNotes * mSamplesPerWhole);

  if (mFarOld == 0)
  {
    // No tap placed yet: jump.
    mFarOld = mFarNew = mFarTarget;
    mNearOld = mNearNew = mNearTarget;
    mFadeCount = -1;
  }
  else if ((mFarOld != mFarTarget || mNearOld != mNearTarget) && mFadeCount == -1)
  {
    mFadeCount = (int32_t)mFadeLen;
    mFarNew = mFarTarget;
    mNearNew = mNearTarget;
  }
  // Otherwise a crossfade runs: the targets are taken up when it ends.
}

// ================================================================ block processing

double Quorvex2::WholeNoteSamples()
{
  const double s = 4.0 * SamplesPerBeat();
  if (s > 0.0 && std::isfinite(s)) return s;
  // No usable tempo: before the line exists size it from a default tempo,
  // afterwards keep the last one rather than collapsing every tap to 0.
  return mBufReady ? mSamplesPerWhole : 4.0 * 60.0 * GetSampleRate() / kFallbackTempo;
}

static uint32_t LineLengthFor(double samples)
{
  double len = RoundHalfAway(samples);
  if (!(len >= 1.0)) len = 1.0;
  if (len > kMaxLineSamples) len = kMaxLineSamples;
  return (uint32_t)len;
}

// ================================================================ the line

// Only for a host that processes without ever resuming: the line is then
// allocated on the audio thread at the first block, as a last resort.
void Quorvex2::AllocateLine(double samplesPerWhole)
{
  const uint32_t len = LineLengthFor(kLineWholeNotes * samplesPerWhole);
  mDelayBuf = NewLine(len, false);
  mBufLen = mDelayBuf ? len : 0;
  mWritePos = 0;
}

void Quorvex2::EnsureLine()
{
  // The host is asked for its tempo before the lock is taken.
  const double hostWhole = 4.0 * SamplesPerBeat();
  uint32_t len;
  {
    WDL_MutexLock lock(&mMutex);
    mLineSized = true;
    mSizedRate = GetSampleRate();
    double s = hostWhole;
    if (!(s > 0.0 && std::isfinite(s)))
      s = mBufReady ? mSamplesPerWhole : 4.0 * 60.0 * GetSampleRate() / kFallbackTempo;
    len = LineLengthFor(kLineWholeNotes * s);
  }
  GrowLine(len);
}

// Old line into new, oldest sample first, as of write position p. The
// audio thread may be writing the old line meanwhile: what it overwrote is
// put right under the lock afterwards, so the race is harmless.
#if defined(__clang__) || defined(__GNUC__)
__attribute__((no_sanitize("thread")))
#endif
static void
CopyOldestFirst(double* line, const double* old, uint32_t n, uint32_t p)
{
  std::memcpy(line, old + p, sizeof(double) * (n - p));
  std::memcpy(line + (n - p), old, sizeof(double) * p);
}

bool Quorvex2::GrowLine(uint32_t len)
{
  ILockRule::Check(&mMutex, "allocating a delay line");
  WDL_MutexLock build(&mLineMutex);
  double* old;
  uint32_t n, p, oldLen;
  uint64_t written;
  {
    WDL_MutexLock lock(&mMutex);
    if (mDelayBuf && mBufLen >= len) return true;
    old = mDelayBuf;
    n = mBufLen;
    p = mWritePos;
    written = mFramesWritten;
  }
  double* line = NewLine(len, true);
  if (!line) return false;
  if (old) CopyOldestFirst(line, old, n, p);
  {
    WDL_MutexLock lock(&mMutex);
    const uint64_t d = mFramesWritten - written;
    if (mDelayBuf && mBufLen >= len)
    {
      // A host that never resumed made its own line on the audio thread.
      old = line;
      oldLen = len;
    }
    else if (mDelayBuf != old || !old || d >= n || (uint64_t)n + d >= len)
    {
      // Nothing to carry over, or too much happened meanwhile (a stall of
      // a whole line): the copy is made here instead.
      old = SwapInLine(line, len, &oldLen);
    }
    else
    {
      // The copy holds the line as of p, d frames ago. Those d frames went
      // over its oldest samples, which are past the old length now and so
      // read as silence, as they would have after a copy made here.
      oldLen = n;
      std::memset(line, 0, sizeof(double) * (size_t)d);
      for (uint32_t k = 0; k < (uint32_t)d; ++k) line[n + k] = old[(p + k) % n];
      mDelayBuf = line;
      mBufLen = len;
      mWritePos = n + (uint32_t)d;
      if (mBufReady) ParamChanged(kDelayRate);
    }
  }
  FreeLine(old, oldLen);
  return true;
}

double* Quorvex2::SwapInLine(double* line, uint32_t len, uint32_t* oldLen)
{
  double* old = mDelayBuf;
  *oldLen = mBufLen;
  if (old)
  {
    // Oldest sample first, so a lookback of k from the new write position
    // (the old length) reads the sample k samples back, as before.
    const uint32_t p = mWritePos, n = mBufLen;
    std::memcpy(line, old + p, sizeof(double) * (n - p));
    std::memcpy(line + (n - p), old, sizeof(double) * p);
    mWritePos = n;
  }
  else
  {
    mWritePos = 0;
  }
  mDelayBuf = line;
  mBufLen = len;
  // The taps held inside the shorter line can now go where they were asked.
  if (mBufReady) ParamChanged(kDelayRate);
  return old;
}

void Quorvex2::RequestLine(double len)
{
  const uint32_t want = LineLengthFor(len);
  if (want <= mBufLen || want <= mLineFailed || want <= mLineWanted.load()) return;
  mLineWanted.store(want);
  RequestBackgroundWork();
}

void Quorvex2::DoBackgroundWork()
{
  // A second request taken up by the first run leaves nothing wanted; a
  // build of 0 samples would write far past the end of an empty line.
  const uint32_t want = mLineWanted.load();
  if (!want) return;
  const bool ok = GrowLine(want);
  WDL_MutexLock lock(&mMutex);
  if (!ok && want > mLineFailed) mLineFailed = want;
  if (mLineWanted.load() == want) mLineWanted.store(0);
}

uint32_t Quorvex2::LineNeededAt(double s) const
{
  const double v = RoundHalfAway(GetParam(kDelayRate)->Value());
  const int32_t n = (v > -2147483648.0 && v < 2147483648.0) ? (int32_t)v : 0;
  const double nearTap = RoundHalfAway((double)DelayRateFraction(n) * s);
  const int32_t nearFits = nearTap < 1073741823.0 ? (int32_t)(nearTap > 0.0 ? nearTap : 0.0) : 1073741823;
  if (nearTap <= (double)(mBufLen / 2) && (uint32_t)FarTapFor(nearFits, mPingPongMode) <= mBufLen) return 0;
  return LineLengthFor(kLineWholeNotes * s);
}

void Quorvex2::GrowLineIfOffline(uint32_t need)
{
  if (need <= mBufLen || need <= mLineFailed || need == mOfflineAsked) return;
  mOfflineAsked = need;
  if (!HostRendersOffline()) return;
  // The host waits for this block whatever it takes; a real-time host
  // keeps its taps held until the worker's line arrives.
  double* line = NewLine(need, true);
  if (!line)
  {
    mLineFailed = need;
    return;
  }
  uint32_t oldLen;
  double* old = SwapInLine(line, need, &oldLen);
  FreeLine(old, oldLen);
  if (mLineWanted.load() <= need) mLineWanted.store(0);
}

bool Quorvex2::BeginBlock()
{
  const double s = WholeNoteSamples();
  if (mBufReady && mDelayBuf)
  {
    // Before the taps follow the tempo, so they never move inside a line
    // about to grow; also a longer line a parameter change asked for.
    uint32_t need = s != mSamplesPerWhole ? LineNeededAt(s) : 0;
    const uint32_t wanted = mLineWanted.load();
    if (wanted > need) need = wanted;
    if (need) GrowLineIfOffline(need);
  }
  if (!mBufReady)
  {
    mBufReady = true;
    mSamplesPerWhole = s;
    if (!mLineSized) AllocateLine(s);
    ParamChanged(kDelayRate);
  }
  else if (s != mSamplesPerWhole)
  {
    mSamplesPerWhole = s;
    ParamChanged(kDelayRate);
  }
  return mDelayBuf != nullptr;
}

// ================================================================ the loops
//
// The line is processed in stretches where the write position and every
// read position run on without wrapping, so each stretch is a plain
// contiguous loop over pointers. Two frames go per step (SSE2, present in
// every x86-64 build); per frame the operations and their order are those
// of the one-frame-at-a-time loop, so the output is bit-identical to it.
// A step reads all its line values before it writes, which equals the
// frame order unless a read lands on a sample an earlier frame of the same
// step writes, i.e. a lookback shorter than the step: such stretches take
// narrower steps (a lookback of 1 runs frame by frame).
//
// The loops read and write the host's samples S directly: doubles, or
// floats widened on the way in and rounded once on the way out (kAdd:
// the rounded value added in single precision), as a conversion through
// double buffers would, without the two passes over them.

namespace
{

struct Mix
{
  double farL, nearL, farR, nearR, dry, feedback;
};

// Crossfade weights by frames elapsed e: a = count / 4410 in single
// precision with count = 4409 - e (the weight of the positions left),
// b = 1 - a; both widened. Filled once at load.
struct FadeWeights
{
  double a[kFadeLength], b[kFadeLength];
  FadeWeights()
  {
    for (int e = 0; e < kFadeLength; ++e)
    {
      const float wa = (float)(kFadeLength - 1 - e) / (float)kFadeLength;
      a[e] = wa;
      b[e] = 1.0f - wa;
    }
  }
};
const FadeWeights kFadeWeights;

// What the line may hold: the written value, or silence in its place.
inline double LineValue(double v) { return std::fabs(v) <= kLineLimit ? v : 0.0; }

// Read index for a lookback of at most len: one subtraction, one wrap.
inline int32_t TapIndex(int32_t p, int32_t lookback, int32_t len)
{
  const int32_t idx = p - lookback;
  return idx < 0 ? idx + len : idx;
}

// One sample in and out, in either precision.
inline double Load1(const double* p) { return *p; }
inline double Load1(const float* p) { return (double)*p; }
template <bool kAdd> inline void Store1(double* p, double v) { *p = v; }
template <bool kAdd> inline void Store1(float* p, double v)
{
  if (kAdd)
    *p += (float)v;
  else
    *p = (float)v;
}

// One frame; tap values already read.
template <bool kAdd, class S>
inline void Frame(const Mix& m, double farV, double nearV, double fbV, double a, double b, double* w, S* o0,
                  S* o1)
{
  *w = LineValue(m.feedback * fbV + 0.5 * (b + a));
  Store1<kAdd>(o0, m.farL * farV + m.nearL * nearV + m.dry * a);
  Store1<kAdd>(o1, m.farR * farV + m.nearR * nearV + m.dry * b);
}

#if defined(__SSE2__) || defined(_M_X64)
// Two samples in and out; the float forms move 8 bytes, unaligned.
inline __m128d Load2(const double* p) { return _mm_loadu_pd(p); }
inline __m128d Load2(const float* p) { return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadu_si64(p))); }
template <bool kAdd> inline void Store2(double* p, __m128d v) { _mm_storeu_pd(p, v); }
template <bool kAdd> inline void Store2(float* p, __m128d v)
{
  __m128 f = _mm_cvtpd_ps(v);
  if (kAdd) f = _mm_add_ps(_mm_castsi128_ps(_mm_loadu_si64(p)), f);
  _mm_storeu_si64(p, _mm_castps_si128(f));
}
#endif

#if QUORVEX_AVX
const bool kHasAvx = CpuHasAvx();

__attribute__((target("avx"))) inline __m256d Load4(const double* p) { return _mm256_loadu_pd(p); }
__attribute__((target("avx"))) inline __m256d Load4(const float* p)
{
  return _mm256_cvtps_pd(_mm_loadu_ps(p));
}
template <bool kAdd> __attribute__((target("avx"))) inline void Store4(double* p, __m256d v)
{
  _mm256_storeu_pd(p, v);
}
template <bool kAdd> __attribute__((target("avx"))) inline void Store4(float* p, __m256d v)
{
  __m128 f = _mm256_cvtpd_ps(v);
  if (kAdd) f = _mm_add_ps(_mm_loadu_ps(p), f);
  _mm_storeu_ps(p, f);
}

// The two-frame step below, four frames wide; returns the frames done.
template <bool kFading, bool kAdd, class S>
__attribute__((target("avx"))) int RunQuads(const Mix& m, double* w, const double* const* tap,
                                            const double* wa, const double* wb, const S* in0, const S* in1,
                                            S* out0, S* out1, int n)
{
  const double *f = tap[0], *nr = tap[1], *fb = tap[2];
  const double *fo = tap[3], *nro = tap[4], *fbo = tap[5];
  const __m256d farL = _mm256_set1_pd(m.farL), nearL = _mm256_set1_pd(m.nearL);
  const __m256d farR = _mm256_set1_pd(m.farR), nearR = _mm256_set1_pd(m.nearR);
  const __m256d dry = _mm256_set1_pd(m.dry), feedback = _mm256_set1_pd(m.feedback);
  const __m256d half = _mm256_set1_pd(0.5), limit = _mm256_set1_pd(kLineLimit);
  const __m256d sign = _mm256_set1_pd(-0.0);
  int j = 0;
  for (; j + 4 <= n; j += 4)
  {
    _mm_prefetch((const char*)(w + j + 512), _MM_HINT_T0);
    __m256d farV = _mm256_loadu_pd(f + j), nearV = _mm256_loadu_pd(nr + j), fbV = _mm256_loadu_pd(fb + j);
    if (kFading)
    {
      const __m256d a = _mm256_loadu_pd(wa + j), b = _mm256_loadu_pd(wb + j);
      farV = _mm256_add_pd(_mm256_mul_pd(a, _mm256_loadu_pd(fo + j)), _mm256_mul_pd(b, farV));
      nearV = _mm256_add_pd(_mm256_mul_pd(a, _mm256_loadu_pd(nro + j)), _mm256_mul_pd(b, nearV));
      fbV = _mm256_add_pd(_mm256_mul_pd(a, _mm256_loadu_pd(fbo + j)), _mm256_mul_pd(b, fbV));
    }
    const __m256d x0 = Load4(in0 + j), x1 = Load4(in1 + j);
    __m256d v = _mm256_add_pd(_mm256_mul_pd(feedback, fbV), _mm256_mul_pd(half, _mm256_add_pd(x1, x0)));
    v = _mm256_and_pd(v, _mm256_cmp_pd(_mm256_andnot_pd(sign, v), limit, _CMP_LE_OQ));
    _mm256_storeu_pd(w + j, v);
    const __m256d o0 = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(farL, farV), _mm256_mul_pd(nearL, nearV)),
                                     _mm256_mul_pd(dry, x0));
    const __m256d o1 = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(farR, farV), _mm256_mul_pd(nearR, nearV)),
                                     _mm256_mul_pd(dry, x1));
    Store4<kAdd>(out0 + j, o0);
    Store4<kAdd>(out1 + j, o1);
  }
  return j;
}
#endif

// Taps: far, near, feedback; during a crossfade the old ones follow.
// width: frames a step may take (1, 2 or 4).
template <bool kFading, bool kAdd, class S>
void RunStretch(const Mix& m, double* w, const double* const* tap, const double* wa, const double* wb,
                const S* in0, const S* in1, S* out0, S* out1, int n, int width)
{
  const double *f = tap[0], *nr = tap[1], *fb = tap[2];
  const double *fo = tap[3], *nro = tap[4], *fbo = tap[5];
  int j = 0;
#if QUORVEX_AVX
  if (width >= 4 && kHasAvx) j = RunQuads<kFading, kAdd>(m, w, tap, wa, wb, in0, in1, out0, out1, n);
#endif
#if defined(__SSE2__) || defined(_M_X64)
  if (width >= 2)
  {
    const __m128d farL = _mm_set1_pd(m.farL), nearL = _mm_set1_pd(m.nearL);
    const __m128d farR = _mm_set1_pd(m.farR), nearR = _mm_set1_pd(m.nearR);
    const __m128d dry = _mm_set1_pd(m.dry), feedback = _mm_set1_pd(m.feedback);
    const __m128d half = _mm_set1_pd(0.5), limit = _mm_set1_pd(kLineLimit);
    const __m128d sign = _mm_set1_pd(-0.0);
    for (; j + 2 <= n; j += 2)
    {
      // The write position sweeps the whole line and misses every cache;
      // fetching it 4 KiB ahead saves the stores a wait. A hint only: it
      // never faults, even past the end of the line.
      _mm_prefetch((const char*)(w + j + 512), _MM_HINT_T0);
      __m128d farV = _mm_loadu_pd(f + j), nearV = _mm_loadu_pd(nr + j), fbV = _mm_loadu_pd(fb + j);
      if (kFading)
      {
        const __m128d a = _mm_loadu_pd(wa + j), b = _mm_loadu_pd(wb + j);
        farV = _mm_add_pd(_mm_mul_pd(a, _mm_loadu_pd(fo + j)), _mm_mul_pd(b, farV));
        nearV = _mm_add_pd(_mm_mul_pd(a, _mm_loadu_pd(nro + j)), _mm_mul_pd(b, nearV));
        fbV = _mm_add_pd(_mm_mul_pd(a, _mm_loadu_pd(fbo + j)), _mm_mul_pd(b, fbV));
      }
      const __m128d x0 = Load2(in0 + j), x1 = Load2(in1 + j);
      __m128d v = _mm_add_pd(_mm_mul_pd(feedback, fbV), _mm_mul_pd(half, _mm_add_pd(x1, x0)));
      // |v| <= limit, false for a NaN: keeps v, else +0.
      v = _mm_and_pd(v, _mm_cmple_pd(_mm_andnot_pd(sign, v), limit));
      _mm_storeu_pd(w + j, v);
      const __m128d o0 =
          _mm_add_pd(_mm_add_pd(_mm_mul_pd(farL, farV), _mm_mul_pd(nearL, nearV)), _mm_mul_pd(dry, x0));
      const __m128d o1 =
          _mm_add_pd(_mm_add_pd(_mm_mul_pd(farR, farV), _mm_mul_pd(nearR, nearV)), _mm_mul_pd(dry, x1));
      Store2<kAdd>(out0 + j, o0);
      Store2<kAdd>(out1 + j, o1);
    }
  }
#else
  (void)width;
#endif
  for (; j < n; ++j)
  {
    double farV = f[j], nearV = nr[j], fbV = fb[j];
    if (kFading)
    {
      farV = wa[j] * fo[j] + wb[j] * farV;
      nearV = wa[j] * nro[j] + wb[j] * nearV;
      fbV = wa[j] * fbo[j] + wb[j] * fbV;
    }
    Frame<kAdd>(m, farV, nearV, fbV, Load1(in0 + j), Load1(in1 + j), w + j, out0 + j, out1 + j);
  }
}

// Runs frames [from, to) through stretches; lookbacks as in RunStretch.
template <bool kFading, bool kAdd, class S>
int32_t RunLine(const Mix& m, double* line, int32_t len, int32_t p, const int32_t* lookback, int nTaps,
                const double* wa, const double* wb, const S* in0, const S* in1, S* out0, S* out1, int from,
                int to)
{
  // A step of w frames may not read what its own earlier frames write.
  int width = 4;
  for (int k = 0; k < nTaps; ++k)
    if (lookback[k] >= 1 && lookback[k] < width) width = lookback[k] == 1 ? 1 : 2;
  const double* tap[6] = { nullptr, nullptr, nullptr, nullptr, nullptr, nullptr };
  int i = from;
  while (i < to)
  {
    int n = to - i;
    if (len - p < n) n = len - p;
    for (int k = 0; k < nTaps; ++k)
    {
      const int32_t idx = TapIndex(p, lookback[k], len);
      if (len - idx < n) n = len - idx;
      tap[k] = line + idx;
    }
    const int e = kFading ? i - from : 0;
    RunStretch<kFading, kAdd>(m, line + p, tap, kFading ? wa + e : wa, kFading ? wb + e : wb, in0 + i,
                              in1 + i, out0 + i, out1 + i, n, width);
    i += n;
    p += n;
    if (p == len) p = 0;
  }
  return p;
}

}  // namespace

static Mix MixOf(float pan, float wet, float dry, float feedback)
{
  const double p = pan, w = wet;
  const double antiPan = (float)(1.0f - pan);
  return Mix{ p * w, antiPan * w, antiPan * w, p * w, (double)dry, (double)feedback };
}

template <bool kAdd, class S>
void Quorvex2::RunSteady(const S* in0, const S* in1, S* out0, S* out1, int from, int to)
{
  const int32_t lookback[3] = { mFarNew, mNearNew, 2 * mNearNew };
  const Mix m = MixOf(mPan, mWet, mDry, mFeedback);
  mWritePos = (uint32_t)RunLine<false, kAdd>(m, mDelayBuf, (int32_t)mBufLen, (int32_t)mWritePos, lookback, 3,
                                             nullptr, nullptr, in0, in1, out0, out1, from, to);
}

template <bool kAdd, class S>
void Quorvex2::RunCrossfade(const S* in0, const S* in1, S* out0, S* out1, int from, int to)
{
  const int32_t lookback[6] = { mFarNew, mNearNew, 2 * mNearNew, mFarOld, mNearOld, 2 * mNearOld };
  const Mix m = MixOf(mPan, mWet, mDry, mFeedback);
  // Frames already faded; mFadeCount counts down from the fade length.
  const int elapsed = (int)mFadeLen - mFadeCount;
  mWritePos = (uint32_t)RunLine<true, kAdd>(m, mDelayBuf, (int32_t)mBufLen, (int32_t)mWritePos, lookback, 6,
                                            kFadeWeights.a + elapsed, kFadeWeights.b + elapsed, in0, in1,
                                            out0, out1, from, to);
  mFadeCount -= to - from;
}

// ================================================================ one block, either precision

template <class S, bool kAdd> void Quorvex2::RunBlock(S** inputs, S** outputs, int nFrames)
{
  const bool haveLine = BeginBlock();
  const S* in0 = inputs[0];
  const S* in1 = inputs[1];
  S* out0 = outputs[0];
  S* out1 = outputs[1];

  if (!haveLine)
  {
    // No line could be allocated: pass the dry signal.
    const double dry = mDry;
    for (int i = 0; i < nFrames; ++i)
    {
      const double a = Load1(in0 + i), b = Load1(in1 + i);
      Store1<kAdd>(out0 + i, dry * a);
      Store1<kAdd>(out1 + i, dry * b);
    }
    return;
  }

  int i = 0;
  while (i < nFrames)
  {
    if (mFadeCount > 0)
    {
      const int n = nFrames - i < mFadeCount ? nFrames - i : mFadeCount;
      RunCrossfade<kAdd>(in0, in1, out0, out1, i, i + n);
      i += n;
    }
    else if (mFadeCount == 0)
    {
      // The frame after the last weighted one uses the new taps alone and
      // ends the crossfade.
      RunSteady<kAdd>(in0, in1, out0, out1, i, i + 1);
      ++i;
      mFarOld = mFarNew;
      mNearOld = mNearNew;
      mFadeCount = -1;
      if (mFarTarget != mFarNew || mNearTarget != mNearNew)
      {
        // Targets changed while fading: the next crossfade starts with the
        // next frame, from the taps that now sound.
        mFadeCount = (int32_t)mFadeLen;
        mFarNew = mFarTarget;
        mNearNew = mNearTarget;
      }
    }
    else
    {
      RunSteady<kAdd>(in0, in1, out0, out1, i, nFrames);
      i = nFrames;
    }
  }
  mFramesWritten += (uint64_t)nFrames;
}

void Quorvex2::ProcessBlock(double** inputs, double** outputs, int nFrames)
{
  RunBlock<double, false>(inputs, outputs, nFrames);
}

void Quorvex2::ProcessBlockFloat(float** inputs, float** outputs, int nFrames, bool accumulate)
{
  if (accumulate)
    RunBlock<float, true>(inputs, outputs, nFrames);
  else
    RunBlock<float, false>(inputs, outputs, nFrames);
}
