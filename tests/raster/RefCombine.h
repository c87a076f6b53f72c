// Plain reference formulas of the combine modes for the raster tests,
// written independently of the library's shift arithmetic.
#pragma once

#include "lice.h"

// Reference combine formulas; / is C++ integer division (toward zero).
int RefCopy(int x, int s, int w);
int RefAdd(int x, int s, int w);
int RefDodge(int x, int s, int w);
int RefMultiply(int x, int s, int w);
int RefOverlay(int x, int s, int w);

// Applies combine mode 0-5, with or without source alpha, to one pixel.
LICE_PixelWord RefCombine(LICE_PixelWord dest, int r, int g, int b, int a, int w, int modeByte,
                          bool sourceAlpha);
