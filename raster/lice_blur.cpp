// 3 x 3 smoothing blur on whole pixel words (used by the glyph renderer).

#include <cstdlib>
#include <cstring>

#include "lice.h"
#include "lice_combine.h"

using namespace lice;

namespace
{

// Rows up to this width keep their two-row scratch on the stack.
const int kStackScratch = 1024;

// One output row. above/below are null on the first/last row; the weights
// fall back to the edge forms there and in the first and last column.
void BlurRow(LICE_PixelWord* out, const LICE_PixelWord* cur, const LICE_PixelWord* above,
             const LICE_PixelWord* below, int w)
{
  const LICE_PixelWord* vert = above ? above : below;  // the one neighbour on an edge row
  const bool edgeRow = !above || !below;
  for (int x = 0; x < w; ++x)
  {
    const bool first = x == 0, last = x == w - 1;
    LICE_PixelWord v = Half(cur[x]);
    if (first || last)
    {
      v += Quarter(cur[first ? x + 1 : x - 1]);
      v += edgeRow ? Quarter(vert[x]) : Eighth(above[x]) + Eighth(below[x]);
    }
    else if (edgeRow)
    {
      v += Quarter(vert[x]) + Eighth(cur[x - 1]) + Eighth(cur[x + 1]);
    }
    else
    {
      v += Eighth(cur[x - 1]) + Eighth(cur[x + 1]) + Eighth(above[x]) + Eighth(below[x]);
    }
    out[x] = v;
  }
}

}  // namespace

void LICE_SmoothBlur(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int w,
                     int h)
{
  if (!dest || !src) return;
  const Surface dst(dest), sur(src);
  if (!dst.Valid() || !sur.Valid()) return;

  // A source corner left of or above the bitmap is cut off, the destination
  // staying where it was given.
  long long sl = srcx > 0 ? srcx : 0, st = srcy > 0 ? srcy : 0;
  long long sr = (long long)srcx + w, sb = (long long)srcy + h;
  if (sr > sur.width) sr = sur.width;
  if (sb > sur.height) sb = sur.height;
  BlitArea area;
  if (!ClipToDest(dst, sl, st, sr, sb, dstx, dsty, &area) || area.cols < 2 || area.rows < 2) return;
  const int cols = area.cols, rows = area.rows, x0 = area.srcx, y0 = area.srcy;

  // Blurring in place would read already blurred pixels; keep the unblurred
  // current and previous rows in a two-row scratch.
  const bool inPlace = dest == src;
  LICE_PixelWord stackScratch[2 * kStackScratch];
  LICE_PixelWord* scratch = nullptr;
  if (inPlace)
  {
    scratch = cols <= kStackScratch
                  ? stackScratch
                  : static_cast<LICE_PixelWord*>(malloc(sizeof(LICE_PixelWord) * 2 * (size_t)cols));
  }

  for (int y = 0; y < rows; ++y)
  {
    const LICE_PixelWord* cur = sur.Row(y0 + y) + x0;
    const LICE_PixelWord* above = y > 0 ? sur.Row(y0 + y - 1) + x0 : nullptr;
    const LICE_PixelWord* below = y < rows - 1 ? sur.Row(y0 + y + 1) + x0 : nullptr;
    if (scratch)
    {
      LICE_PixelWord* keep = scratch + (y & 1) * (ptrdiff_t)cols;
      memcpy(keep, cur, sizeof(LICE_PixelWord) * (size_t)cols);
      cur = keep;
      if (above) above = scratch + ((y - 1) & 1) * (ptrdiff_t)cols;
    }
    BlurRow(dst.Row(area.dsty + y) + area.dstx, cur, above, below, cols);
  }
  if (scratch && scratch != stackScratch) free(scratch);
}
