// Renders one fixed session through a plug-in with the reference host and
// writes the raw results, so that builds for different systems can be
// compared byte for byte:
//
//   quorvex_fidelity PLUGIN OUTDIR [CHUNKDIR]
//
// OUTDIR receives render.bin (every output sample of every run, in the
// precision it was processed in), program.chunk and bank.chunk. With
// CHUNKDIR, the chunks found there are loaded into fresh instances and
// written again as program.resaved and bank.resaved.
//
// Only integer arithmetic makes the input, so both builds feed the plug-in
// the same bits.
#include "VstHost.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using quorvex::VstHost;

namespace
{

const double kRate = 44100.0;
const int kFrames = 110000;

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes)
{
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  bytes->clear();
  uint8_t buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes->insert(bytes->end(), buf, buf + n);
  std::fclose(f);
  return true;
}

template <typename T> void Append(std::vector<uint8_t>* out, const std::vector<T>& samples)
{
  const uint8_t* p = reinterpret_cast<const uint8_t*>(samples.data());
  out->insert(out->end(), p, p + samples.size() * sizeof(T));
}

// Clicks and noise bursts from an LCG, different on the two inputs.
void MakeInput(std::vector<double>* l, std::vector<double>* r)
{
  l->assign(kFrames, 0.0);
  r->assign(kFrames, 0.0);
  uint32_t seed = 0x2545F491u;
  for (int i = 0; i < kFrames; ++i)
  {
    seed = seed * 1664525u + 1013904223u;
    const double noise = (double)(int32_t)seed / 2147483648.0;
    const bool burst = (i % 11025) < 700;
    (*l)[i] = burst ? 0.5 * noise : 0.0;
    (*r)[i] = (i % 7919) == 0 ? 0.9 : (burst ? -0.25 * noise : 0.0);
  }
}

// One session: program, automation, a tempo change and a chunk load, all
// at block boundaries.
bool Render(const std::string& plugin, int block, bool useDouble, std::vector<uint8_t>* out)
{
  VstHost host;
  const std::string error = host.Load(plugin);
  if (!error.empty())
  {
    std::fprintf(stderr, "quorvex_fidelity: %s\n", error.c_str());
    return false;
  }
  host.SetCallLogging(false);
  host.SetTempo(97.0);
  host.Open(kRate, block);

  host.SetProgram(12);
  const std::vector<uint8_t> laterChunk = host.GetChunk(true);
  host.SetProgram(5);

  std::vector<double> inL, inR;
  MakeInput(&inL, &inR);
  std::vector<double> dl(block), dr(block), dol(block), dor(block);
  std::vector<float> fl(block), fr(block), fol(block), forr(block);
  std::vector<double> outD;
  std::vector<float> outF;

  bool rateSet = false, modeSet = false, tempoSet = false, chunkSet = false, gainsSet = false;
  for (int pos = 0; pos < kFrames; pos += block)
  {
    if (!rateSet && pos >= 20000)
    {
      host.SetParameter(0, 3.0f / 24.0f);
      rateSet = true;
    }
    if (!gainsSet && pos >= 30000)
    {
      host.SetParameter(2, 0.3f);
      host.SetParameter(3, 0.8f);
      host.SetParameter(5, 0.77f);
      gainsSet = true;
    }
    if (!modeSet && pos >= 40000)
    {
      host.SetParameter(1, 0.0f);
      modeSet = true;
    }
    if (!tempoSet && pos >= 60000)
    {
      host.SetTempo(133.0);
      tempoSet = true;
    }
    if (!chunkSet && pos >= 85000)
    {
      host.SetChunk(laterChunk, true);
      chunkSet = true;
    }

    const int n = kFrames - pos < block ? kFrames - pos : block;
    for (int i = 0; i < n; ++i)
    {
      dl[i] = inL[pos + i];
      dr[i] = inR[pos + i];
      fl[i] = (float)dl[i];
      fr[i] = (float)dr[i];
    }
    if (useDouble)
    {
      double* ins[2] = { dl.data(), dr.data() };
      double* outs[2] = { dol.data(), dor.data() };
      if (!host.ProcessDouble(ins, outs, n)) return false;
      outD.insert(outD.end(), dol.begin(), dol.begin() + n);
      outD.insert(outD.end(), dor.begin(), dor.begin() + n);
    }
    else
    {
      float* ins[2] = { fl.data(), fr.data() };
      float* outs[2] = { fol.data(), forr.data() };
      if (!host.ProcessReplacing(ins, outs, n)) return false;
      outF.insert(outF.end(), fol.begin(), fol.begin() + n);
      outF.insert(outF.end(), forr.begin(), forr.begin() + n);
    }
  }
  Append(out, outD);
  Append(out, outF);
  return true;
}

bool SaveChunks(const std::string& plugin, const std::string& dir)
{
  VstHost host;
  if (!host.Load(plugin).empty()) return false;
  host.Open(kRate, 512);
  host.SetProgram(7);
  host.SetParameter(2, 0.123f);
  host.SetParameter(3, 0.987f);
  return WriteFile(dir + "/program.chunk", host.GetChunk(true)) &&
         WriteFile(dir + "/bank.chunk", host.GetChunk(false));
}

bool Resave(const std::string& plugin, const std::string& from, const std::string& to, bool program)
{
  std::vector<uint8_t> chunk;
  const char* name = program ? "program" : "bank";
  if (!ReadFile(from + "/" + name + ".chunk", &chunk)) return false;
  VstHost host;
  if (!host.Load(plugin).empty()) return false;
  host.Open(kRate, 512);
  if (host.SetChunk(chunk, program) != 1) return false;
  return WriteFile(to + "/" + name + ".resaved", host.GetChunk(program));
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 3 && argc != 4)
  {
    std::fprintf(stderr, "usage: quorvex_fidelity PLUGIN OUTDIR [CHUNKDIR]\n");
    return 2;
  }
  const std::string plugin = argv[1], dir = argv[2];
  if (argc == 4)
  {
    const bool ok = Resave(plugin, argv[3], dir, true) && Resave(plugin, argv[3], dir, false);
    if (!ok) std::fprintf(stderr, "quorvex_fidelity: cannot load and save the chunks of %s\n", argv[3]);
    return ok ? 0 : 1;
  }

  std::vector<uint8_t> render;
  for (int block : { 1, 64, 500, 4096 })
    for (bool useDouble : { false, true })
      if (!Render(plugin, block, useDouble, &render))
      {
        std::fprintf(stderr, "quorvex_fidelity: render failed (block %d)\n", block);
        return 1;
      }
  if (!WriteFile(dir + "/render.bin", render) || !SaveChunks(plugin, dir))
  {
    std::fprintf(stderr, "quorvex_fidelity: cannot write to %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
