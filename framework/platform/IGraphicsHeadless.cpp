// IGraphicsHeadless: the editor driven by its caller instead of a window.
#include "IGraphicsHeadless.h"

#include "IControl.h"
#include "IImageRegistry.h"
#include "lice.h"

// ================================================================ window and presenting

IGraphicsHeadless::IGraphicsHeadless(IPlugBase* plug, int width, int height, int fps)
  : IGraphics(plug, width, height, fps)
{
}

IGraphicsHeadless::~IGraphicsHeadless()
{
  // The plug-in base deletes its editor from its own destructor, when the
  // host hooks are gone: close without ending the gesture through them.
  CloseWithoutPlug();
  delete mFrame;
}

void* IGraphicsHeadless::PlatformOpenWindow(void* parent, const IRECT* place)
{
  (void)place;
  mParent = parent;
  mOpen = true;
  return &mHandle;
}

void IGraphicsHeadless::PlatformCloseEntry() { mEntry.OnEvent(IEntryEvent::WindowClosed, nullptr, -1); }

void IGraphicsHeadless::PlatformDestroyWindow()
{
  mOpen = false;
  mParent = nullptr;
}

bool IGraphicsHeadless::PresentToScreen(IRECT* r)
{
  LICE_IBitmap* back = GetBackBuffer();
  if (!r || !back) return false;
  if (!mFrame) mFrame = new LICE_MemBitmap(0, 0, 4);
  if (mFrame->Width() != back->Width() || mFrame->Height() != back->Height())
  {
    mFrame->Resize(back->Width(), back->Height());
    LICE_BlitImage(mFrame, back, 0, 0, 0, 0, back->Width(), back->Height(), 1.0f, LICE_MODE_COPY);
  }
  LICE_BlitImage(mFrame, back, r->L, r->T, r->L, r->T, r->R - r->L, r->B - r->T, 1.0f, LICE_MODE_COPY);
  ++mPresents;
  mLastPresented = *r;
  return true;
}

void IGraphicsHeadless::Resize(int w, int h)
{
  IGraphics::Resize(w, h);
  if (mBackBuffer) mBackBuffer->Resize(w, h);
}

// ================================================================ prompts and services

LICE_IBitmap* IGraphicsHeadless::LoadPlatformBitmap(int id, const char* name)
{
  (void)name;
  return IImageRegistry::Decode(id);
}

void IGraphicsHeadless::CommitEntry(const char* text)
{
  EventScope scope(this);
  IControl* control = mEntry.Control();
  IParam* param = mEntry.Param();
  mEntry.Close();
  if (control) ApplyTextEntry(control, param, text);
}

void IGraphicsHeadless::CancelEntry() { mEntry.Close(); }

void IGraphicsHeadless::HostPath(WDL_String* path)
{
  if (path) path->Set("");
}

void IGraphicsHeadless::PluginPath(WDL_String* path)
{
  if (path) path->Set("");
}

bool IGraphicsHeadless::OpenURL(const char* url, const char* title, const char* confirm,
                                const char* errorText)
{
  (void)title;
  (void)confirm;
  (void)errorText;
  ++mURLCalls;
  mLastURL = url ? url : "";
  return mURLResult;
}
