// CPU use of an open X11 editor shaped like the effect's (545 x 210), as a
// share of one core: idle (nothing dirty), and while the host moves one knob
// 30 times a second. Needs an X server (tests/support/with-xvfb.sh starts one).
//
//   x11_bench [seconds-per-case]

#include "BenchTiming.h"
#include "IControl.h"
#include "IGraphicsLinux.h"
#include "IGraphicsHeadless.h"
#include "IPlugBase.h"
#include "PngCodec.h"
#include "QuietPlug.h"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace
{

class BenchPlug : public QuietPlug
{
public:
  BenchPlug() : QuietPlug(6, "1-1 2-2", 0.5) {}
};

// A noisy RGBA image registered under id.
void Register(int id, int w, int h)
{
  qtest::RegisterPng(id, w, h,
                     [&](int x, int y)
                     {
                       auto byte = [&](int c)
                       {
                         const size_t i = ((size_t)y * w + x) * 4 + c;
                         return (int)((unsigned char)(i * 7 + i / 977));
                       };
                       return qtest::RGBA{ byte(0), byte(1), byte(2), byte(3) };
                     });
}

}  // namespace

int main(int argc, char** argv)
{
  const double seconds = bench::SecondsArg(argc, argv, 1, 5.0);
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy)
  {
    std::printf("x11_bench: no X server (run it through tests/support/with-xvfb.sh)\n");
    return 1;
  }
  const Window parent = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 545, 210, 0, 0, 0);
  XMapWindow(dpy, parent);
  XSync(dpy, False);

  Register(100, 545, 210);
  Register(101, 2050, 82);
  BenchPlug plug;
  IGraphicsLinux* g = new IGraphicsLinux(&plug, 545, 210, 24);
  g->AddBackground(100, "img/bg.png");
  IBitmap knob = g->LoadBitmapResource(101, "img/knob.png", 25);
  g->AddControl(new IBitmapControl(&plug, IRECT(47, 77, 129, 159), 0, knob, IChannelBlend(), false));
  plug.AttachEditor(g);
  {
    WDL_MutexLock lock(plug.GetMutex());
    if (!g->OpenWindow((void*)(uintptr_t)parent))
    {
      std::printf("x11_bench: the editor did not open\n");
      return 1;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // first frame
  std::printf("editor 545 x 210 at 24 fps, presenting through %s\n",
              g->UsesSharedMemory() ? "MIT-SHM" : "XPutImage");

  auto report = [&](const char* name, const std::function<void()>& during)
  {
    const int presented = g->PresentCount();
    const double share = bench::CpuShare(during);
    std::printf("%-40s %6.3f %% of a core, %d frames presented\n", name, 100.0 * share,
                g->PresentCount() - presented);
  };
  report("idle editor", [&] { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); });
  report("host moving one knob 30 times a second",
         [&]
         {
           const auto start = std::chrono::steady_clock::now();
           double v = 0.0;
           while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < seconds)
           {
             v = v < 1.0 ? v + 0.02 : 0.0;
             {
               WDL_MutexLock lock(plug.GetMutex());
               g->UpdateParamControls(0, v, true);
             }
             std::this_thread::sleep_for(std::chrono::milliseconds(33));
           }
         });

  {
    WDL_MutexLock lock(plug.GetMutex());
    g->CloseWindow();
  }
  XCloseDisplay(dpy);
  return 0;
}
