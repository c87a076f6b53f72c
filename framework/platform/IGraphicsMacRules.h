// The Cocoa layer's rules that need no AppKit: the y flip between view and
// editor coordinates, the modifier bits of an event, wheel steps, key codes,
// the timer interval and how an image name becomes a bundle resource name.
// IGraphicsMac.mm calls these; they are plain C++ so every build tests them.
#pragma once

#include "IGraphicsPlatform.h"

namespace IMacRules
{
// NSEvent modifierFlags bits, as AppKit has always numbered them.
constexpr unsigned long kShiftBit = 1ul << 17;
constexpr unsigned long kControlBit = 1ul << 18;
constexpr unsigned long kOptionBit = 1ul << 19;
constexpr unsigned long kCommandBit = 1ul << 20;

// Function-key characters of arrow keys (OpenStep's private-use values).
constexpr unsigned kUpArrowChar = 0xF700;
constexpr unsigned kDownArrowChar = 0xF701;
constexpr unsigned kLeftArrowChar = 0xF702;
constexpr unsigned kRightArrowChar = 0xF703;

// Which AppKit event method a record is for: left-button, move and wheel
// events count as left, so a command-click acts as a right click.
enum class Button
{
  Left,
  Right
};

inline MouseModifiers Modifiers(unsigned long flags, Button button)
{
  MouseModifiers m;
  m.S = (flags & kShiftBit) != 0;
  m.C = (flags & kControlBit) != 0;
  m.A = (flags & kOptionBit) != 0;
  m.L = button == Button::Left;
  m.R = button == Button::Right || (flags & kCommandBit) != 0;
  return m;
}

// int(v) as C++ truncates, kept inside a range where it is defined: event
// coordinates far outside any view, or a runaway trackpad delta, clamp.
inline int Truncate(double v)
{
  const double kLimit = 1e6;
  if (!(v == v)) return 0;
  if (v > kLimit) return (int)kLimit;
  if (v < -kLimit) return -(int)kLimit;
  return (int)v;
}

// A view point (origin bottom-left, y up) in editor pixels (origin top-left,
// y down) for a view of the given height.
inline void ViewPointToEditor(double x, double y, int height, int* ex, int* ey)
{
  *ex = Truncate(x);
  *ey = height - Truncate(y);
}

// A view rectangle (what drawRect: is given) as the editor rectangle it
// covers.
inline IRECT ViewRectToEditor(double x, double y, double w, double h, int height)
{
  const int L = Truncate(x), B = height - Truncate(y);
  return IRECT(L, B - Truncate(h), L + Truncate(w), B);
}

struct ViewRect
{
  double x = 0, y = 0, w = 0, h = 0;
};

// An editor box (y down, fractions kept) as a view frame.
inline ViewRect EditorBoxToView(double x, double y, double w, double h, int height)
{
  ViewRect v;
  v.x = x;
  v.y = height - (y + h);
  v.w = w;
  v.h = h;
  return v;
}

inline ViewRect EditorRectToView(const IRECT& r, int height)
{
  return EditorBoxToView(r.L, r.T, r.R - r.L, r.B - r.T, height);
}

// Whole wheel steps from an event's deltaY, toward zero: a trackpad's
// fraction of a step is no step.
inline int WheelSteps(double deltaY) { return Truncate(deltaY); }

// Seconds between timer ticks.
inline double TimerInterval(int fps) { return 1.0 / (fps > 0 ? fps : 24); }

// The portable key code of a key event's first character (ignoring
// modifiers); -1 for keys that are not passed on.
inline int KeyCode(unsigned character)
{
  switch (character)
  {
    case kUpArrowChar: return KEY_UPARROW;
    case kDownArrowChar: return KEY_DOWNARROW;
    case kLeftArrowChar: return KEY_LEFTARROW;
    case kRightArrowChar: return KEY_RIGHTARROW;
    default: break;
  }
  return character < 0x80 ? IGraphicsKeyForChar((int)character) : -1;
}

}  // namespace IMacRules
