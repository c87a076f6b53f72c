// The 32-bit pixel word and where each channel lives in it.
//
// Every raster routine addresses channels through the byte positions below,
// never through literal shifts, so that one build switch selects the layout
// the platform's drawing API expects. Channels are straight (not
// premultiplied) 8-bit values; alpha 255 is opaque.
#pragma once

#include <cstdint>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the pixel layout assumes a little-endian machine"
#endif

typedef uint32_t LICE_PixelWord;

#if defined(__APPLE__)
// Bitmap contexts whose first byte is a skipped alpha byte, big-endian order.
#define LICE_PIXEL_A 0
#define LICE_PIXEL_R 1
#define LICE_PIXEL_G 2
#define LICE_PIXEL_B 3
#else
// Top-down 32-bit DIB order; also the X11 32-bit TrueColor layout.
#define LICE_PIXEL_B 0
#define LICE_PIXEL_G 1
#define LICE_PIXEL_R 2
#define LICE_PIXEL_A 3
#endif

#define LICE_RGBA(r, g, b, a)                                                                                \
  ((((LICE_PixelWord)(r)&0xFFu) << (LICE_PIXEL_R * 8)) |                                                     \
   (((LICE_PixelWord)(g)&0xFFu) << (LICE_PIXEL_G * 8)) |                                                     \
   (((LICE_PixelWord)(b)&0xFFu) << (LICE_PIXEL_B * 8)) |                                                     \
   (((LICE_PixelWord)(a)&0xFFu) << (LICE_PIXEL_A * 8)))

#define LICE_GETR(p) ((int)(((LICE_PixelWord)(p) >> (LICE_PIXEL_R * 8)) & 0xFFu))
#define LICE_GETG(p) ((int)(((LICE_PixelWord)(p) >> (LICE_PIXEL_G * 8)) & 0xFFu))
#define LICE_GETB(p) ((int)(((LICE_PixelWord)(p) >> (LICE_PIXEL_B * 8)) & 0xFFu))
#define LICE_GETA(p) ((int)(((LICE_PixelWord)(p) >> (LICE_PIXEL_A * 8)) & 0xFFu))
