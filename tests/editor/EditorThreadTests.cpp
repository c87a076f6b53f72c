// A host thread setting parameters at a high rate while the UI thread ticks,
// draws and drags. Built normally it checks that no update is lost; built
// with ThreadSanitizer it also shows that nothing races.
#include "IControl.h"
#include "IGraphicsHeadless.h"
#include "IPlugBase.h"
#include "QuietPlug.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{

// Counts parameter changes and sets parameters as the host would.
class CountingPlug : public QuietPlug
{
public:
  CountingPlug() : QuietPlug(4) {}
  std::atomic<int> mChanged{ 0 };

  void ParamChanged(int) override { ++mChanged; }

  // What the VST adapter's setParameter does.
  void HostSetParameter(int idx, double normalized)
  {
    WDL_MutexLock lock(&mMutex);
    if (mGraphics) mGraphics->UpdateParamControls(idx, normalized, true);
    GetParam(idx)->SetUnitValue(normalized);
    ParamChanged(idx);
  }
};

// Remembers the value it last painted.
class ValueKnob : public IKnobControl
{
public:
  ValueKnob(IPlugBase* plug, IRECT r, int param) : IKnobControl(plug, r, param) {}
  bool Draw(IGraphics* g) override
  {
    mLastDrawn = GetValue();
    IRECT r = mArea;
    r.T = r.B - (int)(mLastDrawn * (r.B - r.T));
    const IColor c(255, 255, 255, 255);
    return g->FillArea(&c, &r);
  }
  double mLastDrawn = -1.0;
};

}  // namespace

TEST(EditorThreads, HostParameterStormWhileTheUiThreadDraws)
{
  CountingPlug plug;
  IGraphicsHeadless* gui = new IGraphicsHeadless(&plug, 260, 100, 30);
  ValueKnob* knobs[4];
  for (int i = 0; i < 4; ++i)
    gui->AddControl(knobs[i] = new ValueKnob(&plug, IRECT(10 + 60 * i, 10, 60 + 60 * i, 90), i));
  plug.AttachEditor(gui);
  gui->OpenWindow(nullptr);

  // The host sets parameters 0-2 and ends on known values while the UI
  // thread is still ticking; the user edits parameter 3 meanwhile.
  std::atomic<bool> done{ false };
  std::thread host(
      [&]
      {
        for (int n = 0; n < 30000; ++n) plug.HostSetParameter(n % 3, (n % 1000) / 999.0);
        for (int i = 0; i < 3; ++i) plug.HostSetParameter(i, 0.25 * (i + 1));
        done = true;
      });

  MouseModifiers mod(true);
  for (int frame = 0; !done.load(); ++frame)
  {
    gui->Tick();
    if (frame % 10 == 0)
    {
      gui->OnMouseDown(220, 50, &mod);
      gui->OnMouseDrag(220, 40 + frame % 20, &mod);
      gui->OnMouseUp(220, 40, &mod);
      gui->OnMouseWheel(220, 50, &mod, 1);
    }
  }
  host.join();

  // Whatever interleaving happened, the last host values are what is drawn.
  for (int k = 0; k < 40; ++k) gui->Tick();
  for (int i = 0; i < 3; ++i)
  {
    EXPECT_DOUBLE_EQ(knobs[i]->GetValue(), 0.25 * (i + 1)) << i;
    EXPECT_DOUBLE_EQ(knobs[i]->mLastDrawn, 0.25 * (i + 1)) << i;
  }
  EXPECT_FALSE(gui->Tick());
}

// A control's value is added to on the editor's thread while the host may
// store into it: no addition may be lost.
TEST(EditorThreads, ValueAdditionsFromTwoThreadsAreNeverLost)
{
  IAtomicDouble value(0.0);
  auto add = [&](double d)
  {
    for (int i = 0; i < 200000; ++i) value += d;
  };
  std::thread a(add, 1.0), b(add, 2.0);
  for (int i = 0; i < 200000; ++i) value -= 1.0;
  a.join();
  b.join();
  EXPECT_EQ(value.Get(), 400000.0);
}
