// The exported VST 2 entry points. Include this from exactly one source
// file of a plug-in, after defining VSTCLASS as the plug-in's class (a
// subclass of IPlugVST constructed from the host callback).
#pragma once

#include "IPlugModule.h"
#include "IPlugVST.h"

#include <new>

#if defined(_WIN32)
#include <windows.h>
#endif

#ifndef VSTCLASS
#error "define VSTCLASS before including IPlugVSTEntry.h"
#endif

#if defined(_WIN32)
#define QUORVEX_EXPORT __declspec(dllexport)
#else
#define QUORVEX_EXPORT __attribute__((visibility("default")))
#endif

// `main` cannot be declared with this signature in C++, so the alias is
// bound to the symbol name directly.
#if defined(__APPLE__)
#define QUORVEX_MAIN_SYMBOL "_main"
#else
#define QUORVEX_MAIN_SYMBOL "main"
#endif

// Instances are created one at a time: hosts may scan from several threads.
static WDL_Mutex& QuorvexCreationLock()
{
  static WDL_Mutex sLock;
  return sLock;
}

extern "C" QUORVEX_EXPORT AEffect* VSTPluginMain(audioMasterCallback hostCallback)
{
  WDL_MutexLock lock(&QuorvexCreationLock());
  VSTCLASS* plug = nullptr;
  try
  {
    plug = new VSTCLASS(hostCallback);
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

extern "C" QUORVEX_EXPORT AEffect* QuorvexMainAlias(audioMasterCallback hostCallback) __asm__(QUORVEX_MAIN_SYMBOL);
extern "C" QUORVEX_EXPORT AEffect* QuorvexMainAlias(audioMasterCallback hostCallback)
{
  return VSTPluginMain(hostCallback);
}

#if defined(_WIN32)
// The editor finds its images among this module's resources.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
  (void)reason;
  (void)reserved;
  gHInstance = (void*)instance;
  return TRUE;
}
#endif
