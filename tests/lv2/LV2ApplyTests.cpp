// lilv's command-line host, lv2apply, runs the bundle from the build tree
// on a file: it offers no feature at all and leaves the transport port
// unconnected, so the tempo is 120 bpm and the process-wide worker serves.
#include "LV2TestHost.h"

#include <gtest/gtest.h>

#include <sndfile.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

extern char** environ;

using namespace lv2test;

namespace
{

std::string FindProgram(const char* name)
{
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t at = 0;
  while (at <= dirs.size())
  {
    const size_t colon = std::min(dirs.find(':', at), dirs.size());
    const std::string file = dirs.substr(at, colon - at) + "/" + name;
    if (colon > at && access(file.c_str(), X_OK) == 0) return file;
    at = colon + 1;
  }
  return "";
}

bool WriteWav(const std::string& path, const Stereo& s)
{
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  std::vector<float> frames(2 * s.Frames());
  for (size_t i = 0; i < s.Frames(); ++i) frames[2 * i] = s.l[i], frames[2 * i + 1] = s.r[i];
  const bool ok = sf_writef_float(f, frames.data(), (sf_count_t)s.Frames()) == (sf_count_t)s.Frames();
  return sf_close(f) == 0 && ok;
}

bool ReadWav(const std::string& path, Stereo* s, int* format)
{
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return false;
  *format = info.format;
  std::vector<float> frames(2 * (size_t)info.frames);
  const bool ok = info.channels == 2 && sf_readf_float(f, frames.data(), info.frames) == info.frames;
  sf_close(f);
  *s = Stereo((size_t)info.frames);
  for (size_t i = 0; ok && i < s->Frames(); ++i) s->l[i] = frames[2 * i], s->r[i] = frames[2 * i + 1];
  return ok;
}

// The program's exit status, -1 when it did not start or exit. env holds
// NAME=value entries that replace or join this process's environment.
int RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& env)
{
  std::vector<char*> argv, envp;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  for (char** e = environ; *e; ++e)
  {
    bool replaced = false;
    for (const std::string& mine : env)
      replaced = replaced || std::strncmp(*e, mine.c_str(), mine.find('=') + 1) == 0;
    if (!replaced) envp.push_back(*e);
  }
  envp.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace

TEST(LV2Apply, Lv2applyRendersTheEchoesOfTheVst2Build)
{
  const std::string lv2apply = FindProgram("lv2apply");
  if (lv2apply.empty()) GTEST_SKIP() << "no lv2apply (Debian's lilv-utils)";
#if defined(QUORVEX_ASAN_RUNTIME)
  if (access(QUORVEX_ASAN_RUNTIME, R_OK) != 0) GTEST_SKIP() << "no " << QUORVEX_ASAN_RUNTIME << " to preload";
#endif

  std::string dir = (std::filesystem::temp_directory_path() / "quorvex-lv2apply-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string in = dir + "/in.wav", out = dir + "/out.wav";
  Stereo signal = Impulse(40000, 100);
  signal.l[10000] = 0.25f;  // half of it enters the line
  ASSERT_TRUE(WriteWav(in, signal));

  // The bundle of this build alone.
  std::vector<std::string> env = { std::string("LV2_PATH=") + QUORVEX_LV2_PATH };
#if defined(QUORVEX_ASAN_RUNTIME)
  // lilv's own allocations are not this test's to count.
  env.push_back(std::string("LD_PRELOAD=") + QUORVEX_ASAN_RUNTIME);
  env.push_back("ASAN_OPTIONS=halt_on_error=1:detect_leaks=0");
#endif
  std::vector<std::string> args = { lv2apply, "-i", in, "-o", out };
  const char* const controls[][2] = { { "delay_rate", "9" }, { "ping_pong", "1" }, { "pan_width", "100" },
                                      { "feedback", "50" },  { "dry_mix", "0" },   { "wet_mix", "100" } };
  for (const auto& c : controls) args.insert(args.end(), { "-c", c[0], c[1] });
  args.push_back(kPluginUri);
  const int status = RunProgram(args, env);
  Stereo rendered;
  int format = 0;
  const bool read = status == 0 && ReadWav(out, &rendered, &format);
  std::filesystem::remove_all(dir);
  ASSERT_EQ(status, 0);
  ASSERT_TRUE(read);
  ASSERT_EQ(rendered.Frames(), signal.Frames());
  EXPECT_EQ(format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);

  // "1/8" at 120 bpm: 11025 samples to out_r, 16538 ("Dotted") to out_l,
  // the next pair 22050 later at half the level.
  EXPECT_EQ(NonZero(rendered.r), (std::vector<size_t>{ 11125, 21025, 33175 }));
  EXPECT_EQ(rendered.r[11125], 1.0f);
  EXPECT_EQ(rendered.r[21025], 0.125f);
  EXPECT_EQ(rendered.r[33175], 0.5f);
  EXPECT_EQ(NonZero(rendered.l), (std::vector<size_t>{ 16638, 26538, 38688 }));
  EXPECT_EQ(rendered.l[16638], 1.0f);
  EXPECT_EQ(rendered.l[38688], 0.5f);

  VstTwin vst;
  const float values[kNumParams] = { k1_8, kDotted, 100, 50, 0, 100 };
  for (int i = 0; i < kNumParams; ++i) vst.Set(i, values[i]);
  EXPECT_EQ(FirstDifference(rendered, vst.Render(signal, 512, {})), signal.Frames());
}
