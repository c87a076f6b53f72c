// quorvex-host: the plug-in as a program of its own. Opens the editor in a
// top-level X window and plays an input file (or the demo phrase) in a loop
// through the default audio output, with the reference host as the DAW.
// Without an audio device it says so and runs silently, so that it can be
// driven under a virtual X server.
//
// Contents: options, input, audio output, window loop, main.
#include "Render.h"
#include "VstHost.h"

#include <RtAudio.h>
#include <alsa/asoundlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{

// ================================================================ options

struct Options
{
  std::string plugin;
  std::string input;
  std::string api;  // empty: PulseAudio, then ALSA
  double bpm = 120.0;
  double seconds = 0.0;  // 0: until the window closes
  bool audio = true;
  bool help = false;
};

const char* const kUsage = "usage: quorvex-host [options] [INPUT]\n"
                           "Opens the plug-in's editor and plays INPUT (or a demo phrase) in a loop.\n"
                           "  --plugin PATH   the VST 2 plug-in to host (default: the built effect)\n"
                           "  --bpm BPM       host tempo, 20 to 999 (default 120)\n"
                           "  --seconds N     quit after N seconds\n"
                           "  --api NAME      audio system: pulse, alsa or jack\n"
                           "  --no-audio      run without an audio device\n";

bool ParseArgs(int argc, char** argv, Options* o, std::string* error)
{
  for (int i = 1; i < argc; ++i)
  {
    const std::string a = argv[i];
    auto value = [&](std::string* out)
    {
      if (i + 1 >= argc)
      {
        *error = a + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    auto number = [&](double lo, double hi, double* out)
    {
      std::string text;
      if (!value(&text)) return false;
      char* end = nullptr;
      const double v = std::strtod(text.c_str(), &end);
      if (text.empty() || *end || !(v >= lo && v <= hi))
      {
        *error = a + " must be a number from " + std::to_string((int)lo) + " to " + std::to_string((int)hi);
        return false;
      }
      *out = v;
      return true;
    };
    if (a == "-h" || a == "--help")
      o->help = true;
    else if (a == "--plugin")
    {
      if (!value(&o->plugin)) return false;
    }
    else if (a == "--bpm")
    {
      if (!number(20.0, 999.0, &o->bpm)) return false;
    }
    else if (a == "--seconds")
    {
      if (!number(0.0, 1e6, &o->seconds)) return false;
    }
    else if (a == "--api")
    {
      if (!value(&o->api)) return false;
    }
    else if (a == "--no-audio")
      o->audio = false;
    else if (!a.empty() && a[0] == '-')
    {
      *error = "unknown option " + a;
      return false;
    }
    else if (o->input.empty())
      o->input = a;
    else
    {
      *error = "only one input file may be given";
      return false;
    }
  }
  if (o->plugin.empty()) o->plugin = quorvex::DefaultPluginPath();
  if (o->plugin.empty())
  {
    *error = "no plug-in given (--plugin)";
    return false;
  }
  return true;
}

// ================================================================ input

struct Loop
{
  std::vector<float> left, right;
  double rate = 44100.0;
};

bool LoadInput(const Options& o, Loop* loop, std::string* error)
{
  std::vector<double> interleaved;
  int channels = 2;
  if (o.input.empty())
  {
    interleaved = quorvex::MakeDemoSignal(loop->rate, o.bpm);
  }
  else
  {
    SF_INFO info;
    std::memset(&info, 0, sizeof(info));
    SNDFILE* f = sf_open(o.input.c_str(), SFM_READ, &info);
    if (!f)
    {
      *error = "cannot read '" + o.input + "': " + sf_strerror(nullptr);
      return false;
    }
    // About ten minutes is plenty for a loop.
    if (info.channels < 1 || info.samplerate < 1 || info.frames <= 0 ||
        info.frames > (sf_count_t)info.samplerate * 600)
    {
      sf_close(f);
      *error = "'" + o.input + "' has no usable audio, or is longer than ten minutes";
      return false;
    }
    channels = info.channels;
    loop->rate = info.samplerate;
    interleaved.assign((size_t)(info.frames * info.channels), 0.0);
    const sf_count_t got = sf_readf_double(f, interleaved.data(), info.frames);
    sf_close(f);
    interleaved.resize((size_t)(got > 0 ? got : 0) * (size_t)channels);
  }
  const size_t frames = interleaved.size() / (size_t)channels;
  if (!frames)
  {
    *error = "the input is empty";
    return false;
  }
  loop->left.resize(frames);
  loop->right.resize(frames);
  for (size_t i = 0; i < frames; ++i)
  {
    loop->left[i] = (float)interleaved[i * (size_t)channels];
    loop->right[i] = (float)interleaved[i * (size_t)channels + (channels > 1 ? 1 : 0)];
  }
  return true;
}

// ================================================================ audio output

// Pulls blocks through the plug-in; the audio thread (or the silent pacer)
// is the only caller, and nothing here allocates after Prepare.
class Player
{
public:
  Player(quorvex::VstHost& host, const Loop& loop) : mHost(host), mLoop(loop) {}

  void Prepare(int maxFrames)
  {
    const int n = maxFrames > 0 ? maxFrames : 512;
    const int ins = mHost.NumInputs() > 0 ? mHost.NumInputs() : 0;
    const int outs = mHost.NumOutputs() > 0 ? mHost.NumOutputs() : 0;
    mIn.assign((size_t)ins, std::vector<float>((size_t)n));
    mOut.assign((size_t)outs, std::vector<float>((size_t)n));
    mInPtr.clear();
    mOutPtr.clear();
    for (auto& c : mIn) mInPtr.push_back(c.data());
    for (auto& c : mOut) mOutPtr.push_back(c.data());
    mMax = n;
  }

  // Fills frames of interleaved stereo.
  void Render(float* out, int frames)
  {
    while (frames > 0)
    {
      const int n = frames < mMax ? frames : mMax;
      for (int i = 0; i < n; ++i)
      {
        for (size_t c = 0; c < mIn.size(); ++c)
          mIn[c][(size_t)i] = (c & 1) ? mLoop.right[mPos] : mLoop.left[mPos];
        if (++mPos >= mLoop.left.size()) mPos = 0;
      }
      mHost.ProcessReplacing(mInPtr.data(), mOutPtr.data(), n);
      for (int i = 0; i < n; ++i)
      {
        const float l = mOut.empty() ? 0.0f : mOut[0][(size_t)i];
        const float r = mOut.size() > 1 ? mOut[1][(size_t)i] : l;
        if (out)
        {
          out[2 * i] = l;
          out[2 * i + 1] = r;
        }
      }
      if (out) out += 2 * n;
      frames -= n;
    }
  }

private:
  quorvex::VstHost& mHost;
  const Loop& mLoop;
  std::vector<std::vector<float>> mIn, mOut;
  std::vector<float*> mInPtr, mOutPtr;
  size_t mPos = 0;
  int mMax = 0;
};

int AudioCallback(void* output, void* input, unsigned int frames, double time, RtAudioStreamStatus status,
                  void* user)
{
  (void)input;
  (void)time;
  (void)status;
  static_cast<Player*>(user)->Render(static_cast<float*>(output), (int)frames);
  return 0;
}

// ALSA prints its configuration errors itself; a missing card is one line
// of ours instead.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

// Opens and starts the default output; null (with the reason) when there is
// no usable device.
std::unique_ptr<RtAudio> StartAudio(const Options& o, Player* player, unsigned int rate, unsigned int* block,
                                    std::string* reason)
{
  std::vector<RtAudio::Api> apis;
  if (o.api == "pulse")
    apis = { RtAudio::LINUX_PULSE };
  else if (o.api == "alsa")
    apis = { RtAudio::LINUX_ALSA };
  else if (o.api == "jack")
    apis = { RtAudio::UNIX_JACK };
  else
    apis = { RtAudio::LINUX_PULSE, RtAudio::LINUX_ALSA };
  *reason = "no audio output device";
  snd_lib_error_set_handler(&QuietAlsa);
  for (RtAudio::Api api : apis)
  {
    // The library reports through exceptions; they stop here.
    try
    {
      std::unique_ptr<RtAudio> dac(new RtAudio(api));
      dac->showWarnings(false);
      if (dac->getDeviceCount() < 1) continue;
      RtAudio::StreamParameters out;
      out.deviceId = dac->getDefaultOutputDevice();
      out.nChannels = 2;
      unsigned int frames = *block;
      dac->openStream(&out, nullptr, RTAUDIO_FLOAT32, rate, &frames, &AudioCallback, player);
      player->Prepare((int)frames);
      dac->startStream();
      *block = frames;
      return dac;
    }
    catch (const RtAudioError& e)
    {
      *reason = "no audio output device (" + e.getMessage() + ")";
    }
  }
  return nullptr;
}

// ================================================================ window loop

std::atomic<bool> gQuit{ false };

void OnSignal(int) { gQuit = true; }

}  // namespace

int main(int argc, char** argv)
{
  Options o;
  std::string error;
  if (!ParseArgs(argc, argv, &o, &error))
  {
    std::fprintf(stderr, "quorvex-host: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (o.help)
  {
    std::fputs(kUsage, stdout);
    return 0;
  }

  Loop loop;
  if (!LoadInput(o, &loop, &error))
  {
    std::fprintf(stderr, "quorvex-host: %s\n", error.c_str());
    return 1;
  }

  quorvex::VstHost host;
  error = host.Load(o.plugin);
  if (!error.empty())
  {
    std::fprintf(stderr, "quorvex-host: %s\n", error.c_str());
    return 1;
  }
  host.SetTempo(o.bpm);
  const unsigned int rate = (unsigned int)(loop.rate + 0.5);
  unsigned int block = 512;
  host.Open((double)rate, (VstInt32)block);

  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy)
  {
    std::fprintf(stderr, "quorvex-host: cannot open the X display\n");
    return 1;
  }
  ERect* rect = nullptr;
  host.Dispatch(effEditGetRect, 0, 0, &rect);
  if (!(host.Flags() & effFlagsHasEditor) || !rect || rect->right <= rect->left || rect->bottom <= rect->top)
  {
    std::fprintf(stderr, "quorvex-host: %s has no editor\n", host.EffectName().c_str());
    XCloseDisplay(dpy);
    return 1;
  }
  const int w = rect->right - rect->left, h = rect->bottom - rect->top;
  const Window wnd =
      XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, (unsigned)w, (unsigned)h, 0, 0, 0);
  const std::string title = host.EffectName().empty() ? "Quorvex 2" : host.EffectName();
  XStoreName(dpy, wnd, title.c_str());
  XClassHint cls = { (char*)"quorvex-host", (char*)"QuorvexHost" };
  XSetClassHint(dpy, wnd, &cls);
  XSizeHints* hints = XAllocSizeHints();
  hints->flags = PMinSize | PMaxSize;
  hints->min_width = hints->max_width = w;
  hints->min_height = hints->max_height = h;
  XSetWMNormalHints(dpy, wnd, hints);
  XFree(hints);
  Atom deleteWindow = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(dpy, wnd, &deleteWindow, 1);
  XSelectInput(dpy, wnd, StructureNotifyMask);
  XMapWindow(dpy, wnd);
  XSync(dpy, False);
  if (host.Dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)wnd) != 1)
  {
    std::fprintf(stderr, "quorvex-host: the editor did not open\n");
    XDestroyWindow(dpy, wnd);
    XCloseDisplay(dpy);
    return 1;
  }

  Player player(host, loop);
  std::unique_ptr<RtAudio> dac;
  std::string reason = "audio off";
  if (o.audio) dac = StartAudio(o, &player, rate, &block, &reason);
  std::thread pacer;
  if (!dac)
  {
    // Silent: blocks still run through the plug-in at the real pace.
    std::printf("quorvex-host: %s; running silently\n", reason.c_str());
    std::fflush(stdout);
    player.Prepare((int)block);
    pacer = std::thread(
        [&]
        {
          const auto period = std::chrono::microseconds((long long)(1e6 * block / rate));
          auto next = std::chrono::steady_clock::now();
          while (!gQuit)
          {
            player.Render(nullptr, (int)block);
            next += period;
            std::this_thread::sleep_until(next);
          }
        });
  }

  struct sigaction sa;
  std::memset(&sa, 0, sizeof(sa));
  sa.sa_handler = OnSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  const auto start = std::chrono::steady_clock::now();
  while (!gQuit)
  {
    while (XPending(dpy))
    {
      XEvent ev;
      XNextEvent(dpy, &ev);
      if (ev.type == ClientMessage && (Atom)ev.xclient.data.l[0] == deleteWindow) gQuit = true;
      if (ev.type == DestroyNotify && ev.xdestroywindow.window == wnd) gQuit = true;
    }
    // Some hosts drive editors with effEditIdle; the editor must not mind.
    host.Dispatch(effEditIdle);
    if (o.seconds > 0 &&
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= o.seconds)
      gQuit = true;
    pollfd fd = { ConnectionNumber(dpy), POLLIN, 0 };
    poll(&fd, 1, 50);
  }

  if (dac)
  {
    try
    {
      if (dac->isStreamRunning()) dac->stopStream();
      if (dac->isStreamOpen()) dac->closeStream();
    }
    catch (const RtAudioError&)
    {
    }
  }
  if (pacer.joinable()) pacer.join();
  host.Dispatch(effEditClose);
  XDestroyWindow(dpy, wnd);
  XCloseDisplay(dpy);
  host.Close();
  return 0;
}
