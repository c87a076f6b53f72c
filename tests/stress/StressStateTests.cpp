// State under a hostile host: random dispatcher traffic mixed with audio,
// and every kind of chunk a host or a damaged project can hand over.
#include "StressTestUtil.h"

#include <cstring>
#include <iostream>
#include <limits>

using namespace stress;
using namespace stresstest;

// ================================================================ random dispatcher traffic

namespace
{

// Honest about memory (a pointer is null or a zeroed 4 KiB heap buffer,
// sizes fit it), not about anything else.
class Traffic
{
public:
  Traffic(StressHost& s, uint32_t seed) : mS(s), mRng(seed), mScratch(kScratch) {}

  void Step()
  {
    if (Below(6) == 0)
    {
      static const Precision kP[] = { Precision::kFloat, Precision::kDouble, Precision::kAccumulate };
      const BlockReport r = mS.Block(Below(1025), kP[Below(3)]);
      EXPECT_EQ(r.fault, "") << "after " << mCalls << " calls";
      return;
    }
    if (Below(8) == 0)
    {
      mS.host.SetParameter(Between(-3, 8), Wild());
      return;
    }
    Dispatch();
  }
  long Calls() const { return mCalls; }

private:
  enum
  {
    kScratch = 4096
  };
  int Below(int n) { return (int)(mRng() % (uint32_t)n); }
  int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }
  float Wild()
  {
    static const float kSpecial[] = { std::numeric_limits<float>::quiet_NaN(),
                                      std::numeric_limits<float>::infinity(),
                                      -std::numeric_limits<float>::infinity(),
                                      -1.f,
                                      2.f,
                                      1e30f,
                                      0.f,
                                      1.f };
    if (Below(3) == 0) return kSpecial[Below(8)];
    return std::uniform_real_distribution<float>(-0.5f, 1.5f)(mRng);
  }
  void* Scratch()
  {
    std::fill(mScratch.begin(), mScratch.end(), 0);
    return mScratch.data();
  }

  void Dispatch()
  {
    VstInt32 opcode;
    switch (Below(4))
    {
      case 0: opcode = (VstInt32)mRng(); break;  // mostly unknown
      case 1: opcode = Between(-5, 200); break;
      default: opcode = Between(0, 78); break;
    }
    // Closing ends the instance; editor windows belong to the editor runs.
    if (opcode == effClose || opcode == effEditOpen || opcode == effEditClose) opcode = effEditIdle;
    const VstInt32 index = Below(3) ? Between(-3, 30) : (VstInt32)mRng();
    VstIntPtr value = Below(3) ? Between(-3, 70000) : (VstIntPtr)(int64_t)(((uint64_t)mRng() << 32) | mRng());
    void* ptr = Below(4) ? Scratch() : nullptr;
    const float opt = Wild() * (Below(2) ? 192000.f : 1.f);
    // Both carry a pointer in value as well.
    if (opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement)
    {
      value = Below(2) ? (VstIntPtr)Scratch() : 0;
      if (value && opcode == effSetSpeakerArrangement)
        ((VstSpeakerArrangement*)value)->numChannels = Below(2) ? Between(-3, 9) : (VstInt32)mRng();
      if (ptr && opcode == effSetSpeakerArrangement)
        ((VstSpeakerArrangement*)ptr)->numChannels = Between(-3, 9);
    }
    if (opcode == effSetChunk && ptr)
    {
      value = Between(-8, kScratch);
      for (int i = 0; i < kScratch; ++i) mScratch[i] = (uint8_t)mRng();
    }
    if ((opcode == effCanDo || opcode == effSetProgramName || opcode == effString2Parameter) && ptr)
    {
      static const char* const kTexts[] = {
        "receiveVstTimeInfo", "hasCockosExtensions", "1/8D", "nan", "-1e308", ""
      };
      std::snprintf((char*)ptr, 64, "%s", kTexts[Below(6)]);
    }
    mS.Dispatch(opcode, index, value, ptr, opt);
    ++mCalls;
  }

  StressHost& mS;
  std::mt19937 mRng;
  std::vector<uint8_t> mScratch;
  long mCalls = 0;
};

}  // namespace

TEST(StressTraffic, RandomDispatcherCallsMixedWithAudio)
{
  const long calls = (long)Scaled(10000, 100000);
  StressHost s(1024);
  Start(s, 44100, 1024);
  Traffic traffic(s, 2026);
  while (traffic.Calls() < calls && !HasFailure()) traffic.Step();
  for (int i = 0; i < kNumParams; ++i)
  {
    const float v = s.host.GetParameter(i);
    EXPECT_TRUE(v >= 0.f && v <= 1.f) << i;
  }
  // Still a working instance.
  s.host.SetSampleRate(44100);
  s.host.SetBlockSize(512);
  s.host.SetProgram(3);
  EXPECT_EQ(s.host.GetProgram(), 3);
  EXPECT_EQ(s.host.GetChunk(true).size(), 56u);
  EXPECT_EQ(s.Block(512, Precision::kDouble).fault, "");
  EXPECT_EQ(s.ForeignCallbacks(), 0);
  std::cout << "[ traffic  ] " << traffic.Calls() << " dispatcher calls, " << s.Blocks()
            << " process calls\n";
}

// ================================================================ chunks

namespace
{

// Everything a load could change: every slot's name and values, the live
// values and the current program.
std::vector<uint8_t> State(quorvex::VstHost& h)
{
  std::vector<uint8_t> s = h.GetChunk(false);
  const std::vector<uint8_t> program = h.GetChunk(true);
  s.insert(s.end(), program.begin(), program.end());
  const VstInt32 current = h.GetProgram();
  s.insert(s.end(), (const uint8_t*)&current, (const uint8_t*)&current + 4);
  return s;
}

std::vector<uint8_t> WithVersion(std::vector<uint8_t> chunk, uint32_t version)
{
  std::memcpy(&chunk[4], &version, 4);
  return chunk;
}

}  // namespace

TEST(StressChunks, RoundTripsAndRefusalsChangeNothing)
{
  StressHost s;
  Start(s, 44100, 512);
  quorvex::VstHost& h = s.host;
  h.SetProgram(7);
  SetParam(h, kFeedback, 77);
  h.SetProgram(9);
  SetParam(h, kPan, -40);
  const std::vector<uint8_t> bank = h.GetChunk(false), program = h.GetChunk(true);
  ASSERT_EQ(program.size(), 56u);

  {
    SCOPED_TRACE("round trips");
    EXPECT_EQ(h.SetChunk(program, true), 1);
    EXPECT_EQ(h.GetChunk(true), program);
    EXPECT_EQ(h.SetChunk(bank, false), 1);
    EXPECT_EQ(h.GetChunk(false), bank);
    StressHost other;
    Start(other, 48000, 256);
    // The bank does not carry the current program: the receiver keeps its own.
    other.host.SetProgram(9);
    EXPECT_EQ(other.host.SetChunk(bank, false), 1);
    EXPECT_EQ(other.host.GetChunk(false), bank);
    EXPECT_EQ(other.host.GetChunk(true), program);
    EXPECT_EQ(other.host.GetProgram(), 9);
  }

  const std::vector<uint8_t> before = State(h);
  long refusals = 0;
  auto refused = [&](const void* data, VstIntPtr size, bool asProgram, const char* what)
  {
    SCOPED_TRACE(what);
    EXPECT_EQ(h.Dispatch(effSetChunk, asProgram ? 1 : 0, size, const_cast<void*>(data)), 0);
    ASSERT_EQ(State(h), before);
    ++refusals;
  };

  for (size_t cut = 0; cut < program.size(); ++cut)
    refused(program.data(), (VstIntPtr)cut, true, "program cut");
  for (size_t cut = 0; cut < bank.size(); ++cut) refused(bank.data(), (VstIntPtr)cut, false, "bank cut");
  refused(program.data(), -1, true, "negative size");
  refused(nullptr, 56, true, "null program");
  refused(nullptr, (VstIntPtr)bank.size(), false, "null bank");
  refused(bank.data(), (VstIntPtr)bank.size(), true, "bank as program");
  refused(program.data(), (VstIntPtr)program.size(), false, "program as bank");
  std::vector<uint8_t> magic = program;
  magic[0] ^= 0x20;
  refused(magic.data(), (VstIntPtr)magic.size(), true, "wrong magic");
  magic = bank;
  magic[3] = 'q';
  refused(magic.data(), (VstIntPtr)magic.size(), false, "bank with wrong magic");
  for (uint32_t version : { 0x00010001u, 0x00020000u, 0x7fffffffu, 0xffffffffu, 0x0000ffffu, 0u })
  {
    const std::vector<uint8_t> p = WithVersion(program, version), b = WithVersion(bank, version);
    refused(p.data(), (VstIntPtr)p.size(), true, "program of another version");
    refused(b.data(), (VstIntPtr)b.size(), false, "bank of another version");
  }
  std::vector<uint8_t> longer = program;
  longer.push_back(0);
  refused(longer.data(), (VstIntPtr)longer.size(), true, "program with a byte too many");
  longer = bank;
  longer.push_back(0);
  refused(longer.data(), (VstIntPtr)longer.size(), false, "bank with a byte too many");
  for (double bad : { std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity() })
  {
    std::vector<uint8_t> odd = program;
    std::memcpy(&odd[8 + 8 * kWet], &bad, 8);
    refused(odd.data(), (VstIntPtr)odd.size(), true, "program with a non-finite value");
  }
  std::mt19937 rng(12);
  for (int round = 0; round < 3; ++round)
  {
    std::vector<uint8_t> noise(1 << 20);
    for (uint8_t& b : noise) b = (uint8_t)rng();
    // Once with our header in front, so the readers behind it run too.
    if (round == 1) std::memcpy(noise.data(), bank.data(), 8);
    refused(noise.data(), (VstIntPtr)noise.size(), true, "1 MiB of noise as program");
    refused(noise.data(), (VstIntPtr)noise.size(), false, "1 MiB of noise as bank");
  }
  // Whole chunks still load, the program also without its header.
  EXPECT_EQ(h.SetChunk(bank, false), 1);
  EXPECT_EQ(h.SetChunk(std::vector<uint8_t>(program.begin() + 8, program.end()), true), 1);
  EXPECT_EQ(State(h), before);
  std::cout << "[ chunks   ] " << refusals << " refused chunks, none changed anything\n";
}
