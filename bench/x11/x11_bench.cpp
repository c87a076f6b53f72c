// CPU use of an open X11 editor shaped like the effect's (545 x 210), as a
// share of one core: idle (nothing dirty), and while the host moves one knob
// 30 times a second. Needs an X server (tests/x11/with-xvfb.sh starts one).
//
//   x11_bench [seconds-per-case]

#include "IControl.h"
#include "IGraphicsLinux.h"
#include "IGraphicsHeadless.h"
#include "IPlugBase.h"
#include "PngImages.h"
#include "QuietPlug.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

class BenchPlug : public QuietPlug
{
public:
  BenchPlug() : QuietPlug(6, "1-1 2-2", 0.5) {}
};

// A noisy RGBA image registered under id.
void Register(int id, int w, int h)
{
  editortest::RegisterPng(id, w, h, [&](int x, int y) {
    auto byte = [&](int c) {
      const size_t i = ((size_t)y * w + x) * 4 + c;
      return (int)((unsigned char)(i * 7 + i / 977));
    };
    return editortest::RGBA{ byte(0), byte(1), byte(2), byte(3) };
  });
}

// User plus system time of this process, in seconds.
double CpuSeconds()
{
  FILE* f = std::fopen("/proc/self/stat", "r");
  if (!f) return 0.0;
  char buf[1024];
  const size_t n = std::fread(buf, 1, sizeof(buf) - 1, f);
  std::fclose(f);
  buf[n] = 0;
  // Fields after the command name, which may hold spaces.
  const char* p = std::strrchr(buf, ')');
  unsigned long utime = 0, stime = 0;
  if (!p || std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
    return 0.0;
  return (double)(utime + stime) / (double)sysconf(_SC_CLK_TCK);
}

}  // namespace

int main(int argc, char** argv)
{
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy)
  {
    std::printf("x11_bench: no X server (run it through tests/x11/with-xvfb.sh)\n");
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

  double c0 = CpuSeconds();
  int p0 = g->PresentCount();
  auto t0 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%-40s %6.3f %% of a core, %d frames presented\n", "idle editor", 100.0 * (CpuSeconds() - c0) / wall,
              g->PresentCount() - p0);

  c0 = CpuSeconds();
  p0 = g->PresentCount();
  t0 = std::chrono::steady_clock::now();
  double v = 0.0;
  while (std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() < seconds)
  {
    v = v < 1.0 ? v + 0.02 : 0.0;
    {
      WDL_MutexLock lock(plug.GetMutex());
      g->UpdateParamControls(0, v, true);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(33));
  }
  wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%-40s %6.3f %% of a core, %d frames presented\n", "host moving one knob 30 times a second",
              100.0 * (CpuSeconds() - c0) / wall, g->PresentCount() - p0);

  {
    WDL_MutexLock lock(plug.GetMutex());
    g->CloseWindow();
  }
  XCloseDisplay(dpy);
  return 0;
}
