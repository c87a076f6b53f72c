// Creating one plug-in instance the way the exported entry point does, for
// the entry point itself and for tools that link a plug-in in statically.
#pragma once

#include "IPlugBoundary.h"
#include "IPlugVST.h"

#include <memory>

// Instances are created one at a time: hosts may scan from several threads.
inline WDL_Mutex& IPlugVSTCreationLock()
{
  static WDL_Mutex sLock;
  return sLock;
}

// [host thread, takes the creation lock] The new instance's AEffect, or null
// when construction failed; nothing is thrown out, and a construction that
// throws part-way leaves nothing behind.
template <class T> AEffect* IPlugVSTCreate(audioMasterCallback hostCallback)
{
  AEffect* effect = nullptr;
  CatchAtBoundary(
      [&]
      {
        WDL_MutexLock lock(&IPlugVSTCreationLock());
        std::unique_ptr<T> plug(new T(hostCallback));
        plug->EnsureDefaultPreset();
        AEffect* made = plug->GetAEffect();
        if (made->numPrograms <= 0) made->numPrograms = 1;
        plug.release();
        effect = made;
      });
  return effect;
}
