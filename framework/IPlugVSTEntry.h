// The exported VST 2 entry points. Include this from exactly one source
// file of a plug-in, after defining VSTCLASS as the plug-in's class (a
// subclass of IPlugVST constructed from the host callback).
#pragma once

#include "IPlugModule.h"
#include "IPlugVSTCreate.h"

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

// Never throws: IPlugVSTCreate catches whatever construction throws.
extern "C" QUORVEX_EXPORT AEffect* VSTPluginMain(audioMasterCallback hostCallback)
{
  return IPlugVSTCreate<VSTCLASS>(hostCallback);
}

extern "C" QUORVEX_EXPORT AEffect*
QuorvexMainAlias(audioMasterCallback hostCallback) __asm__(QUORVEX_MAIN_SYMBOL);
extern "C" QUORVEX_EXPORT AEffect* QuorvexMainAlias(audioMasterCallback hostCallback)
{
  return VSTPluginMain(hostCallback);
}

#if defined(_WIN32)
// The editor finds its images among this module's resources.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
  (void)reserved;
  gHInstance = (void*)instance;
  // Loaded until the process ends. mingw-w64's static thread library takes a
  // TLS slot (and two handles for the host's thread) on first use and never
  // returns them on unload, so about 1,000 loads and unloads would use up
  // the process's TLS slots and bring the host down.
  if (reason == DLL_PROCESS_ATTACH)
  {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&DllMain)), &self);
  }
  return TRUE;
}
#endif
