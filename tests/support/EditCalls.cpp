#include "EditCalls.h"

namespace qtest
{

std::vector<std::string> EditCalls(const quorvex::VstHost& host)
{
  std::vector<std::string> out;
  // A copy: an editor may report from a thread of its own.
  for (const quorvex::HostCall& c : host.CallsCopy())
  {
    const char* what = c.opcode == audioMasterAutomate    ? "automate"
                       : c.opcode == audioMasterBeginEdit ? "begin"
                       : c.opcode == audioMasterEndEdit   ? "end"
                                                          : nullptr;
    if (what) out.push_back(std::string(what) + " " + std::to_string(c.index));
  }
  return out;
}

int CountCalls(const quorvex::VstHost& host, VstInt32 opcode)
{
  int n = 0;
  for (const quorvex::HostCall& c : host.CallsCopy()) n += c.opcode == opcode;
  return n;
}

}  // namespace qtest
