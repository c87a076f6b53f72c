// Shared by the forced-failure runs: the built plug-in kept loaded, calls
// into it with one allocation or thread start refused (AudioWatch), what
// an instance holds, and whether an instance still works afterwards.
#pragma once

#include "QuorvexParams.h"
#include "ProcessCounts.h"
#include "StressHost.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines None, Bool and the like.
#include "EditorUser.h"

#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace faulttest
{

using latency::EditOpen;
using latency::kEditorH;
using latency::kEditorW;
using qtest::kDry;
using qtest::kFeedback;
using qtest::kNumParams;
using qtest::kRate;
using qtest::Normalised;
using qtest::SetParam;
using stresstest::CountEntries;

// Why allocations cannot be refused in this build.
const char* const kHeapNotReplaced =
    "the heap is a sanitizer's (or not glibc's) in this build, so no allocation can be refused";

// Test names of table cases whose name is one word.
template <class Case> std::string CaseName(const ::testing::TestParamInfo<Case>& i) { return i.param.name; }

// The built plug-in, loaded once for the whole run: what it fills once
// (decoded images, fonts) stays filled, so heap counts before and after a
// call compare. Its own malloc calls count for FailAllocation.
class Module
{
public:
  static Module& Get()
  {
    static Module module;
    return module;
  }
  bool Ok() const { return mEntry != nullptr; }
  quorvex::VstHost::EntryProc Entry() const { return mEntry; }

private:
  Module()
  {
    mHandle = dlopen(QUORVEX_EFFECT_PATH, RTLD_NOW | RTLD_LOCAL);
    if (mHandle) mEntry = (quorvex::VstHost::EntryProc)dlsym(mHandle, "VSTPluginMain");
    stress::CountAllocationsFrom((const void*)mEntry);
  }
  void* mHandle = nullptr;
  quorvex::VstHost::EntryProc mEntry = nullptr;
};

// Runs call with the calling thread's nth counted allocation refused;
// returns how many allocations it made (fewer than n: none was refused).
template <class F> long WithAllocationRefused(long n, F call)
{
  stress::FailAllocation(n);
  call();
  const long counted = stress::AllocationsCounted();
  stress::FailAllocation(0);
  return counted;
}

// The host's own logging allocates; calls under a refused allocation must
// see the plug-in's allocations only.
inline std::string Load(quorvex::VstHost& h)
{
  h.SetCallLogging(false);
  return h.LoadEntry(Module::Get().Entry(), "Quorvex2");
}

// What an instance takes from the process and gives back when it is done.
struct Census
{
  int fds = 0, threads = 0;
  long heapBlocks = 0;
};

inline Census Take()
{
  Census c;
  c.fds = CountEntries("/proc/self/fd");
  c.threads = CountEntries("/proc/self/task");
  c.heapBlocks = stress::LiveAllocations();
  return c;
}

inline void ExpectGivenBack(const Census& before, const Census& after, const std::string& where)
{
  EXPECT_EQ(after.fds, before.fds) << where << ": descriptors";
  EXPECT_EQ(after.threads, before.threads) << where << ": threads";
  EXPECT_EQ(after.heapBlocks, before.heapBlocks) << where << ": heap blocks";
}

// A stereo block of noise with an impulse through processReplacing; true
// when every output sample is finite and some are not 0.
inline bool ProcessesAudio(quorvex::VstHost& h, int frames = 512)
{
  std::vector<float> in(2 * (size_t)frames), out(2 * (size_t)frames, 0.f);
  unsigned seed = 12345;
  for (float& v : in)
  {
    seed = seed * 1664525u + 1013904223u;
    v = (float)((seed >> 8) & 0xffff) / 65536.f - 0.5f;
  }
  in[0] = in[(size_t)frames] = 1.f;
  float* ins[2] = { &in[0], &in[(size_t)frames] };
  float* outs[2] = { &out[0], &out[(size_t)frames] };
  if (!h.ProcessReplacing(ins, outs, frames)) return false;
  bool any = false;
  for (float v : out)
  {
    if (!std::isfinite(v)) return false;
    any = any || v != 0.f;
  }
  return any;
}

// A host window for the editor on the test's own connection; 0 without
// an X server.
class Parent
{
public:
  Parent()
  {
    if (screen.dpy) window = screen.MakeParent(0, 0, kEditorW, kEditorH);
  }
  ~Parent()
  {
    if (window) XDestroyWindow(screen.dpy, window);
    if (screen.dpy) XSync(screen.dpy, False);
  }
  // Child windows in it: the editor's, when open.
  int Children()
  {
    XSync(screen.dpy, False);
    return (int)screen.Children(window).size();
  }
  // The editor's window in it shows its face.
  bool Drawn() { return latency::Drawn(screen, window); }

  x11test::TestScreen screen;
  Window window = 0;
};

// The instance processes audio (the dry signal on), answers parameters (a
// value set reads back, its display text is there) and, with an X server,
// opens its editor in parent, which draws, and closes it. Failures name
// where.
inline void ExpectWorks(quorvex::VstHost& h, Parent& parent, const std::string& where)
{
  ASSERT_TRUE(h.IsLoaded()) << where;
  SetParam(h, kDry, 100);
  EXPECT_TRUE(ProcessesAudio(h)) << where << ": audio";
  h.SetParameter(kFeedback, Normalised(kFeedback, 33));
  EXPECT_NEAR(h.GetParameter(kFeedback), Normalised(kFeedback, 33), 1e-6) << where << ": parameter";
  EXPECT_EQ(h.ParamDisplay(kFeedback), "33") << where << ": parameter text";
  if (!parent.window) return;
  EXPECT_EQ(EditOpen(h, parent.window), 1) << where << ": editor open";
  // Its face drawn (the texts too), so every open draws what the first did.
  EXPECT_TRUE(x11test::WaitFor([&] { return parent.Drawn(); })) << where << ": editor drawn";
  EXPECT_EQ(h.Dispatch(effEditClose), 1) << where << ": editor close";
}

// Fills what stays filled for the process (decoded images, fonts, the
// glyphs the checks draw) with instances of its own; the second lets what
// the C library frees late of the first one's threads go.
inline void WarmUp(Parent& parent)
{
  for (int i = 0; i < 2; ++i)
  {
    quorvex::VstHost h;
    ASSERT_EQ(Load(h), "");
    h.Open();
    ExpectWorks(h, parent, "warm-up");
  }
}

// "1 time", "3 times".
inline std::string Count(long n, const char* noun)
{
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

// One line of the record of what the host saw: "fault: <what>: <seen>";
// only when the test saw what it says.
inline void Record(const std::string& what, const std::string& seen)
{
  if (::testing::Test::HasFailure()) return;
  std::printf("fault: %s: %s\n", what.c_str(), seen.c_str());
  std::fflush(stdout);
}

}  // namespace faulttest
