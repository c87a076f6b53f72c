#include "lice_bitmap.h"

#include "lice_dc.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace
{

// Every buffer carries this much slack so pixels can start on a 64-byte line.
const int kAlignSlack = 63;

unsigned char* AlignUp64(unsigned char* raw)
{
  const uintptr_t p = reinterpret_cast<uintptr_t>(raw);
  return raw + ((64 - (p & 63)) & 63);
}

unsigned AlignmentMask(unsigned alignment)
{
  if (alignment <= 1) return 0;
  unsigned lowest = alignment & (~alignment + 1);
  if (lowest > 16) lowest = 16;
  return lowest - 1;
}

// Bytes for h rows of span pixels, or -1 when that (plus slack) does not fit
// an int.
long long RowBytes(long long span, long long h)
{
  if (span <= 0 || h <= 0) return 0;
  const long long limit = INT_MAX - kAlignSlack;
  if (span > limit / 4 / h) return -1;
  return span * h * 4;
}

}  // namespace

// ============================================================================
// LICE_MemBitmap
// ============================================================================

LICE_MemBitmap::LICE_MemBitmap(int w, int h, unsigned alignment) : mAlignMask(AlignmentMask(alignment))
{
  if (w > 0 && h > 0) Resize(w, h);
}

LICE_MemBitmap::~LICE_MemBitmap() { free(mRaw); }

LICE_PixelWord* LICE_MemBitmap::PixelData()
{
  return mRaw ? reinterpret_cast<LICE_PixelWord*>(AlignUp64(mRaw)) : nullptr;
}

int LICE_MemBitmap::RowSpan() { return (int)(((unsigned)mWidth + mAlignMask) & ~mAlignMask); }

bool LICE_MemBitmap::Resize(int w, int h)
{
  if (w == mWidth && h == mHeight) return false;

  mWidth = w;
  mHeight = h;
  const long long span = w > 0 ? (((long long)w + mAlignMask) & ~(long long)mAlignMask) : 0;
  const long long sz = (w > 0 && h > 0) ? RowBytes(span, h) : 0;

  if (sz > 0)
  {
    if (mRaw && mAllocBytes >= sz) return true;

    if (mRaw)
    {
      // Head-room makes repeated growth cheap; it is capped so the byte
      // count still fits an int.
      long long grown = sz + (sz >> 2);
      if (grown > INT_MAX - kAlignSlack) grown = INT_MAX - kAlignSlack;
      void* p = realloc(mRaw, (size_t)grown + kAlignSlack);
      if (p)
      {
        mRaw = static_cast<unsigned char*>(p);
        mAllocBytes = (int)grown;
        return true;
      }
      free(mRaw);
      mRaw = nullptr;
    }
    mRaw = static_cast<unsigned char*>(malloc((size_t)sz + kAlignSlack));
    mAllocBytes = mRaw ? (int)sz : 0;
  }
  else
  {
    free(mRaw);
    mRaw = nullptr;
    mAllocBytes = 0;
  }

  if (!mRaw)
  {
    mWidth = 0;
    mHeight = 0;
  }
  return true;
}

// ============================================================================
// LICE_SysBitmap (DIB section)
// ============================================================================

#if defined(_WIN32)

LICE_SysBitmap::LICE_SysBitmap(int w, int h)
{
  // A DC compatible with the screen, no window needed.
  mContext = CreateCompatibleDC(nullptr);
  Resize(w, h);
}

LICE_SysBitmap::~LICE_SysBitmap()
{
  FreeSurface();
  if (mContext) DeleteDC(static_cast<HDC>(mContext));
}

void LICE_SysBitmap::FreeSurface()
{
  if (mOldBitmap) SelectObject(static_cast<HDC>(mContext), static_cast<HGDIOBJ>(mOldBitmap));
  mOldBitmap = nullptr;
  if (mDib) DeleteObject(static_cast<HGDIOBJ>(mDib));
  mDib = nullptr;
  mPixels = nullptr;
}

bool LICE_SysBitmap::Resize(int w, int h)
{
  if (!mContext)
  {
    mWidth = mHeight = 0;
    mPixels = nullptr;
    return false;
  }
  if (w == mWidth && h == mHeight) return false;

  mWidth = w;
  mHeight = h;
  if (w > 0 && h > 0 && mAllocWidth >= w && mAllocHeight >= h && mPixels) return true;

  FreeSurface();
  const long long allocW = ((long long)w + 3) & ~3LL;
  // Sizes whose byte count overflows an int are refused like a failed
  // allocation instead of being handed to GDI.
  if (w < 1 || h < 1 || RowBytes(allocW, h) <= 0)
  {
    mWidth = mHeight = 0;
    mAllocWidth = mAllocHeight = 0;
    return w >= 1 && h >= 1;
  }

  BITMAPINFO info;
  memset(&info, 0, sizeof(info));
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = (LONG)allocW;
  info.bmiHeader.biHeight = IsBottomUp() ? h : -h;  // negative: top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(static_cast<HDC>(mContext), &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dib || !bits)
  {
    if (dib) DeleteObject(dib);
    mWidth = mHeight = 0;
    mAllocWidth = mAllocHeight = 0;
    return true;
  }
  mDib = dib;
  mOldBitmap = SelectObject(static_cast<HDC>(mContext), dib);
  mPixels = static_cast<LICE_PixelWord*>(bits);
  mAllocWidth = (int)allocW;
  mAllocHeight = h;
  return true;
}

#else

// Heap surface.

LICE_SysBitmap::LICE_SysBitmap(int w, int h)
{
#if !defined(_WIN32)
  mContext = LICE_CreateBitmapContext(this);
  mOwnsContext = mContext != nullptr;
#endif
  Resize(w, h);
}

LICE_SysBitmap::~LICE_SysBitmap()
{
  SetPlatformContext(nullptr);
  FreeSurface();
}

void LICE_SysBitmap::SetPlatformContext(void* context)
{
#if !defined(_WIN32)
  if (mOwnsContext) LICE_DeleteContext(static_cast<HDC>(mContext));
#endif
  mOwnsContext = false;
  mContext = context;
}

void LICE_SysBitmap::FreeSurface()
{
  free(mRaw);
  mRaw = nullptr;
  mPixels = nullptr;
}

bool LICE_SysBitmap::Resize(int w, int h)
{
  if (w == mWidth && h == mHeight) return false;

  mWidth = w;
  mHeight = h;
  if (w > 0 && h > 0 && mAllocWidth >= w && mAllocHeight >= h && mPixels) return true;

  FreeSurface();
  if (w < 1 || h < 1)
  {
    // An empty request leaves an empty bitmap rather than a size with no
    // pixels behind it.
    mWidth = mHeight = 0;
    mAllocWidth = mAllocHeight = 0;
    return false;
  }

  const long long allocW = ((long long)w + 3) & ~3LL;
  const long long sz = RowBytes(allocW, h);
  if (sz > 0) mRaw = static_cast<unsigned char*>(calloc((size_t)sz + kAlignSlack, 1));
  if (!mRaw)
  {
    mWidth = mHeight = 0;
    mAllocWidth = mAllocHeight = 0;
    return true;
  }
  mAllocWidth = (int)allocW;
  mAllocHeight = h;
  mPixels = reinterpret_cast<LICE_PixelWord*>(AlignUp64(mRaw));
  return true;
}

#endif
