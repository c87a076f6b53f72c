// effEditOpen refused by the system: each allocation in turn, the event
// thread's start, and no X display. The host gets 1 with an editor open,
// or 0 with no window, thread or connection left; either way the instance
// works and opens its editor on the next try.
#include "FaultTestUtil.h"

using namespace faulttest;

namespace
{

// An instance resumed at 44.1 kHz whose editor has opened and drawn once.
void Ready(quorvex::VstHost& h, Parent& parent)
{
  ASSERT_EQ(Load(h), "");
  h.Open();
  ExpectWorks(h, parent, "before");
}

// After an open the host was told failed: nothing of an editor remains.
void ExpectNoEditor(Parent& parent, const Census& before, const std::string& where)
{
  EXPECT_EQ(parent.Children(), 0) << where << ": a window is left";
  Census now = Take();
  now.heapBlocks = before.heapBlocks;  // the instance's own; compared once it is closed
  ExpectGivenBack(before, now, where);
}

}  // namespace

TEST(FaultEditor, EachAllocationOfEffEditOpen)
{
  if (!stress::AllocationsFail()) GTEST_SKIP() << kHeapNotReplaced;
  ASSERT_TRUE(Module::Get().Ok());
  Parent parent;
  ASSERT_TRUE(parent.window) << "no X server";
  WarmUp(parent);
  long refused = 0, opened = 0, n = 1;
  for (;; ++n)
  {
    const std::string where = "allocation " + std::to_string(n);
    const Census outside = Take();
    {
      quorvex::VstHost h;
      Ready(h, parent);
      const Census before = Take();
      VstIntPtr result = -1;
      const long counted = WithAllocationRefused(n, [&] { result = EditOpen(h, parent.window); });
      if (result == 1)
      {
        EXPECT_EQ(parent.Children(), 1) << where;
        EXPECT_EQ(h.Dispatch(effEditClose), 1) << where;
      }
      if (counted < n)
      {
        EXPECT_EQ(result, 1) << where;
        break;
      }
      if (result == 1)
      {
        ++opened;
      }
      else
      {
        ++refused;
        EXPECT_EQ(result, 0) << where;
        ExpectNoEditor(parent, before, where);
      }
      ExpectWorks(h, parent, where);
    }
    ExpectGivenBack(outside, Take(), where);
    if (HasFailure()) break;
  }
  Record("effEditOpen, each of its " + Count(n - 1, "allocation") + " refused",
         Count(refused, "time") + " 0 with no window, thread or connection left, " + Count(opened, "time") +
             " 1 with the editor open; the instance works after each");
}

TEST(FaultEditor, EventThreadCannotStart)
{
  if (!stress::ThreadStartsFail()) GTEST_SKIP() << "pthread_create is not replaced in this build";
  ASSERT_TRUE(Module::Get().Ok());
  Parent parent;
  ASSERT_TRUE(parent.window) << "no X server";
  quorvex::VstHost h;
  Ready(h, parent);
  const Census before = Take();
  stress::FailThreadStarts(1);
  const VstIntPtr result = EditOpen(h, parent.window);
  stress::FailThreadStarts(0);
  EXPECT_EQ(result, 0);
  ExpectNoEditor(parent, before, "thread start refused");
  ExpectWorks(h, parent, "after the refused thread start");
  Record("effEditOpen, the event thread's pthread_create refused (EAGAIN)",
         std::to_string(result) + ", no window, thread or connection left; the editor opens on the next try");
}

namespace
{

struct DisplayCase
{
  const char* name;
  const char* display;  // null: unset
};

class FaultDisplay : public ::testing::TestWithParam<DisplayCase>
{
};

}  // namespace

TEST_P(FaultDisplay, EditOpenWithoutServer)
{
  ASSERT_TRUE(Module::Get().Ok());
  Parent parent;
  ASSERT_TRUE(parent.window) << "no X server";
  const std::string saved = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  quorvex::VstHost h;
  Ready(h, parent);
  const Census before = Take();
  const DisplayCase c = GetParam();
  if (c.display)
    setenv("DISPLAY", c.display, 1);
  else
    unsetenv("DISPLAY");
  const VstIntPtr result = EditOpen(h, parent.window);
  const VstIntPtr idle = h.Dispatch(effEditIdle);
  const VstIntPtr closed = h.Dispatch(effEditClose);
  setenv("DISPLAY", saved.c_str(), 1);
  EXPECT_EQ(result, 0);
  ExpectNoEditor(parent, before, c.name);
  ExpectWorks(h, parent, std::string("after ") + c.name);
  Record(std::string("effEditOpen with ") + c.name,
         std::to_string(result) + " (effEditIdle " + std::to_string(idle) + ", effEditClose " +
             std::to_string(closed) + "), nothing left open; the editor opens once the display is back");
}

INSTANTIATE_TEST_SUITE_P(Displays, FaultDisplay,
                         ::testing::Values(DisplayCase{ "DISPLAY unset", nullptr },
                                           DisplayCase{ "DISPLAY at a server that is not there", ":9999" }),
                         [](const ::testing::TestParamInfo<DisplayCase>& i)
                         { return std::string(i.param.display ? "NoServer" : "Unset"); });
