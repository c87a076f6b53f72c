// IControl and the standard controls.
#include "IControl.h"

#include "IGraphics.h"
#include "IPlugBase.h"

#include <cmath>
#include <cstring>

// ================================================================ IControl

IControl::IControl(IPlugBase* plug, IRECT rect, int paramIndex, IChannelBlend blend)
  : mPlug(plug), mArea(rect), mHitArea(rect), mParamIndex(paramIndex), mValue(0.0), mDefaultValue(-1.0),
    mLowClamp(0.0), mHighClamp(1.0), mDirty(true), mHidden(false), mGrayed(false), mRedrawNext(false),
    mNoPrompt(false), mDblClickIsPress(false), mBlend(blend), mTooltip(nullptr)
{
}

IGraphics* IControl::GetGUI() const { return mPlug ? mPlug->GetGUI() : nullptr; }

void IControl::OnMouseDown(int x, int y, MouseModifiers* mod)
{
  (void)x;
  (void)y;
  if (mod && mod->R) PromptForParam();
}

void IControl::OnMouseDblClick(int x, int y, MouseModifiers* mod)
{
  (void)x;
  (void)y;
  (void)mod;
  const double def = mDefaultValue;
  if (def >= 0.0)
  {
    mValue = def;
    SetDirty(true);
  }
}

void IControl::OnMouseWheel(int x, int y, MouseModifiers* mod, int d)
{
  (void)x;
  (void)y;
  const bool fine = mod && (mod->C || mod->S);
  mValue += d * (fine ? 0.001 : 0.01);
  SetDirty(true);
}

void IControl::ApplyHostValue(double v)
{
  // A NaN would survive the clamp and reach drawing arithmetic.
  if (std::isnan(v)) return;
  if (mDefaultValue < 0.0)
  {
    mValue = v;
    mDefaultValue = v;
  }
  else if (v == mValue)
  {
    return;
  }
  else
  {
    mValue = v;
  }
  // Raised before the dirty flag: a SetClean racing on the UI thread then
  // either sees it and keeps the control dirty, or runs before the flag is
  // set, so the new value is never dropped.
  mRedrawNext = true;
  SetDirty(false);
}

void IControl::ApplyUserValue(double v)
{
  if (v != mValue) mValue = v;
  SetDirty(true);
  mRedrawNext = true;
}

void IControl::Hide(bool hide)
{
  mHidden = hide;
  mRedrawNext = true;
  SetDirty(false);
}

void IControl::SetGrayed(bool grayed)
{
  mGrayed = grayed;
  mBlend.mWeight = grayed ? 0.25f : 1.0f;
  SetDirty(false);
}

void IControl::SetDirty(bool push)
{
  const double v = mValue;
  // Written as a comparison chain so that NaN ends at the low clamp.
  const double clamped = !(v >= mLowClamp) ? mLowClamp : (v > mHighClamp ? mHighClamp : v);
  if (clamped != v) mValue = clamped;
  mDirty = true;
  if (push && mPlug && mParamIndex >= 0) mPlug->SetParamFromEditor(mParamIndex, clamped);
}

void IControl::SetClean()
{
  mDirty = false;
  if (mRedrawNext.exchange(false)) mDirty = true;
}

void IControl::PromptForParam()
{
  if (mParamIndex < 0 || mNoPrompt) return;
  IGraphics* gui = GetGUI();
  if (gui) gui->PromptUserInput(this, mPlug ? mPlug->GetParam(mParamIndex) : nullptr);
  mRedrawNext = true;
}

// ================================================================ IBitmapControl

IBitmapControl::IBitmapControl(IPlugBase* plug, int x, int y, int paramIndex, const IBitmap& bitmap,
                               IChannelBlend blend, bool verticalFrames)
  : IControl(plug,
             IRECT(x, y, x + (verticalFrames || bitmap.N < 1 ? bitmap.W : bitmap.W / bitmap.N),
                   y + (verticalFrames && bitmap.N >= 1 ? bitmap.H / bitmap.N : bitmap.H)),
             paramIndex, blend),
    mVerticalFrames(verticalFrames), mBitmap(bitmap)
{
}

int IBitmapControl::FrameForValue() const
{
  const int n = mBitmap.N;
  if (n < 2) return 1;
  const int i = (int)((n - 1) * (double)mValue + 0.5);
  if (i < 0) return 1;
  return i + 1 < n ? i + 1 : n;
}

bool IBitmapControl::Draw(IGraphics* graphics)
{
  IRECT area = mArea;
  return graphics->DrawBitmapFrame(&mBitmap, &area, FrameForValue(), &mBlend, mVerticalFrames);
}

// ================================================================ IKnobControl

void IKnobControl::OnMouseDrag(int x, int y, int dX, int dY, MouseModifiers* mod)
{
  (void)x;
  (void)y;
  double gearing = mGearing;
  if (mod && (mod->C || mod->S)) gearing *= 10.0;
  const bool horizontal = mDirection != DirVertical;
  const double travel = gearing * (horizontal ? mArea.R - mArea.L : mArea.T - mArea.B);
  // A zero-sized knob or zero gearing would turn the value into NaN or inf.
  if (travel == 0.0 || !std::isfinite(travel)) return;
  mValue += (horizontal ? dX : dY) / travel;
  SetDirty(true);
}

// ================================================================ IURLControl

static void CopyUrlText(char* dst, const char* src, size_t size)
{
  std::memset(dst, 0, size);
  if (!src || !*src) return;
  // Longer texts are cut rather than overrun the field.
  std::strncpy(dst, src, size - 1);
}

IURLControl::IURLControl(IPlugBase* plug, IRECT rect, const char* url, const char* fallbackUrl,
                         const char* errorText)
  : IControl(plug, rect)
{
  CopyUrlText(mTargetUrl, url, sizeof(mTargetUrl));
  CopyUrlText(mFallbackUrl, fallbackUrl, sizeof(mFallbackUrl));
  CopyUrlText(mErrorText, errorText, sizeof(mErrorText));
}

void IURLControl::OnMouseDown(int x, int y, MouseModifiers* mod)
{
  (void)x;
  (void)y;
  (void)mod;
  IGraphics* gui = GetGUI();
  if (!gui) return;
  if (mTargetUrl[0] && gui->OpenURL(mTargetUrl, mErrorText, nullptr, nullptr)) return;
  if (mFallbackUrl[0]) gui->OpenURL(mFallbackUrl, mErrorText, nullptr, nullptr);
}
