// IPlugLV2UI: a plug-in's editor as an LV2 X11 UI.
//
// The UI is an instance of its own, with its own parameters: it never
// touches the DSP instance. Edits go to the host's write function as plain
// port values, with touch begin and end around gestures; they are queued
// under the instance lock and sent from the host's idle call on its UI
// thread, or, for a host that never idles the UI, from the editor's own
// thread (as the VST 2 editor does). port_event moves the controls. Nothing
// here waits for the DSP.
#pragma once

#include "IPlugBase.h"

#include <lv2/ui/ui.h>

struct IPlugLV2UIInstanceInfo
{
  LV2UI_Write_Function mWrite = nullptr;
  LV2UI_Controller mController = nullptr;
  const LV2_Feature* const* mFeatures = nullptr;
};

class IPlugLV2UI : public IPlugBase
{
public:
  IPlugLV2UI(const IPlugLV2UIInstanceInfo& info, int nParams, const char* channelIOStr, int nPresets,
             const char* effectName, const char* productName, const char* mfrName, int vendorVersion,
             int uniqueID, int mfrID, int latency, int midiMode, bool plugDoesChunks, bool plugIsInst);

  // ------------------------------------------------------------ host services
  // [UI thread] queued under the lock, sent by SendEditReport.
  void BeginParamGesture(int paramIdx) override;
  void BeginParamGestureIfNew(int paramIdx) override;
  void AutomateParam(int paramIdx, double normalizedValue) override;
  void EndParamGesture(int paramIdx) override;
  void NotifyHostDisplay() override {}
  // [sender thread, no instance lock] touch and write_function calls.
  void SendEditReport(const IEditReport& report) override;
  // The UI has no transport.
  int HostSamplePos() override { return 0; }
  double HostTempo() override { return 0.0; }
  void HostTimeSig(int* numerator, int* denominator) override { *numerator = *denominator = 0; }
  // [UI thread] tells the host the editor's size (ui:resize), when it can.
  void SyncEditorRect() override;
  void InitForHost() override {}
  bool SendMidiMessage(MidiMessage*) override { return false; }
  bool SendSysExMessage(SysExMessage*) override { return false; }

  // ------------------------------------------------------------ LV2 UI entry points
  // [host UI thread] The editor as a child of the host's parent window;
  // null when there is no parent or the window cannot be made.
  void* Open();
  void Close();
  // [host UI thread] a port's new value (float protocol only).
  void PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer);
  // [host UI thread] sends the queued edits; 0 while the editor is open.
  int Idle();
  static const void* ExtensionData(const char* uri);

private:
  LV2UI_Write_Function mWrite;
  LV2UI_Controller mController;
  void* mParent = nullptr;
  const LV2UI_Resize* mResize = nullptr;
  const LV2UI_Touch* mTouch = nullptr;
};

// Entry points for an LV2UI_Descriptor.
LV2UI_Handle IPlugLV2UIInstantiate(IPlugLV2UI* (*make)(const IPlugLV2UIInstanceInfo&),
                                   LV2UI_Write_Function write, LV2UI_Controller controller,
                                   LV2UI_Widget* widget, const LV2_Feature* const* features);
void IPlugLV2UICleanup(LV2UI_Handle ui);
void IPlugLV2UIPortEvent(LV2UI_Handle ui, uint32_t port, uint32_t size, uint32_t format, const void* buffer);
const void* IPlugLV2UIExtensionData(const char* uri);
