// Quorvex 2: a stereo tempo-synced ping-pong delay.
//
// One mono delay line, fed with the mean of the inputs plus its own
// feedback, read at a near tap (output 1), a far tap (output 0) and a
// feedback tap at twice the near one. Tap distances are whole-note
// fractions at the host's tempo; moving them crossfades over 4410 samples.
#pragma once

// One effect source for every format: the build chooses the adapter. The
// LV2 UI binary runs the editor on an instance of its own.
#if defined(QUORVEX_LV2_UI)
#include "IPlugLV2UI.h"
typedef IPlugLV2UI QuorvexAdapter;
typedef const IPlugLV2UIInstanceInfo& QuorvexHost;
#elif defined(QUORVEX_LV2)
#include "IPlugLV2.h"
typedef IPlugLV2 QuorvexAdapter;
typedef const IPlugLV2InstanceInfo& QuorvexHost;
#else
#include "IPlugVST.h"
typedef IPlugVST QuorvexAdapter;
typedef audioMasterCallback QuorvexHost;
#endif

#include <atomic>
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

enum
{
  kNumDelayRates = 25,
  kNumPingPongModes = 5,
  kNumPresets = 25
};
// Frames a tap crossfade lasts, at every sample rate.
enum
{
  kFadeLength = 4410
};

// Fraction of a whole note for "Delay Rate" choice i, in single precision
// as the engine uses it.
float DelayRateFraction(int i);
// Far-tap lookback for a near-tap lookback and a "Ping Pong" mode.
int32_t FarTapFor(int32_t nearTap, int mode);

// Identifiers hosts keep in sessions: never change them.
#define QUORVEX_LV2_URI "https://www.vantu.audio/plugins/quorvex-2"

class Quorvex2 : public QuorvexAdapter
{
public:
  explicit Quorvex2(QuorvexHost host);
  ~Quorvex2() override;

  // [UI thread, no instance lock] keeps the line, its contents and the
  // taps; after a sample-rate change the line is made long enough here.
  void ResetProcessing() override;
  // [UI thread, no instance lock] at resume the line is allocated and its
  // pages touched, so the audio thread never does either, and background
  // work starts; both outside the lock.
  void ActivationChanged(bool active) override;
  // [worker thread, no instance lock] builds the requested line, then swaps
  // it in under the lock.
  void DoBackgroundWork() override;
  // [any thread, instance lock] recomputes gains and tap targets.
  void ParamChanged(int paramIdx) override;
  // [audio thread, instance lock] follow the tempo, then run the line;
  // in single precision straight from and into the host's buffers.
  void ProcessBlock(double** inputs, double** outputs, int nFrames) override;
  bool ProcessesFloat() const override { return true; }
  void ProcessBlockFloat(float** inputs, float** outputs, int nFrames, bool accumulate) override;
  // Every loop reads a frame's inputs (two frames' at most) before writing
  // its outputs.
  bool ProcessesInPlace() const override { return true; }
#if defined(QUORVEX_LV2)
  const char* ParamSymbol(int paramIdx) const override;
#endif

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
  // [UI thread, no instance lock] a line of 20 whole notes at the host's
  // tempo, unless the one in use is long enough already.
  void EnsureLine();
  // [any thread but the audio thread, no instance lock] Builds a line of
  // len and swaps it in: allocating, touching and copying run outside the
  // instance lock, which covers only the swap and the few samples the
  // audio thread wrote meanwhile. False when len could not be allocated.
  bool GrowLine(uint32_t len);
  // [instance lock] swaps in a longer line, carrying the contents over so
  // that every lookback reads what it read before; returns the old line
  // and its length, to be freed outside the lock.
  double* SwapInLine(double* line, uint32_t len, uint32_t* oldLen);
  // [audio thread allowed, instance lock] asks the worker for a longer line.
  void RequestLine(double len);
  // [audio thread, instance lock] the line that holds every tap at s
  // samples a whole note, 0 when the one in use does.
  uint32_t LineNeededAt(double s) const;
  // [audio thread, instance lock] For a host rendering offline: a block
  // that needs a longer line gets it before it runs, built here, so the
  // render equals one whose line was long enough from the start and does
  // not depend on when a worker finishes. The host is asked once a need.
  void GrowLineIfOffline(uint32_t need);
  // [audio thread, instance lock] the tempo followed and the line grown
  // or made where it must be; false when there is no line.
  bool BeginBlock();
  // Samples S in and out (kAdd: added to the outputs).
  template <class S, bool kAdd> void RunBlock(S** inputs, S** outputs, int nFrames);
  template <bool kAdd, class S>
  void RunSteady(const S* in0, const S* in1, S* out0, S* out1, int from, int to);
  // Frames [from, to) of a running crossfade; to - from <= mFadeCount.
  template <bool kAdd, class S>
  void RunCrossfade(const S* in0, const S* in1, S* out0, S* out1, int from, int to);

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
  // Near-tap lookback the parameters ask for before it is held inside the line.
  double mNearWanted;
  // Whether a line was ever sized off the audio thread (resume, new rate).
  bool mLineSized;
  double mSizedRate;
  // Line length asked of the worker (0: none); longest one that failed.
  std::atomic<uint32_t> mLineWanted;
  uint32_t mLineFailed;
  // The need the host was last asked about (GrowLineIfOffline).
  uint32_t mOfflineAsked;
  // Frames written into the line since it was made; tells a line grown
  // outside the lock what the audio thread wrote meanwhile.
  uint64_t mFramesWritten;
  // One line built at a time (resume, new rate, the worker); taken before
  // the instance lock, never by the audio thread.
  WDL_Mutex mLineMutex;
};
