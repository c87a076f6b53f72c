// The reference host against a stub plug-in: loading errors, the set-up
// order, callbacks answered from settable state, and the logs tests rely on.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "StubPlugin.h"
#include "VstHost.h"

using quorvex::HostCall;
using quorvex::HostEvent;
using quorvex::VstHost;

namespace
{

const StubObservations* Seen(VstHost& host)
{
  return reinterpret_cast<const StubObservations*>(host.Dispatch(effVendorSpecific, kStubObservations));
}

std::vector<VstInt32> Dispatched(VstHost& host)
{
  const StubObservations* seen = Seen(host);
  return std::vector<VstInt32>(seen->dispatched, seen->dispatched + seen->numDispatched);
}

// Keeps the stub library resident so its entry mode can be switched between loads.
class HostTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    mStub = dlopen(QUORVEX_STUB_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(mStub, nullptr) << dlerror();
    mSetEntryMode = reinterpret_cast<void (*)(int)>(dlsym(mStub, "QuorvexStubSetEntryMode"));
    ASSERT_NE(mSetEntryMode, nullptr);
  }
  void TearDown() override
  {
    if (mSetEntryMode) mSetEntryMode(kStubEntryNormal);
    if (mStub) dlclose(mStub);
  }

  void* mStub = nullptr;
  void (*mSetEntryMode)(int) = nullptr;
};

struct StereoBlock
{
  explicit StereoBlock(int frames) : left(frames), right(frames), outL(frames), outR(frames) {}
  std::vector<float> left, right, outL, outR;
  float* in[2] = { nullptr, nullptr };
  float* out[2] = { nullptr, nullptr };
  float** Inputs()
  {
    in[0] = left.data();
    in[1] = right.data();
    return in;
  }
  float** Outputs()
  {
    out[0] = outL.data();
    out[1] = outR.data();
    return out;
  }
};

TEST_F(HostTest, LoadReportsFilesThatAreNotPlugins)
{
  VstHost host;
  EXPECT_NE(host.Load("no/such/plugin.so").find("cannot open"), std::string::npos);

  char dir[] = "/tmp/quorvex-host-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string garbage = std::string(dir) + "/garbage.so";
  FILE* f = std::fopen(garbage.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("this is not an ELF file", f);
  std::fclose(f);
  EXPECT_NE(host.Load(garbage).find("not a loadable library"), std::string::npos);
  EXPECT_NE(host.Load(dir).find("not a file"), std::string::npos);
  std::remove(garbage.c_str());
  rmdir(dir);

  EXPECT_NE(host.Load(QUORVEX_NOENTRY_PATH).find("no VST 2 entry point"), std::string::npos);
  EXPECT_FALSE(host.IsLoaded());
  EXPECT_EQ(host.Dispatch(effGetVstVersion), 0);
}

TEST_F(HostTest, LoadRefusesNullEffectAndBadMagic)
{
  VstHost host;
  mSetEntryMode(kStubEntryNull);
  EXPECT_NE(host.Load(QUORVEX_STUB_PATH).find("returned no effect"), std::string::npos);
  mSetEntryMode(kStubEntryBadMagic);
  EXPECT_NE(host.Load(QUORVEX_STUB_PATH).find("bad magic"), std::string::npos);
  EXPECT_FALSE(host.IsLoaded());
  mSetEntryMode(kStubEntryNormal);
  EXPECT_EQ(host.Load(QUORVEX_STUB_PATH), "");
  EXPECT_TRUE(host.IsLoaded());
}

TEST_F(HostTest, LoadFallsBackToTheOldEntryName)
{
  VstHost host;
  ASSERT_EQ(host.Load(QUORVEX_STUB_MAIN_PATH), "");
  EXPECT_EQ(host.UniqueID(), kStubUniqueID);
}

TEST_F(HostTest, AnswersCallbacksMadeBeforeTheEffectExists)
{
  VstHost host;
  host.SetProductString("Early Host");
  ASSERT_EQ(host.Load(QUORVEX_STUB_PATH), "");
  EXPECT_EQ(Seen(host)->versionAtLoad, 2400);
  EXPECT_STREQ(Seen(host)->productAtLoad, "Early Host");
}

TEST_F(HostTest, OpenSendsSetUpInDawOrderAndGettersReadThePlugin)
{
  VstHost host;
  ASSERT_EQ(host.Load(QUORVEX_STUB_PATH), "");
  ASSERT_TRUE(host.Open(48000., 256));
  EXPECT_EQ(Dispatched(host),
            (std::vector<VstInt32>{ effOpen, effSetSampleRate, effSetBlockSize, effMainsChanged }));
  EXPECT_EQ(Seen(host)->sampleRate, 48000.f);
  EXPECT_EQ(Seen(host)->blockSize, 256);
  EXPECT_STREQ(Seen(host)->productAtOpen, "Quorvex Reference Host");
  EXPECT_EQ(Seen(host)->vendorVersionAtOpen, 10000);

  EXPECT_EQ(host.EffectName(), "Host Stub");
  EXPECT_EQ(host.VendorString(), "Quorvex Tests");
  EXPECT_EQ(host.ProductString(), "Stub");
  EXPECT_EQ(host.VendorVersion(), 1234);
  EXPECT_EQ(host.NumParams(), kStubNumParams);
  EXPECT_EQ(host.NumPrograms(), kStubNumPrograms);
  EXPECT_EQ(host.NumInputs(), 2);
  EXPECT_EQ(host.NumOutputs(), 2);
  EXPECT_TRUE(host.Flags() & effFlagsCanDoubleReplacing);
  EXPECT_TRUE(host.CanDo("receiveVstTimeInfo"));
  EXPECT_FALSE(host.CanDo("sendVstEvents"));

  EXPECT_EQ(host.ParamName(2), "Time");
  EXPECT_EQ(host.ParamLabel(2), "ms");
  host.SetParameter(2, 0.25f);
  EXPECT_EQ(host.GetParameter(2), 0.25f);
  EXPECT_EQ(host.ParamDisplay(2), "250.0");

  EXPECT_EQ(host.ProgramNameIndexed(2), "Wide Echo");
  host.SetProgram(1);
  EXPECT_EQ(host.GetProgram(), 1);
  EXPECT_EQ(host.ProgramName(), "Loud");
  EXPECT_EQ(host.ParamDisplay(1), "1/8D");
}

TEST_F(HostTest, ProductStringIsCutToTheDocumentedBuffer)
{
  VstHost host;
  host.SetProductString(std::string(100, 'p'));
  host.SetVendorVersion(20503);
  ASSERT_EQ(host.Load(QUORVEX_STUB_PATH), "");
  host.Open();
  const StubObservations* seen = Seen(host);
  EXPECT_EQ(std::string(seen->productAtOpen), std::string(63, 'p'));
  EXPECT_EQ(seen->productAtOpen[64], 0x7f);  // untouched beyond the terminator
  EXPECT_EQ(seen->vendorVersionAtOpen, 20503);
}

TEST_F(HostTest, TimeInfoFollowsTheTransportAndItsSwitches)
{
  VstHost host;
  ASSERT_EQ(host.Load(QUORVEX_STUB_PATH), "");
  host.Open(44100., 64);
  host.SetTempo(90.);
  host.SetTimeSignature(7, 8);
  StereoBlock block(64);

  ASSERT_TRUE(host.ProcessReplacing(block.Inputs(), block.Outputs(), 64));
  ASSERT_TRUE(host.ProcessReplacing(block.Inputs(), block.Outputs(), 64));
  const StubObservations* seen = Seen(host);
  EXPECT_FALSE(seen->lastTimeNull);
  EXPECT_EQ(seen->lastSamplePos, 64.);  // the position of the block being processed
  EXPECT_EQ(seen->lastTempo, 90.);
  EXPECT_DOUBLE_EQ(seen->lastPpqPos, 64. / 44100. * 1.5);
  EXPECT_EQ(seen->lastTimeSigNumerator, 7);
  EXPECT_EQ(seen->lastTimeSigDenominator, 8);
  EXPECT_EQ(seen->lastTimeFlags, kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid | kVstTransportPlaying);
  EXPECT_EQ(host.SamplePos(), 128.);
  EXPECT_EQ(host.TimeRequests(), 2);

  host.SetTempoValid(false);
  host.ProcessDouble(nullptr, nullptr, 0);
  EXPECT_EQ(seen->lastTimeFlags & kVstTempoValid, 0);
  host.SetTimeInfoAvailable(false);
  host.ProcessReplacing(block.Inputs(), block.Outputs(), 64);
  EXPECT_TRUE(seen->lastTimeNull);
}

TEST_F(HostTest, ProcessCallbacksReplaceAccumulateAndRunInDouble)
{
  VstHost host;
  ASSERT_EQ(host.Load(QUORVEX_STUB_PATH), "");
  host.Open(44100., 4);
  host.SetParameter(0, 0.5f);
  StereoBlock block(4);
  block.left = { 1.f, 2.f, 3.f, 4.f };
  block.right = { -1.f, -2.f, -3.f, -4.f };
  block.outL.assign(4, 100.f);
  block.outR.assign(4, 100.f);

  ASSERT_TRUE(host.ProcessReplacing(block.Inputs(), block.Outputs(), 4));
  EXPECT_EQ(block.outL, (std::vector<float>{ 0.5f, 1.f, 1.5f, 2.f }));
  ASSERT_TRUE(host.ProcessAccumulate(block.Inputs(), block.Outputs(), 4));
  EXPECT_EQ(block.outR, (std::vector<float>{ -1.f, -2.f, -3.f, -4.f }));

  std::vector<double> l = { 2., 4. }, r = { 6., 8. }, ol(2), orr(2);
  double* in[2] = { l.data(), r.data() };
  double* out[2] = { ol.data(), orr.data() };
  ASSERT_TRUE(host.ProcessDouble(in, out, 2));
  EXPECT_EQ(ol, (std::vector<double>{ 1., 2. }));
  EXPECT_EQ(orr, (std::vector<double>{ 3., 4. }));
  EXPECT_FALSE(host.ProcessReplacing(block.Inputs(), block.Outputs(), -1));
}

TEST_F(HostTest, LogsGesturesInOrderUntilCleared)
{
  VstHost host;
  ASSERT_EQ(host.Load(QUORVEX_STUB_PATH), "");
  host.Open();
  host.Dispatch(effVendorSpecific, kStubEditGesture, 2, nullptr, 0.75f);
  const std::vector<HostCall>& calls = host.Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].opcode, audioMasterBeginEdit);
  EXPECT_EQ(calls[0].index, 2);
  EXPECT_EQ(calls[1].opcode, audioMasterAutomate);
  EXPECT_EQ(calls[1].index, 2);
  EXPECT_EQ(calls[1].opt, 0.75f);
  EXPECT_EQ(calls[2].opcode, audioMasterEndEdit);
  EXPECT_EQ(calls[2].index, 2);
  EXPECT_EQ(calls[3].opcode, audioMasterUpdateDisplay);
  host.ClearCalls();
  EXPECT_TRUE(host.Calls().empty());
  host.SetCallLogging(false);
  host.Dispatch(effVendorSpecific, kStubEditGesture, 1, nullptr, 0.f);
  EXPECT_TRUE(host.Calls().empty());
}

TEST_F(HostTest, CopiesEventsAndReturnsTheSetResult)
{
  VstHost host;
  ASSERT_EQ(host.Load(QUORVEX_STUB_PATH), "");
  host.Open();
  host.Dispatch(effVendorSpecific, kStubSendMidi);
  EXPECT_EQ(Seen(host)->lastEventsResult, 1);
  host.Dispatch(effVendorSpecific, kStubSendSysex);
  host.SetProcessEventsResult(0);
  host.Dispatch(effVendorSpecific, kStubSendMidi);
  EXPECT_EQ(Seen(host)->lastEventsResult, 0);

  const std::vector<HostEvent>& events = host.Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].type, kVstMidiType);
  EXPECT_EQ(events[0].byteSize, 32);
  EXPECT_EQ(events[0].deltaFrames, 17);
  EXPECT_EQ(events[0].midiData[0], 0x90);
  EXPECT_EQ(events[0].midiData[1], 60);
  EXPECT_EQ(events[0].midiData[2], 100);
  EXPECT_EQ(events[1].type, kVstSysExType);
  EXPECT_EQ(events[1].deltaFrames, 3);
  EXPECT_EQ(events[1].sysex, (std::vector<uint8_t>{ 0xF0, 0x7D, 0x01, 0x02, 0xF7 }));
  host.ClearEvents();
  EXPECT_TRUE(host.Events().empty());
}

TEST_F(HostTest, ChunksRoundTripThroughTheHost)
{
  VstHost host;
  ASSERT_EQ(host.Load(QUORVEX_STUB_PATH), "");
  host.SetParameter(0, 0.125f);
  std::vector<uint8_t> chunk = host.GetChunk(true);
  ASSERT_EQ(chunk.size(), 3 * sizeof(float));
  host.SetParameter(0, 0.875f);
  EXPECT_EQ(host.SetChunk(chunk, true), 1);
  EXPECT_EQ(host.GetParameter(0), 0.125f);
  EXPECT_EQ(host.SetChunk(std::vector<uint8_t>(), true), 0);
}

TEST_F(HostTest, SeveralInstancesKeepTheirOwnHost)
{
  VstHost a, b;
  ASSERT_EQ(a.Load(QUORVEX_STUB_PATH), "");
  ASSERT_EQ(b.Load(QUORVEX_STUB_PATH), "");
  a.Open();
  b.Open();
  a.SetTempo(100.);
  b.SetTempo(140.);
  StereoBlock block(8);
  a.ProcessReplacing(block.Inputs(), block.Outputs(), 8);
  b.ProcessReplacing(block.Inputs(), block.Outputs(), 8);
  b.ProcessReplacing(block.Inputs(), block.Outputs(), 8);
  EXPECT_EQ(Seen(a)->lastTempo, 100.);
  EXPECT_EQ(Seen(b)->lastTempo, 140.);
  EXPECT_EQ(Seen(b)->lastSamplePos, 8.);
  a.Dispatch(effVendorSpecific, kStubEditGesture, 0, nullptr, 0.f);
  EXPECT_EQ(a.Calls().size(), 4u);
  EXPECT_TRUE(b.Calls().empty());
  a.Close();
  b.ProcessReplacing(block.Inputs(), block.Outputs(), 8);
  EXPECT_EQ(Seen(b)->processCalls, 3);
}

TEST_F(HostTest, CallbackSurvivesHostileInput)
{
  // No host is responsible for an unknown effect: only the version is answered.
  AEffect stranger;
  std::memset(&stranger, 0, sizeof(stranger));
  EXPECT_EQ(VstHost::HostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.f), 2400);
  EXPECT_EQ(VstHost::HostCallback(&stranger, audioMasterGetTime, 0, 0, nullptr, 0.f), 0);

  VstHost host;
  ASSERT_EQ(host.Load(QUORVEX_STUB_PATH), "");
  AEffect* e = host.Effect();
  EXPECT_EQ(VstHost::HostCallback(e, audioMasterGetProductString, 0, 0, nullptr, 0.f), 0);
  EXPECT_EQ(VstHost::HostCallback(e, audioMasterGetVendorString, 0, 0, nullptr, 0.f), 0);
  EXPECT_EQ(VstHost::HostCallback(e, audioMasterCanDo, 0, 0, nullptr, 0.f), 0);
  EXPECT_EQ(VstHost::HostCallback(e, audioMasterProcessEvents, 0, 0, nullptr, 0.f), 0);
  EXPECT_EQ(VstHost::HostCallback(e, -5, -1, -1, nullptr, -1.f), 0);
  EXPECT_EQ(VstHost::HostCallback(e, 1 << 20, 0, 0, nullptr, 0.f), 0);

  VstEvents none;
  std::memset(&none, 0, sizeof(none));
  none.numEvents = -3;
  EXPECT_EQ(VstHost::HostCallback(e, audioMasterProcessEvents, 0, 0, &none, 0.f), 1);
  none.numEvents = 2;  // both entries null
  EXPECT_EQ(VstHost::HostCallback(e, audioMasterProcessEvents, 0, 0, &none, 0.f), 1);
  EXPECT_TRUE(host.Events().empty());

  char prefix[] = "sendVstEvent";
  EXPECT_EQ(VstHost::HostCallback(e, audioMasterCanDo, 0, 0, prefix, 0.f), 0);
  EXPECT_EQ(VstHost::HostCallback(e, audioMasterCanDo, 0, 0, (void*)"sendVstEvents", 0.f), 1);
  EXPECT_EQ(VstHost::HostCallback(e, audioMasterCurrentId, 0, 0, nullptr, 0.f), kStubUniqueID);
}

}  // namespace
