// IGraphicsHeadless: the editor driven by its caller instead of a window.
#include "IGraphicsHeadless.h"

#include "IControl.h"
#include "IImageRegistry.h"
#include "lice.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <vector>

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

void IGraphicsHeadless::PlatformCloseEntry()
{
  mEntry.OnEvent(IEntryEvent::WindowClosed, nullptr, -1);
}

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

bool IGraphicsHeadless::WriteFramePng(const char* path) const
{
  LICE_MemBitmap* frame = mFrame;
  if (!path || !frame || frame->Width() <= 0 || frame->Height() <= 0) return false;
  const int w = frame->Width(), h = frame->Height();
  std::vector<unsigned char> rgba((size_t)w * (size_t)h * 4);
  for (int y = 0; y < h; ++y)
  {
    const LICE_PixelWord* row = frame->PixelData() + (size_t)y * (size_t)frame->RowSpan();
    for (int x = 0; x < w; ++x)
    {
      unsigned char* o = &rgba[((size_t)y * (size_t)w + (size_t)x) * 4];
      o[0] = (unsigned char)LICE_GETR(row[x]);
      o[1] = (unsigned char)LICE_GETG(row[x]);
      o[2] = (unsigned char)LICE_GETB(row[x]);
      o[3] = (unsigned char)LICE_GETA(row[x]);
    }
  }
  png_image image;
  std::memset(&image, 0, sizeof(image));
  image.version = PNG_IMAGE_VERSION;
  image.width = (png_uint_32)w;
  image.height = (png_uint_32)h;
  image.format = PNG_FORMAT_RGBA;
  const int ok = png_image_write_to_file(&image, path, 0, rgba.data(), 0, nullptr);
  png_image_free(&image);
  return ok != 0;
}

// ================================================================ prompts and services

LICE_IBitmap* IGraphicsHeadless::LoadPlatformBitmap(int id, const char* name)
{
  (void)name;
  return IImageRegistry::Decode(id);
}

void IGraphicsHeadless::PromptUserInput(IControl* control, IParam* param)
{
  mEntry.Open(this, control, param);
}

void IGraphicsHeadless::PromptUserInput(IEditableTextControl* control)
{
  mEntry.Open(this, control);
}

void IGraphicsHeadless::CommitEntry(const char* text)
{
  EventScope scope(this);
  IControl* control = mEntry.Control();
  IParam* param = mEntry.Param();
  mEntry.Close();
  if (control) ApplyTextEntry(control, param, text);
}

void IGraphicsHeadless::CancelEntry()
{
  mEntry.Close();
}

void IGraphicsHeadless::HostPath(WDL_String* path)
{
  if (path) path->Set("");
}

void IGraphicsHeadless::PluginPath(WDL_String* path)
{
  if (path) path->Set("");
}

void IGraphicsHeadless::PromptForFile(WDL_String* file, int action, const char* dir, const char* extensions)
{
  (void)action;
  (void)dir;
  (void)extensions;
  if (file) file->Set("");  // nobody to ask: as if cancelled
}

bool IGraphicsHeadless::PromptForColor(IColor* color, const char* prompt)
{
  (void)color;
  (void)prompt;
  return false;
}

bool IGraphicsHeadless::OpenURL(const char* url, const char* title, const char* confirm, const char* errorText)
{
  (void)title;
  (void)confirm;
  (void)errorText;
  ++mURLCalls;
  mLastURL = url ? url : "";
  return mURLResult;
}
