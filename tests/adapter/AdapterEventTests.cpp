// MIDI and SysEx in and out, the process callbacks, and the edit gestures
// the host receives.
#include "EditCalls.h"
#include "TestPlugDriver.h"
#include "VstEvents.h"

#include <cstring>

using qtest::CountCalls;
using qtest::EditCalls;
using qtest::EventList;
using qtest::MidiEvent;
using qtest::SysExEvent;
using Plug = qtest::TestPlugDriver;

namespace
{

typedef std::vector<std::string> Strings;

}  // namespace

// ================================================================ events

TEST(AdapterEvents, MidiAndSysExIn)
{
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  plug.ClearLog();

  VstMidiEvent noteOn = MidiEvent(5, 0x90, 64, 127);
  VstMidiEvent noteOff = MidiEvent(300, 0x80, 64, 0);
  VstMidiEvent other = MidiEvent(1, 0xB0, 1, 2);
  other.type = kVstAudioType;  // not ours: skipped
  char dump[] = { (char)0xF0, 0x41, 0x10, 0x42, (char)0xF7 };
  VstMidiSysexEvent sysex = SysExEvent(9, dump, sizeof(dump));
  EventList list = {
    5, 0, { (VstEvent*)&noteOn, nullptr, (VstEvent*)&sysex, (VstEvent*)&other, (VstEvent*)&noteOff }
  };
  EXPECT_EQ(plug.host.Dispatch(effProcessEvents, 0, 0, &list), 1);

  const TestPlugLog& log = plug.Log();
  ASSERT_EQ(log.midiCount, 2);
  EXPECT_TRUE(log.midi[0].offset == 5 && log.midi[0].status == 0x90 && log.midi[0].data1 == 64 &&
              log.midi[0].data2 == 127);
  EXPECT_TRUE(log.midi[1].offset == 300 && log.midi[1].status == 0x80);
  ASSERT_EQ(log.sysexCount, 1);
  EXPECT_EQ(log.sysex[0].offset, 9);
  EXPECT_EQ(log.sysex[0].size, 5);
  EXPECT_EQ(0, std::memcmp(log.sysex[0].bytes, dump, sizeof(dump)));

  // A SysEx event with a negative size, or bytes missing, is dropped.
  list = { 1, 0, { (VstEvent*)&sysex } };
  sysex.dumpBytes = -4;
  EXPECT_EQ(plug.host.Dispatch(effProcessEvents, 0, 0, &list), 1);
  sysex.dumpBytes = 5;
  sysex.sysexDump = nullptr;
  EXPECT_EQ(plug.host.Dispatch(effProcessEvents, 0, 0, &list), 1);
  for (VstInt32 count : { 0, -3 })
  {
    list.numEvents = count;
    EXPECT_EQ(plug.host.Dispatch(effProcessEvents, 0, 0, &list), 1);
  }
  EXPECT_EQ(plug.host.Dispatch(effProcessEvents, 0, 0, nullptr), 0);
  EXPECT_EQ(plug.Log().sysexCount, 1);
  EXPECT_EQ(plug.Log().midiCount, 2);
}

TEST(AdapterEvents, MidiAndSysExOut)
{
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  quorvex::VstHost& h = plug.host;
  plug.ClearLog();

  plug.Cmd(kTPCmdSendMidi, 17);
  plug.Cmd(kTPCmdSendSysEx, 3);
  plug.ProcessSilence();
  ASSERT_EQ(h.Events().size(), 2u);
  const quorvex::HostEvent& ev = h.Events()[0];
  EXPECT_EQ(ev.type, kVstMidiType);
  EXPECT_EQ(ev.byteSize, 32);
  EXPECT_EQ(ev.deltaFrames, 17);
  EXPECT_EQ(std::vector<int>(ev.midiData, ev.midiData + 4), (std::vector<int>{ 0x90, 60, 100, 0 }));
  const quorvex::HostEvent& sx = h.Events()[1];
  EXPECT_EQ(sx.type, kVstSysExType);
  EXPECT_EQ(sx.byteSize, 48);
  EXPECT_EQ(sx.deltaFrames, 3);
  EXPECT_EQ(sx.sysex, (std::vector<uint8_t>{ 0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7 }));
  EXPECT_EQ(plug.Log().lastSendResult, 1);

  // Only a result of exactly 1 counts as sent.
  for (VstIntPtr r : { 0, 2, -1 })
    for (int command : { kTPCmdSendMidi, kTPCmdSendSysEx })
    {
      h.SetProcessEventsResult(r);
      plug.Cmd(command, 0);
      plug.ProcessSilence();
      EXPECT_EQ(plug.Log().lastSendResult, 0) << r;
    }
}

TEST(AdapterEvents, WantMidiAtEveryProcessCallWhenMidiIsOn)
{
  const struct
  {
    const char* path;
    int expected;
  } kCases[] = {
    { TESTPLUG_PATH, 3 },
    { TESTPLUG_MIDI2_PATH, 3 },
    { TESTPLUG_MIDI3_PATH, 3 },
    { TESTPLUG_NOPRESETS_PATH, 0 },
  };
  for (const auto& c : kCases)
  {
    SCOPED_TRACE(c.path);
    Plug plug(c.path);
    ASSERT_TRUE(plug.Ok());
    plug.ClearLog();
    float f[2][16] = {};
    double d[2][16] = {};
    float* fp[2] = { f[0], f[1] };
    double* dp[2] = { d[0], d[1] };
    plug.host.ProcessReplacing(fp, fp, 16);
    plug.host.ProcessAccumulate(fp, fp, 16);
    plug.host.ProcessDouble(dp, dp, 16);
    EXPECT_EQ(CountCalls(plug.host, audioMasterWantMidi), c.expected);
    EXPECT_EQ(plug.host.Calls().size(), (size_t)c.expected);
    EXPECT_EQ(plug.Log().processBlocks, 3);
  }
}

TEST(AdapterEvents, ProcessCallbacksPassAudioThrough)
{
  Plug plug(TESTPLUG_NOPRESETS_PATH);
  ASSERT_TRUE(plug.Ok());
  const int n = 1500;  // longer than the announced 512 frames: still processed whole
  std::vector<float> in0(n), in1(n), out0(n, 7.0f), out1(n, 7.0f);
  std::vector<double> d0(n), d1(n), e0(n), e1(n);
  for (int i = 0; i < n; ++i)
  {
    in0[i] = (float)i / n;
    in1[i] = -(float)i / n;
    d0[i] = i * 0.25;
    d1[i] = -i * 0.5;
  }
  float* ins[2] = { in0.data(), in1.data() };
  float* outs[2] = { out0.data(), out1.data() };
  plug.host.ProcessReplacing(ins, outs, n);
  EXPECT_EQ(out0, in0);
  EXPECT_EQ(out1, in1);
  plug.host.ProcessAccumulate(ins, outs, n);  // adds to what the buffers hold
  for (int i = 0; i < n; ++i) ASSERT_EQ(out0[i], 2.0f * in0[i]) << i;

  double* dins[2] = { d0.data(), d1.data() };
  double* douts[2] = { e0.data(), e1.data() };
  plug.host.ProcessDouble(dins, douts, n);
  EXPECT_EQ(e0, d0);
  EXPECT_EQ(e1, d1);
}

// ================================================================ gestures

TEST(AdapterEvents, WheelGesturesReachTheHostInOrder)
{
  Plug plug(TESTPLUG_EDITOR_PATH);
  ASSERT_TRUE(plug.Ok());
  plug.ClearLog();

  plug.Wheel(2, { 1.0, 0.0 });
  EXPECT_EQ(plug.Log().pendingEndParam, 2);
  plug.Wheel(3, { 1.0 });
  EXPECT_EQ(EditCalls(plug.host),
            (Strings{ "begin 2", "automate 2", "automate 2", "end 2", "begin 3", "automate 3" }));
  // The automation values are the normalised ones the editor set.
  EXPECT_EQ(plug.host.Calls()[1].opt, 1.0f);
  EXPECT_EQ(plug.host.Calls()[2].opt, 0.0f);
  EXPECT_EQ(plug.Value(kTPShape), 0.0);

  // 30 frames a second: the gesture ends half a second after the last step.
  EXPECT_EQ(plug.Log().timerTicksSet, 15);
  for (int i = 0; i < 14; ++i) plug.Cmd(kTPCmdTimerTick);
  EXPECT_EQ(EditCalls(plug.host).size(), 6u);
  plug.Cmd(kTPCmdTimerTick);
  EXPECT_EQ(EditCalls(plug.host).back(), "end 3");
  EXPECT_EQ(plug.Log().pendingEndParam, -1);
  for (int i = 0; i < 20; ++i) plug.Cmd(kTPCmdTimerTick);
  EXPECT_EQ(EditCalls(plug.host).size(), 7u);
}

TEST(AdapterEvents, MousePressEndsAPendingWheelGestureFirst)
{
  Plug plug(TESTPLUG_EDITOR_PATH);
  ASSERT_TRUE(plug.Ok());
  plug.ClearLog();
  plug.Wheel(1, { 0.75 });
  plug.Cmd(kTPCmdMouseDown, 1);
  plug.Cmd(kTPCmdDrag, 1, 0.25);
  plug.Cmd(kTPCmdMouseUp, 1);
  EXPECT_EQ(EditCalls(plug.host),
            (Strings{ "begin 1", "automate 1", "end 1", "begin 1", "automate 1", "end 1" }));
  EXPECT_EQ(plug.Log().pendingEndParam, -1);
  EXPECT_EQ(plug.Log().timerRunning, 0);
  EXPECT_EQ(plug.Value(kTPOffset), -6.0);
  // Editor changes reach the effect too.
  EXPECT_EQ(plug.Log().paramChanged[plug.Log().paramChangedCount - 1], kTPOffset);
}

TEST(AdapterEvents, WheelWithoutEditorEndsAtOnce)
{
  Plug plug(TESTPLUG_NOPRESETS_PATH);
  ASSERT_TRUE(plug.Ok());
  plug.ClearLog();
  plug.Wheel(0, { 0.5, 0.6 });
  EXPECT_EQ(EditCalls(plug.host),
            (Strings{ "begin 0", "automate 0", "end 0", "begin 0", "automate 0", "end 0" }));
  plug.Cmd(kTPCmdNotifyDisplay);
  EXPECT_EQ(CountCalls(plug.host, audioMasterUpdateDisplay), 1);
}

TEST(AdapterEvents, ClosingTheInstanceEndsAPendingWheelGesture)
{
  Plug plug(TESTPLUG_EDITOR_PATH);
  ASSERT_TRUE(plug.Ok());
  plug.ClearLog();
  plug.Wheel(2, { 0.5 });
  plug.host.Close();
  EXPECT_EQ(EditCalls(plug.host), (Strings{ "begin 2", "automate 2", "end 2" }));
}
