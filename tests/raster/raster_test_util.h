// Shared helpers for the raster tests: a bitmap with free geometry and plain
// reference formulas written independently of the library's shift arithmetic.
#pragma once

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

#include "lice.h"

// Memory is exactly span * height words, so the sanitizer sees any stray
// access; padding between width and span lets tests check it is left alone.
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
  // Reshapes with padded rows; the PNG tests load into it.
  bool Resize(int w, int h) override
  {
    const bool ok = w > 0 && h > 0;
    *this = TestBitmap(ok ? w : 0, ok ? h : 0, ok ? w + 3 : 0, mBottomUp);
    return true;
  }

  // Pixel at image coordinates.
  LICE_PixelWord& At(int x, int y)
  {
    return mMem[(size_t)(mBottomUp ? mHeight - 1 - y : y) * mSpan + x];
  }
  std::vector<LICE_PixelWord>& Memory() { return mMem; }

  // The same image, padding included, in the other row order.
  TestBitmap Flipped() const
  {
    TestBitmap f(mWidth, mHeight, mSpan, !mBottomUp);
    for (size_t y = 0; y < (size_t)mHeight; ++y)
      std::copy_n(&mMem[y * mSpan], mSpan, &f.mMem[(mHeight - 1 - y) * mSpan]);
    return f;
  }

private:
  int mWidth, mHeight, mSpan;
  bool mBottomUp;
  std::vector<LICE_PixelWord> mMem;
};

// Fills all memory, padding included, with seeded random words.
void FillRandom(TestBitmap& bm, std::mt19937& rng);
// Random image of 1..maxW x 1..maxH, either row order, up to maxPad padding.
TestBitmap RandomBitmap(std::mt19937& rng, int maxW, int maxH, int maxPad);
// Coordinate a clipper is most likely to get wrong for an extent n, else a
// random one in [-n, 2n].
int EdgeBiased(std::mt19937& rng, int n);

// Reference combine formulas; / is C++ integer division (toward zero).
int RefCopy(int x, int s, int w);
int RefAdd(int x, int s, int w);
int RefDodge(int x, int s, int w);
int RefMultiply(int x, int s, int w);
int RefOverlay(int x, int s, int w);

// Applies combine mode 0-5, with or without source alpha, to one pixel.
LICE_PixelWord RefCombine(LICE_PixelWord dest, int r, int g, int b, int a, int w, int modeByte,
                          bool sourceAlpha);

// Writes a bitmap as an 8-bit RGBA PNG file; false on any failure.
bool WritePngFile(const char* path, LICE_IBitmap* bm);
