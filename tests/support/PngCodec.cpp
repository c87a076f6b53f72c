#include "PngCodec.h"

#include "IImageRegistry.h"
#include "lice.h"

#include <csetjmp>

namespace qtest
{

namespace
{

// RGBA or RGB bytes through libpng's simplified writer: to a file when path
// is given, else into *memory.
bool WriteImage(const char* path, std::vector<uint8_t>* memory, png_uint_32 format, int w, int h,
                const std::vector<uint8_t>& bytes)
{
  if (w <= 0 || h <= 0) return false;
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = (png_uint_32)w;
  image.height = (png_uint_32)h;
  image.format = format;
  int ok = 0;
  if (path)
  {
    ok = png_image_write_to_file(&image, path, 0, bytes.data(), 0, nullptr);
  }
  else
  {
    // The first call measures.
    png_alloc_size_t size = 0;
    if (png_image_write_to_memory(&image, nullptr, &size, 0, bytes.data(), 0, nullptr))
    {
      memory->resize(size);
      ok = png_image_write_to_memory(&image, memory->data(), &size, 0, bytes.data(), 0, nullptr);
      memory->resize(ok ? size : 0);
    }
  }
  png_image_free(&image);
  return ok != 0;
}

}  // namespace

std::vector<uint8_t> EncodePng(int w, int h, const std::function<RGBA(int, int)>& fn)
{
  std::vector<uint8_t> rgba((size_t)w * h * 4), out;
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
  WriteImage(nullptr, &out, PNG_FORMAT_RGBA, w, h, rgba);
  return out;
}

void RegisterPng(int id, int w, int h, const std::function<RGBA(int, int)>& fn)
{
  const std::vector<uint8_t> png = EncodePng(w, h, fn);
  IImageRegistry::Register(id, png.data(), (int)png.size());
}

std::vector<uint8_t> EncodePng(const PngLayout& layout, const PngRows& rows)
{
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)))
  {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, size_t n)
      {
        auto* o = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + n);
      },
      [](png_structp) {});
  png_set_IHDR(png, info, layout.width, layout.height, layout.bitDepth, layout.colourType,
               layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!layout.palette.empty()) png_set_PLTE(png, info, layout.palette.data(), (int)layout.palette.size());
  if (!layout.paletteAlpha.empty())
    png_set_tRNS(png, info, layout.paletteAlpha.data(), (int)layout.paletteAlpha.size(), nullptr);
  std::vector<png_bytep> pointers;
  for (const auto& r : rows) pointers.push_back(const_cast<png_bytep>(r.data()));
  png_set_rows(png, info, pointers.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

bool WritePng(const std::string& path, LICE_IBitmap* bitmap)
{
  if (!bitmap || !bitmap->PixelData()) return false;
  const int w = bitmap->Width(), h = bitmap->Height();
  std::vector<uint8_t> rgba((size_t)w * h * 4);
  for (int y = 0; y < h; ++y)
  {
    const int row = bitmap->IsBottomUp() ? h - 1 - y : y;
    const LICE_PixelWord* p = bitmap->PixelData() + (size_t)row * bitmap->RowSpan();
    for (int x = 0; x < w; ++x)
    {
      uint8_t* o = &rgba[((size_t)y * w + x) * 4];
      o[0] = (uint8_t)LICE_GETR(p[x]);
      o[1] = (uint8_t)LICE_GETG(p[x]);
      o[2] = (uint8_t)LICE_GETB(p[x]);
      o[3] = (uint8_t)LICE_GETA(p[x]);
    }
  }
  return WriteImage(path.c_str(), nullptr, PNG_FORMAT_RGBA, w, h, rgba);
}

bool WritePng(const std::string& path, const std::vector<uint32_t>& pixels, int width)
{
  if (width <= 0) return false;
  std::vector<uint8_t> rgb(pixels.size() * 3);
  for (size_t i = 0; i < pixels.size(); ++i)
  {
    rgb[i * 3] = (uint8_t)(pixels[i] >> 16);
    rgb[i * 3 + 1] = (uint8_t)(pixels[i] >> 8);
    rgb[i * 3 + 2] = (uint8_t)pixels[i];
  }
  return WriteImage(path.c_str(), nullptr, PNG_FORMAT_RGB, width, (int)(pixels.size() / (size_t)width), rgb);
}

bool ReadPng(const std::string& path, int* width, int* height, std::vector<uint32_t>* pixels)
{
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  bool ok = false;
  if (png_image_begin_read_from_file(&image, path.c_str()))
  {
    // B, G, R, A bytes are 0xAARRGGBB words on a little-endian machine.
    image.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> px((size_t)image.width * image.height);
    if (png_image_finish_read(&image, nullptr, px.data(), 0, nullptr))
    {
      for (uint32_t& p : px) p &= 0xFFFFFF;
      *width = (int)image.width;
      *height = (int)image.height;
      pixels->swap(px);
      ok = true;
    }
  }
  png_image_free(&image);
  return ok;
}

}  // namespace qtest
