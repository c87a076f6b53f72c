// IGraphicsWindows: Win32 messages in, IGraphics calls out.
//
// Contents:
//   - process-wide window class and timer rate
//   - construction, images
//   - opening and closing the window
//   - window procedure and the timer
//   - entry box
//   - tooltips
//   - presenting and resizing
//   - native services (paths, dialogs, links, host wheel)
#include "IGraphicsWindows.h"

#include "IControl.h"
#include "IParam.h"
#include "IPlugBase.h"
#include "IPlugBoundary.h"
#include "IPlugModule.h"
#include "lice.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <wininet.h>
#include <windowsx.h>

#include <cstring>
#include <string>

namespace
{

const char* const kWindowClass = "IPlugWndClass";
const UINT_PTR kTimerId = 2;
const int kEntryId = 99;
// IdentifyHost's code for Acoustica, which only sends keys to a focused child.
const int kHostAcoustica = 25;

// Shared by every editor of the module, touched on the GUI thread only.
int gClassUsers = 0;
double gTimerRate = 24.0;

IGraphicsWindows* EditorOf(HWND hWnd)
{
  return hWnd ? reinterpret_cast<IGraphicsWindows*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA)) : nullptr;
}

MouseModifiers ModifiersOf(WPARAM wParam)
{
  return MouseModifiers((wParam & MK_LBUTTON) != 0, (wParam & MK_RBUTTON) != 0, (wParam & MK_SHIFT) != 0,
                        (wParam & MK_CONTROL) != 0, GetKeyState(VK_MENU) < 0);
}

// Folder of a module with its trailing backslash; empty when unknown.
void ModuleFolder(HMODULE module, WDL_String* path)
{
  if (!path) return;
  char buf[256];
  const DWORD n = GetModuleFileNameA(module, buf, sizeof(buf));
  path->Set("");
  // n == size means the name was cut short: not a usable folder.
  if (n == 0 || n >= sizeof(buf)) return;
  buf[n] = 0;
  char* slash = strrchr(buf, '\\');
  if (!slash) return;
  slash[1] = 0;
  path->Set(buf);
}

UINT_PTR CALLBACK ColorHook(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
  (void)wParam;
  if (msg == WM_INITDIALOG && lParam)
  {
    const CHOOSECOLORA* cc = reinterpret_cast<const CHOOSECOLORA*>(lParam);
    if (cc->lCustData) SetWindowTextA(dlg, reinterpret_cast<const char*>(cc->lCustData));
  }
  return 0;
}

}  // namespace

// ================================================================ construction, images

IGraphicsWindows::IGraphicsWindows(IPlugBase* plug, int width, int height, int fps)
  : IGraphics(plug, width, height, fps)
{
  mModule = static_cast<HINSTANCE>(gHInstance);
  if (!mModule)
  {
    // Linked into a program: the module holding this code.
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&gClassUsers), &self);
    mModule = self;
  }
}

IGraphicsWindows::~IGraphicsWindows()
{
  // The plug-in base deletes its editor from its own destructor.
  CloseWithoutPlug();
  delete[] mColorSlots;
}

LICE_IBitmap* IGraphicsWindows::LoadPlatformBitmap(int id, const char* name)
{
  (void)name;
  return LICE_ReadPngResource(mModule, id);
}

int IGraphicsWindows::TimerInterval(double fps) { return fps > 0.0 ? int(1000.0 / fps) : 41; }

int IGraphicsWindows::KeyCode(WPARAM vk)
{
  switch (vk)
  {
    case VK_SPACE: return KEY_SPACE;
    case VK_UP: return KEY_UPARROW;
    case VK_DOWN: return KEY_DOWNARROW;
    case VK_LEFT: return KEY_LEFTARROW;
    case VK_RIGHT: return KEY_RIGHTARROW;
    default: break;
  }
  if (vk >= 0x30 && vk <= 0x39) return int(vk) - 43;
  if (vk >= 0x41 && vk <= 0x5A) return int(vk) - 50;
  if (vk >= 0x61 && vk <= 0x7A) return int(vk) - 82;
  return -1;
}

int IGraphicsWindows::WindowClassUsers() { return gClassUsers; }

// ================================================================ opening and closing

bool IGraphicsWindows::PlatformWindowPlace(IRECT* place)
{
  // Measured in the parent's client area, where the new window is placed:
  // the parent's outer rectangle would add its frame on every reopening.
  RECT wr;
  if (!mEditorWnd || !GetWindowRect(mEditorWnd, &wr)) return false;
  const HWND oldParent = GetParent(mEditorWnd);
  MapWindowPoints(HWND_DESKTOP, oldParent ? oldParent : mHostWnd, reinterpret_cast<POINT*>(&wr), 2);
  *place = IRECT(wr.left, wr.top, wr.right, wr.bottom);
  return true;
}

void* IGraphicsWindows::PlatformOpenWindow(void* parent, const IRECT* place)
{
  CheckLockRule("a window-system call");
  // Reopening keeps the old window's place and size inside the parent.
  int x = 0, y = 0, w = mWidth, h = mHeight;
  if (place)
  {
    x = place->L;
    y = place->T;
    w = place->R - place->L;
    h = place->B - place->T;
  }
  mHostWnd = static_cast<HWND>(parent);

  if (gClassUsers == 0)
  {
    WNDCLASSA wc;
    memset(&wc, 0, sizeof(wc));
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = mModule;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    // A class left registered by an earlier copy of the module is reused.
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  }
  ++gClassUsers;

  gTimerRate = mFrameRate;
  mEditorWnd = CreateWindowExA(0, kWindowClass, "IPlug", WS_CHILD | WS_VISIBLE, x, y, w, h, mHostWnd, nullptr,
                               mModule, this);
  if (!mEditorWnd)
  {
    if (--gClassUsers == 0) UnregisterClassA(kWindowClass, mModule);
    return nullptr;
  }

  if (mTooltipsOn)
  {
    INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_BAR_CLASSES };
    bool ok = InitCommonControlsEx(&icc) != FALSE;
    if (ok)
    {
      mTipWnd =
          CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, mEditorWnd, nullptr, mModule, nullptr);
      ok = mTipWnd != nullptr;
    }
    if (ok)
    {
      SetWindowPos(mTipWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      TOOLINFOA ti;
      memset(&ti, 0, sizeof(ti));
      ti.cbSize = sizeof(ti);
      ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
      ti.hwnd = mEditorWnd;
      ti.uId = reinterpret_cast<UINT_PTR>(mEditorWnd);
      ok = SendMessageA(mTipWnd, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti)) != 0;
    }
    if (!ok)
    {
      if (mTipWnd) DestroyWindow(mTipWnd);
      mTipWnd = nullptr;
      mTooltipsOn = false;
    }
  }
  return mEditorWnd;
}

void IGraphicsWindows::PlatformCloseEntry()
{
  // The box goes through its own class procedure, without committing.
  if (mEntryWnd && mEntryBaseProc)
    SetWindowLongPtrA(mEntryWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(mEntryBaseProc));
  DropEntry(true);
}

void IGraphicsWindows::PlatformStopTimer()
{
  if (mEditorWnd) KillTimer(mEditorWnd, kTimerId);
}

void IGraphicsWindows::PlatformReleasePresentation()
{
  if (mTipWnd)
  {
    DestroyWindow(mTipWnd);
    mTipWnd = nullptr;
  }
  mTipShown = 0;
  mTipControl = -1;
}

void IGraphicsWindows::PlatformDestroyWindow()
{
  if (!mEditorWnd) return;
  CheckLockRule("a window-system call");
  const HWND wnd = mEditorWnd;
  mEditorWnd = nullptr;
  DestroyWindow(wnd);
  DropEntry(false);
  // A release still owed to the old window must not be eaten in the next.
  mEatRightUp = false;
  if (gClassUsers > 0 && --gClassUsers == 0) UnregisterClassA(kWindowClass, mModule);
}

// ================================================================ window procedure and the timer

LRESULT CALLBACK IGraphicsWindows::WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  if (msg == WM_CREATE)
  {
    const CREATESTRUCTA* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    IGraphicsWindows* g = static_cast<IGraphicsWindows*>(cs->lpCreateParams);
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(g));
    SetTimer(hWnd, kTimerId, (UINT)TimerInterval(gTimerRate), nullptr);
    // The host was identified at effOpen; the editor asks it nothing.
    if (g && g->mPlug && g->mPlug->GetHost() == kHostAcoustica) SetFocus(hWnd);
    return 0;
  }
  IGraphicsWindows* g = EditorOf(hWnd);
  if (!g || hWnd != g->mEditorWnd) return DefWindowProcA(hWnd, msg, wParam, lParam);
  // Called by the system: a message whose handling throws gets the default.
  LRESULT result = 0;
  if (CatchAtBoundary([&] { result = g->OnMessage(hWnd, msg, wParam, lParam); })) return result;
  return DefWindowProcA(hWnd, msg, wParam, lParam);
}

LRESULT IGraphicsWindows::OnMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  // The core pairs no right clicks: the second of two quick ones is a press.
  if (msg == WM_RBUTTONDBLCLK) msg = WM_RBUTTONDOWN;
  const bool press = msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDOWN ||
                     msg == WM_MBUTTONDOWN || msg == WM_MBUTTONDBLCLK;
  // A press with the right button up: an eaten release that never came is
  // not waited for any longer.
  if (press && (msg == WM_RBUTTONDOWN || !(wParam & MK_RBUTTON))) mEatRightUp = false;
  if (mEntryWnd && msg == WM_RBUTTONDOWN)
  {
    mEntryMsg = 2;
    // The press began no gesture, so its release must not end one; the
    // capture brings that release here wherever the pointer goes.
    SetCapture(hWnd);
    mEatRightUp = true;
    return 0;
  }
  if (msg == WM_RBUTTONUP && mEatRightUp)
  {
    mEatRightUp = false;
    // A left drag begun meanwhile keeps the capture.
    if (!(wParam & MK_LBUTTON)) ReleaseCapture();
    return 0;
  }
  const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  switch (msg)
  {
    case WM_PAINT:
    {
      RECT r;
      if (GetUpdateRect(hWnd, &r, FALSE))
      {
        IRECT ir(r.left, r.top, r.right, r.bottom);
        Draw(&ir);
        // Draw presents nothing without controls; the area must still settle.
        ValidateRect(hWnd, &r);
      }
      return 0;
    }
    case WM_CLOSE: CloseWindow(); return 0;
    case WM_MOUSEACTIVATE:
      if (mPlug && mPlug->GetHost() == kHostAcoustica) SetFocus(hWnd);
      return MA_ACTIVATE;
    case WM_KEYDOWN:
    {
      const int key = KeyCode(wParam);
      if (key < 0) return 0;
      POINT p;
      GetCursorPos(&p);
      ScreenToClient(hWnd, &p);
      OnKeyDown(p.x, p.y, key);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kTimerId) OnTimer();
      return 0;
    case WM_MOUSEMOVE:
    {
      MouseModifiers mod = ModifiersOf(wParam);
      if (wParam & (MK_LBUTTON | MK_RBUTTON))
      {
        if (GetCapture() == hWnd) OnMouseDrag(x, y, &mod);
      }
      else if (OnMouseOver(x, y, &mod))
      {
        TRACKMOUSEEVENT tme = { sizeof(tme), TME_LEAVE, hWnd, HOVER_DEFAULT };
        if (mTooltipsOn && mHoverIndex != mTipControl)
        {
          mTipControl = mHoverIndex;
          HideTooltip();
          if (mTipControl >= 0) tme.dwFlags |= TME_HOVER;
        }
        TrackMouseEvent(&tme);
      }
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    {
      HideTooltip();
      if (mEntryWnd) mEntryMsg = 3;
      SetCapture(hWnd);
      MouseModifiers mod = ModifiersOf(wParam);
      OnMouseDown(x, y, &mod);
      return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    {
      // Released after the editor has taken the release, so the capture
      // change it causes finds the gesture ended; an eaten right release
      // still to come needs the capture.
      MouseModifiers mod = ModifiersOf(wParam);
      OnMouseUp(x, y, &mod);
      if (!mEatRightUp) ReleaseCapture();
      return 0;
    }
    case WM_LBUTTONDBLCLK:
    {
      MouseModifiers mod = ModifiersOf(wParam);
      if (OnMouseDblClick(x, y, &mod)) SetCapture(hWnd);
      return 0;
    }
    case WM_CAPTURECHANGED:
      // Another window has the mouse: an eaten release cannot come here,
      // and a gesture's release will not either.
      if (reinterpret_cast<HWND>(lParam) != hWnd)
      {
        mEatRightUp = false;
        OnMouseCaptureLost();
      }
      return 0;
    case WM_MOUSEWHEEL:
    {
      RECT wr;
      GetWindowRect(hWnd, &wr);
      MouseModifiers mod = ModifiersOf(GET_KEYSTATE_WPARAM(wParam));
      OnMouseWheel(x - wr.left, y - wr.top, &mod, WheelSteps(GET_WHEEL_DELTA_WPARAM(wParam)));
      return 0;
    }
    case WM_COMMAND:
      // A list box tells its parent, not itself, that an item was picked.
      if (mEntryWnd && reinterpret_cast<HWND>(lParam) == mEntryWnd && HIWORD(wParam) == CBN_SELCHANGE)
        mEntryMsg = 3;
      return 0;
    case WM_MOUSEHOVER: ShowTooltip(); return 0;
    case WM_MOUSELEAVE:
      HideTooltip();
      OnMouseOut();
      return 0;
    default: return DefWindowProcA(hWnd, msg, wParam, lParam);
  }
}

void IGraphicsWindows::OnTimer()
{
  if (mEntryWnd && mEntryMsg)
  {
    if (mEntryMsg == 1)
      mEntryMsg = 0;
    else
      EndEntry(mEntryMsg == 3);
  }
  // Redraw, then the gesture-end countdown.
  OnTimerTick();
}

void IGraphicsWindows::InvalidateArea(IRECT* r)
{
  if (!r) return;
  // Without a window the back buffer still follows the controls.
  if (!mEditorWnd)
  {
    Draw(r);
    return;
  }
  RECT rc = { r->L, r->T, r->R, r->B };
  InvalidateRect(mEditorWnd, &rc, FALSE);
  if (mEntryWnd)
  {
    // Never paint over the open box.
    RECT box;
    GetClientRect(mEntryWnd, &box);
    MapWindowPoints(mEntryWnd, mEditorWnd, reinterpret_cast<POINT*>(&box), 2);
    ValidateRect(mEditorWnd, &box);
  }
  UpdateWindow(mEditorWnd);
}

// ================================================================ entry box

bool IGraphicsWindows::PlatformOpenEntry()
{
  if (!mEditorWnd || mEntryWnd) return false;
  const IEntryBoxLayout& lay = mEntry.Layout();
  const HMENU id = reinterpret_cast<HMENU>((INT_PTR)kEntryId);
  HWND box;
  HFONT font = nullptr;
  if (mEntry.Param())
  {
    // A parameter's box: centred, Arial 14, whatever the control's text.
    const int x = (int)lay.x, y = (int)lay.y, w = (int)lay.w, h = (int)lay.h;
    if (lay.kind == IEntryBoxLayout::kListBox)
    {
      box = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, x, y, w, h,
                            mEditorWnd, id, mModule, nullptr);
      if (box)
      {
        for (const std::string& item : lay.items)
          SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        SendMessageA(box, CB_SETCURSEL, (WPARAM)lay.selected, 0);
      }
    }
    else
    {
      box = CreateWindowExA(0, "EDIT", lay.text.c_str(), WS_CHILD | WS_VISIBLE | ES_CENTER | ES_MULTILINE, x,
                            y, w, h, mEditorWnd, id, mModule, nullptr);
      if (box) SendMessageA(box, EM_SETSEL, 0, -1);
    }
    if (box) font = CreateFontA(14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
  }
  else
  {
    DWORD style = WS_CHILD | WS_VISIBLE;
    style |= lay.align == IEntryBoxLayout::kAlignLeft    ? ES_LEFT
             : lay.align == IEntryBoxLayout::kAlignRight ? ES_RIGHT
                                                         : ES_CENTER;
    if (lay.readOnly) style |= ES_READONLY;
    style |= lay.secure ? ES_PASSWORD : ES_MULTILINE;
    box = CreateWindowExA(0, "EDIT", lay.text.c_str(), style, (int)lay.x, (int)lay.y, (int)lay.w, (int)lay.h,
                          mEditorWnd, id, mModule, nullptr);
    if (box)
    {
      SendMessageA(box, EM_SETSEL, 0, -1);
      font = CreateFontA((int)lay.fontSize, 0, 0, 0, lay.bold ? FW_BOLD : 0, lay.italic ? TRUE : FALSE, 0, 0,
                         0, 0, 0, 0, 0, lay.fontName.c_str());
    }
  }
  if (!box) return false;
  mEdControl = mEntry.Control();
  mEdParam = mEntry.Param();
  AttachEntry(box, font);
  return true;
}

void IGraphicsWindows::AttachEntry(HWND box, HFONT font)
{
  mEntryWnd = box;
  mEntryMsg = 0;
  SetFocus(box);
  mEntryBaseProc =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EntryProc)));
  mEntryFont = font;
  if (font) SendMessageA(box, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
}

void IGraphicsWindows::EndEntry(bool commit)
{
  if (commit)
  {
    char text[1000];
    text[0] = 0;
    SendMessageA(mEntryWnd, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    text[sizeof(text) - 1] = 0;
    int sel = -1;
    if (mEntry.Layout().kind == IEntryBoxLayout::kListBox)
      sel = (int)SendMessageA(mEntryWnd, CB_GETCURSEL, 0, 0);
    mEntry.Commit(text, sel);
  }
  else
  {
    mEntry.Discard();
  }
  DropEntry(true);
}

void IGraphicsWindows::DropEntry(bool destroyWindow)
{
  if (mEntryWnd && destroyWindow)
  {
    if (mEntryBaseProc)
      SetWindowLongPtrA(mEntryWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(mEntryBaseProc));
    DestroyWindow(mEntryWnd);
  }
  mEntry.Close();
  mEntryWnd = nullptr;
  mEdControl = nullptr;
  mEdParam = nullptr;
  mEntryBaseProc = nullptr;
  mEntryMsg = 0;
  // Each box made its own font; it is no longer selected anywhere.
  if (mEntryFont) DeleteObject(mEntryFont);
  mEntryFont = nullptr;
}

LRESULT CALLBACK IGraphicsWindows::EntryProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  IGraphicsWindows* g = EditorOf(GetParent(hWnd));
  if (!g || hWnd != g->mEntryWnd || !g->mEntryBaseProc) return DefWindowProcA(hWnd, msg, wParam, lParam);
  // A message whose handling throws gets the box's own procedure (as it
  // was before the handling could drop it).
  const WNDPROC base = g->mEntryBaseProc;
  LRESULT result = 0;
  if (CatchAtBoundary([&] { result = g->OnEntryMessage(hWnd, msg, wParam, lParam); })) return result;
  return CallWindowProcA(base, hWnd, msg, wParam, lParam);
}

LRESULT IGraphicsWindows::OnEntryMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  HideTooltip();
  switch (msg)
  {
    case WM_SETFOCUS: mEntryMsg = 1; break;
    case WM_KILLFOCUS: mEntryMsg = 0; break;
    case WM_KEYDOWN:
      if (wParam == VK_RETURN)
      {
        char cls[8];
        if (GetClassNameA(hWnd, cls, sizeof(cls)) == 4 && _stricmp(cls, "EDIT") == 0)
        {
          SendMessageA(hWnd, EM_SETSEL, (WPARAM)-1, 0);
          mEntryMsg = 3;
          return 0;
        }
      }
      mEntryMsg = 1;
      break;
    case WM_GETDLGCODE:
    {
      const LRESULT code = CallWindowProcA(mEntryBaseProc, hWnd, msg, wParam, lParam);
      if (mEdParam) return code;
      const MSG* m = reinterpret_cast<const MSG*>(lParam);
      if (m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN) return code | DLGC_WANTMESSAGE;
      return code;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) == CBN_SELCHANGE)
      {
        mEntryMsg = 3;
        return 0;
      }
      break;
    default: break;
  }
  return CallWindowProcA(mEntryBaseProc, hWnd, msg, wParam, lParam);
}

// ================================================================ tooltips

void IGraphicsWindows::ShowTooltip()
{
  if (!mTooltipsOn || !mTipWnd) return;
  mTipControl = mHoverIndex;
  IControl* control = mControls.Get(mTipControl);
  const char* tip = control ? control->GetTooltip() : nullptr;
  if (mTipControl < 0 || !tip) return;
  TOOLINFOA ti;
  memset(&ti, 0, sizeof(ti));
  ti.cbSize = sizeof(ti);
  ti.hwnd = mEditorWnd;
  ti.uId = reinterpret_cast<UINT_PTR>(mEditorWnd);
  ti.lpszText = const_cast<char*>(tip);
  SendMessageA(mTipWnd, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
  mTipShown = 1;
}

void IGraphicsWindows::HideTooltip()
{
  if (!mTipWnd || !mTipShown) return;
  TOOLINFOA ti;
  memset(&ti, 0, sizeof(ti));
  ti.cbSize = sizeof(ti);
  ti.hwnd = mEditorWnd;
  ti.uId = reinterpret_cast<UINT_PTR>(mEditorWnd);
  ti.lpszText = nullptr;
  SendMessageA(mTipWnd, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
  mTipShown = 0;
}

void IGraphicsWindows::UpdateTooltips()
{
  if (!mTooltipsOn) HideTooltip();
}

// ================================================================ presenting and resizing

bool IGraphicsWindows::PresentToScreen(IRECT* r)
{
  if (!mEditorWnd || !r || !mBackBuffer) return false;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(mEditorWnd, &ps);
  if (dc)
  {
    BitBlt(dc, r->L, r->T, r->R - r->L, r->B - r->T, static_cast<HDC>(mBackBuffer->PlatformContext()), r->L,
           r->T, SRCCOPY);
  }
  EndPaint(mEditorWnd, &ps);
  return true;
}

void IGraphicsWindows::Resize(int w, int h)
{
  const int dw = w - mWidth, dh = h - mHeight;
  IGraphics::Resize(w, h);
  if (mBackBuffer) mBackBuffer->Resize(w, h);
  if (!mEditorWnd) return;

  RECT old;
  GetWindowRect(mEditorWnd, &old);
  auto isChild = [](HWND wnd)
  {
    return wnd && (GetWindowLongA(wnd, GWL_STYLE) & WS_CHILD) &&
           !(GetWindowLongA(wnd, GWL_EXSTYLE) & WS_EX_MDICHILD);
  };
  HWND chain[3] = { mEditorWnd, nullptr, nullptr };
  if (isChild(mEditorWnd))
  {
    chain[1] = GetParent(mEditorWnd);
    if (isChild(chain[1])) chain[2] = GetParent(chain[1]);
  }
  for (HWND wnd : chain)
  {
    if (!wnd) continue;
    RECT wr;
    GetWindowRect(wnd, &wr);
    SetWindowPos(wnd, nullptr, 0, 0, wr.right - wr.left + dw, wr.bottom - wr.top + dh,
                 SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE);
  }
  // The editor's former outer area, in its own client coordinates.
  MapWindowPoints(HWND_DESKTOP, mEditorWnd, reinterpret_cast<POINT*>(&old), 2);
  InvalidateRect(mEditorWnd, &old, FALSE);
}

// ================================================================ native services

void IGraphicsWindows::HostPath(WDL_String* path) { ModuleFolder(nullptr, path); }

void IGraphicsWindows::PluginPath(WDL_String* path) { ModuleFolder(mModule, path); }

void IGraphicsWindows::PromptForFile(WDL_String* file, int action, const char* dir, const char* extensions)
{
  if (!file) return;
  if (!mEditorWnd)
  {
    file->Set("");
    return;
  }
  char name[256];
  name[0] = 0;
  if (file->Get()) strncpy(name, file->Get(), sizeof(name) - 1);
  name[sizeof(name) - 1] = 0;

  WDL_String hostDir;
  if (!dir || !*dir)
  {
    HostPath(&hostDir);
    dir = hostDir.Get();
  }

  // "txt wav" -> "*.txt;*.wav" as description and pattern of one entry.
  std::string exts = extensions ? extensions : "";
  std::string patterns, defExt;
  size_t pos = 0;
  while (pos < exts.size())
  {
    size_t end = exts.find(' ', pos);
    if (end == std::string::npos) end = exts.size();
    if (end > pos)
    {
      if (!patterns.empty()) patterns += ';';
      patterns += "*." + exts.substr(pos, end - pos);
    }
    pos = end + 1;
  }
  defExt = exts.substr(0, exts.find(' '));
  std::string filter = patterns;
  filter.push_back('\0');
  filter += patterns;
  filter.push_back('\0');
  filter.push_back('\0');

  OPENFILENAMEA ofn;
  memset(&ofn, 0, sizeof(ofn));
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = mEditorWnd;
  ofn.lpstrFilter = patterns.empty() ? nullptr : filter.c_str();
  ofn.lpstrFile = name;
  ofn.nMaxFile = sizeof(name);
  ofn.lpstrInitialDir = dir;
  ofn.lpstrDefExt = defExt.empty() ? nullptr : defExt.c_str();
  BOOL ok;
  if (action == 1)
  {
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    ok = GetSaveFileNameA(&ofn);
  }
  else
  {
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    ok = GetOpenFileNameA(&ofn);
  }
  file->Set(ok ? name : "");
}

bool IGraphicsWindows::PromptForColor(IColor* color, const char* prompt)
{
  if (!mEditorWnd || !color) return false;
  if (!mColorSlots)
  {
    mColorSlots = new COLORREF[16];
    memset(mColorSlots, 0, 16 * sizeof(COLORREF));
  }
  CHOOSECOLORA cc;
  memset(&cc, 0, sizeof(cc));
  cc.lStructSize = sizeof(cc);
  cc.hwndOwner = mEditorWnd;
  cc.rgbResult = RGB(color->R, color->G, color->B);
  cc.lpCustColors = mColorSlots;
  cc.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ENABLEHOOK | CC_SOLIDCOLOR | CC_ANYCOLOR;
  cc.lCustData = reinterpret_cast<LPARAM>(prompt);
  cc.lpfnHook = ColorHook;
  if (!ChooseColorA(&cc)) return false;
  color->R = GetRValue(cc.rgbResult);
  color->G = GetGValue(cc.rgbResult);
  color->B = GetBValue(cc.rgbResult);
  return true;
}

bool IGraphicsWindows::OpenURL(const char* url, const char* title, const char* confirm, const char* errorText)
{
  if (confirm && MessageBoxA(mEditorWnd, confirm, title, MB_YESNO) != IDYES) return false;
  DWORD state = 0;
  if (url && InternetGetConnectedState(&state, 0))
  {
    const INT_PTR r =
        reinterpret_cast<INT_PTR>(ShellExecuteA(mEditorWnd, "open", url, nullptr, nullptr, SW_SHOWNORMAL));
    if (r > 32) return true;
  }
  if (errorText) MessageBoxA(mEditorWnd, errorText, title, MB_OK);
  return false;
}

bool IGraphicsWindows::OnHostMouseWheel(float delta)
{
  POINT p;
  if (!mEditorWnd || !GetCursorPos(&p) || WindowFromPoint(p) != mEditorWnd) return false;
  RECT wr;
  GetWindowRect(mEditorWnd, &wr);
  MouseModifiers mod(false, false, GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0,
                     GetKeyState(VK_MENU) < 0);
  // Hosts send small step counts; anything else is not a wheel.
  if (!(delta > -1e6f && delta < 1e6f)) return false;
  OnMouseWheel(p.x - wr.left, p.y - wr.top, &mod, (int)delta);
  return true;
}
