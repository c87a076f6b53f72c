// IGraphics: the platform-neutral editor.
//
// Owns the controls (index 0 is the background; drawing walks the list
// forwards, hit testing backwards), composes the dirty ones into one
// off-screen bitmap and turns mouse and key events into control calls and
// parameter gestures. A window layer (framework/platform/) derives from it
// and supplies the window, the timer, presenting, entry boxes and images;
// what a layer must provide is listed in platform/IGraphicsPlatform.h.
//
// Threads: events, ticks and painting run on the editor's thread (the host's
// GUI thread, or a layer's event thread) under the editor's own lock, which
// the host's thread also takes to open, close and resize. The instance lock
// may be taken while the editor lock is held, never the reverse, and only
// for a state read or write (the lock rule in IPlugBase.h). The one editor
// entry under the instance lock is UpdateParamControls, from whichever
// thread the host sets a parameter on: it only stores control values and
// dirty flags, which are atomics, and the editor picks them up on its next
// tick. Edit reports the editor makes are sent after its locks are released
// (IPlugBase::EditorEventDone).
//
// Contents: bitmap cache, IGraphics (construction and controls, parameter
// values, redraw, drawing primitives, events, platform hooks).
#pragma once

#include "IGraphicsStructs.h"
#include "ITextEntry.h"
#include "mutex.h"
#include "ptrlist.h"
#include "wdlstring.h"

#include <atomic>
#include <cstdint>

class IControl;
class IEditableTextControl;
class IParam;
class IPlugBase;
class LICE_CachedFont;
class LICE_MemBitmap;
class LICE_SysBitmap;

// Process-wide image cache shared by every editor instance: id -> bitmap.
// Entries live until the library unloads; bitmaps the editor builds itself
// are kept under id -1.
namespace IBitmapCache
{
// [any thread, cache mutex] null when the id has no image yet.
LICE_IBitmap* Find(int id);
// [any thread, cache mutex] takes ownership of bitmap; false when it could
// not be kept, and is freed.
bool Add(int id, LICE_IBitmap* bitmap);
// [any thread, cache mutex] a bitmap cut from source's area, under id -1;
// null when none is cached yet, or source is not a cached image.
LICE_IBitmap* FindCrop(const LICE_IBitmap* source, const IRECT& area);
// [any thread, cache mutex] as Add, for a bitmap cut from source's area.
bool AddCrop(const LICE_IBitmap* source, const IRECT& area, LICE_IBitmap* crop);
// [any thread, cache mutex] number of entries (tests and diagnostics).
int Size();
}  // namespace IBitmapCache

class IGraphics
{
public:
  // [UI thread] fps of 0 or less means 24; entry boxes follow the
  // conventions of entryPlatform.
  IGraphics(IPlugBase* plug, int width, int height, int fps = 24,
            IEntryPlatform entryPlatform = IEntryPlatform::Windows);
  // [UI thread] deletes the controls last to first, then the bitmaps.
  virtual ~IGraphics();

  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  // ------------------------------------------------------------ controls
  // [UI thread] takes ownership; returns the new index.
  int AddControl(IControl* control);
  // [UI thread] inserts an opaque full-size image at index 0.
  void AddBackground(int id, const char* name);
  IControl* GetControl(int idx) const { return mControls.Get(idx); }
  int NControls() const { return mControls.GetSize(); }

  // ------------------------------------------------------------ images
  // [UI thread] cached by id; a missing image gives mData null, which the
  // drawing primitives show as a placeholder.
  IBitmap LoadBitmapResource(int id, const char* name, int frames = 1);
  // [UI thread] hands bmp->mData to the cache under id -1 (null when it
  // could not be kept).
  void CacheBitmap(IBitmap* bmp);
  // [UI thread] a cached bitmap holding src's pixels in r, made once for a
  // cached image and area.
  IBitmap CropBitmap(IBitmap* src, IRECT* r);

  // ------------------------------------------------------------ parameter values
  // [any thread, instance lock] value is plain unless normalized is set;
  // every control bound to paramIndex gets ApplyHostValue.
  virtual void UpdateParamControls(int paramIndex, double value, bool normalized);
  // [UI thread] a committed entry box: value into the control with a gesture.
  void ApplyTextEntry(IControl* control, IParam* param, const char* text);

  // ------------------------------------------------------------ redraw
  // [UI thread] creates the back buffer and the scratch bitmap; throws
  // std::bad_alloc when the back buffer gets no pixels.
  virtual void PrepareDrawing();
  // [UI thread] r (passed in empty) becomes the union of dirty controls.
  bool IsDirty(IRECT* r);
  // [UI thread] draws the controls that overlap r, then PresentToScreen(r).
  bool Draw(IRECT* r);
  // [UI thread] every control redrawn on the next tick.
  void SetAllControlsDirty();
  // [UI thread] one timer tick as every window layer runs it: the dirty
  // union is handed to InvalidateArea, then the gesture-end countdown runs.
  // True when something was dirty.
  bool OnTimerTick();

  // ------------------------------------------------------------ window life cycle
  // [host UI thread, no instance lock] Opens the editor in parent, an open
  // one closing first (the new window keeps its place): the layer makes the
  // window and starts the timer, and every control is drawn on the first
  // tick. Null on failure, with nothing left open.
  void* OpenWindow(void* parent);
  // [host UI thread, no instance lock] In this order: ends a pending
  // gesture, closes the entry box, stops the timer, releases the layer's
  // presentation resources, destroys the window. The back buffer stays: a
  // closed editor still draws, and the snapshot tool reads it. Nothing when
  // closed.
  void CloseWindow();
  // [editor thread] true while CloseWindow runs: events are ignored.
  bool IsClosing() const { return mClosing.load(); }

  // ------------------------------------------------------------ drawing (into the back buffer)
  // [UI thread] all return true; a null blend is copy with source alpha.
  bool DrawBitmap(IBitmap* bitmap, IRECT* dest, int srcX, int srcY, const IChannelBlend* blend = nullptr);
  // frame counts from 1; frames lie top to bottom when vertical.
  bool DrawBitmapFrame(IBitmap* bitmap, IRECT* dest, int frame, const IChannelBlend* blend = nullptr,
                       bool vertical = true);
  // Centred on (cx, cy); angle in radians. Not clipped to the redraw area.
  bool DrawRotatedBitmap(IBitmap* bitmap, int cx, int cy, const IChannelBlend* blend, double angle,
                         float srcX = 0.0f, float srcY = 0.0f);
  bool FillArea(const IColor* color, IRECT* r, const IChannelBlend* blend = nullptr);
  bool DrawHorizontalLine(const IColor* color, int y, int x1, int x2);
  bool DrawVerticalLine(const IColor* color, int x, int y1, int y2);
  bool DrawRect(const IColor* color, IRECT* r);
  // Text is drawn by the font cache; false when no font could be made.
  bool DrawStyledText(IText* txt, const char* str, IRECT* r);
  LICE_CachedFont* FindOrCreateFont(IText* txt);

  // ------------------------------------------------------------ events
  // [UI thread] coordinates in editor pixels, origin top-left, y down.
  int ControlIndexAt(int x, int y);
  void ClearMouseCapture();
  void OnMouseDown(int x, int y, MouseModifiers* mod);
  void OnMouseUp(int x, int y, MouseModifiers* mod);
  // True tells the layer to capture the mouse.
  bool OnMouseDblClick(int x, int y, MouseModifiers* mod);
  void OnMouseDrag(int x, int y, MouseModifiers* mod);
  // A press from a window system that does not pair double clicks itself
  // (X11): a second left press within kDoubleClickMs and kDoubleClickSlop
  // pixels of the first is a double click, and a third starts over. Time
  // in milliseconds of the system's clock, which may wrap. True when a
  // control now holds the mouse: the layer captures it.
  bool OnMousePress(int x, int y, MouseModifiers* mod, bool left, uint32_t timeMs);
  static constexpr int kDoubleClickMs = 400;
  static constexpr int kDoubleClickSlop = 4;
  // True between a press on a control and its release: drags go to it.
  bool HasCapture() const { return mCaptureIndex >= 0; }
  // The window system took the mouse away mid-gesture (Win32's
  // WM_CAPTURECHANGED): the gesture ends as a release would end it.
  void OnMouseCaptureLost();
  // d in whole wheel steps.
  void OnMouseWheel(int x, int y, MouseModifiers* mod, int d);
  // Returns whether hover is tracked.
  bool OnMouseOver(int x, int y, MouseModifiers* mod);
  void OnMouseOut();
  // key: the portable key code (platform/IGraphicsPlatform.h).
  void OnKeyDown(int x, int y, int key);

  // ------------------------------------------------------------ platform hooks
  // [UI thread] copies r of the back buffer to the screen.
  virtual bool PresentToScreen(IRECT* r) = 0;
  // [UI thread] drops every control; the plug-in must attach new ones.
  // Drawing stops first and an open entry box closes.
  virtual void Resize(int w, int h);
  virtual bool WindowIsOpen() { return GetWindow() != nullptr; }
  // [UI thread] Opens the entry box for a parameter control or an editable
  // text control, one box at a time: the core lays it out (mEntry) and the
  // layer shows it (PlatformOpenEntry).
  void PromptUserInput(IControl* control, IParam* param);
  void PromptUserInput(IEditableTextControl* control);
  bool EntryOpen() const { return mEntry.IsOpen(); }
  virtual void HostPath(WDL_String* path) = 0;
  virtual void PluginPath(WDL_String* path) = 0;
  // action 0 open, 1 save; file becomes empty when cancelled. Without a
  // native dialog every prompt is cancelled.
  virtual void PromptForFile(WDL_String* file, int action, const char* dir, const char* extensions)
  {
    (void)action;
    (void)dir;
    (void)extensions;
    if (file) file->Set("");
  }
  // Without a native colour picker: false, color unchanged.
  virtual bool PromptForColor(IColor* color, const char* prompt)
  {
    (void)color;
    (void)prompt;
    return false;
  }
  virtual bool OpenURL(const char* url, const char* title = nullptr, const char* confirm = nullptr,
                       const char* errorText = nullptr) = 0;
  // [UI thread] a wheel delta the host forwards; false when not handled.
  virtual bool OnHostMouseWheel(float delta)
  {
    (void)delta;
    return false;
  }
  // [UI thread, instance lock] the delayed end of a wheel gesture, in ticks.
  virtual void SetParamChangeTimer(int ticks) { mParamChangeTimer = ticks > 0 ? ticks : 0; }
  virtual void CancelParamChangeTimer() { mParamChangeTimer = 0; }
  // [any thread] the native window or view, null when closed.
  virtual void* GetWindow() = 0;
  // Without native tooltips: nothing to update.
  virtual void UpdateTooltips() {}
  // [UI thread, no lock held] decodes an image; the cache takes ownership.
  virtual LICE_IBitmap* LoadPlatformBitmap(int id, const char* name) = 0;
  // [UI thread] schedules a paint of r that ends in Draw(r); a layer that
  // paints synchronously may simply call Draw.
  virtual void InvalidateArea(IRECT* r) { Draw(r); }
  // [editor thread] The plug-in's lock for a short read while drawing,
  // paired with UnlockPlug; false when there is no plug-in.
  bool LockPlug();
  void UnlockPlug();
  // [any thread] the editor's own lock.
  WDL_Mutex* GetEditorMutex() { return &mMutex; }

  // ------------------------------------------------------------ state
  IPlugBase* GetPlug() const { return mPlug; }
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FrameRate() const { return mFrameRate; }
  LICE_SysBitmap* GetBackBuffer() const { return mBackBuffer; }
  const IRECT& GetRedrawArea() const { return mRedrawArea; }
  int CaptureIndex() const { return mCaptureIndex; }
  int HoverIndex() const { return mHoverIndex; }
  int ParamChangeTimer() const { return mParamChangeTimer.load(); }
  bool TrackHover() const { return mTrackHover; }
  void SetTrackHover(bool on) { mTrackHover = on; }
  bool TooltipsOn() const { return mTooltipsOn; }
  void EnableTooltips(bool on) { mTooltipsOn = on; }

protected:
  // ------------------------------------------------------------ layer hooks
  // Called by the core in its fixed order, on the host's UI thread without
  // the instance lock unless said otherwise.
  // Where the open window sits in its parent (x, y, width, height); false
  // when unknown.
  virtual bool PlatformWindowPlace(IRECT* place)
  {
    (void)place;
    return false;
  }
  // Creates the window (at place when given) and starts the timer; null on
  // failure, with nothing left behind.
  virtual void* PlatformOpenWindow(void* parent, const IRECT* place) = 0;
  // [UI thread] Shows the native box for the layout mEntry holds; false
  // when there is no window to hold one or it could not be made, and the
  // core forgets the box. A layer without native boxes (headless) leaves it
  // to its caller to answer.
  virtual bool PlatformOpenEntry() { return true; }
  // [editor lock] Ends the layer's entry box state: the box goes without
  // committing. A layer whose connection belongs to its event thread leaves
  // the native box to PlatformDestroyWindow.
  virtual void PlatformCloseEntry() {}
  // Stops the timer; after it no tick, paint or event of this window runs.
  virtual void PlatformStopTimer() {}
  // Releases what only presenting needs (images, shared memory).
  virtual void PlatformReleasePresentation() {}
  // Destroys the window and everything native left in it.
  virtual void PlatformDestroyWindow() = 0;

  // [layer destructor] CloseWindow without calling the plug-in, whose base
  // is deleting the editor.
  void CloseWithoutPlug() { Close(false); }
  // [any thread] counts a window-system call made under the instance lock.
  void CheckLockRule(const char* what) const;

  // An editor event from a layer: holds the editor lock and, when the
  // outermost one ends, lets the plug-in send the edit reports it made.
  class EventScope
  {
  public:
    explicit EventScope(IGraphics* g);
    ~EventScope();
    EventScope(const EventScope&) = delete;
    EventScope& operator=(const EventScope&) = delete;

  private:
    IGraphics* mG;
  };

  // The editor lock: events, ticks, painting, and the host's open, close
  // and resize.
  WDL_Mutex mMutex;
  // The entry box: laid out here, shown and ended by the layer.
  ITextEntry mEntry;
  int mEventDepth = 0;
  std::atomic<bool> mClosing{ false };
  WDL_PtrList<IControl> mControls;
  IPlugBase* mPlug;
  IRECT mRedrawArea;
  LICE_SysBitmap* mBackBuffer = nullptr;
  LICE_MemBitmap* mScratchBitmap = nullptr;
  int mWidth, mHeight;
  int mFrameRate;
  int mCaptureIndex = -1;
  // The parameter whose gesture a press began, -1 when none is open.
  int mGestureParam = -1;
  int mHoverIndex = -1;
  int mMouseX = 0, mMouseY = 0;
  // The left press a second one may pair with (OnMousePress).
  bool mLastPressArmed = false;
  uint32_t mLastPressTime = 0;
  int mLastPressX = 0, mLastPressY = 0;
  bool mTrackHover = false;
  bool mTooltipsOn = false;
  // Ticks left before the plug-in's pending gesture end is flushed; 0 = none.
  std::atomic<int> mParamChangeTimer{ 0 };

private:
  void Close(bool callPlug);
  // [editor lock] ends the gesture of a pressed control and a pending
  // wheel gesture.
  void EndGestures();
  // [editor lock] the begin and end edits of a press, paired.
  void BeginMouseGesture(IControl* control);
  void EndMouseGesture();
  // The drawing rectangle of an image that could not be loaded.
  void DrawPlaceholder(IRECT* dest);
};
