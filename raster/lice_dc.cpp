// Portable half of the drawing-context emulation:
//   1. Pools of context and object records
//   2. Contexts: selection, colours, clip
//   3. Fonts: size, face-name cache, quality
//   4. DrawText: prefix and line handling, layout, alignment
//   5. Rules of typographic backends
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "lice_bitmap.h"
#include "lice_dc_impl.h"
#include "mutex.h"

using namespace lice_dc;

namespace
{

// ============================================================================
// 1. Pools
// ============================================================================

const size_t kMaxPooledContexts = 100;
const size_t kMaxPooledObjects = 200;

// Records released after the pools are torn down at unload are just freed.
bool gPoolsGone = false;

struct Pools
{
  WDL_Mutex mutex;
  std::vector<MemoryContext*> contexts;
  std::vector<GdiObjectRecord*> objects;
  int liveObjects = 0;

  ~Pools()
  {
    gPoolsGone = true;
    for (MemoryContext* c : contexts) free(c);
    for (GdiObjectRecord* o : objects) free(o);
  }
};

Pools& ThePools()
{
  static Pools pools;
  return pools;
}

template <class T> T* TakeRecord(std::vector<T*>& pool)
{
  WDL_MutexLock lock(&ThePools().mutex);
  T* rec = nullptr;
  if (!pool.empty())
  {
    rec = pool.back();
    pool.pop_back();
  }
  else
  {
    rec = static_cast<T*>(calloc(1, sizeof(T)));
  }
  if (rec) memset(rec, 0, sizeof(T));
  return rec;
}

// A record already in the pool is left alone, so a second delete is harmless.
template <class T> void ReturnRecord(std::vector<T*>& pool, T* rec, size_t limit)
{
  if (gPoolsGone)
  {
    free(rec);
    return;
  }
  WDL_MutexLock lock(&ThePools().mutex);
  if (rec->pooled) return;
  memset(rec, 0, sizeof(T));
  if (pool.size() < limit)
  {
    rec->pooled = true;
    pool.push_back(rec);
  }
  else
  {
    free(rec);
  }
}

// Reference counts change under the pool lock: objects are made and deleted
// on any thread, selected on the drawing one.
WDL_Mutex* ObjectLock() { return gPoolsGone ? nullptr : &ThePools().mutex; }

void Retain(GdiObjectRecord* obj)
{
  WDL_MutexLock lock(ObjectLock());
  ++obj->refCount;
}

// The last release closes the font and pools the record.
void Release(GdiObjectRecord* obj)
{
  {
    WDL_MutexLock lock(ObjectLock());
    if (--obj->refCount > 0) return;
    if (!gPoolsGone) --ThePools().liveObjects;
  }
  if (obj->font) CloseFont(obj->font);
  if (!gPoolsGone) ReturnRecord(ThePools().objects, obj, kMaxPooledObjects);
}

bool LiveContext(HDC ctx) { return ctx && !ctx->pooled; }

// A context's setting replaced, the one before returned; 0 for a context
// that is not live.
template <class T> T Exchange(HDC ctx, T MemoryContext::*setting, T value)
{
  return LiveContext(ctx) ? std::exchange(ctx->*setting, value) : 0;
}

bool ValidObject(HGDIOBJ obj)
{
  const uintptr_t v = reinterpret_cast<uintptr_t>(obj);
  if (v >= LICE_OBJ_PEN && v <= LICE_OBJ_FONT) return true;
  return obj && !obj->pooled && obj->kind >= LICE_OBJ_PEN && obj->kind <= LICE_OBJ_FONT;
}

// ============================================================================
// 3. Face-name cache
// ============================================================================

struct FaceEntry
{
  std::string name;
  void* face;
};

struct FaceCache
{
  WDL_Mutex mutex;
  std::vector<FaceEntry> entries;  // sorted by name bytes
  int misses = 0;
};

FaceCache& TheFaceCache()
{
  static FaceCache cache;
  return cache;
}

void* LookUpFace(const char* key, const char* family, bool bold, bool italic)
{
  FaceCache& fc = TheFaceCache();
  WDL_MutexLock lock(&fc.mutex);
  auto it = std::lower_bound(fc.entries.begin(), fc.entries.end(), key,
                             [](const FaceEntry& e, const char* k) { return e.name.compare(k) < 0; });
  if (it != fc.entries.end() && it->name == key) return it->face;
  ++fc.misses;
  void* face = ResolveFace(key, family, bold, italic);
  // Failures are not cached: fonts may be installed later.
  if (face) fc.entries.insert(it, FaceEntry{ key, face });
  return face;
}

}  // namespace

// ============================================================================
// 2. Contexts
// ============================================================================

HDC LICE_CreateBitmapContext(LICE_IBitmap* bitmap)
{
  MemoryContext* ctx = TakeRecord(ThePools().contexts);
  if (!ctx) return nullptr;
  ctx->surface = bitmap;
  ctx->bkMode = TRANSPARENT;
  ctx->bkColour = RGB(255, 255, 255);
  return ctx;
}

void LICE_DeleteContext(HDC ctx)
{
  if (!ctx || gPoolsGone) return;
  GdiObjectRecord* held[3];
  {
    // Emptied under the lock so that a second delete releases nothing.
    WDL_MutexLock lock(&ThePools().mutex);
    if (ctx->pooled) return;
    memcpy(held, ctx->slots, sizeof(held));
    memset(ctx->slots, 0, sizeof(ctx->slots));
  }
  ReturnRecord(ThePools().contexts, ctx, kMaxPooledContexts);
  for (GdiObjectRecord* obj : held)
    if (obj) Release(obj);
}

HGDIOBJ SelectObject(HDC ctx, HGDIOBJ obj)
{
  if (!LiveContext(ctx) || !ValidObject(obj)) return nullptr;
  const uintptr_t v = reinterpret_cast<uintptr_t>(obj);
  const bool kindNumber = v >= LICE_OBJ_PEN && v <= LICE_OBJ_FONT;
  const int kind = kindNumber ? (int)v : obj->kind;
  GdiObjectRecord*& slot = ctx->slots[kind - 1];
  HGDIOBJ prev = slot ? slot : reinterpret_cast<HGDIOBJ>((uintptr_t)kind);
  GdiObjectRecord* next = kindNumber ? nullptr : obj;
  GdiObjectRecord* old = slot;
  if (next == old) return prev;
  // The slot keeps its object alive after the maker deletes it.
  if (next) Retain(next);
  slot = next;
  if (old) Release(old);
  return prev;
}

COLORREF SetTextColor(HDC ctx, COLORREF colour) { return Exchange(ctx, &MemoryContext::textColour, colour); }

COLORREF GetTextColor(HDC ctx) { return LiveContext(ctx) ? ctx->textColour : 0; }

int SetBkMode(HDC ctx, int mode) { return Exchange(ctx, &MemoryContext::bkMode, mode); }

COLORREF SetBkColor(HDC ctx, COLORREF colour) { return Exchange(ctx, &MemoryContext::bkColour, colour); }

int SaveDC(HDC ctx)
{
  if (!LiveContext(ctx) || ctx->saved >= 8) return 0;
  ctx->savedClipped[ctx->saved] = ctx->clipped;
  ctx->savedClip[ctx->saved] = ctx->clip;
  return ++ctx->saved;
}

bool RestoreDC(HDC ctx, int)
{
  if (!LiveContext(ctx) || ctx->saved <= 0) return false;
  --ctx->saved;
  ctx->clipped = ctx->savedClipped[ctx->saved];
  ctx->clip = ctx->savedClip[ctx->saved];
  return true;
}

void IntersectClipRect(HDC ctx, int left, int top, int right, int bottom)
{
  if (!LiveContext(ctx)) return;
  if (!ctx->clipped)
  {
    ctx->clip = RECT{ left, top, right, bottom };
    ctx->clipped = true;
    return;
  }
  ctx->clip.left = std::max(ctx->clip.left, left);
  ctx->clip.top = std::max(ctx->clip.top, top);
  ctx->clip.right = std::min(ctx->clip.right, right);
  ctx->clip.bottom = std::min(ctx->clip.bottom, bottom);
}

namespace
{

BackendFont* SelectedFont(HDC ctx)
{
  GdiObjectRecord* f = ctx->slots[LICE_OBJ_FONT - 1];
  return f && !f->pooled && f->font ? f->font : DefaultFont();
}

}  // namespace

bool GetTextMetrics(HDC ctx, TEXTMETRIC* tm)
{
  if (!tm) return false;
  *tm = TEXTMETRIC{ 16, 12, 4, 3, 0, 10 };
  if (!LiveContext(ctx)) return false;
  if (BackendFont* f = SelectedFont(ctx)) GetMetrics(f, tm);
  return true;
}

// ============================================================================
// 3. Fonts
// ============================================================================

int lice_dc::FontSize(int height, int width)
{
  long long size = height ? std::llabs((long long)height) : std::llabs((long long)width);
  return size < 2 || size > 8192 ? 10 : (int)size;
}

void lice_dc::FaceKey(const char* face, int weight, bool italic, char* out, int outSize)
{
  std::string key(face ? face : "", face ? strnlen(face, 899) : 0);
  if (weight >= FW_BOLD) key += " Bold";
  if (italic) key += " Italic";
  const size_t n = std::min(key.size(), (size_t)(outSize > 0 ? outSize - 1 : 0));
  if (outSize <= 0) return;
  memcpy(out, key.data(), n);
  out[n] = 0;
}

int lice_dc::StoredQuality(int quality)
{
  return quality == NONANTIALIASED_QUALITY || quality == ANTIALIASED_QUALITY ? quality : DEFAULT_QUALITY;
}

int lice_dc::FaceCacheMisses()
{
  WDL_MutexLock lock(&TheFaceCache().mutex);
  return TheFaceCache().misses;
}

int lice_dc::LiveObjectCount()
{
  WDL_MutexLock lock(&ThePools().mutex);
  return ThePools().liveObjects;
}

HFONT CreateFont(int height, int width, int escapement, int, int weight, int italic, int, int, int, int, int,
                 int quality, int, const char* face)
{
  const int size = FontSize(height, width);
  char key[1024];
  FaceKey(face, weight, italic != 0, key, sizeof(key));
  std::string family(face ? face : "", face ? strnlen(face, 899) : 0);

  void* resolved = LookUpFace(key, family.c_str(), weight >= FW_BOLD, italic != 0);
  if (!resolved) return nullptr;
  const int q = StoredQuality(quality);
  // Positive heights ask for the cell height, as GDI does.
  BackendFont* bf = OpenFont(resolved, size, height > 0 || (height == 0 && width > 0), q);
  if (!bf) return nullptr;

  GdiObjectRecord* rec = TakeRecord(ThePools().objects);
  if (!rec)
  {
    CloseFont(bf);
    return nullptr;
  }
  {
    WDL_MutexLock lock(&ThePools().mutex);
    ++ThePools().liveObjects;
  }
  rec->refCount = 1;  // the maker's
  rec->kind = LICE_OBJ_FONT;
  rec->font = bf;
  rec->escapement = escapement * 0.1f;
  rec->quality = q;
  return rec;
}

bool DeleteObject(HGDIOBJ obj)
{
  const uintptr_t v = reinterpret_cast<uintptr_t>(obj);
  if (v <= LICE_OBJ_FONT) return false;
  {
    // The maker's reference goes once: a second delete must not take a
    // context's reference with it.
    WDL_MutexLock lock(ObjectLock());
    if (obj->pooled || obj->deleted) return false;
    obj->deleted = true;
  }
  Release(obj);
  return true;
}

// ============================================================================
// 4. DrawText
// ============================================================================

int lice_dc::PrepareText(const char* text, int count, int flags, char* out)
{
  const int kMax = 4095;
  int n = 0;
  for (int i = 0; (count < 0 || i < count) && text[i] && n < kMax; ++i)
  {
    char c = text[i];
    if (c == '&' && !(flags & DT_NOPREFIX))
    {
      ++i;
      if ((count >= 0 && i >= count) || !text[i]) break;  // a trailing '&' ends the text
      c = text[i];
    }
    if (c == '\r') continue;
    if (c == '\n' && (flags & DT_SINGLELINE)) c = ' ';
    out[n++] = c;
  }
  out[n] = 0;
  return n;
}

namespace
{

struct Line
{
  const char* text;
  int n;
};

// Horizontal start of a box of width w in [left, right).
int AlignX(int left, int right, int w, int flags)
{
  if (flags & DT_RIGHT) return right - w;
  if (flags & DT_CENTER) return left + (right - left) / 2 - w / 2;
  return left;
}

int AlignY(int top, int bottom, int h, int flags)
{
  if (flags & DT_BOTTOM) return bottom - h;
  if (flags & DT_VCENTER) return top + (bottom - top) / 2 - h / 2;
  return top;
}

void FillBackground(const Target& t, int x, int y, int w, int h, COLORREF c)
{
  const int l = std::max(x, t.clipL), r = std::min(x + w, t.clipR);
  const int tp = std::max(y, t.clipT), b = std::min(y + h, t.clipB);
  if (l >= r || tp >= b) return;
  const LICE_PixelWord word = LICE_RGBA(GetRValue(c), GetGValue(c), GetBValue(c), 255);
  for (int yy = tp; yy < b; ++yy)
  {
    LICE_PixelWord* row = t.surface.Row(yy);
    for (int xx = l; xx < r; ++xx) row[xx] = word;
  }
}

}  // namespace

int lice_dc::PlaceLines(const LineRules& rules, const int* widths, int n, const RECT& r, int flags,
                        LinePlace* out)
{
  if (n <= 0) return 0;
  int width = 0;
  for (int i = 0; i < n; ++i) width = std::max(width, widths[i]);
  const int lineH = n == 1 ? rules.lineHeight : rules.linePitch;
  const int height = (n == 1 ? rules.lineHeight : n * rules.linePitch) + rules.heightPad;
  const int blockX = AlignX(r.left, r.right, width, flags);
  int y = AlignY(r.top, r.bottom, height, flags);
  for (int i = 0; i < n; ++i, y += rules.linePitch)
  {
    out[i].x = rules.alignEachLine ? AlignX(r.left, r.right, widths[i], flags) : blockX;
    out[i].y = y;
    out[i].w = widths[i];
    // A single line's box is the whole reported height.
    out[i].h = n == 1 ? height : lineH;
  }
  return height;
}

int DrawText(HDC ctx, const char* text, int count, RECT* r, int flags)
{
  if (!LiveContext(ctx) || !text || !r) return 0;
  static thread_local char buf[4096];
  const int len = PrepareText(text, count, flags, buf);
  if (len == 0) return 0;
  BackendFont* font = SelectedFont(ctx);
  if (!font) return 0;

  // Split into lines; several only without DT_SINGLELINE (PrepareText has
  // turned line feeds into spaces otherwise).
  const int kMaxLines = 256;
  static thread_local Line lines[kMaxLines];
  static thread_local int widths[kMaxLines];
  static thread_local LinePlace places[kMaxLines];
  int nLines = 0, width = 0;
  for (int start = 0; start <= len && nLines < kMaxLines;)
  {
    const char* nl = static_cast<const char*>(memchr(buf + start, '\n', (size_t)(len - start)));
    const int end = nl ? (int)(nl - buf) : len;
    lines[nLines] = Line{ buf + start, end - start };
    widths[nLines] = LineWidth(font, buf + start, end - start);
    width = std::max(width, widths[nLines]);
    ++nLines;
    if (!nl) break;
    start = end + 1;
  }
  const int height = PlaceLines(Rules(font), widths, nLines, *r, flags, places);

  if (flags & DT_CALCRECT)
  {
    r->right = r->left + width;
    r->bottom = r->top + height;
    return height;
  }

  Target t{ lice::Surface(ctx->surface), 0, 0, 0, 0 };
  if (!t.surface.Valid()) return height;
  t.clipR = t.surface.width;
  t.clipB = t.surface.height;
  if (!(flags & DT_NOCLIP))
  {
    t.clipL = std::max(t.clipL, r->left);
    t.clipT = std::max(t.clipT, r->top);
    t.clipR = std::min(t.clipR, r->right);
    t.clipB = std::min(t.clipB, r->bottom);
  }
  if (ctx->clipped)
  {
    t.clipL = std::max(t.clipL, ctx->clip.left);
    t.clipT = std::max(t.clipT, ctx->clip.top);
    t.clipR = std::min(t.clipR, ctx->clip.right);
    t.clipB = std::min(t.clipB, ctx->clip.bottom);
  }
  if (t.clipL >= t.clipR || t.clipT >= t.clipB) return height;

  for (int i = 0; i < nLines; ++i)
  {
    const LinePlace& p = places[i];
    if (ctx->bkMode == OPAQUE) FillBackground(t, p.x, p.y, p.w, p.h, ctx->bkColour);
    DrawLine(font, t, p.x, p.y, lines[i].text, lines[i].n, ctx->textColour);
  }
  return height;
}

// ============================================================================
// 5. Rules of typographic backends
// ============================================================================

void lice_dc::TypographicMetrics(double ascent, double descent, double leading, TEXTMETRIC* tm)
{
  const int a = (int)ascent, d = (int)descent, l = (int)leading;
  const int h = l + a + d;
  tm->tmAscent = a;
  tm->tmDescent = d;
  tm->tmInternalLeading = l;
  tm->tmExternalLeading = 0;
  tm->tmAveCharWidth = h * 2 / 3;
  tm->tmHeight = h ? h + 1 : 0;
}

LineRules lice_dc::TypographicRules(double ascent, double descent, double leading)
{
  const double sum = ascent + descent + leading;
  return LineRules{ (int)std::floor(sum + 1.5), (int)std::floor(sum + 0.5), 1, false };
}

int lice_dc::TypographicWidth(double width) { return (int)std::floor(width + 0.5); }
