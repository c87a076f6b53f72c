// PNG decoding through libpng's public interface.
//
// Sections:
//   1. Inputs (file, memory)
//   2. Decoding under libpng's long-jump error return
//   3. Loaders
//   4. Image-reader registration

#include "lice_png.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "lice.h"
#include "lice_combine.h"

#if defined(_WIN32)
#include <windows.h>
#endif
#if defined(__APPLE__)
#include <CoreFoundation/CoreFoundation.h>
#endif

#if defined(__GNUC__)
#define LICE_NOINLINE __attribute__((noinline))
#elif defined(_MSC_VER)
#define LICE_NOINLINE __declspec(noinline)
#else
#define LICE_NOINLINE
#endif

namespace
{

// ============================================================================
// 1. Inputs
// ============================================================================

struct MemoryReader
{
  const unsigned char* pos;
  size_t remaining;
};

// A read past the end is an error: a truncated stream must not decode into
// an image padded with made-up bytes.
void ReadFromMemory(png_structp png, png_bytep out, size_t length)
{
  MemoryReader* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (!reader || length > reader->remaining) png_error(png, "unexpected end of PNG data");
  memcpy(out, reader->pos, length);
  reader->pos += length;
  reader->remaining -= length;
}

FILE* OpenForReading(const char* path)
{
#if defined(_WIN32)
  wchar_t wide[2048];
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, 2048) > 0)
  {
    if (FILE* fp = _wfopen(wide, L"rb")) return fp;
  }
#endif
  return fopen(path, "rb");
}

// ============================================================================
// 2. Decoding
// ============================================================================

// Everything the decoder creates lives here, outside the frame that arms the
// long jump, so it can be released after a jump.
struct DecodeState
{
  png_structp png = nullptr;
  png_infop info = nullptr;
  FILE* file = nullptr;
  MemoryReader* memory = nullptr;
  LICE_IBitmap* given = nullptr;
  LICE_IBitmap* created = nullptr;
  png_bytep* rows = nullptr;
};

// The only frame that calls setjmp: it holds no objects with destructors and
// reads nothing of its own after a jump.
LICE_NOINLINE bool DecodeArmed(DecodeState* st)
{
  if (setjmp(png_jmpbuf(st->png))) return false;

  if (st->file)
    png_init_io(st->png, st->file);
  else
    png_set_read_fn(st->png, st->memory, ReadFromMemory);
  png_set_user_limits(st->png, LICE_PNG_MAX_SIDE, LICE_PNG_MAX_SIDE);
  png_set_chunk_malloc_max(st->png, 8 * 1024 * 1024);

  png_read_info(st->png, st->info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(st->png, st->info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
  if (width == 0 || height == 0 || (unsigned long long)width * height > LICE_PNG_MAX_PIXELS) return false;

  // Order matters: later steps look at the colour type as transparency
  // expansion leaves it.
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(st->png);
  if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(st->png);
  if (png_get_valid(st->png, st->info, PNG_INFO_tRNS))
  {
    png_set_tRNS_to_alpha(st->png);
    colourType |= PNG_COLOR_MASK_ALPHA;
  }
  if (bitDepth == 16) png_set_strip_16(st->png);
  if (bitDepth < 8) png_set_packing(st->png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(st->png);
  if (colourType & PNG_COLOR_MASK_ALPHA)
    png_set_swap_alpha(st->png);
  else
    png_set_filler(st->png, 0xFF, PNG_FILLER_BEFORE);
  // Interlaced images: png_read_image runs the passes itself.

  LICE_IBitmap* bm = st->given;
  if (bm)
    bm->Resize((int)width, (int)height);
  else
    bm = st->created = new (std::nothrow) LICE_MemBitmap((int)width, (int)height, 4);
  if (!bm) return false;
  const lice::Surface surface(bm);
  if (!surface.Valid() || surface.width != (int)width || surface.height != (int)height) return false;

  st->rows = static_cast<png_bytep*>(malloc(sizeof(png_bytep) * height));
  if (!st->rows) return false;
  for (png_uint_32 y = 0; y < height; ++y) st->rows[y] = reinterpret_cast<png_bytep>(surface.Row((int)y));
  png_read_image(st->png, st->rows);
  return true;
}

// libpng delivers A, R, G, B bytes; put each channel at its platform position.
void ToPixelOrder(LICE_IBitmap* bm)
{
  if (LICE_PIXEL_A == 0 && LICE_PIXEL_R == 1 && LICE_PIXEL_G == 2 && LICE_PIXEL_B == 3) return;
  const lice::Surface surface(bm);
  for (int y = 0; y < surface.height; ++y)
  {
    unsigned char* p = lice::Bytes(surface.Row(y));
    for (int x = 0; x < surface.width; ++x, p += 4)
    {
      const unsigned char a = p[0], r = p[1], g = p[2], b = p[3];
      lice::StoreRGBA(p, r, g, b, a);
    }
  }
}

LICE_IBitmap* Decode(FILE* file, MemoryReader* memory, LICE_IBitmap* given)
{
  DecodeState st;
  st.file = file;
  st.memory = memory;
  st.given = given;
  st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!st.png) return nullptr;
  st.info = png_create_info_struct(st.png);
  if (!st.info)
  {
    png_destroy_read_struct(&st.png, nullptr, nullptr);
    return nullptr;
  }

  const bool ok = DecodeArmed(&st);
  png_destroy_read_struct(&st.png, &st.info, nullptr);
  free(st.rows);
  if (!ok)
  {
    delete st.created;
    return nullptr;
  }
  LICE_IBitmap* bm = given ? given : st.created;
  ToPixelOrder(bm);
  return bm;
}

bool HasPngExtension(const char* path)
{
  const char* tail = path + strlen(path);
  while (tail > path && *tail != '.' && *tail != '/' && *tail != '\\') --tail;
  static const char kExt[] = ".png";
  for (int i = 0; i < 4; ++i)
  {
    char c = tail[i];
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    if (c != kExt[i]) return false;
  }
  return tail[4] == '\0';
}

}  // namespace

// ============================================================================
// 3. Loaders
// ============================================================================

LICE_IBitmap* LICE_ReadPngFile(const char* path, LICE_IBitmap* bmp)
{
  if (!path) return nullptr;
  FILE* fp = OpenForReading(path);
  if (!fp) return nullptr;
  LICE_IBitmap* result = Decode(fp, nullptr, bmp);
  fclose(fp);
  return result;
}

LICE_IBitmap* LICE_ReadPngChecked(const char* path, bool checkExtension, LICE_IBitmap* bmp)
{
  if (!path) return nullptr;
  if (checkExtension && !HasPngExtension(path)) return nullptr;
  return LICE_ReadPngFile(path, bmp);
}

LICE_IBitmap* LICE_ReadPngMemory(const void* data, int length, LICE_IBitmap* bmp)
{
  if (!data || length < 8) return nullptr;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  if (png_sig_cmp(bytes, 0, 8) != 0) return nullptr;
  MemoryReader reader = { bytes, (size_t)length };
  return Decode(nullptr, &reader, bmp);
}

#if defined(_WIN32)
LICE_IBitmap* LICE_ReadPngResource(void* module, int id, LICE_IBitmap* bmp)
{
  HMODULE mod = static_cast<HMODULE>(module);
  HRSRC res = FindResourceA(mod, MAKEINTRESOURCEA(id & 0xFFFF), "PNG");
  if (!res) return nullptr;
  const DWORD size = SizeofResource(mod, res);
  if (size < 8 || size > 0x7FFFFFFF) return nullptr;
  HGLOBAL handle = LoadResource(mod, res);
  const void* bytes = handle ? LockResource(handle) : nullptr;
  if (!bytes) return nullptr;
  return LICE_ReadPngMemory(bytes, (int)size, bmp);
}
#endif

std::string LICE_BundleResourceName(const char* fileName)
{
  if (!fileName) return std::string();
  std::string name(fileName);
  const size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

#if defined(__APPLE__)
// CoreFoundation rather than NSBundle: nothing here is autoreleased, so no
// autorelease scope is needed whichever thread the host calls on.
LICE_IBitmap* LICE_ReadPngFromBundle(const char* bundleIdent, const char* fileName, LICE_IBitmap* bmp)
{
  const std::string name = LICE_BundleResourceName(fileName);
  if (!bundleIdent || !*bundleIdent || name.empty()) return nullptr;
  CFStringRef ident = CFStringCreateWithCString(nullptr, bundleIdent, kCFStringEncodingUTF8);
  CFStringRef resource = CFStringCreateWithCString(nullptr, name.c_str(), kCFStringEncodingUTF8);
  CFBundleRef bundle = ident ? CFBundleGetBundleWithIdentifier(ident) : nullptr;  // not owned
  CFURLRef url =
      bundle && resource ? CFBundleCopyResourceURL(bundle, resource, CFSTR("png"), nullptr) : nullptr;
  char path[4096];
  const bool found =
      url && CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(path), sizeof(path)) &&
      path[0];
  if (url) CFRelease(url);
  if (resource) CFRelease(resource);
  if (ident) CFRelease(ident);
  return found ? LICE_ReadPngFile(path, bmp) : nullptr;
}
#endif

// ============================================================================
// 4. Image-reader registration
// ============================================================================

namespace
{

LICE_ImageReaderEntry* g_imageReaders = nullptr;

LICE_IBitmap* LoadPngEntry(const char* path, bool checkExtension, LICE_IBitmap* bmp)
{
  return LICE_ReadPngChecked(path, checkExtension, bmp);
}

const char* PngTypeFilter()
{
  // The literal's own terminator supplies the final second NUL.
  return "PNG files (*.PNG)\0*.PNG\0";
}

LICE_ImageReaderEntry g_pngReader = { LoadPngEntry, PngTypeFilter, nullptr };

struct RegisterPngReader
{
  RegisterPngReader()
  {
    g_pngReader.next = g_imageReaders;
    g_imageReaders = &g_pngReader;
  }
} g_registerPngReader;

}  // namespace

LICE_ImageReaderEntry* LICE_ImageReaders() { return g_imageReaders; }
