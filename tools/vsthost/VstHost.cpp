// Sections:
//   1. Library loading (POSIX dlopen / Win32 LoadLibrary)
//   2. Effect registry: which host answers a callback
//   3. Life cycle
//   4. Dispatcher conveniences
//   5. Processing
//   6. Host callback
#include "VstHost.h"

#include <thread>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#if defined(__GLIBC__)
#include <link.h>
#endif
#endif

#if !defined(S_ISREG)
#define S_ISREG(mode) (((mode)&S_IFMT) == S_IFREG)
#endif

namespace quorvex
{

namespace
{

// Bounds on what the host copies out of a plug-in, so a plug-in reporting
// absurd sizes costs memory, not a crash.
const size_t kMaxLoggedCalls = 1u << 20;
const size_t kMaxLoggedEvents = 1u << 16;
const VstInt32 kMaxEventsPerCall = 1 << 16;
const VstInt32 kMaxSysexBytes = 1 << 20;
const VstIntPtr kMaxChunkBytes = VstIntPtr(1) << 28;
// Plug-ins often write more than the published string lengths.
const size_t kStringBufferSize = 512;
const size_t kHostStringCapacity = 64;  // kVstMaxVendorStrLen / kVstMaxProductStrLen

typedef AEffect*(VSTCALLBACK* PluginEntryProc)(audioMasterCallback host);

// ===========================================================================
// 1. Library loading
// ===========================================================================

#if defined(_WIN32)

void* OpenLibrary(const std::string& path, std::string* error)
{
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) *error = "not a loadable library (error " + std::to_string(GetLastError()) + ")";
  return (void*)module;
}

void* FindSymbol(void* library, const char* name) { return (void*)GetProcAddress((HMODULE)library, name); }

void CloseLibrary(void* library) { FreeLibrary((HMODULE)library); }

#else

void* OpenLibrary(const std::string& path, std::string* error)
{
  // Without a slash dlopen would search the library path instead of the file.
  std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  dlerror();
  void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library)
  {
    const char* why = dlerror();
    *error = std::string("not a loadable library: ") + (why ? why : "unknown error");
  }
  return library;
}

// dlsym on a handle also searches the library's dependencies; an entry point
// found there (a "main" of some other object) is not the plug-in's.
void* FindSymbol(void* library, const char* name)
{
  void* symbol = dlsym(library, name);
#if defined(__GLIBC__)
  if (symbol)
  {
    Dl_info info;
    struct link_map* map = nullptr;
    if (dladdr(symbol, &info) && dlinfo(library, RTLD_DI_LINKMAP, &map) == 0 && map && info.dli_fname &&
        map->l_name && std::strcmp(info.dli_fname, map->l_name) != 0)
      return nullptr;
  }
#endif
  return symbol;
}

void CloseLibrary(void* library) { dlclose(library); }

#endif

// ===========================================================================
// 2. Effect registry
// ===========================================================================

// A plug-in may call back while its entry point runs, before the host knows
// its AEffect (often with a null effect); the host being loaded on this
// thread answers those calls.
thread_local VstHost* tLoadingHost = nullptr;

struct Registry
{
  std::mutex lock;
  std::map<const AEffect*, VstHost*> hosts;
};

Registry& TheRegistry()
{
  static Registry registry;
  return registry;
}

void Register(const AEffect* effect, VstHost* host)
{
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.hosts[effect] = host;
}

void Unregister(const AEffect* effect)
{
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.hosts.erase(effect);
}

VstHost* FindHost(const AEffect* effect)
{
  if (effect)
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.hosts.find(effect);
    if (it != r.hosts.end()) return it->second;
  }
  return tLoadingHost;
}

void CopyHostString(const std::string& text, void* ptr)
{
  char* out = static_cast<char*>(ptr);
  size_t n = text.size() < kHostStringCapacity - 1 ? text.size() : kHostStringCapacity - 1;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

// Compares a plug-in's text without reading past the first difference.
bool SameText(const char* text, const char* expected)
{
  return std::strncmp(text, expected, std::strlen(expected) + 1) == 0;
}

}  // namespace

// ===========================================================================
// 3. Life cycle
// ===========================================================================

VstHost::VstHost() { std::memset(&mTimeInfo, 0, sizeof(mTimeInfo)); }

VstHost::~VstHost() { Close(); }

std::string VstHost::Load(const std::string& path)
{
  Close();
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return "cannot open '" + path + "': " + std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "'" + path + "' is not a file";

  std::string error;
  mLibrary = OpenLibrary(path, &error);
  if (!mLibrary) return "'" + path + "' is " + error;

  PluginEntryProc entry = (PluginEntryProc)FindSymbol(mLibrary, "VSTPluginMain");
  if (!entry) entry = (PluginEntryProc)FindSymbol(mLibrary, "main");
  if (!entry)
  {
    Unload();
    return "'" + path + "' has no VST 2 entry point (VSTPluginMain or main)";
  }

  return Create(entry, "'" + path + "'");
}

void* VstHost::Symbol(const char* name) const
{
  return mLibrary && name ? FindSymbol(mLibrary, name) : nullptr;
}

std::string VstHost::LoadEntry(EntryProc entry, const std::string& name)
{
  Close();
  if (!entry) return "no entry point given for " + name;
  return Create(entry, name);
}

std::string VstHost::Create(EntryProc entry, const std::string& what)
{
  VstHost* previous = tLoadingHost;
  tLoadingHost = this;
  AEffect* effect = entry(&VstHost::HostCallback);
  tLoadingHost = previous;

  if (!effect)
  {
    Unload();
    return "the entry point of " + what + " returned no effect";
  }
  if (effect->magic != kEffectMagic)
  {
    // Not an AEffect, so it cannot be told to close; only the library goes.
    Unload();
    return what + " returned an effect with a bad magic number";
  }
  mEffect = effect;
  Register(effect, this);
  return std::string();
}

bool VstHost::Open(double sampleRate, VstInt32 blockSize)
{
  if (!mEffect || mOpen) return false;
  mSampleRate = sampleRate;
  mBlockSize = blockSize;
  Dispatch(effOpen);
  Dispatch(effSetSampleRate, 0, 0, nullptr, (float)mSampleRate);
  Dispatch(effSetBlockSize, 0, mBlockSize);
  Dispatch(effMainsChanged, 0, 1);
  mOpen = true;
  return true;
}

#if defined(_WIN32)
namespace
{
const char* const kHostWindowClass = "QuorvexHostWindow";
}

void* VstHost::OpenEditorWindow()
{
  if (!mEffect || mEditorHost || !(mEffect->flags & effFlagsHasEditor)) return nullptr;
  ERect* rect = nullptr;
  Dispatch(effEditGetRect, 0, 0, &rect);
  const int w = rect ? rect->right - rect->left : 0, h = rect ? rect->bottom - rect->top : 0;
  if (w <= 0 || h <= 0) return nullptr;

  HINSTANCE self = GetModuleHandleA(nullptr);
  WNDCLASSA wc;
  memset(&wc, 0, sizeof(wc));
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = self;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kHostWindowClass;
  RegisterClassA(&wc);  // fails harmlessly when registered already

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  RECT outer = { 0, 0, w, h };
  AdjustWindowRect(&outer, style, FALSE);
  HWND wnd =
      CreateWindowExA(0, kHostWindowClass, "Quorvex Reference Host", style, 40, 40, outer.right - outer.left,
                      outer.bottom - outer.top, nullptr, nullptr, self, nullptr);
  if (!wnd) return nullptr;
  ShowWindow(wnd, SW_SHOWNORMAL);
  if (!Dispatch(effEditOpen, 0, 0, wnd))
  {
    DestroyWindow(wnd);
    return nullptr;
  }
  mEditorHost = wnd;
  return wnd;
}

void VstHost::CloseEditorWindow()
{
  if (!mEditorHost) return;
  Dispatch(effEditClose);
  DestroyWindow((HWND)mEditorHost);
  mEditorHost = nullptr;
}
#endif

void VstHost::Close()
{
#if defined(_WIN32)
  CloseEditorWindow();
#endif
  if (mEffect)
  {
    if (mOpen) Dispatch(effMainsChanged, 0, 0);
    mOpen = false;
    AEffect* effect = mEffect;
    // The plug-in may still call back while it closes.
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.f);
    Unregister(effect);
    mEffect = nullptr;
  }
  Unload();
}

void VstHost::Unload()
{
  if (mLibrary) CloseLibrary(mLibrary);
  mLibrary = nullptr;
}

void VstHost::SetSampleRate(double sampleRate)
{
  mSampleRate = sampleRate;
  if (!mOpen) return;
  Dispatch(effMainsChanged, 0, 0);
  Dispatch(effSetSampleRate, 0, 0, nullptr, (float)mSampleRate);
  Dispatch(effMainsChanged, 0, 1);
}

void VstHost::SetBlockSize(VstInt32 blockSize)
{
  mBlockSize = blockSize;
  if (!mOpen) return;
  Dispatch(effMainsChanged, 0, 0);
  Dispatch(effSetBlockSize, 0, mBlockSize);
  Dispatch(effMainsChanged, 0, 1);
}

void VstHost::SetTimeSignature(VstInt32 numerator, VstInt32 denominator)
{
  mTimeSigNumerator = numerator;
  mTimeSigDenominator = denominator;
}

// ===========================================================================
// 4. Dispatcher conveniences
// ===========================================================================

VstIntPtr VstHost::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  if (!mEffect || !mEffect->dispatcher) return 0;
  return mEffect->dispatcher(mEffect, opcode, index, value, ptr, opt);
}

std::string VstHost::DispatchString(VstInt32 opcode, VstInt32 index)
{
  char text[kStringBufferSize];
  std::memset(text, 0, sizeof(text));
  Dispatch(opcode, index, 0, text, 0.f);
  text[sizeof(text) - 1] = '\0';
  return std::string(text);
}

std::string VstHost::EffectName() { return DispatchString(effGetEffectName, 0); }
std::string VstHost::VendorString() { return DispatchString(effGetVendorString, 0); }
std::string VstHost::ProductString() { return DispatchString(effGetProductString, 0); }
VstInt32 VstHost::VendorVersion() { return (VstInt32)Dispatch(effGetVendorVersion); }
std::string VstHost::ParamName(VstInt32 index) { return DispatchString(effGetParamName, index); }
std::string VstHost::ParamLabel(VstInt32 index) { return DispatchString(effGetParamLabel, index); }
std::string VstHost::ParamDisplay(VstInt32 index) { return DispatchString(effGetParamDisplay, index); }
std::string VstHost::ProgramName() { return DispatchString(effGetProgramName, 0); }
std::string VstHost::ProgramNameIndexed(VstInt32 index)
{
  return DispatchString(effGetProgramNameIndexed, index);
}

bool VstHost::CanDo(const char* question)
{
  return Dispatch(effCanDo, 0, 0, const_cast<char*>(question)) > 0;
}

void VstHost::SetParameter(VstInt32 index, float value)
{
  if (mEffect && mEffect->setParameter) mEffect->setParameter(mEffect, index, value);
}

float VstHost::GetParameter(VstInt32 index)
{
  if (!mEffect || !mEffect->getParameter) return 0.f;
  return mEffect->getParameter(mEffect, index);
}

void VstHost::SetProgram(VstInt32 index)
{
  // Hosts bracket program changes so plug-ins can batch the parameter updates.
  Dispatch(effBeginSetProgram);
  Dispatch(effSetProgram, 0, index);
  Dispatch(effEndSetProgram);
}

VstInt32 VstHost::GetProgram() { return (VstInt32)Dispatch(effGetProgram); }

std::vector<uint8_t> VstHost::GetChunk(bool program)
{
  void* data = nullptr;
  VstIntPtr size = Dispatch(effGetChunk, program ? 1 : 0, 0, &data);
  if (!data || size <= 0 || size > kMaxChunkBytes) return std::vector<uint8_t>();
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

VstIntPtr VstHost::SetChunk(const std::vector<uint8_t>& data, bool program)
{
  // Plug-ins may keep reading the buffer during the call only, so a local copy is enough.
  std::vector<uint8_t> copy(data);
  return Dispatch(effSetChunk, program ? 1 : 0, (VstIntPtr)copy.size(), copy.empty() ? nullptr : copy.data());
}

// ===========================================================================
// 5. Processing
// ===========================================================================

bool VstHost::ProcessReplacing(float** inputs, float** outputs, VstInt32 frames)
{
  if (!mEffect || !mEffect->processReplacing || frames < 0) return false;
  mEffect->processReplacing(mEffect, inputs, outputs, frames);
  mSamplePos += frames;
  return true;
}

bool VstHost::ProcessAccumulate(float** inputs, float** outputs, VstInt32 frames)
{
  if (!mEffect || !mEffect->process || frames < 0) return false;
  mEffect->process(mEffect, inputs, outputs, frames);
  mSamplePos += frames;
  return true;
}

bool VstHost::ProcessDouble(double** inputs, double** outputs, VstInt32 frames)
{
  if (!mEffect || !mEffect->processDoubleReplacing || frames < 0) return false;
  mEffect->processDoubleReplacing(mEffect, inputs, outputs, frames);
  mSamplePos += frames;
  return true;
}

// ===========================================================================
// 6. Host callback
// ===========================================================================

VstIntPtr VSTCALLBACK VstHost::HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                            void* ptr, float opt)
{
  VstHost* host = FindHost(effect);
  if (!host) return opcode == audioMasterVersion ? kVstVersion : 0;
  return host->OnCallback(effect, opcode, index, value, ptr, opt);
}

VstIntPtr VstHost::OnCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                              float opt)
{
  if (mObserver) mObserver(mObserverContext, opcode);
  switch (opcode)
  {
    case audioMasterAutomate:
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
    case audioMasterUpdateDisplay:
    case audioMasterWantMidi:
    case audioMasterIOChanged:
    case audioMasterSizeWindow:
    {
      {
        std::lock_guard<std::mutex> lock(mCallsMutex);
        if (mLogCalls && mCalls.size() < kMaxLoggedCalls)
        {
          HostCall call;
          call.opcode = opcode;
          call.index = index;
          call.value = value;
          call.opt = opt;
          call.thread = std::this_thread::get_id();
          mCalls.push_back(call);
        }
      }
      // Some hosts answer automation by setting the parameter back.
      if (opcode == audioMasterAutomate && mEchoAutomation && effect && effect->setParameter)
        effect->setParameter(effect, index, opt);
      // This host has no window to resize and does not re-read the pins.
      return (opcode == audioMasterIOChanged || opcode == audioMasterSizeWindow ||
              opcode == audioMasterAutomate)
                 ? 0
                 : 1;
    }
    case audioMasterVersion: return kVstVersion;
    case audioMasterCurrentId: return effect ? effect->uniqueID : 0;
    case audioMasterGetTime: ++mTimeRequests; return mTimeInfoAvailable ? (VstIntPtr)FillTimeInfo() : 0;
    case audioMasterProcessEvents: return OnProcessEvents(static_cast<const VstEvents*>(ptr));
    case audioMasterGetSampleRate: return (VstIntPtr)mSampleRate;
    case audioMasterGetBlockSize: return mBlockSize;
    case audioMasterGetCurrentProcessLevel: return mProcessLevel;
    case audioMasterGetVendorString:
      if (!ptr) return 0;
      CopyHostString(mVendorString, ptr);
      return 1;
    case audioMasterGetProductString:
      if (!ptr) return 0;
      CopyHostString(mProductString, ptr);
      return 1;
    case audioMasterGetVendorVersion: return mVendorVersion;
    case audioMasterGetLanguage: return kVstLangEnglish;
    case audioMasterCanDo:
    {
      if (!ptr) return 0;
      static const char* const kCanDo[] = { "sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo",
                                            "receiveVstEvents", "receiveVstMidiEvent" };
      for (const char* answer : kCanDo)
        if (SameText(static_cast<const char*>(ptr), answer)) return 1;
      return 0;
    }
    default: return 0;
  }
}

VstTimeInfo* VstHost::FillTimeInfo()
{
  std::memset(&mTimeInfo, 0, sizeof(mTimeInfo));
  mTimeInfo.samplePos = mSamplePos;
  mTimeInfo.sampleRate = mSampleRate;
  mTimeInfo.tempo = mTempo;
  mTimeInfo.ppqPos = mSampleRate > 0. ? mSamplePos / mSampleRate * mTempo / 60. : 0.;
  mTimeInfo.timeSigNumerator = mTimeSigNumerator;
  mTimeInfo.timeSigDenominator = mTimeSigDenominator;
  mTimeInfo.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTimeSigValid;
  if (mTempoValid) mTimeInfo.flags |= kVstTempoValid;
  return &mTimeInfo;
}

VstIntPtr VstHost::OnProcessEvents(const VstEvents* events)
{
  if (!events) return 0;
  VstInt32 count = events->numEvents;
  if (count > kMaxEventsPerCall) count = kMaxEventsPerCall;
  for (VstInt32 i = 0; i < count; ++i)
  {
    const VstEvent* event = events->events[i];
    if (!event || mEvents.size() >= kMaxLoggedEvents) continue;
    HostEvent copy;
    copy.type = event->type;
    copy.byteSize = event->byteSize;
    copy.deltaFrames = event->deltaFrames;
    if (event->type == kVstMidiType)
    {
      const VstMidiEvent* midi = reinterpret_cast<const VstMidiEvent*>(event);
      std::memcpy(copy.midiData, midi->midiData, sizeof(copy.midiData));
    }
    else if (event->type == kVstSysExType)
    {
      const VstMidiSysexEvent* sysex = reinterpret_cast<const VstMidiSysexEvent*>(event);
      if (sysex->sysexDump && sysex->dumpBytes > 0 && sysex->dumpBytes <= kMaxSysexBytes)
      {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(sysex->sysexDump);
        copy.sysex.assign(bytes, bytes + sysex->dumpBytes);
      }
    }
    mEvents.push_back(std::move(copy));
  }
  return mProcessEventsResult;
}

}  // namespace quorvex
