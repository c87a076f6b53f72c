// Effect code that throws under a host call: the exception stays in the
// plug-in, the call answers as a refusal would (0, silence, no editor), the
// instance lock is free for every other thread, and later calls work.
#include "TestPlugDriver.h"

#include <atomic>
#include <chrono>
#include <thread>

using Plug = qtest::TestPlugDriver;

namespace
{

// Reads a parameter on another thread: false when the instance lock is
// still held by the thread the exception passed through.
bool LockFreeForOthers(Plug& plug)
{
  std::atomic<bool> done{ false };
  std::thread reader(
      [&]
      {
        plug.host.GetParameter(kTPMix);
        done = true;
      });
  for (int i = 0; i < 1000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  if (!done)
  {
    reader.detach();
    return false;
  }
  reader.join();
  return true;
}

enum class Call
{
  kReplacing,
  kAccumulating,
  kDouble
};

struct ProcessCase
{
  const char* name;
  Call call;
};

class AdapterThrowProcess : public ::testing::TestWithParam<ProcessCase>
{
};

// One block of 64 frames of 0.5 through the chosen callback, outputs
// prefilled with 0.25; the output samples as doubles.
std::vector<double> Block(Plug& plug, Call call)
{
  const int n = 64;
  std::vector<double> in(2 * n, 0.5), out(2 * n, 0.25);
  std::vector<float> fin(in.begin(), in.end()), fout(out.begin(), out.end());
  if (call == Call::kDouble)
  {
    double* ins[2] = { &in[0], &in[n] };
    double* outs[2] = { &out[0], &out[n] };
    plug.host.ProcessDouble(ins, outs, n);
    return out;
  }
  float* ins[2] = { &fin[0], &fin[n] };
  float* outs[2] = { &fout[0], &fout[n] };
  if (call == Call::kReplacing)
    plug.host.ProcessReplacing(ins, outs, n);
  else
    plug.host.ProcessAccumulate(ins, outs, n);
  return std::vector<double>(fout.begin(), fout.end());
}

}  // namespace

TEST_P(AdapterThrowProcess, BlockThatThrowsIsSilence)
{
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  const ProcessCase c = GetParam();
  const bool adds = c.call == Call::kAccumulating;
  plug.Cmd(kTPCmdThrowIn, kTPHookProcessBlock);
  for (double v : Block(plug, c.call)) ASSERT_EQ(v, adds ? 0.25 : 0.0) << "the block that threw";
  EXPECT_TRUE(LockFreeForOthers(plug));
  // The next block passes its input through (added to what was there).
  for (double v : Block(plug, c.call)) ASSERT_EQ(v, adds ? 0.75 : 0.5) << "the block after";
}

INSTANTIATE_TEST_SUITE_P(Callbacks, AdapterThrowProcess,
                         ::testing::Values(ProcessCase{ "processReplacing", Call::kReplacing },
                                           ProcessCase{ "process", Call::kAccumulating },
                                           ProcessCase{ "processDoubleReplacing", Call::kDouble }),
                         [](const ::testing::TestParamInfo<ProcessCase>& i)
                         { return std::string(i.param.name); });

// setParameter and dispatcher calls whose effect code throws under the
// instance lock.
TEST(AdapterThrow, ParameterAndProgramCallsLeaveTheLockFree)
{
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());

  plug.Cmd(kTPCmdThrowIn, kTPHookParamChanged);
  plug.host.SetParameter(kTPMix, 0.25f);
  EXPECT_TRUE(LockFreeForOthers(plug)) << "setParameter";
  // The value was taken before the effect code failed.
  EXPECT_FLOAT_EQ(plug.host.GetParameter(kTPMix), 0.25f);

  plug.Cmd(kTPCmdThrowIn, kTPHookParamChanged);
  EXPECT_EQ(plug.host.Dispatch(effSetProgram, 0, 2), 0);
  EXPECT_TRUE(LockFreeForOthers(plug)) << "effSetProgram";

  // Nothing is left armed: both go through now.
  plug.host.SetParameter(kTPMix, 0.75f);
  EXPECT_FLOAT_EQ(plug.host.GetParameter(kTPMix), 0.75f);
  plug.host.SetProgram(1);
  EXPECT_EQ(plug.host.GetProgram(), 1);
  EXPECT_NEAR(plug.Value(kTPMix), 75.0, 1e-9);  // preset "Beta"
}

TEST(AdapterThrow, EditorOpenedHookThatThrowsLeavesNoWindow)
{
  Plug plug(TESTPLUG_EDITOR_PATH);
  ASSERT_TRUE(plug.Ok());
  char parent = 0;
  plug.Cmd(kTPCmdThrowIn, kTPHookEditorOpened);
  EXPECT_EQ(plug.host.Dispatch(effEditOpen, 0, 0, &parent), 0);
  EXPECT_EQ(plug.Log().editorOpens, 1);
  EXPECT_EQ(plug.Log().editorCloses, 1) << "the window stayed open";
  EXPECT_TRUE(LockFreeForOthers(plug));

  EXPECT_EQ(plug.host.Dispatch(effEditOpen, 0, 0, &parent), 1);
  EXPECT_EQ(plug.Log().editorOpenedHooks, 1);
  EXPECT_EQ(plug.host.Dispatch(effEditClose), 1);
}
