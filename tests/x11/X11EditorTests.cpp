// The X11 editor through the reference host under a private Xvfb: what is
// on screen, what synthetic input (XTest) does to parameters and what the
// host sees, and the window's life cycle. Waits are bounded polls; nothing
// asserts on wall-clock time.
#include "EditCalls.h"
#include "IGraphicsLinux.h"
#include "PngCodec.h"
#include "TestPlugDriver.h"
#include "TestScreen.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

using qtest::EditCalls;
using Plug = qtest::TestPlugDriver;
using x11test::TestScreen;
using x11test::WaitFor;

namespace
{

typedef std::vector<std::string> Strings;

const int kW = 300, kH = 200;
// Knob centres of the test editor (100 px tall, gearing 1: 10 px = 0.1).
const int kMixX = 35, kOffsetX = 95, kShapeX = 155, kKnobY = 60;

// The X11 variant of the test plug-in with its editor open in a parent.
class Editor
{
public:
  explicit Editor(TestScreen& screen) : plug(TESTPLUG_X11_PATH), mScreen(screen) {}
  ~Editor() { Close(); }

  bool Open(Window parent)
  {
    mParent = parent;
    if (plug.host.Dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)parent) != 1) return false;
    open = true;
    // The first frame is complete once the window shows something.
    return WaitFor([&] { return plug.Log().presents > 0; });
  }
  void Close()
  {
    if (open) plug.host.Dispatch(effEditClose);
    open = false;
  }
  Window Child()
  {
    const std::vector<Window> kids = mScreen.Children(mParent);
    return kids.empty() ? 0 : kids.back();
  }
  // No X error on the layer's connections, no call made under the instance
  // lock that must not be.
  void ExpectClean()
  {
    EXPECT_EQ(plug.Log().xErrors, 0);
    EXPECT_EQ(plug.Log().lockRuleViolations, 0);
  }

  Plug plug;
  bool open = false;

private:
  TestScreen& mScreen;
  Window mParent = 0;
};

// The test knob paints its value as a yellow bar from the bottom up.
bool BarReaches(const std::vector<uint32_t>& px, int knobX, int y)
{
  return !px.empty() && px[(size_t)y * kW + knobX] == 0xF0C800;
}

class X11Editor : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (!screen.dpy) GTEST_SKIP() << "no X server";
  }
  TestScreen screen;
};

}  // namespace

TEST_F(X11Editor, FirstFrameMatchesHeadlessRender)
{
  const float state[] = { 0.3f, 0.75f, 1.0f, 0.f, 0.f, 0.55f };
  Plug headless(TESTPLUG_EDITOR_PATH);
  Editor editor(screen);
  ASSERT_TRUE(headless.Ok() && editor.plug.Ok());
  for (int i = 0; i < 6; ++i)
  {
    headless.host.SetParameter(i, state[i]);
    editor.plug.host.SetParameter(i, state[i]);
  }
  headless.host.Dispatch(effEditOpen, 0, 0, (void*)1);
  headless.Cmd(kTPCmdTimerTick);
  std::vector<uint32_t> expected((size_t)kW * kH);
  ASSERT_TRUE(headless.CopyFrame(expected.data(), kW, kH));
  for (uint32_t& p : expected) p &= 0xFFFFFF;

  ASSERT_TRUE(editor.Open(screen.MakeParent()));
  const Window child = editor.Child();
  ASSERT_NE(child, 0u);
  std::vector<uint32_t> shown;
  EXPECT_TRUE(WaitFor([&] { return (shown = screen.Grab(child, kW, kH)) == expected; }));
  size_t differ = 0;
  for (size_t i = 0; i < shown.size() && i < expected.size(); ++i) differ += shown[i] != expected[i];
  EXPECT_EQ(differ, 0u) << "pixels differing from the headless frame";
  editor.ExpectClean();
}

TEST_F(X11Editor, MouseEditsReachTheHostAsGestures)
{
  Editor editor(screen);
  ASSERT_TRUE(editor.plug.Ok());
  editor.plug.host.SetParameter(kTPMix, 0.5f);
  ASSERT_TRUE(editor.Open(screen.MakeParent()));
  editor.plug.ClearLog();

  // Drag: press, two moves up, release.
  screen.Move(kMixX, kKnobY);
  screen.Button(1, true);
  screen.Move(kMixX, kKnobY - 10);
  screen.Move(kMixX, kKnobY - 20);
  screen.Button(1, false);
  // Moves that queue up while one is handled arrive as the latest one.
  ASSERT_TRUE(WaitFor(
      [&]
      {
        const Strings c = EditCalls(editor.plug.host);
        return !c.empty() && c.back() == "end 0";
      }));
  const Strings drag = EditCalls(editor.plug.host);
  ASSERT_GE(drag.size(), 3u);
  EXPECT_EQ(drag.front(), "begin 0");
  for (size_t i = 1; i + 1 < drag.size(); ++i) EXPECT_EQ(drag[i], "automate 0");
  EXPECT_NEAR(editor.plug.Value(kTPMix), 70.0, 1e-6);

  // Three wheel notches down on another knob: one gesture that the timer
  // ends half a second (15 ticks at 30 fps) after the last notch.
  editor.plug.ClearLog();
  screen.Move(kOffsetX, kKnobY);
  for (int i = 0; i < 3; ++i)
  {
    screen.Button(5, true);
    screen.Button(5, false);
  }
  ASSERT_TRUE(WaitFor(
      [&]
      {
        const Strings c = EditCalls(editor.plug.host);
        return !c.empty() && c.back() == "end 1";
      }));
  EXPECT_EQ(EditCalls(editor.plug.host),
            (Strings{ "begin 1", "automate 1", "automate 1", "automate 1", "end 1" }));
  EXPECT_EQ(editor.plug.Log().timerTicksSet, 15);
  EXPECT_LT(editor.plug.Value(kTPOffset), 0.0);

  // A click on a knob is a press and a release; a second one close by in
  // time and place is the double-click, which restores the default.
  editor.plug.ClearLog();
  screen.Click(kMixX, kKnobY);
  screen.Click(kMixX + 1, kKnobY);
  ASSERT_TRUE(WaitFor(
      [&]
      {
        const Strings c = EditCalls(editor.plug.host);
        return std::count(c.begin(), c.end(), "end 0") == 2;
      }));
  const Strings clicks = EditCalls(editor.plug.host);
  EXPECT_EQ(clicks.front(), "begin 0");
  EXPECT_EQ(std::count(clicks.begin(), clicks.end(), "begin 0"), 2);
  EXPECT_TRUE(WaitFor([&] { return std::abs(editor.plug.Value(kTPMix) - 50.0) < 1e-6; }));
  editor.ExpectClean();
}

TEST_F(X11Editor, EntryBoxTypesPicksAndDiscards)
{
  Editor editor(screen);
  ASSERT_TRUE(editor.plug.Ok());
  ASSERT_TRUE(editor.Open(screen.MakeParent()));

  // Right click opens a text field; the typed text replaces the selection.
  screen.Click(kMixX, kKnobY, 3);
  ASSERT_TRUE(WaitFor([&] { return editor.plug.Log().entryWindow != 0; }));
  // The right click's own press and release are a gesture of their own.
  ASSERT_TRUE(WaitFor([&] { return EditCalls(editor.plug.host) == Strings{ "begin 0", "end 0" }; }));
  editor.plug.ClearLog();
  screen.Key(XK_7);
  screen.Key(XK_0);
  screen.Key(XK_Return);
  ASSERT_TRUE(WaitFor([&] { return editor.plug.Log().entryWindow == 0; }));
  EXPECT_NEAR(editor.plug.Value(kTPMix), 70.0, 1e-6);
  const Strings typed = EditCalls(editor.plug.host);
  ASSERT_GE(typed.size(), 3u);
  EXPECT_EQ((Strings{ typed[0], typed[1], typed[2] }), (Strings{ "begin 0", "automate 0", "end 0" }));

  // Escape and a right click discard; backspace edits before Enter.
  const struct
  {
    KeySym first, second;
    bool rightClick;
    double expect;
  } cases[] = {
    { XK_1, XK_Escape, false, 70.0 },
    { XK_2, 0, true, 70.0 },
    { XK_4, XK_BackSpace, false, 70.0 },
  };
  for (const auto& c : cases)
  {
    screen.Click(kMixX, kKnobY, 3);
    ASSERT_TRUE(WaitFor([&] { return editor.plug.Log().entryWindow != 0; }));
    screen.Key(c.first);
    if (c.second) screen.Key(c.second);
    if (c.rightClick) screen.Click(kOffsetX, kKnobY, 3);
    if (c.second == XK_BackSpace)
    {
      screen.Key(XK_3);
      screen.Key(XK_Return);
    }
    ASSERT_TRUE(WaitFor([&] { return editor.plug.Log().entryWindow == 0; }));
    EXPECT_NEAR(editor.plug.Value(kTPMix), c.second == XK_BackSpace ? 3.0 : c.expect, 1e-6);
  }

  // A left click elsewhere commits the box and then acts as a click.
  screen.Click(kMixX, kKnobY, 3);
  ASSERT_TRUE(WaitFor([&] { return editor.plug.Log().entryWindow != 0; }));
  screen.Key(XK_8);
  screen.Click(kOffsetX, kKnobY + 40);
  ASSERT_TRUE(WaitFor([&] { return editor.plug.Log().entryWindow == 0; }));
  EXPECT_TRUE(WaitFor([&] { return std::abs(editor.plug.Value(kTPMix) - 8.0) < 1e-6; }));

  // An enumerated parameter gets a list; clicking an item picks it. The
  // list opens at the knob's centre: row 0 is the current choice, then
  // the items 16 px each.
  screen.Click(kShapeX, kKnobY, 3);
  ASSERT_TRUE(WaitFor([&] { return editor.plug.Log().entryWindow != 0; }));
  screen.Click(kShapeX, kKnobY + 1 + 16 * 3 + 8);  // the third item, "Saw"
  ASSERT_TRUE(WaitFor([&] { return editor.plug.Log().entryWindow == 0; }));
  EXPECT_TRUE(WaitFor([&] { return editor.plug.Value(kTPShape) == 2.0; }));
  editor.ExpectClean();
}

TEST_F(X11Editor, HostChangesRedrawTheControls)
{
  Editor editor(screen);
  ASSERT_TRUE(editor.plug.Ok());
  editor.plug.host.SetParameter(kTPMix, 0.0f);
  ASSERT_TRUE(editor.Open(screen.MakeParent()));
  const Window child = editor.Child();
  EXPECT_TRUE(WaitFor([&] { return !BarReaches(screen.Grab(child, kW, kH), kMixX, 20); }));
  editor.plug.host.SetParameter(kTPMix, 1.0f);
  EXPECT_TRUE(WaitFor([&] { return BarReaches(screen.Grab(child, kW, kH), kMixX, 20); }));
  editor.plug.host.SetParameter(kTPMix, 0.0f);
  EXPECT_TRUE(WaitFor([&] { return !BarReaches(screen.Grab(child, kW, kH), kMixX, 20); }));
}

TEST_F(X11Editor, OpenCloseCyclesReopenAndTwoInstances)
{
  const Window parent = screen.MakeParent();
  {
    Editor editor(screen);
    ASSERT_TRUE(editor.plug.Ok());
    // Audio blocks keep taking the instance lock meanwhile, and wheel notches
    // arrive while windows open and close.
    std::atomic<bool> stop{ false };
    std::thread audio(
        [&]
        {
          while (!stop) editor.plug.ProcessSilence(64);
        });
    screen.Move(kMixX, kKnobY);
    for (int i = 0; i < 100; ++i)
    {
      ASSERT_EQ(editor.plug.host.Dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)parent), 1) << i;
      screen.Button(i % 2 ? 4 : 5, true);
      screen.Button(i % 2 ? 4 : 5, false);
      if (i % 3 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      editor.plug.host.Dispatch(effEditClose);
    }
    stop = true;
    audio.join();
    XSync(screen.dpy, False);
    EXPECT_TRUE(screen.Children(parent).empty());
    // Every gesture a notch began was ended, at the latest by the close.
    const Strings calls = EditCalls(editor.plug.host);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "begin 0"),
              std::count(calls.begin(), calls.end(), "end 0"));
    EXPECT_EQ(editor.plug.Log().pendingEndParam, -1);

    // A reopen without a close replaces the window and keeps it working.
    ASSERT_TRUE(editor.Open(parent));
    ASSERT_EQ(editor.plug.host.Dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)parent), 1);
    XSync(screen.dpy, False);
    EXPECT_EQ(screen.Children(parent).size(), 1u);
    editor.plug.ClearLog();
    screen.Click(kMixX, kKnobY, 3);
    EXPECT_TRUE(WaitFor([&] { return editor.plug.Log().entryWindow != 0; }));
    editor.ExpectClean();
  }

  // Two instances with editors open at once, each handling its own input.
  Editor a(screen), b(screen);
  ASSERT_TRUE(a.plug.Ok() && b.plug.Ok());
  ASSERT_TRUE(a.Open(screen.MakeParent(0, 0)));
  ASSERT_TRUE(b.Open(screen.MakeParent(400, 0)));
  a.plug.ClearLog();
  b.plug.ClearLog();
  screen.Click(400 + kMixX, kKnobY, 3);
  ASSERT_TRUE(WaitFor([&] { return b.plug.Log().entryWindow != 0; }));
  screen.Key(XK_9);
  screen.Key(XK_Return);
  EXPECT_TRUE(WaitFor([&] { return std::abs(b.plug.Value(kTPMix) - 9.0) < 1e-6; }));
  EXPECT_EQ(a.plug.Log().entryWindow, 0u);
  EXPECT_TRUE(EditCalls(a.plug.host).empty());
  a.Close();
  EXPECT_TRUE(b.plug.Log().presents > 0);
  EXPECT_EQ(b.plug.Log().xErrors, 0);
}

TEST_F(X11Editor, ClosingEndsAPendingWheelGesture)
{
  Editor editor(screen);
  ASSERT_TRUE(editor.plug.Ok());
  ASSERT_TRUE(editor.Open(screen.MakeParent()));
  editor.plug.ClearLog();
  screen.Move(kMixX, kKnobY);
  screen.Button(4, true);
  screen.Button(4, false);
  ASSERT_TRUE(WaitFor([&] { return EditCalls(editor.plug.host).size() >= 2; }));
  editor.Close();
  EXPECT_EQ(EditCalls(editor.plug.host), (Strings{ "begin 0", "automate 0", "end 0" }));
  EXPECT_EQ(editor.plug.Log().pendingEndParam, -1);
}

TEST_F(X11Editor, HostileParentsAreRefused)
{
  Editor editor(screen);
  ASSERT_TRUE(editor.plug.Ok());
  const int errorsBefore = editor.plug.Log().xErrors;
  // No window, a window id that does not exist.
  EXPECT_EQ(editor.plug.host.Dispatch(effEditOpen, 0, 0, nullptr), 0);
  EXPECT_EQ(editor.plug.host.Dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)0x7ffffff0), 0);
  EXPECT_EQ(editor.plug.Log().xErrors, errorsBefore);

  // The host destroys its window without closing the editor first.
  const Window parent = screen.MakeParent();
  ASSERT_TRUE(editor.Open(parent));
  XDestroyWindow(screen.dpy, parent);
  XSync(screen.dpy, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  editor.Close();
  ASSERT_TRUE(editor.Open(screen.MakeParent()));
  editor.Close();
}

namespace
{

// The top-level window whose name starts with `name`, 0 when there is none.
Window FindTopLevel(Display* dpy, const char* name)
{
  Window root, up, *kids = nullptr, found = 0;
  unsigned int n = 0;
  if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &up, &kids, &n)) return 0;
  for (unsigned int i = 0; i < n && !found; ++i)
  {
    char* title = nullptr;
    if (XFetchName(dpy, kids[i], &title) && title)
    {
      if (std::strncmp(title, name, std::strlen(name)) == 0) found = kids[i];
      XFree(title);
    }
  }
  if (kids) XFree(kids);
  return found;
}

}  // namespace

TEST_F(X11Editor, StandaloneHostShowsTheEditorAndTakesInput)
{
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0)
  {
    dup2(out[1], 1);
    close(out[0]);
    execl(QUORVEX_HOST_PATH, "quorvex-host", "--plugin", TESTPLUG_X11_PATH, "--bpm", "90", "--seconds", "60",
          (char*)nullptr);
    _exit(127);
  }
  close(out[1]);
  char line[256] = {};
  FILE* text = fdopen(out[0], "r");
  ASSERT_NE(text, nullptr);
  // Under Xvfb there is no sound card: one line says so.
  ASSERT_NE(std::fgets(line, sizeof(line), text), nullptr);
  EXPECT_NE(std::strstr(line, "running silently"), nullptr) << line;

  Window top = 0;
  ASSERT_TRUE(WaitFor([&] { return (top = FindTopLevel(screen.dpy, "Quorvex Test Plug")) != 0; }));
  std::vector<Window> kids;
  ASSERT_TRUE(WaitFor([&] { return !(kids = screen.Children(top)).empty(); }));
  XWindowAttributes at;
  ASSERT_TRUE(XGetWindowAttributes(screen.dpy, top, &at));
  EXPECT_EQ(at.width, kW);
  EXPECT_EQ(at.height, kH);

  // Drag the first knob (default 50 %) all the way up; the bar follows.
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(screen.dpy, top, DefaultRootWindow(screen.dpy), 0, 0, &x, &y, &child);
  // Shown once the knob's dark face is on screen above its half-way bar.
  ASSERT_TRUE(WaitFor(
      [&]
      {
        const std::vector<uint32_t> px = screen.Grab(kids[0], kW, kH);
        return !px.empty() && px[(size_t)20 * kW + kMixX] == 0x282828;
      }));
  screen.Move(x + kMixX, y + kKnobY);
  screen.Button(1, true);
  screen.Move(x + kMixX, y + kKnobY - 30);
  screen.Move(x + kMixX, y + kKnobY - 60);
  screen.Button(1, false);
  EXPECT_TRUE(WaitFor([&] { return BarReaches(screen.Grab(kids[0], kW, kH), kMixX, 20); }));

  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_TRUE(WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  std::fclose(text);
}

TEST(X11Services, OpenURLRunsXdgOpenWithoutAShell)
{
  char dir[] = "/tmp/quorvex-url-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string bin = std::string(dir) + "/bin", log = std::string(dir) + "/args";
  ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
  {
    // Records its argument count and arguments, one per line.
    FILE* f = std::fopen((bin + "/xdg-open").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "#!/bin/sh\n{ echo \"$#\"; printf '%%s\\n' \"$@\"; } > '%s.tmp'\nmv '%s.tmp' '%s'\n",
                 log.c_str(), log.c_str(), log.c_str());
    std::fclose(f);
    ASSERT_EQ(chmod((bin + "/xdg-open").c_str(), 0700), 0);
  }
  const char* oldPath = std::getenv("PATH");
  const std::string saved = oldPath ? oldPath : "";
  IGraphicsLinux g(nullptr, 10, 10);

  setenv("PATH", (bin + ":" + saved).c_str(), 1);
  const char* url = "https://example.invalid/a b?x=1;touch pwned $(id) `id`";
  EXPECT_TRUE(g.OpenURL(url, nullptr, nullptr, nullptr));
  std::string got;
  ASSERT_TRUE(WaitFor(
      [&]
      {
        FILE* f = std::fopen(log.c_str(), "r");
        if (!f) return false;
        char buf[512] = {};
        got.assign(buf, std::fread(buf, 1, sizeof(buf) - 1, f));
        std::fclose(f);
        return true;
      }));
  EXPECT_EQ(got, "1\n" + std::string(url) + "\n");
  EXPECT_NE(access((std::string(dir) + "/pwned").c_str(), F_OK), 0);

  // Nothing to run, nothing given: refused, so the link tries its backup.
  setenv("PATH", dir, 1);
  EXPECT_FALSE(g.OpenURL(url, nullptr, nullptr, nullptr));
  EXPECT_FALSE(g.OpenURL("", nullptr, nullptr, nullptr));
  EXPECT_FALSE(g.OpenURL(nullptr, nullptr, nullptr, nullptr));
  setenv("PATH", saved.c_str(), 1);

  WDL_String file("keep");
  g.PromptForFile(&file, 0, nullptr, "wav");
  EXPECT_STREQ(file.Get(), "");
  IColor c(255, 1, 2, 3);
  EXPECT_FALSE(g.PromptForColor(&c, "Colour"));
  WDL_String path;
  g.PluginPath(&path);
  EXPECT_EQ(path.Get()[path.GetLength() - 1], '/');
  std::system((std::string("rm -rf '") + dir + "'").c_str());
}

// ================================================================ the effect itself

namespace
{

// The effect's editor as quorvex-render --snapshot draws it without a window.
std::vector<uint32_t> Snapshot(int* w, int* h)
{
  char path[] = "/tmp/quorvex-snapshot-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return {};
  close(fd);
  const std::string cmd = std::string("'") + QUORVEX_RENDER_PATH + "' --snapshot '" + path + "' >/dev/null";
  std::vector<uint32_t> out;
  if (std::system(cmd.c_str()) != 0 || !qtest::ReadPng(path, w, h, &out)) out.clear();
  unlink(path);
  return out;
}

}  // namespace

TEST_F(X11Editor, TheEffectInTheReferenceHost)
{
  int w = 0, h = 0;
  const std::vector<uint32_t> expected = Snapshot(&w, &h);
  ASSERT_EQ(w, 545);
  ASSERT_EQ(h, 210);

  quorvex::VstHost host;
  ASSERT_EQ(host.Load(QUORVEX2_PATH), "");
  host.Open();
  XSetWindowAttributes a;
  a.override_redirect = True;
  const Window parent =
      XCreateWindow(screen.dpy, DefaultRootWindow(screen.dpy), 0, 0, (unsigned)w, (unsigned)h, 0,
                    CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect, &a);
  XMapRaised(screen.dpy, parent);
  XSync(screen.dpy, False);
  ASSERT_EQ(host.Dispatch(effEditOpen, 0, 0, (void*)(uintptr_t)parent), 1);
  Window editor = 0;
  ASSERT_TRUE(WaitFor(
      [&]
      {
        const std::vector<Window> kids = screen.Children(parent);
        return !kids.empty() && (editor = kids[0]) != 0;
      }));
  EXPECT_TRUE(WaitFor([&] { return screen.Grab(editor, w, h) == expected; })) << "first frame differs";

  auto calls = [&] { return EditCalls(host); };
  auto settle = [&](size_t n)
  {
    return WaitFor(
        [&]
        {
          const Strings c = calls();
          return c.size() >= n && c.back().rfind("end", 0) == 0;
        });
  };

  // Turn "Delay Rate" up from its knob, click "Triplet 2", press "Dry Mix"
  // at the bottom of its track.
  host.ClearCalls();
  screen.Move(88, 150);
  screen.Button(1, true);
  screen.Move(88, 120);
  screen.Move(88, 100);
  screen.Button(1, false);
  ASSERT_TRUE(settle(3));
  EXPECT_EQ(calls().front(), "begin 0");
  EXPECT_NE(host.ParamDisplay(0), "1/4");

  host.ClearCalls();
  screen.Click(180, 126);
  ASSERT_TRUE(settle(3));
  EXPECT_EQ(calls(), (Strings{ "begin 1", "automate 1", "end 1" }));
  EXPECT_EQ(host.ParamDisplay(1), "Triplet 2");

  host.ClearCalls();
  screen.Click(450, 165);
  ASSERT_TRUE(settle(3));
  EXPECT_EQ(calls(), (Strings{ "begin 4", "automate 4", "end 4" }));
  EXPECT_EQ(host.ParamDisplay(4), "0");

  // Three wheel notches on "Pan Width": one gesture, ended by the timer.
  host.ClearCalls();
  screen.Move(279, 130);
  for (int i = 0; i < 3; ++i)
  {
    screen.Button(5, true);
    screen.Button(5, false);
  }
  ASSERT_TRUE(settle(5));
  EXPECT_EQ(calls(), (Strings{ "begin 2", "automate 2", "automate 2", "automate 2", "end 2" }));

  // Right click on "Feedback", type 70, Enter. The box exists a moment
  // before it has the keyboard; keys typed in between go to the editor.
  screen.Click(379, 130, 3);
  ASSERT_TRUE(WaitFor(
      [&]
      {
        const std::vector<Window> kids = screen.Children(editor);
        return kids.size() == 1 && screen.Focus() == kids[0];
      }));
  host.ClearCalls();
  screen.Key(XK_7);
  screen.Key(XK_0);
  screen.Key(XK_Return);
  ASSERT_TRUE(WaitFor([&] { return screen.Children(editor).empty(); }));
  EXPECT_TRUE(WaitFor([&] { return host.ParamDisplay(3) == "70"; }));

  host.Dispatch(effEditClose);
  host.Close();
}
