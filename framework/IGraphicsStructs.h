// Records shared by the editor, its controls and the window layers:
// rectangles, colours, images, blends, text styles and mouse modifiers.
#pragma once

#include "lice_pixel.h"

#include <atomic>

class LICE_IBitmap;
class LICE_IFont;

// Editor pixels, origin top-left, y down; right and bottom exclusive.
// All four 0 is the empty rectangle.
struct IRECT
{
  int L = 0, T = 0, R = 0, B = 0;

  IRECT() = default;
  IRECT(int l, int t, int r, int b) : L(l), T(t), R(r), B(b) {}

  bool Empty() const { return L == 0 && T == 0 && R == 0 && B == 0; }
  int W() const { return R - L; }
  int H() const { return B - T; }
  bool Contains(int x, int y) const { return L <= x && x < R && T <= y && y < B; }
  bool Intersects(const IRECT& o) const
  {
    return !Empty() && !o.Empty() && L < o.R && o.L < R && T < o.B && o.T < B;
  }
  // An empty side yields the other; otherwise the bounding box.
  IRECT Union(const IRECT& o) const
  {
    if (Empty()) return o;
    if (o.Empty()) return *this;
    return IRECT(L < o.L ? L : o.L, T < o.T ? T : o.T, R > o.R ? R : o.R, B > o.B ? B : o.B);
  }
  bool operator==(const IRECT& o) const { return L == o.L && T == o.T && R == o.R && B == o.B; }
  bool operator!=(const IRECT& o) const { return !(*this == o); }
};

// Channels 0-255 in the order alpha, red, green, blue.
struct IColor
{
  int A = 255, R = 0, G = 0, B = 0;

  IColor() = default;
  IColor(int a, int r, int g, int b) : A(a), R(r), G(g), B(b) {}
  bool operator==(const IColor& o) const { return A == o.A && R == o.R && G == o.G && B == o.B; }
};

inline LICE_PixelWord IColorToPixel(const IColor& c) { return LICE_RGBA(c.R, c.G, c.B, c.A); }

// An image from the process-wide bitmap cache; mData is never owned here.
// One frame of an N-frame strip is W / N wide or H / N high.
struct IBitmap
{
  LICE_IBitmap* mData = nullptr;
  int W = 0, H = 0, N = 1;

  IBitmap() = default;
  IBitmap(LICE_IBitmap* data, int w, int h, int n = 1) : mData(data), W(w), H(h), N(n) {}
};

struct IChannelBlend
{
  enum EBlendMethod
  {
    BlendNone = 0,     // copy weighted by source alpha
    BlendReplace = 1,  // copy ignoring alpha
    BlendAdd = 2,
    BlendDodge = 3
  };

  int mMethod = BlendNone;
  float mWeight = 1.0f;

  IChannelBlend() = default;
  IChannelBlend(int method, float weight = 1.0f) : mMethod(method), mWeight(weight) {}
};

// Text style; each control that draws text keeps its own copy.
struct IText
{
  enum EStyle
  {
    kStyleNormal = 0,
    kStyleBold = 1,
    kStyleItalic = 2
  };
  enum EAlign
  {
    kAlignNear = 0,
    kAlignCenter = 1,
    kAlignFar = 2
  };
  enum EQuality
  {
    kQualityDefault = 0,
    kQualityNonAntiAliased = 1,
    kQualityAntiAliased = 2,
    kQualityClearType = 3
  };

  char mFontName[32];
  int mTextSize = 14;
  IColor mTextColor;
  int mFontStyle = kStyleNormal;
  int mAlignment = kAlignCenter;
  int mAngle = 0;  // degrees
  int mRenderQuality = kQualityDefault;
  LICE_IFont* mFontObject = nullptr;  // points into the font cache, never owned

  IText() { SetFontName("Arial"); }
  IText(int size, const IColor& color, const char* font = nullptr, int style = kStyleNormal,
        int align = kAlignCenter, int angle = 0, int quality = kQualityDefault)
    : mTextSize(size), mTextColor(color), mFontStyle(style), mAlignment(align), mAngle(angle),
      mRenderQuality(quality)
  {
    SetFontName(font ? font : "Arial");
  }
  void SetFontName(const char* name)
  {
    int i = 0;
    for (; name && name[i] && i < (int)sizeof(mFontName) - 1; ++i) mFontName[i] = name[i];
    mFontName[i] = 0;
  }
};

// Filled by the window layers for every mouse event.
struct MouseModifiers
{
  bool L = false;  // left button
  bool R = false;  // right button (command-click on macOS)
  bool S = false;  // shift
  bool C = false;  // control
  bool A = false;  // alt / option

  MouseModifiers() = default;
  MouseModifiers(bool l, bool r = false, bool s = false, bool c = false, bool a = false)
    : L(l), R(r), S(s), C(c), A(a)
  {
  }
};

// A double that one thread may store while another loads it. Only plain
// loads and stores are atomic; read-modify-write forms are meant for the
// thread that owns the edit (the UI thread).
class IAtomicDouble
{
public:
  IAtomicDouble(double v = 0.0) : mV(v) {}
  IAtomicDouble(const IAtomicDouble& o) : mV(o.Get()) {}
  IAtomicDouble& operator=(const IAtomicDouble& o)
  {
    Set(o.Get());
    return *this;
  }
  IAtomicDouble& operator=(double v)
  {
    Set(v);
    return *this;
  }
  // A value another thread stores between the load and the store is added
  // to, never lost.
  IAtomicDouble& operator+=(double d)
  {
    Add(d);
    return *this;
  }
  IAtomicDouble& operator-=(double d)
  {
    Add(-d);
    return *this;
  }
  operator double() const { return Get(); }
  double Get() const { return mV.load(std::memory_order_acquire); }
  void Set(double v) { mV.store(v, std::memory_order_release); }

private:
  void Add(double d)
  {
    double v = mV.load(std::memory_order_acquire);
    while (!mV.compare_exchange_weak(v, v + d, std::memory_order_acq_rel, std::memory_order_acquire))
    {
    }
  }

  std::atomic<double> mV;
};
