// IControl and the framework's standard controls.
//
// A control draws into the editor's back buffer, reacts to the mouse events
// IGraphics forwards and, when bound to a parameter, holds its normalised
// value. Everything runs on the UI thread except ApplyHostValue (through
// IGraphics::UpdateParamControls), which the host may call from any thread:
// that path only stores mValue, mDefaultValue and the dirty flags, which
// are atomics so drawing never waits on it.
//
// Contents: IControl, IBitmapControl, IKnobControl, IURLControl.
#pragma once

#include "IGraphicsStructs.h"

#include <atomic>

class IGraphics;
class IParam;
class IPlugBase;

// ================================================================ IControl

class IControl
{
public:
  // [UI thread]
  IControl(IPlugBase* plug, IRECT rect, int paramIndex = -1, IChannelBlend blend = IChannelBlend());
  virtual ~IControl() {}

  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // [UI thread] event handlers; coordinates in editor pixels.
  virtual void OnMouseDown(int x, int y, MouseModifiers* mod);
  virtual void OnMouseUp(int x, int y, MouseModifiers* mod)
  {
    (void)x;
    (void)y;
    (void)mod;
  }
  virtual void OnMouseDrag(int x, int y, int dX, int dY, MouseModifiers* mod)
  {
    (void)x;
    (void)y;
    (void)dX;
    (void)dY;
    (void)mod;
  }
  virtual void OnMouseDblClick(int x, int y, MouseModifiers* mod);
  virtual void OnMouseWheel(int x, int y, MouseModifiers* mod, int d);
  virtual void OnKeyDown(int x, int y, int key)
  {
    (void)x;
    (void)y;
    (void)key;
  }
  virtual void OnMouseOver(int x, int y, MouseModifiers* mod)
  {
    (void)x;
    (void)y;
    (void)mod;
  }
  virtual void OnMouseOut() {}

  // [UI thread] paints into the editor's back buffer, clipped by the editor.
  virtual bool Draw(IGraphics* graphics) = 0;

  // [any thread] a value from the plug-in; marks dirty, never sent back.
  virtual void ApplyHostValue(double v);
  // [UI thread] a value the user typed; clamped and sent to the plug-in.
  virtual void ApplyUserValue(double v);

  // [UI thread]
  virtual void Hide(bool hide);
  virtual void SetGrayed(bool grayed);
  virtual bool IsHit(int x, int y) { return mHitArea.Contains(x, y); }
  // [UI thread with push; any thread without] clamps mValue, marks dirty and,
  // with push, hands the value to the plug-in.
  virtual void SetDirty(bool push);
  // [UI thread] after drawing; keeps the control dirty one more frame when
  // mRedrawNext was set.
  virtual void SetClean();
  // [UI thread]
  virtual bool IsDirty() { return mDirty.load(); }
  // [any thread] the control stays dirty for one frame after it is next
  // drawn (what covered it may still be on screen then).
  void RedrawNextFrame() { mRedrawNext = true; }

  // [UI thread] right-click action: the platform's entry box for the parameter.
  void PromptForParam();

  // ------------------------------------------------------------ accessors
  int ParamIdx() const { return mParamIndex; }
  IPlugBase* GetPlug() const { return mPlug; }
  double GetValue() const { return mValue; }
  double GetDefaultValue() const { return mDefaultValue; }
  const IRECT& GetRECT() const { return mArea; }
  const IRECT& GetHitArea() const { return mHitArea; }
  void SetHitArea(const IRECT& r) { mHitArea = r; }
  void SetClampRange(double lo, double hi)
  {
    mLowClamp = lo;
    mHighClamp = hi;
  }
  bool IsHidden() const { return mHidden; }
  bool IsGrayed() const { return mGrayed; }
  bool NoPrompt() const { return mNoPrompt; }
  void SetNoPrompt(bool v) { mNoPrompt = v; }
  bool DblClickIsPress() const { return mDblClickIsPress; }
  void SetDblClickIsPress(bool v) { mDblClickIsPress = v; }
  const IChannelBlend& GetBlend() const { return mBlend; }
  const char* GetTooltip() const { return mTooltip; }
  void SetTooltip(const char* tip) { mTooltip = tip; }
  bool RedrawNext() const { return mRedrawNext.load(); }

protected:
  // The editor the plug-in owns, or null.
  IGraphics* GetGUI() const;

  IPlugBase* mPlug;
  IRECT mArea;
  IRECT mHitArea;
  IBitmap mControlBitmap;
  int mParamIndex;
  IAtomicDouble mValue;
  // -1 until the first value from the plug-in, which becomes the default.
  IAtomicDouble mDefaultValue;
  double mLowClamp, mHighClamp;
  std::atomic<bool> mDirty;
  bool mHidden;
  bool mGrayed;
  std::atomic<bool> mRedrawNext;
  bool mNoPrompt;
  bool mDblClickIsPress;
  IChannelBlend mBlend;
  const char* mTooltip;
};

// ================================================================ IBitmapControl

// Shows the frame of an image strip that the value selects.
class IBitmapControl : public IControl
{
public:
  IBitmapControl(IPlugBase* plug, IRECT rect, int paramIndex, const IBitmap& bitmap,
                 IChannelBlend blend = IChannelBlend(), bool verticalFrames = true)
    : IControl(plug, rect, paramIndex, blend), mVerticalFrames(verticalFrames), mBitmap(bitmap)
  {
  }
  // Placed with its top-left at (x, y), one frame in size.
  IBitmapControl(IPlugBase* plug, int x, int y, int paramIndex, const IBitmap& bitmap,
                 IChannelBlend blend = IChannelBlend(), bool verticalFrames = true);

  bool Draw(IGraphics* graphics) override;
  // Frame shown for the current value, counting from 1.
  int FrameForValue() const;

protected:
  bool mVerticalFrames;
  IBitmap mBitmap;
};

// ================================================================ IKnobControl

// A value that follows vertical or horizontal drags; drawing is the subclass's.
class IKnobControl : public IControl
{
public:
  enum EDirection
  {
    DirVertical = 0,
    DirHorizontal = 1
  };

  IKnobControl(IPlugBase* plug, IRECT rect, int paramIndex, int direction = DirVertical, double gearing = 4.0)
    : IControl(plug, rect, paramIndex), mDirection(direction), mGearing(gearing)
  {
  }

  void OnMouseDrag(int x, int y, int dX, int dY, MouseModifiers* mod) override;

protected:
  int mDirection;
  // Control heights (or widths) of mouse travel that sweep 0..1.
  double mGearing;
};

// ================================================================ IURLControl

// An invisible area that opens a web address; the link is in the background.
class IURLControl : public IControl
{
public:
  IURLControl(IPlugBase* plug, IRECT rect, const char* url, const char* fallbackUrl = nullptr,
              const char* errorText = nullptr);

  void OnMouseDown(int x, int y, MouseModifiers* mod) override;
  bool Draw(IGraphics* graphics) override
  {
    (void)graphics;
    return true;
  }

  const char* GetURL() const { return mTargetUrl; }
  const char* GetFallbackURL() const { return mFallbackUrl; }

protected:
  char mTargetUrl[256];
  char mFallbackUrl[256];
  char mErrorText[1024];
};
