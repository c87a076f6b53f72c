// Images encoded in memory and registered with the headless layer, for
// tests and benchmarks that need pictures without files.
#pragma once

#include "IImageRegistry.h"

#include <png.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace editortest {

// Pixels as R, G, B, A per channel.
struct RGBA
{
  int r, g, b, a;
  bool operator==(const RGBA& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

// An RGBA PNG of w x h whose pixels come from fn.
inline std::vector<uint8_t> EncodePng(int w, int h, const std::function<RGBA(int, int)>& fn)
{
  std::vector<uint8_t> rgba((size_t)w * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      const RGBA c = fn(x, y);
      uint8_t* o = &rgba[((size_t)y * w + x) * 4];
      o[0] = (uint8_t)c.r;
      o[1] = (uint8_t)c.g;
      o[2] = (uint8_t)c.b;
      o[3] = (uint8_t)c.a;
    }
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = (png_uint_32)w;
  image.height = (png_uint_32)h;
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
  std::vector<uint8_t> out(size);
  png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr);
  out.resize(size);
  return out;
}

inline void RegisterPng(int id, int w, int h, const std::function<RGBA(int, int)>& fn)
{
  const std::vector<uint8_t> png = EncodePng(w, h, fn);
  IImageRegistry::Register(id, png.data(), (int)png.size());
}

}  // namespace editortest
