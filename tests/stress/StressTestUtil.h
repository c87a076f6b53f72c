// Shared by the stress runs: the plug-in under test and its parameters.
#pragma once

#include "StressHost.h"

#include <gtest/gtest.h>

namespace stresstest {

enum { kRate = 0, kMode, kPan, kFeedback, kDry, kWet, kNumParams };

// Normalised value of a parameter given in its own units.
inline float Normalised(int index, double v)
{
  const stress::Range r = stress::kParamRanges[index];
  return (float)((v - r.lo) / (r.hi - r.lo));
}

inline void Set(quorvex::VstHost& h, int index, double v) { h.SetParameter(index, Normalised(index, v)); }

// A loaded and resumed instance of the built plug-in.
inline void Start(stress::StressHost& s, double rate, int block)
{
  ASSERT_EQ(s.Load(QUORVEX_EFFECT_PATH), "");
  ASSERT_TRUE(s.Open(rate, block));
}

}  // namespace stresstest
