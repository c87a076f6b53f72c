// IGraphicsHeadless: the editor without a window.
//
// OpenWindow returns a handle of its own, the caller drives the timer with
// Tick() (the same OnTimerTick a window layer runs), invalidated areas are
// drawn at once, and presenting copies the area into a kept frame. Images
// come from the process-wide IImageRegistry. Entry boxes, URLs and
// prompts are recorded so tests can answer them.
#pragma once

#include "IGraphicsPlatform.h"
#include "IGraphicsText.h"

#include <string>

class LICE_MemBitmap;

class IGraphicsHeadless : public IGraphics
{
public:
  // [UI thread]
  IGraphicsHeadless(IPlugBase* plug, int width, int height, int fps = 24);
  ~IGraphicsHeadless() override;

  // ------------------------------------------------------------ driving it
  // [UI thread] one timer tick; true when something was redrawn.
  bool Tick() { return OnTimerTick(); }
  // The presented frame (editor size), null before the first present.
  LICE_MemBitmap* Frame() const { return mFrame; }
  int PresentCount() const { return mPresents; }
  const IRECT& LastPresented() const { return mLastPresented; }

  // Entry box (Windows conventions): what was asked, and the answer.
  IControl* EntryControl() const { return mEntry.Control(); }
  IParam* EntryParam() const { return mEntry.Param(); }
  const IEntryBoxLayout& EntryLayout() const { return mEntry.Layout(); }
  // [UI thread] commits text through ApplyTextEntry and closes the box.
  void CommitEntry(const char* text);
  void CancelEntry();
  // [UI thread] an event ending the box as a window layer reports it; true
  // when the click that caused it should still reach the editor.
  bool EntryEvent(IEntryEvent event, const char* text, int selected = -1)
  {
    return mEntry.OnEvent(event, text, selected);
  }

  // OpenURL log and the answer it gives.
  const std::string& LastURL() const { return mLastURL; }
  int URLCalls() const { return mURLCalls; }
  void SetURLResult(bool ok) { mURLResult = ok; }

  // ------------------------------------------------------------ platform hooks
  // [UI thread] as in IGraphics.
  bool PresentToScreen(IRECT* r) override;
  void Resize(int w, int h) override;
  void HostPath(WDL_String* path) override;
  void PluginPath(WDL_String* path) override;
  bool OpenURL(const char* url, const char* title, const char* confirm, const char* errorText) override;
  void* GetWindow() override { return mOpen ? &mHandle : nullptr; }
  LICE_IBitmap* LoadPlatformBitmap(int id, const char* name) override;

protected:
  void* PlatformOpenWindow(void* parent, const IRECT* place) override;
  void PlatformCloseEntry() override;
  void PlatformDestroyWindow() override;

private:
  bool mOpen = false;
  int mHandle = 0;
  void* mParent = nullptr;
  LICE_MemBitmap* mFrame = nullptr;
  int mPresents = 0;
  IRECT mLastPresented;
  std::string mLastURL;
  int mURLCalls = 0;
  bool mURLResult = true;
};
