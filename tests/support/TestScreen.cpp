#include "TestScreen.h"

#include <chrono>
#include <thread>

namespace x11test
{

bool WaitFor(const std::function<bool()>& done, int ms)
{
  for (int waited = 0; waited < ms; waited += 5)
  {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

Window TestScreen::MakeParent(int x, int y, int w, int h)
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

std::vector<Window> TestScreen::Children(Window parent)
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

Window TestScreen::Focus()
{
  Window w = 0;
  int revert = 0;
  XGetInputFocus(dpy, &w, &revert);
  return w;
}

std::vector<uint32_t> TestScreen::Grab(Window w, int width, int height)
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

bool TestScreen::ShowsFace(Window parent, int width, int height)
{
  const std::vector<Window> kids = Children(parent);
  if (kids.size() != 1) return false;
  const std::vector<uint32_t> px = Grab(kids[0], width, height);
  for (uint32_t p : px)
    if (p != px[0]) return true;
  return false;
}

void TestScreen::Move(int x, int y)
{
  XTestFakeMotionEvent(dpy, -1, x, y, 0);
  XSync(dpy, False);
}

void TestScreen::Button(int button, bool down)
{
  XTestFakeButtonEvent(dpy, (unsigned)button, down ? True : False, 0);
  XSync(dpy, False);
}

void TestScreen::Click(int x, int y, int button)
{
  Move(x, y);
  Button(button, true);
  Button(button, false);
}

void TestScreen::Key(KeySym sym)
{
  const KeyCode code = XKeysymToKeycode(dpy, sym);
  XTestFakeKeyEvent(dpy, code, True, 0);
  XTestFakeKeyEvent(dpy, code, False, 0);
  XSync(dpy, False);
}

int TestScreen::CountBelow(Window w)
{
  int n = 0;
  for (Window kid : Children(w)) n += 1 + CountBelow(kid);
  return n;
}

}  // namespace x11test
