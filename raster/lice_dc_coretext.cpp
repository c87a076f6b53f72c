// macOS text backend: fonts by PostScript name through Core Text, lines laid
// out and drawn by Core Text into a CoreGraphics bitmap context over the
// target's pixels (first byte a skipped alpha byte, big-endian words: the
// platform pixel order). Metrics and line heights follow the font's
// typographic ascent, descent and leading (lice_dc::Typographic*).
//
// Threads: Core Text fonts and lines may be used from any thread; the list
// of resolved names and the default font are guarded by the library mutex.
#include <CoreFoundation/CoreFoundation.h>
#include <CoreGraphics/CoreGraphics.h>
#include <CoreText/CoreText.h>

#include <vector>

#include "lice_dc_impl.h"
#include "mutex.h"

namespace lice_dc
{

struct BackendFont
{
  CTFontRef font = nullptr;
  CFDictionaryRef attributes = nullptr;  // the font, colour from the context
  double ascent = 0, descent = 0, leading = 0;
  int quality = DEFAULT_QUALITY;
};

namespace
{

struct Library
{
  WDL_Mutex mutex;
  std::vector<CFStringRef> names;  // resolved faces, released at unload
  BackendFont* defaultFont = nullptr;
  bool defaultTried = false;
  CGColorSpaceRef colourSpace = nullptr;

  ~Library()
  {
    if (defaultFont) CloseFont(defaultFont);
    for (CFStringRef n : names) CFRelease(n);
    if (colourSpace) CGColorSpaceRelease(colourSpace);
  }
};

Library& TheLibrary()
{
  static Library lib;
  return lib;
}

// The main display's profile, so that drawn colours match what the view
// shows; device RGB when it cannot be read.
CGColorSpaceRef ColourSpace()
{
  Library& lib = TheLibrary();
  WDL_MutexLock lock(&lib.mutex);
  if (!lib.colourSpace) lib.colourSpace = CGDisplayCopyColorSpace(CGMainDisplayID());
  if (!lib.colourSpace) lib.colourSpace = CGColorSpaceCreateDeviceRGB();
  return lib.colourSpace;
}

BackendFont* Wrap(CTFontRef ct, int quality)
{
  if (!ct) return nullptr;
  BackendFont* f = new BackendFont;
  f->font = ct;
  f->quality = quality;
  f->ascent = CTFontGetAscent(ct);
  f->descent = CTFontGetDescent(ct);
  f->leading = CTFontGetLeading(ct);
  const void* keys[] = { kCTFontAttributeName, kCTForegroundColorFromContextAttributeName };
  const void* values[] = { ct, kCFBooleanTrue };
  f->attributes = CFDictionaryCreate(nullptr, keys, values, 2, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
  if (!f->attributes)
  {
    CloseFont(f);
    return nullptr;
  }
  return f;
}

// n bytes of UTF-8 as one Core Text line; bytes that are not UTF-8 are
// taken as Latin-1 so that something is always measured and drawn.
CTLineRef MakeLine(BackendFont* font, const char* text, int n)
{
  const UInt8* bytes = reinterpret_cast<const UInt8*>(text);
  CFStringRef str = CFStringCreateWithBytes(nullptr, bytes, n, kCFStringEncodingUTF8, false);
  if (!str) str = CFStringCreateWithBytes(nullptr, bytes, n, kCFStringEncodingISOLatin1, false);
  if (!str) return nullptr;
  CFAttributedStringRef attributed = CFAttributedStringCreate(nullptr, str, font->attributes);
  CFRelease(str);
  if (!attributed) return nullptr;
  CTLineRef line = CTLineCreateWithAttributedString(attributed);
  CFRelease(attributed);
  return line;
}

}  // namespace

// The name is the face key itself ("Arial Bold Italic" is a full name Core
// Text knows), replaced by the PostScript name of the font the system finds
// for it. Every supported macOS has the lookup (Foundation above 945).
void* ResolveFace(const char* key, const char*, bool, bool)
{
  CFStringRef name = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
  if (!name) name = CFStringCreateWithCString(nullptr, key, kCFStringEncodingASCII);
  if (!name) return nullptr;
  if (CTFontRef probe = CTFontCreateWithName(name, 10.0, nullptr))
  {
    CFStringRef ps = CTFontCopyPostScriptName(probe);
    CFRelease(probe);
    if (ps)
    {
      CFRelease(name);
      name = ps;
    }
  }
  Library& lib = TheLibrary();
  WDL_MutexLock lock(&lib.mutex);
  lib.names.push_back(name);
  return const_cast<void*>(static_cast<const void*>(name));
}

// Core Text sizes are em sizes: the size is |height| as given.
BackendFont* OpenFont(void* face, int size, bool, int quality)
{
  CTFontRef ct = face ? CTFontCreateWithName(static_cast<CFStringRef>(face), size, nullptr) : nullptr;
  if (!ct) ct = CTFontCreateUIFontForLanguage(kCTFontUIFontLabel, size, nullptr);
  return Wrap(ct, quality);
}

void CloseFont(BackendFont* font)
{
  if (!font) return;
  if (font->attributes) CFRelease(font->attributes);
  if (font->font) CFRelease(font->font);
  delete font;
}

// The system's label font at size 10.
BackendFont* DefaultFont()
{
  Library& lib = TheLibrary();
  WDL_MutexLock lock(&lib.mutex);
  if (!lib.defaultTried)
  {
    lib.defaultTried = true;
    lib.defaultFont = Wrap(CTFontCreateUIFontForLanguage(kCTFontUIFontLabel, 10.0, nullptr), DEFAULT_QUALITY);
  }
  return lib.defaultFont;
}

void GetMetrics(BackendFont* font, TEXTMETRIC* tm)
{
  TypographicMetrics(font->ascent, font->descent, font->leading, tm);
}

LineRules Rules(BackendFont* font) { return TypographicRules(font->ascent, font->descent, font->leading); }

int LineWidth(BackendFont* font, const char* text, int n)
{
  CTLineRef line = MakeLine(font, text, n);
  if (!line) return 0;
  const double w = CTLineGetTypographicBounds(line, nullptr, nullptr, nullptr);
  CFRelease(line);
  return TypographicWidth(w);
}

void DrawLine(BackendFont* font, const Target& t, int x, int y, const char* text, int n, COLORREF colour)
{
  // Bitmap contexts run top row first; no bitmap of this system is bottom-up.
  if (t.surface.bottomUp) return;
  CTLineRef line = MakeLine(font, text, n);
  if (!line) return;
  CGContextRef cg = CGBitmapContextCreate(t.surface.pixels, (size_t)t.surface.width, (size_t)t.surface.height,
                                          8, (size_t)t.surface.span * 4, ColourSpace(),
                                          (CGBitmapInfo)kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Big);
  if (cg)
  {
    // y = 0 is the top row, as for every other drawing call; the glyphs are
    // flipped back so they stand upright.
    CGContextTranslateCTM(cg, 0, t.surface.height);
    CGContextScaleCTM(cg, 1, -1);
    CGContextSetTextMatrix(cg, CGAffineTransform{ 1, 0, 0, -1, 0, 0 });
    CGContextClipToRect(cg, CGRectMake(t.clipL, t.clipT, t.clipR - t.clipL, t.clipB - t.clipT));
    if (font->quality == ANTIALIASED_QUALITY) CGContextSetShouldAntialias(cg, true);
    if (font->quality == NONANTIALIASED_QUALITY) CGContextSetShouldAntialias(cg, false);
    CGContextSetRGBFillColor(cg, GetRValue(colour) / 255.0, GetGValue(colour) / 255.0,
                             GetBValue(colour) / 255.0, 1.0);
    CGContextSetTextPosition(cg, x, y + font->ascent);
    CTLineDraw(line, cg);
    CGContextRelease(cg);
  }
  CFRelease(line);
}

}  // namespace lice_dc
