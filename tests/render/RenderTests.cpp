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
#include <cstring>
#include <string>
#include <vector>

#include "Render.h"

using namespace quorvex;

namespace
{

class TempDir
{
public:
  TempDir()
  {
    char dir[] = "/tmp/quorvex-render-XXXXXX";
    if (mkdtemp(dir)) mPath = dir;
  }
  ~TempDir()
  {
    if (!mPath.empty()) std::system(("rm -rf '" + mPath + "'").c_str());
  }
  std::string File(const std::string& name) const { return mPath + "/" + name; }

private:
  std::string mPath;
};

bool WriteWav(const std::string& path, const std::vector<double>& samples, int channels, int rate)
{
  SF_INFO info;
  std::memset(&info, 0, sizeof(info));
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
  SF_INFO info;
  std::vector<double> samples;
};

bool ReadWav(const std::string& path, ReadBack* out)
{
  std::memset(&out->info, 0, sizeof(out->info));
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &out->info);
  if (!f) return false;
  out->samples.resize((size_t)(out->info.frames * out->info.channels));
  sf_readf_double(f, out->samples.data(), out->info.frames);
  sf_close(f);
  return true;
}

bool Exists(const std::string& path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

RenderOptions StubOptions()
{
  RenderOptions o;
  o.plugin = QUORVEX_STUB_PATH;
  o.quiet = true;
  return o;
}

// Runs the built tool, returning its exit status and everything it printed.
int RunCli(const std::string& args, std::string* output)
{
  std::string command = std::string("'") + QUORVEX_RENDER_PATH + "' " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  char buffer[256];
  output->clear();
  while (std::fgets(buffer, sizeof(buffer), pipe)) *output += buffer;
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RenderArgs, ParsesEveryOption)
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
  EXPECT_EQ(o.bpm, 93.5);
  EXPECT_EQ(o.block, 64);
  EXPECT_TRUE(o.useDouble);
  EXPECT_EQ(o.program, "Loud");
  ASSERT_EQ(o.params.size(), 2u);
  EXPECT_EQ(o.params[0], std::make_pair(std::string("Delay Rate"), std::string("1/8D")));
  EXPECT_EQ(o.params[1], std::make_pair(std::string("Feedback"), std::string("70")));
  EXPECT_EQ(o.tail, 0.5);
  EXPECT_TRUE(o.quiet);
}

TEST(RenderArgs, RejectsBadArguments)
{
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
    RenderOptions o;
    std::string error;
    EXPECT_FALSE(ParseRenderArgs(args, &o, &error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

class RenderStub : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_EQ(mHost.Load(QUORVEX_STUB_PATH), "");
    mHost.Open();
  }
  VstHost mHost;
};

TEST_F(RenderStub, FindsValuesByTheirDisplayText)
{
  std::string error;
  EXPECT_EQ(FindParameter(mHost, "Mode"), 1);
  EXPECT_EQ(FindParameter(mHost, "gain"), 0);  // unique without case
  EXPECT_EQ(FindParameter(mHost, "Volume"), -1);

  ASSERT_TRUE(SetParameterByDisplay(mHost, 1, "1/8D", &error)) << error;
  EXPECT_EQ(mHost.ParamDisplay(1), "1/8D");
  EXPECT_EQ(mHost.GetParameter(1), 0.5f);  // the middle of the step, not its edge

  ASSERT_TRUE(SetParameterByDisplay(mHost, 0, "70", &error)) << error;
  EXPECT_EQ(mHost.ParamDisplay(0), "70");
  EXPECT_EQ(mHost.GetParameter(0), 0.7f);
  ASSERT_TRUE(SetParameterByDisplay(mHost, 0, "35 %", &error)) << error;
  EXPECT_EQ(mHost.ParamDisplay(0), "35");
  ASSERT_TRUE(SetParameterByDisplay(mHost, 0, "100", &error)) << error;
  EXPECT_EQ(mHost.GetParameter(0), 1.f);

  ASSERT_TRUE(SetParameterByDisplay(mHost, 2, "250", &error)) << error;
  EXPECT_EQ(mHost.ParamDisplay(2), "250.0");
  // Between grid points: only the search between straddling values finds it.
  ASSERT_TRUE(SetParameterByDisplay(mHost, 2, "123.4", &error)) << error;
  EXPECT_EQ(mHost.ParamDisplay(2), "123.4");
}

TEST_F(RenderStub, UnknownValuesLeaveTheParameterAlone)
{
  std::string error;
  mHost.SetParameter(1, 0.9f);
  EXPECT_FALSE(SetParameterByDisplay(mHost, 1, "1/2", &error));
  EXPECT_NE(error.find("'Mode' has no value '1/2'"), std::string::npos) << error;
  EXPECT_EQ(mHost.GetParameter(1), 0.9f);
  EXPECT_FALSE(SetParameterByDisplay(mHost, 0, "150", &error));
  EXPECT_FALSE(SetParameterByDisplay(mHost, 0, "", &error));
}

TEST_F(RenderStub, SelectsProgramsByNumberOrName)
{
  std::string error;
  ASSERT_TRUE(SelectProgram(mHost, "2", &error));
  EXPECT_EQ(mHost.GetProgram(), 2);
  ASSERT_TRUE(SelectProgram(mHost, "Loud", &error));
  EXPECT_EQ(mHost.GetProgram(), 1);
  EXPECT_FALSE(SelectProgram(mHost, "3", &error));
  EXPECT_FALSE(SelectProgram(mHost, "-1", &error));
  EXPECT_FALSE(SelectProgram(mHost, "loud", &error));  // names are exact
  EXPECT_EQ(mHost.GetProgram(), 1);
}

TEST(RenderRun, DemoRendersInputPlusTailAtTheGivenGain)
{
  TempDir dir;
  RenderOptions o = StubOptions();
  o.output = dir.File("demo.wav");
  o.tail = 1.;
  o.block = 300;  // not a divisor of the length: the last block is short
  o.params = { { "Gain", "50" } };
  std::string report, error;
  ASSERT_EQ(RunRender(o, &report, &error), kRenderOk) << error;

  ReadBack out;
  ASSERT_TRUE(ReadWav(o.output, &out));
  EXPECT_EQ(out.info.frames, 176400 + 44100);  // two bars at 120 bpm, then the tail
  EXPECT_EQ(out.info.channels, 2);
  EXPECT_EQ(out.info.samplerate, 44100);
  EXPECT_EQ(out.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);

  std::vector<double> demo = MakeDemoSignal(44100., 120.);
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
  ASSERT_TRUE(WriteWav(dir.File("mono.wav"), ramp, 1, 48000));

  RenderOptions o = StubOptions();
  o.input = dir.File("mono.wav");
  o.output = dir.File("out.flac");
  o.useDouble = true;
  o.tail = 0.;
  o.program = "Loud";  // gain 0.9
  std::string report, error;
  ASSERT_EQ(RunRender(o, &report, &error), kRenderOk) << error;

  ReadBack out;
  ASSERT_TRUE(ReadWav(o.output, &out));
  EXPECT_EQ(out.info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
  EXPECT_EQ(out.info.samplerate, 48000);
  ASSERT_EQ(out.info.frames, 1000);
  ASSERT_EQ(out.info.channels, 2);
  for (size_t i = 0; i < ramp.size(); ++i)
  {
    ASSERT_NEAR(out.samples[2 * i], 0.9 * ramp[i], 1e-6);
    ASSERT_NEAR(out.samples[2 * i + 1], 0.9 * ramp[i], 1e-6);
  }
}

TEST(RenderRun, NeverOverwritesTheInput)
{
  TempDir dir;
  std::vector<double> tone(200, 0.25);
  std::string input = dir.File("take.wav");
  ASSERT_TRUE(WriteWav(input, tone, 2, 44100));
  ASSERT_EQ(symlink(input.c_str(), dir.File("alias.wav").c_str()), 0);

  for (const std::string& output : { input, dir.File("alias.wav"), dir.File("./take.wav") })
  {
    RenderOptions o = StubOptions();
    o.input = input;
    o.output = output;
    std::string report, error;
    EXPECT_EQ(RunRender(o, &report, &error), kRenderUsage) << output;
    EXPECT_NE(error.find("refusing to overwrite"), std::string::npos);
  }
  ReadBack back;
  ASSERT_TRUE(ReadWav(input, &back));
  EXPECT_EQ(back.samples, tone);
}

TEST(RenderRun, FailsCleanlyOnBadInputsPluginsAndNames)
{
  TempDir dir;
  std::string output = dir.File("never.wav");
  std::string report, error;
  auto run = [&](RenderOptions o)
  {
    o.output = output;
    error.clear();
    return RunRender(o, &report, &error);
  };

  RenderOptions missing = StubOptions();
  missing.input = dir.File("absent.wav");
  EXPECT_EQ(run(missing), kRenderFailed);
  EXPECT_NE(error.find("cannot read"), std::string::npos);

  RenderOptions badPlugin = StubOptions();
  badPlugin.plugin = dir.File("absent.so");
  EXPECT_EQ(run(badPlugin), kRenderFailed);
  EXPECT_NE(error.find("cannot open"), std::string::npos);

  RenderOptions unknownParam = StubOptions();
  unknownParam.params = { { "Feedback", "70" } };
  EXPECT_EQ(run(unknownParam), kRenderFailed);
  EXPECT_EQ(error, "unknown parameter 'Feedback'");

  RenderOptions unknownValue = StubOptions();
  unknownValue.params = { { "Mode", "1/16" } };
  EXPECT_EQ(run(unknownValue), kRenderFailed);

  RenderOptions unknownProgram = StubOptions();
  unknownProgram.program = "Nope";
  EXPECT_EQ(run(unknownProgram), kRenderFailed);

  RenderOptions mp3 = StubOptions();
  mp3.output = dir.File("x.mp3");
  EXPECT_EQ(RunRender(mp3, &report, &error), kRenderUsage);

  EXPECT_FALSE(Exists(output));
  EXPECT_FALSE(Exists(dir.File("x.mp3")));
}

TEST(RenderCli, ReportsErrorsListsAndWrites)
{
  std::string out;
  EXPECT_EQ(RunCli("--bogus", &out), kRenderUsage);
  EXPECT_EQ(out.rfind("quorvex-render: unknown option '--bogus'", 0), 0u) << out;

  std::string plugin = std::string("--plugin '") + QUORVEX_STUB_PATH + "'";
  EXPECT_EQ(RunCli(plugin + " --param Gain=42 --list", &out), kRenderOk) << out;
  EXPECT_NE(out.find("Gain"), std::string::npos) << out;
  EXPECT_NE(out.find("42 %"), std::string::npos) << out;
  EXPECT_NE(out.find("*  0  Init"), std::string::npos) << out;

  TempDir dir;
  std::string file = dir.File("cli.wav");
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
  const int rate = FindParameter(host, "Delay Rate");
  ASSERT_GE(rate, 0);
  const char* const rates[] = { "1/64", "1/32T", "1/64D", "1/32", "1/16T", "1/32D", "1/16", "1/8T", "1/16D",
                                "1/8",  "1/4T",  "1/8D",  "1/4",  "1/2T",  "1/4D",  "1/2",  "1/1T", "1/2D",
                                "1/1",  "2/1T",  "1/1D",  "2/1",  "4/1T",  "2/1D",  "4/1" };
  std::string error;
  for (const char* text : rates)
  {
    ASSERT_TRUE(SetParameterByDisplay(host, rate, text, &error)) << error;
    EXPECT_EQ(host.ParamDisplay(rate), text);
  }
  const int pan = FindParameter(host, "Pan Width");
  ASSERT_GE(pan, 0);
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
    RenderOptions o;
    o.plugin = QUORVEX_EFFECT_PATH;
    o.quiet = true;
    o.useDouble = useDouble;
    o.output = dir.File(useDouble ? "d.wav" : "f.wav");
    o.params = { { "Delay Rate", "1/8D" }, { "Feedback", "70" } };
    std::string report, error;
    ASSERT_EQ(RunRender(o, &report, &error), kRenderOk) << error;
    ReadBack out;
    ASSERT_TRUE(ReadWav(o.output, &out));
    EXPECT_EQ(out.info.frames, 176400 + 88200);
    // Echoes ring on after the phrase has ended.
    double tailPeak = 0.;
    for (size_t i = 2 * 180000; i < out.samples.size(); ++i)
      tailPeak = std::max(tailPeak, std::fabs(out.samples[i]));
    EXPECT_GT(tailPeak, 0.01);
  }
}
#endif
