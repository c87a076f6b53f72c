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

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// Runs one float block of silence.
bool Silence(VstHost& host, int frames)
{
  std::vector<float> l(frames), r(frames);
  float* io[2] = { l.data(), r.data() };
  return host.ProcessReplacing(io, io, frames);
}

// Keeps the stub library resident so its entry mode can be switched between
// loads; `host` is loaded with the stub by Start().
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
  bool Start(double sampleRate = 44100., int block = 512)
  {
    return host.Load(QUORVEX_STUB_PATH).empty() && host.Open(sampleRate, block);
  }

  VstHost host;
  void* mStub = nullptr;
  void (*mSetEntryMode)(int) = nullptr;
};

TEST_F(HostTest, LoadReportsWhatIsWrongAndLoadsNothing)
{
  EXPECT_TRUE(Contains(host.Load("no/such/plugin.so"), "cannot open"));
  char dir[] = "/tmp/quorvex-host-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string garbage = std::string(dir) + "/garbage.so";
  if (FILE* f = std::fopen(garbage.c_str(), "wb"))
  {
    std::fputs("this is not an ELF file", f);
    std::fclose(f);
  }
  EXPECT_TRUE(Contains(host.Load(garbage), "not a loadable library"));
  EXPECT_TRUE(Contains(host.Load(dir), "not a file"));
  std::remove(garbage.c_str());
  rmdir(dir);
  EXPECT_TRUE(Contains(host.Load(QUORVEX_NOENTRY_PATH), "no VST 2 entry point"));
  mSetEntryMode(kStubEntryNull);
  EXPECT_TRUE(Contains(host.Load(QUORVEX_STUB_PATH), "returned no effect"));
  mSetEntryMode(kStubEntryBadMagic);
  EXPECT_TRUE(Contains(host.Load(QUORVEX_STUB_PATH), "bad magic"));
  EXPECT_FALSE(host.IsLoaded());
  EXPECT_EQ(host.Dispatch(effGetVstVersion), 0);

  mSetEntryMode(kStubEntryNormal);
  EXPECT_EQ(host.Load(QUORVEX_STUB_PATH), "");
  EXPECT_TRUE(host.IsLoaded());
  VstHost legacy;  // only the old entry name
  ASSERT_EQ(legacy.Load(QUORVEX_STUB_MAIN_PATH), "");
  EXPECT_EQ(legacy.UniqueID(), kStubUniqueID);
}

TEST_F(HostTest, ProductStringReachesTheEntryPointAndIsCutAtOpen)
{
  host.SetProductString("Early Host");
  ASSERT_EQ(host.Load(QUORVEX_STUB_PATH), "");
  EXPECT_EQ(Seen(host)->versionAtLoad, 2400);
  EXPECT_STREQ(Seen(host)->productAtLoad, "Early Host");

  VstHost longName;
  longName.SetProductString(std::string(100, 'p'));
  longName.SetVendorVersion(20503);
  ASSERT_EQ(longName.Load(QUORVEX_STUB_PATH), "");
  longName.Open();
  EXPECT_EQ(std::string(Seen(longName)->productAtOpen), std::string(63, 'p'));
  EXPECT_EQ(Seen(longName)->productAtOpen[64], 0x7f);  // untouched beyond the terminator
  EXPECT_EQ(Seen(longName)->vendorVersionAtOpen, 20503);
}

TEST_F(HostTest, OpenSendsSetUpInDawOrder)
{
  ASSERT_TRUE(Start(48000., 256));
  const StubObservations* seen = Seen(host);
  EXPECT_EQ(std::vector<VstInt32>(seen->dispatched, seen->dispatched + seen->numDispatched),
            (std::vector<VstInt32>{ effOpen, effSetSampleRate, effSetBlockSize, effMainsChanged }));
  EXPECT_EQ(seen->sampleRate, 48000.f);
  EXPECT_EQ(seen->blockSize, 256);
  EXPECT_STREQ(seen->productAtOpen, "Quorvex Reference Host");
  EXPECT_EQ(seen->vendorVersionAtOpen, 10000);

  // The effect's tests read names, parameters and programs through the same
  // getters; these are the answers the effect cannot tell apart from failure.
  EXPECT_EQ(host.ProductString(), "Stub");
  EXPECT_TRUE(host.CanDo("receiveVstTimeInfo"));
  EXPECT_FALSE(host.CanDo("sendVstEvents"));
}

TEST_F(HostTest, TimeInfoFollowsTheTransportAndItsSwitches)
{
  ASSERT_TRUE(Start(44100., 64));
  host.SetTempo(90.);
  host.SetTimeSignature(7, 8);
  ASSERT_TRUE(Silence(host, 64));
  ASSERT_TRUE(Silence(host, 64));
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
  Silence(host, 64);
  EXPECT_TRUE(seen->lastTimeNull);
}

TEST_F(HostTest, ProcessCallbacksReplaceAccumulateAndRunInDouble)
{
  ASSERT_TRUE(Start(44100., 4));
  host.SetParameter(0, 0.5f);
  float l[4] = { 1.f, 2.f, 3.f, 4.f }, r[4] = { -1.f, -2.f, -3.f, -4.f };
  float outL[4] = { 100.f, 100.f, 100.f, 100.f }, outR[4] = { 100.f, 100.f, 100.f, 100.f };
  float* in[2] = { l, r };
  float* out[2] = { outL, outR };
  ASSERT_TRUE(host.ProcessReplacing(in, out, 4));
  EXPECT_EQ(std::vector<float>(outL, outL + 4), (std::vector<float>{ 0.5f, 1.f, 1.5f, 2.f }));
  ASSERT_TRUE(host.ProcessAccumulate(in, out, 4));
  EXPECT_EQ(std::vector<float>(outR, outR + 4), (std::vector<float>{ -1.f, -2.f, -3.f, -4.f }));
  EXPECT_FALSE(host.ProcessReplacing(in, out, -1));

  double dl[2] = { 2., 4. }, dr[2] = { 6., 8. }, ol[2], orr[2];
  double* din[2] = { dl, dr };
  double* dout[2] = { ol, orr };
  ASSERT_TRUE(host.ProcessDouble(din, dout, 2));
  EXPECT_EQ(std::vector<double>(ol, ol + 2), (std::vector<double>{ 1., 2. }));
  EXPECT_EQ(std::vector<double>(orr, orr + 2), (std::vector<double>{ 3., 4. }));
}

TEST_F(HostTest, LogsGesturesAndEventsUntilCleared)
{
  ASSERT_TRUE(Start());
  host.Dispatch(effVendorSpecific, kStubEditGesture, 2, nullptr, 0.75f);
  std::vector<std::vector<double>> calls;
  for (const HostCall& c : host.Calls()) calls.push_back({ (double)c.opcode, (double)c.index, c.opt });
  EXPECT_EQ(calls, (std::vector<std::vector<double>>{ { audioMasterBeginEdit, 2, 0 },
                                                      { audioMasterAutomate, 2, 0.75 },
                                                      { audioMasterEndEdit, 2, 0 },
                                                      { audioMasterUpdateDisplay, 0, 0 } }));
  host.ClearCalls();
  EXPECT_TRUE(host.Calls().empty());
  host.SetCallLogging(false);
  host.Dispatch(effVendorSpecific, kStubEditGesture, 1, nullptr, 0.f);
  EXPECT_TRUE(host.Calls().empty());

  host.Dispatch(effVendorSpecific, kStubSendMidi);
  EXPECT_EQ(Seen(host)->lastEventsResult, 1);
  host.Dispatch(effVendorSpecific, kStubSendSysex);  // with a null second entry
  host.SetProcessEventsResult(0);
  host.Dispatch(effVendorSpecific, kStubSendMidi);
  EXPECT_EQ(Seen(host)->lastEventsResult, 0);
  const std::vector<HostEvent>& events = host.Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].type, kVstMidiType);
  EXPECT_EQ(events[0].byteSize, 32);
  EXPECT_EQ(events[0].deltaFrames, 17);
  const uint8_t* midi = events[0].midiData;
  EXPECT_EQ(std::vector<uint8_t>(midi, midi + 3), (std::vector<uint8_t>{ 0x90, 60, 100 }));
  EXPECT_EQ(events[1].type, kVstSysExType);
  EXPECT_EQ(events[1].deltaFrames, 3);
  EXPECT_EQ(events[1].sysex, (std::vector<uint8_t>{ 0xF0, 0x7D, 0x01, 0x02, 0xF7 }));
  host.ClearEvents();
  EXPECT_TRUE(host.Events().empty());
}

TEST_F(HostTest, ChunksRoundTripThroughTheHost)
{
  ASSERT_EQ(host.Load(QUORVEX_STUB_PATH), "");
  host.SetParameter(0, 0.125f);
  const std::vector<uint8_t> chunk = host.GetChunk(true);
  ASSERT_EQ(chunk.size(), 3 * sizeof(float));
  host.SetParameter(0, 0.875f);
  EXPECT_EQ(host.SetChunk(chunk, true), 1);
  EXPECT_EQ(host.GetParameter(0), 0.125f);
  EXPECT_EQ(host.SetChunk(std::vector<uint8_t>(), true), 0);
}

TEST_F(HostTest, SeveralInstancesKeepTheirOwnHost)
{
  VstHost b;
  ASSERT_TRUE(Start());
  ASSERT_EQ(b.Load(QUORVEX_STUB_PATH), "");
  b.Open();
  host.SetTempo(100.);
  b.SetTempo(140.);
  Silence(host, 8);
  Silence(b, 8);
  Silence(b, 8);
  EXPECT_EQ(Seen(host)->lastTempo, 100.);
  EXPECT_EQ(Seen(b)->lastTempo, 140.);
  EXPECT_EQ(Seen(b)->lastSamplePos, 8.);
  host.Dispatch(effVendorSpecific, kStubEditGesture, 0, nullptr, 0.f);
  EXPECT_EQ(host.Calls().size(), 4u);
  EXPECT_TRUE(b.Calls().empty());
  host.Close();
  Silence(b, 8);
  EXPECT_EQ(Seen(b)->processCalls, 3);
}

TEST_F(HostTest, CallbackSurvivesHostileInput)
{
  // No host is responsible for an unknown effect: only the version is answered.
  AEffect stranger;
  std::memset(&stranger, 0, sizeof(stranger));
  EXPECT_EQ(VstHost::HostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.f), 2400);
  EXPECT_EQ(VstHost::HostCallback(&stranger, audioMasterGetTime, 0, 0, nullptr, 0.f), 0);

  ASSERT_EQ(host.Load(QUORVEX_STUB_PATH), "");
  AEffect* e = host.Effect();
  const VstInt32 opcodes[] = { audioMasterGetProductString,
                               audioMasterGetVendorString,
                               audioMasterCanDo,
                               audioMasterProcessEvents,
                               -5,
                               1 << 20 };
  for (VstInt32 opcode : opcodes)
    EXPECT_EQ(VstHost::HostCallback(e, opcode, -1, -1, nullptr, -1.f), 0) << opcode;

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
