// Internal: the records behind HDC and HFONT and the hooks each text backend
// (FreeType on Linux, Core Text on macOS) provides to the portable
// drawing-context code.
#pragma once

#include "lice_combine.h"
#include "lice_dc.h"

namespace lice_dc
{

// Backend font: one face at one pixel size.
struct BackendFont;

// One laid-out target: the context's surface clipped to a rectangle.
struct Target
{
  lice::Surface surface;
  int clipL, clipT, clipR, clipB;  // exclusive right and bottom, inside the surface
};

// How a backend stacks lines; the portable DrawText lays out with these.
struct LineRules
{
  int lineHeight;      // the height of a text of one line
  int linePitch;       // the height of each line of a text of several, top to top
  int heightPad;       // added to every non-zero height DrawText reports
  bool alignEachLine;  // lines aligned one by one (GDI), else as one block
};

// Where DrawText puts one line: its pen box (x, y, width, height).
struct LinePlace
{
  int x, y, w, h;
};

// --- Backend hooks --------------------------------------------------------

// Resolves a face; key is the face-name cache's key (family plus " Bold"
// and " Italic"). The result lives until unload. Null when no face can be
// found at all.
void* ResolveFace(const char* key, const char* family, bool bold, bool italic);
// A font of face at size pixels: cell height (ascent + descent) when
// cellHeight and the backend follows GDI there, else em height. quality is
// DEFAULT/NONANTIALIASED/ANTIALIASED.
BackendFont* OpenFont(void* face, int size, bool cellHeight, int quality);
void CloseFont(BackendFont* font);
// Font used when a context has none selected; may be null.
BackendFont* DefaultFont();
void GetMetrics(BackendFont* font, TEXTMETRIC* tm);
LineRules Rules(BackendFont* font);
// Pen advance of n bytes of UTF-8 text.
int LineWidth(BackendFont* font, const char* text, int n);
// Draws one line with its top-left at (x, y), coverage-blended in colour.
void DrawLine(BackendFont* font, const Target& t, int x, int y, const char* text, int n, COLORREF colour);

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
// Places n lines of the given widths in r by the alignment flags and
// returns the height DrawText reports (0 for no lines).
int PlaceLines(const LineRules& rules, const int* widths, int n, const RECT& r, int flags, LinePlace* out);
// Face-name cache lookups so far that had to resolve (tests).
int FaceCacheMisses();
// Font objects made and not yet released for the last time (tests).
int LiveObjectCount();

// Rules of a backend that measures with a font's typographic ascent,
// descent and leading (Core Text). The metrics truncate each, report their
// sum plus 1 as the height and two thirds of the sum as the average width;
// a line is floor(sum + 1.5) high alone and floor(sum + 0.5) among several,
// and a reported height gains 1.
void TypographicMetrics(double ascent, double descent, double leading, TEXTMETRIC* tm);
LineRules TypographicRules(double ascent, double descent, double leading);
// A typographic width in whole pixels, rounded half up.
int TypographicWidth(double width);

}  // namespace lice_dc

struct GdiObjectRecord
{
  int kind;
  int refCount;  // the maker's until DeleteObject, plus one per context slot holding it
  lice_dc::BackendFont* font;
  float escapement;  // degrees; stored only
  int quality;
  bool deleted;  // DeleteObject has dropped the maker's reference
  bool pooled;
};

struct MemoryContext
{
  LICE_IBitmap* surface;
  GdiObjectRecord* slots[3];  // pen, brush, font
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
