// Shared by the stress runs: the plug-in under test and its parameters.
#pragma once

#include "ProcessCounts.h"
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

// Blocks must be clean; after resume the audio thread must also be.
inline void ExpectClean(const stress::BlockReport& r, bool realtime, const std::string& where)
{
  EXPECT_EQ(r.fault, "") << where;
  if (realtime && stress::InterposerActive())
  {
    EXPECT_TRUE(r.counts.Clean()) << where << ": " << r.counts.Text();
  }
}

// A factory-like setting with feedback, crossfeed and both mixes.
inline void Busy(quorvex::VstHost& h, int rate = 6)
{
  const double v[6] = { (double)rate, 1, 70, 60, 80, 70 };
  for (int i = 0; i < 6; ++i) Set(h, i, v[i]);
}

}  // namespace stresstest
