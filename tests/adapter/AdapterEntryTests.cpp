// The AEffect as the host receives it, the informational opcodes, the editor
// opcodes, host identification, time information and latency.
#include "AdapterTestUtil.h"

using adaptertest::Plug;

namespace {

std::string Label(const VstPinProperties& pin) { return std::string(pin.label); }

}  // namespace

// ================================================================ AEffect

TEST(AdapterEntry, AEffectAsCreated)
{
  Plug plug(TESTPLUG_PATH, false);
  ASSERT_TRUE(plug.Ok());
  const AEffect* fx = plug.Fx();
  EXPECT_EQ(fx->magic, kEffectMagic);
  EXPECT_EQ(fx->numPrograms, 25);
  EXPECT_EQ(fx->numParams, kTPNumParams);
  EXPECT_EQ(fx->numInputs, 2);
  EXPECT_EQ(fx->numOutputs, 2);
  // Replacing, double replacing and mono; no editor, no chunks.
  EXPECT_EQ(fx->flags, 0x1018);
  EXPECT_EQ(fx->initialDelay, 0);
  EXPECT_EQ(fx->ioRatio, 1.0f);
  EXPECT_EQ(fx->uniqueID, CCONST('Q', 'T', 's', 't'));
  EXPECT_EQ(fx->version, 10203);
  EXPECT_TRUE(fx->process && fx->processReplacing && fx->processDoubleReplacing);
  EXPECT_TRUE(fx->setParameter && fx->getParameter && fx->dispatcher);
  EXPECT_EQ(fx->resvd1, 0);
  EXPECT_EQ(fx->resvd2, 0);
  EXPECT_EQ(fx->realQualities, 0);
  EXPECT_EQ(fx->offQualities, 0);
  EXPECT_EQ(fx->user, nullptr);
  for (char c : fx->future) EXPECT_EQ(c, 0);
}

TEST(AdapterEntry, FlagsAndCountsPerVariant)
{
  {
    Plug plug(TESTPLUG_EDITOR_PATH, false);
    ASSERT_TRUE(plug.Ok());
    EXPECT_EQ(plug.Fx()->flags, 0x1019);
  }
  {
    // Chunks and instrument add 0x20 and 0x100.
    Plug plug(TESTPLUG_MIDI2_PATH, false);
    ASSERT_TRUE(plug.Ok());
    EXPECT_EQ(plug.Fx()->flags, 0x1138);
    EXPECT_EQ(plug.host.Dispatch(effGetPlugCategory), kPlugCategSynth);
  }
  {
    // No slots declared: one "Default" slot holding the live values.
    Plug plug(TESTPLUG_NOPRESETS_PATH);
    ASSERT_TRUE(plug.Ok());
    EXPECT_EQ(plug.Fx()->numPrograms, 1);
    EXPECT_EQ(plug.host.ProgramNameIndexed(0), "Default");
    char name[256] = "unchanged";
    EXPECT_EQ(plug.host.Dispatch(effGetProgramNameIndexed, 1, 0, name), 0);
    EXPECT_STREQ(name, "");
    plug.host.SetParameter(kTPMix, 0.2f);
    plug.host.SetProgram(0);
    EXPECT_EQ(plug.host.GetProgram(), 0);
    EXPECT_NEAR(plug.Value(kTPMix), 20.0, 1e-4);
  }
}

TEST(AdapterEntry, MainIsAnAliasOfTheEntryPoint)
{
  void* lib = dlopen(TESTPLUG_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  typedef AEffect* (*Entry)(audioMasterCallback);
  Entry mainEntry = (Entry)dlsym(lib, "main");
  ASSERT_NE(mainEntry, nullptr);
  AEffect* fx = mainEntry(&quorvex::VstHost::HostCallback);
  ASSERT_NE(fx, nullptr);
  EXPECT_EQ(fx->magic, kEffectMagic);
  EXPECT_EQ(fx->numPrograms, 25);
  fx->dispatcher(fx, effClose, 0, 0, nullptr, 0.0f);
  dlclose(lib);
}

TEST(AdapterEntry, InformationalOpcodes)
{
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  quorvex::VstHost& h = plug.host;
  EXPECT_EQ(h.Dispatch(effIdentify), 0x4E764566);
  EXPECT_EQ(h.Dispatch(effGetVstVersion), 2400);
  EXPECT_EQ(h.Dispatch(effEditIdle), 0);
  EXPECT_EQ(h.Dispatch(effIdle), 0);
  EXPECT_EQ(h.Dispatch(effGetTailSize), 0);
  EXPECT_EQ(h.VendorVersion(), 10203);
  EXPECT_EQ(h.Dispatch(effGetPlugCategory), kPlugCategEffect);
  EXPECT_EQ(h.Dispatch(effCanBeAutomated, 9999), 1);
  EXPECT_EQ(h.EffectName(), "Quorvex Test Plug");
  EXPECT_EQ(h.VendorString(), "Quorvex Tests");
  EXPECT_EQ(h.ProductString(), "Quorvex Test Product");
  EXPECT_EQ(h.Dispatch(effGetEffectName), 0);
  EXPECT_EQ(h.Dispatch(effGetVendorString), 0);
  EXPECT_EQ(h.Dispatch(effGetProductString), 0);
  EXPECT_EQ(h.Dispatch(70), 0);
  EXPECT_EQ(h.Dispatch(80), 0);
  EXPECT_EQ(h.Dispatch(-1), 0);

  AEffect orphan = *plug.Fx();
  orphan.object = nullptr;
  EXPECT_EQ(orphan.dispatcher(&orphan, effIdentify, 0, 0, nullptr, 0.0f), 0);
  EXPECT_EQ(orphan.getParameter(&orphan, 0), 0.0f);
}

TEST(AdapterEntry, PinPropertiesAndArrangements)
{
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  quorvex::VstHost& h = plug.host;

  VstPinProperties pin;
  std::memset(&pin, 'x', sizeof(pin));
  ASSERT_EQ(h.Dispatch(effGetInputProperties, 0, 0, &pin), 1);
  EXPECT_EQ(Label(pin), "Input 1");
  EXPECT_EQ(pin.flags, 3);
  // Left as the host passed them.
  for (char c : pin.shortLabel) EXPECT_EQ(c, 'x');
  ASSERT_EQ(h.Dispatch(effGetInputProperties, 1, 0, &pin), 1);
  EXPECT_EQ(Label(pin), "Input 2");
  EXPECT_EQ(pin.flags, 1);
  EXPECT_EQ(h.Dispatch(effGetInputProperties, 2, 0, &pin), 0);
  EXPECT_EQ(h.Dispatch(effGetInputProperties, -1, 0, &pin), 0);
  EXPECT_EQ(h.Dispatch(effGetInputProperties, 0, 0, nullptr), 0);
  ASSERT_EQ(h.Dispatch(effGetOutputProperties, 1, 0, &pin), 1);
  EXPECT_EQ(Label(pin), "Output 2");
  EXPECT_EQ(h.Dispatch(effGetOutputProperties, 2, 0, &pin), 0);

  VstSpeakerArrangement* in = nullptr;
  VstSpeakerArrangement* out = nullptr;
  EXPECT_EQ(h.Dispatch(effGetSpeakerArrangement, 0, (VstIntPtr)&in, &out), 1);
  ASSERT_TRUE(in && out);
  EXPECT_EQ(in->type, kSpeakerArrStereo);
  EXPECT_EQ(in->numChannels, 2);
  EXPECT_EQ(out->type, kSpeakerArrStereo);
  EXPECT_EQ(out->numChannels, 2);
}

TEST(AdapterEntry, SpeakerArrangementConnectsInputs)
{
  Plug plug(TESTPLUG_NOPRESETS_PATH);
  ASSERT_TRUE(plug.Ok());
  const int n = 8;
  float in0[n], in1[n], out0[n], out1[n];
  for (int i = 0; i < n; ++i) in0[i] = in1[i] = 1.0f + i;
  float* ins[2] = { in0, in1 };
  float* outs[2] = { out0, out1 };
  // Returns how many outputs carried the input through.
  auto live = [&](int nIn) {
    VstSpeakerArrangement arr;
    std::memset(&arr, 0, sizeof(arr));
    arr.numChannels = nIn;
    EXPECT_EQ(plug.host.Dispatch(effSetSpeakerArrangement, 0, (VstIntPtr)&arr, nullptr), 1);
    std::fill(out0, out0 + n, -1.0f);
    std::fill(out1, out1 + n, -1.0f);
    plug.host.ProcessReplacing(ins, outs, n);
    return (out0[n - 1] == in0[n - 1]) + (out1[n - 1] == in1[n - 1]);
  };
  EXPECT_EQ(live(1), 1);
  EXPECT_EQ(out1[0], 0.0f);
  EXPECT_EQ(live(2), 2);
  EXPECT_EQ(live(0), 0);
  EXPECT_EQ(live(2147483647), 2);
  EXPECT_EQ(live(-2147483647 - 1), 0);
  EXPECT_EQ(live(-2147483647), 0);
  EXPECT_EQ(live(-1), 0);
  EXPECT_EQ(live(2), 2);
}

TEST(AdapterEntry, CanDoFollowsMidiMode)
{
  struct Case
  {
    const char* path;
    int midiMode;
  };
  const Case cases[] = { { TESTPLUG_NOPRESETS_PATH, 0 }, { TESTPLUG_PATH, 1 },
                         { TESTPLUG_MIDI2_PATH, 2 }, { TESTPLUG_MIDI3_PATH, 3 } };
  for (const Case& c : cases)
  {
    Plug plug(c.path);
    ASSERT_TRUE(plug.Ok());
    auto ask = [&](const char* q) { return plug.host.Dispatch(effCanDo, 0, 0, (void*)q); };
    const bool sends = c.midiMode == 1 || c.midiMode == 3;
    const bool receives = c.midiMode == 1 || c.midiMode == 2;
    SCOPED_TRACE(c.midiMode);
    EXPECT_EQ(ask("receiveVstTimeInfo"), 1);
    EXPECT_EQ(ask("sendVstEvents"), sends ? 1 : 0);
    EXPECT_EQ(ask("sendVstMidiEvent"), sends ? 1 : 0);
    EXPECT_EQ(ask("receiveVstEvents"), receives ? 1 : 0);
    EXPECT_EQ(ask("receiveVstMidiEvent"), receives ? 1 : 0);
    EXPECT_EQ(ask("hasCockosExtensions"), (VstIntPtr)(VstInt32)0xBEEF0000);
    EXPECT_EQ(ask("hasCockosViewAsConfig"), (VstIntPtr)(VstInt32)0xBEEF0000);
    EXPECT_EQ(ask("receiveVstTimeInfo "), 0);
    EXPECT_EQ(ask("bypass"), 0);
    EXPECT_EQ(ask(nullptr), 0);
  }
}

// ================================================================ editor

TEST(AdapterEntry, EditorOpcodes)
{
  Plug plug(TESTPLUG_EDITOR_PATH);
  ASSERT_TRUE(plug.Ok());
  quorvex::VstHost& h = plug.host;

  ERect* rect = nullptr;
  ASSERT_EQ(h.Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 200);
  EXPECT_EQ(rect->right, 300);
  EXPECT_EQ(h.Dispatch(effEditGetRect), 0);

  int parent = 0;
  EXPECT_EQ(h.Dispatch(effEditOpen, 0, 0, &parent), 1);
  EXPECT_EQ(plug.Log().editorOpens, 1);
  EXPECT_EQ(plug.Log().editorOpenedHooks, 1);
  EXPECT_EQ(h.Dispatch(effEditIdle), 0);
  EXPECT_EQ(h.Dispatch(effEditClose), 1);
  EXPECT_EQ(plug.Log().editorClosingHooks, 1);
  EXPECT_EQ(plug.Log().editorCloses, 1);

  // The host's mouse wheel reaches the editor through the vendor call.
  EXPECT_EQ(h.Dispatch(effVendorSpecific, CCONST('s', 't', 'C', 'A'), CCONST('W', 'h', 'e', 'e'), nullptr, 1.5f), 1);
  EXPECT_EQ(plug.Log().wheelCalls, 1);
  EXPECT_EQ(plug.Log().lastWheelDelta, 1.5f);
  EXPECT_EQ(h.Dispatch(effVendorSpecific, CCONST('s', 't', 'C', 'A'), 0, nullptr, 1.5f), 0);
  EXPECT_EQ(plug.Log().wheelCalls, 1);

  Plug bare(TESTPLUG_PATH);
  ASSERT_TRUE(bare.Ok());
  ERect* untouched = (ERect*)&parent;
  EXPECT_EQ(bare.host.Dispatch(effEditGetRect, 0, 0, &untouched), 0);
  EXPECT_EQ(untouched, (ERect*)&parent);
  EXPECT_EQ(bare.host.Dispatch(effEditOpen, 0, 0, &parent), 0);
  EXPECT_EQ(bare.host.Dispatch(effEditClose), 0);
  EXPECT_EQ(bare.host.Dispatch(effVendorSpecific, CCONST('s', 't', 'C', 'A'), CCONST('W', 'h', 'e', 'e'), nullptr, 1.0f), 0);
}

// ================================================================ host identification

TEST(AdapterEntry, HostIdentificationAtOpen)
{
  struct Case
  {
    const char* product;
    int code;
  };
  const Case cases[] = { { "Steinberg CUBASE", 3 }, { "REAPER", 1 }, { "Ableton Live", 9 },
                         { "Nuendo and Cubase", 3 }, { "Some Other Host", 0 }, { "", 0 } };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.product);
    Plug plug(TESTPLUG_PATH, false);
    ASSERT_TRUE(plug.Ok());
    EXPECT_EQ(plug.Log().hostCode, -1);
    plug.host.SetProductString(c.product);
    plug.host.SetVendorVersion(120304);
    plug.host.Open();
    EXPECT_EQ(plug.Log().hostCode, c.code);
    // Packed 0xMMMMmmpp; a host without a name gets no version either.
    EXPECT_EQ(plug.Log().hostVersion, c.product[0] ? (12 << 16) | (3 << 8) | 4 : 0);
  }
}

TEST(AdapterEntry, HostIsAskedOnlyOnce)
{
  Plug plug(TESTPLUG_PATH, false);
  ASSERT_TRUE(plug.Ok());
  plug.host.SetProductString("REAPER");
  plug.host.SetVendorVersion(60012);
  plug.host.Open();
  ASSERT_EQ(plug.Log().hostCode, 1);

  plug.host.SetProductString("Cubase");
  plug.host.SetVendorVersion(1);
  plug.host.Dispatch(effOpen);
  EXPECT_EQ(plug.Cmd(kTPCmdIdentifyHost), 1.0);
  EXPECT_EQ(plug.Log().hostCode, 1);
  EXPECT_EQ(plug.Log().hostVersion, (6 << 16) | (0 << 8) | 12);
}

namespace {

VstIntPtr gHugeVersionAsked = 0;

// A host whose version does not fit 32 bits.
VstIntPtr VSTCALLBACK HugeVersionHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float)
{
  if (opcode == audioMasterGetProductString && ptr)
  {
    std::strcpy((char*)ptr, "Cubase");
    return 1;
  }
  if (opcode == audioMasterGetVendorVersion)
  {
    ++gHugeVersionAsked;
    return INTPTR_MAX;
  }
  return 0;
}

}  // namespace

TEST(AdapterEntry, HostVersionThatCannotBePackedIsUnknown)
{
  void* lib = dlopen(TESTPLUG_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  typedef AEffect* (*Entry)(audioMasterCallback);
  Entry entry = (Entry)dlsym(lib, "VSTPluginMain");
  TestPlugGetLogProc getLog = (TestPlugGetLogProc)dlsym(lib, "TestPlug_GetLog");
  ASSERT_TRUE(entry && getLog);
  AEffect* fx = entry(&HugeVersionHost);
  ASSERT_NE(fx, nullptr);
  fx->dispatcher(fx, effOpen, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(gHugeVersionAsked, 1);
  EXPECT_EQ(getLog(fx)->hostCode, 3);
  EXPECT_EQ(getLog(fx)->hostVersion, 0);
  fx->dispatcher(fx, effClose, 0, 0, nullptr, 0.0f);
  dlclose(lib);
}

TEST(AdapterEntry, NullHostCallbackIsNeverCalled)
{
  void* lib = dlopen(TESTPLUG_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  typedef AEffect* (*Entry)(audioMasterCallback);
  Entry entry = (Entry)dlsym(lib, "VSTPluginMain");
  TestPlugGetLogProc getLog = (TestPlugGetLogProc)dlsym(lib, "TestPlug_GetLog");
  TestPlugCommandProc command = (TestPlugCommandProc)dlsym(lib, "TestPlug_Command");
  ASSERT_TRUE(entry && getLog && command);
  AEffect* fx = entry(nullptr);
  ASSERT_NE(fx, nullptr);
  fx->dispatcher(fx, effOpen, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(getLog(fx)->hostCode, 0);
  command(fx, kTPCmdSendMidi, 0, 0.0);
  command(fx, kTPCmdQueryTime, 0, 0.0);
  float buf[2][32] = {};
  float* io[2] = { buf[0], buf[1] };
  fx->processReplacing(fx, io, io, 32);
  EXPECT_EQ(getLog(fx)->lastSendResult, 0);
  EXPECT_EQ(getLog(fx)->tempo, 0.0);
  command(fx, kTPCmdWheel, 0, 0.5);
  fx->dispatcher(fx, effClose, 0, 0, nullptr, 0.0f);
  dlclose(lib);
}

// ================================================================ time information

TEST(AdapterEntry, TimeInformation)
{
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  quorvex::VstHost& h = plug.host;
  auto query = [&](int expectedRequests) {
    const int before = h.TimeRequests();
    plug.Cmd(kTPCmdQueryTime);
    plug.Process();
    // HostTempo, HostSamplePos, HostTimeSig and SamplesPerBeat: one request each.
    EXPECT_EQ(h.TimeRequests() - before, expectedRequests);
    return plug.Log();
  };

  h.SetTempo(120.0);
  h.SetTimeSignature(3, 4);
  h.SetSamplePos(1.5);
  TestPlugLog log = query(4);
  EXPECT_EQ(log.tempo, 120.0);
  EXPECT_EQ(log.samplesPerBeat, 22050.0);
  EXPECT_EQ(log.samplePos, 2);
  EXPECT_EQ(log.timeSigNum, 3);
  EXPECT_EQ(log.timeSigDen, 4);

  h.SetSamplePos(-3.0);
  EXPECT_EQ(query(4).samplePos, 0);

  h.SetSamplePos(1000.49);
  h.SetTempo(-90.0);
  log = query(4);
  EXPECT_EQ(log.samplePos, 1000);
  EXPECT_EQ(log.tempo, 0.0);
  EXPECT_EQ(log.samplesPerBeat, 0.0);

  h.SetTempo(140.0);
  h.SetTempoValid(false);
  log = query(4);
  EXPECT_EQ(log.tempo, 0.0);
  EXPECT_EQ(log.samplesPerBeat, 0.0);
  EXPECT_EQ(log.timeSigNum, 3);

  h.SetTempoValid(true);
  h.SetTimeSignature(-1, 4);
  log = query(4);
  EXPECT_EQ(log.tempo, 140.0);
  EXPECT_EQ(log.timeSigNum, 0);
  EXPECT_EQ(log.timeSigDen, 0);

  h.SetTimeSignature(7, 8);
  h.SetTimeInfoAvailable(false);
  log = query(4);
  EXPECT_EQ(log.tempo, 0.0);
  EXPECT_EQ(log.samplePos, 0);
  EXPECT_EQ(log.timeSigNum, 0);
  EXPECT_EQ(log.timeSigDen, 0);
  EXPECT_EQ(log.samplesPerBeat, 0.0);
}

// ================================================================ latency

TEST(AdapterEntry, SetLatencyChangesInitialDelayWithoutHostCall)
{
  Plug plug(TESTPLUG_EDITOR_PATH);
  ASSERT_TRUE(plug.Ok());
  plug.ClearLog();
  plug.Cmd(kTPCmdSetLatencyNow, 256);
  EXPECT_EQ(plug.Fx()->initialDelay, 256);
  EXPECT_EQ(plug.Log().latency, 256);
  EXPECT_TRUE(plug.host.Calls().empty());

  plug.Cmd(kTPCmdSetLatency, 512);
  plug.Process();
  EXPECT_EQ(plug.Fx()->initialDelay, 512);
  EXPECT_TRUE(plug.host.Calls().empty());
}
