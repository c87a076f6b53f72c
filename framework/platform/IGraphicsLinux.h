// IGraphicsLinux: the editor inside an X11 host window.
//
// effEditOpen hands over the host's X11 window id; the editor becomes a
// child window of it. Hosts differ in whether they call effEditIdle at all,
// so each open editor runs its own event thread on its own display
// connection: it turns X events into IGraphics calls, runs the redraw timer
// and presents the back buffer (through MIT-SHM where the server offers it).
//
// An open that fails part-way, also by a throw (no thread could be started),
// leaves nothing open; an event, tick or paint that throws on the event
// thread is dropped and the thread goes on.
//
// Locks: input events, the timer tick, entry-box commits and painting run on
// the event thread under the editor's lock, never the instance lock (the
// lock rule in IPlugBase.h): no X call is made while it is held. Opening
// and closing happen on the host's thread without the instance lock;
// closing joins the event thread before the window goes, so the thread
// never sees a closed window. A connection is only ever used by one thread
// at a time, whether or not Xlib was initialised for threads.
#pragma once

#include "IGraphicsPlatform.h"
#include "IGraphicsText.h"

#include <atomic>
#include <string>
#include <thread>

class LICE_MemBitmap;

class IGraphicsLinux : public IGraphics
{
public:
  // [UI thread]
  IGraphicsLinux(IPlugBase* plug, int width, int height, int fps = 24);
  // [UI thread] closes the window without calling the plug-in.
  ~IGraphicsLinux() override;

  // ------------------------------------------------------------ platform hooks
  // [any thread] the child window id, null when closed.
  void* GetWindow() override { return (void*)(uintptr_t)mWnd.load(); }
  // [event thread, no lock] copies r of the back buffer into the window.
  bool PresentToScreen(IRECT* r) override;
  // [event thread, no lock] collects areas for the paint after the tick;
  // with no window open, draws at once.
  void InvalidateArea(IRECT* r) override;
  // [host UI thread, no instance lock] reopens an open window at the new size.
  void Resize(int w, int h) override;
  // [any thread] folders of the host executable and of this module, with a
  // trailing slash; empty when unknown.
  void HostPath(WDL_String* path) override;
  void PluginPath(WDL_String* path) override;
  // [event thread] xdg-open, spawned without a shell and not waited for;
  // false when it cannot be started.
  bool OpenURL(const char* url, const char* title, const char* confirm, const char* errorText) override;
  // [UI thread, no lock] the shared image registry by id, then a PNG file
  // of that name next to the module.
  LICE_IBitmap* LoadPlatformBitmap(int id, const char* name) override;

  // ------------------------------------------------------------ diagnostics
  // [any thread] X errors on the layer's connections since the module was
  // loaded (a refused shared-memory probe is not counted).
  static int XErrorCount();
  // [any thread] frames presented since the last open.
  int PresentCount() const { return mPresents.load(); }
  // [any thread] true when presenting goes through MIT-SHM.
  bool UsesSharedMemory() const { return mShm; }
  // [any thread] the entry box's window id, 0 when none is open.
  unsigned long EntryWindow() const { return mEntryWnd.load(); }

protected:
  // [host UI thread, no instance lock] parent is the host's X11 window id.
  void* PlatformOpenWindow(void* parent, const IRECT* place) override;
  bool PlatformWindowPlace(IRECT* place) override;
  // [event thread, editor lock] the box as a child window of the editor's.
  bool PlatformOpenEntry() override;
  void PlatformCloseEntry() override;
  void PlatformStopTimer() override { StopThread(); }
  void PlatformReleasePresentation() override { DestroyImage(); }
  void PlatformDestroyWindow() override { Teardown(); }

private:
  struct XState;  // Xlib handles, kept out of this header

  // [host UI thread] PlatformOpenWindow's work; may throw, leaving what it
  // made for Teardown.
  void* OpenChild(unsigned long parentWnd, int x, int y);
  // Everything X of an open window, after the event thread has stopped;
  // also what a failed open left.
  void Teardown();
  void StopThread();
  void EventLoop();
  void HandleEvent(void* event);
  void HandleEditorEvent(void* event);
  void HandleEntryEvent(void* event);
  void Tick();
  void PaintPending();
  bool CreateImage();
  void DestroyImage();
  void PutPixels(unsigned long window, LICE_IBitmap* src, int x, int y, int w, int h, int dx, int dy);

  // Entry box.
  void OpenEntryWindow();
  void DrawEntry();
  void EndEntry(IEntryEvent event);
  int EntryItemAt(int y) const;

  XState* mX = nullptr;
  std::atomic<unsigned long> mWnd{ 0 };
  unsigned long mParentWnd = 0;
  std::thread mThread;
  std::atomic<bool> mQuit{ false };
  std::atomic<bool> mWndGone{ false };  // the host destroyed our window with its own
  int mWake[2] = { -1, -1 };
  std::atomic<int> mPresents{ 0 };
  bool mShm = false;
  // Where the window sits in its parent, as the server last said.
  std::atomic<int> mPlaceX{ 0 }, mPlaceY{ 0 };

  // Event thread only.
  IRECT mPendingPaint;

  std::atomic<unsigned long> mEntryWnd{ 0 };
  int mEntryRowH = 16;
  LICE_MemBitmap* mEntryBitmap = nullptr;
  IText mEntryFont;
};
