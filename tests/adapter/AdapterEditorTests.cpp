// The editor's mouse events, through the test plug-in's headless editor, as
// the host sees them: edit gestures, automation values and what host-side
// changes must never send back.
#include "EditCalls.h"
#include "TestPlugDriver.h"

#include <thread>

using qtest::EditCalls;
using Plug = qtest::TestPlugDriver;

namespace
{

typedef std::vector<std::string> Strings;

std::vector<float> AutomatedValues(const quorvex::VstHost& host)
{
  std::vector<float> out;
  for (const quorvex::HostCall& c : host.Calls())
    if (c.opcode == audioMasterAutomate) out.push_back(c.opt);
  return out;
}

int At(int x, int y) { return x | (y << 16); }

// Knob centres of the test editor (height 100, gearing 1: 10 px = 0.1).
const int kMixX = 35, kOffsetX = 95, kY = 60;

}  // namespace

TEST(AdapterEditor, PressDragReleaseAndDoubleClick)
{
  Plug plug(TESTPLUG_EDITOR_PATH);
  ASSERT_TRUE(plug.Ok());
  plug.ClearLog();

  plug.Cmd(kTPCmdEdMouseDown, At(kMixX, kY));
  plug.Cmd(kTPCmdEdDrag, At(kMixX, kY - 10));
  plug.Cmd(kTPCmdEdDrag, At(kMixX, kY - 10));  // no movement: nothing
  plug.Cmd(kTPCmdEdDrag, At(kMixX + 30, kY - 20));
  plug.Cmd(kTPCmdEdMouseUp, At(kMixX + 30, kY - 20));
  EXPECT_EQ(EditCalls(plug.host), (Strings{ "begin 0", "automate 0", "automate 0", "end 0" }));
  const std::vector<float> values = AutomatedValues(plug.host);
  ASSERT_EQ(values.size(), 2u);
  EXPECT_NEAR(values[0], 0.6f, 1e-6);
  EXPECT_NEAR(values[1], 0.7f, 1e-6);
  EXPECT_NEAR(plug.Value(kTPMix), 70.0, 1e-9);
  EXPECT_EQ(plug.Log().paramChanged[plug.Log().paramChangedCount - 1], kTPMix);

  // A double-click restores the value the editor started with; its gesture
  // ends with the release that follows.
  plug.ClearLog();
  EXPECT_EQ(plug.Cmd(kTPCmdEdDblClick, At(kMixX, kY)), 0.0);
  plug.Cmd(kTPCmdEdMouseUp, At(kMixX, kY));
  EXPECT_EQ(EditCalls(plug.host), (Strings{ "begin 0", "automate 0", "end 0" }));
  EXPECT_NEAR(plug.Value(kTPMix), 50.0, 1e-9);
}

TEST(AdapterEditor, WheelNotchesFormOneGestureEndedByTheTimer)
{
  Plug plug(TESTPLUG_EDITOR_PATH);
  ASSERT_TRUE(plug.Ok());
  plug.ClearLog();
  for (int i = 0; i < 3; ++i) plug.Cmd(kTPCmdEdWheel, At(kOffsetX, kY), 1);
  EXPECT_EQ(EditCalls(plug.host), (Strings{ "begin 1", "automate 1", "automate 1", "automate 1" }));
  // 30 frames a second: the end comes max(1, 30 / 2) ticks after the last notch.
  EXPECT_EQ(plug.Log().timerTicksSet, 15);
  for (int i = 0; i < 14; ++i) plug.Cmd(kTPCmdTimerTick);
  EXPECT_EQ(EditCalls(plug.host).size(), 4u);
  plug.Cmd(kTPCmdTimerTick);
  EXPECT_EQ(EditCalls(plug.host).back(), "end 1");
  EXPECT_EQ(plug.Log().pendingEndParam, -1);
  for (int i = 0; i < 30; ++i) plug.Cmd(kTPCmdTimerTick);
  EXPECT_EQ(EditCalls(plug.host).size(), 5u);

  // A press while a wheel gesture is pending ends it first.
  plug.ClearLog();
  plug.Cmd(kTPCmdEdWheel, At(kOffsetX, kY), -1);
  plug.Cmd(kTPCmdEdMouseDown, At(kOffsetX, kY));
  plug.Cmd(kTPCmdEdMouseUp, At(kOffsetX, kY));
  EXPECT_EQ(EditCalls(plug.host), (Strings{ "begin 1", "automate 1", "end 1", "begin 1", "end 1" }));
  EXPECT_EQ(plug.Log().timerRunning, 0);

  // Closing the editor ends a pending wheel gesture at once.
  int parent = 0;
  ASSERT_EQ(plug.host.Dispatch(effEditOpen, 0, 0, &parent), 1);
  plug.ClearLog();
  plug.Cmd(kTPCmdEdWheel, At(kMixX, kY), 1);
  plug.host.Dispatch(effEditClose);
  EXPECT_EQ(EditCalls(plug.host), (Strings{ "begin 0", "automate 0", "end 0" }));
}

TEST(AdapterEditor, HostSideChangesNeverReachTheHostBack)
{
  Plug plug(TESTPLUG_EDITOR_PATH);
  ASSERT_TRUE(plug.Ok());
  int parent = 0;
  ASSERT_EQ(plug.host.Dispatch(effEditOpen, 0, 0, &parent), 1);
  const std::vector<uint8_t> bank = plug.host.GetChunk(false);
  const std::vector<uint8_t> program = plug.host.GetChunk(true);
  plug.ClearLog();

  plug.host.SetParameter(kTPMix, 0.25f);
  plug.host.SetParameter(kTPOffset, 1.0f);
  plug.host.SetProgram(2);
  plug.host.SetProgram(0);
  EXPECT_EQ(plug.host.SetChunk(program, true), 1);
  EXPECT_EQ(plug.host.SetChunk(bank, false), 1);
  char text[] = "12.5";
  EXPECT_EQ(plug.host.Dispatch(effString2Parameter, kTPMix, 0, text), 1);
  for (int i = 0; i < 40; ++i) plug.Cmd(kTPCmdTimerTick);
  EXPECT_TRUE(EditCalls(plug.host).empty());
  EXPECT_GT(plug.Log().controlUpdates, 0);

  // The editor took the last value: a wheel notch continues from it.
  plug.ClearLog();
  plug.Cmd(kTPCmdEdWheel, At(kMixX, kY), 1);
  const std::vector<float> values = AutomatedValues(plug.host);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_NEAR(values[0], 0.135f, 1e-6);
  plug.host.Dispatch(effEditClose);
}

// ================================================================ where and when reports reach the host

// Edit reports are sent once the plug-in's locks are released, so a host
// that answers automation by setting the parameter back sees the same
// gesture and ends on the editor's last value.
TEST(AdapterEditor, HostEchoingAutomationEndsOnTheEditorsLastValue)
{
  Plug plug(TESTPLUG_EDITOR_PATH);
  ASSERT_TRUE(plug.Ok());
  plug.host.SetEchoAutomation(true);
  plug.ClearLog();
  plug.Cmd(kTPCmdEdMouseDown, At(kMixX, kY));
  for (int dy = 2; dy <= 20; dy += 2) plug.Cmd(kTPCmdEdDrag, At(kMixX, kY - dy));
  plug.Cmd(kTPCmdEdMouseUp, At(kMixX, kY - 20));
  const Strings calls = EditCalls(plug.host);
  ASSERT_EQ(calls.size(), 12u);
  EXPECT_EQ(calls.front(), "begin 0");
  EXPECT_EQ(calls.back(), "end 0");
  EXPECT_NEAR(AutomatedValues(plug.host).back(), 0.7f, 1e-6);
  EXPECT_NEAR(plug.Value(kTPMix), 70.0, 1e-4);
  EXPECT_EQ(plug.Log().lockRuleViolations, 0);
}

// Hosts expect edit reports on their GUI thread: once the host idles the
// editor, reports made on another thread wait for its next call.
TEST(AdapterEditor, ReportsArriveOnTheThreadThatIdlesTheEditor)
{
  Plug plug(TESTPLUG_EDITOR_PATH);
  ASSERT_TRUE(plug.Ok());
  int parent = 0;
  ASSERT_EQ(plug.host.Dispatch(effEditOpen, 0, 0, &parent), 1);
  plug.host.Dispatch(effEditIdle);
  plug.ClearLog();

  std::thread editor(
      [&]
      {
        plug.Cmd(kTPCmdEdMouseDown, At(kMixX, kY));
        plug.Cmd(kTPCmdEdDrag, At(kMixX, kY - 10));
        plug.Cmd(kTPCmdEdMouseUp, At(kMixX, kY - 10));
      });
  editor.join();
  EXPECT_TRUE(plug.host.CallsCopy().empty());
  plug.host.Dispatch(effEditIdle);
  EXPECT_EQ(EditCalls(plug.host), (Strings{ "begin 0", "automate 0", "end 0" }));
  for (const quorvex::HostCall& c : plug.host.CallsCopy()) EXPECT_EQ(c.thread, std::this_thread::get_id());

  // Closing sends what is left, on the closing thread.
  std::thread late([&] { plug.Cmd(kTPCmdEdWheel, At(kMixX, kY), 1); });
  late.join();
  plug.ClearLog();
  plug.Cmd(kTPCmdEdWheel, At(kOffsetX, kY), 1);
  plug.host.Dispatch(effEditClose);
  EXPECT_EQ(EditCalls(plug.host),
            (Strings{ "begin 0", "automate 0", "end 0", "begin 1", "automate 1", "end 1" }));
  EXPECT_EQ(plug.Log().lockRuleViolations, 0);
}
