// Internal: the records behind HDC and HFONT and the hooks each text backend
// (FreeType on Linux) provides to the portable drawing-context code.
#pragma once

#include "lice_combine.h"
#include "lice_dc.h"

namespace lice_dc {

// Backend font: one face at one pixel size.
struct BackendFont;

// One laid-out target: the context's surface clipped to a rectangle.
struct Target
{
  lice::Surface surface;
  int clipL, clipT, clipR, clipB; // exclusive right and bottom, inside the surface
};

// --- Backend hooks --------------------------------------------------------

// Resolves a face by family and style; the result lives until unload. Null
// when no face can be found at all.
void* ResolveFace(const char* family, bool bold, bool italic);
// A font of face at size pixels: cell height (ascent + descent) when
// cellHeight, else em height. quality is DEFAULT/NONANTIALIASED/ANTIALIASED.
BackendFont* OpenFont(void* face, int size, bool cellHeight, int quality);
void CloseFont(BackendFont* font);
// Font used when a context has none selected; may be null.
BackendFont* DefaultFont();
void GetMetrics(BackendFont* font, TEXTMETRIC* tm);
// Height of one laid-out line, and the distance between lines.
int LineHeight(BackendFont* font);
// Pen advance of n bytes of UTF-8 text.
int LineWidth(BackendFont* font, const char* text, int n);
// Draws one line with its top-left at (x, y), coverage-blended in colour.
void DrawLine(BackendFont* font, const Target& t, int x, int y, const char* text, int n,
              COLORREF colour);

// --- Portable helpers (lice_dc.cpp), exposed for tests -----------------------

// Size rule: |height|, else |width|; outside 2..8192 it becomes 10.
int FontSize(int height, int width);
// Face key: the face (at most 899 bytes) plus " Bold" for weight >= 700 and
// " Italic" when italic.
void FaceKey(const char* face, int weight, bool italic, char* out, int outSize);
// Quality stored with a font: 3 and 4 as given, anything else 0.
int StoredQuality(int quality);
// Prefix, carriage-return and line-feed handling into out (4096 bytes);
// returns the length.
int PrepareText(const char* text, int count, int flags, char* out);
// Face-name cache lookups so far that had to resolve (tests).
int FaceCacheMisses();
// Font objects made and not yet released for the last time (tests).
int LiveObjectCount();

} // namespace lice_dc

struct GdiObjectRecord
{
  int kind;
  int refCount; // the maker's until DeleteObject, plus one per context slot holding it
  lice_dc::BackendFont* font;
  float escapement; // degrees; stored only
  int quality;
  bool deleted; // DeleteObject has dropped the maker's reference
  bool pooled;
};

struct MemoryContext
{
  LICE_IBitmap* surface;
  GdiObjectRecord* slots[3]; // pen, brush, font
  COLORREF textColour;
  int bkMode;
  COLORREF bkColour;
  bool clipped;
  RECT clip;
  int saved;
  bool savedClipped[8];
  RECT savedClip[8];
  bool pooled;
};
