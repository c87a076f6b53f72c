// Parameter indices and the value conversions the tests share.
#pragma once

namespace effecttest {

enum { kRate = 0, kMode, kPan, kFeedback, kDry, kWet };
enum { kTriplet = 0, kDotted, kNormal, kTriplet2, kDotted2 };
// "Delay Rate" choices used by the tests.
enum { k1_64 = 0, k1_32 = 3, k1_16 = 6, k1_8 = 9, k1_8D = 11, k1_4 = 12, k4_1 = 24 };

// Normalised value of a parameter given in its own units.
inline float Normalised(int index, double v)
{
  switch (index)
  {
    case kRate: return (float)(v / 24.0);
    case kMode: return (float)(v / 4.0);
    case kPan: return (float)((v + 100.0) / 200.0);
    case kFeedback: return (float)(v / 99.0);
    default: return (float)(v / 100.0);
  }
}

// Gain of an integer percentage, as the effect forms it.
inline float Gain(int percent) { return (float)percent * 0.01f; }
inline float PanOf(int width) { return (Gain(width) + 1.0f) * 0.5f; }

}  // namespace effecttest
