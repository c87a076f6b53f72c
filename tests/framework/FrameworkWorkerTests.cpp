// The process-wide worker: jobs of several owners run one at a time in the
// order they were posted; detaching drops a pending run and waits for a
// running one (of its own job only); a job that throws ends only its run;
// the thread lives from the first attach to the last detach.
#include "IPlugWorker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace
{

// What the jobs did, in order ("A" when A's run began, "a" when it ended),
// and gates that hold a run inside it until the test opens them.
class Journal
{
public:
  void Note(const std::string& what)
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mEvents.push_back(what);
    mChanged.notify_all();
  }
  std::vector<std::string> Events()
  {
    std::lock_guard<std::mutex> lock(mMutex);
    return mEvents;
  }
  // Waits until an event is what; false when it does not come (a test
  // failing, not a measurement).
  bool WaitFor(const std::string& what)
  {
    std::unique_lock<std::mutex> lock(mMutex);
    return mChanged.wait_for(lock, std::chrono::seconds(30), [&] { return Has(what); });
  }
  bool Seen(const std::string& what)
  {
    std::lock_guard<std::mutex> lock(mMutex);
    return Has(what);
  }
  void Open()
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mOpen = true;
    mChanged.notify_all();
  }
  void WaitOpen()
  {
    std::unique_lock<std::mutex> lock(mMutex);
    mChanged.wait(lock, [&] { return mOpen; });
  }

private:
  bool Has(const std::string& what) const
  {
    for (const std::string& e : mEvents)
      if (e == what) return true;
    return false;
  }
  std::mutex mMutex;
  std::condition_variable mChanged;
  std::vector<std::string> mEvents;
  bool mOpen = false;
};

// An instance's side: its job notes the run's beginning (its name) and end
// (in lower case), doing `body` between.
struct Owner
{
  Owner(Journal* journal, const std::string& name, std::function<void()> body = nullptr)
    : journal(journal), name(name), body(body)
  {
  }
  ~Owner() { IPlugWorker::Detach(&job); }

  static void Run(void* self)
  {
    Owner* o = static_cast<Owner*>(self);
    o->journal->Note(o->name);
    if (o->body) o->body();
    std::string end = o->name;
    for (char& c : end) c = (char)std::tolower((unsigned char)c);
    o->journal->Note(end);
  }

  Journal* journal;
  std::string name;
  std::function<void()> body;
  IPlugWorkerJob job{ Run, this };
};

using Events = std::vector<std::string>;

// Opens a gate when the test ends, also when it fails early: an owner
// going away waits for its held run.
struct OpenAtEnd
{
  Journal& gate;
  ~OpenAtEnd() { gate.Open(); }
};

// Attaches the three owners, then has A start a run that holds until the
// journal opens.
::testing::AssertionResult StartHeldRun(Journal& j, Owner& a, Owner& b, Owner& c)
{
  for (Owner* o : { &a, &b, &c })
    if (!IPlugWorker::Attach(&o->job)) return ::testing::AssertionFailure() << "attach refused";
  if (!IPlugWorker::Post(&a.job) || !j.WaitFor("A"))
    return ::testing::AssertionFailure() << "A did not start";
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(IPlugWorker, ThreadLivesFromTheFirstAttachToTheLastDetach)
{
  Journal j;
  Owner a(&j, "A"), b(&j, "B");
  EXPECT_FALSE(IPlugWorker::Running());
  EXPECT_FALSE(IPlugWorker::Post(&a.job)) << "posted before attaching";

  ASSERT_TRUE(IPlugWorker::Attach(&a.job));
  EXPECT_TRUE(IPlugWorker::Running());
  EXPECT_TRUE(IPlugWorker::Attach(&a.job)) << "a second attach";
  ASSERT_TRUE(IPlugWorker::Attach(&b.job));
  IPlugWorker::Detach(&a.job);
  EXPECT_TRUE(IPlugWorker::Running()) << "stopped while B is attached";
  EXPECT_FALSE(IPlugWorker::Post(&a.job)) << "posted after detaching";
  ASSERT_TRUE(IPlugWorker::Post(&b.job));
  ASSERT_TRUE(j.WaitFor("b"));
  IPlugWorker::Detach(&b.job);
  EXPECT_FALSE(IPlugWorker::Running()) << "runs after the last detach";

  // Posts and detaches with no thread are harmless.
  EXPECT_FALSE(IPlugWorker::Post(&a.job));
  EXPECT_FALSE(IPlugWorker::Post(&b.job));
  IPlugWorker::Detach(&b.job);
  EXPECT_FALSE(IPlugWorker::Running());

  // A later attach starts it again, and jobs run.
  ASSERT_TRUE(IPlugWorker::Attach(&a.job));
  ASSERT_TRUE(IPlugWorker::Post(&a.job));
  ASSERT_TRUE(j.WaitFor("a"));
  IPlugWorker::Detach(&a.job);
  EXPECT_FALSE(IPlugWorker::Running());
  EXPECT_EQ(j.Events(), (Events{ "B", "b", "A", "a" }));
}

TEST(IPlugWorker, JobsRunOneAtATimeInPostingOrder)
{
  // A's first run is long: B, posted meanwhile, runs before A's run posted
  // after B, and a second post of a pending B adds no run.
  Journal j;
  Owner a(&j, "A", [&] { j.WaitOpen(); }), b(&j, "B"), c(&j, "C");
  OpenAtEnd opener{ j };
  ASSERT_TRUE(StartHeldRun(j, a, b, c));
  ASSERT_TRUE(IPlugWorker::Post(&b.job));
  ASSERT_TRUE(IPlugWorker::Post(&a.job));
  ASSERT_TRUE(IPlugWorker::Post(&b.job));
  ASSERT_TRUE(IPlugWorker::Post(&c.job));
  j.Open();
  ASSERT_TRUE(j.WaitFor("c"));
  EXPECT_EQ(j.Events(), (Events{ "A", "a", "B", "b", "A", "a", "C", "c" }));
}

TEST(IPlugWorker, DetachDropsAPendingRunAndWaitsForItsOwnRunningOne)
{
  Journal j;
  Journal gateB;
  Owner a(&j, "A", [&] { j.WaitOpen(); }), b(&j, "B", [&] { gateB.WaitOpen(); }), c(&j, "C");
  OpenAtEnd opener{ j }, openerB{ gateB };
  // B is pending behind A's run: detaching returns without waiting for A
  // (it would hang here), and B never runs.
  ASSERT_TRUE(StartHeldRun(j, a, b, c));
  ASSERT_TRUE(IPlugWorker::Post(&b.job));
  IPlugWorker::Detach(&b.job);
  j.Open();
  // Posted after B, so it runs after where B would have.
  ASSERT_TRUE(IPlugWorker::Post(&c.job));
  ASSERT_TRUE(j.WaitFor("c"));
  EXPECT_EQ(j.Events(), (Events{ "A", "a", "C", "c" }));

  // B running: its detach returns only once the run is over.
  ASSERT_TRUE(IPlugWorker::Attach(&b.job));
  ASSERT_TRUE(IPlugWorker::Post(&b.job));
  ASSERT_TRUE(j.WaitFor("B"));
  std::atomic<bool> returned{ false }, endedFirst{ false };
  std::thread detacher(
      [&]
      {
        IPlugWorker::Detach(&b.job);
        endedFirst = j.Seen("b");
        returned = true;
      });
  while (IPlugWorker::WaitingDetaches() == 0 && !returned) std::this_thread::yield();
  EXPECT_FALSE(returned) << "returned while its job ran";
  gateB.Open();
  detacher.join();
  EXPECT_TRUE(endedFirst) << "returned before its job's run ended";
}

TEST(IPlugWorker, JobsThatThrowEndOnlyTheirRun)
{
  struct Case
  {
    const char* what;
    std::function<void()> body;
  };
  const Case cases[] = {
    { "std::runtime_error", [] { throw std::runtime_error("job"); } },
    { "std::bad_alloc", [] { throw std::bad_alloc(); } },
    { "an int", [] { throw 7; } },
  };
  for (const Case& c : cases)
  {
    // Its run ends where it throws; the worker takes the next job.
    Journal j;
    Owner thrower(&j, c.what, c.body), after(&j, "Z");
    ASSERT_TRUE(IPlugWorker::Attach(&thrower.job));
    ASSERT_TRUE(IPlugWorker::Attach(&after.job));
    ASSERT_TRUE(IPlugWorker::Post(&thrower.job));
    ASSERT_TRUE(IPlugWorker::Post(&after.job));
    ASSERT_TRUE(j.WaitFor("z")) << "the worker stopped after " << c.what;
    EXPECT_EQ(j.Events(), (Events{ c.what, "Z", "z" }));
  }
  EXPECT_FALSE(IPlugWorker::Running());
}
