#include "IPlugLV2UI.h"

#include "IGraphics.h"
#include "IPlugBoundary.h"

#include <cmath>
#include <cstring>

namespace
{

const void* FindFeature(const LV2_Feature* const* features, const char* uri)
{
  for (int i = 0; features && features[i]; ++i)
    if (features[i]->URI && std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
  return nullptr;
}

IPlugLV2UI* Plug(LV2UI_Handle ui) { return static_cast<IPlugLV2UI*>(ui); }

}  // namespace

IPlugLV2UI::IPlugLV2UI(const IPlugLV2UIInstanceInfo& info, int nParams, const char* channelIOStr,
                       int nPresets, const char* effectName, const char* productName, const char* mfrName,
                       int vendorVersion, int uniqueID, int mfrID, int latency, int midiMode,
                       bool plugDoesChunks, bool plugIsInst)
  : IPlugBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion, uniqueID,
              mfrID, latency, midiMode, plugDoesChunks, plugIsInst),
    mWrite(info.mWrite), mController(info.mController)
{
  mParent = const_cast<void*>(FindFeature(info.mFeatures, LV2_UI__parent));
  mResize = (const LV2UI_Resize*)FindFeature(info.mFeatures, LV2_UI__resize);
  if (mResize && !mResize->ui_resize) mResize = nullptr;
  mTouch = (const LV2UI_Touch*)FindFeature(info.mFeatures, LV2_UI__touch);
  if (mTouch && !mTouch->touch) mTouch = nullptr;
}

// ================================================================ edits to the host

void IPlugLV2UI::BeginParamGesture(int paramIdx)
{
  WDL_MutexLock lock(&mMutex);
  FlushPendingGestureEnd();
  QueueEditReport(IEditReport::kBeginEdit, paramIdx);
}

void IPlugLV2UI::BeginParamGestureIfNew(int paramIdx)
{
  WDL_MutexLock lock(&mMutex);
  if (paramIdx != mPendingEndParam)
  {
    FlushPendingGestureEnd();
    QueueEditReport(IEditReport::kBeginEdit, paramIdx);
  }
}

// Ports take plain values: the parameter's, already set from the editor.
void IPlugLV2UI::AutomateParam(int paramIdx, double normalizedValue)
{
  (void)normalizedValue;
  WDL_MutexLock lock(&mMutex);
  if (IParam* param = GetParam(paramIdx)) QueueEditReport(IEditReport::kAutomate, paramIdx, param->Value());
}

void IPlugLV2UI::EndParamGesture(int paramIdx)
{
  WDL_MutexLock lock(&mMutex);
  QueueEditReport(IEditReport::kEndEdit, paramIdx);
}

void IPlugLV2UI::SendEditReport(const IEditReport& report)
{
  if (report.mParamIdx < 0 || report.mParamIdx >= NParams()) return;
  const uint32_t port = (uint32_t)report.mParamIdx;
  switch (report.mKind)
  {
    case IEditReport::kBeginEdit:
      if (mTouch) mTouch->touch(mTouch->handle, port, true);
      break;
    case IEditReport::kAutomate:
      if (mWrite)
      {
        const float v = (float)report.mValue;
        mWrite(mController, port, sizeof(v), 0, &v);
      }
      break;
    case IEditReport::kEndEdit:
      if (mTouch) mTouch->touch(mTouch->handle, port, false);
      break;
    default: break;
  }
}

void IPlugLV2UI::SyncEditorRect()
{
  if (mResize && mGraphics) mResize->ui_resize(mResize->handle, mGraphics->Width(), mGraphics->Height());
}

// ================================================================ life cycle

void* IPlugLV2UI::Open()
{
  if (!mGraphics || !mParent) return nullptr;
  NoteEditorOpened();
  void* window = mGraphics->OpenWindow(mParent);
  if (!window) return nullptr;
  try
  {
    EditorOpened();
  }
  catch (...)
  {
    mGraphics->CloseWindow();
    throw;
  }
  SyncEditorRect();
  return window;
}

void IPlugLV2UI::Close()
{
  if (mGraphics && mGraphics->GetWindow())
  {
    EditorClosing();
    mGraphics->CloseWindow();
  }
  {
    WDL_MutexLock lock(&mMutex);
    FlushPendingGestureEnd();
  }
  SendEditReports(true);
}

void IPlugLV2UI::PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer)
{
  if (format != 0 || size != sizeof(float) || !buffer || port >= (uint32_t)NParams()) return;
  float v;
  std::memcpy(&v, buffer, sizeof(v));
  if (!std::isfinite(v)) return;
  WDL_MutexLock lock(&mMutex);
  IParam* param = GetParam((int)port);
  param->SetValue(param->Bounded((double)v));
  if (mGraphics) mGraphics->UpdateParamControls((int)port, param->GetUnitValue(), true);
}

int IPlugLV2UI::Idle()
{
  if (mGraphics && mGraphics->GetWindow()) NoteEditorIdle();
  SendEditReports(false);
  return 0;
}

// ================================================================ entry points

namespace
{

int UIIdle(LV2UI_Handle ui)
{
  int result = 1;
  CatchAtBoundary([&] { result = Plug(ui)->Idle(); });
  return result;
}

const LV2UI_Idle_Interface kIdleInterface = { UIIdle };

}  // namespace

const void* IPlugLV2UI::ExtensionData(const char* uri)
{
  if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdleInterface;
  return nullptr;
}

LV2UI_Handle IPlugLV2UIInstantiate(IPlugLV2UI* (*make)(const IPlugLV2UIInstanceInfo&),
                                   LV2UI_Write_Function write, LV2UI_Controller controller,
                                   LV2UI_Widget* widget, const LV2_Feature* const* features)
{
  IPlugLV2UI* plug = nullptr;
  CatchAtBoundary(
      [&]
      {
        IPlugLV2UIInstanceInfo info;
        info.mWrite = write;
        info.mController = controller;
        info.mFeatures = features;
        IPlugLV2UI* made = make(info);
        void* window = made->Open();
        if (!window)
        {
          delete made;
          return;
        }
        if (widget) *widget = (LV2UI_Widget)window;
        plug = made;
      });
  return plug;
}

void IPlugLV2UICleanup(LV2UI_Handle ui)
{
  CatchAtBoundary(
      [&]
      {
        Plug(ui)->Close();
        delete Plug(ui);
      });
}

void IPlugLV2UIPortEvent(LV2UI_Handle ui, uint32_t port, uint32_t size, uint32_t format, const void* buffer)
{
  CatchAtBoundary([&] { Plug(ui)->PortEvent(port, size, format, buffer); });
}

const void* IPlugLV2UIExtensionData(const char* uri) { return IPlugLV2UI::ExtensionData(uri); }
