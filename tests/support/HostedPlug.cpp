#include "HostedPlug.h"

#include <gtest/gtest.h>

#include <vector>

namespace qtest
{

HostedPlug::HostedPlug(const std::string& path, bool open, double sampleRate, int blockSize)
{
  EXPECT_EQ(host.Load(path), "");
  if (open && host.IsLoaded()) host.Open(sampleRate, blockSize);
}

HostedPlug::HostedPlug(quorvex::VstHost::EntryProc entry, const std::string& name, bool open,
                       double sampleRate, int blockSize)
{
  EXPECT_EQ(host.LoadEntry(entry, name), "");
  if (open && host.IsLoaded()) host.Open(sampleRate, blockSize);
}

void HostedPlug::ProcessSilence(int frames)
{
  std::vector<float> buf(4 * (size_t)frames);
  float* ins[2] = { &buf[0], &buf[(size_t)frames] };
  float* outs[2] = { &buf[2 * (size_t)frames], &buf[3 * (size_t)frames] };
  host.ProcessReplacing(ins, outs, frames);
}

}  // namespace qtest
