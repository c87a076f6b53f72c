// Someone working the built plug-in's editor (XTest input into a real X11
// parent window), one operation at a time; with PacedAudio, what each
// operation costs the audio thread.
#pragma once

#include "HostedPlug.h"
#include "StressHost.h"
#include "TestScreen.h"

#include <X11/keysym.h>

#include <chrono>
#include <thread>
#include <vector>

namespace latency
{

using stress::StressHost;
using x11test::TestScreen;
using x11test::WaitFor;

const int kEditorW = 545, kEditorH = 210;

inline VstIntPtr EditOpen(quorvex::VstHost& h, Window parent)
{
  return h.Dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)parent);
}
inline VstIntPtr EditOpen(qtest::HostedPlug& p, Window parent) { return EditOpen(p.host, parent); }

// The effect's editor window in parent has drawn its face.
inline bool Drawn(TestScreen& screen, Window parent) { return screen.ShowsFace(parent, kEditorW, kEditorH); }

// Centres of the effect's controls, in the editor's coordinates.
struct Control
{
  const char* name;
  int x, y;
};
const Control kDelayRate{ "Delay Rate", 88, 118 }, kPanWidth{ "Pan Width", 279, 130 },
    kFeedback{ "Feedback", 379, 130 }, kDryMix{ "Dry Mix", 453, 132 }, kWetMix{ "Wet Mix", 497, 132 };

// Someone at the editor of one instance, its parent window at the screen's
// origin so editor and screen coordinates agree. Each operation returns
// whether it took effect: the window opened, the host saw the gesture end.
class EditorUser
{
public:
  EditorUser(TestScreen& screen, StressHost& s, Window parent) : mScreen(screen), mHost(s), mParent(parent) {}

  // effEditOpen, then the first frame on screen.
  bool Open()
  {
    return EditOpen(mHost, mParent) == 1 && WaitFor([&] { return Drawn(mScreen, mParent); });
  }
  void Close() { mHost.Dispatch(effEditClose); }

  // A host's short look: open, `idles` effEditIdle calls 10 ms apart, close.
  // True when the window was there.
  bool Cycle(int idles)
  {
    const bool opened = EditOpen(mHost, mParent) == 1;
    XSync(mScreen.dpy, False);
    const bool shown = mScreen.Children(mParent).size() == 1;
    for (int i = 0; i < idles; ++i)
    {
      mHost.Dispatch(effEditIdle);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Close();
    return opened && shown;
  }

  // The i-th drag: knobs and sliders in turn, up on one pass, down on the
  // next, so no press lands where the last one did (a double-click). Moves
  // come at a hand's pace, so the editor redraws between them.
  bool Drag(int i)
  {
    static const Control kDragged[] = { kDelayRate, kDryMix, kPanWidth, kWetMix, kFeedback };
    const Control& c = kDragged[i % 5];
    const int step = (i / 5) % 2 ? 3 : -3;
    return Gesture(1,
                   [&]
                   {
                     mScreen.Move(c.x, c.y);
                     mScreen.Button(1, true);
                     for (int k = 1; k <= 8; ++k)
                     {
                       std::this_thread::sleep_for(std::chrono::milliseconds(10));
                       mScreen.Move(c.x, c.y + k * step);
                     }
                     mScreen.Button(1, false);
                   });
  }

  // The i-th wheel turn: three notches on a knob, one gesture that the
  // editor's timer ends half a second after the last.
  bool Wheel(int i)
  {
    static const Control kTurned[] = { kPanWidth, kFeedback, kDelayRate };
    const Control& c = kTurned[i % 3];
    const int button = (i / 3) % 2 ? 4 : 5;
    return Gesture(1,
                   [&]
                   {
                     mScreen.Move(c.x, c.y);
                     for (int k = 0; k < 3; ++k)
                     {
                       mScreen.Button(button, true);
                       mScreen.Button(button, false);
                     }
                   });
  }

  // The i-th entry box: a right click opens it, the text typed into it is
  // committed by Enter. The right click is a gesture of its own.
  bool Entry(int i)
  {
    static const struct
    {
      Control control;
      std::vector<KeySym> keys;
    } kTyped[] = {
      { kFeedback, { XK_4, XK_2 } }, { kPanWidth, { XK_minus, XK_3, XK_5 } }, { kDryMix, { XK_6, XK_3 } },
      { kWetMix, { XK_2, XK_7 } },   { kFeedback, { XK_7, XK_0 } },
    };
    const auto& t = kTyped[i % 5];
    const std::vector<Window> kids = mScreen.Children(mParent);
    if (kids.size() != 1) return false;
    const Window editor = kids[0];
    return Gesture(2,
                   [&]
                   {
                     mScreen.Click(t.control.x, t.control.y, 3);
                     // Typed once the box has the keyboard: it exists a moment before.
                     if (!WaitFor([&] { return HasFocus(editor); })) return;
                     for (KeySym k : t.keys) mScreen.Key(k);
                     mScreen.Key(XK_Return);
                     WaitFor([&] { return mScreen.Children(editor).empty(); });
                   });
  }

private:
  // The entry box, the editor window's one child, has the keyboard focus.
  bool HasFocus(Window editor)
  {
    const std::vector<Window> kids = mScreen.Children(editor);
    return kids.size() == 1 && mScreen.Focus() == kids[0];
  }

  // Runs input, then waits for the host to see `ends` more gestures end.
  template <class F> bool Gesture(long ends, F&& input)
  {
    const long before = mHost.EditEnds();
    input();
    return WaitFor([&] { return mHost.EditEnds() >= before + ends; });
  }

  TestScreen& mScreen;
  StressHost& mHost;
  Window mParent;
};

}  // namespace latency
