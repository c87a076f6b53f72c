// effSetChunk with each of its allocations refused in turn, for a program
// and for a bank: the host gets 1 and the new state, or 0 and the state as
// it was, and the instance goes on working.
#include "FaultTestUtil.h"

using namespace faulttest;

namespace
{

// Everything of the state the host can read back.
struct Seen
{
  std::vector<float> params;
  VstIntPtr program = -1;
  std::string programName;
  std::vector<uint8_t> bank;

  bool operator==(const Seen& o) const
  {
    return params == o.params && program == o.program && programName == o.programName && bank == o.bank;
  }
};

Seen Read(quorvex::VstHost& h)
{
  Seen s;
  for (int i = 0; i < kNumParams; ++i) s.params.push_back(h.GetParameter(i));
  s.program = h.GetProgram();
  s.programName = h.ProgramName();
  s.bank = h.GetChunk(false);
  return s;
}

// A state far from the defaults: other values, another program, renamed
// slots.
std::vector<uint8_t> OtherState(bool program)
{
  quorvex::VstHost h;
  EXPECT_EQ(Load(h), "");
  h.SetProgram(7);
  const double v[kNumParams] = { 20, 4, -40, 85, 30, 95 };
  for (int i = 0; i < kNumParams; ++i) SetParam(h, i, v[i]);
  char name[] = "Refused Slot";
  h.Dispatch(effSetProgramName, 0, 0, name);
  h.SetProgram(23);
  SetParam(h, kRate, 3);
  return h.GetChunk(program);
}

struct ChunkCase
{
  const char* name;
  bool program;
};

class FaultChunk : public ::testing::TestWithParam<ChunkCase>
{
};

}  // namespace

TEST_P(FaultChunk, EachAllocationOfEffSetChunk)
{
  if (!stress::AllocationsFail()) GTEST_SKIP() << kHeapNotReplaced;
  ASSERT_TRUE(Module::Get().Ok());
  const ChunkCase c = GetParam();
  const std::vector<uint8_t> chunk = OtherState(c.program);
  ASSERT_FALSE(chunk.empty());
  // What a load that goes through leaves.
  Seen loaded;
  {
    quorvex::VstHost h;
    ASSERT_EQ(Load(h), "");
    h.Open();
    ASSERT_EQ(h.SetChunk(chunk, c.program), 1);
    loaded = Read(h);
  }

  Parent parent;
  WarmUp(parent);
  long refused = 0, accepted = 0;
  long n = 1;
  for (;; ++n)
  {
    const std::string where = std::string(c.name) + ", allocation " + std::to_string(n);
    const Census before = Take();
    {
      quorvex::VstHost h;
      ASSERT_EQ(Load(h), "");
      h.Open();
      const Seen was = Read(h);
      std::vector<uint8_t> bytes(chunk);
      VstIntPtr result = -1;
      const long counted = WithAllocationRefused(
          n, [&]
          { result = h.Dispatch(effSetChunk, c.program ? 1 : 0, (VstIntPtr)bytes.size(), bytes.data()); });
      if (counted < n)
      {
        EXPECT_EQ(result, 1) << where;
        break;
      }
      const Seen now = Read(h);
      if (result == 1)
      {
        ++accepted;
        EXPECT_TRUE(now == loaded) << where << ": accepted, but the state is not the loaded one";
      }
      else
      {
        ++refused;
        EXPECT_EQ(result, 0) << where;
        EXPECT_TRUE(now == was) << where << ": refused, but the state changed";
      }
      ExpectWorks(h, parent, where);
      // Loads after a refusal go through.
      EXPECT_EQ(h.SetChunk(chunk, c.program), 1) << where;
    }
    ExpectGivenBack(before, Take(), where);
    if (HasFailure()) break;
  }
  Record(std::string("effSetChunk (") + c.name + "), each of its " + Count(n - 1, "allocation") + " refused",
         Count(refused, "time") + " 0 with the state as before, " + Count(accepted, "time") +
             " 1 with the new state; the instance works after each");
}

INSTANTIATE_TEST_SUITE_P(Chunks, FaultChunk,
                         ::testing::Values(ChunkCase{ "program", true }, ChunkCase{ "bank", false }),
                         CaseName<ChunkCase>);
