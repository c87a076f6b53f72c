// Programs, chunks, text-to-value opcodes and host text buffers.
#include "TestPlugDriver.h"

#include <cmath>
#include <cstring>

using qtest::ExpectParamsInRange;
using Plug = qtest::TestPlugDriver;

namespace
{

// Little-endian chunk bytes.
double DoubleAt(const std::vector<uint8_t>& b, size_t pos)
{
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | b[pos + i];
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

const uint8_t kHeader[8] = { 0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00 };
const double kValues[kTPNumParams] = { 33.0, -4.0, 2.0, 1.0, 1.0, 500.0, 7.5 };

struct BankSlot
{
  std::string name;
  bool initialized = false;
  std::vector<double> values;
  size_t lengthPos = 0;  // offset of the name length in the chunk
};

// Walks a bank chunk of 25 slots; fails the test unless the layout
// accounts for every byte.
std::vector<BankSlot> ParseBank(const std::vector<uint8_t>& b)
{
  std::vector<BankSlot> slots;
  if (b.size() < 8 || std::memcmp(b.data(), kHeader, 8) != 0) return slots;
  size_t pos = 8;
  while (slots.size() < 25 && pos + 4 <= b.size())
  {
    BankSlot s;
    s.lengthPos = pos;
    int32_t len;
    std::memcpy(&len, &b[pos], 4);  // little-endian, as the test machines are
    pos += 4;
    if (len < 0 || pos + (size_t)len + 1 > b.size()) break;
    s.name.assign((const char*)&b[pos], (size_t)len);
    pos += (size_t)len;
    s.initialized = b[pos++] == 1;
    if (s.initialized && pos + 8 * kTPNumParams > b.size()) break;
    for (int p = 0; s.initialized && p < kTPNumParams; ++p, pos += 8) s.values.push_back(DoubleAt(b, pos));
    slots.push_back(s);
  }
  EXPECT_EQ(pos, b.size());
  return slots;
}

std::vector<uint8_t> ValuesChunk(const double (&values)[kTPNumParams], bool header)
{
  std::vector<uint8_t> b;
  if (header) b.assign(kHeader, kHeader + 8);
  for (double v : values)
  {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i) b.push_back((uint8_t)(bits >> (8 * i)));
  }
  return b;
}

// Mix 25, Offset 12, Shape 3, Toggle 1.
void SetTestValues(Plug& plug)
{
  plug.host.SetParameter(kTPMix, 0.25f);
  plug.host.SetParameter(kTPOffset, 1.0f);
  plug.host.SetParameter(kTPShape, 1.0f);
  plug.host.SetParameter(kTPToggle, 1.0f);
}

void ExpectValues(Plug& plug, const double (&values)[kTPNumParams])
{
  for (int p = 0; p < kTPNumParams; ++p) EXPECT_EQ(plug.Value(p), values[p]) << p;
}

}  // namespace

// ================================================================ chunks

TEST(AdapterState, ProgramChunkLayout)
{
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  SetTestValues(plug);
  const std::vector<uint8_t> chunk = plug.host.GetChunk(true);
  ASSERT_EQ(chunk.size(), 8u + 8u * kTPNumParams);
  EXPECT_EQ(0, std::memcmp(chunk.data(), kHeader, 8));
  const double expected[kTPNumParams] = { 25.0, 12.0, 3.0, 0.0, 1.0, 1000.0, 0.0 };
  for (int p = 0; p < kTPNumParams; ++p) EXPECT_EQ(DoubleAt(chunk, 8 + 8 * p), expected[p]) << p;

  void* data = nullptr;
  EXPECT_EQ(plug.host.Dispatch(effGetChunk, 1, 0, nullptr), 0);
  EXPECT_EQ(plug.host.Dispatch(effGetChunk, 1, 0, &data), (VstIntPtr)chunk.size());
  EXPECT_NE(data, nullptr);
}

TEST(AdapterState, BankChunkLayoutAndRoundTrip)
{
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  plug.host.SetParameter(kTPMix, 0.3f);
  plug.host.SetProgram(1);
  plug.host.SetParameter(kTPMix, 0.5f);
  plug.host.SetProgram(4);  // an empty slot: becomes "user preset 1"
  plug.host.SetParameter(kTPFreq, 1.0f);
  const std::vector<uint8_t> bank = plug.host.GetChunk(false);

  const std::vector<BankSlot> slots = ParseBank(bank);
  ASSERT_EQ(slots.size(), 25u);
  const char* const names[] = { "Alpha", "Beta", "Gamma", "- 4 -", "user preset 1" };
  for (int i = 0; i < 5; ++i) EXPECT_EQ(slots[i].name, names[i]);
  EXPECT_EQ(slots[24].name, "- 25 -");
  EXPECT_FALSE(slots[3].initialized);
  ASSERT_TRUE(slots[0].initialized && slots[1].initialized && slots[4].initialized);
  EXPECT_NEAR(slots[0].values[kTPMix], 30.0, 1e-4);
  EXPECT_EQ(slots[1].values[kTPMix], 50.0);
  EXPECT_EQ(slots[1].values[kTPOffset], -5.0);
  // The current program holds the live values when the bank is saved.
  EXPECT_EQ(slots[4].values[kTPFreq], 20000.0);
  EXPECT_EQ(slots[4].values[kTPMix], 50.0);

  Plug other(TESTPLUG_PATH);
  ASSERT_TRUE(other.Ok());
  other.ClearLog();
  EXPECT_EQ(other.host.SetChunk(bank, false), 1);
  EXPECT_TRUE(other.host.Calls().empty());  // loads never automate
  EXPECT_EQ(other.host.GetChunk(false), bank);
  EXPECT_EQ(other.Value(kTPMix), slots[0].values[kTPMix]);  // its current program, live again
  other.host.SetProgram(4);
  EXPECT_EQ(other.Value(kTPFreq), 20000.0);
}

TEST(AdapterState, BankLoadRestoresTheCurrentProgram)
{
  Plug source(TESTPLUG_PATH);
  ASSERT_TRUE(source.Ok());
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  plug.host.SetProgram(2);
  plug.host.SetParameter(kTPMix, 0.0f);
  ASSERT_EQ(plug.host.SetChunk(source.host.GetChunk(false), false), 1);
  EXPECT_EQ(plug.host.GetProgram(), 2);
  EXPECT_EQ(plug.Value(kTPMix), 100.0);
  EXPECT_EQ(plug.Value(kTPFreq), 20000.0);
}

TEST(AdapterState, ProgramChunkLoads)
{
  Plug plug(TESTPLUG_EDITOR_PATH);
  ASSERT_TRUE(plug.Ok());
  plug.ClearLog();
  EXPECT_EQ(plug.host.SetChunk(ValuesChunk(kValues, true), true), 1);
  ExpectValues(plug, kValues);
  EXPECT_EQ(plug.Log().paramChangedCount, kTPNumParams);
  EXPECT_GT(plug.Log().controlUpdates, 0);

  // Without a header the values start at byte 0, for programs and banks.
  const double other[kTPNumParams] = { 10.0, 2.0, 3.0, 0.0, 0.0, 100.0, 0.0 };
  EXPECT_EQ(plug.host.SetChunk(ValuesChunk(other, false), true), 1);
  ExpectValues(plug, other);
  EXPECT_EQ(plug.host.SetChunk(ValuesChunk(kValues, false), false), 1);
  ExpectValues(plug, kValues);

  // Out-of-range values are bounded; a NaN or an infinity refuses the load.
  const double wild[kTPNumParams] = { 150.0, -100.0, 9.0, -3.0, -1.0, 1e9, 1e300 };
  const double bounded[kTPNumParams] = { 100.0, -12.0, 3.0, 0.0, 0.0, 20000.0, 1e40 };
  EXPECT_EQ(plug.host.SetChunk(ValuesChunk(wild, true), true), 1);
  ExpectValues(plug, bounded);
  for (double bad : { (double)NAN, (double)INFINITY })
  {
    const double nonFinite[kTPNumParams] = { 1.0, 1.0, 1.0, 1.0, 1.0, bad, 1.0 };
    EXPECT_EQ(plug.host.SetChunk(ValuesChunk(nonFinite, true), true), 0);
    ExpectValues(plug, bounded);
  }

  // The load went into the current program: switching away and back keeps it.
  plug.host.SetProgram(1);
  plug.host.SetProgram(0);
  EXPECT_EQ(plug.Value(kTPMix), 100.0);
  EXPECT_EQ(plug.host.ProgramNameIndexed(0), "Alpha");
  EXPECT_TRUE(plug.host.Calls().empty());

  // A cut chunk fails and changes nothing.
  Plug cut(TESTPLUG_PATH);
  ASSERT_TRUE(cut.Ok());
  std::vector<uint8_t> chunk = ValuesChunk(kValues, true);
  chunk.resize(8 + 8 * 2 + 3);
  cut.ClearLog();
  EXPECT_EQ(cut.host.SetChunk(chunk, true), 0);
  EXPECT_EQ(cut.Value(kTPMix), 50.0);
  EXPECT_EQ(cut.Value(kTPOffset), 0.0);
  EXPECT_EQ(cut.Value(kTPFreq), 1000.0);
  EXPECT_EQ(cut.Log().paramChangedCount, 0);
}

// ================================================================ programs

TEST(AdapterState, SetProgramSavesTheProgramItLeaves)
{
  Plug plug(TESTPLUG_EDITOR_PATH);
  ASSERT_TRUE(plug.Ok());
  quorvex::VstHost& h = plug.host;
  plug.ClearLog();

  h.SetProgram(1);
  EXPECT_EQ(h.ProgramName(), "Beta");
  EXPECT_EQ(plug.Value(kTPMix), 75.0);
  h.SetParameter(kTPMix, 0.1f);
  h.SetProgram(2);
  EXPECT_EQ(plug.Value(kTPMix), 100.0);
  h.SetProgram(1);
  EXPECT_NEAR(plug.Value(kTPMix), 10.0, 1e-4);

  // Empty slots take the live values under a numbered name.
  h.SetProgram(7);
  EXPECT_EQ(h.ProgramName(), "user preset 1");
  EXPECT_NEAR(plug.Value(kTPMix), 10.0, 1e-4);
  h.SetProgram(9);
  EXPECT_EQ(h.ProgramNameIndexed(9), "user preset 2");
  h.SetProgram(25);
  h.SetProgram(-1);
  EXPECT_EQ(h.GetProgram(), 9);

  h.Dispatch(effSetProgramName, 0, 0, (void*)"Renamed");
  EXPECT_EQ(h.Dispatch(effSetProgramName), 0);
  EXPECT_EQ(h.ProgramName(), "Renamed");
  EXPECT_EQ(h.ProgramNameIndexed(1), "Beta");
  EXPECT_TRUE(h.Calls().empty());
}

// ================================================================ text to value

TEST(AdapterState, String2Parameter)
{
  Plug plug(TESTPLUG_EDITOR_PATH);
  ASSERT_TRUE(plug.Ok());
  quorvex::VstHost& h = plug.host;
  plug.ClearLog();
  auto set = [&](int param, const char* text)
  {
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%s", text);
    return h.Dispatch(effString2Parameter, param, 0, buf);
  };

  EXPECT_EQ(set(kTPMix, "42.5"), 1);
  EXPECT_EQ(plug.Value(kTPMix), 42.5);
  EXPECT_FLOAT_EQ(h.GetParameter(kTPMix), 0.425f);
  EXPECT_EQ(plug.Log().lastControlParam, kTPMix);
  EXPECT_EQ(plug.Log().lastControlValue, 42.5);
  EXPECT_EQ(plug.Log().lastControlNormalized, 0);
  EXPECT_EQ(plug.Log().paramChanged[plug.Log().paramChangedCount - 1], kTPMix);

  // Outside the range or unreadable: bounded, still accepted.
  const struct
  {
    int param;
    const char* text;
    double value;
  } kCases[] = {
    { kTPMix, "500", 100.0 },          { kTPOffset, "-40", -12.0 }, { kTPMix, "not a number", 0.0 },
    { kTPFreq, "not a number", 20.0 }, { kTPShape, "Saw", 2.0 },
  };
  for (const auto& c : kCases)
  {
    EXPECT_EQ(set(c.param, c.text), 1) << c.text;
    EXPECT_EQ(plug.Value(c.param), c.value) << c.text;
  }
  const int changes = plug.Log().paramChangedCount;
  EXPECT_EQ(h.Dispatch(effString2Parameter, kTPMix, 0, nullptr), 1);
  EXPECT_EQ(plug.Log().paramChangedCount, changes);
  EXPECT_EQ(set(kTPNumParams, "1"), 0);
  EXPECT_EQ(set(-1, "1"), 0);

  // setParameter reaches the editor normalised and bounded, as the
  // parameter takes it; neither talks back to the host.
  h.SetParameter(kTPFreq, 0.5f);
  EXPECT_EQ(plug.Log().lastControlNormalized, 1);
  EXPECT_EQ(plug.Log().lastControlValue, 0.5);
  const float wild[] = { NAN, 2.0f, -1.0f, INFINITY };
  const double bounded[] = { 0.0, 1.0, 0.0, 1.0 };
  for (int i = 0; i < 4; ++i)
  {
    h.SetParameter(kTPMix, wild[i]);
    EXPECT_EQ(plug.Log().lastControlValue, bounded[i]) << i;
    EXPECT_EQ(h.GetParameter(kTPMix), (float)bounded[i]) << i;
  }
  h.SetParameter(kTPNumParams, 0.5f);
  h.SetParameter(-1, 0.5f);
  EXPECT_EQ(h.GetParameter(kTPNumParams), 0.0f);
  EXPECT_TRUE(h.Calls().empty());
}

TEST(AdapterState, VendorSpecificParameterQueries)
{
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  // 7: display text of a normalised value; 8: two-state?; 27: text to
  // normalised value, written back. None of them sets anything.
  const struct
  {
    int sub, param;
    const char* in;
    float opt;
    VstIntPtr result;
    const char* out;
  } kCases[] = {
    { 7, kTPShape, "x", 1.0f, 0xBEEF, "Noise" },
    { 7, kTPMix, "x", 0.5f, 0xBEEF, "50.00" },
    { 7, kTPNumParams, "kept", 0.5f, 0xBEEF, "kept" },
    { 7, kTPMix, nullptr, 0.5f, 0, nullptr },
    { 8, kTPBypass, nullptr, 0, 0xBEEF, nullptr },
    { 8, kTPToggle, nullptr, 0, 0xBEEF, nullptr },
    { 8, kTPShape, nullptr, 0, 0, nullptr },
    { 8, kTPMix, nullptr, 0, 0, nullptr },
    { 8, kTPNumParams, nullptr, 0, 0, nullptr },
    { 27, kTPMix, "neither", 0, 0xBEEF, "0.00000000000000000" },
    { 27, kTPMix, "75", 0, 0xBEEF, "0.75000000000000000" },
    { 27, kTPShape, "Square", 0, 0xBEEF, "0.33333333333333331" },
    { 27, kTPMix, "", 0, 0xBEEF, "" },
    { 27, kTPMix, nullptr, 0, 0, nullptr },
    { 27, kTPNumParams, "1", 0, 0, "1" },
    { 12345, 0, "1", 0, 0, "1" },
  };
  for (const auto& c : kCases)
  {
    SCOPED_TRACE(testing::Message() << c.sub << " param " << c.param << " " << (c.in ? c.in : "null"));
    char buf[64] = "";
    if (c.in) std::strcpy(buf, c.in);
    EXPECT_EQ(plug.host.Dispatch(effVendorSpecific, c.sub, c.param, c.in ? buf : nullptr, c.opt), c.result);
    if (c.out)
    {
      EXPECT_STREQ(buf, c.out);
    }
  }
  EXPECT_EQ(plug.Value(kTPMix), 50.0);
  EXPECT_EQ(plug.Value(kTPShape), 0.0);
}

// ================================================================ hostile input

TEST(AdapterState, BankWithBadNameLengthIsRejected)
{
  Plug source(TESTPLUG_PATH);
  ASSERT_TRUE(source.Ok());
  const std::vector<uint8_t> bank = source.host.GetChunk(false);
  const std::vector<BankSlot> slots = ParseBank(bank);
  ASSERT_EQ(slots.size(), 25u);

  for (int32_t len : { -1, -5, -2147483647 - 1, 0x7fffffff, (int32_t)bank.size() })
  {
    SCOPED_TRACE(len);
    Plug plug(TESTPLUG_PATH);
    ASSERT_TRUE(plug.Ok());
    plug.host.SetProgram(2);
    plug.host.Dispatch(effSetProgramName, 0, 0, (void*)"Mine");
    std::vector<uint8_t> bad = bank;
    std::memcpy(bad.data() + slots[1].lengthPos, &len, 4);
    EXPECT_EQ(plug.host.SetChunk(bad, false), 0);
    // Slots past the corrupt one are untouched.
    EXPECT_EQ(plug.host.ProgramNameIndexed(2), "Mine");
    EXPECT_EQ(plug.host.ProgramNameIndexed(3), "- 4 -");
    ExpectParamsInRange(plug);
  }
}

TEST(AdapterState, SetChunkRefusesMissingOrEmptyData)
{
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  quorvex::VstHost& h = plug.host;
  SetTestValues(plug);
  std::vector<uint8_t> before = h.GetChunk(true);
  plug.ClearLog();
  for (int isProgram = 0; isProgram < 2; ++isProgram)
  {
    EXPECT_EQ(h.Dispatch(effSetChunk, isProgram, 64, nullptr), 0);
    for (VstIntPtr size : { (VstIntPtr)0, (VstIntPtr)-1, -((VstIntPtr)1 << 40) })
      EXPECT_EQ(h.Dispatch(effSetChunk, isProgram, size, before.data()), 0) << size;
  }
  EXPECT_EQ(plug.Log().paramChangedCount, 0);
  EXPECT_EQ(h.GetChunk(true), before);
}

TEST(AdapterState, SetChunkWithThePlugInsOwnBytes)
{
  // A host may hand back the very buffer effGetChunk gave it.
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  SetTestValues(plug);
  for (int index = 0; index < 2; ++index)
  {
    void* data = nullptr;
    const VstIntPtr size = plug.host.Dispatch(effGetChunk, index, 0, &data);
    ASSERT_GT(size, 0);
    EXPECT_EQ(plug.host.Dispatch(effSetChunk, index, size, data), 1);
    EXPECT_EQ(plug.Value(kTPMix), 25.0);
    EXPECT_EQ(plug.Value(kTPOffset), 12.0);
  }
  // Each kind's buffer stays valid while the other kind is loaded from it.
  void* program = nullptr;
  void* bank = nullptr;
  const VstIntPtr programSize = plug.host.Dispatch(effGetChunk, 1, 0, &program);
  const VstIntPtr bankSize = plug.host.Dispatch(effGetChunk, 0, 0, &bank);
  plug.host.Dispatch(effSetChunk, 0, programSize, program);
  plug.host.Dispatch(effSetChunk, 1, bankSize, bank);
  ExpectParamsInRange(plug);
}

TEST(AdapterState, RandomChunkBytesKeepParametersInRange)
{
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  uint32_t seed = 12345;
  auto next = [&]() { return seed = seed * 1664525u + 1013904223u; };
  for (int round = 0; round < 300; ++round)
  {
    std::vector<uint8_t> bytes(1 + next() % 600);
    for (uint8_t& b : bytes) b = (uint8_t)(next() >> 24);
    // Half of them look like ours, so the readers past the header run too.
    if (round % 2) std::memcpy(bytes.data(), kHeader, bytes.size() < 8 ? bytes.size() : 8);
    plug.host.SetChunk(bytes, (round / 2) % 2 == 0);
  }
  ExpectParamsInRange(plug);
  for (int p = 0; p < kTPNumParams; ++p) EXPECT_FALSE(std::isnan(plug.Value(p)));
}

TEST(AdapterState, TextsCopiedToHostBuffersAreBounded)
{
  Plug plug(TESTPLUG_PATH);
  ASSERT_TRUE(plug.Ok());
  // 1e40 with two decimals is far longer than a host's parameter text.
  plug.host.SetParameter(kTPRange, 1.0f);
  plug.host.SetParameter(kTPMix, 1.0f);
  // Program names are kept long but handed out in at most 64 bytes.
  std::string longName(300, 'n');
  plug.host.Dispatch(effSetProgramName, 0, 0, &longName[0]);

  // Each call must terminate inside its field and write nothing past it.
  auto expectBounded = [&](VstInt32 op, int index, int value, size_t field)
  {
    SCOPED_TRACE(testing::Message() << "opcode " << op << " index " << index);
    unsigned char buf[128];
    std::memset(buf, 0xAB, sizeof(buf));
    plug.host.Dispatch(op, index, value, buf, 1.0f);
    EXPECT_NE(std::memchr(buf, 0, field), nullptr);
    for (size_t i = field; i < sizeof(buf); ++i) ASSERT_EQ(buf[i], 0xAB) << "byte " << i;
  };
  for (VstInt32 op : { effGetParamName, effGetParamLabel, effGetParamDisplay })
    for (int p = 0; p < kTPNumParams; ++p) expectBounded(op, p, 0, 32);
  expectBounded(effVendorSpecific, 7, kTPRange, 32);
  expectBounded(effGetProgramName, 0, 0, 64);
  expectBounded(effGetProgramNameIndexed, 0, 0, 64);
  expectBounded(effGetEffectName, 0, 0, 32);
  expectBounded(effGetVendorString, 0, 0, 64);
  expectBounded(effGetProductString, 0, 0, 64);

  EXPECT_EQ(plug.host.ProgramName().size(), 63u);
  EXPECT_EQ(plug.host.ParamName(kTPFreq), "Frequency of the test oscillato");
  EXPECT_EQ(plug.host.ParamLabel(kTPRange).size(), 31u);
  EXPECT_EQ(plug.host.ParamDisplay(kTPRange).size(), 31u);
  EXPECT_EQ(plug.host.ParamDisplay(kTPMix), "100.00");
  EXPECT_EQ(plug.host.ParamLabel(kTPMix), "%");
}
