// The loaded plug-in module, for code that finds resources through it.
#pragma once

// Module instance handle (an HINSTANCE on Windows) stored by the library's
// DLL entry function; null in builds without the Windows loader.
// [any thread] written by the loader before any other code of the module runs.
extern void* gHInstance;
