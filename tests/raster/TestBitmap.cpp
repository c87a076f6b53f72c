#include "TestBitmap.h"

#include <climits>

void FillRandom(TestBitmap& bm, std::mt19937& rng)
{
  for (LICE_PixelWord& p : bm.Memory()) p = (LICE_PixelWord)rng();
}

TestBitmap RandomBitmap(std::mt19937& rng, int maxW, int maxH, int maxPad)
{
  const int w = 1 + (int)(rng() % (unsigned)maxW), h = 1 + (int)(rng() % (unsigned)maxH);
  TestBitmap bm(w, h, w + (int)(rng() % (unsigned)(maxPad + 1)), (rng() & 1) != 0);
  FillRandom(bm, rng);
  return bm;
}

int EdgeBiased(std::mt19937& rng, int n)
{
  const int edges[] = { -n - 5, -n, -2, -1, 0, 1, n - 1, n, n + 1, INT_MAX, INT_MIN, INT_MAX - 2, -1000000 };
  return rng() % 2 ? edges[rng() % 13] : (int)(rng() % (unsigned)(3 * n + 1)) - n;
}
