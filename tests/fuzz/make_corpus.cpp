// Writes the fuzzers' seed corpus: real program and bank chunks of the
// effect, its small editor images, texts and a few dispatcher sequences.
//   make_corpus <source dir> <corpus dir>
#include "FuzzPlug.h"

#include <cstdio>
#include <string>

namespace
{

bool Write(const std::string& path, const void* data, size_t n)
{
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, n, f) == n;
  return std::fclose(f) == 0 && ok;
}

std::vector<unsigned char> Chunk(AEffect* e, bool bank)
{
  void* data = nullptr;
  const VstIntPtr n = e->dispatcher(e, effGetChunk, bank ? 0 : 1, 0, &data, 0.f);
  std::vector<unsigned char> bytes(1, bank ? 1 : 0);  // the chunk target's kind byte
  if (n > 0) bytes.insert(bytes.end(), (unsigned char*)data, (unsigned char*)data + n);
  return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 3)
  {
    std::fprintf(stderr, "usage: make_corpus <source dir> <corpus dir>\n");
    return 2;
  }
  const std::string src = argv[1], out = argv[2];
  bool ok = true;
  AEffect* e = fuzz::Instance();
  for (int program : { 0, 2, 12 })
  {
    e->dispatcher(e, effSetProgram, 0, program, nullptr, 0.f);
    const std::vector<unsigned char> p = Chunk(e, false);
    ok &= Write(out + "/chunk/program-" + std::to_string(program), p.data(), p.size());
  }
  const std::vector<unsigned char> bank = Chunk(e, true);
  ok &= Write(out + "/chunk/bank", bank.data(), bank.size());

  for (const char* name : { "knob2.png", "radio.png", "slider.png" })
  {
    FILE* f = std::fopen((src + "/effect/img/" + name).c_str(), "rb");
    if (!f) return 1;
    std::vector<unsigned char> bytes;
    for (int ch; (ch = std::fgetc(f)) != EOF;) bytes.push_back((unsigned char)ch);
    std::fclose(f);
    ok &= Write(out + "/png/" + name, bytes.data(), bytes.size());
  }

  // Six bytes of font, format and clip, then the text.
#define SEED(bytes) std::string(bytes, sizeof(bytes) - 1)
  const std::string texts[] = {
    SEED("\x00\x04\x02\x02\x50\x20"
         "Delay Rate 1/8D"),
    SEED("\x01\x01\x00\x00\x60\x30"
         "100%"),
    SEED("\x02\x83\x05\x05\x40\x40"
         "Gr\xc3\xbc\xc3\x9f \xe2\x86\x92 \xf0\x9f\x8e\xb5"),
    SEED("\x00\x06\x00\x00\x60\x30"
         "&Ping\nPong\r\n\xff\xfe\xc0"),
  };
#undef SEED
  for (int i = 0; i < 4; ++i)
    ok &= Write(out + "/text/seed-" + std::to_string(i), texts[i].data(), texts[i].size());

  // Process, set a parameter, ask its display text, select a program.
  const unsigned char calls[] = { 0, 0x00, 0x01, 0x01, 1, 0x00, 0, 0, 0x00, 0x3f, 3, 7, 0, 0,
                                  0, 0,    0,    0,    0, 0,    0, 1, 8,    3,    2, 0, 0, 0,
                                  0, 0,    5,    0,    0, 0,    0, 0, 0,    0,    0, 0, 0, 0 };
  ok &= Write(out + "/dispatch/seed-0", calls, sizeof(calls));
  return ok ? 0 : 1;
}
