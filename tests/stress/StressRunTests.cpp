// The audio path under a hostile host: unusual call orders, every sample
// rate and block size in both precisions with the audio thread watched,
// oversized and aliased blocks, broken tempos, non-finite bursts and long
// tails, and hostile parameter values and string buffers.
#include "StressTestUtil.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <mutex>
#include <thread>

using namespace stress;
using namespace stresstest;

namespace
{

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const Precision kPrecisions[] = { Precision::kFloat, Precision::kDouble, Precision::kAccumulate };

}  // namespace

// ================================================================ the watch itself

#if !defined(_WIN32)
TEST(StressWatch, SeesWhatTheAudioThreadMustNotDo)
{
  if (!InterposerActive()) GTEST_SKIP() << "needs glibc without a sanitizer";
  std::mutex other;
  AllowLock(nullptr);
  WatchBegin();
  void* volatile p = std::malloc(64);
  std::free(p);
  other.lock();
  other.unlock();
  std::this_thread::sleep_for(std::chrono::microseconds(10));
  if (FILE* f = std::fopen("/dev/null", "rb")) std::fclose(f);
  const AudioCounts c = WatchEnd();
  EXPECT_GE(c.allocs, 1);  // fopen allocates too
  EXPECT_GE(c.frees, 1);
  EXPECT_EQ(c.lockWaits, 1);
  EXPECT_EQ(c.sleeps, 1);
  EXPECT_EQ(c.fileIO, 1);
  // An allowed lock and a wake-up through a non-blocking pipe are fine.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  fcntl(fds[1], F_SETFL, O_NONBLOCK);
  AllowLock(&other);
  WatchBegin();
  other.lock();
  other.unlock();
  const char b = 1;
  EXPECT_EQ(write(fds[1], &b, 1), 1);
  EXPECT_TRUE(WatchEnd().Clean());
  close(fds[0]);
  close(fds[1]);
}
#endif

#if defined(__GLIBC__)
// A lock that finds its mutex held is timed, on the allowed lock too; only
// the other one counts among lockWaits. Static: allowed addresses are kept.
TEST(StressWatch, TimesLocksThatHadToWait)
{
  if (!InterposerActive()) GTEST_SKIP() << "needs glibc without a sanitizer";
  static std::mutex allowed, other;
  AllowLock(allowed.native_handle());
  for (std::mutex* m : { &allowed, &other })
  {
    SCOPED_TRACE(m == &allowed ? "allowed lock" : "other lock");
    std::atomic<bool> held{ false };
    std::thread holder(
        [&]
        {
          m->lock();
          held = true;
          // Let go once the watched thread waits: glibc marks the lock word 2.
          pthread_mutex_t* h = m->native_handle();
          while (__atomic_load_n(&h->__data.__lock, __ATOMIC_ACQUIRE) != 2) std::this_thread::yield();
          m->unlock();
        });
    while (!held) std::this_thread::yield();
    WatchBegin();
    m->lock();
    m->unlock();
    const AudioCounts c = WatchEnd();
    holder.join();
    EXPECT_EQ(c.instanceWaits, m == &allowed ? 1 : 0);
    EXPECT_EQ(c.lockWaits, m == &allowed ? 0 : 1);
    EXPECT_GT(c.longestWaitNs, 0);
    // Taken without a wait: counted as before, not timed.
    WatchBegin();
    m->lock();
    m->unlock();
    const AudioCounts free = WatchEnd();
    EXPECT_EQ(free.instanceWaits, 0);
    EXPECT_EQ(free.longestWaitNs, 0);
    EXPECT_EQ(free.lockWaits, m == &allowed ? 0 : 1);
  }
}
#endif

// ================================================================ call order

TEST(StressOrder, UnusualCallOrdersStayClean)
{
  {
    SCOPED_TRACE("process before effOpen and before resume");
    StressHost s;
    ASSERT_EQ(s.Load(QUORVEX_EFFECT_PATH), "");
    // The line is then made on the audio thread, as a last resort; that the
    // watch sees it shows the plug-in's heap calls reach the interposer.
    const BlockReport first = s.Block(300, Precision::kDouble);
    EXPECT_EQ(first.fault, "");
    if (InterposerActive())
    {
      EXPECT_GT(first.counts.allocs, 0);
    }
    for (Precision p : kPrecisions) ExpectClean(s.Block(300, p), false, PrecisionName(p));
    s.Dispatch(effOpen);
    ExpectClean(s.Block(300, Precision::kDouble), false, "opened, not resumed");
    s.Dispatch(effSetSampleRate, 0, 0, nullptr, 48000.f);
    ExpectClean(s.Block(1024, Precision::kFloat), false, "no block size announced");
  }
  {
    SCOPED_TRACE("resume twice, suspend twice, process while suspended");
    StressHost s;
    Start(s, 44100, 512);
    Busy(s.host);
    s.Dispatch(effMainsChanged, 0, 1);
    for (Precision p : kPrecisions) ExpectClean(s.Block(512, p), true, "resumed twice");
    s.Dispatch(effMainsChanged, 0, 0);
    s.Dispatch(effMainsChanged, 0, 0);
    ExpectClean(s.Block(512, Precision::kDouble), false, "suspended");
    s.Dispatch(effMainsChanged, 0, 1);
    ExpectClean(s.Block(0, Precision::kFloat), true, "empty block");
    // Rate and size changed while resumed, without the suspend hosts send.
    s.Dispatch(effSetSampleRate, 0, 0, nullptr, 96000.f);
    s.Dispatch(effSetBlockSize, 0, 2048);
    for (Precision p : kPrecisions) ExpectClean(s.Block(2048, p), false, "changed while resumed");
  }
  {
    SCOPED_TRACE("effClose without suspend, editor calls before any open");
    StressHost s;
    ASSERT_EQ(s.Load(QUORVEX_EFFECT_PATH), "");
    s.Dispatch(effOpen);
    s.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.f);
    s.Dispatch(effSetBlockSize, 0, 256);
    s.Dispatch(effMainsChanged, 0, 1);
    ERect* rect = nullptr;
    EXPECT_EQ(s.Dispatch(effEditGetRect), 0);
    if (s.Dispatch(effEditGetRect, 0, 0, &rect))
    {
      ASSERT_NE(rect, nullptr);
      EXPECT_GT(rect->right - rect->left, 0);
      EXPECT_GT(rect->bottom - rect->top, 0);
    }
    s.Dispatch(effEditIdle);
    s.Dispatch(effEditClose);
    ExpectClean(s.Block(256, Precision::kDouble), true, "after editor calls");
    // The host object was never told it is open, so it closes directly.
    EXPECT_FALSE(s.host.IsOpen());
    s.Close();
    EXPECT_EQ(s.ForeignCallbacks(), 0);
  }
}

// ================================================================ rates and blocks

// Every rate and block size in all three callbacks: each sample written,
// finite and normal, guards and inputs untouched, and after resume no
// allocation, free, page fault or wait on the audio thread.
TEST(StressMatrix, RatesBlocksAndPrecisions)
{
  const double rates[] = { 8000, 22050, 44100, 48000, 96000, 192000, 384000, 1234.5678 };
  const int blocks[] = { 1, 17, 64, 512, 2027, 8192 };
  const long long minFrames = Scaled(3000, 40000);

  // Pages of the plug-in's code, shared by every instance, are mapped in by
  // one kept alive for the whole run.
  StressHost warm;
  Start(warm, 44100, 512);
  for (int i = 0; i < 60; ++i)
  {
    if (i % 20 == 10) Busy(warm.host, 3 + i % 7);
    warm.Block(512, kPrecisions[i % 3]);
  }

  AudioCounts total;
  long long frames = 0, calls = 0;
  std::mt19937 rng(11);
  for (double rate : rates)
  {
    SCOPED_TRACE(testing::Message() << rate << " Hz");
    StressHost s(8192);
    Start(s, rate, 8192);
    s.Noise((unsigned)rate);
    for (int block : blocks)
    {
      s.host.SetBlockSize(block);
      Busy(s.host, 3 + block % 11);
      for (Precision p : kPrecisions)
      {
        const long long n = std::max<long long>(3, minFrames / block);
        for (long long b = 0; b < n && !HasFailure(); ++b)
          ExpectClean(s.Block(block, p), true, std::to_string(block) + "-frame block " + std::to_string(b));
      }
    }
    // Random sizes from 0 up to the announced size, precisions mixed.
    s.host.SetBlockSize(4096);
    for (int b = 0; b < 60 && !HasFailure(); ++b)
    {
      if (b == 30) Busy(s.host, 9);
      const int n = b < 3 ? b : (int)(rng() % 4097);
      ExpectClean(s.Block(n, kPrecisions[rng() % 3]), true, "random block of " + std::to_string(n));
    }
    EXPECT_TRUE(s.ProcessFromOneThread());
    EXPECT_EQ(s.ForeignCallbacks(), 0);
    EXPECT_GT(s.CallbacksOnAudioThread(), 0);
    total += s.Totals();
    frames += s.Frames();
    calls += s.Blocks();
  }
#if defined(_WIN32)
  const std::string watched = "not watched";
#else
  const std::string watched =
      InterposerActive() ? total.Text() : "page faults only: " + std::to_string(total.faults);
#endif
  std::cout << "[ matrix   ] " << calls << " process calls, " << frames
            << " frames; audio thread: " << watched << "\n";
}

// ================================================================ oversized and aliased blocks

namespace
{

enum class Alias
{
  kNone,
  kSame,
  kCrossed
};

// Runs `total` frames of a fixed noise in blocks of `block` through a new
// instance that announced `announced`, with a rate change at frame
// `changeAt`; returns both outputs, interleaved by channel.
template <class T> std::vector<T> RunAliased(int announced, int block, Alias alias, int total, int changeAt)
{
  quorvex::VstHost h;
  EXPECT_EQ(h.Load(QUORVEX_EFFECT_PATH), "");
  h.Open(44100, announced);
  Busy(h, 9);
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<T> in[2], out[2];
  for (int c = 0; c < 2; ++c)
  {
    in[c].resize(total);
    for (T& v : in[c]) v = (T)u(rng);
    out[c].assign(total, (T)0);
  }
  std::vector<T> io[2] = { std::vector<T>(block), std::vector<T>(block) };
  for (int pos = 0; pos < total; pos += block)
  {
    if (pos == changeAt) SetParam(h, kRate, 12);
    const int n = std::min(block, total - pos);
    T* ins[2];
    T* outs[2];
    if (alias == Alias::kNone)
    {
      for (int c = 0; c < 2; ++c) ins[c] = &in[c][pos], outs[c] = &out[c][pos];
    }
    else
    {
      for (int c = 0; c < 2; ++c) std::copy(&in[c][pos], &in[c][pos] + n, io[c].data());
      ins[0] = io[0].data(), ins[1] = io[1].data();
      outs[0] = alias == Alias::kSame ? io[0].data() : io[1].data();
      outs[1] = alias == Alias::kSame ? io[1].data() : io[0].data();
    }
    if constexpr (sizeof(T) == 8)
      h.ProcessDouble(ins, outs, n);
    else
      h.ProcessReplacing(ins, outs, n);
    if (alias != Alias::kNone)
      for (int c = 0; c < 2; ++c) std::copy(outs[c], outs[c] + n, &out[c][pos]);
  }
  std::vector<T> both(out[0]);
  both.insert(both.end(), out[1].begin(), out[1].end());
  return both;
}

template <class T> void ExpectOversizedAndAliasedLikeLegal()
{
  const int announced = 256, total = 256 * 8 * 12, changeAt = 256 * 8 * 4;
  const std::vector<T> legal = RunAliased<T>(announced, announced, Alias::kNone, total, changeAt);
  for (int factor : { 1, 2, 8 })
    for (Alias alias : { Alias::kNone, Alias::kSame, Alias::kCrossed })
    {
      if (factor == 1 && alias == Alias::kNone) continue;
      SCOPED_TRACE(testing::Message() << "blocks " << factor << "x, aliasing " << (int)alias);
      const std::vector<T> got = RunAliased<T>(announced, announced * factor, alias, total, changeAt);
      ASSERT_EQ(got.size(), legal.size());
      EXPECT_EQ(std::memcmp(got.data(), legal.data(), sizeof(T) * got.size()), 0);
    }
}

}  // namespace

TEST(StressBlocks, OversizedAndAliasedBlocksMatchLegalOnes)
{
  {
    SCOPED_TRACE("double");
    ExpectOversizedAndAliasedLikeLegal<double>();
  }
  {
    SCOPED_TRACE("float");
    ExpectOversizedAndAliasedLikeLegal<float>();
  }
}

// ================================================================ tempo

TEST(StressTempo, BrokenAndJumpingTemposGiveFiniteOutput)
{
  struct Case
  {
    const char* name;
    bool timeInfo, valid;
    double tempo;
  };
  const Case cases[] = {
    { "no time info", false, true, 120 },
    { "tempo not valid", true, false, 120 },
    { "0", true, true, 0 },
    { "NaN", true, true, kNaN },
    { "-120", true, true, -120 },
    { "1e6", true, true, 1e6 },
    { "1e-6", true, true, 1e-6 },
    { "+Inf", true, true, kInf },
  };
  for (const Case& c : cases)
    for (bool fromStart : { true, false })
    {
      SCOPED_TRACE(testing::Message() << c.name << (fromStart ? " from the start" : " while running"));
      StressHost s(1024);
      auto apply = [&]()
      {
        s.host.SetTimeInfoAvailable(c.timeInfo);
        s.host.SetTempoValid(c.valid);
        s.host.SetTempo(c.tempo);
      };
      if (fromStart) apply();
      Start(s, 44100, 1024);
      Busy(s.host);
      for (int b = 0; b < 60 && !HasFailure(); ++b)
      {
        if (b == 20 && !fromStart) apply();
        if (b % 15 == 7) SetParam(s.host, kRate, (b * 7) % 25);
        ExpectClean(s.Block(1024, kPrecisions[b % 3]), true, "block " + std::to_string(b));
      }
    }

  SCOPED_TRACE("tempo jumping every block");
  const double tempos[] = { 120, 0, kNaN, 1e6, 1e-6, -5, 60, 240.5, kInf, 33.3, 999 };
  StressHost s(512);
  Start(s, 48000, 512);
  Busy(s.host, 12);
  for (int b = 0; b < (int)Scaled(400, 20000) && !HasFailure(); ++b)
  {
    s.host.SetTempo(tempos[b % 11]);
    ExpectClean(s.Block(512, kPrecisions[b % 3]), true, "block " + std::to_string(b));
  }
}

// ================================================================ bursts and tails

TEST(StressBursts, FiniteAgainWithinOneBlock)
{
  struct Burst
  {
    const char* name;
    double l, r;
  };
  const Burst bursts[] = { { "NaN", kNaN, kNaN },      { "+Inf", kInf, kInf },
                           { "-Inf", -kInf, -kInf },   { "Inf and NaN", kInf, kNaN },
                           { "1e308", 1e308, -1e308 }, { "1e30", 1e30, 1e30 } };
  for (const Burst& burst : bursts)
    for (Precision p : { Precision::kDouble, Precision::kFloat })
    {
      SCOPED_TRACE(testing::Message() << burst.name << ", " << PrecisionName(p));
      StressHost s(512);
      Start(s, 44100, 512);
      const double v[6] = { 0, 2, 90, 99, 100, 100 };
      for (int i = 0; i < 6; ++i) SetParam(s.host, i, v[i]);
      for (int b = 0; b < 10; ++b) s.Block(512, p);
      auto noise = std::make_shared<std::mt19937>(5);
      s.SetInput(
          [&burst, noise](int ch, double* in, int n, long long)
          {
            for (int i = 0; i < n; ++i) in[i] = i % 3 ? (ch ? burst.r : burst.l) : 0.1 * ((*noise)() % 10);
          });
      s.Block(512, p);
      s.Noise(6);
      // Feedback 99 keeps whatever entered the line for minutes.
      for (int b = 0; b < 200 && !HasFailure(); ++b)
        ExpectClean(s.Block(512, p), true, "block " + std::to_string(b));
    }
}

// A loud burst, then silence at "Feedback" 99 for as long as a tail can
// last: no subnormal on the way, exact 0 at the end.
TEST(StressBursts, LongTailAtFeedback99ReachesExactZero)
{
  const bool full = FullRuns();
  const double rate = full ? 44100 : 8000, tempo = full ? 120 : 480, minutes = full ? 90 : 24;
  StressHost s(4096);
  s.host.SetTempo(tempo);
  Start(s, rate, 4096);
  const double v[6] = { 0, 2, 90, 99, 100, 100 };
  for (int i = 0; i < 6; ++i) SetParam(s.host, i, v[i]);
  for (int b = 0; b < 20; ++b) s.Block(4096, Precision::kDouble);
  s.SetInput(
      [](int, double* in, int n, long long)
      {
        const double burst[4] = { kNaN, kInf, 1e29, -1e29 };
        for (int i = 0; i < n; ++i) in[i] = burst[i % 4];
      });
  s.Block(4096, Precision::kFloat);
  s.SetInput([](int, double* in, int n, long long) { std::fill(in, in + n, 0.0); });

  const long long blocks = (long long)(minutes * 60 * rate / 4096);
  long long lastNonZero = -1;
  for (long long b = 0; b < blocks && !HasFailure(); ++b)
  {
    const BlockReport r = s.Block(4096, b % 2 ? Precision::kFloat : Precision::kDouble);
    ASSERT_EQ(r.fault, "") << "block " << b;
    for (int i = 0; i < 4096; ++i)
      if (s.Out(0, i) != 0.0 || s.Out(1, i) != 0.0)
      {
        lastNonZero = b;
        break;
      }
  }
  EXPECT_LT(lastNonZero, blocks - 1) << "the tail never reached exact 0";
  std::cout << "[ tail     ] silent after " << (lastNonZero + 1) * 4096 / rate / 60 << " of " << minutes
            << " simulated minutes at " << rate << " Hz\n";
}

// ================================================================ parameters and texts

namespace
{

#if defined(__SANITIZE_ADDRESS__)
#define STRESS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define STRESS_ASAN 1
#endif
#endif

// A heap buffer of exactly `size` bytes: AddressSanitizer reports any byte
// written past it; without it a canary behind it is checked.
class HostText
{
public:
  explicit HostText(size_t size, const char* init = nullptr) : mSize(size)
  {
#if defined(STRESS_ASAN)
    mBytes = (char*)std::malloc(size);
#else
    mBytes = (char*)std::malloc(size + kCanary);
    std::memset(mBytes + size, 0xAB, kCanary);
#endif
    std::memset(mBytes, 0x5A, size);
    if (init) std::memcpy(mBytes, init, std::min(size, std::strlen(init) + 1));
  }
  ~HostText()
  {
#if !defined(STRESS_ASAN)
    for (size_t i = 0; i < kCanary; ++i)
      EXPECT_EQ((unsigned char)mBytes[mSize + i], 0xAB) << "written past " << mSize;
#endif
    std::free(mBytes);
  }
  char* Get() { return mBytes; }
  // Terminated inside the buffer.
  bool Terminated() const { return std::memchr(mBytes, 0, mSize) != nullptr; }

private:
  static const size_t kCanary = 64;
  size_t mSize;
  char* mBytes;
};

void ExpectValuesInRange(StressHost& s)
{
  for (int i = 0; i < kNumParams; ++i)
  {
    const float v = s.host.GetParameter(i);
    EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << "parameter " << i << ": " << v;
  }
  const std::vector<uint8_t> chunk = s.host.GetChunk(true);
  ASSERT_EQ(chunk.size(), 8u + 8 * kNumParams);
  for (int i = 0; i < kNumParams; ++i)
  {
    double v;
    std::memcpy(&v, &chunk[8 + 8 * i], 8);
    EXPECT_TRUE(v >= kParamRanges[i].lo && v <= kParamRanges[i].hi) << "parameter " << i << ": " << v;
  }
}

}  // namespace

TEST(StressParams, HostileValuesAndExactBuffers)
{
  StressHost s;
  Start(s, 44100, 512);
  const float wild[] = { -1.f, 2.f, (float)kNaN, (float)kInf, (float)-kInf, -0.f, 1e-45f, 0.99999994f };
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round)
    for (int i = -1; i <= kNumParams; ++i)
    {
      const float v = round < 8 ? wild[round] : std::uniform_real_distribution<float>(-0.5f, 1.5f)(rng);
      s.host.SetParameter(i, v);
      if (round % 5 == 0) ExpectClean(s.Block(64, kPrecisions[round % 3]), true, "after a hostile value");
    }
  ExpectValuesInRange(s);

  // Texts typed by a user or sent by a host, in buffers of their exact size.
  const char* typed[] = { "",     "1/8D",  "Dotted 2",   "-1e308", "1e308", "nan",  "inf",     "-inf",
                          "99.5", "12abc", "0x7fffffff", "   42",  "-0",    "1/64", "\xff\xfe" };
  std::string longText(300, '9');
  for (int i = 0; i < kNumParams; ++i)
  {
    for (const char* t : typed)
    {
      HostText text(std::strlen(t) + 1, t);
      EXPECT_EQ(s.Dispatch(effString2Parameter, i, 0, text.Get()), 1);
    }
    HostText text(longText.size() + 1, longText.c_str());
    s.Dispatch(effString2Parameter, i, 0, text.Get());
  }
  ExpectValuesInRange(s);

  // Published sizes: effect name 32, vendor and product 64, program names
  // 24. Parameter texts get 32: the interface's 8 would cut "Delay Rate",
  // and hosts give the wider field.
  struct Op
  {
    VstInt32 opcode;
    size_t size;
    int firstIndex, lastIndex;
  };
  const Op ops[] = {
    { effGetEffectName, kVstMaxEffectNameLen, 0, 0 },
    { effGetVendorString, kVstMaxVendorStrLen, 0, 0 },
    { effGetProductString, kVstMaxProductStrLen, 0, 0 },
    { effGetProgramName, kVstMaxProgNameLen, 0, 0 },
    { effGetProgramNameIndexed, kVstMaxProgNameLen, -2, 26 },
    { effGetParamName, 32, -1, kNumParams },
    { effGetParamLabel, 32, -1, kNumParams },
    { effGetParamDisplay, 32, -1, kNumParams },
  };
  for (int program : { 0, 2, 11, 24 })
  {
    s.host.SetProgram(program);
    for (int i = 0; i < kNumParams; ++i) s.host.SetParameter(i, wild[(program + i) % 8]);
    for (const Op& op : ops)
      for (int index = op.firstIndex; index <= op.lastIndex; ++index)
      {
        SCOPED_TRACE(testing::Message() << "opcode " << op.opcode << " index " << index);
        HostText text(op.size);
        text.Get()[0] = 0;
        s.Dispatch(op.opcode, index, 0, text.Get());
        EXPECT_TRUE(text.Terminated());
      }
    for (int i = -1; i <= kNumParams; ++i)
    {
      HostText text(32);
      text.Get()[0] = 0;
      s.Dispatch(effVendorSpecific, effGetParamDisplay, i, text.Get(), (float)kNaN);
      EXPECT_TRUE(text.Terminated());
    }
  }
  // A name that fits the host's field, given in a buffer of its own size.
  HostText name(20, "My Slow Echo Pad");
  s.Dispatch(effSetProgramName, 0, 0, name.Get());
  EXPECT_EQ(s.host.ProgramName(), "My Slow Echo Pad");
  ExpectValuesInRange(s);
  for (int b = 0; b < 6; ++b) ExpectClean(s.Block(512, kPrecisions[b % 3]), true, "at the end");
}
