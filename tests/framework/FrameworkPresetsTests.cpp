// Preset slots, parameter serialisation and the program and bank chunks,
// including truncated and corrupt chunks from a host.
#include "FakePlug.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{

const std::vector<double> kFactory{ 12, 2, 90, 60, 100, 50 };
const std::vector<double> kOther{ 3, 4, -7, 11, 22, 33 };

// Six parameters shaped like the delay effect's.
std::unique_ptr<FakePlug> MakePlug(int nPresets = 25)
{
  auto plug = std::make_unique<FakePlug>(6, "1-1 2-2", nPresets);
  plug->GetParam(0)->DefineEnum("Delay Rate", 12, 25);
  plug->GetParam(1)->DefineEnum("Ping Pong", 2, 5);
  plug->GetParam(2)->DefineInt("Pan Width", 90, -100, 100, "%");
  plug->GetParam(3)->DefineInt("Feedback", 60, 0, 100, "%");
  plug->GetParam(4)->DefineDouble("Dry Mix", 100.0, 0.0, 100.0, 1.0, "%");
  plug->GetParam(5)->DefineDouble("Wet Mix", 50.0, 0.0, 100.0, 1.0, "%");
  return plug;
}

void SetLive(FakePlug& plug, const std::vector<double>& v)
{
  for (int i = 0; i < plug.NParams(); ++i) plug.GetParam(i)->SetValue(v[i]);
}

std::vector<uint8_t> BytesOf(const StateChunk& c)
{
  return std::vector<uint8_t>(c.GetBytes(), c.GetBytes() + c.Size());
}

void ChunkOf(StateChunk* c, const std::vector<uint8_t>& bytes, size_t n)
{
  c->Clear();
  c->AppendBytes(bytes.data(), (int)n);
}

void ValuesChunk(StateChunk* c, bool header, const std::vector<double>& values)
{
  c->Clear();
  if (header) WriteChunkHeader(c);
  for (double v : values) c->AppendValue(v);
}

void ExpectInRange(const FakePlug& plug)
{
  for (int i = 0; i < plug.NParams(); ++i)
  {
    EXPECT_GE(plug.GetParam(i)->Value(), plug.GetParam(i)->GetMin()) << i;
    EXPECT_LE(plug.GetParam(i)->Value(), plug.GetParam(i)->GetMax()) << i;
  }
}

// Fills every slot with distinct factory values and names of varied length.
int FillFactory(FakePlug& plug)
{
  int nameBytes = 0;
  for (int k = 0; k < plug.NPresets(); ++k)
  {
    const std::string name = "Preset " + std::string(k % 7, '*') + std::to_string(k);
    nameBytes += (int)name.size();
    plug.AddFactoryPreset(name.c_str(), k % 25, k % 5, k - 12, 4 * k, 100.0 - k, 2.0 * k);
  }
  return nameBytes;
}

}  // namespace

TEST(FrameworkPresets, ProgramChunkLayoutAndRoundTrip)
{
  auto plug = MakePlug();
  StateChunk chunk;
  ASSERT_TRUE(plug->SerializeProgram(&chunk));
  ASSERT_EQ(chunk.Size(), 56);
  const std::vector<uint8_t> bytes = BytesOf(chunk);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
            (std::vector<uint8_t>{ 0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00 }));
  for (int i = 0; i < 6; ++i)
  {
    uint64_t bits = 0;
    for (int b = 7; b >= 0; --b) bits = (bits << 8) | bytes[8 + 8 * i + b];  // little-endian
    double v;
    std::memcpy(&v, &bits, 8);
    EXPECT_EQ(v, kFactory[i]) << i;
  }

  SetLive(*plug, kOther);
  plug->mLog.clear();
  EXPECT_EQ(plug->UnserializeState(&chunk, false), 56);
  EXPECT_EQ(plug->LiveValues(), kFactory);
  EXPECT_EQ(plug->CountCalls("changed"), 6);
  EXPECT_EQ(plug->SlotValues(0), kFactory);  // the current slot follows

  // Out-of-range values are bounded on load; non-finite ones refuse it.
  StateChunk wild;
  ValuesChunk(&wild, true, { 99, -3, -1000, 150, 1e300, -5 });
  EXPECT_EQ(plug->UnserializeState(&wild, false), 56);
  EXPECT_EQ(plug->LiveValues(), (std::vector<double>{ 24, 0, -100, 100, 100, 0 }));
  for (double bad : { (double)NAN, (double)INFINITY, -(double)INFINITY })
  {
    ValuesChunk(&wild, true, { 1, 1, 1, 1, 1, bad });
    EXPECT_EQ(plug->UnserializeState(&wild, false), -1);
    EXPECT_EQ(plug->LiveValues(), (std::vector<double>{ 24, 0, -100, 100, 100, 0 }));
  }

  // Without the magic the bytes are plain values from byte 0, whichever kind.
  StateChunk bare;
  ValuesChunk(&bare, false, kOther);
  for (bool isBank : { false, true })
  {
    SetLive(*plug, kFactory);
    EXPECT_EQ(plug->UnserializeState(&bare, isBank), 48);
    EXPECT_EQ(plug->LiveValues(), kOther);
  }
}

// What a refused load must leave exactly as it was.
struct Snapshot
{
  std::vector<double> live;
  std::vector<std::vector<double>> slots;
  std::vector<std::string> names;
  std::vector<bool> inits;
  int current;
  bool operator==(const Snapshot& o) const
  {
    return live == o.live && slots == o.slots && names == o.names && inits == o.inits && current == o.current;
  }
};

Snapshot SnapshotOf(const FakePlug& plug)
{
  Snapshot s{ plug.LiveValues(), {}, {}, {}, plug.GetCurrentPresetIdx() };
  for (int k = 0; k < plug.NPresets(); ++k)
  {
    s.slots.push_back(plug.SlotValues(k));
    s.names.push_back(plug.GetPresetName(k));
    s.inits.push_back(plug.IsPresetInitialized(k));
  }
  return s;
}

TEST(FrameworkPresets, RefusedLoadsChangeNothing)
{
  auto source = MakePlug(4);
  FillFactory(*source);
  StateChunk bankChunk, programChunk;
  ASSERT_TRUE(source->SerializeBank(&bankChunk));
  ASSERT_TRUE(source->SerializeProgram(&programChunk));
  const std::vector<uint8_t> bank = BytesOf(bankChunk), program = BytesOf(programChunk);

  auto plug = MakePlug(4);
  plug->AddFactoryPreset("kept", 1, 1, 1, 1, 1.0, 1.0);  // slots 1..3 left empty
  ASSERT_TRUE(plug->SelectPreset(2));
  SetLive(*plug, kOther);
  const Snapshot before = SnapshotOf(*plug);
  plug->mLog.clear();
  auto refused = [&](const std::vector<uint8_t>& bytes, size_t n, bool isBank)
  {
    StateChunk chunk;
    ChunkOf(&chunk, bytes, n);
    EXPECT_EQ(plug->UnserializeState(&chunk, isBank), -1);
    EXPECT_TRUE(SnapshotOf(*plug) == before);
  };

  for (size_t cut = 0; cut < program.size(); ++cut)
  {
    SCOPED_TRACE(testing::Message() << "program cut at " << cut);
    refused(program, cut, false);
  }
  for (size_t cut = 0; cut < bank.size(); ++cut)
  {
    SCOPED_TRACE(testing::Message() << "bank cut at " << cut);
    refused(bank, cut, true);
  }
  // Each kind refused as the other; bytes left over; an unknown version or
  // flag byte; header-less data of the wrong size.
  refused(bank, bank.size(), false);
  refused(program, program.size(), true);
  std::vector<uint8_t> longer = bank;
  longer.push_back(0);
  refused(longer, longer.size(), true);
  longer = program;
  longer.push_back(0);
  refused(longer, longer.size(), false);
  for (uint8_t versionByte : { 0x00, 0x02 })
  {
    std::vector<uint8_t> old = program;
    old[6] = versionByte;
    refused(old, old.size(), false);
  }
  std::vector<uint8_t> flag = bank;
  flag[8 + 4 + std::strlen(source->GetPresetName(0))] = 2;
  refused(flag, flag.size(), true);
  const std::vector<uint8_t> bare(6 * 8 + 1, 0);
  refused(bare, 47, false);
  refused(bare, 49, true);
  // A megabyte of noise.
  std::vector<uint8_t> noise(1 << 20);
  uint32_t x = 12345;
  for (uint8_t& b : noise) b = (uint8_t)((x = x * 1103515245u + 12345u) >> 24);
  refused(noise, noise.size(), false);
  refused(noise, noise.size(), true);
  EXPECT_EQ(plug->CountCalls("changed"), 0);
}

TEST(FrameworkPresets, BankChunkSizeRoundTripAndCurrentPreset)
{
  auto source = MakePlug();
  const int nameBytes = FillFactory(*source);
  StateChunk bank;
  ASSERT_TRUE(source->SerializeBank(&bank));
  EXPECT_EQ(bank.Size(), 8 + 25 * (4 + 1 + 48) + nameBytes);

  // The loading instance's current preset (3) is live again afterwards.
  auto third = MakePlug();
  for (int k = 0; k < 25; ++k) third->AddFactoryPreset("third", 1, 1, 1, 1, 1.0, 1.0);
  StateChunk thirdBank;
  third->SerializeBank(&thirdBank);
  auto dest = MakePlug();
  ASSERT_TRUE(dest->SelectPreset(3));
  EXPECT_EQ(dest->UnserializeState(&thirdBank, true), thirdBank.Size());
  EXPECT_EQ(dest->LiveValues(), (std::vector<double>(6, 1.0)));
  EXPECT_STREQ(dest->GetPresetName(3), "third");
  EXPECT_EQ(dest->GetCurrentPresetIdx(), 3);

  EXPECT_EQ(dest->UnserializeState(&bank, true), bank.Size());
  for (int k = 0; k < 25; ++k)
  {
    EXPECT_STREQ(dest->GetPresetName(k), source->GetPresetName(k));
    EXPECT_TRUE(dest->IsPresetInitialized(k));
    EXPECT_EQ(dest->SlotValues(k), source->SlotValues(k));
  }
  EXPECT_EQ(dest->LiveValues(), source->SlotValues(3));

  // Saving a bank stores the live values into the current slot first;
  // values stored out of range come back bounded.
  auto live = MakePlug(2);
  live->AddFactoryPreset("hot", 0, 0, 0, 0, 0.0, 150.0);
  live->AddFactoryPreset("hot", 0, 0, 0, 0, 0.0, 150.0);
  SetLive(*live, kOther);
  StateChunk liveBank;
  ASSERT_TRUE(live->SerializeBank(&liveBank));
  EXPECT_EQ(live->SlotValues(0), kOther);
  ASSERT_TRUE(live->SelectPreset(1));
  EXPECT_EQ(live->LiveValues()[5], 100.0);
}

TEST(FrameworkPresets, CorruptBankNamesAreRefusedOrTruncated)
{
  for (int32_t len : { -1, -8, -12, -2147483647 - 1, 1000, 2147483647 })
  {
    auto plug = MakePlug(2);
    FillFactory(*plug);
    const std::vector<double> before = plug->SlotValues(1);
    StateChunk chunk;
    WriteChunkHeader(&chunk);
    chunk.AppendValue(len);
    chunk.AppendBytes(std::string(20, 'a').data(), 20);
    chunk.AppendBool(true);
    for (double v : kOther) chunk.AppendValue(v);
    EXPECT_EQ(plug->UnserializeState(&chunk, true), -1) << len;
    EXPECT_EQ(plug->SlotValues(1), before) << len;
    EXPECT_STREQ(plug->GetPresetName(1), "Preset *1") << len;
    ExpectInRange(*plug);
  }

  // A name longer than the field is cut to fit; a zero-length name takes
  // the previous slot's.
  auto plug = MakePlug(3);
  StateChunk chunk;
  WriteChunkHeader(&chunk);
  chunk.AppendText(std::string(300, 'x').c_str());
  chunk.AppendBool(true);
  for (double v : kFactory) chunk.AppendValue(v);
  chunk.AppendValue((int32_t)0);
  chunk.AppendBool(false);
  chunk.AppendText("third");
  chunk.AppendBool(true);
  for (double v : kOther) chunk.AppendValue(v);
  EXPECT_EQ(plug->UnserializeState(&chunk, true), chunk.Size());
  EXPECT_EQ(std::string(plug->GetPresetName(0)), std::string(MAX_PRESET_NAME_LEN - 1, 'x'));
  EXPECT_STREQ(plug->GetPresetName(1), plug->GetPresetName(0));
  EXPECT_STREQ(plug->GetPresetName(2), "third");
  EXPECT_EQ(plug->SlotValues(2), kOther);

  // An empty first name has no previous slot: the slot is named "".
  auto first = MakePlug(1);
  StateChunk empty;
  WriteChunkHeader(&empty);
  empty.AppendValue((int32_t)0);
  empty.AppendBool(true);
  for (double v : kOther) empty.AppendValue(v);
  EXPECT_EQ(first->UnserializeState(&empty, true), empty.Size());
  EXPECT_STREQ(first->GetPresetName(0), "");
  EXPECT_EQ(first->LiveValues(), kOther);
}

TEST(FrameworkPresets, SlotOperations)
{
  auto plug = MakePlug(4);
  EXPECT_STREQ(plug->GetPresetName(3), "- 4 -");
  EXPECT_STREQ(plug->GetPresetName(4), "");

  // Selecting empty slots captures the live values under user names.
  SetLive(*plug, kOther);
  ASSERT_TRUE(plug->SelectPreset(2));
  EXPECT_STREQ(plug->GetPresetName(2), "user preset 1");
  EXPECT_EQ(plug->SlotValues(2), kOther);
  ASSERT_TRUE(plug->SelectPreset(0));
  EXPECT_STREQ(plug->GetPresetName(0), "user preset 2");
  EXPECT_FALSE(plug->SelectPreset(4));
  EXPECT_FALSE(plug->SelectPreset(-1));
  EXPECT_EQ(plug->GetCurrentPresetIdx(), 0);

  // Selecting a filled slot loads it and refreshes the editor.
  plug->AttachEditor(new FakeGraphics(plug.get(), &plug->mLog));
  SetLive(*plug, kFactory);
  plug->mLog.clear();
  ASSERT_TRUE(plug->SelectPreset(2));
  EXPECT_EQ(plug->LiveValues(), kOther);
  EXPECT_EQ(plug->CountCalls("update"), 6);

  // Names are counted wherever the words appear, case-sensitively.
  auto names = MakePlug(4);
  names->AddFactoryPreset("my user preset x", 0, 0, 0, 0, 0.0, 0.0);
  names->AddFactoryPreset("User Preset", 0, 0, 0, 0, 0.0, 0.0);
  char next[MAX_PRESET_NAME_LEN];
  names->NextUserPresetName(next);
  EXPECT_STREQ(next, "user preset 2");

  // No free slot: adding does nothing; factory presets leave live values alone.
  auto full = MakePlug(1);
  full->AddFactoryPreset("only", 1, 1, 1, 1, 1.0, 1.0);
  full->AddFactoryPreset("extra", 2, 2, 2, 2, 2.0, 2.0);
  full->AddPresetsFromCurrent("more", 3);
  EXPECT_STREQ(full->GetPresetName(0), "only");
  EXPECT_EQ(full->SlotValues(0), std::vector<double>(6, 1.0));
  EXPECT_EQ(full->LiveValues(), kFactory);

  auto fromCurrent = MakePlug(3);
  fromCurrent->AddPresetsFromCurrent(nullptr, 2);
  EXPECT_STREQ(fromCurrent->GetPresetName(1), "Default");
  EXPECT_EQ(fromCurrent->SlotValues(1), kFactory);
  EXPECT_FALSE(fromCurrent->IsPresetInitialized(2));

  // Declared without slots: one "Default" slot, added once.
  auto bare = MakePlug(0);
  bare->EnsureDefaultPreset();
  bare->EnsureDefaultPreset();
  ASSERT_EQ(bare->NPresets(), 1);
  EXPECT_STREQ(bare->GetPresetName(0), "Default");
  EXPECT_EQ(bare->SlotValues(0), kFactory);

  // Storing renames only with a non-empty name.
  SetLive(*bare, kOther);
  bare->StoreCurrentPreset("");
  EXPECT_STREQ(bare->GetPresetName(0), "Default");
  bare->StoreCurrentPreset("Mine");
  EXPECT_STREQ(bare->GetPresetName(0), "Mine");
  EXPECT_EQ(bare->SlotValues(0), kOther);
}
