// IGraphics: the portable editor core.
//
// Contents:
//   - bitmap cache
//   - construction, controls and images
//   - parameter values
//   - redraw and the timer tick
//   - drawing primitives
//   - mouse and key events
#include "IGraphics.h"

#include "IControl.h"
#include "IPlugBase.h"
#include "IPlugBoundary.h"
#include "lice.h"

#include <climits>
#include <cmath>
#include <memory>
#include <new>

// ================================================================ bitmap cache

namespace
{

struct CachedBitmap
{
  int id;
  LICE_IBitmap* bitmap;
  // A crop (id -1): the image and the area it was cut from.
  const LICE_IBitmap* source;
  IRECT area;
};

// Lives until the library unloads; then every bitmap goes, in list order.
struct BitmapCacheStore
{
  WDL_Mutex mutex;
  WDL_PtrList<CachedBitmap> list;

  ~BitmapCacheStore()
  {
    for (int i = 0; i < list.GetSize(); ++i) delete list.Get(i)->bitmap;
    list.Empty(true);
  }
};

BitmapCacheStore& Cache()
{
  static BitmapCacheStore store;
  return store;
}

}  // namespace

LICE_IBitmap* IBitmapCache::Find(int id)
{
  BitmapCacheStore& c = Cache();
  WDL_MutexLock lock(&c.mutex);
  for (int i = 0; i < c.list.GetSize(); ++i)
  {
    CachedBitmap* e = c.list.Get(i);
    if (e->id == id && e->bitmap) return e->bitmap;
  }
  return nullptr;
}

LICE_IBitmap* IBitmapCache::FindCrop(const LICE_IBitmap* source, const IRECT& area)
{
  BitmapCacheStore& c = Cache();
  WDL_MutexLock lock(&c.mutex);
  // Only a source the cache keeps is known by its address: another one may
  // be freed and its address reused.
  bool kept = !source;
  for (int i = 0; i < c.list.GetSize() && !kept; ++i) kept = c.list.Get(i)->bitmap == source;
  if (!kept) return nullptr;
  for (int i = 0; i < c.list.GetSize(); ++i)
  {
    CachedBitmap* e = c.list.Get(i);
    if (e->id == -1 && e->bitmap && e->source == source && e->area == area) return e->bitmap;
  }
  return nullptr;
}

// The bitmap is the cache's from the call on, also when it cannot be kept
// (then it is freed and the result is false).
static bool AddEntry(int id, LICE_IBitmap* bitmap, const LICE_IBitmap* source, const IRECT& area)
{
  if (!bitmap) return false;
  std::unique_ptr<LICE_IBitmap> owned(bitmap);
  BitmapCacheStore& c = Cache();
  WDL_MutexLock lock(&c.mutex);
  std::unique_ptr<CachedBitmap> e(new CachedBitmap{ id, bitmap, source, area });
  const int before = c.list.GetSize();
  // The list could not grow: nobody would ever free the entry.
  if (c.list.Add(e.get()) != before) return false;
  e.release();
  owned.release();
  return true;
}

bool IBitmapCache::Add(int id, LICE_IBitmap* bitmap) { return AddEntry(id, bitmap, nullptr, IRECT()); }

bool IBitmapCache::AddCrop(const LICE_IBitmap* source, const IRECT& area, LICE_IBitmap* crop)
{
  return AddEntry(-1, crop, source, area);
}

int IBitmapCache::Size()
{
  BitmapCacheStore& c = Cache();
  WDL_MutexLock lock(&c.mutex);
  return c.list.GetSize();
}

// ================================================================ construction, controls, images

IGraphics::IGraphics(IPlugBase* plug, int width, int height, int fps, IEntryPlatform entryPlatform)
  : mEntry(entryPlatform), mPlug(plug), mWidth(width), mHeight(height), mFrameRate(fps > 0 ? fps : 24)
{
}

IGraphics::~IGraphics()
{
  mControls.Empty(true);
  delete mBackBuffer;
  delete mScratchBitmap;
  mBackBuffer = nullptr;
  mScratchBitmap = nullptr;
}

int IGraphics::AddControl(IControl* control)
{
  const int before = mControls.GetSize();
  const int idx = mControls.Add(control);
  // The editor owns what it was given, even when the list cannot hold it.
  if (idx != before) delete control;
  return idx == before ? idx : -1;
}

void IGraphics::AddBackground(int id, const char* name)
{
  IBitmap bg = LoadBitmapResource(id, name, 1);
  // A missing image still covers the editor, so its placeholder shows.
  IRECT area = bg.mData ? IRECT(0, 0, bg.W, bg.H / (bg.N > 0 ? bg.N : 1)) : IRECT(0, 0, mWidth, mHeight);
  IControl* control =
      new IBitmapControl(mPlug, area, -1, bg, IChannelBlend(IChannelBlend::BlendReplace, 1.0f), true);
  const int before = mControls.GetSize();
  if (mControls.Add(control) != before)
  {
    delete control;
    return;
  }
  // Move it to the front of the list: index 0 is drawn first.
  IControl** list = mControls.GetList();
  for (int i = before; i > 0; --i) list[i] = list[i - 1];
  list[0] = control;
}

IBitmap IGraphics::LoadBitmapResource(int id, const char* name, int frames)
{
  LICE_IBitmap* bitmap = IBitmapCache::Find(id);
  if (!bitmap)
  {
    // Decoded outside the cache lock; two editors may both decode one id,
    // and the first entry wins every later lookup.
    bitmap = LoadPlatformBitmap(id, name);
    if (!IBitmapCache::Add(id, bitmap)) bitmap = nullptr;
  }
  if (!bitmap) return IBitmap(nullptr, 0, 0, frames);
  return IBitmap(bitmap, bitmap->Width(), bitmap->Height(), frames);
}

void IGraphics::CacheBitmap(IBitmap* bmp)
{
  if (bmp && bmp->mData && !IBitmapCache::Add(-1, bmp->mData)) bmp->mData = nullptr;
}

IBitmap IGraphics::CropBitmap(IBitmap* src, IRECT* r)
{
  if (!src || !r) return IBitmap();
  const int w = r->R - r->L, h = r->B - r->T;
  if (w <= 0 || h <= 0) return IBitmap(nullptr, 0, 0, src->N);
  // Every editor cuts the same areas: one copy serves the process.
  if (LICE_IBitmap* cut = IBitmapCache::FindCrop(src->mData, *r)) return IBitmap(cut, w, h, src->N);
  LICE_MemBitmap* bitmap = new LICE_MemBitmap(w, h, 4);
  if (bitmap->Width() != w || bitmap->Height() != h)
  {
    delete bitmap;
    return IBitmap(nullptr, 0, 0, src->N);
  }
  // Parts outside the source stay transparent rather than uninitialised.
  LICE_FillBox(bitmap, 0, 0, w, h, 0, 1.0f, LICE_MODE_COPY);
  if (src->mData) LICE_BlitImage(bitmap, src->mData, 0, 0, r->L, r->T, w, h, 1.0f, LICE_MODE_COPY);
  if (!IBitmapCache::AddCrop(src->mData, *r, bitmap)) return IBitmap(nullptr, 0, 0, src->N);
  return IBitmap(bitmap, w, h, src->N);
}

// ================================================================ parameter values

void IGraphics::UpdateParamControls(int paramIndex, double value, bool normalized)
{
  if (!normalized)
  {
    IParam* param = mPlug ? mPlug->GetParam(paramIndex) : nullptr;
    if (!param) return;
    value = param->GetUnitValue(value);
  }
  for (int i = 0; i < mControls.GetSize(); ++i)
  {
    IControl* control = mControls.Get(i);
    if (control->ParamIdx() == paramIndex) control->ApplyHostValue(value);
  }
}

// ================================================================ redraw and the timer tick

void IGraphics::PrepareDrawing()
{
  if (!mBackBuffer) mBackBuffer = new LICE_SysBitmap(mWidth, mHeight);
  if (!mScratchBitmap) mScratchBitmap = new LICE_MemBitmap(0, 0, 4);
  // A back buffer without its pixels would leave the editor blank for good.
  if (mBackBuffer->Width() != mWidth || mBackBuffer->Height() != mHeight) throw std::bad_alloc();
}

bool IGraphics::IsDirty(IRECT* r)
{
  bool dirty = false;
  for (int i = 0; i < mControls.GetSize(); ++i)
  {
    IControl* control = mControls.Get(i);
    if (control->IsDirty())
    {
      *r = r->Union(control->GetRECT());
      dirty = true;
    }
  }
  return dirty;
}

bool IGraphics::Draw(IRECT* r)
{
  EventScope scope(this);
  if (!mControls.GetSize() || !r) return true;
  mRedrawArea = *r;
  // A control outside the area stays dirty: the next tick brings it to the
  // screen, whatever area a paint asked for.
  for (int i = 0; i < mControls.GetSize(); ++i)
  {
    IControl* control = mControls.Get(i);
    if (!control->GetRECT().Intersects(*r)) continue;
    if (!control->IsHidden()) control->Draw(this);
    control->SetClean();
  }
  return PresentToScreen(r);
}

bool IGraphics::LockPlug()
{
  if (!mPlug) return false;
  mPlug->GetMutex()->Enter();
  return true;
}

void IGraphics::UnlockPlug()
{
  if (mPlug) mPlug->GetMutex()->Leave();
}

// ================================================================ events and the window life cycle

IGraphics::EventScope::EventScope(IGraphics* g) : mG(g)
{
  mG->mMutex.Enter();
  ++mG->mEventDepth;
}

IGraphics::EventScope::~EventScope()
{
  const bool outer = --mG->mEventDepth == 0;
  mG->mMutex.Leave();
  // The host's own open and close hold the editor lock around events they
  // cause; they send when they are done. A host whose callback throws loses
  // those reports, not its process (this runs in a destructor).
  if (outer && mG->mPlug && !mG->mMutex.HeldByThisThread())
    CatchAtBoundary([this] { mG->mPlug->EditorEventDone(); });
}

void IGraphics::CheckLockRule(const char* what) const
{
  if (mPlug) ILockRule::Check(mPlug->GetMutex(), what);
}

void* IGraphics::OpenWindow(void* parent)
{
  CheckLockRule("opening the editor");
  IRECT place;
  const bool keep = GetWindow() && PlatformWindowPlace(&place);
  Close(true);
  {
    WDL_MutexLock lock(&mMutex);
    mClosing = false;
    mLastPressArmed = false;
    ClearMouseCapture();
    mHoverIndex = -1;
    SetAllControlsDirty();
  }
  return PlatformOpenWindow(parent, keep ? &place : nullptr);
}

void IGraphics::CloseWindow() { Close(true); }

void IGraphics::Close(bool callPlug)
{
  if (!GetWindow()) return;
  CheckLockRule("closing the editor");
  {
    WDL_MutexLock lock(&mMutex);
    mClosing = true;
    if (callPlug) EndGestures();
    mParamChangeTimer = 0;
    PlatformCloseEntry();
  }
  // Without the editor lock: a layer's event thread may be waiting for it.
  PlatformStopTimer();
  PlatformReleasePresentation();
  PlatformDestroyWindow();
  WDL_MutexLock lock(&mMutex);
  // Whatever the last events did before the timer stopped.
  PlatformCloseEntry();
  ClearMouseCapture();
  mHoverIndex = -1;
  mParamChangeTimer = 0;
  // Nothing of the window is left to send events; a closed editor still
  // draws and takes events from whoever drives it.
  mClosing = false;
}

void IGraphics::EndGestures()
{
  ClearMouseCapture();
  EndMouseGesture();
  if (mPlug) mPlug->FlushPendingGestureEnd();
}

void IGraphics::BeginMouseGesture(IControl* control)
{
  // A press whose release never came (the capture went elsewhere) ends
  // first: the host sees every begin paired.
  EndMouseGesture();
  if (!mPlug || control->ParamIdx() < 0) return;
  mGestureParam = control->ParamIdx();
  mPlug->BeginParamGesture(mGestureParam);
}

void IGraphics::EndMouseGesture()
{
  const int param = mGestureParam;
  mGestureParam = -1;
  if (param >= 0 && mPlug) mPlug->EndParamGesture(param);
}

void IGraphics::OnMouseCaptureLost()
{
  EventScope scope(this);
  ClearMouseCapture();
  EndMouseGesture();
}

void IGraphics::SetAllControlsDirty()
{
  for (int i = 0; i < mControls.GetSize(); ++i) mControls.Get(i)->SetDirty(false);
}

bool IGraphics::OnTimerTick()
{
  EventScope scope(this);
  if (mClosing) return false;
  IRECT r;
  const bool dirty = IsDirty(&r);
  if (dirty) InvalidateArea(&r);
  const int left = mParamChangeTimer.load();
  if (left > 0)
  {
    // Only the tick that takes the count from 1 to 0 ends the gesture; a
    // reschedule or cancel in between wins.
    int expected = left;
    if (mParamChangeTimer.compare_exchange_strong(expected, left - 1) && left == 1 && mPlug)
      mPlug->FlushPendingGestureEnd();
  }
  return dirty;
}

void IGraphics::Resize(int w, int h)
{
  {
    // Drawing and events stop first; a host setting a parameter walks the
    // controls under the instance lock, so the list changes under it.
    WDL_MutexLock lock(&mMutex);
    PlatformCloseEntry();
    ClearMouseCapture();
    mHoverIndex = -1;
    WDL_MutexLock plugLock(mPlug ? mPlug->GetMutex() : nullptr);
    mWidth = w;
    mHeight = h;
    mControls.Empty(true);
  }
  if (mPlug) mPlug->SyncEditorRect();
}

// ================================================================ drawing primitives

namespace
{

// Mode word and weight for a blend record.
int BlendMode(const IChannelBlend* blend, float* weight)
{
  *weight = blend ? blend->mWeight : 1.0f;
  if (!blend) return LICE_MODE_COPY | LICE_FLAG_SOURCEALPHA;
  switch (blend->mMethod)
  {
    case IChannelBlend::BlendReplace: return LICE_MODE_COPY;
    case IChannelBlend::BlendAdd: return LICE_MODE_ADD | LICE_FLAG_SOURCEALPHA;
    case IChannelBlend::BlendDodge: return LICE_MODE_DODGE | LICE_FLAG_SOURCEALPHA;
    default: return LICE_MODE_COPY | LICE_FLAG_SOURCEALPHA;
  }
}

// Intersection of dest with the redraw area; false when nothing is left.
bool ClipToRedraw(const IRECT& dest, const IRECT& redraw, IRECT* out)
{
  if (!dest.Intersects(redraw)) return false;
  out->L = dest.L > redraw.L ? dest.L : redraw.L;
  out->T = dest.T > redraw.T ? dest.T : redraw.T;
  out->R = dest.R < redraw.R ? dest.R : redraw.R;
  out->B = dest.B < redraw.B ? dest.B : redraw.B;
  return out->R > out->L && out->B > out->T;
}

}  // namespace

void IGraphics::DrawPlaceholder(IRECT* dest)
{
  IRECT c;
  if (!mBackBuffer || !dest || !ClipToRedraw(*dest, mRedrawArea, &c)) return;
  // Magenta with a dark frame and diagonal: unmistakably not artwork.
  const LICE_PixelWord fill = LICE_RGBA(255, 0, 255, 255), ink = LICE_RGBA(32, 0, 32, 255);
  LICE_FillBox(mBackBuffer, c.L, c.T, c.R - c.L, c.B - c.T, fill, 1.0f, LICE_MODE_COPY);
  const int x0 = dest->L, y0 = dest->T, x1 = dest->R - 1, y1 = dest->B - 1;
  // Frame and diagonals, plotted only where they fall inside the clip.
  auto seg = [&](int ax, int ay, int bx, int by)
  {
    const int steps = std::abs(bx - ax) > std::abs(by - ay) ? std::abs(bx - ax) : std::abs(by - ay);
    for (int k = 0; k <= steps; ++k)
    {
      const int x = steps ? ax + (int)((long long)(bx - ax) * k / steps) : ax;
      const int y = steps ? ay + (int)((long long)(by - ay) * k / steps) : ay;
      if (c.Contains(x, y)) LICE_FillBox(mBackBuffer, x, y, 1, 1, ink, 1.0f, LICE_MODE_COPY);
    }
  };
  seg(x0, y0, x1, y0);
  seg(x0, y1, x1, y1);
  seg(x0, y0, x0, y1);
  seg(x1, y0, x1, y1);
  seg(x0, y0, x1, y1);
  seg(x1, y0, x0, y1);
}

bool IGraphics::DrawBitmap(IBitmap* bitmap, IRECT* dest, int srcX, int srcY, const IChannelBlend* blend)
{
  if (!bitmap || !dest) return true;
  if (!bitmap->mData)
  {
    DrawPlaceholder(dest);
    return true;
  }
  IRECT c;
  if (!ClipToRedraw(*dest, mRedrawArea, &c)) return true;
  float weight;
  const int mode = BlendMode(blend, &weight);
  LICE_BlitImage(mBackBuffer, bitmap->mData, c.L, c.T, srcX + c.L - dest->L, srcY + c.T - dest->T, c.R - c.L,
                 c.B - c.T, weight, mode);
  return true;
}

bool IGraphics::DrawBitmapFrame(IBitmap* bitmap, IRECT* dest, int frame, const IChannelBlend* blend,
                                bool vertical)
{
  if (!bitmap || !dest) return true;
  int srcX = 0, srcY = 0;
  if (bitmap->N > 1 && frame > 1)
  {
    if (vertical)
      srcY = (int)((double)(frame - 1) * bitmap->H / bitmap->N + 0.5);
    else
      srcX = (int)((double)(frame - 1) * bitmap->W / bitmap->N + 0.5);
  }
  return DrawBitmap(bitmap, dest, srcX, srcY, blend);
}

bool IGraphics::DrawRotatedBitmap(IBitmap* bitmap, int cx, int cy, const IChannelBlend* blend, double angle,
                                  float srcX, float srcY)
{
  if (!bitmap || !bitmap->mData) return true;
  float weight;
  const int mode = BlendMode(blend, &weight) | LICE_FLAG_BILINEAR;
  const int w = bitmap->W, h = bitmap->H;
  LICE_BlitRotated(mBackBuffer, bitmap->mData, cx - w / 2, cy - h / 2, w, h, srcX, srcY, (float)w, (float)h,
                   (float)angle, false, weight, mode, 0.0f, 0.0f);
  return true;
}

bool IGraphics::FillArea(const IColor* color, IRECT* r, const IChannelBlend* blend)
{
  if (!color || !r) return true;
  float weight;
  const int mode = BlendMode(blend, &weight);
  LICE_FillBox(mBackBuffer, r->L, r->T, r->R - r->L, r->B - r->T, IColorToPixel(*color), weight, mode);
  return true;
}

bool IGraphics::DrawHorizontalLine(const IColor* color, int y, int x1, int x2)
{
  if (color) LICE_DrawSegment(mBackBuffer, x1, y, x2, y, IColorToPixel(*color), 1.0f, LICE_MODE_COPY, false);
  return true;
}

bool IGraphics::DrawVerticalLine(const IColor* color, int x, int y1, int y2)
{
  if (color) LICE_DrawSegment(mBackBuffer, x, y1, x, y2, IColorToPixel(*color), 1.0f, LICE_MODE_COPY, false);
  return true;
}

bool IGraphics::DrawRect(const IColor* color, IRECT* r)
{
  if (!color || !r) return true;
  DrawHorizontalLine(color, r->T, r->L, r->R);
  DrawHorizontalLine(color, r->B, r->L, r->R);
  DrawVerticalLine(color, r->L, r->T, r->B);
  DrawVerticalLine(color, r->R, r->T, r->B);
  return true;
}

// ================================================================ mouse and key events

int IGraphics::ControlIndexAt(int x, int y)
{
  if (mCaptureIndex >= 0) return mCaptureIndex;
  for (int i = mControls.GetSize() - 1; i >= 0; --i)
  {
    IControl* control = mControls.Get(i);
    if (!control->IsHidden() && !control->IsGrayed() && control->IsHit(x, y)) return i;
  }
  return -1;
}

void IGraphics::ClearMouseCapture()
{
  mCaptureIndex = -1;
  mMouseX = mMouseY = -1;
}

void IGraphics::OnMouseDown(int x, int y, MouseModifiers* mod)
{
  EventScope scope(this);
  if (mClosing) return;
  ClearMouseCapture();
  const int i = ControlIndexAt(x, y);
  IControl* control = mControls.Get(i);
  if (!control) return;
  mCaptureIndex = i;
  mMouseX = x;
  mMouseY = y;
  BeginMouseGesture(control);
  control->OnMouseDown(x, y, mod);
}

void IGraphics::OnMouseUp(int x, int y, MouseModifiers* mod)
{
  EventScope scope(this);
  if (mClosing) return;
  const int i = ControlIndexAt(x, y);
  ClearMouseCapture();
  IControl* control = mControls.Get(i);
  if (control) control->OnMouseUp(x, y, mod);
  // Only the gesture a press began ends here, wherever the release lands.
  EndMouseGesture();
}

bool IGraphics::OnMouseDblClick(int x, int y, MouseModifiers* mod)
{
  EventScope scope(this);
  if (mClosing) return false;
  ClearMouseCapture();
  const int i = ControlIndexAt(x, y);
  IControl* control = mControls.Get(i);
  if (!control) return false;
  BeginMouseGesture(control);
  if (!control->DblClickIsPress())
  {
    control->OnMouseDblClick(x, y, mod);
    return false;
  }
  mCaptureIndex = i;
  mMouseX = x;
  mMouseY = y;
  control->OnMouseDown(x, y, mod);
  return true;
}

bool IGraphics::OnMousePress(int x, int y, MouseModifiers* mod, bool left, uint32_t timeMs)
{
  EventScope scope(this);
  if (mClosing) return false;
  const bool pairs =
      left && mLastPressArmed && (uint32_t)(timeMs - mLastPressTime) <= (uint32_t)kDoubleClickMs &&
      std::abs(x - mLastPressX) <= kDoubleClickSlop && std::abs(y - mLastPressY) <= kDoubleClickSlop;
  if (pairs)
  {
    mLastPressArmed = false;
    return OnMouseDblClick(x, y, mod);
  }
  mLastPressArmed = left;
  mLastPressTime = timeMs;
  mLastPressX = x;
  mLastPressY = y;
  OnMouseDown(x, y, mod);
  return HasCapture();
}

void IGraphics::OnMouseDrag(int x, int y, MouseModifiers* mod)
{
  EventScope scope(this);
  if (mClosing) return;
  IControl* control = mControls.Get(mCaptureIndex);
  if (!control || (x == mMouseX && y == mMouseY)) return;
  const int dX = x - mMouseX, dY = y - mMouseY;
  mMouseX = x;
  mMouseY = y;
  control->OnMouseDrag(x, y, dX, dY, mod);
}

void IGraphics::OnMouseWheel(int x, int y, MouseModifiers* mod, int d)
{
  EventScope scope(this);
  if (mClosing) return;
  IControl* control = mControls.Get(ControlIndexAt(x, y));
  if (!control) return;
  const int param = control->ParamIdx();
  if (param < 0 || !mPlug)
  {
    control->OnMouseWheel(x, y, mod, d);
    return;
  }
  mPlug->BeginParamGestureIfNew(param);
  control->OnMouseWheel(x, y, mod, d);
  mPlug->ScheduleGestureEnd(param);
}

bool IGraphics::OnMouseOver(int x, int y, MouseModifiers* mod)
{
  EventScope scope(this);
  if (mClosing) return false;
  if (!mTrackHover) return false;
  const int i = ControlIndexAt(x, y);
  IControl* control = mControls.Get(i);
  if (control)
  {
    mMouseX = x;
    mMouseY = y;
    control->OnMouseOver(x, y, mod);
    IControl* previous = mControls.Get(mHoverIndex);
    if (previous && mHoverIndex != i) previous->OnMouseOut();
    mHoverIndex = i;
  }
  return true;
}

void IGraphics::OnMouseOut()
{
  EventScope scope(this);
  if (mClosing) return;
  for (int i = 0; i < mControls.GetSize(); ++i) mControls.Get(i)->OnMouseOut();
  mHoverIndex = -1;
}

void IGraphics::OnKeyDown(int x, int y, int key)
{
  EventScope scope(this);
  if (mClosing) return;
  IControl* control = mControls.Get(ControlIndexAt(x, y));
  if (control) control->OnKeyDown(x, y, key);
}
