// Shared helpers for the raster tests: a bitmap with free geometry (bottom-up,
// padded rows), seeded random images, and plain reference formulas written
// independently of the library's shift-based arithmetic.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "lice.h"

// Bitmap with any row span and either row order. Memory is exactly
// span * height words, so the sanitizer sees any stray access; padding
// between width and span lets tests check it is left alone.
class TestBitmap : public LICE_IBitmap
{
public:
  TestBitmap(int w, int h, int span, bool bottomUp)
    : mWidth(w), mHeight(h), mSpan(span), mBottomUp(bottomUp), mMem((size_t)span * h)
  {
  }

  LICE_PixelWord* PixelData() override { return mMem.empty() ? nullptr : mMem.data(); }
  int Width() override { return mWidth; }
  int Height() override { return mHeight; }
  int RowSpan() override { return mSpan; }
  bool IsBottomUp() override { return mBottomUp; }
  bool Resize(int w, int h) override
  {
    if (w == mWidth && h == mHeight) return false;
    mWidth = w > 0 && h > 0 ? w : 0;
    mHeight = w > 0 && h > 0 ? h : 0;
    mSpan = mWidth;
    mMem.assign((size_t)mSpan * mHeight, 0);
    return true;
  }

  // Pixel at image coordinates.
  LICE_PixelWord& At(int x, int y)
  {
    return mMem[(size_t)(mBottomUp ? mHeight - 1 - y : y) * mSpan + x];
  }
  std::vector<LICE_PixelWord>& Memory() { return mMem; }

private:
  int mWidth, mHeight, mSpan;
  bool mBottomUp;
  std::vector<LICE_PixelWord> mMem;
};

// Fills all memory, padding included, with seeded random words.
void FillRandom(TestBitmap& bm, std::mt19937& rng);

// Reference combine formulas; / is C++ integer division (toward zero).
int RefClamp(int v);
int RefCopy(int x, int s, int w);
int RefAdd(int x, int s, int w);
int RefDodge(int x, int s, int w);
int RefMultiply(int x, int s, int w);
int RefOverlay(int x, int s, int w);
int RefSourceWeight(int w, int a);
// HSV adjust of destination (R, G, B) by source (r, g, b) at weight w.
void RefHsv(int R, int G, int B, int r, int g, int b, int w, int out[3]);

// Applies a combine mode (byte 0-5, with or without source alpha) to one
// pixel the plain way. Returns the new destination pixel.
LICE_PixelWord RefCombine(LICE_PixelWord dest, int r, int g, int b, int a, int w, int modeByte,
                          bool sourceAlpha);
