// quorvex-render --snapshot: the built-in effect's editor as a PNG.
//
// A loaded plug-in exports only its VST 2 entry points, and VST 2 has no way
// to hand pixels to a host, so the tool links the effect in and creates it
// through the same creation code as the exported entry point. The reference
// host drives it as usual (programs, parameters through setParameter); the
// editor then draws every control into its off-screen frame, which is read
// back. No window is opened, so this works whatever window layer the editor
// was built with.
#include <png.h>

#include <cstdio>
#include <cstring>

#include "IGraphics.h"
#include "IPlugVSTCreate.h"
#include "Quorvex2.h"
#include "Render.h"
#include "lice.h"

namespace quorvex
{

namespace
{

AEffect* VSTCALLBACK BuiltInEntry(audioMasterCallback hostCallback)
{
  return IPlugVSTCreate<Quorvex2>(hostCallback);
}

}  // namespace

bool SnapshotEditor(const RenderOptions& options, std::vector<unsigned char>* rgb, int* width, int* height,
                    std::string* error)
{
  VstHost host;
  host.SetCallLogging(false);
  std::string loadError = host.LoadEntry(&BuiltInEntry, "the built-in effect");
  if (!loadError.empty())
  {
    *error = loadError;
    return false;
  }
  host.Open(44100., 512);
  if (!ApplyState(host, options, error)) return false;

  IPlugVST* plug = static_cast<IPlugVST*>(host.Effect()->object);
  IGraphics* gui = plug ? plug->GetGUI() : nullptr;
  LICE_IBitmap* frame = gui ? gui->GetBackBuffer() : nullptr;
  if (!frame || frame->Width() <= 0 || frame->Height() <= 0)
  {
    *error = "the effect has no editor to draw";
    return false;
  }
  IRECT all(0, 0, gui->Width(), gui->Height());
  gui->Draw(&all);

  const int w = frame->Width(), h = frame->Height();
  rgb->assign((size_t)w * (size_t)h * 3, 0);
  for (int y = 0; y < h; ++y)
  {
    const LICE_PixelWord* row = frame->PixelData() + (size_t)y * (size_t)frame->RowSpan();
    unsigned char* out = rgb->data() + (size_t)y * (size_t)w * 3;
    for (int x = 0; x < w; ++x)
    {
      out[3 * x] = (unsigned char)LICE_GETR(row[x]);
      out[3 * x + 1] = (unsigned char)LICE_GETG(row[x]);
      out[3 * x + 2] = (unsigned char)LICE_GETB(row[x]);
    }
  }
  *width = w;
  *height = h;
  return true;
}

bool WriteRgbPng(const std::string& path, const std::vector<unsigned char>& rgb, int width, int height,
                 std::string* error)
{
  if (width <= 0 || height <= 0 || rgb.size() != (size_t)width * (size_t)height * 3)
  {
    *error = "no image to write";
    return false;
  }
  FILE* probe = std::fopen(path.c_str(), "rb");
  const bool existed = probe != nullptr;
  if (probe) std::fclose(probe);
  png_image image;
  std::memset(&image, 0, sizeof(image));
  image.version = PNG_IMAGE_VERSION;
  image.width = (png_uint_32)width;
  image.height = (png_uint_32)height;
  image.format = PNG_FORMAT_RGB;
  const int ok = png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
  png_image_free(&image);
  if (!ok)
  {
    if (!existed) std::remove(path.c_str());
    *error = "cannot write '" + path + "'";
    return false;
  }
  return true;
}

int RunSnapshot(const RenderOptions& options, std::string* report, std::string* error)
{
  report->clear();
  std::vector<unsigned char> rgb;
  int w = 0, h = 0;
  if (!SnapshotEditor(options, &rgb, &w, &h, error)) return kRenderFailed;
  if (!WriteRgbPng(options.snapshot, rgb, w, h, error)) return kRenderFailed;
  if (!options.quiet)
    *report =
        "wrote " + options.snapshot + ": editor " + std::to_string(w) + " x " + std::to_string(h) + "\n";
  return kRenderOk;
}

}  // namespace quorvex
