// PNG loading into bitmaps in the platform pixel order, straight alpha.
//
// Every loader takes an optional bitmap: when given, it is resized to the
// image and filled, and the same pointer comes back (the caller keeps it; on
// failure its contents are undefined). When null, a new LICE_MemBitmap with
// 4-pixel row alignment is returned and the caller owns it. Failures of any
// kind (missing file, corrupt or truncated data, images too large) give null.
#pragma once

#include <cstddef>
#include <string>

class LICE_IBitmap;

// Largest image accepted, so that a hostile header cannot make a bitmap
// allocation run away: each side and the total pixel count are bounded.
constexpr unsigned LICE_PNG_MAX_SIDE = 65535;
constexpr unsigned long long LICE_PNG_MAX_PIXELS = 1ull << 26;

// Decodes the file at a UTF-8 path.
LICE_IBitmap* LICE_ReadPngFile(const char* path, LICE_IBitmap* bmp = nullptr);

// As LICE_ReadPngFile; with checkExtension set, a name whose extension (the
// tail from its last '.', '/' or '\\') is not ".png" in any case gives null
// without touching the file.
LICE_IBitmap* LICE_ReadPngChecked(const char* path, bool checkExtension, LICE_IBitmap* bmp = nullptr);

// Decodes PNG bytes held in memory.
LICE_IBitmap* LICE_ReadPngMemory(const void* data, int length, LICE_IBitmap* bmp = nullptr);

#if defined(_WIN32)
// Decodes the resource of type "PNG" with integer id (low 16 bits) in the
// module (an HINSTANCE); a missing, short or unloadable resource gives null.
LICE_IBitmap* LICE_ReadPngResource(void* module, int id, LICE_IBitmap* bmp = nullptr);
#endif

// The name a bundle resource is looked up by: the file name's last path
// component without its extension ("../img/knob.png" gives "knob"). A
// leading '.' starts the name, not an extension.
std::string LICE_BundleResourceName(const char* fileName);

#if defined(__APPLE__)
// Decodes the resource of type "png" named after fileName (as above) in the
// bundle with that identifier; a missing bundle, name or file gives null.
LICE_IBitmap* LICE_ReadPngFromBundle(const char* bundleIdent, const char* fileName,
                                     LICE_IBitmap* bmp = nullptr);
#endif

// Process-wide list of image readers for a front end that loads any known
// type; the PNG reader puts itself at the head during static initialisation.
struct LICE_ImageReaderEntry
{
  LICE_IBitmap* (*load)(const char* path, bool checkExtension, LICE_IBitmap* bmp);
  // File-type filter: description, NUL, pattern, NUL NUL.
  const char* (*typeFilter)();
  LICE_ImageReaderEntry* next;
};

// Head of the reader list (null when no reader is linked in).
LICE_ImageReaderEntry* LICE_ImageReaders();
