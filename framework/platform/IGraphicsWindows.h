// IGraphicsWindows: the editor as a Win32 child window of the host's window.
//
// Translates window messages into IGraphics calls, paints the back buffer
// with GDI, and provides the native entry box (an EDIT or COMBOBOX child
// laid out by ITextEntry), tooltips, the colour and file dialogs, web links
// and images from the module's "PNG" resources.
//
// Threads: everything runs on the host's GUI thread that owns the window,
// which the host calls the dispatcher from without the instance lock; edit
// reports reach the host on that thread once each event is done.
#pragma once

#include "IGraphicsPlatform.h"
#include "IGraphicsText.h"
#include "wdlstring.h"

#include <windows.h>

class IGraphicsWindows : public IGraphics
{
public:
  // [UI thread] the module handle is taken from the loader (gHInstance), or
  // else from the module this code is linked into.
  IGraphicsWindows(IPlugBase* plug, int width, int height, int fps = 24);
  // [UI thread] closes the window without calling the plug-in.
  ~IGraphicsWindows() override;

  // ------------------------------------------------------------ platform hooks
  // [UI thread] as in IGraphics.
  bool PresentToScreen(IRECT* r) override;
  void Resize(int w, int h) override;
  void HostPath(WDL_String* path) override;
  void PluginPath(WDL_String* path) override;
  void PromptForFile(WDL_String* file, int action, const char* dir, const char* extensions) override;
  bool PromptForColor(IColor* color, const char* prompt) override;
  bool OpenURL(const char* url, const char* title = nullptr, const char* confirm = nullptr,
               const char* errorText = nullptr) override;
  bool OnHostMouseWheel(float delta) override;
  void* GetWindow() override { return mEditorWnd; }
  void UpdateTooltips() override;
  LICE_IBitmap* LoadPlatformBitmap(int id, const char* name) override;
  // [UI thread] invalidates r and paints it at once, never over an entry box;
  // without a window, draws r into the back buffer only.
  void InvalidateArea(IRECT* r) override;

  // ------------------------------------------------------------ state (tests)
  HINSTANCE Module() const { return mModule; }
  HWND EntryWindow() const { return mEntryWnd; }
  int EntryState() const { return mEntryMsg; }
  HWND TooltipWindow() const { return mTipWnd; }
  // Timer interval in milliseconds for a frame rate (41 at 24 fps).
  static int TimerInterval(double fps);
  // The portable key code for a virtual key, -1 when not passed on.
  static int KeyCode(WPARAM vk);
  // Whole wheel steps from a wheel delta, toward zero.
  static int WheelSteps(int delta) { return delta / WHEEL_DELTA; }
  // Number of editor windows of the module that share the window class.
  static int WindowClassUsers();

protected:
  bool PlatformWindowPlace(IRECT* place) override;
  void* PlatformOpenWindow(void* parent, const IRECT* place) override;
  // An EDIT, or a COMBOBOX for a list, as a child of the editor window.
  bool PlatformOpenEntry() override;
  void PlatformCloseEntry() override;
  void PlatformStopTimer() override;
  void PlatformReleasePresentation() override;
  void PlatformDestroyWindow() override;

private:
  static LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK EntryProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

  LRESULT OnMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnEntryMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void OnTimer();
  // Ends the open box after commit (3) or cancel (2).
  void EndEntry(bool commit);
  // Forgets the box without committing; the window may already be gone.
  void DropEntry(bool destroyWindow);
  // Subclasses the new box, gives it focus and its font.
  void AttachEntry(HWND box, HFONT font);
  void ShowTooltip();
  void HideTooltip();

  HINSTANCE mModule = nullptr;
  HWND mEditorWnd = nullptr;
  HWND mTipWnd = nullptr;
  HWND mEntryWnd = nullptr;
  IControl* mEdControl = nullptr;
  IParam* mEdParam = nullptr;
  WNDPROC mEntryBaseProc = nullptr;
  int mEntryMsg = 0;  // 0 none, 1 editing, 2 cancel, 3 commit
  int mTipShown = 0;
  int mTipControl = -1;
  COLORREF* mColorSlots = nullptr;
  HWND mHostWnd = nullptr;
  WDL_String mUnused{ nullptr, 128 };
  // The entry box's font; the box does not own it.
  HFONT mEntryFont = nullptr;
  // The right press that cancelled a box holds the capture; its release is
  // not passed on.
  bool mEatRightUp = false;
};
