// The tests' PNG codec, on libpng: images encoded in memory and registered
// with the image registry (pictures without files), bitmaps and screen
// pixels written as files to look at, and PNG files read back as pixels.
// The product only reads PNGs (raster/lice_png.*).
#pragma once

#include <png.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class LICE_IBitmap;

namespace qtest
{

// Pixels as R, G, B, A per channel.
struct RGBA
{
  int r, g, b, a;
  bool operator==(const RGBA& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

// An RGBA PNG of w x h whose pixels come from fn.
std::vector<uint8_t> EncodePng(int w, int h, const std::function<RGBA(int, int)>& fn);
// The same, registered with IImageRegistry under id.
void RegisterPng(int id, int w, int h, const std::function<RGBA(int, int)>& fn);

// An image in libpng's own terms, for the loader's tests: any colour type
// and depth, a palette and its alpha, interlacing.
struct PngLayout
{
  PngLayout(int w = 1, int h = 1, int type = PNG_COLOR_TYPE_RGB_ALPHA, int depth = 8,
            std::vector<png_color> plte = {}, std::vector<png_byte> trns = {})
    : width(w), height(h), colourType(type), bitDepth(depth), palette(plte), paletteAlpha(trns)
  {
  }
  int width, height, colourType, bitDepth;
  std::vector<png_color> palette;
  std::vector<png_byte> paletteAlpha;  // tRNS for palette images
  bool interlaced = false;
};
// Packed rows in libpng's row format for the layout's type and depth.
using PngRows = std::vector<std::vector<png_byte>>;
// Encoded in memory; empty when libpng refuses the layout.
std::vector<uint8_t> EncodePng(const PngLayout& layout, const PngRows& rows);

// A bitmap (either row order) as an RGBA PNG file; false on any failure.
bool WritePng(const std::string& path, LICE_IBitmap* bitmap);
// 0x00RRGGBB pixels, width to a row, as an RGB PNG file.
bool WritePng(const std::string& path, const std::vector<uint32_t>& pixels, int width);
// A PNG file as 0x00RRGGBB pixels; false when it is not one.
bool ReadPng(const std::string& path, int* width, int* height, std::vector<uint32_t>* pixels);

}  // namespace qtest
