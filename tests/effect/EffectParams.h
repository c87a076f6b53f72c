// Parameter indices, the choices and gains the effect tests model.
#pragma once

#include "QuorvexParams.h"

namespace effecttest
{

using qtest::k1_16;
using qtest::k1_32;
using qtest::k1_4;
using qtest::k1_64;
using qtest::k1_8;
using qtest::k1_8D;
using qtest::k4_1;
using qtest::kDotted;
using qtest::kDotted2;
using qtest::kDry;
using qtest::kFeedback;
using qtest::kMode;
using qtest::kNormal;
using qtest::kPan;
using qtest::kRate;
using qtest::kTriplet;
using qtest::kTriplet2;
using qtest::kWet;
using qtest::Normalised;

// Gain of an integer percentage, as the effect forms it.
inline float Gain(int percent) { return (float)percent * 0.01f; }
inline float PanOf(int width) { return (Gain(width) + 1.0f) * 0.5f; }

}  // namespace effecttest
