// One instance of the effect for a fuzz target, created without a host (the
// adapter answers its own host calls with 0), resumed at a small rate.
#pragma once

#include "Quorvex2.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace fuzz
{

inline AEffect* Instance()
{
  static AEffect* effect = []
  {
    Quorvex2* plug = new Quorvex2(nullptr);
    plug->EnsureDefaultPreset();
    AEffect* e = plug->GetAEffect();
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 8000.f);
    e->dispatcher(e, effSetBlockSize, 0, 256, nullptr, 0.f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.f);
    return e;
  }();
  return effect;
}

// A copy of the state a load can change: the bank and the live values.
inline std::vector<unsigned char> State(AEffect* e)
{
  std::vector<unsigned char> s;
  for (int index : { 0, 1 })
  {
    void* data = nullptr;
    const VstIntPtr n = e->dispatcher(e, effGetChunk, index, 0, &data, 0.f);
    if (n > 0 && data) s.insert(s.end(), (unsigned char*)data, (unsigned char*)data + n);
  }
  const VstIntPtr current = e->dispatcher(e, effGetProgram, 0, 0, nullptr, 0.f);
  s.push_back((unsigned char)current);
  return s;
}

// Every parameter inside 0 ... 1; a fault ends the run with a report.
inline void CheckParams(AEffect* e)
{
  for (int i = 0; i < e->numParams; ++i)
  {
    const float v = e->getParameter(e, i);
    if (!(v >= 0.f && v <= 1.f)) __builtin_trap();
  }
}

}  // namespace fuzz
