// Drives the built Quorvex2 plug-in through the reference host, the way a
// DAW would, and models the signal path for comparison.
#pragma once

#include "EffectParams.h"
#include "HostedPlug.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace effecttest
{

struct Stereo
{
  std::vector<double> l, r;
  explicit Stereo(size_t frames = 0) : l(frames, 0.0), r(frames, 0.0) {}
  size_t Frames() const { return l.size(); }
};

// Which host callback carries the audio.
enum class Path
{
  kDouble,
  kFloat,
  kAccumulate
};

class Plug : public qtest::HostedPlug
{
public:
  explicit Plug(double sampleRate = 44100.0, int block = 512)
    : HostedPlug(QUORVEX_EFFECT_PATH, true, sampleRate, block), mBlock(block)
  {
  }

  void Set(int index, double v) { qtest::SetParam(host, index, v); }

  // Clean echoes: no dry signal, full right/left split.
  void Isolate(int rate, int mode, int wet = 100, int feedback = 0)
  {
    const int values[6] = { rate, mode, 100, feedback, 0, wet };
    for (int i = 0; i < 6; ++i) Set(i, values[i]);
  }

  // New input for the following Run calls; outputs start over. The
  // accumulating path adds to outputs that start at `prefill`.
  void Input(const Stereo& in, double prefill = 0.0)
  {
    mIn = in;
    mOut = Stereo(in.Frames());
    mPrefill = prefill;
    mPos = 0;
  }

  // Processes the next frames of the input in host blocks of mBlock.
  void Run(size_t frames, Path path = Path::kDouble)
  {
    const size_t end = std::min(mPos + frames, mIn.Frames());
    while (mPos < end)
    {
      const size_t n = std::min(end - mPos, (size_t)mBlock);
      Block(mPos, (int)n, path);
      mPos += n;
    }
  }
  void RunAll(Path path = Path::kDouble) { Run(mIn.Frames() - mPos, path); }

  void Empty()
  {
    double l = 0.0, r = 0.0;
    double* io[2] = { &l, &r };
    host.ProcessDouble(io, io, 0);
  }

  const Stereo& Out() const { return mOut; }
  // 1 after the host announced a mono input: only input 0 is handed over.
  int inputs = 2;

private:
  void Block(size_t at, int n, Path path)
  {
    if (path == Path::kDouble)
    {
      double* ins[2] = { &mIn.l[at], &mIn.r[at] };
      double* mono[1] = { &mIn.l[at] };
      double* outs[2] = { &mOut.l[at], &mOut.r[at] };
      host.ProcessDouble(inputs == 2 ? ins : mono, outs, n);
      return;
    }
    std::vector<float> inL(&mIn.l[at], &mIn.l[at] + n), inR(&mIn.r[at], &mIn.r[at] + n);
    std::vector<float> outL(n, (float)mPrefill), outR(n, (float)mPrefill);
    float* ins[2] = { inL.data(), inR.data() };
    float* outs[2] = { outL.data(), outR.data() };
    if (path == Path::kFloat)
      host.ProcessReplacing(ins, outs, n);
    else
      host.ProcessAccumulate(ins, outs, n);
    std::copy(outL.begin(), outL.end(), &mOut.l[at]);
    std::copy(outR.begin(), outR.end(), &mOut.r[at]);
  }

  int mBlock;
  Stereo mIn, mOut;
  double mPrefill = 0.0;
  size_t mPos = 0;
};

inline Stereo Impulse(size_t frames, size_t at = 0, double l = 1.0, double r = 1.0)
{
  Stereo s(frames);
  s.l[at] = l;
  s.r[at] = r;
  return s;
}

inline Stereo Noise(size_t frames, unsigned seed)
{
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Stereo s(frames);
  for (size_t i = 0; i < frames; ++i) s.l[i] = u(rng), s.r[i] = u(rng);
  return s;
}

// Steady-state signal path with fixed taps (no crossfade), gains as the
// effect holds them: the line takes the mean of the inputs plus feedback
// from twice the near tap; output 0 weighs the far tap by pan, output 1
// the near tap.
struct Model
{
  int nearTap, farTap;
  float pan, wet, feedback, dry;

  Stereo Run(const Stereo& in) const
  {
    const size_t n = in.Frames();
    std::vector<double> line(n, 0.0);
    Stereo out(n);
    const double p = pan, w = wet, d = dry, fb = feedback;
    const double anti = (float)(1.0f - pan);
    auto at = [&](size_t t, int lookback) { return t >= (size_t)lookback ? line[t - lookback] : 0.0; };
    for (size_t t = 0; t < n; ++t)
    {
      const double farV = at(t, farTap), nearV = at(t, nearTap), fbV = at(t, 2 * nearTap);
      line[t] = fb * fbV + 0.5 * (in.r[t] + in.l[t]);
      out.l[t] = p * w * farV + anti * w * nearV + d * in.l[t];
      out.r[t] = anti * w * farV + p * w * nearV + d * in.r[t];
    }
    return out;
  }
};

// Frames whose sample differs from zero.
inline std::vector<size_t> NonZero(const std::vector<double>& v)
{
  std::vector<size_t> at;
  for (size_t i = 0; i < v.size(); ++i)
    if (v[i] != 0.0) at.push_back(i);
  return at;
}

}  // namespace effecttest
