// quorvex-render command-line front end; the work is in Render.cpp.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Render.h"

int main(int argc, char** argv)
{
  std::vector<std::string> args(argv + 1, argv + argc);
  quorvex::RenderOptions options;
  std::string error;
  if (!quorvex::ParseRenderArgs(args, &options, &error))
  {
    std::fprintf(stderr, "quorvex-render: %s\n(try --help)\n", error.c_str());
    return quorvex::kRenderUsage;
  }
  if (options.help)
  {
    std::fputs(quorvex::RenderUsage().c_str(), stdout);
    return quorvex::kRenderOk;
  }
  options.progress = isatty(STDERR_FILENO) != 0;
  std::string report;
  int result = quorvex::RunRender(options, &report, &error);
  if (result != quorvex::kRenderOk)
  {
    std::fprintf(stderr, "quorvex-render: %s\n", error.c_str());
    return result;
  }
  std::fputs(report.c_str(), stdout);
  return quorvex::kRenderOk;
}
