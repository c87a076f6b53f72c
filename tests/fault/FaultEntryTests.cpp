// VSTPluginMain with each of its allocations refused in turn, for a later
// instance (the module's images and fonts loaded) and for the first one in
// a freshly loaded module (which decodes the images): the host gets no
// effect, or a whole one that works, and nothing is left behind.
#include "FaultTestUtil.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

using namespace faulttest;

namespace
{

// The entry point run with one allocation refused; what it counted.
quorvex::VstHost::EntryProc gEntry = nullptr;
long gRefuse = 0, gCounted = 0;

AEffect* VSTCALLBACK RefusingEntry(audioMasterCallback host)
{
  AEffect* fx = nullptr;
  gCounted = WithAllocationRefused(gRefuse, [&] { fx = gEntry(host); });
  return fx;
}

// A copy of the plug-in under another name: a module of its own, loaded
// and unloaded around each try, as a host's first instance finds it.
class FreshModule
{
public:
  FreshModule()
  {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvex-fault-XXXXXX").string();
    if (!mkdtemp(&pattern[0])) return;
    mDir = pattern;
    mPath = mDir + "/Quorvex2.so";
    std::ifstream in(QUORVEX_EFFECT_PATH, std::ios::binary);
    std::ofstream out(mPath, std::ios::binary);
    out << in.rdbuf();
  }
  ~FreshModule()
  {
    Unload();
    if (!mPath.empty()) unlink(mPath.c_str());
    if (!mDir.empty()) rmdir(mDir.c_str());
  }
  quorvex::VstHost::EntryProc Load()
  {
    mHandle = dlopen(mPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!mHandle) return nullptr;
    auto entry = (quorvex::VstHost::EntryProc)dlsym(mHandle, "VSTPluginMain");
    stress::CountAllocationsFrom((const void*)entry);
    return entry;
  }
  void Unload()
  {
    if (mHandle) dlclose(mHandle);
    mHandle = nullptr;
  }

private:
  std::string mDir, mPath;
  void* mHandle = nullptr;
};

struct EntryCase
{
  const char* name;
  bool fresh;  // the first instance of a freshly loaded module
};

class FaultEntry : public ::testing::TestWithParam<EntryCase>
{
};

}  // namespace

TEST_P(FaultEntry, EachAllocationOfVSTPluginMain)
{
  if (!stress::AllocationsFail()) GTEST_SKIP() << kHeapNotReplaced;
  ASSERT_TRUE(Module::Get().Ok());
  const EntryCase c = GetParam();
  Parent parent;
  FreshModule fresh;
  // One instance through the whole cycle; for a fresh module twice, loaded
  // and unloaded, so that what the process keeps of a load is kept.
  // The host's error text when there was no effect.
  auto cycle = [&](const std::string& where, bool refuse)
  {
    std::string error;
    gEntry = c.fresh ? fresh.Load() : Module::Get().Entry();
    EXPECT_TRUE(gEntry) << where;
    if (!gEntry) return error;
    {
      quorvex::VstHost h;
      h.SetCallLogging(false);
      error = h.LoadEntry(refuse ? RefusingEntry : gEntry, "Quorvex2");
      if (error.empty())
      {
        h.Open();
        ExpectWorks(h, parent, where);
      }
    }
    if (c.fresh) fresh.Unload();
    return error;
  };
  if (c.fresh)
    for (int i = 0; i < 2; ++i) cycle("warm-up", false);
  else
    WarmUp(parent);

  long nulls = 0, whole = 0;
  for (gRefuse = 1;; ++gRefuse)
  {
    const std::string where = std::string(c.name) + ", allocation " + std::to_string(gRefuse);
    const Census before = Take();
    {
      const std::string error = cycle(where, true);
      // Ran through without a refusal: every allocation has had its turn.
      if (gCounted < gRefuse)
      {
        EXPECT_EQ(error, "");
        break;
      }
      if (error.empty())
      {
        // The refusal was absorbed (an image or a cache entry fewer).
        ++whole;
      }
      else
      {
        ++nulls;
        EXPECT_NE(error.find("returned no effect"), std::string::npos) << where << ": " << error;
      }
    }
    ExpectGivenBack(before, Take(), where);
    if (HasFailure()) break;
  }
  stress::CountAllocationsFrom((const void*)Module::Get().Entry());
  const long total = gRefuse - 1;
  EXPECT_GT(total, 0);
  Record(std::string("VSTPluginMain (") + c.name + "), each of its " + Count(total, "allocation") +
             " refused",
         Count(nulls, "time") + " no effect (null), " + Count(whole, "time") +
             " an instance that works (audio, parameters, editor); nothing left behind");
}

INSTANTIATE_TEST_SUITE_P(Instances, FaultEntry,
                         ::testing::Values(EntryCase{ "a later instance", false },
                                           EntryCase{ "the first instance of a fresh module", true }),
                         [](const ::testing::TestParamInfo<EntryCase>& i)
                         { return std::string(i.param.fresh ? "FirstInFreshModule" : "Later"); });
