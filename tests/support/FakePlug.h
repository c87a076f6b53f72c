// A plug-in base with recording host hooks, and an editor that records
// what the plug-in base asks of it.
#pragma once

#include "IGraphicsHeadless.h"
#include "IPlugBase.h"

#include <functional>
#include <string>
#include <vector>

// One hook call, in the order the plug-in made it.
struct FakeCall
{
  std::string what;  // begin, automate, end, changed, update, prepare, timer, cancel
  int idx;
  double value;
  bool normalized;
};
using FakeLog = std::vector<FakeCall>;

class FakeGraphics : public IGraphicsHeadless
{
public:
  FakeGraphics(IPlugBase* plug, FakeLog* log, int fps = 30, bool* destroyed = nullptr)
    : IGraphicsHeadless(plug, 300, 200, fps), mLog(log), mDestroyed(destroyed)
  {
  }
  ~FakeGraphics() override
  {
    if (mDestroyed) *mDestroyed = true;
  }

  void UpdateParamControls(int idx, double value, bool normalized) override
  {
    mLog->push_back({ "update", idx, value, normalized });
    IGraphicsHeadless::UpdateParamControls(idx, value, normalized);
  }
  void PrepareDrawing() override
  {
    mLog->push_back({ "prepare", -1, 0.0, false });
    IGraphicsHeadless::PrepareDrawing();
  }
  void SetParamChangeTimer(int ticks) override
  {
    mLog->push_back({ "timer", ticks, 0.0, false });
    IGraphicsHeadless::SetParamChangeTimer(ticks);
  }
  void CancelParamChangeTimer() override
  {
    mLog->push_back({ "cancel", -1, 0.0, false });
    IGraphicsHeadless::CancelParamChangeTimer();
  }

private:
  FakeLog* mLog;
  bool* mDestroyed;
};

class FakePlug : public IPlugBase
{
public:
  FakePlug(int nParams, const char* channelIO, int nPresets = 0, int version = 0x00010200)
    : IPlugBase(nParams, channelIO, nPresets, "Effect", "Product", "Maker", version, 0x41626364, 0x4d667273,
                0, 0, false, false)
  {
  }

  std::function<void(double**, double**, int)> mProcess;  // replaces pass-through when set
  bool mInPlace = false;                                  // what ProcessesInPlace answers
  bool ProcessesInPlace() const override { return mInPlace; }
  std::vector<int> mBlockFrames;
  FakeLog mLog;
  double mTempo = 120.0;
  double mLastAutomated = -1.0;

  void ProcessBlock(double** inputs, double** outputs, int nFrames) override
  {
    mBlockFrames.push_back(nFrames);
    if (mProcess)
      mProcess(inputs, outputs, nFrames);
    else
      IPlugBase::ProcessBlock(inputs, outputs, nFrames);
  }
  // Takes single-precision blocks on the host's buffers, and runs them
  // through mProcess in doubles (every input read first) so that the same
  // effect serves both frames.
  bool mDirectFloats = false;
  std::vector<float*> mSeenFloatIns;
  bool ProcessesFloat() const override { return mDirectFloats; }
  void ProcessBlockFloat(float** inputs, float** outputs, int nFrames, bool accumulate) override
  {
    mSeenFloatIns.assign(inputs, inputs + NInChannels());
    std::vector<std::vector<double>> in(NInChannels()), out(NOutChannels(), std::vector<double>(nFrames));
    std::vector<double*> ins, outs;
    for (int c = 0; c < NInChannels(); ++c)
    {
      in[c].assign(inputs[c], inputs[c] + nFrames);
      ins.push_back(in[c].data());
    }
    for (auto& o : out) outs.push_back(o.data());
    ProcessBlock(ins.data(), outs.data(), nFrames);
    for (int c = 0; c < NOutChannels(); ++c)
      for (int s = 0; s < nFrames; ++s)
        outputs[c][s] = accumulate ? outputs[c][s] + (float)out[c][s] : (float)out[c][s];
  }
  void ParamChanged(int idx) override { mLog.push_back({ "changed", idx, GetParam(idx)->Value(), false }); }
  void BeginParamGesture(int idx) override { mLog.push_back({ "begin", idx, 0.0, false }); }
  void BeginParamGestureIfNew(int idx) override { mLog.push_back({ "begin", idx, 0.0, false }); }
  // Records the parameter's value as it stands when the host hears of it.
  void AutomateParam(int idx, double normalized) override
  {
    mLog.push_back({ "automate", idx, GetParam(idx)->Value(), false });
    mLastAutomated = normalized;
  }
  void EndParamGesture(int idx) override { mLog.push_back({ "end", idx, 0.0, false }); }
  void NotifyHostDisplay() override {}
  int HostSamplePos() override { return 0; }
  double HostTempo() override { return mTempo; }
  void HostTimeSig(int* num, int* den) override { *num = *den = 4; }
  void SyncEditorRect() override {}
  void InitForHost() override {}
  bool SendMidiMessage(MidiMessage*) override { return true; }
  bool SendSysExMessage(SysExMessage*) override { return true; }

  // The values a preset slot holds, decoded from its chunk.
  std::vector<double> SlotValues(int idx) const
  {
    std::vector<double> values;
    const PresetSlot* slot = mPresets.Get(idx);
    double v;
    for (int pos = 0; slot && (pos = slot->mChunk.ReadValue(&v, pos)) > 0;) values.push_back(v);
    return values;
  }
  std::vector<double> LiveValues() const
  {
    std::vector<double> values;
    for (int i = 0; i < NParams(); ++i) values.push_back(GetParam(i)->Value());
    return values;
  }
  int CountCalls(const char* what) const
  {
    int n = 0;
    for (const FakeCall& c : mLog) n += c.what == what;
    return n;
  }
};
