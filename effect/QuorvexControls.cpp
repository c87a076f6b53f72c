// The effect's own controls.
//
// Contents:
//   - value text
//   - knobs (IKnobMulti, IKnobRotVal)
//   - radio buttons
//   - sliders (ISliderImg, ISlider)
#include "QuorvexControls.h"

#include "IGraphics.h"
#include "IPlugBase.h"

#include <cmath>
#include <cstring>

namespace
{

const double kPi = 3.14159265358979323846;

int Frames(const IBitmap& b) { return b.N > 0 ? b.N : 1; }

// Knob image plus the value text rows below it.
IRECT KnobRect(int x, int y, const IBitmap* bitmap, const IText* text, int textGap, int widthOverride)
{
  const int w = bitmap ? bitmap->W : 0, h = bitmap ? bitmap->H : 0, n = bitmap ? Frames(*bitmap) : 1;
  const int hw = widthOverride ? widthOverride / 2 : RoundAway((float)w / (float)n * 0.5f);
  const int hh = RoundAway(h * 0.5);
  const int textSize = text ? text->mTextSize : 0;
  return IRECT(x - hw, y - hh, x + hw, y + hh + textSize + textGap);
}

// The knob image's own rectangle: one frame wide, centred on the knob.
IRECT KnobImageRect(const IRECT& area, int centerX, const IBitmap& bitmap, const IText& text, int textGap)
{
  const float fw = (float)bitmap.W / (float)Frames(bitmap);
  const int half = RoundAway(fw / 2.0f);
  return IRECT(centerX - half, area.T, centerX + half, area.B - textGap - text.mTextSize);
}

// The read-out in the bottom text rows of area, centred.
void DrawValueText(IGraphics* graphics, IPlugBase* plug, int paramIdx, IText* text, const IRECT& area)
{
  if (text->mTextSize <= 0) return;
  char str[MAX_PARAM_DISPLAY_TEXT + MAX_PARAM_LABEL_LEN];
  if (!FormatValueText(plug, paramIdx, str, (int)sizeof(str))) return;
  text->mAlignment = IText::kAlignCenter;
  IRECT r(area.L, area.B - text->mTextSize, area.R, area.B);
  graphics->DrawStyledText(text, str, &r);
}

}  // namespace

// ================================================================ value text

bool FormatValueText(IPlugBase* plug, int paramIdx, char* out, int outSize)
{
  if (!out || outSize <= 0) return false;
  out[0] = 0;
  if (!plug) return false;
  char display[MAX_PARAM_DISPLAY_TEXT];
  char label[MAX_PARAM_LABEL_LEN];
  IParam* param = plug->GetParam(paramIdx);
  if (!param) return false;
  // The host may set the parameter from another thread: the lock is held
  // for the copy only, never while drawing, and taken through the editor,
  // which gives up when its window is closing.
  IGraphics* graphics = plug->GetGUI();
  if (graphics && !graphics->LockPlug()) return false;
  if (!graphics) plug->GetMutex()->Enter();
  {
    // Released also when formatting throws.
    struct Unlock
    {
      IGraphics* graphics;
      IPlugBase* plug;
      ~Unlock()
      {
        if (graphics)
          graphics->UnlockPlug();
        else
          plug->GetMutex()->Leave();
      }
    } unlock{ graphics, plug };
    param->FormatDisplay(false, display, param->Value());
    CopyFixedText(label, param->GetLabelForHost(), (int)sizeof(label));
  }
  if (!display[0]) return false;
  const size_t n = std::strlen(display), m = std::strlen(label);
  if (n >= (size_t)outSize) return false;
  std::memcpy(out, display, n);
  const size_t room = (size_t)outSize - 1 - n;
  const size_t k = m < room ? m : room;
  std::memcpy(out + n, label, k);
  out[n + k] = 0;
  return true;
}

// ================================================================ knobs

IKnobMulti::IKnobMulti(IPlugBase* plug, int paramIdx, int x, int y, IBitmap* bitmap, IText* text, int textGap,
                       double gearing, int widthOverride, int direction)
  : IKnobControl(plug, KnobRect(x, y, bitmap, text, textGap, widthOverride), paramIdx, direction, gearing),
    mText(text ? *text : IText()), mBitmap(bitmap ? *bitmap : IBitmap()), mCenterX(x), mCenterY(y),
    mTextGap(textGap)
{
  if (!text) mText.mTextSize = 0;
}

int IKnobMulti::Frame() const
{
  const int n = Frames(mBitmap);
  const double v = mValue;
  const int f = RoundAway((n - 1) * v) + 1;
  return f < 1 ? 1 : (f > n ? n : f);
}

IRECT IKnobMulti::ImageRect() const { return KnobImageRect(mArea, mCenterX, mBitmap, mText, mTextGap); }

bool IKnobMulti::Draw(IGraphics* graphics)
{
  DrawValueText(graphics, mPlug, mParamIndex, &mText, mArea);
  IRECT r = ImageRect();
  return graphics->DrawBitmapFrame(&mBitmap, &r, Frame(), &mBlend, false);
}

IKnobRotVal::IKnobRotVal(IPlugBase* plug, int paramIdx, int x, int y, IBitmap* bitmap, IText* text,
                         int textGap, int range, double gearing, int widthOverride, int direction,
                         float dotWeight)
  : IKnobControl(plug, KnobRect(x, y, bitmap, text, textGap, widthOverride), paramIdx, direction, gearing),
    mText(text ? *text : IText()), mBitmap(bitmap ? *bitmap : IBitmap()), mCenterX(x), mCenterY(y),
    mTextGap(textGap), mRange(range), mDotWeight(dotWeight), mDotBlend(IChannelBlend::BlendNone, 1.0f)
{
  if (!text) mText.mTextSize = 0;
}

double IKnobRotVal::Angle() const
{
  // Both halves of the range in single precision, the sum in double.
  const float half = (float)(mRange * kPi / 360.0);
  return (double)mValue * 2.0 * (double)half - (double)half;
}

float IKnobRotVal::SourceOffset() const { return (float)(-2.0 * std::fabs((double)mValue - 0.5)); }

IRECT IKnobRotVal::ImageRect() const { return KnobImageRect(mArea, mCenterX, mBitmap, mText, mTextGap); }

bool IKnobRotVal::Draw(IGraphics* graphics)
{
  mDotBlend = IChannelBlend(IChannelBlend::BlendNone, mDotWeight);
  DrawValueText(graphics, mPlug, mParamIndex, &mText, mArea);
  const double angle = Angle();
  const float o = SourceOffset();
  if (mBitmap.N < 2)
    return graphics->DrawRotatedBitmap(&mBitmap, mCenterX, mCenterY, &mDotBlend, angle, o, o);

  if (mControlBitmap.W == 0)
  {
    // The dot frame, cut once; the editor's bitmap cache keeps it.
    IRECT left(0, 0, RoundAway(mBitmap.W * 0.5), mBitmap.H);
    mControlBitmap = graphics->CropBitmap(&mBitmap, &left);
  }
  graphics->DrawRotatedBitmap(&mControlBitmap, mCenterX, mCenterY, &mDotBlend, angle, o, o);
  IRECT r = ImageRect();
  return graphics->DrawBitmapFrame(&mBitmap, &r, mBitmap.N, &mBlend, false);
}

// ================================================================ radio buttons

IRadioButtons::IRadioButtons(IPlugBase* plug, int paramIdx, int x, int y, IBitmap* bitmap, bool singleImage,
                             int layout, int size1, int size2, int size3)
  : IControl(plug, IRECT(), paramIdx), mBitmap(bitmap ? *bitmap : IBitmap()), mVertical(layout != 1),
    mSingleImage(singleImage)
{
  const int n = Frames(mBitmap);
  // A single image holds every button; otherwise the image is one face and
  // the control is n faces long.
  const int faceW = mBitmap.W, faceH = mBitmap.H;
  const int extent = mVertical ? faceH : faceW;
  const int total = singleImage ? extent : extent * n;
  mArea = mVertical ? IRECT(x, y, x + faceW, y + total) : IRECT(x, y, x + total, y + faceH);
  mHitArea = mArea;

  const int sizes[3] = { size1, size2, size3 };
  const bool anySize = size1 || size2 || size3;
  const int share = singleImage ? total / n : extent;
  if (!mButtonRects.Resize(n)) return;
  int start = mVertical ? y : x, prev = share;
  const int origin = start;
  for (int i = 0; i < n; ++i)
  {
    int len;
    // With sizes given the last button takes the rest of the image; rows
    // an equal share leaves over belong to no button.
    if (i == n - 1 && i > 0 && singleImage)
      len = anySize ? total - (start - origin) : share;
    else if (!singleImage)
      len = share;
    else if (i < 3)
      len = sizes[i] ? sizes[i] : share;
    else
      len = prev;
    if (len < 0) len = 0;
    mButtonRects.Get()[i] =
        mVertical ? IRECT(x, start, x + faceW, start + len) : IRECT(start, y, start + len, y + faceH);
    start += len;
    prev = len;
  }
}

IRadioButtons::~IRadioButtons() { mButtonRects.Resize(0); }

IRECT IRadioButtons::ButtonRect(int i) const
{
  return i >= 0 && i < NButtons() ? mButtonRects.Get()[i] : IRECT();
}

int IRadioButtons::Selected() const
{
  const int n = NButtons();
  if (n < 1) return -1;
  const int s = RoundAway((n - 1) * (double)mValue) + 1;
  return (s < 1 ? 1 : (s > n ? n : s)) - 1;
}

void IRadioButtons::OnMouseDown(int x, int y, MouseModifiers* mod)
{
  if (mod && mod->R)
  {
    PromptForParam();
  }
  else
  {
    const int n = NButtons();
    for (int i = 0; i < n; ++i)
    {
      if (!mButtonRects.Get()[i].Contains(x, y)) continue;
      // A group of one has nothing to choose between.
      mValue = n > 1 ? (double)i / (double)(n - 1) : 0.0;
      break;
    }
  }
  // Sent even when nothing changed, so a click always reaches the host.
  SetDirty(true);
}

bool IRadioButtons::Draw(IGraphics* graphics)
{
  const int s = Selected();
  if (s < 0) return true;
  IRECT r = mButtonRects.Get()[s];
  if (!mSingleImage) return graphics->DrawBitmap(&mBitmap, &r, 0, 0, &mBlend);
  const int srcX = mVertical ? 0 : r.L - mArea.L;
  const int srcY = mVertical ? r.T - mArea.T : 0;
  return graphics->DrawBitmap(&mBitmap, &r, srcX, srcY, &mBlend);
}

// ================================================================ sliders

ISliderImg::ISliderImg(IPlugBase* plug, int paramIdx, IRECT* rect, IBitmap* handle, IText* text, int length,
                       bool horizontal)
  : IControl(plug, rect ? *rect : IRECT(), paramIdx), mText(text ? *text : IText()),
    mBitmap(handle ? *handle : IBitmap()), mLength(length), mVertical(!horizontal)
{
  if (!text) mText.mTextSize = 0;
  const float cx = (mArea.L + mArea.R) * 0.5f;
  if (mVertical)
  {
    mTravel = length - mBitmap.H;
    const int half = RoundAway(mBitmap.W * 0.5);
    mTrack = IRECT((int)(cx - half), mArea.T, (int)(cx + half), mArea.T + length);
  }
  else
  {
    mTravel = length - mBitmap.W;
    const int half = length / 2;
    mTrack = IRECT((int)(cx - half), mArea.T, (int)(cx + half), mArea.T + mBitmap.H);
  }
}

void ISliderImg::TrackTo(int x, int y)
{
  // A handle as long as its track has nowhere to go.
  if (mTravel <= 0 || !mTrack.Contains(x, y)) return;
  if (mVertical)
    mValue = 1.0 + (mBitmap.H * 0.5 - (y - mTrack.T)) / mTravel;
  else
    mValue = (x - mTrack.L - mBitmap.W * 0.5) / mTravel;
  SetDirty(true);
}

void ISliderImg::OnMouseDown(int x, int y, MouseModifiers* mod)
{
  if (mod && mod->R)
  {
    PromptForParam();
    return;
  }
  TrackTo(x, y);
}

void ISliderImg::OnMouseDrag(int x, int y, int dX, int dY, MouseModifiers* mod)
{
  (void)dX;
  (void)dY;
  (void)mod;
  TrackTo(x, y);
}

IRECT ISliderImg::HandleRect() const
{
  const double v = mValue;
  if (mVertical)
  {
    const int top = RoundAway(mTravel * (1.0 - v) + mTrack.T);
    return IRECT(mTrack.L, top, mTrack.R, top + mBitmap.H);
  }
  const double left = mTravel * v + mTrack.L;
  return IRECT(RoundAway(left), mTrack.T, RoundAway(left + mBitmap.W), mArea.B);
}

void ISliderImg::DrawSliderText(IGraphics* graphics)
{
  DrawValueText(graphics, mPlug, mParamIndex, &mText, mArea);
}

void ISliderImg::DrawHandle(IGraphics* graphics)
{
  IRECT r = HandleRect();
  graphics->DrawBitmapFrame(&mBitmap, &r, 1, &mBlend, true);
}

bool ISliderImg::Draw(IGraphics* graphics)
{
  DrawSliderText(graphics);
  DrawHandle(graphics);
  return true;
}

ISlider::ISlider(IPlugBase* plug, int paramIdx, IRECT* rect, IBitmap* handle, IText* text, int length,
                 bool horizontal, const IColor& barColor, int barWidth, int barInset)
  : ISliderImg(plug, paramIdx, rect, handle, text, length, horizontal), mBarColor(barColor),
    mBarWidth(barWidth), mBarInset(barInset)
{
}

bool ISlider::BarRect(IRECT* r) const
{
  const double v = mValue;
  const int halfBar = mBarWidth / 2;
  IRECT bar;
  if (mVertical)
  {
    // From the handle's centre down to the fixed end.
    const double f = mTravel * (1.0 - v);
    if (!(mBitmap.H / 2 + mTravel - mBarInset > f)) return false;
    const double bx = (mTrack.L + mTrack.R) * 0.5;
    bar = IRECT(RoundAway(bx - halfBar), RoundAway(mBitmap.H / 2 + mTrack.T + f), RoundAway(bx + halfBar),
                mTrack.B - mBarInset);
  }
  else
  {
    // From the fixed left end to the handle's centre.
    const double d = mTravel * v;
    if (!(d + mBitmap.W / 2 > mBarInset)) return false;
    const double by = (mTrack.T + mTrack.B) * 0.5;
    bar = IRECT(mTrack.L + mBarInset, RoundAway(by - halfBar), RoundAway(mTrack.L + mBitmap.W / 2 + d),
                RoundAway(by + halfBar));
  }
  if (bar.R <= bar.L || bar.B <= bar.T) return false;
  if (r) *r = bar;
  return true;
}

bool ISlider::Draw(IGraphics* graphics)
{
  IRECT bar;
  if (BarRect(&bar)) graphics->FillArea(&mBarColor, &bar, nullptr);
  DrawSliderText(graphics);
  DrawHandle(graphics);
  return true;
}
