// A bitmap with free geometry for the raster tests, and seeded random
// images and coordinates to blit between.
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
  LICE_PixelWord& At(int x, int y) { return mMem[(size_t)(mBottomUp ? mHeight - 1 - y : y) * mSpan + x]; }
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
