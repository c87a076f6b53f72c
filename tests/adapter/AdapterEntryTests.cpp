// The AEffect as the host receives it, the informational and editor
// opcodes, host identification, time information and latency.
#include "TestPlugDriver.h"

#include <dlfcn.h>

#include <cstring>

using Plug = qtest::TestPlugDriver;

namespace
{

// The module opened directly, for hosts other than the reference host.
class RawModule
{
public:
  explicit RawModule(const char* path) : mLib(dlopen(path, RTLD_NOW | RTLD_LOCAL))
  {
    EXPECT_NE(mLib, nullptr);
  }
  ~RawModule()
  {
    if (fx) fx->dispatcher(fx, effClose, 0, 0, nullptr, 0.0f);
    if (mLib) dlclose(mLib);
  }
  // Creates and opens an instance through the given entry point.
  bool Create(audioMasterCallback host, const char* entry = "VSTPluginMain")
  {
    typedef AEffect* (*Entry)(audioMasterCallback);
    Entry create = mLib ? (Entry)dlsym(mLib, entry) : nullptr;
    fx = create ? create(host) : nullptr;
    getLog = mLib ? (TestPlugGetLogProc)dlsym(mLib, "TestPlug_GetLog") : nullptr;
    command = mLib ? (TestPlugCommandProc)dlsym(mLib, "TestPlug_Command") : nullptr;
    if (fx) fx->dispatcher(fx, effOpen, 0, 0, nullptr, 0.0f);
    return fx && getLog && command;
  }

  AEffect* fx = nullptr;
  TestPlugGetLogProc getLog = nullptr;
  TestPlugCommandProc command = nullptr;

private:
  void* mLib;
};

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
  EXPECT_EQ(fx->flags, 0x1018);  // replacing, double replacing, mono; no editor, no chunks
  EXPECT_EQ(fx->initialDelay, 0);
  EXPECT_EQ(fx->ioRatio, 1.0f);
  EXPECT_EQ(fx->uniqueID, CCONST('Q', 'T', 's', 't'));
  EXPECT_EQ(fx->version, 10203);
  EXPECT_TRUE(fx->process && fx->processReplacing && fx->processDoubleReplacing);
  EXPECT_TRUE(fx->setParameter && fx->getParameter && fx->dispatcher);
}

TEST(AdapterEntry, FlagsAndCountsPerVariant)
{
  const struct
  {
    const char* path;
    int flags;
  } kCases[] = {
    { TESTPLUG_EDITOR_PATH, 0x1019 },
    { TESTPLUG_MIDI2_PATH, 0x1138 },  // chunks and instrument add 0x20 and 0x100
  };
  for (const auto& c : kCases)
  {
    Plug plug(c.path, false);
    ASSERT_TRUE(plug.Ok());
    EXPECT_EQ(plug.Fx()->flags, c.flags);
  }
  Plug synth(TESTPLUG_MIDI2_PATH, false);
  EXPECT_EQ(synth.host.Dispatch(effGetPlugCategory), kPlugCategSynth);

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

TEST(AdapterEntry, MainIsAnAliasOfTheEntryPoint)
{
  RawModule module(TESTPLUG_PATH);
  ASSERT_TRUE(module.Create(&quorvex::VstHost::HostCallback, "main"));
  EXPECT_EQ(module.fx->magic, kEffectMagic);
  EXPECT_EQ(module.fx->numPrograms, 25);
}

TEST(AdapterEntry, InformationalOpcodes)
{
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  quorvex::VstHost& h = plug.host;
  EXPECT_EQ(h.Dispatch(effIdentify), 0x4E764566);
  EXPECT_EQ(h.Dispatch(effGetVstVersion), 2400);
  EXPECT_EQ(h.Dispatch(effGetTailSize), 0);
  EXPECT_EQ(h.VendorVersion(), 10203);
  EXPECT_EQ(h.Dispatch(effGetPlugCategory), kPlugCategEffect);
  EXPECT_EQ(h.Dispatch(effCanBeAutomated, 9999), 1);
  // Cut to the published field sizes, terminator included.
  EXPECT_EQ(h.EffectName(),
            std::string("Quorvex Test Plug, with a name longer than a host's field").substr(0, 31));
  EXPECT_EQ(
      h.VendorString(),
      std::string("Quorvex Tests, with a vendor string longer than the host's 64-byte field").substr(0, 63));
  EXPECT_EQ(
      h.ProductString(),
      std::string("Quorvex Test Product, with a product string longer than a host's field").substr(0, 63));
  // No buffer, idle calls and unknown opcodes: nothing to report.
  const VstInt32 kQuiet[] = {
    effGetEffectName, effGetVendorString, effGetProductString, effEditIdle, effIdle, 70, 80, -1
  };
  for (VstInt32 op : kQuiet) EXPECT_EQ(h.Dispatch(op), 0) << op;

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
  const struct
  {
    VstInt32 op;
    int index;
    const char* label;
    int flags;
  } kPins[] = {
    { effGetInputProperties, 0, "Input 1", 3 },  // stereo pair start
    { effGetInputProperties, 1, "Input 2", 1 }, { effGetOutputProperties, 1, "Output 2", 1 },
    { effGetInputProperties, 2, nullptr, 0 },   { effGetInputProperties, -1, nullptr, 0 },
    { effGetOutputProperties, 2, nullptr, 0 },
  };
  for (const auto& p : kPins)
  {
    VstPinProperties pin;
    std::memset(&pin, 'x', sizeof(pin));
    ASSERT_EQ(h.Dispatch(p.op, p.index, 0, &pin), p.label ? 1 : 0) << p.index;
    if (!p.label) continue;
    EXPECT_STREQ(pin.label, p.label);
    EXPECT_EQ(pin.flags, p.flags);
    for (char c : pin.shortLabel) EXPECT_EQ(c, 'x');  // left as the host passed it
  }
  EXPECT_EQ(h.Dispatch(effGetInputProperties, 0, 0, nullptr), 0);

  VstSpeakerArrangement* in = nullptr;
  VstSpeakerArrangement* out = nullptr;
  EXPECT_EQ(h.Dispatch(effGetSpeakerArrangement, 0, (VstIntPtr)&in, &out), 1);
  ASSERT_TRUE(in && out);
  EXPECT_TRUE(in->type == kSpeakerArrStereo && in->numChannels == 2);
  EXPECT_TRUE(out->type == kSpeakerArrStereo && out->numChannels == 2);
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
  // How many host inputs are connected, after the host announced nIn.
  const struct
  {
    int nIn, live;
  } kCases[] = {
    { 1, 1 },           { 2, 2 },  { 0, 0 }, { 2147483647, 2 }, { -2147483647 - 1, 0 },
    { -2147483647, 0 }, { -1, 0 }, { 2, 2 },
  };
  for (const auto& c : kCases)
  {
    VstSpeakerArrangement arr;
    std::memset(&arr, 0, sizeof(arr));
    arr.numChannels = c.nIn;
    EXPECT_EQ(plug.host.Dispatch(effSetSpeakerArrangement, 0, (VstIntPtr)&arr, nullptr), 1);
    std::fill(out0, out0 + n, -1.0f);
    std::fill(out1, out1 + n, -1.0f);
    plug.host.ProcessReplacing(ins, outs, n);
    EXPECT_EQ((out0[n - 1] == in0[n - 1]) + (out1[n - 1] == in1[n - 1]), c.live) << c.nIn;
    if (c.live == 1)
    {
      EXPECT_EQ(out1[0], 0.0f);  // the unconnected input reads as silence
    }
  }
}

TEST(AdapterEntry, CanDoFollowsMidiMode)
{
  const char* const kPaths[] = { TESTPLUG_NOPRESETS_PATH, TESTPLUG_PATH, TESTPLUG_MIDI2_PATH,
                                 TESTPLUG_MIDI3_PATH };
  for (int midiMode = 0; midiMode < 4; ++midiMode)
  {
    SCOPED_TRACE(midiMode);
    Plug plug(kPaths[midiMode]);
    ASSERT_TRUE(plug.Ok());
    auto ask = [&](const char* q) { return plug.host.Dispatch(effCanDo, 0, 0, (void*)q); };
    const VstIntPtr sends = midiMode == 1 || midiMode == 3;
    const VstIntPtr receives = midiMode == 1 || midiMode == 2;
    EXPECT_EQ(ask("receiveVstTimeInfo"), 1);
    EXPECT_EQ(ask("sendVstEvents"), sends);
    EXPECT_EQ(ask("sendVstMidiEvent"), sends);
    EXPECT_EQ(ask("receiveVstEvents"), receives);
    EXPECT_EQ(ask("receiveVstMidiEvent"), receives);
    EXPECT_EQ(ask("hasCockosExtensions"), (VstIntPtr)0x00000000BEEF0000LL);
    EXPECT_EQ(ask("hasCockosViewAsConfig"), (VstIntPtr)0x00000000BEEF0000LL);
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
  EXPECT_TRUE(rect->top == 0 && rect->left == 0 && rect->bottom == 200 && rect->right == 300);
  EXPECT_EQ(h.Dispatch(effEditGetRect), 0);

  int parent = 0;
  EXPECT_EQ(h.Dispatch(effEditOpen, 0, 0, &parent), 1);
  EXPECT_EQ(h.Dispatch(effEditIdle), 0);
  EXPECT_EQ(h.Dispatch(effEditClose), 1);
  const TestPlugLog& log = plug.Log();
  EXPECT_EQ(log.editorOpens + log.editorOpenedHooks + log.editorClosingHooks + log.editorCloses, 4);

  // The host's mouse wheel reaches the editor through the vendor call.
  const VstInt32 stCA = CCONST('s', 't', 'C', 'A'), whee = CCONST('W', 'h', 'e', 'e');
  EXPECT_EQ(h.Dispatch(effVendorSpecific, stCA, whee, nullptr, 1.5f), 1);
  EXPECT_EQ(h.Dispatch(effVendorSpecific, stCA, 0, nullptr, 1.5f), 0);
  EXPECT_EQ(plug.Log().wheelCalls, 1);
  EXPECT_EQ(plug.Log().lastWheelDelta, 1.5f);

  Plug bare(TESTPLUG_PATH);
  ASSERT_TRUE(bare.Ok());
  ERect* untouched = (ERect*)&parent;
  EXPECT_EQ(bare.host.Dispatch(effEditGetRect, 0, 0, &untouched), 0);
  EXPECT_EQ(untouched, (ERect*)&parent);
  EXPECT_EQ(bare.host.Dispatch(effEditOpen, 0, 0, &parent), 0);
  EXPECT_EQ(bare.host.Dispatch(effEditClose), 0);
  EXPECT_EQ(bare.host.Dispatch(effVendorSpecific, stCA, whee, nullptr, 1.0f), 0);
}

// ================================================================ host identification

TEST(AdapterEntry, HostIdentificationAtOpen)
{
  const struct
  {
    const char* product;
    int code;
  } kCases[] = {
    { "Steinberg CUBASE", 3 },  { "REAPER", 1 },          { "Ableton Live", 9 },
    { "Nuendo and Cubase", 3 }, { "Some Other Host", 0 }, { "", 0 },
  };
  for (const auto& c : kCases)
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
  plug.host.SetProductString("Cubase");
  plug.host.SetVendorVersion(1);
  plug.host.Dispatch(effOpen);
  EXPECT_EQ(plug.Cmd(kTPCmdIdentifyHost), 1.0);
  EXPECT_EQ(plug.Log().hostCode, 1);
  EXPECT_EQ(plug.Log().hostVersion, (6 << 16) | (0 << 8) | 12);
}

namespace
{

int gHugeVersionAsked = 0;

// A host whose version does not fit 32 bits.
VstIntPtr VSTCALLBACK HugeVersionHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float)
{
  if (opcode == audioMasterGetProductString && ptr)
  {
    std::strcpy((char*)ptr, "Cubase");
    return 1;
  }
  if (opcode != audioMasterGetVendorVersion) return 0;
  ++gHugeVersionAsked;
  return INTPTR_MAX;
}

}  // namespace

TEST(AdapterEntry, HostVersionThatCannotBePackedIsUnknown)
{
  RawModule module(TESTPLUG_PATH);
  ASSERT_TRUE(module.Create(&HugeVersionHost));
  EXPECT_EQ(gHugeVersionAsked, 1);
  EXPECT_EQ(module.getLog(module.fx)->hostCode, 3);
  EXPECT_EQ(module.getLog(module.fx)->hostVersion, 0);
}

TEST(AdapterEntry, NullHostCallbackIsNeverCalled)
{
  RawModule module(TESTPLUG_PATH);
  ASSERT_TRUE(module.Create(nullptr));
  AEffect* fx = module.fx;
  EXPECT_EQ(module.getLog(fx)->hostCode, 0);
  module.command(fx, kTPCmdSendMidi, 0, 0.0);
  module.command(fx, kTPCmdQueryTime, 0, 0.0);
  float buf[2][32] = {};
  float* io[2] = { buf[0], buf[1] };
  fx->processReplacing(fx, io, io, 32);
  EXPECT_EQ(module.getLog(fx)->lastSendResult, 0);
  EXPECT_EQ(module.getLog(fx)->tempo, 0.0);
  module.command(fx, kTPCmdWheel, 0, 0.5);
}

// ================================================================ time information

TEST(AdapterEntry, TimeInformation)
{
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  quorvex::VstHost& h = plug.host;
  // Each step changes the host, then checks what the plug-in reads.
  const struct
  {
    double tempo, pos;
    int num, den;
    bool tempoValid, available;
    double expTempo, expSpb;
    int expPos, expNum, expDen;
  } kSteps[] = {
    { 120, 1.5, 3, 4, true, true, 120, 22050, 2, 3, 4 },
    { 120, -3, 3, 4, true, true, 120, 22050, 0, 3, 4 },    // negative position
    { -90, 1000.49, 3, 4, true, true, 0, 0, 1000, 3, 4 },  // negative tempo
    { 140, 0, 3, 4, false, true, 0, 0, 0, 3, 4 },          // tempo flagged invalid
    { 140, 0, -1, 4, true, true, 140, 18900, 0, 0, 0 },    // bad signature
    { 140, 10, 7, 8, true, false, 0, 0, 0, 0, 0 },         // no time info at all
  };
  for (const auto& s : kSteps)
  {
    SCOPED_TRACE(testing::Message() << "tempo " << s.tempo << " pos " << s.pos);
    h.SetTempo(s.tempo);
    h.SetSamplePos(s.pos);
    h.SetTimeSignature(s.num, s.den);
    h.SetTempoValid(s.tempoValid);
    h.SetTimeInfoAvailable(s.available);
    const int before = h.TimeRequests();
    plug.Cmd(kTPCmdQueryTime);
    plug.ProcessSilence();
    // HostTempo, HostSamplePos, HostTimeSig and SamplesPerBeat: one request each.
    EXPECT_EQ(h.TimeRequests() - before, 4);
    const TestPlugLog& log = plug.Log();
    EXPECT_EQ(log.tempo, s.expTempo);
    EXPECT_EQ(log.samplesPerBeat, s.expSpb);
    EXPECT_EQ(log.samplePos, s.expPos);
    EXPECT_EQ(log.timeSigNum, s.expNum);
    EXPECT_EQ(log.timeSigDen, s.expDen);
  }
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
  plug.Cmd(kTPCmdSetLatency, 512);  // from inside processing
  plug.ProcessSilence();
  EXPECT_EQ(plug.Fx()->initialDelay, 512);
  EXPECT_TRUE(plug.host.Calls().empty());
}
