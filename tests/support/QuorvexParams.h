// The effect's parameters as a host sees them from outside the plug-in:
// their indices, their ranges in their own units, and values in those
// units turned into the normalised ones a host sends.
#pragma once

#include "VstHost.h"

namespace qtest
{

enum QuorvexParam
{
  kRate = 0,
  kMode,
  kPan,
  kFeedback,
  kDry,
  kWet,
  kNumParams
};

// "Ping Pong" modes.
enum PingPongMode
{
  kTriplet = 0,
  kDotted,
  kNormal,
  kTriplet2,
  kDotted2
};
// "Delay Rate" choices the tests use.
enum DelayRateChoice
{
  k1_64 = 0,
  k1_32 = 3,
  k1_16 = 6,
  k1_8 = 9,
  k1_8D = 11,
  k1_4 = 12,
  k4_1 = 24
};

struct ParamRange
{
  double lo, hi;
};
// "Delay Rate" steps, "Ping Pong" modes, "Pan Width", "Feedback", "Dry Mix", "Wet Mix".
constexpr ParamRange kParamRanges[kNumParams] = { { 0, 24 }, { 0, 4 },   { -100, 100 },
                                                  { 0, 99 }, { 0, 100 }, { 0, 100 } };

// Normalised value of a parameter given in its own units.
inline float Normalised(int index, double v)
{
  const ParamRange r = kParamRanges[index];
  return (float)((v - r.lo) / (r.hi - r.lo));
}

// Sets a parameter in its own units.
inline void SetParam(quorvex::VstHost& h, int index, double v)
{
  h.SetParameter(index, Normalised(index, v));
}

// A factory-like setting with feedback, crossfeed and both mixes.
inline void Busy(quorvex::VstHost& h, int rate = 6)
{
  const double v[kNumParams] = { (double)rate, 1, 70, 60, 80, 70 };
  for (int i = 0; i < kNumParams; ++i) SetParam(h, i, v[i]);
}

}  // namespace qtest
