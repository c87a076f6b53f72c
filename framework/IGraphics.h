// IGraphics: the editor as the plug-in base sees it.
//
// The plug-in base only pushes parameter values in, prepares drawing, asks
// for the editor size and frame rate, and drives the gesture-end countdown.
// Every call here runs on the UI thread except UpdateParamControls, which
// the host may trigger from any thread under the instance lock.
#pragma once

class IPlugBase;

class IGraphics
{
public:
  IGraphics(IPlugBase* plug, int width, int height, int fps)
    : mPlug(plug), mWidth(width), mHeight(height), mFrameRate(fps > 0 ? fps : 24) {}
  virtual ~IGraphics() {}

  IPlugBase* GetPlug() const { return mPlug; }
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FrameRate() const { return mFrameRate; }

  // [any thread, instance lock] value is plain unless normalized is set.
  virtual void UpdateParamControls(int paramIndex, double value, bool normalized) = 0;
  // [UI thread] creates the off-screen bitmaps.
  virtual void PrepareDrawing() = 0;

  // [UI thread] host mouse-wheel forwarding; false when not handled.
  virtual bool OnHostMouseWheel(float delta) { (void)delta; return false; }
  // [UI thread] the delayed end of a wheel gesture, counted in timer ticks.
  virtual void SetParamChangeTimer(int ticks) = 0;
  virtual void CancelParamChangeTimer() = 0;
  // [UI thread] returns the native window or view, null on failure.
  virtual void* OpenWindow(void* parent) = 0;
  virtual void CloseWindow() = 0;

protected:
  IPlugBase* mPlug;
  int mWidth, mHeight;
  int mFrameRate;
};
