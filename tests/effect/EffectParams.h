// Parameter indices, the choices and gains the effect tests model.
#pragma once

#include "QuorvexParams.h"

namespace effecttest
{

using qtest::kDry;
using qtest::kFeedback;
using qtest::kMode;
using qtest::kPan;
using qtest::kRate;
using qtest::kWet;
using qtest::Normalised;

enum
{
  kTriplet = 0,
  kDotted,
  kNormal,
  kTriplet2,
  kDotted2
};
// "Delay Rate" choices used by the tests.
enum
{
  k1_64 = 0,
  k1_32 = 3,
  k1_16 = 6,
  k1_8 = 9,
  k1_8D = 11,
  k1_4 = 12,
  k4_1 = 24
};

// Gain of an integer percentage, as the effect forms it.
inline float Gain(int percent) { return (float)percent * 0.01f; }
inline float PanOf(int width) { return (Gain(width) + 1.0f) * 0.5f; }

}  // namespace effecttest
