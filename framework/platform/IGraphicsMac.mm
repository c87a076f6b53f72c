// IGraphicsMac: AppKit events in, back buffer out.
//
// Built with manual retain and release (no ARC). GNUstep builds the same
// file on Linux as a stand-in for a Mac (tools/scripts/test-macos.sh); calls
// only Apple's AppKit has stay under __APPLE__. This file must not see
// effect/Quorvex2.h: its C++ class shares the name of the view class.
//
// Contents:
//   - helpers (autorelease pools, strings, bundles)
//   - the Quorvex2 view
//   - construction, images, paths
//   - opening and closing the view
//   - presenting and the timer
//   - entry box
//   - tooltips and native services
#include "IGraphicsMac.h"

#include "IGraphicsMacRules.h"

#include "IControl.h"
#include "IParam.h"
#include "IPlugBase.h"
#include "lice.h"
#include "lice_png.h"

#import <AppKit/AppKit.h>

#include <cstdint>
#include <cstring>
#include <string>

#if defined(__APPLE__)
// Some calls kept for older systems are deprecated on newer SDKs; they still
// work, and a newer SDK must not break the build over them.
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
static_assert((unsigned long)NSEventModifierFlagShift == IMacRules::kShiftBit, "modifier bits");
static_assert((unsigned long)NSEventModifierFlagCommand == IMacRules::kCommandBit, "modifier bits");
#else
static_assert((unsigned long)NSShiftKeyMask == IMacRules::kShiftBit, "modifier bits");
static_assert((unsigned long)NSCommandKeyMask == IMacRules::kCommandBit, "modifier bits");
#endif
static_assert(NSUpArrowFunctionKey == IMacRules::kUpArrowChar, "arrow keys");
static_assert(NSRightArrowFunctionKey == IMacRules::kRightArrowChar, "arrow keys");

// ================================================================ helpers

namespace
{

// Hosts may call the editor outside an AppKit event cycle, where nothing
// drains what Foundation autoreleases. (gobjc++ has no @autoreleasepool.)
class ScopedPool
{
public:
  ScopedPool() : mPool([[NSAutoreleasePool alloc] init]) {}
  ~ScopedPool() { [mPool drain]; }
  ScopedPool(const ScopedPool&) = delete;
  ScopedPool& operator=(const ScopedPool&) = delete;

private:
  NSAutoreleasePool* mPool;
};

// Never nil: text that is not UTF-8 becomes empty.
NSString* ToNS(const char* s)
{
  NSString* out = s ? [NSString stringWithUTF8String:s] : nil;
  return out ? out : @"";
}

NSBundle* BundleWithIdent(const char* ident)
{
  if (!ident || !*ident) return nil;
  return [NSBundle bundleWithIdentifier:ToNS(ident)];
}

NSRect ToNSRect(const IMacRules::ViewRect& r) { return NSMakeRect(r.x, r.y, r.w, r.h); }

}  // namespace

// ================================================================ the Quorvex2 view

@interface Quorvex2 : NSView <NSTextFieldDelegate>
{
  IGraphicsMac* mGraphics;  // null once the view is detached from the editor
  NSTimer* mTimer;
  BOOL mEatRightUp;  // the right click that ended a box: its release is no click
}
- (id)initWithIGraphics:(IGraphicsMac*)graphics;
- (void)onTimer:(NSTimer*)timer;
- (void)getMouseXY:(NSEvent*)event x:(int*)x y:(int*)y;
- (void)promptUserInput:(IControl*)control param:(IParam*)param;
- (void)promptUserInput:(IEditableTextControl*)control;
- (void)registerToolTip:(int)controlIdx rect:(IRECT)r;
- (void)killTimer;
- (void)detachFromEditor;
- (void)setParamChangeTimer:(int)ticks;
- (void)cancelParamChangeTimer;
@end

@implementation Quorvex2

- (id)init
{
  // Not used by the editor; a view without one draws nothing.
  self = [super initWithFrame:NSMakeRect(0, 0, 0, 0)];
  if (self)
  {
    mGraphics = nullptr;
    mTimer = nil;
    mEatRightUp = NO;
  }
  return self;
}

- (id)initWithIGraphics:(IGraphicsMac*)graphics
{
  self = [super initWithFrame:NSMakeRect(0, 0, graphics->Width(), graphics->Height())];
  if (!self) return nil;
  mGraphics = graphics;
  mEatRightUp = NO;
  mTimer = [[NSTimer timerWithTimeInterval:IMacRules::TimerInterval(graphics->FrameRate())
                                    target:self
                                  selector:@selector(onTimer:)
                                  userInfo:nil
                                   repeats:YES] retain];
  // Common modes: the editor keeps drawing while a menu tracks or a modal
  // loop runs.
#if defined(__APPLE__)
  [[NSRunLoop currentRunLoop] addTimer:mTimer forMode:NSRunLoopCommonModes];
#else
  // GNUstep takes the common modes for a mode name of its own, which no
  // loop runs: the modes they stand for, one by one.
  NSRunLoop* loop = [NSRunLoop currentRunLoop];
  [loop addTimer:mTimer forMode:NSDefaultRunLoopMode];
  [loop addTimer:mTimer forMode:NSModalPanelRunLoopMode];
  [loop addTimer:mTimer forMode:NSEventTrackingRunLoopMode];
#endif
  return self;
}

- (void)dealloc
{
  [self killTimer];
  [super dealloc];
}

- (BOOL)isOpaque
{
  return mGraphics ? YES : NO;
}

- (BOOL)acceptsFirstResponder
{
  // Not while a box is open: a click in the view would take the keyboard
  // from the box, which commits it, before mouseDown: could discard it.
  return mGraphics && mGraphics->EntryView() ? NO : YES;
}

- (BOOL)acceptsFirstMouse:(NSEvent*)event
{
  (void)event;
  return YES;
}

- (void)viewDidMoveToWindow
{
  NSWindow* window = [self window];
  if (!window) return;
  [window makeFirstResponder:self];
  [window setAcceptsMouseMovedEvents:YES];
}

- (void)drawRect:(NSRect)rect
{
  if (!mGraphics) return;
  IRECT r = IMacRules::ViewRectToEditor(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height,
                                        mGraphics->Height());
  mGraphics->Draw(&r);
}

- (void)onTimer:(NSTimer*)timer
{
  if (timer == mTimer && mGraphics) mGraphics->ViewTimer();
}

- (void)getMouseXY:(NSEvent*)event x:(int*)x y:(int*)y
{
  const NSPoint p = [self convertPoint:[event locationInWindow] fromView:nil];
  IMacRules::ViewPointToEditor(p.x, p.y, mGraphics->Height(), x, y);
}

- (void)mouseDown:(NSEvent*)event
{
  if (!mGraphics || !mGraphics->ViewClickEndsEntry(false)) return;
  int x, y;
  [self getMouseXY:event x:&x y:&y];
  MouseModifiers mod = IMacRules::Modifiers([event modifierFlags], IMacRules::Button::Left);
  if ([event clickCount] < 2)
    mGraphics->OnMouseDown(x, y, &mod);
  else
    mGraphics->OnMouseDblClick(x, y, &mod);
}

- (void)mouseUp:(NSEvent*)event
{
  if (!mGraphics) return;
  int x, y;
  [self getMouseXY:event x:&x y:&y];
  MouseModifiers mod = IMacRules::Modifiers([event modifierFlags], IMacRules::Button::Left);
  mGraphics->OnMouseUp(x, y, &mod);
}

- (void)mouseDragged:(NSEvent*)event
{
  if (!mGraphics) return;
  int x, y;
  [self getMouseXY:event x:&x y:&y];
  MouseModifiers mod = IMacRules::Modifiers([event modifierFlags], IMacRules::Button::Left);
  mGraphics->OnMouseDrag(x, y, &mod);
}

- (void)rightMouseDown:(NSEvent*)event
{
  if (!mGraphics) return;
  if (!mGraphics->ViewClickEndsEntry(true))
  {
    // The press began no gesture, so its release must not end one.
    mEatRightUp = YES;
    return;
  }
  int x, y;
  [self getMouseXY:event x:&x y:&y];
  MouseModifiers mod = IMacRules::Modifiers([event modifierFlags], IMacRules::Button::Right);
  mGraphics->OnMouseDown(x, y, &mod);
}

- (void)rightMouseUp:(NSEvent*)event
{
  if (mEatRightUp)
  {
    mEatRightUp = NO;
    return;
  }
  if (!mGraphics) return;
  int x, y;
  [self getMouseXY:event x:&x y:&y];
  MouseModifiers mod = IMacRules::Modifiers([event modifierFlags], IMacRules::Button::Right);
  mGraphics->OnMouseUp(x, y, &mod);
}

- (void)rightMouseDragged:(NSEvent*)event
{
  if (!mGraphics || mEatRightUp) return;
  int x, y;
  [self getMouseXY:event x:&x y:&y];
  MouseModifiers mod = IMacRules::Modifiers([event modifierFlags], IMacRules::Button::Right);
  mGraphics->OnMouseDrag(x, y, &mod);
}

- (void)mouseMoved:(NSEvent*)event
{
  if (!mGraphics) return;
  int x, y;
  [self getMouseXY:event x:&x y:&y];
  MouseModifiers mod = IMacRules::Modifiers([event modifierFlags], IMacRules::Button::Left);
  mGraphics->OnMouseOver(x, y, &mod);
}

- (void)scrollWheel:(NSEvent*)event
{
  if (!mGraphics) return;
  int x, y;
  [self getMouseXY:event x:&x y:&y];
  MouseModifiers mod = IMacRules::Modifiers([event modifierFlags], IMacRules::Button::Left);
  mGraphics->OnMouseWheel(x, y, &mod, IMacRules::WheelSteps([event deltaY]));
}

- (void)keyDown:(NSEvent*)event
{
  NSString* chars = [event charactersIgnoringModifiers];
  const int key = mGraphics && [chars length] ? IMacRules::KeyCode([chars characterAtIndex:0]) : -1;
  if (key < 0)
  {
    // Keys the editor does not use are the host's (transport, shortcuts).
    [super keyDown:event];
    return;
  }
  const NSPoint p = [self convertPoint:[[self window] mouseLocationOutsideOfEventStream] fromView:nil];
  int x, y;
  IMacRules::ViewPointToEditor(p.x, p.y, mGraphics->Height(), &x, &y);
  mGraphics->OnKeyDown(x, y, key);
}

- (void)promptUserInput:(IControl*)control param:(IParam*)param
{
  if (mGraphics) mGraphics->PromptUserInput(control, param);
}

- (void)promptUserInput:(IEditableTextControl*)control
{
  if (mGraphics) mGraphics->PromptUserInput(control);
}

- (void)controlTextDidEndEditing:(NSNotification*)note
{
  NSTextField* box = (NSTextField*)[note object];
  if (!mGraphics || !box || (void*)box != mGraphics->EntryView()) return;
  NSString* value = [box stringValue];
  const char* text = value ? [value UTF8String] : "";
  int selected = -1;
  if ([box respondsToSelector:@selector(indexOfSelectedItem)])
    selected = (int)[(NSComboBox*)box indexOfSelectedItem];
  mGraphics->ViewEntryEnded(text ? text : "", selected);
  [self viewDidMoveToWindow];
  [self setNeedsDisplay:YES];
}

- (void)registerToolTip:(int)controlIdx rect:(IRECT)r
{
  if (!mGraphics) return;
  [self addToolTipRect:ToNSRect(IMacRules::EditorRectToView(r, mGraphics->Height()))
                 owner:self
              userData:(void*)(intptr_t)controlIdx];
}

- (NSString*)view:(NSView*)view stringForToolTip:(NSToolTipTag)tag point:(NSPoint)point userData:(void*)data
{
  (void)view;
  (void)tag;
  (void)point;
  IControl* control = mGraphics ? mGraphics->GetControl((int)(intptr_t)data) : nullptr;
  const char* tip = control ? control->GetTooltip() : nullptr;
  if (!tip || !*tip || control->IsHidden() || control->IsGrayed()) return @"";
  return ToNS(tip);
}

- (void)killTimer
{
  [mTimer invalidate];
  [mTimer release];
  mTimer = nil;
}

- (void)detachFromEditor
{
  mGraphics = nullptr;
  // Out of the host's view too: a view of this class left behind would
  // outlive the code that draws it once the host unloads the plug-in.
  [super removeFromSuperview];
}

- (void)removeFromSuperview
{
  // The host takes the view away. GNUstep also sends this to every view it
  // adds, superview or not: only a view in a superview detaches.
  [self retain];
  IGraphicsMac* graphics = mGraphics;
  if (graphics)
    graphics->ViewRemoved([self superview] != nil);
  else
    [super removeFromSuperview];
  // Closing detached the view from a superview; without one there is
  // nothing to remove.
  [self release];
}

- (void)setParamChangeTimer:(int)ticks
{
  if (mGraphics) mGraphics->SetParamChangeTimer(ticks);
}

- (void)cancelParamChangeTimer
{
  if (mGraphics) mGraphics->CancelParamChangeTimer();
}

@end

// ================================================================ construction, images, paths

IGraphicsMac::IGraphicsMac(IPlugBase* plug, int width, int height, int fps)
  : IGraphics(plug, width, height, fps, IEntryPlatform::Mac)
{
#if defined(__APPLE__)
  // A Carbon host may not have set up Cocoa yet.
  NSApplicationLoad();
#endif
}

IGraphicsMac::~IGraphicsMac()
{
  // The plug-in base deletes its editor from its own destructor.
  CloseWithoutPlug();
  [(NSBitmapImageRep*)mPresentRep release];
  mPresentRep = nullptr;
}

LICE_IBitmap* IGraphicsMac::LoadPlatformBitmap(int imageId, const char* name)
{
  (void)imageId;
  ScopedPool pool;
  NSBundle* bundle = BundleWithIdent(mBundleIdent.Get());
  const std::string resource = LICE_BundleResourceName(name);
  if (!bundle || resource.empty()) return nullptr;
  NSString* path = [bundle pathForResource:ToNS(resource.c_str()) ofType:@"png"];
  if (!path || ![path length]) return nullptr;
  return LICE_ReadPngFile([path UTF8String]);
}

void IGraphicsMac::HostPath(WDL_String* path)
{
  if (!path) return;
  path->Set("");
  ScopedPool pool;
  NSString* exe = [BundleWithIdent(mBundleIdent.Get()) executablePath];
  if (exe && [exe length]) path->Set([exe UTF8String]);
}

void IGraphicsMac::PluginPath(WDL_String* path)
{
  if (!path) return;
  path->Set("");
  ScopedPool pool;
  NSString* bundlePath = [BundleWithIdent(mBundleIdent.Get()) bundlePath];
  if (!bundlePath || ![bundlePath length]) return;
  path->Set([[bundlePath stringByDeletingLastPathComponent] UTF8String]);
  path->Append("/");
}

// ================================================================ opening and closing the view

void* IGraphicsMac::PlatformOpenWindow(void* parent, const IRECT* place)
{
  (void)place;
  CheckLockRule("a window-system call");
  ScopedPool pool;
  Quorvex2* view = [[Quorvex2 alloc] initWithIGraphics:this];
  if (!view) return nullptr;
  mView = view;
  NSObject* host = (NSObject*)parent;
  if (host && [host isKindOfClass:[NSView class]]) [(NSView*)host addSubview:view];
  UpdateTooltips();
  return mView;
}

void IGraphicsMac::PlatformCloseEntry()
{
  RemoveEntryView(false);
  mEntry.OnEvent(IEntryEvent::WindowClosed, nullptr, -1);
}

void IGraphicsMac::PlatformStopTimer() { [(Quorvex2*)mView killTimer]; }

void IGraphicsMac::PlatformReleasePresentation()
{
  [(Quorvex2*)mView removeAllToolTips];
  [(NSBitmapImageRep*)mPresentRep release];
  mPresentRep = nullptr;
}

void IGraphicsMac::PlatformDestroyWindow()
{
  Quorvex2* view = (Quorvex2*)mView;
  if (!view) return;
  CheckLockRule("a window-system call");
  mView = nullptr;
  [view detachFromEditor];
  [view release];
}

void IGraphicsMac::ViewRemoved(bool inSuperview)
{
  {
    EventScope scope(this);
    if (mEntry.IsOpen())
    {
      RemoveEntryView(false);
      mEntry.Discard();
    }
  }
  if (!inSuperview) return;
  CloseWindow();
  // What closing ended reaches the host now, as after effEditClose.
  if (mPlug) mPlug->EditorEventDone();
}

void IGraphicsMac::Resize(int w, int h)
{
  IGraphics::Resize(w, h);
  {
    EventScope scope(this);
    if (mBackBuffer) mBackBuffer->Resize(w, h);
  }
  if (mView) [(Quorvex2*)mView setFrameSize:NSMakeSize(w, h)];
}

// ================================================================ presenting and the timer

void IGraphicsMac::InvalidateArea(IRECT* r)
{
  if (!r) return;
  if (!mView)
  {
    // Without a view the back buffer still follows the controls.
    Draw(r);
    return;
  }
  [(Quorvex2*)mView setNeedsDisplayInRect:ToNSRect(IMacRules::EditorRectToView(*r, mHeight))];
}

bool IGraphicsMac::PresentToScreen(IRECT* r)
{
  (void)r;  // the whole bitmap goes; AppKit clips to what drawRect: was asked
  if (!mView || !mBackBuffer || ![NSGraphicsContext currentContext]) return false;
#if defined(__APPLE__)
  CGContextRef port = [[NSGraphicsContext currentContext] CGContext];
  if (!port) return false;
  // Rows are A, R, G, B bytes (lice_pixel.h); the first row is the top.
  const size_t span = (size_t)mBackBuffer->RowSpan(), height = (size_t)mBackBuffer->Height();
  CGDataProviderRef data =
      CGDataProviderCreateWithData(nullptr, mBackBuffer->PixelData(), span * 4 * height, nullptr);
  CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
  CGImageRef image = data && space
                         ? CGImageCreate(span, height, 8, 32, span * 4, space,
                                         (CGBitmapInfo)kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Big,
                                         data, nullptr, false, kCGRenderingIntentDefault)
                         : nullptr;
  CGColorSpaceRelease(space);
  CGDataProviderRelease(data);
  if (!image) return false;
  CGContextDrawImage(port, CGRectMake(0, 0, span, height), image);
  CGImageRelease(image);
#else
  // GNUstep has no Core Graphics: the pixels go through an RGB image rep
  // kept between frames.
  const int w = mBackBuffer->Width(), h = mBackBuffer->Height();
  NSBitmapImageRep* rep = (NSBitmapImageRep*)mPresentRep;
  if (!rep || [rep pixelsWide] != w || [rep pixelsHigh] != h)
  {
    [rep release];
    rep = [[NSBitmapImageRep alloc] initWithBitmapDataPlanes:nullptr
                                                  pixelsWide:w
                                                  pixelsHigh:h
                                               bitsPerSample:8
                                             samplesPerPixel:3
                                                    hasAlpha:NO
                                                    isPlanar:NO
                                              colorSpaceName:NSDeviceRGBColorSpace
                                                 bytesPerRow:w * 3
                                                bitsPerPixel:24];
    mPresentRep = rep;
    if (!rep) return false;
  }
  unsigned char* out = [rep bitmapData];
  const int outSpan = (int)[rep bytesPerRow];
  for (int y = 0; y < h; ++y)
  {
    const LICE_PixelWord* in = mBackBuffer->PixelData() + (size_t)y * (size_t)mBackBuffer->RowSpan();
    unsigned char* o = out + (size_t)y * (size_t)outSpan;
    for (int x = 0; x < w; ++x, o += 3)
    {
      o[0] = (unsigned char)LICE_GETR(in[x]);
      o[1] = (unsigned char)LICE_GETG(in[x]);
      o[2] = (unsigned char)LICE_GETB(in[x]);
    }
  }
  [rep drawInRect:NSMakeRect(0, 0, w, h)];
#endif
  ++mPresents;
  return true;
}

// ================================================================ entry box

// The box ITextEntry has laid out; false when AppKit made none.
bool IGraphicsMac::PlatformOpenEntry()
{
  if (!mView || mEntryView) return false;
  CheckLockRule("a window-system call");
  Quorvex2* view = (Quorvex2*)mView;
  const IEntryBoxLayout& lay = mEntry.Layout();
  const NSRect frame = ToNSRect(IMacRules::EditorBoxToView(lay.x, lay.y, lay.w, lay.h, mHeight));
  NSTextField* box = nil;
  if (lay.kind == IEntryBoxLayout::kListBox)
  {
    NSComboBox* combo = [[NSComboBox alloc] initWithFrame:frame];
    [combo setNumberOfVisibleItems:lay.visibleItems];
    for (size_t i = 0; i < lay.items.size(); ++i) [combo addItemWithObjectValue:ToNS(lay.items[i].c_str())];
    if (lay.selected >= 0 && lay.selected < (int)lay.items.size()) [combo selectItemAtIndex:lay.selected];
    box = combo;
  }
  else
  {
    box = lay.secure ? [[NSSecureTextField alloc] initWithFrame:frame]
                     : [[NSTextField alloc] initWithFrame:frame];
    [box setStringValue:ToNS(lay.text.c_str())];
    if (lay.readOnly)
    {
      [box setEditable:NO];
      [box setSelectable:YES];
    }
    [[box cell] setLineBreakMode:NSLineBreakByTruncatingTail];
  }
  if (!box) return false;
  [box setAlignment:lay.align == IEntryBoxLayout::kAlignLeft    ? NSTextAlignmentLeft
                    : lay.align == IEntryBoxLayout::kAlignRight ? NSTextAlignmentRight
                                                                : NSTextAlignmentCenter];
  NSFont* font = [NSFont fontWithName:ToNS(lay.fontName.c_str()) size:lay.fontSize];
  [box setFont:font ? font : [NSFont systemFontOfSize:lay.fontSize]];
  [box setDelegate:view];
  [view addSubview:box];
  mEntryView = box;
  [[view window] makeKeyAndOrderFront:nil];
  [[view window] makeFirstResponder:box];
  return true;
}

void IGraphicsMac::RemoveEntryView(bool fromBox)
{
  NSTextField* box = (NSTextField*)mEntryView;
  if (!box) return;
  mEntryView = nullptr;
  // Nothing the box does from here on reaches the editor.
  [box setDelegate:nil];
  [box abortEditing];
  [box removeFromSuperview];
  // Ending its editing runs inside the box's own methods: it must outlive
  // them.
  if (fromBox)
    [box autorelease];
  else
    [box release];
  if (mView) [[(Quorvex2*)mView window] makeFirstResponder:(Quorvex2*)mView];
}

bool IGraphicsMac::ViewClickEndsEntry(bool right)
{
  EventScope scope(this);
  if (!mEntry.IsOpen()) return true;
  RemoveEntryView(false);
  return mEntry.OnEvent(right ? IEntryEvent::RightClick : IEntryEvent::ClickElsewhere, "", -1);
}

void IGraphicsMac::ViewEntryEnded(const char* text, int selected)
{
  EventScope scope(this);
  if (!mEntry.IsOpen()) return;
  mEntry.Commit(text, selected);
  RemoveEntryView(true);
}

// ================================================================ tooltips and native services

void IGraphicsMac::UpdateTooltips()
{
  Quorvex2* view = (Quorvex2*)mView;
  if (!view) return;
  ScopedPool pool;
  [view removeAllToolTips];
  if (!mTooltipsOn) return;
  for (int i = 0; i < mControls.GetSize(); ++i)
  {
    IControl* control = mControls.Get(i);
    if (!control->GetTooltip() || control->IsHidden() || control->GetHitArea().Empty()) continue;
    [view registerToolTip:i rect:control->GetHitArea()];
  }
}

void IGraphicsMac::PromptForFile(WDL_String* file, int action, const char* dir, const char* extensions)
{
  if (!file) return;
  if (!mView)
  {
    file->Set("");
    return;
  }
  ScopedPool pool;
  NSSavePanel* panel = nil;
  if (action == 1)
  {
    panel = [NSSavePanel savePanel];
  }
  else if (action == 0)
  {
    NSOpenPanel* open = [NSOpenPanel openPanel];
    [open setCanChooseFiles:YES];
    [open setCanChooseDirectories:NO];
    [open setResolvesAliases:YES];
    panel = open;
  }
  if (!panel) return;
  if (extensions && *extensions)
  {
    [panel setAllowedFileTypes:[ToNS(extensions) componentsSeparatedByString:@" "]];
    [panel setAllowsOtherFileTypes:NO];
  }
  if (dir && *dir) [panel setDirectoryURL:[NSURL fileURLWithPath:ToNS(dir)]];
  if (file->Get()[0]) [panel setNameFieldStringValue:ToNS(file->Get())];
  const NSInteger answer = [panel runModal];
  NSString* path = answer == NSModalResponseOK ? [[panel URL] path] : nil;
  file->Set(path && [path length] ? [path UTF8String] : "");
}

bool IGraphicsMac::OpenURL(const char* url, const char* title, const char* confirm, const char* errorText)
{
  (void)title;
  (void)confirm;
  (void)errorText;
  if (!url || !*url) return false;
  ScopedPool pool;
  NSString* s = ToNS(url);
  NSURL* target = strstr(url, "http") ? [NSURL URLWithString:s] : [NSURL fileURLWithPath:s];
  if (!target) return true;
  return [[NSWorkspace sharedWorkspace] openURL:target] ? true : false;
}
