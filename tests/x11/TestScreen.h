// A test's own X connection to the server the editor runs on: windows that
// stand in for a host's editor frame, screenshots, XTest input and a census
// of windows for leak checks.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace x11test {

// Polls done() every 5 ms for up to ms milliseconds.
inline bool WaitFor(const std::function<bool()>& done, int ms = 5000)
{
  for (int waited = 0; waited < ms; waited += 5)
  {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

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
  Window MakeParent(int x = 0, int y = 0, int w = 300, int h = 200)
  {
    XSetWindowAttributes a;
    a.override_redirect = True;
    a.background_pixel = 0x203040;
    Window win = XCreateWindow(dpy, DefaultRootWindow(dpy), x, y, (unsigned)w, (unsigned)h, 0, CopyFromParent,
                               InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
    XMapRaised(dpy, win);
    XSync(dpy, False);
    return win;
  }

  std::vector<Window> Children(Window parent)
  {
    Window root, up, *kids = nullptr;
    unsigned int n = 0;
    std::vector<Window> out;
    if (XQueryTree(dpy, parent, &root, &up, &kids, &n))
    {
      out.assign(kids, kids + n);
      if (kids) XFree(kids);
    }
    return out;
  }

  // The window with the keyboard focus.
  Window Focus()
  {
    Window w = 0;
    int revert = 0;
    XGetInputFocus(dpy, &w, &revert);
    return w;
  }

  // Every window on the server below the root, at any depth.
  int CountWindows() { return CountBelow(DefaultRootWindow(dpy)); }

  // 0x00RRGGBB pixels of a window, empty when it cannot be read.
  std::vector<uint32_t> Grab(Window w, int width, int height)
  {
    std::vector<uint32_t> out;
    XImage* img = XGetImage(dpy, w, 0, 0, (unsigned)width, (unsigned)height, AllPlanes, ZPixmap);
    if (!img) return out;
    out.resize((size_t)width * height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) out[(size_t)y * width + x] = (uint32_t)XGetPixel(img, x, y) & 0xFFFFFF;
    XDestroyImage(img);
    return out;
  }

  void Move(int x, int y)
  {
    XTestFakeMotionEvent(dpy, -1, x, y, 0);
    XSync(dpy, False);
  }
  void Button(int button, bool down)
  {
    XTestFakeButtonEvent(dpy, (unsigned)button, down ? True : False, 0);
    XSync(dpy, False);
  }
  void Click(int x, int y, int button = 1)
  {
    Move(x, y);
    Button(button, true);
    Button(button, false);
  }
  void Key(KeySym sym)
  {
    const KeyCode code = XKeysymToKeycode(dpy, sym);
    XTestFakeKeyEvent(dpy, code, True, 0);
    XTestFakeKeyEvent(dpy, code, False, 0);
    XSync(dpy, False);
  }

  Display* dpy;

private:
  int CountBelow(Window w)
  {
    int n = 0;
    for (Window kid : Children(w)) n += 1 + CountBelow(kid);
    return n;
  }
};

}  // namespace x11test
