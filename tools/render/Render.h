// quorvex-render: renders an audio file (or a built-in demo phrase) through a
// VST 2 plug-in loaded with the reference host. The command-line front end is
// main.cpp; everything it does lives here so tests can call it directly.
#ifndef QUORVEX_RENDER_H
#define QUORVEX_RENDER_H

#include <string>
#include <utility>
#include <vector>

#include "VstHost.h"

namespace quorvex
{

struct RenderOptions
{
  std::string input;   // empty: the demo phrase
  std::string output;  // empty: kDemoOutput for the demo, an error otherwise
  std::string plugin;  // empty: the built-in default, when there is one
  double bpm = 120.;
  double demoRate = 44100.;  // the demo's sample rate; files bring their own
  bool rateGiven = false;
  int block = 512;
  bool useDouble = false;
  std::string program;                                      // number or exact name; empty: leave as loaded
  std::vector<std::pair<std::string, std::string>> params;  // name, display text
  double tail = 2.;
  std::string snapshot;  // PNG of the built-in editor; no audio
  bool list = false;
  bool quiet = false;
  bool help = false;
  bool progress = false;  // draw a progress bar on stderr
};

extern const char* const kDemoOutput;

// Exit codes of the tool.
enum RenderExit
{
  kRenderOk = 0,
  kRenderFailed = 1,
  kRenderUsage = 2
};

std::string RenderUsage();

// Parses the arguments after the program name. False with a one-line error.
bool ParseRenderArgs(const std::vector<std::string>& args, RenderOptions* options, std::string* error);

// The plug-in path used without --plugin; empty when none was built.
std::string DefaultPluginPath();

// Finds a parameter by its exact name, or else by a unique case-insensitive
// match. -1 when there is none.
int FindParameter(VstHost& host, const std::string& name);

// Sets the parameter to a normalised value whose display text is `text`
// (numbers compare by value, so "70" matches "70.0"; a trailing label is
// allowed). On failure the parameter keeps its value and `error` says why.
bool SetParameterByDisplay(VstHost& host, int index, const std::string& text, std::string* error);

// Selects a program by number or exact name.
bool SelectProgram(VstHost& host, const std::string& program, std::string* error);

// The demo phrase: two bars of plucked notes over an eighth-note hat pattern,
// stereo, interleaved.
std::vector<double> MakeDemoSignal(double sampleRate, double bpm);

// Selects options.program, then sets options.params in order.
bool ApplyState(VstHost& host, const RenderOptions& options, std::string* error);

// The editor of the effect built into this tool (it is linked in, not
// loaded: a loaded library exports nothing but its entry points), in the
// state options.program and options.params select, as rows of 8-bit RGB.
bool SnapshotEditor(const RenderOptions& options, std::vector<unsigned char>* rgb, int* width, int* height,
                    std::string* error);

// Writes rows of 8-bit RGB as a PNG.
bool WriteRgbPng(const std::string& path, const std::vector<unsigned char>& rgb, int width, int height,
                 std::string* error);

// --snapshot: SnapshotEditor, then WriteRgbPng to options.snapshot.
int RunSnapshot(const RenderOptions& options, std::string* report, std::string* error);

// Runs the whole tool. `report` receives what goes to stdout (the listing, or
// the line naming the file written); `error` a one-line reason on failure.
int RunRender(const RenderOptions& options, std::string* report, std::string* error);

}  // namespace quorvex

#endif  // QUORVEX_RENDER_H
