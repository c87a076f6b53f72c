// IGraphicsMac: the editor as a Cocoa view inside the host's view.
//
// The view is an NSView of the class Quorvex2 (IGraphicsMac.mm): it runs
// the redraw timer on the main run loop, paints the back buffer in
// drawRect:, turns AppKit events into IGraphics calls (flipping the y axis)
// and hosts the entry box an ITextEntry lays out, as an NSTextField,
// NSSecureTextField or NSComboBox with the view as its delegate. Images come
// from the plug-in bundle, found by its identifier. The rules that need no
// AppKit live in the core and in IGraphicsMacRules.h.
//
// This header is plain C++: the effect includes it, and the Objective-C
// class Quorvex2 must never meet the effect's C++ class of that name.
//
// Threads: everything runs on the main thread (AppKit events, the run-loop
// timer and the host's editor calls), which calls in without the instance
// lock; events, ticks and painting hold the editor lock through the core.
#pragma once

#include "IGraphicsPlatform.h"
#include "IGraphicsText.h"
#include "wdlstring.h"

class IGraphicsMac : public IGraphics
{
public:
  // [main thread]
  IGraphicsMac(IPlugBase* plug, int width, int height, int fps = 24);
  // [main thread] closes the view without calling the plug-in.
  ~IGraphicsMac() override;

  // [main thread] The plug-in bundle's identifier: images and paths are
  // looked up through it. Set right after construction.
  void SetBundleID(const char* ident) { mBundleIdent.Set(ident ? ident : ""); }
  const char* GetBundleID() const { return mBundleIdent.Get(); }

  // ------------------------------------------------------------ platform hooks
  // [main thread] as in IGraphics.
  // Draws the whole back buffer into the view being drawn (drawRect:).
  bool PresentToScreen(IRECT* r) override;
  void Resize(int w, int h) override;
  // The bundle's executable, and the folder holding the bundle with a
  // trailing slash; empty when the bundle is not found.
  void HostPath(WDL_String* path) override;
  void PluginPath(WDL_String* path) override;
  void PromptForFile(WDL_String* file, int action, const char* dir, const char* extensions) override;
  bool OpenURL(const char* url, const char* title = nullptr, const char* confirm = nullptr,
               const char* errorText = nullptr) override;
  void* GetWindow() override { return mView; }
  void UpdateTooltips() override;
  // The bundle's PNG resource of that name; the id is not used.
  LICE_IBitmap* LoadPlatformBitmap(int id, const char* name) override;
  // Marks r of the view for the next display pass, which calls Draw.
  void InvalidateArea(IRECT* r) override;

  // ------------------------------------------------------------ state (tests)
  int PresentCount() const { return mPresents; }
  // The native entry box (an NSTextField), null when none is open.
  void* EntryView() const { return mEntryView; }

  // ------------------------------------------------------------ from the view
  // [main thread] The view's timer fired.
  void ViewTimer() { OnTimerTick(); }
  // [main thread] A mouse-down of either button: ends an open box as the
  // entry rules say; true when the click still goes to the controls.
  bool ViewClickEndsEntry(bool right);
  // [main thread] The box ended editing (Enter, Tab, focus lost): commits
  // its text, or a combo box's chosen item.
  void ViewEntryEnded(const char* text, int selected);
  // [main thread] The view was sent removeFromSuperview: the box goes, and
  // when the view was in a superview the editor closes as for effEditClose.
  void ViewRemoved(bool inSuperview);

protected:
  void* PlatformOpenWindow(void* parent, const IRECT* place) override;
  bool PlatformOpenEntry() override;
  void PlatformCloseEntry() override;
  void PlatformStopTimer() override;
  void PlatformReleasePresentation() override;
  void PlatformDestroyWindow() override;

private:
  // Takes the native box out of the view without it reporting anything;
  // fromBox when one of the box's own methods is on the stack.
  void RemoveEntryView(bool fromBox);

  void* mView = nullptr;        // the Quorvex2 view, retained; null when closed
  void* mEntryView = nullptr;   // the open box, retained
  void* mPresentRep = nullptr;  // GNUstep: the image presenting goes through
  int mPresents = 0;
  WDL_String mBundleIdent{ nullptr, 128 };
};
