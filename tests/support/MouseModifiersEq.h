// MouseModifiers compared and printed whole, so a table of cases checks a
// press's buttons and keys in one expectation.
#pragma once

#include "IGraphicsStructs.h"

#include <ostream>

inline bool operator==(const MouseModifiers& a, const MouseModifiers& b)
{
  return a.L == b.L && a.R == b.R && a.S == b.S && a.C == b.C && a.A == b.A;
}

// As gtest shows it: the letters of what is down, "-" for what is not.
inline void PrintTo(const MouseModifiers& m, std::ostream* os)
{
  *os << (m.L ? 'L' : '-') << (m.R ? 'R' : '-') << (m.S ? 'S' : '-') << (m.C ? 'C' : '-')
      << (m.A ? 'A' : '-');
}
