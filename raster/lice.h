// LICE: bitmaps, blits with pixel combine modes, fills, lines, rotation, blur
// and PNG loading. All routines run on one thread (the editor's UI thread)
// and take no locks.
//
// Drawing routines never fail loudly: missing bitmaps, empty or clipped-away
// rectangles, zero weights and unknown modes leave the destination untouched,
// and nothing outside either bitmap is ever read or written.
#pragma once

#include "lice_bitmap.h"
#include "lice_pixel.h"
#include "lice_png.h"

// ----------------------------------------------------------------------------
// Mode word: combine mode in bits 0-7, filter in bits 8-15, flags above.
// ----------------------------------------------------------------------------
constexpr int LICE_MODE_MASK = 0xFF;
constexpr int LICE_MODE_COPY = 0;
constexpr int LICE_MODE_ADD = 1;
constexpr int LICE_MODE_DODGE = 2;
constexpr int LICE_MODE_MULTIPLY = 3;
constexpr int LICE_MODE_OVERLAY = 4;
constexpr int LICE_MODE_HSVADJUST = 5;
// Blit only: copies byte position (mode & 3) of the source to byte position
// ((mode >> 2) & 3) of the destination.
constexpr int LICE_MODE_CHANNELCOPY = 0xF0;
constexpr int LICE_FILTER_MASK = 0xFF00;
constexpr int LICE_FLAG_BILINEAR = 0x100;
constexpr int LICE_FLAG_SOURCEALPHA = 0x10000;

constexpr int LICE_ChannelCopyMode(int srcByte, int dstByte)
{
  return LICE_MODE_CHANNELCOPY + (srcByte & 3) + 4 * (dstByte & 3);
}

// Right and bottom are exclusive.
struct LICE_Rect
{
  int left, top, right, bottom;
};

// Copies src (or srcRect of it) to (dstx, dsty) of dest with a combine mode
// weighted by alpha (1.0 = full effect).
void LICE_BlitImage(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, const LICE_Rect* srcRect,
                    float alpha, int mode);
void LICE_BlitImage(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw,
                    int srch, float alpha, int mode);

// Fills a box with colour. With LICE_FLAG_SOURCEALPHA the colour's alpha
// scales the weight.
void LICE_FillBox(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_PixelWord colour, float alpha,
                  int mode);

// Draws a one-pixel line between two inclusive end points.
void LICE_DrawSegment(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, LICE_PixelWord colour, float alpha,
                      int mode, bool antialias);

// Scaled and rotated copy of a source rectangle onto a destination rectangle
// (angle in radians; negative dstw/dsth mirror). The destination centre
// samples the source rectangle's centre shifted by (rotCentreX, rotCentreY).
// mode may add LICE_FLAG_BILINEAR.
void LICE_BlitRotated(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                      float srcx, float srcy, float srcw, float srch, float angle, bool clipToSourceRect,
                      float alpha, int mode, float rotCentreX = 0.0f, float rotCentreY = 0.0f);

// 3 x 3 blur of a w x h source rectangle into dest; dest may be src.
void LICE_SmoothBlur(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int w,
                     int h);
