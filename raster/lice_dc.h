// Drawing contexts, font objects and DrawText for builds without GDI.
//
// The text path is written against the Windows drawing model: memory
// contexts, selectable font objects, a text colour and background mode, and
// DrawText with format flags. On Windows the real GDI calls are used; this
// header supplies the same names elsewhere. The portable half (object and
// context pools, selection, font size and face-name rules, prefix and line
// handling, alignment) lives in lice_dc.cpp; a per-OS backend renders.
//
// Threads: contexts and font objects belong to the thread that draws with
// them (the editor's UI thread). The pools and the face-name cache are
// process-wide and guarded by their own mutexes, so any thread may create
// and delete.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else

#include <cstdint>

class LICE_IBitmap;
struct MemoryContext;
struct GdiObjectRecord;

typedef MemoryContext* HDC;
// A drawing object, or one of the kind numbers 1-3 (see SelectObject).
typedef GdiObjectRecord* HGDIOBJ;
typedef GdiObjectRecord* HFONT;
typedef uint32_t COLORREF;

struct RECT
{
  int left, top, right, bottom;
};

struct TEXTMETRIC
{
  int tmHeight;
  int tmAscent;
  int tmDescent;
  int tmInternalLeading;
  int tmExternalLeading;
  int tmAveCharWidth;
};

#if defined(__APPLE__)
#define RGB(r, g, b) ((COLORREF)((((r)&0xFF) << 16) | (((g)&0xFF) << 8) | ((b)&0xFF)))
#define GetRValue(c) ((int)(((c) >> 16) & 0xFF))
#define GetGValue(c) ((int)(((c) >> 8) & 0xFF))
#define GetBValue(c) ((int)((c)&0xFF))
#else
#define RGB(r, g, b) ((COLORREF)(((r)&0xFF) | (((g)&0xFF) << 8) | (((b)&0xFF) << 16)))
#define GetRValue(c) ((int)((c)&0xFF))
#define GetGValue(c) ((int)(((c) >> 8) & 0xFF))
#define GetBValue(c) ((int)(((c) >> 16) & 0xFF))
#endif

// Text-format flags. Linux keeps the Windows values.
#if defined(__APPLE__)
constexpr int DT_CALCRECT = 0x1;
constexpr int DT_VCENTER = 0x2;
constexpr int DT_CENTER = 0x4;
constexpr int DT_BOTTOM = 0x10;
constexpr int DT_RIGHT = 0x20;
constexpr int DT_SINGLELINE = 0x40;
constexpr int DT_NOPREFIX = 0x80;
constexpr int DT_NOCLIP = 0x100;
constexpr int TRANSPARENT = 0;
constexpr int OPAQUE = 1;
#else
constexpr int DT_CENTER = 0x1;
constexpr int DT_RIGHT = 0x2;
constexpr int DT_VCENTER = 0x4;
constexpr int DT_BOTTOM = 0x8;
constexpr int DT_SINGLELINE = 0x20;
constexpr int DT_NOCLIP = 0x100;
constexpr int DT_CALCRECT = 0x400;
constexpr int DT_NOPREFIX = 0x800;
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
#endif
constexpr int DT_LEFT = 0;
constexpr int DT_TOP = 0;

constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;
constexpr int DEFAULT_QUALITY = 0;
constexpr int NONANTIALIASED_QUALITY = 3;
constexpr int ANTIALIASED_QUALITY = 4;
constexpr int CLEARTYPE_QUALITY = 5;
constexpr int DEFAULT_CHARSET = 1;
constexpr int OUT_DEFAULT_PRECIS = 0;
constexpr int CLIP_DEFAULT_PRECIS = 0;
constexpr int DEFAULT_PITCH = 0;

// Kind numbers of drawing objects; selecting one empties that slot.
constexpr int LICE_OBJ_PEN = 1;
constexpr int LICE_OBJ_BRUSH = 2;
constexpr int LICE_OBJ_FONT = 3;

// ---------------------------------------------------------------------------
// Contexts
// ---------------------------------------------------------------------------

// [any thread] A context that draws into bitmap's pixels, re-read on every
// call so the bitmap may resize underneath. Null when out of memory.
HDC LICE_CreateBitmapContext(LICE_IBitmap* bitmap);
// [any thread] Releases the objects selected into it. Ignores null and
// contexts already deleted.
void LICE_DeleteContext(HDC ctx);

// [owner thread] The previous occupant of the object's slot, the kind number
// when the slot was empty, null for an invalid context or object. The slot
// takes a reference on obj and releases the one it replaces, so a previous
// occupant that its maker has deleted may be gone by the time this returns.
HGDIOBJ SelectObject(HDC ctx, HGDIOBJ obj);
COLORREF SetTextColor(HDC ctx, COLORREF colour);
COLORREF GetTextColor(HDC ctx);
int SetBkMode(HDC ctx, int mode);
COLORREF SetBkColor(HDC ctx, COLORREF colour);
// Save and restore the clip (a few levels deep); RestoreDC pops one level.
int SaveDC(HDC ctx);
bool RestoreDC(HDC ctx, int level);
// Clip all later drawing to the rectangle as well.
void IntersectClipRect(HDC ctx, int left, int top, int right, int bottom);
bool GetTextMetrics(HDC ctx, TEXTMETRIC* tm);

// [owner thread] Draws or (DT_CALCRECT) measures UTF-8 text; count < 0
// means zero-terminated. Returns the text height, 0 when nothing was drawn.
int DrawText(HDC ctx, const char* text, int count, RECT* r, int flags);

// ---------------------------------------------------------------------------
// Font objects
// ---------------------------------------------------------------------------

// [any thread] Only height, width, escapement, weight, italic, quality and
// face are used. A positive height is the cell height (ascent + descent) in
// pixels, a negative one the em height. Null when no face at all is found.
HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, int italic,
                 int underline, int strikeOut, int charset, int outPrecision, int clipPrecision, int quality,
                 int pitchAndFamily, const char* face);
// [any thread] Releases the maker's reference on a font (or pen/brush)
// object; selected objects stay alive until their last release. False for
// kind numbers and objects already deleted.
bool DeleteObject(HGDIOBJ obj);

#endif  // !_WIN32
