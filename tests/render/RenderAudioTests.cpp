// quorvex-render against the stub plug-in: argument checks, finding values by
// their display text, rendered lengths and content read back with libsndfile,
// and the refusal to overwrite the input.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Render.h"

using namespace quorvex;

namespace
{

// A scratch directory, removed with everything in it.
class TempDir
{
public:
  TempDir() : mPath(std::filesystem::temp_directory_path() / "quorvex-render-XXXXXX")
  {
    if (!mkdtemp(&mPath[0])) mPath.clear();
  }
  ~TempDir()
  {
    if (!mPath.empty()) std::filesystem::remove_all(mPath);
  }
  std::string File(const std::string& name) const { return mPath + "/" + name; }

private:
  std::string mPath;
};

bool WriteWav(const std::string& path, const std::vector<double>& samples, int channels, int rate)
{
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  sf_writef_double(f, samples.data(), (sf_count_t)(samples.size() / channels));
  sf_close(f);
  return true;
}

struct ReadBack
{
  SF_INFO info{};
  std::vector<double> samples;
};

// An empty result (no frames) when the file cannot be read.
ReadBack ReadWav(const std::string& path)
{
  ReadBack out;
  if (SNDFILE* f = sf_open(path.c_str(), SFM_READ, &out.info))
  {
    out.samples.resize((size_t)(out.info.frames * out.info.channels));
    sf_readf_double(f, out.samples.data(), out.info.frames);
    sf_close(f);
  }
  return out;
}

RenderOptions Options(const std::string& output, const char* plugin = QUORVEX_STUB_PATH)
{
  RenderOptions o;
  o.plugin = plugin;
  o.output = output;
  o.quiet = true;
  return o;
}

// Runs the tool in-process; the error text goes to `*error`.
int Render(const RenderOptions& o, std::string* error)
{
  std::string report;
  error->clear();
  return RunRender(o, &report, error);
}

// Runs the built tool, returning its exit status and everything it printed.
int RunCli(const std::string& args, std::string* output)
{
  const std::string command = std::string("'") + QUORVEX_RENDER_PATH + "' " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  char buffer[256];
  output->clear();
  while (std::fgets(buffer, sizeof(buffer), pipe)) *output += buffer;
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RenderArgs, ParsesEveryOptionAndRejectsBadOnes)
{
  RenderOptions o;
  std::string error;
  ASSERT_TRUE(ParseRenderArgs({ "in.wav", "-o", "out.flac", "--plugin=p.so", "--bpm", "93.5", "--block", "64",
                                "--double", "--program", "Loud", "--param", "Delay Rate = 1/8D",
                                "--param=Feedback=70", "--tail", "0.5", "--quiet" },
                              &o, &error))
      << error;
  EXPECT_EQ(o.input, "in.wav");
  EXPECT_EQ(o.output, "out.flac");
  EXPECT_EQ(o.plugin, "p.so");
  EXPECT_EQ(o.program, "Loud");
  EXPECT_EQ(o.bpm, 93.5);
  EXPECT_EQ(o.block, 64);
  EXPECT_EQ(o.tail, 0.5);
  EXPECT_TRUE(o.useDouble && o.quiet);
  using Param = std::pair<std::string, std::string>;
  EXPECT_EQ(o.params, (std::vector<Param>{ { "Delay Rate", "1/8D" }, { "Feedback", "70" } }));

  const std::vector<std::vector<std::string>> bad = { { "--bogus" },         { "-o" },
                                                      { "--bpm", "0" },      { "--bpm", "fast" },
                                                      { "--block", "0" },    { "--block", "1e9" },
                                                      { "--tail", "-1" },    { "--tail", "nan" },
                                                      { "--param", "Gain" }, { "--param", "=3" },
                                                      { "a.wav", "b.wav" },  { "a.wav", "--rate", "48000" },
                                                      { "--quiet=yes" },     { "--rate", "100" },
                                                      { "-o", "" } };
  for (const auto& args : bad)
  {
    RenderOptions fresh;
    error.clear();
    EXPECT_FALSE(ParseRenderArgs(args, &fresh, &error)) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

TEST(RenderStub, FindsValuesAndProgramsByTheirText)
{
  VstHost host;
  ASSERT_EQ(host.Load(QUORVEX_STUB_PATH), "");
  host.Open();
  EXPECT_EQ(FindParameter(host, "Mode"), 1);
  EXPECT_EQ(FindParameter(host, "gain"), 0);  // unique without case
  EXPECT_EQ(FindParameter(host, "Volume"), -1);

  // Text asked for, what the plug-in then shows, and the value behind it (-1: any).
  struct Case
  {
    int index;
    const char* text;
    const char* shown;
    float value;
  };
  const Case found[] = {
    { 1, "1/8D", "1/8D", 0.5f },  // the middle of the step, not its edge
    { 0, "70", "70", 0.7f },     { 0, "35 %", "35", -1.f },     { 0, "100", "100", 1.f },
    { 2, "250", "250.0", -1.f }, { 2, "123.4", "123.4", -1.f },  // between grid points: only the search
                                                                 // between straddling values finds it
  };
  std::string error;
  for (const Case& c : found)
  {
    ASSERT_TRUE(SetParameterByDisplay(host, c.index, c.text, &error)) << c.text << ": " << error;
    EXPECT_EQ(host.ParamDisplay(c.index), c.shown);
    EXPECT_TRUE(c.value < 0.f || host.GetParameter(c.index) == c.value) << c.text;
  }

  // Unknown values leave the parameter alone.
  host.SetParameter(1, 0.9f);
  EXPECT_FALSE(SetParameterByDisplay(host, 1, "1/2", &error));
  EXPECT_NE(error.find("'Mode' has no value '1/2'"), std::string::npos) << error;
  EXPECT_EQ(host.GetParameter(1), 0.9f);
  EXPECT_FALSE(SetParameterByDisplay(host, 0, "150", &error));
  EXPECT_FALSE(SetParameterByDisplay(host, 0, "", &error));

  ASSERT_TRUE(SelectProgram(host, "2", &error));
  EXPECT_EQ(host.GetProgram(), 2);
  ASSERT_TRUE(SelectProgram(host, "Loud", &error));
  EXPECT_EQ(host.GetProgram(), 1);
  for (const char* wrong : { "3", "-1", "loud" })  // names are exact
    EXPECT_FALSE(SelectProgram(host, wrong, &error)) << wrong;
  EXPECT_EQ(host.GetProgram(), 1);
}

TEST(RenderRun, DemoRendersInputPlusTailAtTheGivenGain)
{
  TempDir dir;
  RenderOptions o = Options(dir.File("demo.wav"));
  o.tail = 1.;
  o.block = 300;  // not a divisor of the length: the last block is short
  o.params = { { "Gain", "50" } };
  std::string error;
  ASSERT_EQ(Render(o, &error), kRenderOk) << error;

  const ReadBack out = ReadWav(o.output);
  ASSERT_EQ(out.info.frames, 176400 + 44100);  // two bars at 120 bpm, then the tail
  ASSERT_EQ(out.info.channels, 2);
  EXPECT_EQ(out.info.samplerate, 44100);
  EXPECT_EQ(out.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);

  const std::vector<double> demo = MakeDemoSignal(44100., 120.);
  ASSERT_EQ(demo.size(), 176400u * 2);
  double peak = 0.;
  for (size_t i = 0; i < demo.size(); ++i)
  {
    ASSERT_NEAR(out.samples[i], 0.5 * demo[i], 1e-6) << i;
    peak = std::max(peak, std::fabs(demo[i]));
  }
  EXPECT_GT(peak, 0.2);
  for (size_t i = demo.size(); i < out.samples.size(); ++i) ASSERT_EQ(out.samples[i], 0.);
}

TEST(RenderRun, MonoInputFeedsBothInputsInDoublePrecision)
{
  TempDir dir;
  std::vector<double> ramp(1000);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = i / 2000.;
  RenderOptions o = Options(dir.File("out.flac"));
  o.input = dir.File("mono.wav");
  ASSERT_TRUE(WriteWav(o.input, ramp, 1, 48000));
  o.useDouble = true;
  o.tail = 0.;
  o.program = "Loud";  // gain 0.9
  std::string error;
  ASSERT_EQ(Render(o, &error), kRenderOk) << error;

  const ReadBack out = ReadWav(o.output);
  EXPECT_EQ(out.info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
  EXPECT_EQ(out.info.samplerate, 48000);
  ASSERT_EQ(out.info.frames, 1000);
  ASSERT_EQ(out.info.channels, 2);
  for (size_t i = 0; i < 2 * ramp.size(); ++i) ASSERT_NEAR(out.samples[i], 0.9 * ramp[i / 2], 1e-6) << i;
}

TEST(RenderRun, NeverOverwritesTheInput)
{
  TempDir dir;
  const std::vector<double> tone(200, 0.25);
  const std::string input = dir.File("take.wav");
  ASSERT_TRUE(WriteWav(input, tone, 2, 44100));
  ASSERT_EQ(symlink(input.c_str(), dir.File("alias.wav").c_str()), 0);
  for (const std::string& output : { input, dir.File("alias.wav"), dir.File("./take.wav") })
  {
    RenderOptions o = Options(output);
    o.input = input;
    std::string error;
    EXPECT_EQ(Render(o, &error), kRenderUsage) << output;
    EXPECT_NE(error.find("refusing to overwrite"), std::string::npos);
  }
  EXPECT_EQ(ReadWav(input).samples, tone);
}

TEST(RenderRun, FailsCleanlyOnBadInputsPluginsAndNames)
{
  TempDir dir;
  const std::string output = dir.File("never.wav");
  auto fails = [&](const char* expected, auto spoil)
  {
    RenderOptions o = Options(output);
    spoil(o);
    std::string error;
    EXPECT_EQ(Render(o, &error), kRenderFailed) << expected;
    EXPECT_NE(error.find(expected), std::string::npos) << error;
  };
  fails("cannot read", [&](RenderOptions& o) { o.input = dir.File("absent.wav"); });
  fails("cannot open", [&](RenderOptions& o) { o.plugin = dir.File("absent.so"); });
  fails("unknown parameter 'Feedback'", [](RenderOptions& o) { o.params = { { "Feedback", "70" } }; });
  fails("", [](RenderOptions& o) { o.params = { { "Mode", "1/16" } }; });
  fails("", [](RenderOptions& o) { o.program = "Nope"; });
  std::string error;
  EXPECT_EQ(Render(Options(dir.File("x.mp3")), &error), kRenderUsage);
  struct stat st;
  EXPECT_NE(stat(output.c_str(), &st), 0);
  EXPECT_NE(stat(dir.File("x.mp3").c_str(), &st), 0);
}

TEST(RenderCli, ReportsErrorsListsAndWrites)
{
  std::string out;
  EXPECT_EQ(RunCli("--bogus", &out), kRenderUsage);
  EXPECT_EQ(out.rfind("quorvex-render: unknown option '--bogus'", 0), 0u) << out;

  const std::string plugin = std::string("--plugin '") + QUORVEX_STUB_PATH + "'";
  EXPECT_EQ(RunCli(plugin + " --param Gain=42 --list", &out), kRenderOk) << out;
  for (const char* part : { "Gain", "42 %", "*  0  Init" })
    EXPECT_NE(out.find(part), std::string::npos) << out;

  TempDir dir;
  const std::string file = dir.File("cli.wav");
  EXPECT_EQ(RunCli(plugin + " --tail 0 --bpm 240 -o '" + file + "'", &out), kRenderOk) << out;
  EXPECT_EQ(out, "wrote " + file + ": 88200 frames, 2 channels, 44100 Hz\n");
  EXPECT_EQ(RunCli(plugin + " '" + dir.File("absent.wav") + "' -o '" + file + "'", &out), kRenderFailed);
  EXPECT_EQ(out.rfind("quorvex-render: cannot read", 0), 0u) << out;
}

}  // namespace

#if defined(QUORVEX_EFFECT_PATH)
// The built effect through the same path the README's command takes.
TEST(RenderEffect, EveryDelayRateAndIntegerValueIsFoundByItsText)
{
  VstHost host;
  ASSERT_EQ(host.Load(QUORVEX_EFFECT_PATH), "");
  host.Open();
  const int rate = FindParameter(host, "Delay Rate"), pan = FindParameter(host, "Pan Width");
  ASSERT_GE(rate, 0);
  ASSERT_GE(pan, 0);
  std::string error;
  for (int i = 0; i < 25; ++i)
  {
    // Read each choice's text, move away, then find it again by that text.
    host.SetParameter(rate, (float)(i / 24.0));
    const std::string text = host.ParamDisplay(rate);
    host.SetParameter(rate, (float)((24 - i) / 24.0));
    ASSERT_TRUE(SetParameterByDisplay(host, rate, text, &error)) << error;
    EXPECT_EQ(host.ParamDisplay(rate), text);
  }
  for (int v = -100; v <= 100; v += 7)
  {
    ASSERT_TRUE(SetParameterByDisplay(host, pan, std::to_string(v), &error)) << error;
    EXPECT_EQ(host.ParamDisplay(pan), std::to_string(v));
  }
  EXPECT_FALSE(SetParameterByDisplay(host, FindParameter(host, "Feedback"), "100", &error));
}

TEST(RenderEffect, DemoRendersInBothPrecisions)
{
  TempDir dir;
  for (bool useDouble : { false, true })
  {
    RenderOptions o = Options(dir.File(useDouble ? "d.wav" : "f.wav"), QUORVEX_EFFECT_PATH);
    o.useDouble = useDouble;
    o.params = { { "Delay Rate", "1/8D" }, { "Feedback", "70" } };
    std::string error;
    ASSERT_EQ(Render(o, &error), kRenderOk) << error;
    const ReadBack out = ReadWav(o.output);
    EXPECT_EQ(out.info.frames, 176400 + 88200);
    // Echoes ring on after the phrase has ended.
    double tailPeak = 0.;
    for (size_t i = 2 * 180000; i < out.samples.size(); ++i)
      tailPeak = std::max(tailPeak, std::fabs(out.samples[i]));
    EXPECT_GT(tailPeak, 0.01);
  }
}
#endif
