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

extern "C" QUORVEX_EXPORT AEffect* VSTPluginMain(audioMasterCallback hostCallback)
{
  return IPlugVSTCreate<VSTCLASS>(hostCallback);
}

extern "C" QUORVEX_EXPORT AEffect* QuorvexMainAlias(audioMasterCallback hostCallback) __asm__(QUORVEX_MAIN_SYMBOL);
extern "C" QUORVEX_EXPORT AEffect* QuorvexMainAlias(audioMasterCallback hostCallback)
{
  return VSTPluginMain(hostCallback);
}

#if defined(_WIN32)
#if defined(__MINGW32__)
// mingw-w64's static thread library gives each host thread that touches it
// (a first-use static, a throw) a record with two handles, released when
// the thread ends but never when the DLL is unloaded. Its thread-detach
// callback releases the record of the thread that unloads us.
extern "C" PIMAGE_TLS_CALLBACK __xl_f __attribute__((weak));
#endif

// The editor finds its images among this module's resources.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
  gHInstance = (void*)instance;
#if defined(__MINGW32__)
  // FreeLibrary, not process exit (reserved set): the host thread lives on.
  if (reason == DLL_PROCESS_DETACH && !reserved && &__xl_f && __xl_f) __xl_f(instance, DLL_THREAD_DETACH, nullptr);
#else
  (void)reason;
  (void)reserved;
#endif
  return TRUE;
}
#endif
