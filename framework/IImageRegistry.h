// IImageRegistry: PNG bytes by image id, process-wide, for window layers
// without image resources of their own (headless, X11) and for tests.
#pragma once

#include "lice.h"

namespace IImageRegistry
{
// [any thread, registry mutex] PNG bytes for an image id (copied); a later
// registration of the same id replaces the bytes.
void Register(int id, const void* png, int length);
// [any thread, registry mutex] decodes the registered image; null when none.
LICE_IBitmap* Decode(int id);
}  // namespace IImageRegistry
