// A test's own X connection to the server the editor runs on: windows that
// stand in for a host's editor frame, screenshots, XTest input and a census
// of windows for leak checks. The server is a private Xvfb that
// tests/support/with-xvfb.sh starts.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace x11test
{

// Polls done() every 5 ms for up to ms milliseconds.
bool WaitFor(const std::function<bool()>& done, int ms = 5000);

class TestScreen
{
public:
  TestScreen() : dpy(XOpenDisplay(nullptr)) {}
  ~TestScreen()
  {
    if (dpy) XCloseDisplay(dpy);
  }
  TestScreen(const TestScreen&) = delete;
  TestScreen& operator=(const TestScreen&) = delete;

  // A mapped top-level window, as a host's editor frame.
  Window MakeParent(int x = 0, int y = 0, int w = 300, int h = 200);
  std::vector<Window> Children(Window parent);
  // The window with the keyboard focus.
  Window Focus();
  // Every window on the server below the root, at any depth.
  int CountWindows() { return CountBelow(DefaultRootWindow(dpy)); }

  // 0x00RRGGBB pixels of a window, empty when it cannot be read.
  std::vector<uint32_t> Grab(Window w, int width, int height);
  // The one window in parent (an editor) shows its face: more than one
  // colour in its width x height.
  bool ShowsFace(Window parent, int width, int height);

  void Move(int x, int y);
  void Button(int button, bool down);
  void Click(int x, int y, int button = 1);
  void Key(KeySym sym);

  Display* dpy;

private:
  int CountBelow(Window w);
};

}  // namespace x11test
