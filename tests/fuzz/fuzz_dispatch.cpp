// Host traffic from fuzz input: dispatcher calls with any opcode, index,
// value and option, parameter calls and process calls. The host is honest
// about memory only: a pointer is null or a heap buffer the opcode can
// hold, texts are terminated inside it.
#include "FuzzPlug.h"

#include <cstdint>

namespace
{

// Reads the input front to back; past its end every read is 0.
struct Cursor
{
  const uint8_t* p;
  size_t left;
  template <class T> T Take()
  {
    T v{};
    const size_t n = left < sizeof(T) ? left : sizeof(T);
    std::memcpy(&v, p, n);
    p += n;
    left -= n;
    return v;
  }
};

const int kBuffer = 1024;

void Process(AEffect* e, Cursor& c)
{
  static double din[2][kBuffer], dout[2][kBuffer];
  static float fin[2][kBuffer], fout[2][kBuffer];
  const int n = c.Take<uint16_t>() % (kBuffer + 1);
  const uint8_t how = c.Take<uint8_t>();
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < n; ++i)
    {
      din[ch][i] = (double)(int8_t)(how + i * 7 + ch) / 128.0;
      fin[ch][i] = (float)din[ch][i];
      fout[ch][i] = 0.f;
    }
  double* di[2] = { din[0], din[1] };
  double* dout2[2] = { dout[0], dout[1] };
  float* fi[2] = { fin[0], fin[1] };
  float* fo[2] = { fout[0], fout[1] };
  // Same buffer in and out half the time.
  if (how & 4) dout2[0] = di[0], dout2[1] = di[1];
  switch (how % 3)
  {
    case 0: e->processDoubleReplacing(e, di, dout2, n); break;
    case 1: e->processReplacing(e, fi, fo, n); break;
    default: e->process(e, fi, fo, n); break;
  }
}

void Dispatch(AEffect* e, Cursor& c)
{
  VstInt32 opcode = c.Take<uint8_t>();
  if (opcode & 0x80) opcode = c.Take<int32_t>();
  // Closing ends the instance; editor windows need a real parent.
  if (opcode == effClose || opcode == effEditOpen || opcode == effEditClose) return;
  const VstInt32 index = c.Take<int16_t>();
  VstIntPtr value = c.Take<int32_t>();
  const float opt = c.Take<float>();
  const uint8_t ptrKind = c.Take<uint8_t>();

  // A heap buffer of the bytes that follow, terminated.
  const size_t n = c.Take<uint8_t>() * 4 + 8;
  char* buffer = (char*)std::calloc(1, n > 512 ? n : 512);
  for (size_t i = 0; i + 1 < n && c.left; ++i) buffer[i] = (char)c.Take<uint8_t>();
  void* ptr = (ptrKind & 1) ? buffer : nullptr;

  if (opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement)
    value = (ptrKind & 2) ? (VstIntPtr)buffer : 0;
  if (opcode == effSetChunk && ptr && (value < 0 || value > (VstIntPtr)n)) value = (VstIntPtr)n;
  if (opcode == effProcessEvents && ptr)
  {
    // A list whose events point into the same buffer.
    VstEvents* list = (VstEvents*)buffer;
    if (list->numEvents < 0 || list->numEvents > 2) list->numEvents = 2;
    list->events[0] = (VstEvent*)(buffer + 64);
    list->events[1] = (VstEvent*)(buffer + 192);
    VstMidiSysexEvent* sysex = (VstMidiSysexEvent*)(buffer + 192);
    if (sysex->dumpBytes < 0 || sysex->dumpBytes > 64) sysex->dumpBytes = 64;
    sysex->sysexDump = buffer + 320;
  }
  e->dispatcher(e, opcode, index, value, ptr, opt);
  std::free(buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  AEffect* e = fuzz::Instance();
  Cursor c{ data, size };
  for (int step = 0; step < 64 && c.left; ++step)
  {
    const uint8_t kind = c.Take<uint8_t>();
    switch (kind % 8)
    {
      case 0: Process(e, c); break;
      case 1: e->setParameter(e, c.Take<int8_t>(), c.Take<float>()); break;
      case 2: (void)e->getParameter(e, c.Take<int8_t>()); break;
      default: Dispatch(e, c); break;
    }
  }
  fuzz::CheckParams(e);
  return 0;
}
