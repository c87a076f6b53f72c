// Quorvex 2: a stereo tempo-synced ping-pong delay.
//
// One mono delay line, fed with the mean of the inputs plus its own
// feedback, read at a near tap (output 1), a far tap (output 0) and a
// feedback tap at twice the near one. Tap distances are whole-note
// fractions at the host's tempo; moving them crossfades over 4410 samples.
#pragma once

#include "IPlugVST.h"

#include <cstdint>

enum EQuorvexParams
{
  kDelayRate = 0,
  kPingPong,
  kPanWidth,
  kFeedback,
  kDryMix,
  kWetMix,
  kNumParams
};

enum { kNumDelayRates = 25, kNumPingPongModes = 5, kNumPresets = 25 };

// Fraction of a whole note for "Delay Rate" choice i, in single precision
// as the engine uses it.
float DelayRateFraction(int i);
// Far-tap lookback for a near-tap lookback and a "Ping Pong" mode.
int32_t FarTapFor(int32_t nearTap, int mode);

class Quorvex2 : public IPlugVST
{
public:
  explicit Quorvex2(audioMasterCallback hostCallback);
  ~Quorvex2() override;

  // [any thread] keeps the line, its contents and the taps.
  void ResetProcessing() override;
  // [any thread, instance lock] recomputes gains and tap targets.
  void ParamChanged(int paramIdx) override;
  // [audio thread, instance lock] follows the tempo, then runs the line.
  void ProcessBlock(double** inputs, double** outputs, int nFrames) override;

  // Read-only views for tests and tools.
  uint32_t BufLen() const { return mBufLen; }
  bool BufReady() const { return mBufReady; }
  bool HasLine() const { return mDelayBuf != nullptr; }
  float Pan() const { return mPan; }
  float FeedbackGain() const { return mFeedback; }
  float WetGain() const { return mWet; }
  float DryGain() const { return mDry; }
  int32_t NearTarget() const { return mNearTarget; }
  int32_t FarTarget() const { return mFarTarget; }
  int32_t NearTap() const { return mNearNew; }
  int32_t FarTap() const { return mFarNew; }
  int32_t FadeCount() const { return mFadeCount; }

private:
  // [UI thread, in the constructor] The editor, its controls, AttachEditor.
  void BuildEditor();
  // Samples per whole note for this block: the host's, or a fallback when
  // the host reports no usable tempo.
  double WholeNoteSamples();
  void AllocateLine(double samplesPerWhole);
  void RunSteady(const double* in0, const double* in1, double* out0, double* out1, int from, int to);
  // Runs frames from `from` while a crossfade is under way; returns the
  // first frame left for the steady loop.
  int RunCrossfade(const double* in0, const double* in1, double* out0, double* out1, int from, int to);

  double* mDelayBuf;
  double mSamplesPerWhole;
  float mPan, mFeedback, mWet, mDry;
  int32_t mFarTarget, mFarOld, mFarNew;
  int32_t mNearTarget, mNearOld, mNearNew;
  uint32_t mBufLen;
  uint32_t mWritePos;
  uint32_t mFadeLen;
  int32_t mFadeCount;
  bool mBufReady;
  int32_t mPingPongMode;
};
