// The edit traffic a plug-in sent the reference host, read back from the
// host's record in the order it arrived.
#pragma once

#include "VstHost.h"

#include <string>
#include <vector>

namespace qtest
{

// Gesture and automation calls as text: "begin 2", "automate 2", "end 2".
std::vector<std::string> EditCalls(const quorvex::VstHost& host);
// How many calls with opcode the host received, for any parameter.
int CountCalls(const quorvex::VstHost& host, VstInt32 opcode);

}  // namespace qtest
