// The editor as an LV2 X11 UI, loaded through suil as a host loads it, in a
// parent window under the private Xvfb: its first frame, a drag reported
// as port writes between touch begin and end, a host-side port change on
// screen; and X errors when two modules that link the X11 layer load and
// unload in either order. Waits are bounded polls.
// Before Xlib, whose None macro it must not meet.
#include <gtest/gtest.h>

#include "PngCodec.h"
#include "TestScreen.h"

#include <lv2/ui/ui.h>
#include <suil/suil.h>

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

using x11test::TestScreen;
using x11test::WaitFor;

namespace
{

typedef std::vector<std::string> Strings;
const char* const kPluginUri = "https://www.vantu.audio/plugins/quorvex-2";
const char* const kUiUri = "https://www.vantu.audio/plugins/quorvex-2#ui";
const int kW = 545, kH = 210;
const uint32_t kFeedbackPort = 3;
// The "Feedback" knob's centre in the editor.
const int kFeedbackX = 379, kFeedbackY = 130;

// The editor as quorvex-render --snapshot draws it without a window.
std::vector<uint32_t> Snapshot(const std::string& args)
{
  char path[] = "/tmp/quorvex-lv2ui-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return {};
  close(fd);
  const std::string cmd =
      std::string("'") + QUORVEX_RENDER_PATH + "' --snapshot '" + path + "' " + args + " >/dev/null";
  std::vector<uint32_t> out;
  int w = 0, h = 0;
  if (std::system(cmd.c_str()) != 0 || !qtest::ReadPng(path, &w, &h, &out) || w != kW || h != kH) out.clear();
  unlink(path);
  return out;
}

// What the host hears from the UI, in order: "touch P 1", "write P V",
// "touch P 0".
struct HostEar
{
  std::mutex mutex;
  Strings calls;
  int width = 0, height = 0;

  void Add(const std::string& c)
  {
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back(c);
  }
  Strings Copy()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return calls;
  }
};

void Write(SuilController controller, uint32_t port, uint32_t size, uint32_t protocol, const void* buffer)
{
  if (protocol != 0 || size != sizeof(float)) return;
  float v;
  std::memcpy(&v, buffer, sizeof(v));
  static_cast<HostEar*>(controller)->Add("write " + std::to_string(port) + " " + std::to_string((int)v));
}

uint32_t Index(SuilController, const char*) { return LV2UI_INVALID_PORT_INDEX; }

void Touch(LV2UI_Feature_Handle handle, uint32_t port, bool grabbed)
{
  static_cast<HostEar*>(handle)->Add("touch " + std::to_string(port) + (grabbed ? " 1" : " 0"));
}

int Resize(LV2UI_Feature_Handle handle, int width, int height)
{
  HostEar* ear = static_cast<HostEar*>(handle);
  std::lock_guard<std::mutex> lock(ear->mutex);
  ear->width = width;
  ear->height = height;
  return 0;
}

// The UI in a parent window at the screen's origin, as a host embeds it.
class HostedUI
{
public:
  HostedUI(TestScreen& screen, bool offerIdle) : mScreen(screen)
  {
    parent = screen.MakeParent(0, 0, kW, kH);

    mTouch = { &ear, Touch };
    mResize = { &ear, Resize };
    mParentFeature = { LV2_UI__parent, (void*)(uintptr_t)parent };
    mTouchFeature = { LV2_UI__touch, &mTouch };
    mResizeFeature = { LV2_UI__resize, &mResize };
    mIdleFeature = { LV2_UI__idleInterface, nullptr };
    int n = 0;
    mFeatures[n++] = &mParentFeature;
    mFeatures[n++] = &mTouchFeature;
    mFeatures[n++] = &mResizeFeature;
    if (offerIdle) mFeatures[n++] = &mIdleFeature;
    mFeatures[n] = nullptr;

    mHost = suil_host_new(Write, Index, nullptr, nullptr);
    const std::string bundle = std::string(QUORVEX_LV2_BUNDLE) + "/";
    instance = suil_instance_new(mHost, &ear, LV2_UI__X11UI, kPluginUri, kUiUri, LV2_UI__X11UI,
                                 bundle.c_str(), (bundle + "Quorvex2_ui.so").c_str(), mFeatures);
    if (instance)
      mIdle = (const LV2UI_Idle_Interface*)suil_instance_extension_data(instance, LV2_UI__idleInterface);
  }
  ~HostedUI()
  {
    if (instance) suil_instance_free(instance);
    suil_host_free(mHost);
    XDestroyWindow(mScreen.dpy, parent);
    XSync(mScreen.dpy, False);
  }

  Window Editor()
  {
    const std::vector<Window> kids = mScreen.Children(parent);
    return kids.empty() ? 0 : kids[0];
  }
  std::vector<uint32_t> Grab() { return mScreen.Grab(Editor(), kW, kH); }
  // The host's idle call, when the UI has one.
  void Idle()
  {
    if (mIdle) mIdle->idle(suil_instance_get_handle(instance));
  }
  bool HasIdle() const { return mIdle != nullptr; }
  void PortEvent(uint32_t port, float v) { suil_instance_port_event(instance, port, sizeof(v), 0, &v); }

  HostEar ear;
  Window parent = 0;
  SuilInstance* instance = nullptr;

private:
  TestScreen& mScreen;
  SuilHost* mHost = nullptr;
  const LV2UI_Idle_Interface* mIdle = nullptr;
  LV2UI_Touch mTouch;
  LV2UI_Resize mResize;
  LV2_Feature mParentFeature, mTouchFeature, mResizeFeature, mIdleFeature;
  const LV2_Feature* mFeatures[5];
};

class X11LV2UI : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (!screen.dpy) GTEST_SKIP() << "no X server";
  }
  TestScreen screen;
};

// A drag down on "Feedback", idling as a host does between events.
Strings DragFeedback(TestScreen& screen, HostedUI& ui, size_t* writes)
{
  screen.Move(kFeedbackX, kFeedbackY);
  screen.Button(1, true);
  for (int y = kFeedbackY + 5; y <= kFeedbackY + 40; y += 5)
  {
    screen.Move(kFeedbackX, y);
    ui.Idle();
  }
  screen.Button(1, false);
  Strings calls;
  WaitFor(
      [&]
      {
        ui.Idle();
        calls = ui.ear.Copy();
        return !calls.empty() && calls.back() == "touch 3 0";
      });
  *writes = 0;
  for (const std::string& c : calls) *writes += c.rfind("write 3 ", 0) == 0 ? 1 : 0;
  return calls;
}

}  // namespace

TEST_F(X11LV2UI, FirstFrameEqualsTheWindowlessRenderAndTheHostLearnsTheSize)
{
  const std::vector<uint32_t> expected = Snapshot("");
  ASSERT_FALSE(expected.empty());
  HostedUI ui(screen, true);
  ASSERT_NE(ui.instance, nullptr);
  EXPECT_TRUE(ui.HasIdle());
  ASSERT_TRUE(WaitFor([&] { return ui.Editor() != 0; }));
  EXPECT_TRUE(WaitFor([&] { return ui.Grab() == expected; })) << "first frame differs";
  std::lock_guard<std::mutex> lock(ui.ear.mutex);
  EXPECT_EQ(ui.ear.width, kW);
  EXPECT_EQ(ui.ear.height, kH);
}

// With an idle interface the edits arrive from idle; without one, from the
// editor's own thread. Either way as writes between touch begin and end.
TEST_F(X11LV2UI, ADragReachesTheHostAsPortWritesBetweenTouches)
{
  for (bool offerIdle : { true, false })
  {
    SCOPED_TRACE(offerIdle ? "host idles the UI" : "host never idles the UI");
    HostedUI ui(screen, offerIdle);
    ASSERT_NE(ui.instance, nullptr);
    ASSERT_TRUE(WaitFor([&] { return ui.Editor() != 0 && ui.Grab() == Snapshot(""); }));
    if (offerIdle) ui.Idle();  // from now on only idle sends

    size_t writes = 0;
    const Strings calls = DragFeedback(screen, ui, &writes);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front(), "touch 3 1");
    EXPECT_EQ(calls.back(), "touch 3 0");
    EXPECT_GT(writes, 0u);
    EXPECT_EQ(writes + 2, calls.size()) << "only writes between the touches";
    // Dragging down turns the knob down from its default of 60 %.
    EXPECT_LT(std::atoi(calls[calls.size() - 2].c_str() + 8), 60);
  }
}

TEST_F(X11LV2UI, AHostSidePortChangeRedrawsTheControl)
{
  const std::vector<uint32_t> expected = Snapshot("--param 'Feedback=99%'");
  ASSERT_FALSE(expected.empty());
  HostedUI ui(screen, true);
  ASSERT_NE(ui.instance, nullptr);
  ASSERT_TRUE(WaitFor([&] { return ui.Editor() != 0 && ui.Grab() == Snapshot(""); }));
  ui.PortEvent(kFeedbackPort, 99.0f);
  // Refused: not a float, not a parameter, not finite.
  const double d = 5.0;
  suil_instance_port_event(ui.instance, kFeedbackPort, sizeof(d), 0, &d);
  ui.PortEvent(40, 1.0f);
  ui.PortEvent(kFeedbackPort, std::numeric_limits<float>::quiet_NaN());
  EXPECT_TRUE(WaitFor(
      [&]
      {
        ui.Idle();
        return ui.Grab() == expected;
      }))
      << "the knob and read-out do not show 99 %";
  EXPECT_TRUE(ui.ear.Copy().empty()) << "a host's change is not reported back";
}

// ================================================================ two modules

namespace
{

int gHostErrors = 0;
int HostHandler(Display*, XErrorEvent*)
{
  ++gHostErrors;
  return 0;
}

// A module that links the X11 layer, with its editor open in a window of
// its own: the LV2 UI binary through its descriptor, or a copy of it
// under another name (a second module of the same code, as two plug-in
// binaries are).
class Module
{
public:
  Module(TestScreen& screen, const std::string& path) : mScreen(screen)
  {
    mLib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!mLib) return;
    typedef const LV2UI_Descriptor* (*Entry)(uint32_t);
    const Entry entry = (Entry)dlsym(mLib, "lv2ui_descriptor");
    mDescriptor = entry ? entry(0) : nullptr;
    if (!mDescriptor) return;
    mParent = screen.MakeParent(0, 0, kW, kH);
    mFeature = { LV2_UI__parent, (void*)(uintptr_t)mParent };
    const LV2_Feature* features[] = { &mFeature, nullptr };
    LV2UI_Widget widget = nullptr;
    mUI = mDescriptor->instantiate(mDescriptor, kPluginUri, QUORVEX_LV2_BUNDLE, Ignore, nullptr, &widget,
                                   features);
  }
  bool Open() const { return mUI != nullptr; }
  void Unload()
  {
    if (mUI) mDescriptor->cleanup(mUI);
    mUI = nullptr;
    if (mParent) XDestroyWindow(mScreen.dpy, mParent);
    mParent = 0;
    XSync(mScreen.dpy, False);
    if (mLib) dlclose(mLib);
    mLib = nullptr;
  }
  ~Module() { Unload(); }

private:
  static void Ignore(LV2UI_Controller, uint32_t, uint32_t, uint32_t, const void*) {}
  TestScreen& mScreen;
  void* mLib = nullptr;
  const LV2UI_Descriptor* mDescriptor = nullptr;
  LV2UI_Handle mUI = nullptr;
  Window mParent = 0;
  LV2_Feature mFeature;
};

// An error on the host's own connection: a window that does not exist.
void ForeignError(Display* dpy)
{
  XWindowAttributes wa;
  XGetWindowAttributes(dpy, (Window)0x7ffffff0, &wa);
  XSync(dpy, False);
}

}  // namespace

TEST_F(X11LV2UI, ForeignErrorsReachTheHostWhateverOrderModulesUnloadIn)
{
  const std::string first = std::string(QUORVEX_LV2_BUNDLE) + "/Quorvex2_ui.so";
  char copy[] = "/tmp/quorvex-ui-copy-XXXXXX.so";
  const int fd = mkstemps(copy, 3);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_EQ(std::system(("cp '" + first + "' '" + copy + "'").c_str()), 0);

  for (bool firstGoesFirst : { true, false })
  {
    SCOPED_TRACE(firstGoesFirst ? "unloaded in load order" : "unloaded in reverse order");
    XSetErrorHandler(HostHandler);
    gHostErrors = 0;
    {
      Module a(screen, first), b(screen, copy);
      ASSERT_TRUE(a.Open());
      ASSERT_TRUE(b.Open());
      ForeignError(screen.dpy);
      EXPECT_EQ(gHostErrors, 1) << "both loaded";
      (firstGoesFirst ? a : b).Unload();
      ForeignError(screen.dpy);
      EXPECT_EQ(gHostErrors, 2) << "one unloaded";
      (firstGoesFirst ? b : a).Unload();
      ForeignError(screen.dpy);
      EXPECT_EQ(gHostErrors, 3) << "both unloaded";
    }
    // The host's handler is still the one in place.
    EXPECT_EQ(XSetErrorHandler(nullptr), &HostHandler);
  }
  unlink(copy);
}
