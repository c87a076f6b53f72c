// What a window layer provides, and how it drives the portable editor.
//
// A layer is one IGraphics subclass per window system (plus the headless
// one). It only translates native events into IGraphics calls; every rule
// that can run without a window (dirty union, redraw order, clipping, hit
// testing, capture, double-click and wheel gestures, the gesture-end
// countdown) lives in IGraphics.
//
// The lock rule (IPlugBase.h): a layer never makes a window-system call,
// waits for its server, draws or starts or joins a thread while the
// calling thread holds the instance lock. The core takes the editor's own
// lock around events, ticks and painting; a layer may take the instance
// lock only through LockPlug, for a short state read, and never the other
// way round.
//
// The core owns the window's life cycle and its order (OpenWindow,
// CloseWindow, Resize); a layer provides the steps:
//   PlatformOpenWindow(parent, place)  create a child of the host's window or
//                          view (at place when reopening), start a repeating
//                          timer at FrameRate() ticks per second; return
//                          the native handle, or null with nothing left.
//   PlatformWindowPlace    where the open window sits in its parent.
//   PlatformOpenEntry      show the native entry box for the layout the
//                          core's ITextEntry (ITextEntry.h) holds; false when
//                          none can be shown. The layer reports what ends it
//                          to that ITextEntry (one box at a time).
//   PlatformCloseEntry     end the layer's entry box without committing.
//   PlatformStopTimer      no tick, paint or event runs after it returns.
//   PlatformReleasePresentation  images, shared memory, tooltips.
//   PlatformDestroyWindow  the window and whatever native is left in it.
//   The destructor calls CloseWithoutPlug(): its base is deleting the editor.
// and the services:
//   GetWindow()            the native handle, null when closed.
//   PresentToScreen(r)     copy r of GetBackBuffer() to the screen.
//   InvalidateArea(r)      schedule a paint of r whose handler calls Draw(r)
//                          (the default draws at once).
//   OpenURL, HostPath, PluginPath  native services; refuse cleanly when
//                          unavailable.
//   PromptForFile, PromptForColor, UpdateTooltips  where the system has
//                          them; the core's defaults cancel the prompt,
//                          refuse the colour and show no tooltips.
//   LoadPlatformBitmap     decode an image by id or name; null when missing.
//
// and must call, on the UI thread:
//   timer tick             [its own entry-box step first, then] OnTimerTick()
//   paint                  Draw(&rect) with the area being painted
//   mouse                  OnMouseDown / OnMouseUp / OnMouseDrag (only while
//                          the layer holds the capture) / OnMouseDblClick
//                          (capture when it returns true) / OnMouseWheel
//                          (whole steps, toward zero) / OnMouseOver /
//                          OnMouseOut, with a MouseModifiers record
//   keys                   OnKeyDown(mouse x, mouse y, code) for the codes below
#pragma once

#include "IGraphics.h"

// Portable key codes for IGraphics::OnKeyDown; other keys are not passed on.
enum EIGraphicsKey
{
  KEY_SPACE = 0,
  KEY_UPARROW = 1,
  KEY_DOWNARROW = 2,
  KEY_LEFTARROW = 3,
  KEY_RIGHTARROW = 4,
  KEY_DIGIT_0 = 5,  // ... KEY_DIGIT_0 + 9
  KEY_ALPHA_A = 15  // ... KEY_ALPHA_A + 25
};

// Maps a character-like key to its code: space, '0'-'9' and letters of
// either case; -1 for anything else.
inline int IGraphicsKeyForChar(int c)
{
  if (c == ' ') return KEY_SPACE;
  if (c >= '0' && c <= '9') return KEY_DIGIT_0 + (c - '0');
  if (c >= 'A' && c <= 'Z') return KEY_ALPHA_A + (c - 'A');
  if (c >= 'a' && c <= 'z') return KEY_ALPHA_A + (c - 'a');
  return -1;
}
