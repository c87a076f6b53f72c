// A plug-in built on the framework for driving the VST 2 adapter from a host.
//
// One source, several modules: compile definitions choose the preset count,
// MIDI mode, editor, chunk and instrument flags, since the entry point takes
// nothing but the host callback. What the plug-in receives is recorded in a
// TestPlugLog read through TestPlug_GetLog; TestPlug_Command stands in for
// an editor and for effect code run inside ProcessBlock.
//
// Contents: fake editor, plug-in class, exported test functions.
#include "IControl.h"
#include "IGraphicsHeadless.h"
#ifdef TESTPLUG_X11
#include "IGraphicsLinux.h"
#endif
#include "IPlugVST.h"
#include "lice.h"
#include "TestPlug.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>

#ifndef TESTPLUG_PRESETS
#define TESTPLUG_PRESETS 25
#endif
#ifndef TESTPLUG_MIDI
#define TESTPLUG_MIDI 1
#endif
#ifndef TESTPLUG_EDITOR
#define TESTPLUG_EDITOR 0
#endif
#ifndef TESTPLUG_CHUNKS
#define TESTPLUG_CHUNKS 0
#endif
#ifndef TESTPLUG_INSTRUMENT
#define TESTPLUG_INSTRUMENT 0
#endif

// ================================================================ editor

// A knob that paints its value as a bar, so frames show what it holds.
class TestKnob : public IKnobControl
{
public:
  TestKnob(IPlugBase* plug, IRECT r, int param) : IKnobControl(plug, r, param, DirVertical, 1.0) {}
  bool Draw(IGraphics* g) override
  {
    IRECT r = mArea;
    const IColor back(255, 40, 40, 40), bar(255, 240, 200, 0);
    g->FillArea(&back, &r);
    r.T = r.B - (int)(GetValue() * (r.B - r.T));
    g->FillArea(&bar, &r);
    return true;
  }
};

#ifdef TESTPLUG_X11
using TestGraphicsBase = IGraphicsLinux;
#else
using TestGraphicsBase = IGraphicsHeadless;
#endif

// The editor with four knobs (headless, or in an X11 window in the X11
// variant); the plug-in base's calls are logged.
class TestGraphics : public TestGraphicsBase
{
public:
  TestGraphics(IPlugBase* plug, TestPlugLog* log) : TestGraphicsBase(plug, 300, 200, 30), mLog(log)
  {
    const int params[] = { kTPMix, kTPOffset, kTPShape, kTPFreq };
    for (int i = 0; i < 4; ++i)
      AddControl(new TestKnob(plug, IRECT(10 + 60 * i, 10, 60 + 60 * i, 110), params[i]));
  }

  void UpdateParamControls(int paramIndex, double value, bool normalized) override
  {
    ++mLog->controlUpdates;
    mLog->lastControlParam = paramIndex;
    mLog->lastControlValue = value;
    mLog->lastControlNormalized = normalized ? 1 : 0;
    TestGraphicsBase::UpdateParamControls(paramIndex, value, normalized);
  }
  bool OnHostMouseWheel(float delta) override
  {
    ++mLog->wheelCalls;
    mLog->lastWheelDelta = delta;
    return true;
  }
  void SetParamChangeTimer(int ticks) override
  {
    mLog->timerTicksSet = ticks;
    TestGraphicsBase::SetParamChangeTimer(ticks);
  }
  void* PlatformOpenWindow(void* parent, const IRECT* place) override
  {
    ++mLog->editorOpens;
    return TestGraphicsBase::PlatformOpenWindow(parent, place);
  }
  void PlatformDestroyWindow() override
  {
    if (GetWindow()) ++mLog->editorCloses;
    TestGraphicsBase::PlatformDestroyWindow();
  }

  // One timer tick; the X11 editor runs its own.
  void TestTick()
  {
#ifndef TESTPLUG_X11
    Tick();
#endif
  }

private:
  TestPlugLog* mLog;
};

// ================================================================ plug-in class

class TestPlug : public IPlugVST
{
public:
  explicit TestPlug(audioMasterCallback hostCallback)
    : IPlugVST(hostCallback, kTPNumParams, "1-1 2-2", TESTPLUG_PRESETS,
               "Quorvex Test Plug, with a name longer than a host's field",
               "Quorvex Test Product, with a product string longer than a host's field",
               "Quorvex Tests, with a vendor string longer than the host's 64-byte field",
               IPLUG_VERSION(1, 2, 3), CCONST('Q', 'T', 's', 't'), CCONST('Q', 'v', 'x', '2'), 0,
               TESTPLUG_MIDI, TESTPLUG_CHUNKS != 0, TESTPLUG_INSTRUMENT != 0)
  {
    ClearLog();
    GetParam(kTPMix)->DefineDouble("Mix", 50.0, 0.0, 100.0, 0.01, "%");
    GetParam(kTPOffset)->DefineInt("Offset", 0, -12, 12, "st");
    GetParam(kTPShape)->DefineEnum("Shape", 0, 4);
    const char* const shapes[] = { "Sine", "Square", "Saw", "Noise" };
    for (int i = 0; i < 4; ++i) GetParam(kTPShape)->AddTextForValue(i, shapes[i]);
    GetParam(kTPBypass)->DefineEnum("Bypass", 0, 2);
    GetParam(kTPBypass)->AddTextForValue(0, "Off");
    GetParam(kTPBypass)->AddTextForValue(1, "On");
    GetParam(kTPToggle)->DefineInt("Toggle", 0, 0, 1);
    GetParam(kTPFreq)->DefineDouble("Frequency of the test oscillator in hertz", 1000.0, 20.0, 20000.0, 1.0,
                                    "Hz");
    GetParam(kTPRange)->DefineDouble("Range", 0.0, 0.0, 1e40, 0.01,
                                     "a unit label longer than any host buffer");
#if TESTPLUG_EDITOR
    AttachEditor(new TestGraphics(this, &mLog));
#endif
    AddFactoryPreset("Alpha", 25.0, 3, 1, 0, 1, 440.0, 0.0);
    AddFactoryPreset("Beta", 75.0, -5, 2, 1, 0, 880.0, 1.5);
    AddFactoryPreset("Gamma", 100.0, 12, 3, 1, 1, 20000.0, 2.5);
  }

  void ClearLog()
  {
    std::memset(&mLog, 0, sizeof(mLog));
    mLog.lastSendResult = -1;
    mNQueued = 0;
  }

  TestPlugLog* RefreshLog()
  {
    WDL_MutexLock lock(&mMutex);
    mLog.hostCode = GetHost();
    mLog.hostVersion = GetHostVersion();
    mLog.latency = GetLatency();
    mLog.pendingEndParam = PendingEndParam();
    mLog.lockRuleViolations = ILockRule::Violations();
    mLog.timerRunning = mGraphics ? mGraphics->ParamChangeTimer() : 0;
#ifdef TESTPLUG_X11
    if (mGraphics)
    {
      IGraphicsLinux* g = static_cast<IGraphicsLinux*>(mGraphics);
      mLog.presents = g->PresentCount();
      mLog.entryWindow = (uint32_t)g->EntryWindow();
      mLog.sharedMemory = g->UsesSharedMemory() ? 1 : 0;
      mLog.xErrors = IGraphicsLinux::XErrorCount();
    }
#endif
    for (int i = 0; i < kTPNumParams; ++i)
    {
      mLog.values[i] = GetParam(i)->Value();
      mLog.minValues[i] = GetParam(i)->GetMin();
      mLog.maxValues[i] = GetParam(i)->GetMax();
    }
    return &mLog;
  }

  // As a dispatcher call: the reports it made are sent once it is done.
  double Command(int command, int a, double v)
  {
    const double result = RunCommand(command, a, v);
    if (SendsFromHostCalls()) SendEditReports(false);
    return result;
  }

  // Each operation takes the instance lock for what it does to state;
  // editor events take the editor's.
  double RunCommand(int command, int a, double v)
  {
    switch (command)
    {
      case kTPCmdSendMidi:
      case kTPCmdSendSysEx:
      case kTPCmdQueryTime:
      case kTPCmdSetLatency:
      {
        WDL_MutexLock lock(&mMutex);
        if (mNQueued == kMaxQueued) return 0.0;
        mQueued[mNQueued++] = { command, a };
        return 1.0;
      }
      case kTPCmdMouseDown: BeginParamGesture(a); return 1.0;
      case kTPCmdDrag: SetParamFromEditor(a, v); return 1.0;
      case kTPCmdMouseUp: EndParamGesture(a); return 1.0;
      case kTPCmdWheel:
        BeginParamGestureIfNew(a);
        SetParamFromEditor(a, v);
        ScheduleGestureEnd(a);
        return 1.0;
      case kTPCmdTimerTick:
        if (mGraphics) static_cast<TestGraphics*>(mGraphics)->TestTick();
        return 1.0;
      case kTPCmdEdMouseDown:
      case kTPCmdEdMouseUp:
      case kTPCmdEdDrag:
      case kTPCmdEdDblClick:
      case kTPCmdEdWheel:
        return mGraphics ? EditorEvent(static_cast<IGraphics*>(mGraphics), command, a, v) : 0.0;
      case kTPCmdIdentifyHost: return IdentifyHost();
      case kTPCmdNotifyDisplay: NotifyHostDisplay(); return 1.0;
      case kTPCmdSetLatencyNow: SetLatency(a); return 1.0;
      case kTPCmdThrowIn: mThrowIn.store(a); return 1.0;
      default: return 0.0;
    }
  }

  // Mouse events as a window layer delivers them: a packs x | y << 16; v is
  // the wheel steps, or modifier bits (1 right, 2 shift, 4 control).
  static double EditorEvent(IGraphics* g, int command, int a, double v)
  {
    const int x = a & 0xFFFF, y = (a >> 16) & 0xFFFF, bits = (int)v;
    MouseModifiers mod(true, (bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0);
    switch (command)
    {
      case kTPCmdEdMouseDown: g->OnMouseDown(x, y, &mod); break;
      case kTPCmdEdMouseUp: g->OnMouseUp(x, y, &mod); break;
      case kTPCmdEdDrag: g->OnMouseDrag(x, y, &mod); break;
      case kTPCmdEdDblClick: return g->OnMouseDblClick(x, y, &mod) ? 1.0 : 0.0;
      case kTPCmdEdWheel:
        mod = MouseModifiers();
        g->OnMouseWheel(x, y, &mod, (int)v);
        break;
      default: break;
    }
    return 1.0;
  }

  void ParamChanged(int paramIdx) override
  {
    WDL_MutexLock lock(&mMutex);
    ThrowIfArmed(kTPHookParamChanged);
    if (mLog.paramChangedCount < kTPMaxParamChanged) mLog.paramChanged[mLog.paramChangedCount] = paramIdx;
    ++mLog.paramChangedCount;
  }

  void ProcessBlock(double** inputs, double** outputs, int nFrames) override
  {
    ThrowIfArmed(kTPHookProcessBlock);
    for (int i = 0; i < mNQueued; ++i) RunQueued(mQueued[i]);
    mNQueued = 0;
    ++mLog.processBlocks;
    IPlugBase::ProcessBlock(inputs, outputs, nFrames);
  }

  void MidiReceived(MidiMessage* msg) override
  {
    if (mLog.midiCount < kTPMaxMidi)
      mLog.midi[mLog.midiCount] = { msg->mOffset, msg->mStatus, msg->mData1, msg->mData2 };
    ++mLog.midiCount;
  }

  void SysExReceived(SysExMessage* msg) override
  {
    if (mLog.sysexCount < kTPMaxSysEx)
    {
      // The host's bytes are valid only during the call.
      TestPlugSysEx& s = mLog.sysex[mLog.sysexCount];
      s.offset = msg->mOffset;
      s.size = msg->mSize;
      const int n = std::min(std::max(msg->mSize, 0), (int)kTPMaxSysExBytes);
      if (n && msg->mData) std::memcpy(s.bytes, msg->mData, (size_t)n);
    }
    ++mLog.sysexCount;
  }

  void EditorOpened() override
  {
    ThrowIfArmed(kTPHookEditorOpened);
    ++mLog.editorOpenedHooks;
  }
  void EditorClosing() override { ++mLog.editorClosingHooks; }

private:
  // kTPCmdThrowIn: the armed hook throws once.
  void ThrowIfArmed(int hook)
  {
    int armed = hook;
    if (mThrowIn.compare_exchange_strong(armed, 0)) throw std::runtime_error("test plug-in hook failed");
  }

  struct Queued
  {
    int command;
    int a;
  };

  void RunQueued(const Queued& q)
  {
    if (q.command == kTPCmdSendMidi)
    {
      MidiMessage msg;
      msg.mOffset = q.a;
      msg.mStatus = 0x90;
      msg.mData1 = 60;
      msg.mData2 = 100;
      mLog.lastSendResult = SendMidiMessage(&msg) ? 1 : 0;
    }
    else if (q.command == kTPCmdSendSysEx)
    {
      static const uint8_t kDump[] = { 0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7 };
      SysExMessage msg;
      msg.mOffset = q.a;
      msg.mSize = (int)sizeof(kDump);
      msg.mData = kDump;
      mLog.lastSendResult = SendSysExMessage(&msg) ? 1 : 0;
    }
    else if (q.command == kTPCmdQueryTime)
    {
      mLog.tempo = HostTempo();
      mLog.samplePos = HostSamplePos();
      HostTimeSig(&mLog.timeSigNum, &mLog.timeSigDen);
      mLog.samplesPerBeat = SamplesPerBeat();
    }
    else if (q.command == kTPCmdSetLatency)
    {
      SetLatency(q.a);
    }
  }

  enum
  {
    kMaxQueued = 16
  };
  TestPlugLog mLog;
  Queued mQueued[kMaxQueued];
  int mNQueued = 0;
  std::atomic<int> mThrowIn{ 0 };
};

#define VSTCLASS TestPlug
#include "IPlugVSTEntry.h"

// ================================================================ exported test functions

static TestPlug* TestPlugOf(void* effect)
{
  AEffect* e = static_cast<AEffect*>(effect);
  return (e && e->object) ? static_cast<TestPlug*>(static_cast<IPlugVST*>(e->object)) : nullptr;
}

extern "C" QUORVEX_EXPORT TestPlugLog* TestPlug_GetLog(void* effect)
{
  TestPlug* plug = TestPlugOf(effect);
  return plug ? plug->RefreshLog() : nullptr;
}

extern "C" QUORVEX_EXPORT void TestPlug_ClearLog(void* effect)
{
  if (TestPlug* plug = TestPlugOf(effect))
  {
    WDL_MutexLock lock(plug->GetMutex());
    plug->ClearLog();
  }
}

extern "C" QUORVEX_EXPORT double TestPlug_Command(void* effect, int command, int a, double v)
{
  TestPlug* plug = TestPlugOf(effect);
  return plug ? plug->Command(command, a, v) : 0.0;
}

extern "C" QUORVEX_EXPORT int TestPlug_CopyFrame(void* effect, uint32_t* pixels, int w, int h)
{
#ifdef TESTPLUG_X11
  (void)effect;
  (void)pixels;
  (void)w;
  (void)h;
  return 0;
#else
  TestPlug* plug = TestPlugOf(effect);
  if (!plug || !pixels) return 0;
  WDL_MutexLock lock(plug->GetMutex());
  IGraphicsHeadless* g = static_cast<IGraphicsHeadless*>(plug->GetGUI());
  LICE_MemBitmap* frame = g ? g->Frame() : nullptr;
  if (!frame || frame->Width() != w || frame->Height() != h) return 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
    {
      const LICE_PixelWord p = frame->PixelData()[(size_t)y * (size_t)frame->RowSpan() + (size_t)x];
      pixels[(size_t)y * (size_t)w + (size_t)x] = ((uint32_t)LICE_GETA(p) << 24) |
                                                  ((uint32_t)LICE_GETR(p) << 16) |
                                                  ((uint32_t)LICE_GETG(p) << 8) | (uint32_t)LICE_GETB(p);
    }
  return 1;
#endif
}
