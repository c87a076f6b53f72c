// Creating one plug-in instance the way the exported entry point does, for
// the entry point itself and for tools that link a plug-in in statically.
#pragma once

#include "IPlugVST.h"

// Instances are created one at a time: hosts may scan from several threads.
inline WDL_Mutex& IPlugVSTCreationLock()
{
  static WDL_Mutex sLock;
  return sLock;
}

// [host thread, takes the creation lock] The new instance's AEffect, or null
// when construction failed.
template <class T> AEffect* IPlugVSTCreate(audioMasterCallback hostCallback)
{
  WDL_MutexLock lock(&IPlugVSTCreationLock());
  T* plug = nullptr;
  try
  {
    plug = new T(hostCallback);
  }
  catch (...)
  {
    return nullptr;
  }
  plug->EnsureDefaultPreset();
  AEffect* effect = plug->GetAEffect();
  if (effect->numPrograms <= 0) effect->numPrograms = 1;
  return effect;
}
