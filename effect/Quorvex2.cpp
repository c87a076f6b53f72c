// Quorvex 2
//
// Contents:
//   - note lengths and tap factors
//   - construction: identity, parameters, editor, factory presets
//   - parameter changes: gains and tap targets
//   - the line: sized off the audio thread, grown by the worker
//   - block processing: tempo follow, steady and crossfading loops
#include "Quorvex2.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__APPLE__)
#define QUORVEX_EFFECT_NAME "Quorvex2"
#else
#define QUORVEX_EFFECT_NAME "Quorvex 2"
#endif

static const int kVendorVersion = IPLUG_VERSION(1, 2, 0);
static const int kUniqueID = CCONST('u', 'g', '2', 'b');
static const int kMfrID = CCONST('V', 'a', 'n', 't');

// 20 whole notes hold the longest far tap (10) and feedback tap (8) with
// room for the tempo to halve.
static const double kLineWholeNotes = 20.0;
// Hard ceiling for absurd tempos at the first block (256 MiB of samples).
static const double kMaxLineSamples = 33554432.0;
// Tempo assumed when the host reports none before the line is sized.
static const double kFallbackTempo = 120.0;
// Nothing beyond this magnitude is written into the line: a NaN, an
// infinity or an absurd input would otherwise circulate for ever, and
// every output sum of line values stays finite even as 32-bit floats.
static const double kLineLimit = 1e30;

static const char* const kDelayRateTexts[kNumDelayRates] = {
  "1/64", "1/32T", "1/64D", "1/32", "1/16T", "1/32D", "1/16", "1/8T", "1/16D",
  "1/8",  "1/4T",  "1/8D",  "1/4",  "1/2T",  "1/4D",  "1/2",  "1/1T", "1/2D",
  "1/1",  "2/1T",  "1/1D",  "2/1",  "4/1T",  "2/1D",  "4/1",
};

static const char* const kPingPongTexts[kNumPingPongModes] = {
  "Triplet", "Dotted", "Normal", "Triplet 2", "Dotted 2",
};

// Halves round away from zero, so 5512.5 samples becomes 5513.
static double RoundHalfAway(double v)
{
  return v >= 0.0 ? std::trunc(v + 0.5) : std::trunc(v - 0.5);
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
    case 0: return (float)(1 << k) / 64.0f;          // straight
    case 1: return (float)(2 << k) / 96.0f;          // triplet
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

Quorvex2::Quorvex2(audioMasterCallback hostCallback)
  : IPlugVST(hostCallback, kNumParams, "1-1 2-2", kNumPresets, QUORVEX_EFFECT_NAME, "", "Vantu",
             kVendorVersion, kUniqueID, kMfrID, 0, 0, false, false),
    mDelayBuf(nullptr), mSamplesPerWhole(0.0), mPan(0.0f), mFeedback(0.0f), mWet(0.0f), mDry(0.0f),
    mFarTarget(0), mFarOld(0), mFarNew(0), mNearTarget(0), mNearOld(0), mNearNew(0),
    mBufLen(0), mWritePos(0), mFadeLen(4410), mFadeCount(0), mBufReady(false), mPingPongMode(0),
    mNearWanted(0.0), mLineSized(false), mSizedRate(0.0), mLineWanted(0), mLineFailed(0)
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
  // parameters, before the presets.
  BuildEditor();

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
  // The worker may be waiting for the lock to swap a line in; the
  // destructor does not hold it, so the job finishes first.
  mWorker.Stop();
  std::free(mDelayBuf);
}

void Quorvex2::ResetProcessing()
{
  WDL_MutexLock lock(&mMutex);
  if (GetSampleRate() != mSizedRate) EnsureLine(WholeNoteSamples());
}

void Quorvex2::ActivationChanged(bool active)
{
  WDL_MutexLock lock(&mMutex);
  if (!active) return;
  EnsureLine(WholeNoteSamples());
  mWorker.Start(BuildRequestedLine, this);
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

// Zeroed, since the taps read the whole line before it has been written
// once, and every page written once here so that the audio thread takes
// no page fault on its first pass.
static double* NewLine(uint32_t len)
{
  double* line = (double*)std::calloc(len, sizeof(double));
  if (!line) return nullptr;
  volatile double* touch = line;
  for (uint32_t i = 0; i < len; i += 512) touch[i] = 0.0;
  touch[len - 1] = 0.0;
  return line;
}

// ================================================================ the line

// Only for a host that processes without ever resuming: the line is then
// allocated on the audio thread at the first block, as a last resort.
void Quorvex2::AllocateLine(double samplesPerWhole)
{
  const uint32_t len = LineLengthFor(kLineWholeNotes * samplesPerWhole);
  mDelayBuf = (double*)std::calloc(len, sizeof(double));
  mBufLen = mDelayBuf ? len : 0;
  mWritePos = 0;
}

void Quorvex2::EnsureLine(double samplesPerWhole)
{
  mLineSized = true;
  mSizedRate = GetSampleRate();
  const uint32_t len = LineLengthFor(kLineWholeNotes * samplesPerWhole);
  if (mDelayBuf && mBufLen >= len) return;
  double* line = NewLine(len);
  if (!line) return;
  std::free(SwapInLine(line, len));
}

double* Quorvex2::SwapInLine(double* line, uint32_t len)
{
  double* old = mDelayBuf;
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
  mWorker.Wake();
}

void Quorvex2::BuildRequestedLine(void* self)
{
  Quorvex2* plug = static_cast<Quorvex2*>(self);
  const uint32_t want = plug->mLineWanted.load();
  {
    WDL_MutexLock lock(&plug->mMutex);
    if (want <= plug->mBufLen) return;
  }
  // The long part, allocating and touching, runs without the lock.
  double* line = NewLine(want);
  double* old = line;
  {
    WDL_MutexLock lock(&plug->mMutex);
    if (!line)
    {
      if (want > plug->mLineFailed) plug->mLineFailed = want;
    }
    else if (want > plug->mBufLen)
    {
      old = plug->SwapInLine(line, want);
    }
    if (plug->mLineWanted.load() == want) plug->mLineWanted.store(0);
  }
  std::free(old);
}

void Quorvex2::ProcessBlock(double** inputs, double** outputs, int nFrames)
{
  const double s = WholeNoteSamples();
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

  const double* in0 = inputs[0];
  const double* in1 = inputs[1];
  double* out0 = outputs[0];
  double* out1 = outputs[1];

  if (!mDelayBuf)
  {
    // No line could be allocated: pass the dry signal.
    const double dry = mDry;
    for (int i = 0; i < nFrames; ++i)
    {
      out0[i] = dry * in0[i];
      out1[i] = dry * in1[i];
    }
    return;
  }

  int i = 0;
  while (i < nFrames && mFadeCount >= 0) i = RunCrossfade(in0, in1, out0, out1, i, nFrames);
  if (i < nFrames) RunSteady(in0, in1, out0, out1, i, nFrames);
}

// What the line may hold: the written value, or silence in its place.
static inline double LineValue(double v)
{
  return std::fabs(v) <= kLineLimit ? v : 0.0;
}

// Read index for a lookback of at most mBufLen: one subtraction, one wrap.
static inline int32_t TapIndex(int32_t p, int32_t lookback, int32_t len)
{
  const int32_t idx = p - lookback;
  return idx < 0 ? idx + len : idx;
}

void Quorvex2::RunSteady(const double* in0, const double* in1, double* out0, double* out1, int from, int to)
{
  double* line = mDelayBuf;
  const int32_t len = (int32_t)mBufLen;
  const int32_t farTap = mFarNew, nearTap = mNearNew, fbTap = 2 * mNearNew;
  const double pan = mPan, wet = mWet, dry = mDry, feedback = mFeedback;
  const double antiPan = (float)(1.0f - mPan);
  const double farL = pan * wet, nearL = antiPan * wet;
  const double farR = antiPan * wet, nearR = pan * wet;
  int32_t p = (int32_t)mWritePos;

  for (int i = from; i < to; ++i)
  {
    const double farV = line[TapIndex(p, farTap, len)];
    const double nearV = line[TapIndex(p, nearTap, len)];
    const double fbV = line[TapIndex(p, fbTap, len)];
    const double a = in0[i], b = in1[i];
    line[p] = LineValue(feedback * fbV + 0.5 * (b + a));
    if (++p == len) p = 0;
    out0[i] = farL * farV + nearL * nearV + dry * a;
    out1[i] = farR * farV + nearR * nearV + dry * b;
  }
  mWritePos = (uint32_t)p;
}

int Quorvex2::RunCrossfade(const double* in0, const double* in1, double* out0, double* out1, int from, int to)
{
  double* line = mDelayBuf;
  const int32_t len = (int32_t)mBufLen;
  const int32_t farNew = mFarNew, nearNew = mNearNew, farOld = mFarOld, nearOld = mNearOld;
  const double pan = mPan, wet = mWet, dry = mDry, feedback = mFeedback;
  const double antiPan = (float)(1.0f - mPan);
  const float fadeLen = (float)mFadeLen;
  int32_t p = (int32_t)mWritePos;
  int i = from;

  for (; i < to && mFadeCount >= 0; ++i)
  {
    double farV = line[TapIndex(p, farNew, len)];
    double nearV = line[TapIndex(p, nearNew, len)];
    double fbV = line[TapIndex(p, 2 * nearNew, len)];

    if (mFadeCount > 0)
    {
      --mFadeCount;
      // a weighs the positions being left.
      const float a = (float)mFadeCount / fadeLen;
      const float b = 1.0f - a;
      farV = (double)a * line[TapIndex(p, farOld, len)] + (double)b * farV;
      nearV = (double)a * line[TapIndex(p, nearOld, len)] + (double)b * nearV;
      fbV = (double)a * line[TapIndex(p, 2 * nearOld, len)] + (double)b * fbV;
    }
    else
    {
      // The crossfade has just run out.
      mFarOld = farNew;
      mNearOld = nearNew;
      mFadeCount = -1;
    }

    const double x0 = in0[i], x1 = in1[i];
    line[p] = LineValue(feedback * fbV + 0.5 * (x1 + x0));
    if (++p == len) p = 0;
    out0[i] = pan * wet * farV + antiPan * wet * nearV + dry * x0;
    out1[i] = antiPan * wet * farV + pan * wet * nearV + dry * x1;

    if (mFadeCount == -1 && (mFarTarget != farNew || mNearTarget != nearNew))
    {
      // Targets changed while fading: the next crossfade starts with the
      // next sample, from the taps that now sound.
      mFadeCount = (int32_t)mFadeLen;
      mFarNew = mFarTarget;
      mNearNew = mNearTarget;
      ++i;
      break;
    }
  }
  mWritePos = (uint32_t)p;
  return i;
}
