// Shared by the stress runs: the plug-in under test and its parameters.
#pragma once

#include "ProcessCounts.h"
#include "QuorvexParams.h"
#include "StressHost.h"

#include <gtest/gtest.h>

namespace stresstest
{

using qtest::Busy;
using qtest::kDry;
using qtest::kFeedback;
using qtest::kMode;
using qtest::kNumParams;
using qtest::kPan;
using qtest::kRate;
using qtest::kWet;
using qtest::Normalised;
using qtest::SetParam;

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

}  // namespace stresstest
