// A long render with random parameter and tempo changes through the built
// plug-in, reduced to one checksum per precision. The sums were taken from
// the scalar engine; any change to the arithmetic or the order of its
// operations, in any loop or block split, shows up here.
#include "EffectHarness.h"

#include <cmath>
#include <cstdint>
#include <cstring>

using namespace effecttest;

namespace
{

const double kRate = 44100.0;
// The line is sized at resume for this tempo; tempos stay above half of it
// so no longer line is ever built and the render is deterministic.
const double kStartTempo = 240.0;
// About six passes through the 220500-sample line.
const size_t kFrames = size_t(1) << 20;

struct Event
{
  size_t at;
  int param;    // -1: tempo change
  float value;  // normalised value, or bpm
};

// Raw generator output only: its sequence is fixed by the standard,
// unlike the distributions.
std::vector<Event> Script(uint32_t seed)
{
  std::mt19937 rng(seed);
  std::vector<Event> events;
  size_t at = 0;
  for (;;)
  {
    // Mostly well apart, sometimes inside a running crossfade.
    const uint32_t gap = rng() % 4 == 0 ? rng() % 600 + 1 : rng() % 9000 + 1;
    at += gap;
    if (at >= kFrames) break;
    Event e{ at, (int)(rng() % 7), 0.0f };
    if (e.param == 6)
    {
      e.param = -1;
      e.value = 121.0f + (float)(rng() % 3600) * 0.1f;
    }
    else
    {
      e.value = (float)(rng() % 10001) / 10000.0f;
    }
    events.push_back(e);
  }
  return events;
}

// Noise exactly representable as float, so both precisions see the same
// input, with stretches of silence that leave the feedback tails alone.
Stereo Input(uint32_t seed)
{
  std::mt19937 rng(seed);
  Stereo s(kFrames);
  for (size_t i = 0; i < kFrames; ++i)
  {
    const bool quiet = (i >> 16) % 3 == 2;
    const double l = (double)(int32_t)(rng() >> 8) / 8388608.0 - 1.0;
    const double r = (double)(int32_t)(rng() >> 8) / 8388608.0 - 1.0;
    s.l[i] = quiet ? 0.0 : l;
    s.r[i] = quiet ? 0.0 : r;
  }
  return s;
}

template <class T> uint64_t Fnv1a(uint64_t h, T v)
{
  unsigned char bytes[sizeof(T)];
  std::memcpy(bytes, &v, sizeof(T));
  for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

// In place: each output on its input's buffer; crossed: on the other one's;
// accumulating: added to what the (separate) outputs hold.
enum class Buffers
{
  kSeparate,
  kInPlace,
  kCrossed,
  kAccumulating
};

// What an accumulating render finds in its outputs: a ramp of floats.
float Prefill(size_t i) { return (float)(int)(i % 1999) / 1024.0f - 0.9f; }

template <class T> struct Rendered
{
  std::vector<T> l, r;
};

// Renders in host blocks of at most `block` frames, cut at every event,
// so the result does not depend on the block size.
template <class T> Rendered<T> Render(int block, Buffers buffers)
{
  const std::vector<Event> events = Script(2026);
  const Stereo in = Input(9);
  quorvex::VstHost host;
  EXPECT_EQ(host.Load(QUORVEX_EFFECT_PATH), "");
  host.SetTempo(kStartTempo);
  host.Open(kRate, block);

  std::vector<T> inL(in.l.begin(), in.l.end()), inR(in.r.begin(), in.r.end());
  std::vector<T> outL(kFrames), outR(kFrames);
  if (buffers == Buffers::kInPlace) outL = inL, outR = inR;
  if (buffers == Buffers::kCrossed) outL = inR, outR = inL;
  const bool accumulate = buffers == Buffers::kAccumulating;
  if (accumulate)
    for (size_t i = 0; i < kFrames; ++i) outL[i] = (T)Prefill(i), outR[i] = (T)Prefill(i + 7);
  size_t next = 0;
  for (size_t pos = 0; pos < kFrames;)
  {
    for (; next < events.size() && events[next].at == pos; ++next)
    {
      if (events[next].param < 0)
        host.SetTempo(events[next].value);
      else
        host.SetParameter(events[next].param, events[next].value);
    }
    const size_t until = next < events.size() ? events[next].at : kFrames;
    const int n = (int)std::min((size_t)block, until - pos);
    T* ins[2] = { &inL[pos], &inR[pos] };
    T* outs[2] = { &outL[pos], &outR[pos] };
    if (buffers == Buffers::kInPlace) ins[0] = outs[0], ins[1] = outs[1];
    if (buffers == Buffers::kCrossed) ins[0] = outs[1], ins[1] = outs[0];
    if constexpr (sizeof(T) == sizeof(double))
      host.ProcessDouble(ins, outs, n);
    else if (accumulate)
      host.ProcessAccumulate(ins, outs, n);
    else
      host.ProcessReplacing(ins, outs, n);
    pos += (size_t)n;
  }

  return { outL, outR };
}

template <class T> uint64_t Hash(const Rendered<T>& out)
{
  // A silent or broken render would make a worthless reference.
  double peak = 0.0;
  uint64_t h = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < kFrames; ++i)
  {
    h = Fnv1a(Fnv1a(h, out.l[i]), out.r[i]);
    peak = std::max(peak, std::max(std::fabs((double)out.l[i]), std::fabs((double)out.r[i])));
  }
  EXPECT_TRUE(peak > 0.1 && peak < 100.0) << peak;
  return h;
}

}  // namespace

TEST(EffectChecksum, LongRandomRenderMatchesTheReferenceInBothPrecisions)
{
  const uint64_t kDouble = 0xe11947fadc49023cull;
  const uint64_t kFloat = 0x64971a694993d71bull;
  struct Case
  {
    int block;
    Buffers buffers;
  };
  const Case cases[] = {
    { 1, Buffers::kSeparate },    { 61, Buffers::kSeparate }, { 512, Buffers::kSeparate },
    { 4096, Buffers::kSeparate }, { 512, Buffers::kInPlace }, { 61, Buffers::kCrossed },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(testing::Message() << "blocks of " << c.block
                                    << (c.buffers == Buffers::kInPlace ? ", in place" : "")
                                    << (c.buffers == Buffers::kCrossed ? ", crossed" : ""));
    const uint64_t d = Hash(Render<double>(c.block, c.buffers)), f = Hash(Render<float>(c.block, c.buffers));
    EXPECT_EQ(d, kDouble) << std::hex << "0x" << d;
    EXPECT_EQ(f, kFloat) << std::hex << "0x" << f;
  }
}

// The host's process callback adds each output sample, rounded once, to
// what the buffer holds, in single precision.
TEST(EffectChecksum, AccumulatingAddsTheReplacingRenderInSinglePrecision)
{
  for (int block : { 61, 4096 })
  {
    SCOPED_TRACE(testing::Message() << "blocks of " << block);
    const Rendered<float> replaced = Render<float>(block, Buffers::kSeparate);
    const Rendered<float> added = Render<float>(block, Buffers::kAccumulating);
    for (size_t i = 0; i < kFrames; ++i)
    {
      const float l = Prefill(i) + replaced.l[i], r = Prefill(i + 7) + replaced.r[i];
      ASSERT_EQ(std::memcmp(&added.l[i], &l, sizeof l), 0) << "frame " << i;
      ASSERT_EQ(std::memcmp(&added.r[i], &r, sizeof r), 0) << "frame " << i;
    }
  }
}
