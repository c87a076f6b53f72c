// IImageRegistry: PNG bytes by image id, for layers without image resources.
#include "IImageRegistry.h"

#include "heapbuf.h"
#include "lice_png.h"
#include "mutex.h"
#include "ptrlist.h"

#include <cstring>

namespace
{

struct RegisteredImage
{
  int id;
  WDL_HeapBuf bytes;
};

struct ImageRegistry
{
  WDL_Mutex mutex;
  WDL_PtrList<RegisteredImage> list;
  ~ImageRegistry() { list.Empty(true); }
};

ImageRegistry& Registry()
{
  static ImageRegistry registry;
  return registry;
}

}  // namespace

void IImageRegistry::Register(int id, const void* png, int length)
{
  if (!png || length <= 0) return;
  ImageRegistry& reg = Registry();
  WDL_MutexLock lock(&reg.mutex);
  RegisteredImage* entry = nullptr;
  for (int i = 0; i < reg.list.GetSize() && !entry; ++i)
    if (reg.list.Get(i)->id == id) entry = reg.list.Get(i);
  const bool added = !entry;
  if (added)
  {
    entry = new RegisteredImage;
    entry->id = id;
  }
  void* dst = entry->bytes.Resize(length, false);
  if (!dst || entry->bytes.GetSize() != length)
  {
    if (added) delete entry;
    return;
  }
  std::memcpy(dst, png, (size_t)length);
  if (added)
  {
    const int before = reg.list.GetSize();
    if (reg.list.Add(entry) != before) delete entry;
  }
}

LICE_IBitmap* IImageRegistry::Decode(int id)
{
  ImageRegistry& reg = Registry();
  WDL_MutexLock lock(&reg.mutex);
  for (int i = 0; i < reg.list.GetSize(); ++i)
  {
    RegisteredImage* entry = reg.list.Get(i);
    if (entry->id == id) return LICE_ReadPngMemory(entry->bytes.Get(), entry->bytes.GetSize());
  }
  return nullptr;
}
