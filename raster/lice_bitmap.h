// Bitmaps: the abstract interface every raster routine draws through, a plain
// heap bitmap and the system bitmap the editor window presents.
#pragma once

#include <cstdint>

#include "lice_pixel.h"

// Abstract bitmap. Row y starts at PixelData() + y * RowSpan(), or for a
// bottom-up bitmap at PixelData() + (Height() - 1 - y) * RowSpan().
class LICE_IBitmap
{
public:
  virtual ~LICE_IBitmap() {}

  // May be null when the bitmap is empty.
  virtual LICE_PixelWord* PixelData() = 0;
  virtual int Width() = 0;
  virtual int Height() = 0;
  // Distance between rows, in pixels.
  virtual int RowSpan() = 0;
  virtual bool IsBottomUp() { return false; }
  // True when the size changed.
  virtual bool Resize(int w, int h) = 0;
  // Native drawing context (HDC, MemoryContext, ...) or null.
  virtual void* PlatformContext() { return nullptr; }
  // Query hook; unknown ids answer 0.
  virtual intptr_t Extension(int id, void* data)
  {
    (void)id;
    (void)data;
    return 0;
  }
};

// Heap bitmap. Pixels start on a 64-byte boundary; rows are padded to the
// alignment given at construction (0/1 none, else the lowest set bit, at most
// 16 pixels). Growing keeps 25% head-room and shrinking never frees, so
// resizing within the allocation is free. New memory is not cleared.
class LICE_MemBitmap : public LICE_IBitmap
{
public:
  explicit LICE_MemBitmap(int w = 0, int h = 0, unsigned alignment = 4);
  ~LICE_MemBitmap() override;
  LICE_MemBitmap(const LICE_MemBitmap&) = delete;
  LICE_MemBitmap& operator=(const LICE_MemBitmap&) = delete;

  LICE_PixelWord* PixelData() override;
  int Width() override { return mWidth; }
  int Height() override { return mHeight; }
  int RowSpan() override;
  // Allocation failure and sizes beyond a 32-bit byte count leave the bitmap
  // 0 x 0 with null pixels; the call still reports true.
  bool Resize(int w, int h) override;

  // Usable bytes of the buffer (without the alignment slack).
  int AllocatedBytes() const { return mAllocBytes; }

private:
  unsigned char* mRaw = nullptr;
  int mWidth = 0;
  int mHeight = 0;
  int mAllocBytes = 0;
  unsigned mAlignMask = 0;
};

// Bitmap the window layer presents and the text backend draws into. On
// Windows the surface is a top-down 32-bit DIB section selected into a memory
// DC; elsewhere it is a heap buffer (64-byte aligned, zero-filled when
// created). The allocated width is a multiple of 4 pixels and the surface
// never shrinks: it is replaced only when a new size does not fit.
class LICE_SysBitmap : public LICE_IBitmap
{
public:
  explicit LICE_SysBitmap(int w = 0, int h = 0);
  ~LICE_SysBitmap() override;
  LICE_SysBitmap(const LICE_SysBitmap&) = delete;
  LICE_SysBitmap& operator=(const LICE_SysBitmap&) = delete;

  LICE_PixelWord* PixelData() override { return mPixels; }
  int Width() override { return mWidth; }
  int Height() override { return mHeight; }
  int RowSpan() override { return mAllocWidth; }
  bool Resize(int w, int h) override;
  // Windows: the memory HDC.
  void* PlatformContext() override { return mContext; }

#if !defined(_WIN32)
  // Outside Windows the bitmap owns a drawing context of the text backend
  // (lice_dc.h) from construction. Another context may be attached instead;
  // it stays attached across resizes and is not owned.
  void SetPlatformContext(void* context);
#endif

private:
  void FreeSurface();

  int mWidth = 0;
  int mHeight = 0;
  void* mContext = nullptr;
  LICE_PixelWord* mPixels = nullptr;
  int mAllocWidth = 0;
  int mAllocHeight = 0;
#if defined(_WIN32)
  void* mDib = nullptr;        // HBITMAP, owned
  void* mOldBitmap = nullptr;  // selected into the DC before mDib
#else
  unsigned char* mRaw = nullptr;
  bool mOwnsContext = false;
#endif
};
