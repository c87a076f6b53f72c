// Sections:
//   1. Arguments
//   2. Parameters and programs by name
//   3. Demo phrase
//   4. Audio files
//   5. Rendering
#include "Render.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace quorvex
{

const char* const kDemoOutput = "quorvex-demo.wav";

namespace
{

const int kMaxBlock = 1 << 16;
const double kMaxTailSeconds = 3600.;

std::string Trim(const std::string& s)
{
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::string Lower(std::string s)
{
  for (char& c : s) c = (char)std::tolower((unsigned char)c);
  return s;
}

// A whole, finite number; nothing else on the string.
bool ParseNumber(const std::string& text, double* value)
{
  std::string t = Trim(text);
  if (t.empty()) return false;
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(t.c_str(), &end);
  if (errno == ERANGE || *end != '\0' || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool ParseInteger(const std::string& text, long* value)
{
  std::string t = Trim(text);
  if (t.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(t.c_str(), &end, 10);
  if (errno == ERANGE || *end != '\0') return false;
  *value = v;
  return true;
}

}  // namespace

// ===========================================================================
// 1. Arguments
// ===========================================================================

std::string RenderUsage()
{
  return "usage: quorvex-render [INPUT] [-o FILE] [options]\n"
         "Renders INPUT (WAV, FLAC or AIFF) through a VST 2 plug-in; without INPUT it\n"
         "renders a built-in demo phrase.\n"
         "\n"
         "  -o, --output FILE    file to write (format from its extension; WAV 24-bit\n"
         "                       by default; the demo writes " +
         std::string(kDemoOutput) +
         " when omitted)\n"
         "  --plugin PATH        plug-in library to load (default: the built effect)\n"
         "  --bpm N              host tempo (default 120)\n"
         "  --rate N             sample rate of the demo phrase (default 44100)\n"
         "  --block N            block size in frames (default 512)\n"
         "  --double             process in 64-bit floats\n"
         "  --program N|NAME     select a program by number or exact name\n"
         "  --param NAME=VALUE   set a parameter to the value it displays as (repeatable)\n"
         "  --tail SECONDS       silence rendered after the input (default 2.0)\n"
         "  --list               print parameters and programs, then exit\n"
         "  --snapshot FILE.png  draw the built-in effect's editor in the state that\n"
         "                       --program and --param select, and write it as a PNG\n"
         "  --quiet              print nothing on success\n"
         "  -h, --help           show this text\n";
}

bool ParseRenderArgs(const std::vector<std::string>& args, RenderOptions* options, std::string* error)
{
  RenderOptions o;
  bool inputGiven = false;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i)
  {
    std::string arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-")
    {
      if (inputGiven)
      {
        *error = "more than one input file given ('" + o.input + "', '" + arg + "')";
        return false;
      }
      o.input = arg;
      inputGiven = true;
      continue;
    }
    if (arg == "--")
    {
      optionsEnded = true;
      continue;
    }
    // --name=value and --name value are both accepted.
    std::string name = arg, inlineValue;
    bool hasInline = false;
    size_t eq = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos)
    {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
      hasInline = true;
    }
    auto value = [&](std::string* out)
    {
      if (hasInline)
      {
        *out = inlineValue;
        return true;
      }
      if (i + 1 >= args.size())
      {
        *error = "option " + name + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    auto flag = [&]()
    {
      if (hasInline) *error = "option " + name + " takes no value";
      return !hasInline;
    };

    std::string v;
    if (name == "-h" || name == "--help")
    {
      if (!flag()) return false;
      o.help = true;
    }
    else if (name == "--list")
    {
      if (!flag()) return false;
      o.list = true;
    }
    else if (name == "--quiet" || name == "-q")
    {
      if (!flag()) return false;
      o.quiet = true;
    }
    else if (name == "--double")
    {
      if (!flag()) return false;
      o.useDouble = true;
    }
    else if (name == "-o" || name == "--output")
    {
      if (!value(&o.output)) return false;
      if (o.output.empty())
      {
        *error = "empty output file name";
        return false;
      }
    }
    else if (name == "--plugin")
    {
      if (!value(&o.plugin)) return false;
    }
    else if (name == "--snapshot")
    {
      if (!value(&o.snapshot)) return false;
      if (o.snapshot.empty())
      {
        *error = "empty snapshot file name";
        return false;
      }
    }
    else if (name == "--program")
    {
      if (!value(&o.program)) return false;
    }
    else if (name == "--bpm")
    {
      if (!value(&v)) return false;
      if (!ParseNumber(v, &o.bpm) || o.bpm < 1. || o.bpm > 999.)
      {
        *error = "--bpm needs a tempo from 1 to 999, not '" + v + "'";
        return false;
      }
    }
    else if (name == "--rate")
    {
      if (!value(&v)) return false;
      if (!ParseNumber(v, &o.demoRate) || o.demoRate < 8000. || o.demoRate > 384000. ||
          o.demoRate != std::floor(o.demoRate))
      {
        *error = "--rate needs a whole sample rate from 8000 to 384000, not '" + v + "'";
        return false;
      }
      o.rateGiven = true;
    }
    else if (name == "--block")
    {
      if (!value(&v)) return false;
      long block = 0;
      if (!ParseInteger(v, &block) || block < 1 || block > kMaxBlock)
      {
        *error = "--block needs a frame count from 1 to " + std::to_string(kMaxBlock) + ", not '" + v + "'";
        return false;
      }
      o.block = (int)block;
    }
    else if (name == "--tail")
    {
      if (!value(&v)) return false;
      if (!ParseNumber(v, &o.tail) || o.tail < 0. || o.tail > kMaxTailSeconds)
      {
        *error = "--tail needs seconds from 0 to 3600, not '" + v + "'";
        return false;
      }
    }
    else if (name == "--param")
    {
      if (!value(&v)) return false;
      size_t sep = v.find('=');
      if (sep == std::string::npos || Trim(v.substr(0, sep)).empty())
      {
        *error = "--param needs NAME=VALUE, not '" + v + "'";
        return false;
      }
      o.params.emplace_back(Trim(v.substr(0, sep)), Trim(v.substr(sep + 1)));
    }
    else
    {
      *error = "unknown option '" + arg + "'";
      return false;
    }
  }
  if (!o.snapshot.empty() && (inputGiven || !o.output.empty() || !o.plugin.empty() || o.list))
  {
    *error = "--snapshot draws the built-in effect's editor; it takes no input, -o, --plugin or --list";
    return false;
  }
  if (o.rateGiven && inputGiven)
  {
    *error = "--rate applies to the demo phrase only; an input file brings its own rate";
    return false;
  }
  *options = o;
  return true;
}

std::string DefaultPluginPath()
{
#if defined(QUORVEX_DEFAULT_PLUGIN)
  return QUORVEX_DEFAULT_PLUGIN;
#else
  return std::string();
#endif
}

// ===========================================================================
// 2. Parameters and programs by name
// ===========================================================================

int FindParameter(VstHost& host, const std::string& name)
{
  int folded = -1, foldedCount = 0;
  for (int i = 0; i < host.NumParams(); ++i)
  {
    std::string candidate = Trim(host.ParamName(i));
    if (candidate == name) return i;
    if (Lower(candidate) == Lower(name))
    {
      folded = i;
      ++foldedCount;
    }
  }
  return foldedCount == 1 ? folded : -1;
}

namespace
{

enum Match
{
  kNoMatch = 0,
  kNumericMatch,
  kTextMatch
};

// Text matches beat numeric ones, so "1/8" never settles for a display of "0.125".
Match CompareDisplay(const std::string& display, const std::string& wanted, bool wantedIsNumber,
                     double wantedNumber)
{
  std::string d = Trim(display);
  if (d == wanted) return kTextMatch;
  double shown = 0.;
  if (wantedIsNumber && ParseNumber(d, &shown) && shown == wantedNumber) return kNumericMatch;
  return kNoMatch;
}

// Normalised values to try: a fine grid plus the exact steps k/n of every
// small step count, which is where stepped parameters put their values.
std::vector<float> CandidateValues()
{
  std::vector<float> values;
  for (int k = 0; k <= 1000; ++k) values.push_back(k / 1000.f);
  for (int n = 1; n <= 128; ++n)
    for (int k = 0; k <= n; ++k) values.push_back((float)k / (float)n);
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  return values;
}

// The value to settle on inside the run values[first..last] of matching
// displays: a run touching an end of the range means that end; otherwise the
// centre of the run with its edges found exactly, which keeps clear of the
// parameter's rounding edges and, for a stepped parameter that rounds, is the
// step itself (snapped to k/n so that 70 of 0…99 becomes exactly 70/99).
template <typename Matches>
float RunCentre(VstHost& host, int index, const std::vector<float>& values, size_t first, size_t last,
                Matches matches)
{
  if (first == 0) return 0.f;
  if (last + 1 == values.size()) return 1.f;
  auto matchesAt = [&](float v)
  {
    host.SetParameter(index, v);
    return matches(host.ParamDisplay(index));
  };
  auto edge = [&](float outside, float inside)
  {
    for (int step = 0; step < 32; ++step)
    {
      float mid = outside + (inside - outside) / 2.f;
      if (mid == outside || mid == inside) break;
      (matchesAt(mid) ? inside : outside) = mid;
    }
    return inside;
  };
  const double lo = edge(values[first - 1], values[first]);
  const double hi = edge(values[last + 1], values[last]);
  const double centre = (lo + hi) / 2.;
  for (int n = 1; n <= 1000; ++n)
  {
    double k = std::round(centre * n);
    if (std::fabs(k / n - centre) <= 1e-5 && matchesAt((float)(k / n))) return (float)(k / n);
  }
  if (matchesAt((float)centre)) return (float)centre;
  return values[first];
}

}  // namespace

bool SetParameterByDisplay(VstHost& host, int index, const std::string& text, std::string* error)
{
  const std::string name = host.ParamName(index);
  const std::string label = Trim(host.ParamLabel(index));
  std::string wanted = Trim(text);
  // "70%" and "70 %" name the same value as "70" when the label is "%".
  if (!label.empty() && wanted.size() > label.size() &&
      wanted.compare(wanted.size() - label.size(), label.size(), label) == 0)
    wanted = Trim(wanted.substr(0, wanted.size() - label.size()));
  double wantedNumber = 0.;
  const bool wantedIsNumber = ParseNumber(wanted, &wantedNumber);

  const float original = host.GetParameter(index);
  const std::vector<float> values = CandidateValues();
  std::vector<Match> matches(values.size(), kNoMatch);
  std::vector<double> shown(values.size(), NAN);
  Match best = kNoMatch;
  for (size_t i = 0; i < values.size(); ++i)
  {
    host.SetParameter(index, values[i]);
    std::string display = host.ParamDisplay(index);
    matches[i] = CompareDisplay(display, wanted, wantedIsNumber, wantedNumber);
    best = std::max(best, matches[i]);
    double number = 0.;
    if (ParseNumber(display, &number)) shown[i] = number;
  }

  if (best != kNoMatch)
  {
    size_t first = 0;
    while (matches[first] != best) ++first;
    size_t last = first;
    while (last + 1 < values.size() && matches[last + 1] == best) ++last;
    host.SetParameter(index,
                      RunCentre(host, index, values, first, last,
                                [&](const std::string& d)
                                { return CompareDisplay(d, wanted, wantedIsNumber, wantedNumber) == best; }));
    return true;
  }

  // A continuous parameter may show the wanted number only between two grid
  // points; bisect between displays that straddle it.
  if (wantedIsNumber)
  {
    for (size_t i = 0; i + 1 < values.size(); ++i)
    {
      double a = shown[i], b = shown[i + 1];
      if (std::isnan(a) || std::isnan(b) || !((a < wantedNumber) != (b < wantedNumber))) continue;
      float lo = values[i], hi = values[i + 1];
      bool rising = a < b;
      for (int step = 0; step < 40 && lo < hi; ++step)
      {
        float mid = lo + (hi - lo) / 2.f;
        if (mid <= lo || mid >= hi) break;
        host.SetParameter(index, mid);
        std::string display = host.ParamDisplay(index);
        if (CompareDisplay(display, wanted, true, wantedNumber) != kNoMatch) return true;
        double m = 0.;
        if (!ParseNumber(display, &m)) break;
        if ((m < wantedNumber) == rising)
          lo = mid;
        else
          hi = mid;
      }
    }
  }

  host.SetParameter(index, 0.f);
  std::string low = host.ParamDisplay(index);
  host.SetParameter(index, 1.f);
  std::string high = host.ParamDisplay(index);
  host.SetParameter(index, original);
  *error = "parameter '" + name + "' has no value '" + text + "' (it runs from '" + Trim(low) + "' to '" +
           Trim(high) + "')";
  return false;
}

bool SelectProgram(VstHost& host, const std::string& program, std::string* error)
{
  long number = -1;
  std::string wanted = Trim(program);
  if (ParseInteger(wanted, &number))
  {
    if (number < 0 || number >= host.NumPrograms())
    {
      *error = "program " + wanted + " is out of range (0 to " + std::to_string(host.NumPrograms() - 1) + ")";
      return false;
    }
    host.SetProgram((VstInt32)number);
    return true;
  }
  for (int i = 0; i < host.NumPrograms(); ++i)
  {
    if (host.ProgramNameIndexed(i) == wanted)
    {
      host.SetProgram(i);
      return true;
    }
  }
  *error = "unknown program '" + program + "'";
  return false;
}

bool ApplyState(VstHost& host, const RenderOptions& options, std::string* error)
{
  if (!options.program.empty() && !SelectProgram(host, options.program, error)) return false;
  for (const auto& param : options.params)
  {
    int index = FindParameter(host, param.first);
    if (index < 0)
    {
      *error = "unknown parameter '" + param.first + "'";
      return false;
    }
    if (!SetParameterByDisplay(host, index, param.second, error)) return false;
  }
  return true;
}

// ===========================================================================
// 3. Demo phrase
// ===========================================================================

std::vector<double> MakeDemoSignal(double sampleRate, double bpm)
{
  const double beat = 60. / bpm;
  const size_t frames = (size_t)std::llround(8. * beat * sampleRate);
  std::vector<double> out(frames * 2, 0.);

  // Plucks: decaying sines with a touch of octave, on a syncopated figure.
  struct Note
  {
    double beat, hz;
  };
  const Note notes[] = { { 0., 220. }, { 1.5, 261.63 }, { 3., 329.63 },
                         { 4., 392. }, { 5.5, 329.63 }, { 7., 246.94 } };
  const double pi = 3.14159265358979323846;
  for (const Note& n : notes)
  {
    size_t start = (size_t)std::llround(n.beat * beat * sampleRate);
    size_t length = std::min(frames - start, (size_t)(0.6 * sampleRate));
    for (size_t i = 0; i < length; ++i)
    {
      double t = i / sampleRate;
      double env = std::min(1., t / 0.002) * std::exp(-t * 7.);
      double s = 0.45 * env * (std::sin(2. * pi * n.hz * t) + 0.3 * std::sin(4. * pi * n.hz * t));
      out[2 * (start + i)] += 0.6 * s;
      out[2 * (start + i) + 1] += 0.4 * s;
    }
  }

  // Hats: short noise bursts on every eighth, accented on the off-beats.
  uint32_t seed = 0x51a7e5u;
  for (int eighth = 0; eighth < 16; ++eighth)
  {
    size_t start = (size_t)std::llround(eighth * beat * 0.5 * sampleRate);
    size_t length = std::min(frames - start, (size_t)(0.03 * sampleRate));
    double gain = eighth % 2 ? 0.18 : 0.1;
    for (size_t i = 0; i < length; ++i)
    {
      seed = seed * 1664525u + 1013904223u;
      double noise = (double)(seed >> 8) / (double)(1u << 24) * 2. - 1.;
      double s = gain * noise * std::exp(-(double)i / (0.006 * sampleRate));
      out[2 * (start + i)] += 0.4 * s;
      out[2 * (start + i) + 1] += 0.6 * s;
    }
  }
  return out;
}

// ===========================================================================
// 4. Audio files
// ===========================================================================

namespace
{

struct SndFileCloser
{
  void operator()(SNDFILE* f) const { sf_close(f); }
};
typedef std::unique_ptr<SNDFILE, SndFileCloser> SndFilePtr;

struct Audio
{
  std::vector<double> samples;  // interleaved
  int channels = 0;
  double rate = 0.;
  size_t Frames() const { return channels ? samples.size() / (size_t)channels : 0; }
};

bool ReadAudio(const std::string& path, Audio* audio, std::string* error)
{
  SF_INFO info;
  std::memset(&info, 0, sizeof(info));
  SndFilePtr file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file)
  {
    *error = "cannot read '" + path + "': " + sf_strerror(nullptr);
    return false;
  }
  if (info.channels < 1 || info.samplerate < 1 || info.frames < 0)
  {
    *error = "'" + path + "' has no usable audio format";
    return false;
  }
  const sf_count_t kMaxSamples = sf_count_t(1) << 31;
  if (info.frames > kMaxSamples / info.channels)
  {
    *error = "'" + path + "' is too long to render";
    return false;
  }
  audio->channels = info.channels;
  audio->rate = info.samplerate;
  audio->samples.assign((size_t)(info.frames * info.channels), 0.);
  sf_count_t got = sf_readf_double(file.get(), audio->samples.data(), info.frames);
  // A file shorter than its header claims renders what is there.
  audio->samples.resize((size_t)(got * info.channels));
  return true;
}

// Output format from the extension; files without one are WAV.
bool OutputFormat(const std::string& path, int* format, std::string* error)
{
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  std::string ext = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                        ? ""
                        : Lower(path.substr(dot + 1));
  if (ext.empty() || ext == "wav")
    *format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
  else if (ext == "flac")
    *format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
  else if (ext == "aif" || ext == "aiff")
    *format = SF_FORMAT_AIFF | SF_FORMAT_PCM_24;
  else if (ext == "w64")
    *format = SF_FORMAT_W64 | SF_FORMAT_PCM_24;
  else
  {
    *error = "cannot write '." + ext + "' files (use .wav, .flac, .aif, .aiff or .w64)";
    return false;
  }
  return true;
}

#if defined(_WIN32)
// The C runtime's stat has no inode numbers on Windows (every file on a
// drive would look the same); the volume serial and file index identify it.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION* info)
{
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(h, info) != 0;
  CloseHandle(h);
  return ok;
}

bool SameFile(const std::string& a, const std::string& b)
{
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return FileIdentity(a, &ia) && FileIdentity(b, &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}
#else
bool SameFile(const std::string& a, const std::string& b)
{
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}
#endif

bool FileExists(const std::string& path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

class ProgressBar
{
public:
  ProgressBar(bool on, size_t total) : mOn(on && total > 0), mTotal(total) {}
  ~ProgressBar()
  {
    if (mOn && mShown >= 0) std::fputs("\r\033[K", stderr);
  }
  void Update(size_t done)
  {
    if (!mOn) return;
    int percent = (int)(done * 100 / mTotal);
    if (percent == mShown) return;
    mShown = percent;
    char bar[41];
    int filled = percent * 40 / 100;
    for (int i = 0; i < 40; ++i) bar[i] = i < filled ? '#' : '.';
    bar[40] = '\0';
    std::fprintf(stderr, "\rquorvex-render: [%s] %3d%%", bar, percent);
    std::fflush(stderr);
  }

private:
  bool mOn;
  size_t mTotal;
  int mShown = -1;
};

std::string ListPlugin(VstHost& host)
{
  std::string out;
  char line[512];
  std::snprintf(line, sizeof(line), "%s by %s, version %d, %d in, %d out\n", host.EffectName().c_str(),
                host.VendorString().c_str(), (int)host.Version(), (int)host.NumInputs(),
                (int)host.NumOutputs());
  out += line;
  out += "Parameters:\n";
  for (int i = 0; i < host.NumParams(); ++i)
  {
    std::string label = Trim(host.ParamLabel(i));
    std::snprintf(line, sizeof(line), "  %2d  %-16s %s%s%s\n", i, host.ParamName(i).c_str(),
                  Trim(host.ParamDisplay(i)).c_str(), label.empty() ? "" : " ", label.c_str());
    out += line;
  }
  out += "Programs:\n";
  int current = host.GetProgram();
  for (int i = 0; i < host.NumPrograms(); ++i)
  {
    std::snprintf(line, sizeof(line), "%s %2d  %s\n", i == current ? "*" : " ", i,
                  host.ProgramNameIndexed(i).c_str());
    out += line;
  }
  return out;
}

}  // namespace

// ===========================================================================
// 5. Rendering
// ===========================================================================

int RunRender(const RenderOptions& options, std::string* report, std::string* error)
{
  report->clear();
  if (!options.snapshot.empty()) return RunSnapshot(options, report, error);
  const bool demo = options.input.empty();
  std::string pluginPath = options.plugin.empty() ? DefaultPluginPath() : options.plugin;
  if (pluginPath.empty())
  {
    *error = "no plug-in given (use --plugin PATH)";
    return kRenderUsage;
  }

  std::string output = options.output;
  int format = 0;
  if (!options.list)
  {
    if (output.empty())
    {
      if (!demo)
      {
        *error = "no output file given (use -o FILE)";
        return kRenderUsage;
      }
      output = kDemoOutput;
    }
    if (!OutputFormat(output, &format, error)) return kRenderUsage;
    if (!demo && SameFile(output, options.input))
    {
      *error = "refusing to overwrite the input file '" + options.input + "'";
      return kRenderUsage;
    }
    if (SameFile(output, pluginPath))
    {
      *error = "refusing to overwrite the plug-in '" + pluginPath + "'";
      return kRenderUsage;
    }
  }

  Audio input;
  if (!options.list)
  {
    if (demo)
    {
      input.channels = 2;
      input.rate = options.demoRate;
      input.samples = MakeDemoSignal(options.demoRate, options.bpm);
    }
    else if (!ReadAudio(options.input, &input, error))
    {
      return kRenderFailed;
    }
  }
  else
  {
    input.rate = demo ? options.demoRate : 44100.;
  }

  VstHost host;
  std::string loadError = host.Load(pluginPath);
  if (!loadError.empty())
  {
    *error = loadError;
    return kRenderFailed;
  }
  const int numIn = host.NumInputs(), numOut = host.NumOutputs();
  if (numIn < 0 || numOut < 1 || numIn > 64 || numOut > 64)
  {
    *error = "'" + pluginPath + "' has an unusable channel layout (" + std::to_string(numIn) + " in, " +
             std::to_string(numOut) + " out)";
    return kRenderFailed;
  }
  if (options.useDouble &&
      (!(host.Flags() & effFlagsCanDoubleReplacing) || !host.Effect()->processDoubleReplacing))
  {
    *error = "'" + pluginPath + "' cannot process 64-bit audio";
    return kRenderFailed;
  }
  if (!options.useDouble && !host.Effect()->processReplacing && !host.Effect()->process)
  {
    *error = "'" + pluginPath + "' has no process callback";
    return kRenderFailed;
  }

  host.SetCallLogging(false);
  host.SetTempo(options.bpm);
  host.SetProcessLevel(kVstProcessLevelOffline);
  host.Open(input.rate, options.block);

  if (!ApplyState(host, options, error)) return kRenderFailed;

  if (options.list)
  {
    *report = ListPlugin(host);
    return kRenderOk;
  }

  const size_t inFrames = input.Frames();
  const size_t tailFrames = (size_t)std::llround(options.tail * input.rate);
  const size_t total = inFrames + tailFrames;
  const int block = options.block;

  SF_INFO info;
  std::memset(&info, 0, sizeof(info));
  info.samplerate = (int)input.rate;
  info.channels = numOut;
  info.format = format;
  if (!sf_format_check(&info))
  {
    *error = "cannot write " + std::to_string(numOut) + " channels at " + std::to_string(info.samplerate) +
             " Hz to '" + output + "'";
    return kRenderFailed;
  }
  const bool existed = FileExists(output);
  SndFilePtr file(sf_open(output.c_str(), SFM_WRITE, &info));
  if (!file)
  {
    *error = "cannot write '" + output + "': " + sf_strerror(nullptr);
    return kRenderFailed;
  }
  // Overs clip instead of wrapping around in integer formats.
  sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

  // Per-channel buffers; at least one input so the pointer array is never empty.
  const int inChannels = std::max(numIn, 1);
  std::vector<std::vector<double>> inD(inChannels, std::vector<double>(block));
  std::vector<std::vector<double>> outD(numOut, std::vector<double>(block));
  std::vector<std::vector<float>> inF(inChannels, std::vector<float>(block));
  std::vector<std::vector<float>> outF(numOut, std::vector<float>(block));
  std::vector<double*> inPtrD(inChannels), outPtrD(numOut);
  std::vector<float*> inPtrF(inChannels), outPtrF(numOut);
  for (int c = 0; c < inChannels; ++c)
  {
    inPtrD[c] = inD[c].data();
    inPtrF[c] = inF[c].data();
  }
  for (int c = 0; c < numOut; ++c)
  {
    outPtrD[c] = outD[c].data();
    outPtrF[c] = outF[c].data();
  }
  std::vector<double> interleaved((size_t)block * numOut);

  ProgressBar progress(options.progress && !options.quiet, total);
  bool writeFailed = false;
  for (size_t pos = 0; pos < total && !writeFailed; pos += block)
  {
    const int n = (int)std::min<size_t>(block, total - pos);
    // A mono file feeds every input; otherwise channels map one to one and
    // inputs the file lacks get silence.
    for (int c = 0; c < inChannels; ++c)
    {
      int source = input.channels == 1 ? 0 : c;
      for (int i = 0; i < n; ++i)
      {
        size_t frame = pos + i;
        double s =
            frame < inFrames && source < input.channels ? input.samples[frame * input.channels + source] : 0.;
        inD[c][i] = s;
        inF[c][i] = (float)s;
      }
    }
    if (options.useDouble)
    {
      host.ProcessDouble(inPtrD.data(), outPtrD.data(), n);
    }
    else
    {
      if (host.Effect()->processReplacing)
      {
        host.ProcessReplacing(inPtrF.data(), outPtrF.data(), n);
      }
      else
      {
        for (auto& channel : outF) std::fill(channel.begin(), channel.end(), 0.f);
        host.ProcessAccumulate(inPtrF.data(), outPtrF.data(), n);
      }
      for (int c = 0; c < numOut; ++c)
        for (int i = 0; i < n; ++i) outD[c][i] = outF[c][i];
    }
    for (int i = 0; i < n; ++i)
      for (int c = 0; c < numOut; ++c) interleaved[(size_t)i * numOut + c] = outD[c][i];
    writeFailed = sf_writef_double(file.get(), interleaved.data(), n) != n;
    progress.Update(pos + n);
  }
  file.reset();
  host.Close();

  if (writeFailed)
  {
    if (!existed) std::remove(output.c_str());
    *error = "writing '" + output + "' failed";
    return kRenderFailed;
  }
  if (!options.quiet)
  {
    char line[1024];
    std::snprintf(line, sizeof(line), "wrote %s: %zu frames, %d channels, %d Hz\n", output.c_str(), total,
                  numOut, (int)input.rate);
    *report = line;
  }
  return kRenderOk;
}

}  // namespace quorvex
