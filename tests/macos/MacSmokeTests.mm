// The Cocoa editor layer built against GNUstep, in a real window on a
// private Xvfb: a stand-in for a Mac, run by tools/scripts/test-macos.sh.
// A VST 2 plug-in whose editor is an IGraphicsMac is opened through the
// dispatcher in a parent view, driven with AppKit events sent to its window,
// and closed; the host callback records the edits it hears of.
#include "IControl.h"
#include "IGraphicsMac.h"
#include "IGraphicsMacRules.h"
#include "MouseModifiersEq.h"
#include "IParam.h"
#include "IPlugVST.h"

#import <AppKit/AppKit.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

const int kW = 300, kH = 200;
const unsigned long kShift = IMacRules::kShiftBit, kControl = IMacRules::kControlBit,
                    kOption = IMacRules::kOptionBit, kCommand = IMacRules::kCommandBit;

// What the host heard, in order: "begin 0", "automate 0", "end 0".
std::vector<std::string> gHeard;

VstIntPtr VSTCALLBACK HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                   void* ptr, float opt)
{
  (void)effect;
  (void)value;
  (void)ptr;
  (void)opt;
  switch (opcode)
  {
    case audioMasterBeginEdit: gHeard.push_back("begin " + std::to_string(index)); return 1;
    case audioMasterAutomate: gHeard.push_back("automate " + std::to_string(index)); return 1;
    case audioMasterEndEdit: gHeard.push_back("end " + std::to_string(index)); return 1;
    case audioMasterVersion: return 2400;
    default: return 0;
  }
}

// A knob drawn as a solid block of colour.
class SolidKnob : public IKnobControl
{
public:
  SolidKnob(IPlugBase* plug, IRECT r, int param, IColor color)
    : IKnobControl(plug, r, param, DirVertical, 1.0), mColor(color)
  {
  }
  bool Draw(IGraphics* g) override { return g->FillArea(&mColor, &mArea); }

private:
  IColor mColor;
};

// Remembers the modifiers of the last press.
class ModifierProbe : public IControl
{
public:
  ModifierProbe(IPlugBase* plug, IRECT r) : IControl(plug, r) {}
  bool Draw(IGraphics* g) override
  {
    const IColor grey(255, 128, 128, 128);
    return g->FillArea(&grey, &mArea);
  }
  void OnMouseDown(int x, int y, MouseModifiers* mod) override
  {
    (void)x;
    (void)y;
    mLast = *mod;
    ++mPresses;
  }
  MouseModifiers mLast;
  int mPresses = 0;
};

const IRECT kKnobArea(20, 20, 80, 80);
const IRECT kProbeArea(100, 20, 160, 80);
const IColor kBlue(255, 0, 0, 255), kRed(255, 255, 0, 0);

class SmokePlug : public IPlugVST
{
public:
  SmokePlug()
    : IPlugVST(HostCallback, 1, "2-2", 0, "Smoke", "Smoke", "Test", 0x00010000, 0x536d6f6b, 0x54657374, 0, 0,
               false, false)
  {
    GetParam(0)->DefineDouble("Gain", 0.5, 0.0, 1.0, 0.0001);
    IGraphicsMac* g = new IGraphicsMac(this, kW, kH, 30);
    g->AddControl(new SolidKnob(this, IRECT(0, 0, kW, kH), -1, kBlue));
    g->AddControl(new SolidKnob(this, kKnobArea, 0, kRed));
    mProbe = new ModifierProbe(this, kProbeArea);
    g->AddControl(mProbe);
    AttachEditor(g);
  }
  IGraphicsMac* Gui() const { return static_cast<IGraphicsMac*>(GetGUI()); }
  ModifierProbe* mProbe;
};

class MacSmoke : public ::testing::Test
{
protected:
  void SetUp() override
  {
    gHeard.clear();
    mViolations = ILockRule::Violations();
    mWindow = [[NSWindow alloc] initWithContentRect:NSMakeRect(100, 100, kW + 40, kH + 40)
                                          styleMask:NSBorderlessWindowMask
                                            backing:NSBackingStoreBuffered
                                              defer:NO];
    mParent = [[NSView alloc] initWithFrame:NSMakeRect(20, 20, kW, kH)];
    [[mWindow contentView] addSubview:mParent];
    [mWindow makeKeyAndOrderFront:nil];
    mPlug = new SmokePlug;
    Dispatch(effOpen);
    ASSERT_EQ(Dispatch(effEditOpen, mParent), 1);
    mView = (NSView*)Gui()->GetWindow();
    ASSERT_TRUE(mView);
    Run(0.2);
  }

  void TearDown() override
  {
    Dispatch(effClose);  // closes the editor and deletes the plug-in
    EXPECT_EQ(ILockRule::Violations(), mViolations) << "window-system calls under the instance lock";
    [mWindow orderOut:nil];
    [mParent release];
    [mWindow release];
  }

  VstIntPtr Dispatch(VstInt32 opcode, void* ptr = nullptr)
  {
    AEffect* e = mPlug->GetAEffect();
    return e->dispatcher(e, opcode, 0, 0, ptr, 0.0f);
  }
  IGraphicsMac* Gui() const { return mPlug->Gui(); }
  // The application's event loop for a while: timers fire, events are
  // handled, and windows display what their views marked.
  static void Run(double seconds)
  {
    NSDate* until = [NSDate dateWithTimeIntervalSinceNow:seconds];
    while ([until timeIntervalSinceNow] > 0)
    {
      NSEvent* e = [NSApp nextEventMatchingMask:NSAnyEventMask
                                      untilDate:until
                                         inMode:NSDefaultRunLoopMode
                                        dequeue:YES];
      if (e) [NSApp sendEvent:e];
    }
  }

  // A mouse event at an editor point, through the window as AppKit sends it.
  void Mouse(NSEventType type, int x, int y, unsigned long flags = 0, int clicks = 1)
  {
    const NSPoint p = [mView convertPoint:NSMakePoint(x + 0.25, kH - y + 0.25) toView:nil];
    NSEvent* e = [NSEvent mouseEventWithType:type
                                    location:p
                               modifierFlags:flags
                                   timestamp:0
                                windowNumber:[mWindow windowNumber]
                                     context:nil
                                 eventNumber:0
                                  clickCount:clicks
                                    pressure:1.0f];
    [mWindow sendEvent:e];
  }
  void Click(NSEventType down, NSEventType up, int x, int y, unsigned long flags = 0)
  {
    Mouse(down, x, y, flags);
    Mouse(up, x, y, flags);
  }
  void Type(NSString* chars)
  {
    for (NSUInteger i = 0; i < [chars length]; ++i)
    {
      NSString* c = [chars substringWithRange:NSMakeRange(i, 1)];
      NSEvent* e = [NSEvent keyEventWithType:NSKeyDown
                                    location:NSMakePoint(0, 0)
                               modifierFlags:0
                                   timestamp:0
                                windowNumber:[mWindow windowNumber]
                                     context:nil
                                  characters:c
                 charactersIgnoringModifiers:c
                                   isARepeat:NO
                                     keyCode:0];
      [mWindow sendEvent:e];
    }
  }
  // Right-clicks the knob (or command-clicks it, which is the same), which
  // opens its entry box, and selects the box's text.
  NSTextField* OpenBox(bool commandClick = false)
  {
    if (commandClick)
      Click(NSLeftMouseDown, NSLeftMouseUp, 50, 50, kCommand);
    else
      Click(NSRightMouseDown, NSRightMouseUp, 50, 50);
    NSTextField* box = (NSTextField*)Gui()->EntryView();
    if (box) [[mWindow fieldEditor:YES forObject:box] selectAll:nil];
    gHeard.clear();
    return box;
  }
  // The view's pixel at an editor point, as AppKit draws the view.
  NSColor* PixelAt(int x, int y)
  {
    NSBitmapImageRep* rep = [mView bitmapImageRepForCachingDisplayInRect:[mView bounds]];
    [mView cacheDisplayInRect:[mView bounds] toBitmapImageRep:rep];
    return [[rep colorAtX:x y:y] colorUsingColorSpaceName:NSDeviceRGBColorSpace];
  }
  static std::vector<std::string> Edit(int param, int automates)
  {
    std::vector<std::string> out{ "begin " + std::to_string(param) };
    for (int i = 0; i < automates; ++i) out.push_back("automate " + std::to_string(param));
    out.push_back("end " + std::to_string(param));
    return out;
  }

  NSWindow* mWindow = nil;
  NSView* mParent = nil;
  NSView* mView = nil;
  SmokePlug* mPlug = nullptr;
  int mViolations = 0;
};

TEST_F(MacSmoke, OpensInParentViewAndTimerTicksPresentFrames)
{
  EXPECT_STREQ([NSStringFromClass([mView class]) UTF8String], "Quorvex2");
  EXPECT_EQ([mView superview], mParent);
  EXPECT_TRUE(NSEqualRects([mView frame], NSMakeRect(0, 0, kW, kH)));
  EXPECT_TRUE([mView isOpaque]);

  // The timer drew every control on its first ticks, and draws a change the
  // host makes.
  const int first = Gui()->PresentCount();
  EXPECT_GT(first, 0);
  AEffect* e = mPlug->GetAEffect();
  e->setParameter(e, 0, 0.9f);
  Run(0.2);
  EXPECT_GT(Gui()->PresentCount(), first);

  // Top-left in the editor is top-left on the screen: the knob near the top,
  // the background along the bottom.
  NSColor* knob = PixelAt(50, 30);
  NSColor* background = PixelAt(50, kH - 10);
  ASSERT_TRUE(knob && background);
  EXPECT_GT([knob redComponent], 0.9);
  EXPECT_LT([knob blueComponent], 0.1);
  EXPECT_GT([background blueComponent], 0.9);
  EXPECT_LT([background redComponent], 0.1);
}

TEST_F(MacSmoke, ClickAndDragReachTheHostAsEdits)
{
  Click(NSLeftMouseDown, NSLeftMouseUp, 50, 50);
  EXPECT_EQ(gHeard, Edit(0, 0));

  gHeard.clear();
  const double before = mPlug->GetParam(0)->GetUnitValue();
  Mouse(NSLeftMouseDown, 50, 50);
  Mouse(NSLeftMouseDragged, 50, 40);
  Mouse(NSLeftMouseDragged, 50, 30);
  Mouse(NSLeftMouseUp, 50, 30);
  EXPECT_EQ(gHeard, Edit(0, 2));
  // Up is more.
  EXPECT_GT(mPlug->GetParam(0)->GetUnitValue(), before);
}

TEST_F(MacSmoke, ModifierBits)
{
  struct Case
  {
    NSEventType down, up;
    unsigned long flags;
    bool L, R, S, C, A;
  };
  const Case cases[] = {
    { NSLeftMouseDown, NSLeftMouseUp, 0, true, false, false, false, false },
    { NSLeftMouseDown, NSLeftMouseUp, kShift | kControl | kOption, true, false, true, true, true },
    { NSLeftMouseDown, NSLeftMouseUp, kCommand, true, true, false, false, false },
    { NSRightMouseDown, NSRightMouseUp, kShift, false, true, true, false, false },
  };
  for (const Case& c : cases)
  {
    const int presses = mPlug->mProbe->mPresses;
    Click(c.down, c.up, 130, 50, c.flags);
    ASSERT_EQ(mPlug->mProbe->mPresses, presses + 1) << std::hex << c.flags;
    const MouseModifiers& m = mPlug->mProbe->mLast;
    EXPECT_EQ(m, MouseModifiers(c.L, c.R, c.S, c.C, c.A)) << std::hex << c.flags;
  }
}

TEST_F(MacSmoke, EntryBoxCommitsTypedText)
{
  NSTextField* box = OpenBox();
  ASSERT_TRUE(box);
  EXPECT_EQ([box superview], mView);
  // 42 x 21 around the knob's centre (50, 50), in view coordinates.
  EXPECT_TRUE(NSEqualRects([box frame], NSMakeRect(29, kH - 39 - 21, 42, 21)));

  Type(@"0.25\r");
  EXPECT_EQ(Gui()->EntryView(), nullptr);
  EXPECT_EQ([box superview], nil);
  EXPECT_EQ(gHeard, Edit(0, 1));
  EXPECT_NEAR(mPlug->GetParam(0)->GetUnitValue(), 0.25, 1e-9);
}

TEST_F(MacSmoke, ClicksDiscardTheEntryBox)
{
  // A left click elsewhere discards the typed text and still clicks.
  ASSERT_TRUE(OpenBox(true));
  Type(@"0.9");
  int presses = mPlug->mProbe->mPresses;
  Click(NSLeftMouseDown, NSLeftMouseUp, 130, 50);
  EXPECT_EQ(mPlug->mProbe->mPresses, presses + 1);
  EXPECT_EQ(Gui()->EntryView(), nullptr);
  EXPECT_TRUE(gHeard.empty());
  EXPECT_NEAR(mPlug->GetParam(0)->GetUnitValue(), 0.5, 1e-9);

  // A right click discards it and is consumed, press and release.
  ASSERT_TRUE(OpenBox());
  Type(@"0.9");
  presses = mPlug->mProbe->mPresses;
  Click(NSRightMouseDown, NSRightMouseUp, 130, 50);
  EXPECT_EQ(mPlug->mProbe->mPresses, presses);
  EXPECT_EQ(Gui()->EntryView(), nullptr);
  EXPECT_TRUE(gHeard.empty());
  EXPECT_NEAR(mPlug->GetParam(0)->GetUnitValue(), 0.5, 1e-9);
}

TEST_F(MacSmoke, ClosingDetaches)
{
  // effEditClose: the view leaves the parent and stops drawing.
  NSView* view = [mView retain];
  ASSERT_TRUE(OpenBox());
  EXPECT_EQ(Dispatch(effEditClose), 1);
  EXPECT_EQ(Gui()->GetWindow(), nullptr);
  EXPECT_EQ(Gui()->EntryView(), nullptr);
  EXPECT_EQ([view superview], nil);
  EXPECT_EQ([[mParent subviews] count], 0u);
  EXPECT_FALSE([view isOpaque]);
  const int presents = Gui()->PresentCount();
  Run(0.2);
  EXPECT_EQ(Gui()->PresentCount(), presents);
  [view release];

  // The host removing the view closes the editor the same way, and it opens
  // again.
  ASSERT_EQ(Dispatch(effEditOpen, mParent), 1);
  mView = (NSView*)Gui()->GetWindow();
  ASSERT_TRUE(mView);
  [mView removeFromSuperview];
  EXPECT_EQ(Gui()->GetWindow(), nullptr);
  EXPECT_EQ([[mParent subviews] count], 0u);
  ASSERT_EQ(Dispatch(effEditOpen, mParent), 1);
  EXPECT_EQ([[mParent subviews] count], 1u);
}

}  // namespace

int main(int argc, char** argv)
{
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  // Under Xvfb no window manager answers; GNUstep would wait for one.
  [[NSUserDefaults standardUserDefaults]
      registerDefaults:[NSDictionary dictionaryWithObject:@"NO" forKey:@"GSX11HandlesWindowDecorations"]];
  [NSApplication sharedApplication];
  ::testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  [pool drain];
  return rc;
}
