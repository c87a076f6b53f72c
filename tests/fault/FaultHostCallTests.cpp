// A host callback that throws (as a C++ host's may), or cancels the calling
// thread, inside the plug-in: nothing comes back out of the dispatcher or
// a process callback, a process call that caught it is silence, the locks
// are released, and the instance goes on as if the call had not been made.
#include "FaultTestUtil.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <stdexcept>

using namespace faulttest;

namespace
{

// Throws out of the host callback the next `left` times the plug-in asks
// for `opcode`; with cancel set, waits at a cancellation point instead.
struct ThrowingHost
{
  VstInt32 opcode = -1;
  int left = 0;
  bool cancel = false;
  std::atomic<bool> waiting{ false };

  static void Observe(void* self, VstInt32 opcode)
  {
    ThrowingHost* t = static_cast<ThrowingHost*>(self);
    if (opcode != t->opcode || t->left <= 0) return;
    --t->left;
    if (!t->cancel) throw std::runtime_error("the host's callback failed");
    t->waiting = true;
    for (;;) pause();
  }
};

// ---------------------------------------------------------------- dispatcher

struct DispatchCase
{
  const char* name;
  VstInt32 opcode;
  VstIntPtr value;
  float opt;
  VstInt32 throwOn;  // the host callback that throws
};

class FaultHostDispatch : public ::testing::TestWithParam<DispatchCase>
{
};

}  // namespace

TEST_P(FaultHostDispatch, ThrowingCallbackAnswersZero)
{
  ASSERT_TRUE(Module::Get().Ok());
  const DispatchCase c = GetParam();
  Parent parent;
  ThrowingHost thrower;
  quorvex::VstHost h;
  ASSERT_EQ(Load(h), "");
  h.SetCallbackObserver(&ThrowingHost::Observe, &thrower);
  if (c.opcode != effOpen) h.Dispatch(effOpen);
  thrower.opcode = c.throwOn;
  thrower.left = 1;
  const VstIntPtr result = h.Dispatch(c.opcode, 0, c.value, nullptr, c.opt);
  EXPECT_EQ(thrower.left, 0) << "the plug-in did not call the host";
  EXPECT_EQ(result, 0);
  // The same call again, and the host's usual sequence, go through.
  h.Dispatch(c.opcode, 0, c.value, nullptr, c.opt);
  h.Dispatch(effMainsChanged, 0, 0);
  h.Dispatch(effMainsChanged, 0, 1);
  ExpectWorks(h, parent, c.name);
  Record(std::string(c.name) + " with the host's callback throwing",
         std::to_string(result) + "; the instance works after it");
}

INSTANTIATE_TEST_SUITE_P(
    Calls, FaultHostDispatch,
    ::testing::Values(DispatchCase{ "effOpen", effOpen, 0, 0.f, audioMasterGetProductString },
                      DispatchCase{ "effMainsChanged(1)", effMainsChanged, 1, 0.f, audioMasterGetTime },
                      DispatchCase{ "effSetSampleRate", effSetSampleRate, 0, 48000.f, audioMasterGetTime }),
    [](const ::testing::TestParamInfo<DispatchCase>& i)
    {
      std::string n;
      for (const char* p = i.param.name; *p; ++p)
        if (std::isalnum((unsigned char)*p)) n += *p;
      return n;
    });

// ---------------------------------------------------------------- process callbacks

namespace
{

enum class Callback
{
  kReplacing,
  kAccumulating,
  kDouble
};

struct ProcessCase
{
  const char* name;
  Callback callback;
};

class FaultHostProcess : public ::testing::TestWithParam<ProcessCase>
{
};

const int kBlock = 256;
// What an accumulating call adds to.
const float kPrefill = 0.25f;

// Stereo blocks of the same noise for every instance; outputs prefilled.
struct Blocks
{
  std::vector<double> in, out;
  void Fill(int block)
  {
    in.assign(2 * kBlock, 0.0);
    unsigned seed = 777u + (unsigned)block * 7919u;
    for (double& v : in)
    {
      seed = seed * 1664525u + 1013904223u;
      v = (double)((seed >> 8) & 0xffff) / 65536.0 - 0.5;
    }
    out.assign(2 * kBlock, kPrefill);
  }
};

// One block through the chosen callback; outputs as doubles.
void ProcessBlock(quorvex::VstHost& h, Callback cb, Blocks& b)
{
  if (cb == Callback::kDouble)
  {
    double* ins[2] = { &b.in[0], &b.in[kBlock] };
    double* outs[2] = { &b.out[0], &b.out[kBlock] };
    h.ProcessDouble(ins, outs, kBlock);
    return;
  }
  std::vector<float> in(b.in.begin(), b.in.end()), out(b.out.begin(), b.out.end());
  float* ins[2] = { &in[0], &in[kBlock] };
  float* outs[2] = { &out[0], &out[kBlock] };
  if (cb == Callback::kReplacing)
    h.ProcessReplacing(ins, outs, kBlock);
  else
    h.ProcessAccumulate(ins, outs, kBlock);
  b.out.assign(out.begin(), out.end());
}

}  // namespace

TEST_P(FaultHostProcess, ThrowingTimeRequestIsASilentBlock)
{
  ASSERT_TRUE(Module::Get().Ok());
  const ProcessCase c = GetParam();
  ThrowingHost thrower;
  quorvex::VstHost h, reference;
  for (quorvex::VstHost* x : { &h, &reference })
  {
    ASSERT_EQ(Load(*x), "");
    x->Open();
    qtest::Busy(*x);
  }
  h.SetCallbackObserver(&ThrowingHost::Observe, &thrower);
  const int kThrowAt = 6, kBlocks = 40;
  Blocks a, b;
  for (int k = 0; k < kBlocks; ++k)
  {
    a.Fill(k);
    if (k == kThrowAt)
    {
      thrower.opcode = audioMasterGetTime;
      thrower.left = 1;
      ProcessBlock(h, c.callback, a);
      EXPECT_EQ(thrower.left, 0) << "the plug-in did not ask for the time";
      // Replaced outputs are silence; an accumulating call added nothing.
      const double expected = c.callback == Callback::kAccumulating ? kPrefill : 0.0;
      for (double v : a.out) ASSERT_EQ(v, expected) << "block " << k;
      // The reference never sees this block.
      continue;
    }
    b.Fill(k);
    ProcessBlock(h, c.callback, a);
    ProcessBlock(reference, c.callback, b);
    // As if the block that threw had not been: the same bits as the
    // instance that never had it.
    ASSERT_EQ(a.out, b.out) << "block " << k;
  }
  Record(std::string(c.name) + " with the host's time request throwing",
         "silence in that block (nothing added when accumulating); the blocks after it are bit-identical to "
         "an instance that never had it");
}

INSTANTIATE_TEST_SUITE_P(Callbacks, FaultHostProcess,
                         ::testing::Values(ProcessCase{ "processReplacing", Callback::kReplacing },
                                           ProcessCase{ "process", Callback::kAccumulating },
                                           ProcessCase{ "processDoubleReplacing", Callback::kDouble }),
                         CaseName<ProcessCase>);

// ---------------------------------------------------------------- thread cancellation

namespace
{

struct CancelRun
{
  quorvex::VstHost* host;
  Blocks* blocks;
};

void* ProcessOnce(void* arg)
{
  CancelRun* r = static_cast<CancelRun*>(arg);
  ProcessBlock(*r->host, Callback::kReplacing, *r->blocks);
  return nullptr;
}

}  // namespace

// glibc cancels a thread by unwinding it with an exception the plug-in must
// let through: swallowed, it would abort the process.
TEST(FaultHostCall, CancelledThreadUnwindsThroughProcess)
{
  ASSERT_TRUE(Module::Get().Ok());
  Parent parent;
  ThrowingHost waiter;
  quorvex::VstHost h;
  ASSERT_EQ(Load(h), "");
  h.Open();
  h.SetCallbackObserver(&ThrowingHost::Observe, &waiter);
  waiter.opcode = audioMasterGetTime;
  waiter.left = 1;
  waiter.cancel = true;
  Blocks b;
  b.Fill(0);
  CancelRun run{ &h, &b };
  pthread_t audio;
  ASSERT_EQ(pthread_create(&audio, nullptr, ProcessOnce, &run), 0);
  while (!waiter.waiting) usleep(1000);
  ASSERT_EQ(pthread_cancel(audio), 0);
  void* status = nullptr;
  ASSERT_EQ(pthread_join(audio, &status), 0);
  EXPECT_EQ(status, PTHREAD_CANCELED);
  // The instance lock the cancelled block held is free again.
  ExpectWorks(h, parent, "after the cancelled block");
  Record("processReplacing on a thread cancelled inside the host's time request",
         "the thread ends cancelled, the instance lock is released, the instance works after it");
}
