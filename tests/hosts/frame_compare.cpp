// Compares a screenshot of an editor window (an XWD file, as xwd -id writes
// it) with the headless render of the test plug-in's editor at its default
// state, or with a PNG (quorvex-render --snapshot), and writes both as PNG
// files next to the screenshot.
//
//   quorvex_frame_compare HEADLESS_PLUGIN|REFERENCE.png SCREENSHOT.xwd
//
// Prints how many pixels differ; exits 0 when none do.
#include "PngCodec.h"
#include "TestPlug.h"
#include "VstHost.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

uint32_t Be32(const unsigned char* p)
{
  return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

// 0x00RRGGBB pixels of a 24/32-bit ZPixmap XWD file; false when it is not one.
bool ReadXwd(const std::string& path, int* w, int* h, std::vector<uint32_t>* px)
{
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (d.size() < 100) return false;
  const uint32_t headerSize = Be32(&d[0]), format = Be32(&d[8]), width = Be32(&d[16]), height = Be32(&d[20]);
  const uint32_t byteOrder = Be32(&d[28]), bpp = Be32(&d[44]), bpl = Be32(&d[48]), ncolors = Be32(&d[76]);
  const uint64_t start = (uint64_t)headerSize + (uint64_t)ncolors * 12;
  if (format != 2 || bpp != 32 || width == 0 || height == 0 || width > 8192 || height > 8192 ||
      bpl < width * 4 || start + (uint64_t)bpl * height > d.size())
    return false;
  *w = (int)width;
  *h = (int)height;
  px->resize((size_t)width * height);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
    {
      const unsigned char* p = &d[start + (uint64_t)y * bpl + x * 4];
      (*px)[(size_t)y * width + x] = byteOrder == 0 ? (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0]
                                                    : (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
    }
  return true;
}

int Report(std::vector<uint32_t>& frame, const std::vector<uint32_t>& shot, int w, int h,
           const std::string& xwd)
{
  size_t differ = 0;
  for (size_t i = 0; i < frame.size(); ++i)
  {
    frame[i] &= 0xFFFFFF;
    differ += frame[i] != shot[i];
  }
  const std::string base = xwd.substr(0, xwd.rfind('.'));
  qtest::WritePng(base + "-screen.png", shot, w);
  qtest::WritePng(base + "-headless.png", frame, w);
  std::printf("%d x %d editor: %zu of %zu pixels differ from the headless render\n", w, h, differ,
              frame.size());
  return differ ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 3)
  {
    std::fprintf(stderr, "usage: quorvex_frame_compare HEADLESS_PLUGIN|REFERENCE.png SCREENSHOT.xwd\n");
    return 2;
  }
  int w = 0, h = 0;
  std::vector<uint32_t> shot;
  if (!ReadXwd(argv[2], &w, &h, &shot))
  {
    std::fprintf(stderr, "quorvex_frame_compare: %s is not a 32-bit XWD screenshot\n", argv[2]);
    return 2;
  }

  const std::string ref = argv[1];
  if (ref.size() > 4 && ref.compare(ref.size() - 4, 4, ".png") == 0)
  {
    int rw = 0, rh = 0;
    std::vector<uint32_t> frame;
    if (!qtest::ReadPng(ref, &rw, &rh, &frame) || rw != w || rh != h)
    {
      std::fprintf(stderr, "quorvex_frame_compare: %s is not a %d x %d PNG\n", argv[1], w, h);
      return 1;
    }
    return Report(frame, shot, w, h, argv[2]);
  }

  quorvex::VstHost host;
  host.Load(argv[1]);  // a failed load leaves no symbols: said below
  auto copyFrame = (TestPlugCopyFrameProc)host.Symbol("TestPlug_CopyFrame");
  auto command = (TestPlugCommandProc)host.Symbol("TestPlug_Command");
  if (!copyFrame || !command)
  {
    std::fprintf(stderr, "quorvex_frame_compare: %s is not the headless test plug-in\n", argv[1]);
    return 2;
  }
  host.Open();
  host.Dispatch(effEditOpen, 0, 0, (void*)1);
  command(host.Effect(), kTPCmdTimerTick, 0, 0.0);
  std::vector<uint32_t> frame((size_t)w * h);
  const bool sized = copyFrame(host.Effect(), frame.data(), w, h) == 1;
  host.Dispatch(effEditClose);
  host.Close();
  if (!sized)
  {
    std::fprintf(stderr, "quorvex_frame_compare: the screenshot is %d x %d, not the editor's size\n", w, h);
    return 1;
  }

  return Report(frame, shot, w, h, argv[2]);
}
