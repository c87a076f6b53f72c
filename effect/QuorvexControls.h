// The effect's own controls: a film-strip knob and a rotating-dot knob with
// value read-outs, a column (or row) of radio buttons cut from one image,
// an image slider and a slider that also paints a value bar.
//
// Everything runs on the UI thread, like the IControl events they override;
// values pushed by the host arrive through IControl::ApplyHostValue. The
// read-outs show the parameter's own value, read under the instance lock.
//
// Contents: value text, IKnobMulti, IKnobRotVal, IRadioButtons, ISliderImg,
// ISlider.
#pragma once

#include "IControl.h"
#include "heapbuf.h"

class IGraphics;

// ================================================================ value text

// [UI thread, takes the instance lock] The parameter's display text followed
// by its label ("90%", "1/4"). False, with out empty, when the display text
// is empty or there is no such parameter: nothing is drawn then.
bool FormatValueText(IPlugBase* plug, int paramIdx, char* out, int outSize);

// Rounds halves away from zero, as every placement rule here does.
inline int RoundAway(double v) { return (int)(v >= 0.0 ? v + 0.5 : v - 0.5); }

// ================================================================ knobs

// A film strip of N frames side by side, the value text below it.
class IKnobMulti : public IKnobControl
{
public:
  // [UI thread] widthOverride 0 takes the width of one frame.
  IKnobMulti(IPlugBase* plug, int paramIdx, int x, int y, IBitmap* bitmap, IText* text, int textGap,
             double gearing = 4.0, int widthOverride = 0, int direction = DirVertical);

  bool Draw(IGraphics* graphics) override;

  // Frame for the current value, counting from 1.
  int Frame() const;
  // Where the knob image goes: centred on the knob, above the text rows.
  IRECT ImageRect() const;

protected:
  IText mText;
  IBitmap mBitmap;
  int mCenterX, mCenterY;
  int mTextGap;
};

// A dot drawn rotated about the knob centre under a fixed cap. With two or
// more frames the first is the dot and the last the cap; with one frame the
// whole image turns.
class IKnobRotVal : public IKnobControl
{
public:
  // [UI thread] range: degrees of travel, centred on straight up.
  IKnobRotVal(IPlugBase* plug, int paramIdx, int x, int y, IBitmap* bitmap, IText* text, int textGap,
              int range, double gearing = 4.0, int widthOverride = 0, int direction = DirVertical,
              float dotWeight = 1.0f);

  bool Draw(IGraphics* graphics) override;

  // Rotation of the dot in radians for the current value.
  double Angle() const;
  // Source offset of the rotated blit: 0 at the centre, -1 at either end.
  float SourceOffset() const;
  IRECT ImageRect() const;

protected:
  IText mText;
  IBitmap mBitmap;
  int mCenterX, mCenterY;
  int mTextGap;
  int mRange;
  float mDotWeight;
  IChannelBlend mDotBlend;
};

// ================================================================ radio buttons

// One button per value, in value order; only the selected one is drawn, the
// others show what lies below (the background's unselected faces).
class IRadioButtons : public IControl
{
public:
  // [UI thread] layout 1 is one row left to right, anything else a column.
  // Sizes of the first three buttons: 0 is an equal share.
  IRadioButtons(IPlugBase* plug, int paramIdx, int x, int y, IBitmap* bitmap, bool singleImage, int layout,
                int size1 = 0, int size2 = 0, int size3 = 0);
  ~IRadioButtons() override;

  void OnMouseDown(int x, int y, MouseModifiers* mod) override;
  bool Draw(IGraphics* graphics) override;

  int NButtons() const { return mButtonRects.GetSize(); }
  IRECT ButtonRect(int i) const;
  // Index of the selected button.
  int Selected() const;

protected:
  WDL_TypedBuf<IRECT> mButtonRects;
  IBitmap mBitmap;
  bool mVertical;
  bool mSingleImage;
};

// ================================================================ sliders

// A handle that follows the pointer inside its track; the value text sits in
// the bottom rows of the control.
class ISliderImg : public IControl
{
public:
  // [UI thread] length: track length in pixels along the travel.
  ISliderImg(IPlugBase* plug, int paramIdx, IRECT* rect, IBitmap* handle, IText* text, int length,
             bool horizontal = false);

  void OnMouseDown(int x, int y, MouseModifiers* mod) override;
  void OnMouseDrag(int x, int y, int dX, int dY, MouseModifiers* mod) override;
  bool Draw(IGraphics* graphics) override;

  const IRECT& Track() const { return mTrack; }
  int Travel() const { return mTravel; }
  IRECT HandleRect() const;

protected:
  // A point inside the track sets the value; anything else is ignored.
  void TrackTo(int x, int y);
  void DrawSliderText(IGraphics* graphics);
  void DrawHandle(IGraphics* graphics);

  IText mText;
  IRECT mTrack;
  IBitmap mBitmap;
  int mLength;
  int mTravel;
  bool mVertical;
};

// An image slider with a coloured bar from its fixed end to the handle.
class ISlider : public ISliderImg
{
public:
  // [UI thread] barInset: pixels left free at the bar's fixed end.
  ISlider(IPlugBase* plug, int paramIdx, IRECT* rect, IBitmap* handle, IText* text, int length,
          bool horizontal, const IColor& barColor, int barWidth, int barInset);

  bool Draw(IGraphics* graphics) override;

  // False when the bar has no length at the current value.
  bool BarRect(IRECT* r) const;

protected:
  IColor mBarColor;
  int mBarWidth;
  int mBarInset;
};
