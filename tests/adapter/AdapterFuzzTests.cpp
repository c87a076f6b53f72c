// Seeded random traffic through every host entry point. The host is honest
// about memory (pointers null or a real zeroed buffer, sizes that fit) but
// not about values.
#include "TestPlugDriver.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <random>

using qtest::ExpectParamsInRange;
using Plug = qtest::TestPlugDriver;

namespace
{

class Fuzzer
{
public:
  Fuzzer(Plug& plug, uint32_t seed)
    : mPlug(plug), mRng(seed), mScratch(kScratchBytes), mProgram(plug.host.GetChunk(true)),
      mBank(plug.host.GetChunk(false))
  {
    for (int i = 0; i < 2; ++i)
    {
      mIn[i].assign(kMaxFrames, 0.0f);
      mOut[i].assign(kMaxFrames, 0.0f);
      mInD[i].assign(kMaxFrames, 0.0);
      mOutD[i].assign(kMaxFrames, 0.0);
    }
  }

  void Step()
  {
    const int kind = Below(10);  // 4 : 2 : 1 : 1 : 2
    if (kind < 4)
      Dispatch();
    else if (kind < 6)
      SetParameter();
    else if (kind == 6)
      LoadChunk();
    else if (kind == 7)
      Command();
    else
      Process();
  }

private:
  enum
  {
    kScratchBytes = 4096,
    kMaxFrames = 1024
  };

  int Below(int n) { return (int)(mRng() % (uint32_t)n); }
  int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }

  float WildFloat()
  {
    static const float kSpecial[] = { std::numeric_limits<float>::quiet_NaN(),
                                      std::numeric_limits<float>::infinity(),
                                      -std::numeric_limits<float>::infinity(),
                                      -1.0f,
                                      2.0f,
                                      1e30f,
                                      -0.0f,
                                      0.0f,
                                      1.0f };
    if (Below(3) == 0) return kSpecial[Below(sizeof(kSpecial) / sizeof(kSpecial[0]))];
    return std::uniform_real_distribution<float>(-0.5f, 1.5f)(mRng);
  }

  VstIntPtr WildValue()
  {
    switch (Below(4))
    {
      case 0: return Between(-2, 30);
      case 1: return (VstIntPtr)(int32_t)mRng();
      case 2: return 0;
      default: return Between(0, 70000);
    }
  }

  void* Scratch()
  {
    std::fill(mScratch.begin(), mScratch.end(), 0);
    return mScratch.data();
  }

  void Dispatch()
  {
    int opcode = Below(81);
    // Closing would end the instance under test.
    if (opcode == effClose) opcode = effGetProgram;
    const VstInt32 index = Below(4) ? Between(-2, 30) : (VstInt32)mRng();
    VstIntPtr value = WildValue();
    void* ptr = Below(5) ? Scratch() : nullptr;
    float opt = WildFloat() * (Below(2) ? 96000.0f : 1.0f);
    if (opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement)
    {
      // Both carry pointers in value as well.
      value = Below(2) ? (VstIntPtr)Scratch() : 0;
      if (ptr && opcode == effSetSpeakerArrangement)
        ((VstSpeakerArrangement*)ptr)->numChannels = Below(4) ? Between(-3, 5) : (VstInt32)mRng();
    }
    if (opcode == effSetChunk && ptr) value = Between(-8, kScratchBytes);
    if (opcode == effVendorSpecific && Below(2))
    {
      // Aim at the handled sub-opcodes with a valid parameter half the time.
      static const VstInt32 kSubs[] = { 7, 8, 27, CCONST('s', 't', 'C', 'A') };
      const VstInt32 sub = kSubs[Below(4)];
      value = sub == CCONST('s', 't', 'C', 'A') ? CCONST('W', 'h', 'e', 'e') : Between(-1, kTPNumParams);
      if (ptr && sub == 27) std::snprintf((char*)ptr, 32, "%d", Between(-100000, 100000));
      mPlug.host.Dispatch(effVendorSpecific, sub, value, ptr, opt);
      return;
    }
    if (opcode == effString2Parameter && ptr)
    {
      static const char* const kTexts[] = { "Saw", "On", "1e308", "-1e308", "nan", "inf", "", "12abc" };
      std::snprintf((char*)ptr, 32, "%s", kTexts[Below(8)]);
    }
    if (opcode == effProcessEvents && ptr && Below(2))
    {
      // A real list: a MIDI and a SysEx event inside the scratch buffer.
      VstEvents* list = (VstEvents*)ptr;
      VstMidiEvent* midi = (VstMidiEvent*)((char*)ptr + 256);
      VstMidiSysexEvent* sysex = (VstMidiSysexEvent*)((char*)ptr + 512);
      midi->type = kVstMidiType;
      midi->deltaFrames = (VstInt32)mRng();
      midi->midiData[0] = (char)mRng();
      sysex->type = kVstSysExType;
      sysex->dumpBytes = Between(0, 64);
      sysex->sysexDump = (char*)ptr + 1024;
      list->numEvents = 2;
      list->events[0] = (VstEvent*)midi;
      list->events[1] = (VstEvent*)sysex;
    }
    mPlug.host.Dispatch(opcode, index, value, ptr, opt);
  }

  void SetParameter()
  {
    mPlug.host.SetParameter(Between(-2, kTPNumParams + 1), WildFloat());
    (void)mPlug.host.GetParameter(Between(-2, kTPNumParams + 1));
  }

  void LoadChunk()
  {
    std::vector<uint8_t> data;
    const bool program = Below(2) == 0;
    switch (Below(3))
    {
      case 0:
        data.resize(Below(200));
        for (uint8_t& b : data) b = (uint8_t)mRng();
        break;
      case 1:
        data = program ? mProgram : mBank;
        data.resize(Below((int)data.size() + 1));
        break;
      default:
        data = program ? mProgram : mBank;
        for (int i = Between(1, 4); i > 0 && !data.empty(); --i)
          data[Below((int)data.size())] ^= (uint8_t)(1 + Below(255));
        break;
    }
    mPlug.host.SetChunk(data, program);
  }

  void Command()
  {
    static const int kCommands[] = { kTPCmdSendMidi, kTPCmdSendSysEx, kTPCmdQueryTime, kTPCmdMouseDown,
                                     kTPCmdDrag,     kTPCmdMouseUp,   kTPCmdWheel,     kTPCmdTimerTick };
    mPlug.Cmd(kCommands[Below(8)], Between(-1, kTPNumParams), WildFloat());
  }

  void Process()
  {
    const int frames = Below(kMaxFrames + 1);
    for (int i = 0; i < 2; ++i)
      for (int s = 0; s < frames; ++s)
        mIn[i][s] = mInD[i][s] = std::uniform_real_distribution<float>(-1, 1)(mRng);
    float* ins[2] = { mIn[0].data(), mIn[1].data() };
    float* outs[2] = { mOut[0].data(), mOut[1].data() };
    double* dins[2] = { mInD[0].data(), mInD[1].data() };
    double* douts[2] = { mOutD[0].data(), mOutD[1].data() };
    switch (Below(3))
    {
      case 0: mPlug.host.ProcessReplacing(ins, outs, frames); break;
      case 1: mPlug.host.ProcessAccumulate(ins, outs, frames); break;
      default: mPlug.host.ProcessDouble(dins, douts, frames); break;
    }
    // Keep the accumulating buffers from running off to infinity.
    for (int i = 0; i < 2; ++i) std::fill(mOut[i].begin(), mOut[i].end(), 0.0f);
  }

  Plug& mPlug;
  std::mt19937 mRng;
  std::vector<uint8_t> mScratch;
  std::vector<uint8_t> mProgram, mBank;
  std::vector<float> mIn[2], mOut[2];
  std::vector<double> mInD[2], mOutD[2];
};

// Values in range, display texts short, printable and present.
void ExpectSane(Plug& plug)
{
  ExpectParamsInRange(plug);
  for (int p = 0; p < kTPNumParams; ++p)
  {
    const std::string text = plug.host.ParamDisplay(p);
    EXPECT_FALSE(text.empty()) << p;
    EXPECT_LT(text.size(), 32u) << p;
    for (char c : text) EXPECT_TRUE(std::isprint((unsigned char)c)) << p << ": " << text;
  }
}

}  // namespace

// Several seeds on the main module, then the editor and no-preset variants.
TEST(AdapterFuzz, RandomHostTraffic)
{
  const struct
  {
    const char* path;
    uint32_t seed;
    int steps;
  } kRuns[] = {
    { TESTPLUG_PATH, 1, 15000 },
    { TESTPLUG_PATH, 20240611, 15000 },
    { TESTPLUG_EDITOR_PATH, 7, 15000 },
    { TESTPLUG_NOPRESETS_PATH, 99, 5000 },
  };
  for (const auto& run : kRuns)
  {
    SCOPED_TRACE(testing::Message() << run.path << " seed " << run.seed);
    Plug plug(run.path);
    ASSERT_TRUE(plug.Ok());
    plug.host.SetCallLogging(false);
    Fuzzer fuzzer(plug, run.seed);
    for (int i = 1; i <= run.steps && !HasFailure(); ++i)
    {
      fuzzer.Step();
      if (i % 500 == 0 || i == run.steps) ExpectSane(plug);
    }
    // Still a working instance afterwards.
    plug.host.SetProgram(0);
    EXPECT_EQ(plug.host.GetProgram(), 0);
    EXPECT_FALSE(plug.host.GetChunk(true).empty());
  }
}
