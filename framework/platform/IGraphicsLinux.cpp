// IGraphicsLinux: X11 events in, back buffer out.
//
// Contents:
//   - X error routing
//   - window life cycle (open, close, image)
//   - event thread (loop, tick, paint, present)
//   - mouse and keys
//   - entry box
//   - services (paths, URL, images)
#include "IGraphicsLinux.h"

#include "IImageRegistry.h"
#include "IPlugBoundary.h"

#include "IControl.h"
#include "IPlugBase.h"
#include "IParam.h"
#include "lice.h"
#include "lice_png.h"
#include "lice_text.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XShm.h>

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

extern char** environ;

struct IGraphicsLinux::XState
{
  Display* dpy = nullptr;
  GC gc = nullptr;
  Visual* visual = nullptr;
  int depth = 0;
  XImage* image = nullptr;
  XShmSegmentInfo shm;
  bool shmAttached = false;
  Atom wmProtocols = 0;
};

// ================================================================ X error routing

namespace
{

// Xlib has one error handler per process, and the default one exits. It
// belongs to the host: errors on our own connections never reach it, and
// we never replace it. Each connection we open gets an extension error
// hook instead, which Xlib calls before any handler and which goes away
// with the connection. Nothing of ours is left in a process-wide slot, so
// modules that link this layer (a VST 2 and an LV2 binary in one session)
// load and unload in any order, and a chain of handlers can never lead
// into a module already unloaded.
struct XErrorRouting
{
  std::mutex mutex;
  Display* probing = nullptr;  // a connection whose errors are expected
  bool probeFailed = false;
  std::atomic<int> errors{ 0 };
};

const int kLoggedErrors = 10;

XErrorRouting& Routing()
{
  static XErrorRouting routing;
  return routing;
}

// Xlib's extension error hook: non-zero means handled. Declared here as
// Xlib exports it, without the library's internal header.
typedef int (*DisplayErrorHook)(Display*, xError*, XExtCodes*, int*);
extern "C" DisplayErrorHook XESetError(Display*, int, DisplayErrorHook);

int OnDisplayError(Display* dpy, xError* err, XExtCodes*, int* result)
{
  *result = 0;
  XErrorRouting& r = Routing();
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    if (dpy == r.probing)
    {
      r.probeFailed = true;
      return 1;
    }
  }
  // Said in the host's log, but not without end.
  if (r.errors.fetch_add(1) < kLoggedErrors)
    std::fprintf(stderr, "IGraphicsLinux: X error %d on request %d.%d\n", (int)err->errorCode,
                 (int)err->majorCode, (int)err->minorCode);
  return 1;
}

// False when the hook could not be set: the connection is then not used.
bool RegisterDisplay(Display* dpy)
{
  XExtCodes* codes = XAddExtension(dpy);
  if (!codes) return false;
  XESetError(dpy, codes->extension, OnDisplayError);
  return true;
}

// Runs f with errors on dpy expected; false when one came.
template <class F> bool Probe(Display* dpy, F f)
{
  XErrorRouting& r = Routing();
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    r.probing = dpy;
    r.probeFailed = false;
  }
  f();
  XSync(dpy, False);
  std::lock_guard<std::mutex> lock(r.mutex);
  r.probing = nullptr;
  return !r.probeFailed;
}

// Text drawing keeps process-wide scratch surfaces, and every open editor
// draws on a thread of its own: one editor draws at a time.
std::mutex& DrawMutex()
{
  static std::mutex mutex;
  return mutex;
}

int64_t NowMs()
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Channel shifts of a TrueColor visual; false for anything else.
struct PixelFormat
{
  int rShift = 16, gShift = 8, bShift = 0;
  int rBits = 8, gBits = 8, bBits = 8;
  bool native = true;  // 0x00RRGGBB in 32-bit words: rows copy as they are
};

void MaskInfo(unsigned long mask, int* shift, int* bits)
{
  *shift = 0;
  *bits = 0;
  if (!mask) return;
  while (!(mask & 1))
  {
    mask >>= 1;
    ++*shift;
  }
  while (mask & 1)
  {
    mask >>= 1;
    ++*bits;
  }
}

PixelFormat FormatOf(XImage* img)
{
  PixelFormat f;
  MaskInfo(img->red_mask, &f.rShift, &f.rBits);
  MaskInfo(img->green_mask, &f.gShift, &f.gBits);
  MaskInfo(img->blue_mask, &f.bShift, &f.bBits);
  f.native = img->bits_per_pixel == 32 && img->byte_order == LSBFirst && f.rShift == 16 && f.gShift == 8 &&
             f.bShift == 0 && f.rBits == 8 && f.gBits == 8 && f.bBits == 8;
  return f;
}

unsigned long ToPixel(const PixelFormat& f, LICE_PixelWord p)
{
  auto ch = [](int v, int shift, int bits) { return ((unsigned long)v >> (8 - bits)) << shift; };
  return ch(LICE_GETR(p), f.rShift, f.rBits) | ch(LICE_GETG(p), f.gShift, f.gBits) |
         ch(LICE_GETB(p), f.bShift, f.bBits);
}

// Copies a rectangle of src into img at (dx, dy), converting when needed.
void CopyIntoImage(XImage* img, LICE_IBitmap* src, int x, int y, int w, int h, int dx, int dy)
{
  const PixelFormat f = FormatOf(img);
  const LICE_PixelWord* pixels = src->PixelData();
  const int span = src->RowSpan();
  for (int row = 0; row < h; ++row)
  {
    const LICE_PixelWord* s = pixels + (size_t)(y + row) * (size_t)span + x;
    if (f.native)
    {
      std::memcpy(img->data + (size_t)(dy + row) * (size_t)img->bytes_per_line + (size_t)dx * 4, s,
                  (size_t)w * 4);
    }
    else
    {
      for (int col = 0; col < w; ++col) XPutPixel(img, dx + col, dy + row, ToPixel(f, s[col]));
    }
  }
}

}  // namespace

int IGraphicsLinux::XErrorCount() { return Routing().errors.load(); }

// ================================================================ window life cycle

IGraphicsLinux::IGraphicsLinux(IPlugBase* plug, int width, int height, int fps)
  : IGraphics(plug, width, height, fps), mEntryFont(14, IColor(255, 0, 0, 0), "Arial")
{
}

IGraphicsLinux::~IGraphicsLinux()
{
  // The plug-in base is deleting its editor: close without calling it.
  CloseWithoutPlug();
  Teardown();
  delete mEntryBitmap;
}

bool IGraphicsLinux::PlatformWindowPlace(IRECT* place)
{
  // Read from what the event thread last heard: the connection is its own.
  if (!mWnd || mWndGone) return false;
  *place = IRECT(mPlaceX.load(), mPlaceY.load(), mPlaceX.load() + mWidth, mPlaceY.load() + mHeight);
  return true;
}

void* IGraphicsLinux::PlatformOpenWindow(void* parent, const IRECT* place)
{
  CheckLockRule("an X11 call");
  const int x = place ? place->L : 0, y = place ? place->T : 0;
  const ::Window parentWnd = (::Window)(uintptr_t)parent;
  if (!parentWnd || mWidth <= 0 || mHeight <= 0) return nullptr;
  // Whatever a throw part-way leaves open (an allocation, the thread start)
  // goes before the host hears of it.
  try
  {
    return OpenChild(parentWnd, x, y);
  }
  catch (...)
  {
    Teardown();
    throw;
  }
}

void* IGraphicsLinux::OpenChild(unsigned long parentWnd, int x, int y)
{
  mX = new XState;
  std::memset(&mX->shm, 0, sizeof(mX->shm));
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy)
  {
    delete mX;
    mX = nullptr;
    return nullptr;
  }
  mX->dpy = dpy;
  if (!RegisterDisplay(dpy))
  {
    XCloseDisplay(dpy);
    delete mX;
    mX = nullptr;
    return nullptr;
  }

  // A stale or foreign id from the host is refused, not fatal.
  XWindowAttributes pa;
  bool found = false;
  bool ok = Probe(dpy, [&] { found = XGetWindowAttributes(dpy, parentWnd, &pa) != 0; }) && found;
  if (ok)
  {
    // The parent's visual may be anything; our own window uses the screen's
    // default one with its own colormap, which any parent accepts.
    const int screen = DefaultScreen(dpy);
    mX->visual = DefaultVisual(dpy, screen);
    mX->depth = DefaultDepth(dpy, screen);
    XSetWindowAttributes a;
    std::memset(&a, 0, sizeof(a));
    a.background_pixmap = None;
    a.border_pixel = 0;
    a.colormap = DefaultColormap(dpy, screen);
    a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | LeaveWindowMask |
                   KeyPressMask | StructureNotifyMask;
    const ::Window wnd =
        XCreateWindow(dpy, parentWnd, x, y, (unsigned)mWidth, (unsigned)mHeight, 0, mX->depth, InputOutput,
                      mX->visual, CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &a);
    mWnd = wnd;
    mParentWnd = parentWnd;
    mPlaceX = x;
    mPlaceY = y;
    mX->gc = XCreateGC(dpy, wnd, 0, nullptr);
    ok = wnd && mX->gc && CreateImage();
    if (ok)
    {
      XMapWindow(dpy, wnd);
      const int before = XErrorCount();
      XSync(dpy, False);
      ok = XErrorCount() == before;
    }
  }
  if (!ok || pipe2(mWake, O_CLOEXEC | O_NONBLOCK) != 0)
  {
    mWake[0] = mWake[1] = -1;
    Teardown();
    return nullptr;
  }

  mPresents = 0;
  mQuit = false;
  mWndGone = false;
  mPendingPaint = IRECT();
  CheckLockRule("starting a thread");
  mThread = std::thread([this] { CatchAtBoundary([this] { EventLoop(); }); });
  return GetWindow();
}

void IGraphicsLinux::StopThread()
{
  if (!mThread.joinable()) return;
  CheckLockRule("joining a thread");
  mQuit = true;
  const char c = 1;
  if (write(mWake[1], &c, 1) < 0)
  { /* the thread also polls the flag */
  }
  mThread.join();
}

void IGraphicsLinux::PlatformCloseEntry()
{
  // The box window itself is the event thread's until it stops; it goes
  // with the editor window.
  mEntry.OnEvent(IEntryEvent::WindowClosed, nullptr, -1);
}

void IGraphicsLinux::Teardown()
{
  StopThread();
  if (!mX) return;
  CheckLockRule("an X11 call");
  DestroyImage();
  Display* dpy = mX->dpy;
  if (mEntryWnd && !mWndGone) XDestroyWindow(dpy, mEntryWnd);
  mEntryWnd = 0;
  if (mX->gc) XFreeGC(dpy, mX->gc);
  if (mWnd && !mWndGone) XDestroyWindow(dpy, mWnd);
  XSync(dpy, False);
  XCloseDisplay(dpy);
  delete mX;
  mX = nullptr;
  mWnd = 0;
  mParentWnd = 0;
  for (int& fd : mWake)
  {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

bool IGraphicsLinux::CreateImage()
{
  Display* dpy = mX->dpy;
  int major, minor;
  Bool pixmaps;
  if (XShmQueryVersion(dpy, &major, &minor, &pixmaps))
  {
    XImage* img = XShmCreateImage(dpy, mX->visual, (unsigned)mX->depth, ZPixmap, nullptr, &mX->shm,
                                  (unsigned)mWidth, (unsigned)mHeight);
    if (img)
    {
      const size_t bytes = (size_t)img->bytes_per_line * (size_t)img->height;
      mX->shm.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
      void* mem = mX->shm.shmid >= 0 ? shmat(mX->shm.shmid, nullptr, 0) : (void*)-1;
      if (mem != (void*)-1)
      {
        img->data = mX->shm.shmaddr = (char*)mem;
        mX->shm.readOnly = False;
        // Remote servers refuse the attach; that is not an error of ours.
        bool attached = false;
        if (Probe(dpy, [&] { attached = XShmAttach(dpy, &mX->shm) != 0; }) && attached)
        {
          mX->shmAttached = true;
          mX->image = img;
          mShm = true;
          // Gone once both sides let go.
          shmctl(mX->shm.shmid, IPC_RMID, nullptr);
          return true;
        }
        shmdt(mem);
      }
      if (mX->shm.shmid >= 0) shmctl(mX->shm.shmid, IPC_RMID, nullptr);
      img->data = nullptr;
      XDestroyImage(img);
      std::memset(&mX->shm, 0, sizeof(mX->shm));
    }
  }
  mShm = false;
  const int pad = 32;
  XImage* img = XCreateImage(dpy, mX->visual, (unsigned)mX->depth, ZPixmap, 0, nullptr, (unsigned)mWidth,
                             (unsigned)mHeight, pad, 0);
  if (!img) return false;
  img->data = (char*)std::calloc((size_t)img->bytes_per_line, (size_t)img->height);
  if (!img->data)
  {
    XDestroyImage(img);
    return false;
  }
  mX->image = img;
  return true;
}

void IGraphicsLinux::DestroyImage()
{
  if (!mX || !mX->image) return;
  CheckLockRule("an X11 call");
  if (mX->shmAttached)
  {
    XShmDetach(mX->dpy, &mX->shm);
    XSync(mX->dpy, False);
    shmdt(mX->shm.shmaddr);
    mX->image->data = nullptr;
    mX->shmAttached = false;
  }
  XDestroyImage(mX->image);  // frees heap pixels too
  mX->image = nullptr;
}

void IGraphicsLinux::Resize(int w, int h)
{
  IGraphics::Resize(w, h);
  {
    EventScope scope(this);
    if (mBackBuffer) mBackBuffer->Resize(w, h);
  }
  if (mWnd && !mWndGone)
  {
    void* parent = (void*)(uintptr_t)mParentWnd;
    OpenWindow(parent);
  }
}

// ================================================================ event thread

void IGraphicsLinux::EventLoop()
{
  Display* dpy = mX->dpy;
  const int interval = 1000 / (mFrameRate > 0 ? mFrameRate : 24);
  int64_t next = NowMs() + interval;
  while (!mQuit)
  {
    if (!XPending(dpy))
    {
      const int64_t wait = next - NowMs();
      pollfd fds[2] = { { ConnectionNumber(dpy), POLLIN, 0 }, { mWake[0], POLLIN, 0 } };
      poll(fds, 2, wait > 0 ? (int)wait : 0);
      if (fds[1].revents)
      {
        char buf[16];
        while (read(mWake[0], buf, sizeof(buf)) > 0)
        {
        }
      }
      if (mQuit) break;
    }
    // An event, tick or paint that throws is dropped; the next one runs.
    while (!mQuit && XPending(dpy))
    {
      XEvent ev;
      XNextEvent(dpy, &ev);
      CatchAtBoundary([&] { HandleEvent(&ev); });
    }
    if (NowMs() >= next)
    {
      CatchAtBoundary([this] { Tick(); });
      next += interval;
      const int64_t now = NowMs();
      if (next <= now) next = now + interval;  // a stall skips ticks instead of bursting
    }
    CatchAtBoundary([this] { PaintPending(); });
    XFlush(dpy);
  }
}

void IGraphicsLinux::Tick()
{
  if (!mWndGone) OnTimerTick();
}

void IGraphicsLinux::InvalidateArea(IRECT* r)
{
  // Without a window there is no paint to wait for: the back buffer is
  // brought up to date at once.
  if (!mX)
    Draw(r);
  else if (r)
    mPendingPaint = mPendingPaint.Union(*r);
}

void IGraphicsLinux::PaintPending()
{
  if (mPendingPaint.Empty() || mWndGone) return;
  IRECT r = mPendingPaint;
  mPendingPaint = IRECT();
  EventScope scope(this);
  if (IsClosing()) return;
  std::lock_guard<std::mutex> lock(DrawMutex());
  Draw(&r);
}

bool IGraphicsLinux::PresentToScreen(IRECT* r)
{
  LICE_IBitmap* back = GetBackBuffer();
  if (!r || !back || !mX || !mX->image || mWndGone) return false;
  const int L = r->L > 0 ? r->L : 0, T = r->T > 0 ? r->T : 0;
  int R = r->R < mWidth ? r->R : mWidth, B = r->B < mHeight ? r->B : mHeight;
  if (R > back->Width()) R = back->Width();
  if (B > back->Height()) B = back->Height();
  if (R <= L || B <= T) return true;
  PutPixels(mWnd, back, L, T, R - L, B - T, L, T);
  mPresents.fetch_add(1);
  return true;
}

void IGraphicsLinux::PutPixels(unsigned long window, LICE_IBitmap* src, int x, int y, int w, int h, int dx,
                               int dy)
{
  CheckLockRule("an X11 call");
  Display* dpy = mX->dpy;
  if (window == mWnd)
  {
    CopyIntoImage(mX->image, src, x, y, w, h, x, y);
    if (mShm)
    {
      XShmPutImage(dpy, window, mX->gc, mX->image, x, y, dx, dy, (unsigned)w, (unsigned)h, False);
      // The server reads the segment later; the next copy must not race it.
      XSync(dpy, False);
    }
    else
    {
      XPutImage(dpy, window, mX->gc, mX->image, x, y, dx, dy, (unsigned)w, (unsigned)h);
    }
    return;
  }
  // Small windows (the entry box) go through an image of their own.
  XImage* img = XCreateImage(dpy, mX->visual, (unsigned)mX->depth, ZPixmap, 0, nullptr, (unsigned)w,
                             (unsigned)h, 32, 0);
  if (!img) return;
  img->data = (char*)std::calloc((size_t)img->bytes_per_line, (size_t)h);
  if (img->data)
  {
    CopyIntoImage(img, src, x, y, w, h, 0, 0);
    XPutImage(dpy, window, mX->gc, img, 0, 0, dx, dy, (unsigned)w, (unsigned)h);
  }
  XDestroyImage(img);
}

// ================================================================ mouse and keys

namespace
{

MouseModifiers ModsFromState(unsigned int state)
{
  return MouseModifiers((state & Button1Mask) != 0, (state & Button3Mask) != 0, (state & ShiftMask) != 0,
                        (state & ControlMask) != 0, (state & Mod1Mask) != 0);
}

// The portable code of a key, -1 for keys that are not passed on.
int KeyCodeFor(KeySym sym)
{
  switch (sym)
  {
    case XK_Up: return KEY_UPARROW;
    case XK_Down: return KEY_DOWNARROW;
    case XK_Left: return KEY_LEFTARROW;
    case XK_Right: return KEY_RIGHTARROW;
    default: break;
  }
  return sym < 0x80 ? IGraphicsKeyForChar((int)sym) : -1;
}

}  // namespace

void IGraphicsLinux::HandleEvent(void* event)
{
  XEvent* ev = (XEvent*)event;
  const ::Window w = ev->xany.window;
  if (ev->type == DestroyNotify && ev->xdestroywindow.window == mWnd)
  {
    // The host destroyed its window with ours in it: stop drawing.
    mWndGone = true;
    return;
  }
  if (mWndGone) return;
  if (ev->type == ConfigureNotify && ev->xconfigure.window == mWnd)
  {
    mPlaceX = ev->xconfigure.x;
    mPlaceY = ev->xconfigure.y;
    return;
  }
  if (ev->type == Expose)
  {
    const XExposeEvent& e = ev->xexpose;
    if (w == mWnd)
    {
      IRECT area(e.x, e.y, e.x + e.width, e.y + e.height);
      InvalidateArea(&area);
    }
    else if (w == mEntryWnd && e.count == 0)
    {
      // The box's state is the editor's: read under its lock.
      EventScope scope(this);
      if (!IsClosing()) DrawEntry();
    }
    return;
  }
  const bool input = ev->type == ButtonPress || ev->type == ButtonRelease || ev->type == MotionNotify ||
                     ev->type == LeaveNotify || ev->type == KeyPress;
  if (!input) return;
  EventScope scope(this);
  if (IsClosing()) return;
  // Keys typed between the right click and the box taking the keyboard
  // reach the editor window; they belong to the box.
  const bool boxKey = ev->type == KeyPress && w == mWnd && mEntry.IsOpen();
  if ((mEntryWnd && w == mEntryWnd) || boxKey)
    HandleEntryEvent(ev);
  else if (w == mWnd)
    HandleEditorEvent(ev);
}

void IGraphicsLinux::HandleEditorEvent(void* event)
{
  XEvent* ev = (XEvent*)event;
  switch (ev->type)
  {
    case ButtonPress:
    {
      const XButtonEvent& e = ev->xbutton;
      MouseModifiers mod = ModsFromState(e.state);
      if (e.button >= 4 && e.button <= 7)
      {
        // One notch is one step; horizontal wheels count right as up.
        const int d = (e.button == 4 || e.button == 7) ? 1 : -1;
        OnMouseWheel(e.x, e.y, &mod, d);
        return;
      }
      if (e.button != 1 && e.button != 3) return;
      if (mEntry.IsOpen())
      {
        if (e.button == 3)
        {
          EndEntry(IEntryEvent::RightClick);
          return;
        }
        EndEntry(IEntryEvent::ClickElsewhere);
      }
      if (e.button == 1)
        mod.L = true;
      else
        mod.R = true;
      XSetInputFocus(mX->dpy, mWnd, RevertToParent, CurrentTime);
      // The core pairs double clicks and decides about the capture, which
      // X11's implicit grab of a pressed button already gives us.
      OnMousePress(e.x, e.y, &mod, e.button == 1, (uint32_t)e.time);
      return;
    }
    case ButtonRelease:
    {
      const XButtonEvent& e = ev->xbutton;
      if (e.button != 1 && e.button != 3) return;
      // The state still has the released button down.
      MouseModifiers mod = ModsFromState(e.state & ~(e.button == 1 ? Button1Mask : Button3Mask));
      OnMouseUp(e.x, e.y, &mod);
      return;
    }
    case MotionNotify:
    {
      // Only the latest of a run of moves matters; a move queued after a
      // button event must stay after it.
      XEvent latest = *ev;
      while (XPending(mX->dpy))
      {
        XEvent next;
        XPeekEvent(mX->dpy, &next);
        if (next.type != MotionNotify || next.xmotion.window != mWnd) break;
        XNextEvent(mX->dpy, &latest);
      }
      const XMotionEvent& e = latest.xmotion;
      MouseModifiers mod = ModsFromState(e.state);
      if (e.state & (Button1Mask | Button3Mask))
      {
        OnMouseDrag(e.x, e.y, &mod);
      }
      else
      {
        OnMouseOver(e.x, e.y, &mod);
      }
      return;
    }
    case LeaveNotify:
      // The implicit grab of a drag also sends a leave; that is not hover.
      if (ev->xcrossing.mode == NotifyNormal && !(ev->xcrossing.state & (Button1Mask | Button3Mask)))
        OnMouseOut();
      return;
    case KeyPress:
    {
      XKeyEvent& e = ev->xkey;
      const int code = KeyCodeFor(XLookupKeysym(&e, 0));
      if (code >= 0) OnKeyDown(e.x, e.y, code);
      return;
    }
    default: return;
  }
}

// ================================================================ entry box

bool IGraphicsLinux::PlatformOpenEntry()
{
  if (!mX || mWndGone) return false;
  OpenEntryWindow();
  return true;
}

void IGraphicsLinux::OpenEntryWindow()
{
  CheckLockRule("an X11 call");
  const IEntryBoxLayout& lay = mEntry.Layout();
  mEntryFont = IText((int)lay.fontSize, IColor(255, 0, 0, 0), lay.fontName.c_str(),
                     (lay.bold ? IText::kStyleBold : 0) | (lay.italic ? IText::kStyleItalic : 0));
  int w = (int)lay.w, h = (int)lay.h;
  if (lay.kind == IEntryBoxLayout::kListBox)
  {
    // Drawn open: the current choice, then every item; no taller than the
    // space Windows gives the open list.
    const int rows = (int)lay.items.size() + 1;
    h = rows * mEntryRowH + 2;
    if (h > (int)lay.h) h = (int)lay.h;
  }
  if (w < 1) w = 1;
  if (h < 1) h = 1;
  Display* dpy = mX->dpy;
  XSetWindowAttributes a;
  std::memset(&a, 0, sizeof(a));
  a.background_pixmap = None;
  a.border_pixel = 0;
  a.colormap = DefaultColormap(dpy, DefaultScreen(dpy));
  a.event_mask = ExposureMask | ButtonPressMask | PointerMotionMask | KeyPressMask;
  const ::Window wnd =
      XCreateWindow(dpy, mWnd, (int)lay.x, (int)lay.y, (unsigned)w, (unsigned)h, 0, mX->depth, InputOutput,
                    mX->visual, CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &a);
  if (!wnd)
  {
    mEntry.Close();
    return;
  }
  if (!mEntryBitmap) mEntryBitmap = new LICE_MemBitmap(0, 0, 4);
  mEntryBitmap->Resize(w, h);
  XMapRaised(dpy, wnd);
  XSync(dpy, False);
  XSetInputFocus(dpy, wnd, RevertToParent, CurrentTime);
  XSync(dpy, False);
  mEntryWnd = wnd;
  DrawEntry();
}

int IGraphicsLinux::EntryItemAt(int y) const
{
  const int row = (y - 1) / mEntryRowH - 1;  // row 0 shows the current choice
  return row >= 0 && row < (int)mEntry.Layout().items.size() ? row : -1;
}

void IGraphicsLinux::DrawEntry()
{
  if (!mEntryWnd || !mEntryBitmap || !mEntry.IsOpen()) return;
  std::lock_guard<std::mutex> lock(DrawMutex());
  LICE_MemBitmap* bm = mEntryBitmap;
  const int w = bm->Width(), h = bm->Height();
  const IEntryBoxLayout& lay = mEntry.Layout();
  const LICE_PixelWord white = LICE_RGBA(255, 255, 255, 255), black = LICE_RGBA(0, 0, 0, 255),
                       frame = LICE_RGBA(100, 100, 100, 255), select = LICE_RGBA(0, 120, 215, 255);
  LICE_FillBox(bm, 0, 0, w, h, white, 1.0f, LICE_MODE_COPY);
  LICE_CachedFont* font = FindOrCreateFont(&mEntryFont);
  auto text = [&](const std::string& s, RECT r, int flags, LICE_PixelWord colour)
  {
    if (!font || s.empty()) return;
    font->SetTextColour(colour);
    font->DrawText(bm, s.c_str(), -1, &r, flags | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  };
  auto width = [&](const std::string& s)
  {
    if (!font || s.empty()) return 0;
    RECT r{ 0, 0, w, h };
    font->DrawText(bm, s.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    return (int)(r.right - r.left);
  };
  if (lay.kind == IEntryBoxLayout::kListBox)
  {
    const int n = (int)lay.items.size();
    const std::string current = lay.selected >= 0 && lay.selected < n ? lay.items[lay.selected] : "";
    text(current, RECT{ 4, 1, w - 4, 1 + mEntryRowH }, 0, black);
    for (int i = 0; i < n; ++i)
    {
      const int top = 1 + (i + 1) * mEntryRowH;
      if (top >= h) break;
      const bool hot = i == mEntry.Highlighted();
      if (hot) LICE_FillBox(bm, 1, top, w - 2, mEntryRowH, select, 1.0f, LICE_MODE_COPY);
      text(lay.items[i], RECT{ 4, top, w - 4, top + mEntryRowH }, 0, hot ? white : black);
    }
    LICE_DrawSegment(bm, 0, 1 + mEntryRowH, w - 1, 1 + mEntryRowH, frame, 1.0f, LICE_MODE_COPY, false);
  }
  else
  {
    // Offsets are bytes; a masked box shows one star per byte.
    std::string shown = mEntry.Text();
    if (lay.secure) shown.assign(shown.size(), '*');
    const int tw = width(shown);
    const RECT box{ 2, 1, w - 2, h - 1 };
    const int left = lay.align == IEntryBoxLayout::kAlignLeft    ? box.left
                     : lay.align == IEntryBoxLayout::kAlignRight ? box.right - tw
                                                                 : (box.left + box.right - tw) / 2;
    RECT line{ left, box.top, left + tw + 1, box.bottom };
    text(shown, line, 0, black);
    const int from = mEntry.SelectionStart(), to = mEntry.SelectionEnd();
    if (from != to)
    {
      const int x0 = left + width(shown.substr(0, (size_t)from));
      const std::string part = shown.substr((size_t)from, (size_t)(to - from));
      LICE_FillBox(bm, x0, 2, width(part), h - 4, select, 1.0f, LICE_MODE_COPY);
      text(part, RECT{ x0, box.top, x0 + width(part) + 1, box.bottom }, 0, white);
    }
    else
    {
      const int caret = left + width(shown.substr(0, (size_t)mEntry.Caret()));
      LICE_DrawSegment(bm, caret, 3, caret, h - 4, black, 1.0f, LICE_MODE_COPY, false);
    }
  }
  LICE_DrawSegment(bm, 0, 0, w - 1, 0, frame, 1.0f, LICE_MODE_COPY, false);
  LICE_DrawSegment(bm, 0, h - 1, w - 1, h - 1, frame, 1.0f, LICE_MODE_COPY, false);
  LICE_DrawSegment(bm, 0, 0, 0, h - 1, frame, 1.0f, LICE_MODE_COPY, false);
  LICE_DrawSegment(bm, w - 1, 0, w - 1, h - 1, frame, 1.0f, LICE_MODE_COPY, false);
  PutPixels(mEntryWnd, bm, 0, 0, w, h, 0, 0);
}

void IGraphicsLinux::EndEntry(IEntryEvent event)
{
  CheckLockRule("an X11 call");
  // The box window goes first: committing may redraw the control under it.
  const ::Window wnd = mEntryWnd;
  if (wnd) XDestroyWindow(mX->dpy, wnd);
  XSetInputFocus(mX->dpy, mWnd, RevertToParent, CurrentTime);
  XSync(mX->dpy, False);
  mEntryWnd = 0;
  mEntry.End(event);
  if (mEntry.IsOpen())
  {
    // The platform kept it open: bring the window back.
    OpenEntryWindow();
  }
}

void IGraphicsLinux::HandleEntryEvent(void* event)
{
  XEvent* ev = (XEvent*)event;
  if (!mEntry.IsOpen()) return;
  const bool list = mEntry.Layout().kind == IEntryBoxLayout::kListBox;
  switch (ev->type)
  {
    case ButtonPress:
    {
      const XButtonEvent& e = ev->xbutton;
      if (e.button == 3)
      {
        EndEntry(IEntryEvent::RightClick);
      }
      else if (e.button == 1 && list)
      {
        const int item = EntryItemAt(e.y);
        if (item >= 0)
        {
          mEntry.Highlight(item);
          EndEntry(IEntryEvent::PickItem);
        }
      }
      else if (e.button == 1)
      {
        // A click places the caret at the end.
        if (mEntry.PlaceCaret((int)mEntry.Text().size())) DrawEntry();
      }
      return;
    }
    case MotionNotify:
      if (list && mEntry.Highlight(EntryItemAt(ev->xmotion.y))) DrawEntry();
      return;
    case KeyPress:
    {
      XKeyEvent& e = ev->xkey;
      char buf[32];
      KeySym sym = 0;
      const int n = XLookupString(&e, buf, sizeof(buf) - 1, &sym, nullptr);
      const bool shift = (e.state & ShiftMask) != 0;
      if (sym == XK_Escape)
      {
        EndEntry(IEntryEvent::RightClick);  // discards, as a right click does
        return;
      }
      if (sym == XK_Return || sym == XK_KP_Enter)
      {
        if (!list)
        {
          if (!mEntry.Layout().readOnly) EndEntry(IEntryEvent::Enter);
        }
        else if (mEntry.Highlighted() >= 0)
        {
          EndEntry(IEntryEvent::PickItem);
        }
        return;
      }
      using Key = ITextEntry::EditKey;
      int key = -1;
      switch (sym)
      {
        case XK_Left:
        case XK_KP_Left: key = (int)Key::Left; break;
        case XK_Right:
        case XK_KP_Right: key = (int)Key::Right; break;
        case XK_Home:
        case XK_KP_Home: key = (int)Key::Home; break;
        case XK_End:
        case XK_KP_End: key = (int)Key::End; break;
        case XK_BackSpace: key = (int)Key::Backspace; break;
        case XK_Delete:
        case XK_KP_Delete: key = (int)Key::Delete; break;
        case XK_Up:
        case XK_KP_Up: key = (int)Key::Up; break;
        case XK_Down:
        case XK_KP_Down: key = (int)Key::Down; break;
        default: break;
      }
      if ((e.state & ControlMask) && (sym == XK_a || sym == XK_A)) key = (int)Key::SelectAll;
      bool changed;
      if (key >= 0)
        changed = mEntry.Edit((Key)key, shift);
      else
        changed = !(e.state & ControlMask) && mEntry.Type(buf, n > 0 ? n : 0);
      if (changed) DrawEntry();
      return;
    }
    default: return;
  }
}

// ================================================================ services

void IGraphicsLinux::HostPath(WDL_String* path)
{
  if (!path) return;
  path->Set("");
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return;
  buf[n] = 0;
  char* slash = std::strrchr(buf, '/');
  if (!slash) return;
  slash[1] = 0;
  path->Set(buf);
}

void IGraphicsLinux::PluginPath(WDL_String* path)
{
  if (!path) return;
  path->Set("");
  Dl_info info;
  if (!dladdr((void*)&IGraphicsLinux::XErrorCount, &info) || !info.dli_fname) return;
  const char* slash = std::strrchr(info.dli_fname, '/');
  if (!slash) return;
  path->Set(info.dli_fname, (int)(slash - info.dli_fname) + 1);
}

namespace
{

// The program's full path from PATH, resolved before forking so that the
// child only calls what is safe after a fork.
std::string FindProgram(const char* name)
{
  const char* path = std::getenv("PATH");
  std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size())
  {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start);
    if (candidate.empty()) candidate = ".";
    candidate += "/";
    candidate += name;
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return std::string();
}

}  // namespace

bool IGraphicsLinux::OpenURL(const char* url, const char* title, const char* confirm, const char* errorText)
{
  (void)title;
  (void)confirm;
  (void)errorText;
  if (!url || !*url) return false;
  CheckLockRule("starting a process");
  const std::string program = FindProgram("xdg-open");
  if (program.empty()) return false;
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  char* const argv[] = { (char*)"xdg-open", (char*)url, nullptr };
  // Fork twice so the opener is nobody's child here and nothing waits for
  // it; the pipe only tells whether it could be started.
  const pid_t child = fork();
  if (child == 0)
  {
    close(report[0]);
    const pid_t grandchild = fork();
    if (grandchild == 0)
    {
      setsid();
      execve(program.c_str(), argv, environ);
      const int err = errno;
      if (write(report[1], &err, sizeof(err)) < 0)
      {
      }
      _exit(127);
    }
    _exit(grandchild > 0 ? 0 : 1);
  }
  close(report[1]);
  bool ok = false;
  if (child > 0)
  {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR)
    {
    }
    int err = 0;
    ssize_t got;
    while ((got = read(report[0], &err, sizeof(err))) < 0 && errno == EINTR)
    {
    }
    ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0;
  }
  close(report[0]);
  return ok;
}

LICE_IBitmap* IGraphicsLinux::LoadPlatformBitmap(int id, const char* name)
{
  if (LICE_IBitmap* bm = IImageRegistry::Decode(id)) return bm;
  if (!name || !*name || std::strstr(name, "..")) return nullptr;
  WDL_String path;
  PluginPath(&path);
  if (!path.GetLength()) return nullptr;
  path.Append(name);
  return LICE_ReadPngFile(path.Get());
}
