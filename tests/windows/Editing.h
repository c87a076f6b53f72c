// Shared by the Win32 editor tests: the DLL loaded by the reference host,
// its editor opened in the host's top-level window and driven by posted
// messages, as a user's mouse and keyboard would.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "EditCalls.h"
#include "HostedPlug.h"

namespace wintest
{

enum
{
  kDelayRate,
  kPingPong,
  kPanWidth,
  kFeedback,
  kDryMix,
  kWetMix
};
const int kW = 545, kH = 210;

// [GUI thread] Dispatches this thread's messages for about ms milliseconds.
inline void Pump(int ms)
{
  const DWORD end = GetTickCount() + (DWORD)ms;
  do {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
    {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    Sleep(2);
  } while ((LONG)(GetTickCount() - end) < 0);
}

// [GUI thread] Pumps until done() holds or about ms milliseconds passed;
// what done() said last. For checks that a busy machine may delay.
template <class Done> bool PumpUntil(Done done, int ms)
{
  const DWORD end = GetTickCount() + (DWORD)ms;
  while (!done())
  {
    if ((LONG)(GetTickCount() - end) >= 0) return done();
    Pump(5);
  }
  return true;
}

inline HWND Editor(quorvex::VstHost& host)
{
  return FindWindowExA((HWND)host.EditorHostWindow(), nullptr, "IPlugWndClass", nullptr);
}

inline HWND EntryBox(HWND editor)
{
  HWND box = GetDlgItem(editor, 99);
  return box && IsWindow(box) ? box : nullptr;
}

struct Editing : qtest::HostedPlug
{
  HWND editor = nullptr;

  void Open(double sampleRate = 44100., VstInt32 blockSize = 512)
  {
    ASSERT_EQ(host.Load(QUORVEX_DLL_PATH), "");
    ASSERT_TRUE(host.Open(sampleRate, blockSize));
    ASSERT_NE(host.OpenEditorWindow(), nullptr);
    editor = Editor(host);
    ASSERT_NE(editor, nullptr);
    Pump(150);
    host.ClearCalls();
  }
  // A fresh editor window in the same host window and instance.
  void Reopen()
  {
    host.Dispatch(effEditClose);
    ASSERT_NE(host.Dispatch(effEditOpen, 0, 0, host.EditorHostWindow()), 0);
    editor = Editor(host);
    ASSERT_NE(editor, nullptr);
    Pump(150);
    host.ClearCalls();
  }
  void Post(UINT msg, WPARAM w, int x, int y, int ms = 60)
  {
    PostMessageA(editor, msg, w, MAKELPARAM(x, y));
    Pump(ms);
  }
  void Drag(int x, int y, int dx, int dy)
  {
    Post(WM_LBUTTONDOWN, MK_LBUTTON, x, y, 20);
    for (int i = 1; i <= 4; ++i) Post(WM_MOUSEMOVE, MK_LBUTTON, x + dx * i / 4, y + dy * i / 4, 20);
    Post(WM_LBUTTONUP, 0, x + dx, y + dy);
  }
  void RightClick(int x, int y)
  {
    Post(WM_RBUTTONDOWN, MK_RBUTTON, x, y, 20);
    Post(WM_RBUTTONUP, 0, x, y);
  }
  // A button release at (x, y) of the editor, which may lie outside it,
  // delivered as the system delivers it: to the window holding the capture,
  // else to the window under the point (dropped when that is none of ours).
  void Release(UINT msg, int x, int y, WPARAM keys = 0, int ms = 60)
  {
    POINT p = { x, y };
    ClientToScreen(editor, &p);
    HWND to = GetCapture();
    if (!to) to = WindowFromPoint(p);
    if (to && GetWindowThreadProcessId(to, nullptr) == GetCurrentThreadId())
    {
      ScreenToClient(to, &p);
      PostMessageA(to, msg, keys, MAKELPARAM(p.x, p.y));
    }
    Pump(ms);
  }
  // Wheel notches over a point of the editor (the message carries screen
  // coordinates).
  void Wheel(int x, int y, int notches, int ms = 100)
  {
    RECT wr;
    GetWindowRect(editor, &wr);
    PostMessageA(editor, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA * notches),
                 MAKELPARAM(wr.left + x, wr.top + y));
    Pump(ms);
  }
  // Opcodes the plug-in sent for one parameter, automation values dropped.
  std::vector<VstInt32> Calls(int param)
  {
    std::vector<VstInt32> out;
    for (const quorvex::HostCall& c : host.Calls())
      if (c.index == param &&
          (c.opcode == audioMasterAutomate || c.opcode == audioMasterBeginEdit ||
           c.opcode == audioMasterEndEdit) &&
          (out.empty() || out.back() != c.opcode))
        out.push_back(c.opcode);
    return out;
  }
  // How many calls with opcode the plug-in sent, over every parameter.
  int CallCount(VstInt32 opcode) { return qtest::CountCalls(host, opcode); }
};

}  // namespace wintest
