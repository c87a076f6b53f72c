// Hostile hosts: odd rates and block sizes, random and non-finite port
// values and samples, optional ports left unconnected, runs of 0 frames,
// and transport sequences whose sizes lie. Nothing crashes (the sanitizer
// build runs these too), and the outputs are finite wherever the inputs are.
#include "LV2TestHost.h"

#include <lv2/atom/atom.h>
#include <lv2/time/time.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using namespace lv2test;

namespace
{

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

bool FiniteWhereTheInputIs(const Stereo& in, const Stereo& out)
{
  for (size_t i = 0; i < in.Frames(); ++i)
    if (std::isfinite(in.l[i]) && std::isfinite(in.r[i]) &&
        !(std::isfinite(out.l[i]) && std::isfinite(out.r[i])))
      return false;
  return true;
}

// Noise with bursts of non-finite and huge samples.
Stereo Hostile(size_t frames, std::mt19937& rng)
{
  Stereo s = Noise(frames, (unsigned)rng());
  const float bursts[] = { kNaN, kInf, -kInf, 1e30f, std::numeric_limits<float>::max() };
  for (int b = 0; b < 4 && frames > 0; ++b)
  {
    const size_t at = rng() % frames, n = std::min<size_t>(1 + rng() % 300, frames - at);
    const float v = bursts[rng() % 5];
    for (size_t i = at; i < at + n; ++i) (rng() % 2 ? s.l : s.r)[i] = v;
  }
  return s;
}

float HostileValue(int port, std::mt19937& rng)
{
  const float special[] = { kNaN, kInf, -kInf, 1e9f, -1e9f, -0.5f, 24.5f, 0.49f };
  if (rng() % 3 == 0) return special[rng() % 8];
  const float max[kNumParams] = { 24, 4, 100, 99, 100, 100 };
  const float min = port == qtest::kPan ? -100.0f : 0.0f;
  return min + (max[port] - min) * std::uniform_real_distribution<float>(0.0f, 1.0f)(rng);
}

double HostileTempo(std::mt19937& rng)
{
  const double special[] = { 0.0, -90.0, std::nan(""), HUGE_VAL, 1e9, 1e-300 };
  if (rng() % 3 == 0) return special[rng() % 6];
  return std::uniform_real_distribution<double>(60.0, 300.0)(rng);
}

// ---------------------------------------------------------------- atoms by hand

struct Bytes
{
  std::vector<uint8_t> b;
  size_t Put(const void* p, size_t n)
  {
    const size_t at = b.size();
    b.insert(b.end(), (const uint8_t*)p, (const uint8_t*)p + n);
    return at;
  }
  template <class T> size_t Put(const T& v) { return Put(&v, sizeof(v)); }
  void Pad()
  {
    while (b.size() % 8) b.push_back(0);
  }
  template <class T> T* At(size_t at) { return (T*)(b.data() + at); }
};

// A sequence of one time:Position holding one property (bpm unless key
// says otherwise), with every size right; the cases then break one.
struct PositionSequence
{
  Bytes bytes;
  size_t event = 0, property = 0;

  PositionSequence(uint32_t valueType, const void* value, uint32_t valueSize,
                   const char* key = LV2_TIME__beatsPerMinute)
  {
    UridMap& urids = World::Get().Urids();
    LV2_Atom_Sequence seq{ { 0, urids.Map(LV2_ATOM__Sequence) }, { 0, 0 } };
    bytes.Put(seq);
    LV2_Atom_Event ev{};
    ev.body.type = urids.Map(LV2_ATOM__Object);
    event = bytes.Put(ev);
    LV2_Atom_Object_Body obj{ 0, urids.Map(LV2_TIME__Position) };
    bytes.Put(obj);
    LV2_Atom_Property_Body prop{ urids.Map(key), 0, { valueSize, valueType } };
    property = bytes.Put(prop);
    bytes.Put(value, valueSize);
    bytes.Pad();
    bytes.At<LV2_Atom_Event>(event)->body.size = (uint32_t)(bytes.b.size() - event - sizeof(LV2_Atom_Event));
    bytes.At<LV2_Atom>(0)->size = (uint32_t)(bytes.b.size() - sizeof(LV2_Atom));
  }
  // Drops the last n bytes; the sequence's size says so.
  void Cut(size_t n)
  {
    bytes.b.resize(bytes.b.size() - n);
    Seq()->atom.size = (uint32_t)(bytes.b.size() - sizeof(LV2_Atom));
  }
  LV2_Atom_Sequence* Seq() { return bytes.At<LV2_Atom_Sequence>(0); }
  LV2_Atom_Event* Event() { return bytes.At<LV2_Atom_Event>(event); }
  LV2_Atom_Property_Body* Property() { return bytes.At<LV2_Atom_Property_Body>(property); }
};

std::vector<uint8_t> Bpm(float bpm)
{
  return PositionSequence(World::Get().Urids().Map(LV2_ATOM__Float), &bpm, sizeof(bpm)).bytes.b;
}

}  // namespace

TEST(LV2Stress, RatesBlocksAndHostileValuesGiveFiniteOutput)
{
  for (double rate : { 8000.0, 44100.0, 96000.0, 192000.0 })
    for (int block : { 1, 17, 512, 4096 })
    {
      SCOPED_TRACE(testing::Message() << rate << " Hz, blocks of " << block);
      std::mt19937 rng((unsigned)rate + (unsigned)block);
      HostSetup setup;
      setup.sampleRate = rate;
      setup.blockLength = block;
      setup.options = rng() % 3 != 0;
      setup.worker = (Worker)(rng() % 3);
      setup.connectTime = rng() % 4 != 0;
      setup.connectFreewheel = rng() % 4 != 0;
      Instance plug(setup);
      ASSERT_TRUE(plug.Ok());
      const Stereo in = Hostile(block == 1 ? 3000 : std::max(20000, 6 * block), rng);
      Stereo out(in.Frames());
      for (size_t pos = 0; pos < in.Frames();)
      {
        if (rng() % 4 == 0) plug.Set((int)(rng() % kNumParams), HostileValue((int)(rng() % kNumParams), rng));
        if (rng() % 8 == 0) plug.SendTempo(HostileTempo(rng), (uint32_t)(rng() % (uint32_t)block));
        if (rng() % 8 == 0) plug.SetFreewheel(rng() % 2);
        // Now and then a run of 0 frames, or a shorter one.
        size_t n = rng() % 16 == 0 ? 0 : rng() % 4 == 0 ? 1 + rng() % (size_t)block : (size_t)block;
        n = std::min(n, in.Frames() - pos);
        plug.Run(&in.l[pos], &in.r[pos], &out.l[pos], &out.r[pos], (uint32_t)n);
        pos += n;
      }
      EXPECT_TRUE(FiniteWhereTheInputIs(in, out));
    }
}

TEST(LV2Stress, BareHostsOddRatesNullBuffersAndReactivation)
{
  // No feature at all, the optional ports unconnected; runs longer than
  // the 1024 frames assumed without options, of 0 frames, on null audio
  // buffers, and in place (LV2 hosts may hand one buffer as in and out).
  for (double rate : { 0.0, -44100.0, (double)kNaN, 1.0, 22050.5, 384000.0 })
  {
    SCOPED_TRACE(testing::Message() << rate << " Hz");
    HostSetup setup;
    setup.sampleRate = rate;
    setup.map = setup.options = setup.connectTime = setup.connectFreewheel = false;
    Instance plug(setup), twin(setup);
    ASSERT_TRUE(plug.Ok() && twin.Ok());
    std::mt19937 rng(9);
    const Stereo in = Noise(5000, 2);
    Stereo separate(in.Frames()), inPlace = in, scratch(in.Frames());
    for (int cycle = 0; cycle < 3; ++cycle)
    {
      const float delayRate = (float)(rng() % 25);
      for (Instance* p : { &plug, &twin })
      {
        p->Set(qtest::kRate, delayRate);
        p->Set(qtest::kMode, (float)(cycle % 5));
        p->Set(qtest::kFeedback, 99);
      }
      plug.Run(&in.l[0], &in.r[0], &separate.l[0], &separate.r[0], 5000);
      twin.Run(&inPlace.l[0], &inPlace.r[0], &inPlace.l[0], &inPlace.r[0], 5000);
      EXPECT_EQ(FirstDifference(separate, inPlace), in.Frames());
      inPlace = in;
      for (Instance* p : { &plug, &twin })
      {
        p->Run(nullptr, nullptr, nullptr, nullptr, 0);
        p->Run(nullptr, nullptr, &scratch.l[0], &scratch.r[0], 300);
        p->Run(&in.l[0], &in.r[0], nullptr, nullptr, 300);
        p->Run(&in.l[0], &in.r[0], &scratch.l[0], &scratch.r[0], 0);
        EXPECT_TRUE(AllFinite(scratch));
        p->Deactivate();
        p->Activate();
      }
    }
  }
}

TEST(LV2Stress, TransportSequencesThatLieAboutTheirSizesAreReadWithinThem)
{
  UridMap& urids = World::Get().Urids();
  const uint32_t atomFloat = urids.Map(LV2_ATOM__Float), atomDouble = urids.Map(LV2_ATOM__Double);
  const float bpm = 150.0f;
  const double hugeBpm = 1e300;
  auto broken = [&](auto change)
  {
    PositionSequence s(atomFloat, &bpm, sizeof(bpm));
    change(s);
    return s.bytes.b;
  };
  struct Case
  {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases = {
    { "sequence shorter than its body", broken([](PositionSequence& s) { s.Seq()->atom.size = 4; }) },
    { "event larger than the sequence", broken([](PositionSequence& s) { s.Event()->body.size = 4000; }) },
    { "event size 0xffffffff", broken([](PositionSequence& s) { s.Event()->body.size = 0xffffffffu; }) },
    { "event smaller than an object body", broken([](PositionSequence& s) { s.Event()->body.size = 4; }) },
    { "value larger than the object", broken([](PositionSequence& s) { s.Property()->value.size = 500; }) },
    { "value size 0xfffffff8", broken([](PositionSequence& s) { s.Property()->value.size = 0xfffffff8u; }) },
    { "float of two bytes", broken([](PositionSequence& s) { s.Property()->value.size = 2; }) },
    { "double of four bytes", broken([&](PositionSequence& s) { s.Property()->value.type = atomDouble; }) },
    { "sequence cut inside the event", broken([](PositionSequence& s) { s.Cut(12); }) },
    { "bpm NaN", Bpm(kNaN) },
    { "bpm infinite", Bpm(kInf) },
    { "bpm negative", Bpm(-120.0f) },
    { "bpm 0", Bpm(0.0f) },
    { "bpm 1e300", PositionSequence(atomDouble, &hugeBpm, sizeof(hugeBpm)).bytes.b },
  };
  // Random bytes under a sequence header whose size stays within them.
  std::mt19937 rng(17);
  for (int i = 0; i < 300; ++i)
  {
    std::vector<uint8_t> bytes(sizeof(LV2_Atom_Sequence) + 8 * (rng() % 40));
    for (uint8_t& b : bytes) b = (uint8_t)rng();
    LV2_Atom* atom = (LV2_Atom*)bytes.data();
    atom->size = (uint32_t)(rng() % (bytes.size() - sizeof(LV2_Atom) + 1));
    atom->type = urids.Map(LV2_ATOM__Sequence);
    // Small numbers where the URIDs are, so some keys and types match.
    for (size_t at = 8; at + 4 <= bytes.size(); at += 4)
      if (rng() % 2) *(uint32_t*)(bytes.data() + at) = rng() % 48;
    cases.push_back({ "random", bytes });
  }

  HostSetup setup;
  setup.sampleRate = 8000.0;
  Instance plug(setup);
  ASSERT_TRUE(plug.Ok());
  plug.Isolate(k1_4, kNormal);
  const Stereo in = Noise(64, 1);
  Stereo out(64);
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.name);
    // Held in an allocation of exactly its size, so a read past it is caught.
    plug.SendRawSequence(c.bytes);
    plug.Run(&in.l[0], &in.r[0], &out.l[0], &out.r[0], 64);
    ASSERT_TRUE(AllFinite(out));
  }
  // The transport still reads: "1/4" at 150 bpm and 8 kHz is 3200 samples.
  // Silence first, for the taps to settle and the noise to leave them.
  plug.SendRawSequence(Bpm(150.0f));
  Render(plug, Stereo(16000), 512, {});
  const Stereo echoes = Render(plug, Impulse(8000), 512, {});
  EXPECT_EQ(NonZero(echoes.r), std::vector<size_t>{ 3200 });
  EXPECT_EQ(NonZero(echoes.l), std::vector<size_t>{ 6400 });
}
