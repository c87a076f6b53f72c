// The editor in a real Win32 window: the DLL loaded by the reference host,
// opened in the host's top-level window and driven by posted messages.
#include "lice.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Editing.h"
#include "IGraphicsWindows.h"
#include "PngCodec.h"

using namespace wintest;

namespace
{

const std::vector<VstInt32> kGesture = { audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit };
// A committed entry box, then the edited control sending its value once more.
const std::vector<VstInt32> kCommit = { audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit,
                                        audioMasterAutomate };

// Live GDI objects the plug-in made, counted by redirecting its gdi32
// imports (Wine's GetGuiResources counts nothing).
LONG gGdiLive = 0;
HFONT WINAPI CountCreateFontA(int a, int b, int c, int d, int e, DWORD f, DWORD g, DWORD h, DWORD i, DWORD j,
                              DWORD k, DWORD l, DWORD m, LPCSTR n)
{
  HFONT r = CreateFontA(a, b, c, d, e, f, g, h, i, j, k, l, m, n);
  if (r) ++gGdiLive;
  return r;
}
HFONT WINAPI CountCreateFontIndirectA(const LOGFONTA* lf)
{
  HFONT r = CreateFontIndirectA(lf);
  if (r) ++gGdiLive;
  return r;
}
HDC WINAPI CountCreateCompatibleDC(HDC dc)
{
  HDC r = CreateCompatibleDC(dc);
  if (r) ++gGdiLive;
  return r;
}
HBITMAP WINAPI CountCreateDIBSection(HDC dc, const BITMAPINFO* bi, UINT u, void** bits, HANDLE s, DWORD o)
{
  HBITMAP r = CreateDIBSection(dc, bi, u, bits, s, o);
  if (r) ++gGdiLive;
  return r;
}
BOOL WINAPI CountDeleteObject(HGDIOBJ o)
{
  BOOL r = DeleteObject(o);
  if (r) --gGdiLive;
  return r;
}
BOOL WINAPI CountDeleteDC(HDC dc)
{
  BOOL r = DeleteDC(dc);
  if (r) --gGdiLive;
  return r;
}

// Points module's imports of gdi32's name at replacement; false when absent.
bool Redirect(HMODULE module, const char* name, void* replacement)
{
  void* target = (void*)GetProcAddress(GetModuleHandleA("gdi32.dll"), name);
  const BYTE* base = (const BYTE*)module;
  const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  bool found = false;
  for (const IMAGE_IMPORT_DESCRIPTOR* d = (const IMAGE_IMPORT_DESCRIPTOR*)(base + dir.VirtualAddress);
       dir.VirtualAddress && d->Name; ++d)
  {
    for (IMAGE_THUNK_DATA* t = (IMAGE_THUNK_DATA*)(base + d->FirstThunk); t->u1.Function; ++t)
    {
      if ((void*)t->u1.Function != target) continue;
      DWORD old;
      VirtualProtect(&t->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
      t->u1.Function = (ULONG_PTR)replacement;
      VirtualProtect(&t->u1.Function, sizeof(void*), old, &old);
      found = true;
    }
  }
  return found;
}

// Editor pixels as 0x00RRGGBB, read back from the window's DC.
std::vector<unsigned> CaptureWindow(HWND wnd)
{
  std::vector<unsigned> px((size_t)kW * kH);
  BITMAPINFO bi;
  memset(&bi, 0, sizeof(bi));
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = kW;
  bi.bmiHeader.biHeight = -kH;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC wdc = GetDC(wnd);
  HDC mdc = CreateCompatibleDC(wdc);
  HBITMAP dib = CreateDIBSection(wdc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mdc, dib);
  BitBlt(mdc, 0, 0, kW, kH, wdc, 0, 0, SRCCOPY);
  GdiFlush();
  for (size_t i = 0; i < px.size(); ++i) px[i] = ((const unsigned*)bits)[i] & 0xFFFFFF;
  SelectObject(mdc, old);
  DeleteObject(dib);
  DeleteDC(mdc);
  ReleaseDC(wnd, wdc);
  return px;
}

int CountWindows()
{
  int n = 0;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM p) -> BOOL
      {
        ++*(int*)p;
        EnumChildWindows(
            w,
            [](HWND, LPARAM q) -> BOOL
            {
              ++*(int*)q;
              return TRUE;
            },
            p);
        return TRUE;
      },
      (LPARAM)&n);
  return n;
}

}  // namespace

TEST(EditorWindowRules, TimerWheelAndKeyMapping)
{
  const struct
  {
    double fps;
    int ms;
  } timers[] = { { 24, 41 }, { 30, 33 }, { 60, 16 } };
  for (const auto& t : timers) EXPECT_EQ(IGraphicsWindows::TimerInterval(t.fps), t.ms) << t.fps;

  const struct
  {
    int delta, steps;
  } wheels[] = { { -240, -2 }, { -60, 0 }, { 119, 0 }, { 120, 1 }, { 360, 3 } };
  for (const auto& w : wheels) EXPECT_EQ(IGraphicsWindows::WheelSteps(w.delta), w.steps) << w.delta;

  const struct
  {
    WPARAM vk;
    int code;
  } keys[] = {
    { VK_SPACE, KEY_SPACE },
    { VK_UP, KEY_UPARROW },
    { VK_DOWN, KEY_DOWNARROW },
    { VK_LEFT, KEY_LEFTARROW },
    { VK_RIGHT, KEY_RIGHTARROW },
    { '0', KEY_DIGIT_0 },
    { '9', KEY_DIGIT_0 + 9 },
    { 'A', KEY_ALPHA_A },
    { 'Z', KEY_ALPHA_A + 25 },
    { 0x61, KEY_ALPHA_A },
    { 0x7A, KEY_ALPHA_A + 25 },
    { VK_RETURN, -1 },
    { VK_SHIFT, -1 },
    { 0x5B, -1 },
    { 0x60, -1 },
    { 0x7B, -1 },
  };
  for (const auto& k : keys) EXPECT_EQ(IGraphicsWindows::KeyCode(k.vk), k.code) << k.vk;
}

TEST(EditorWindow, OpensAsChildOfTheHostWindowAndClosesCleanly)
{
  Editing a;
  ASSERT_NO_FATAL_FAILURE(a.Open());
  HWND host = (HWND)a.host.EditorHostWindow();
  EXPECT_EQ(GetParent(a.editor), host);
  EXPECT_TRUE(GetWindowLongA(a.editor, GWL_STYLE) & WS_CHILD);
  RECT rc;
  GetClientRect(a.editor, &rc);
  EXPECT_EQ(rc.right, kW);
  EXPECT_EQ(rc.bottom, kH);
  char title[16] = "";
  GetWindowTextA(a.editor, title, sizeof title);
  EXPECT_STREQ(title, "IPlug");

  // A second editor shares the class; it goes when the last window closes.
  Editing b;
  ASSERT_NO_FATAL_FAILURE(b.Open());
  HMODULE dll = (HMODULE)GetWindowLongPtrA(a.editor, GWLP_HINSTANCE);
  WNDCLASSA wc;
  a.host.CloseEditorWindow();
  EXPECT_FALSE(IsWindow(a.editor));
  EXPECT_TRUE(GetClassInfoA(dll, "IPlugWndClass", &wc));
  b.host.CloseEditorWindow();
  EXPECT_FALSE(GetClassInfoA(dll, "IPlugWndClass", &wc));

  // Reopened without closing: the window keeps its place.
  ASSERT_NE(a.host.OpenEditorWindow(), nullptr);
  HWND first = Editor(a.host);
  SetWindowPos(first, nullptr, 7, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_NE(a.host.Dispatch(effEditOpen, 0, 0, a.host.EditorHostWindow()), 0);
  HWND second = Editor(a.host);
  ASSERT_NE(second, nullptr);
  RECT pr, wr;
  GetWindowRect((HWND)a.host.EditorHostWindow(), &pr);
  GetWindowRect(second, &wr);
  POINT origin = { wr.left, wr.top };
  ScreenToClient((HWND)a.host.EditorHostWindow(), &origin);
  EXPECT_EQ(origin.x, 7);
  EXPECT_EQ(origin.y, 5);
  EXPECT_EQ(wr.right - wr.left, kW);
}

TEST(EditorWindow, MouseMessagesEditParametersWithGestures)
{
  Editing e;
  ASSERT_NO_FATAL_FAILURE(e.Open());
  struct Case
  {
    const char* what;
    int param, x, y, dx, dy;
    bool up;  // value rises
  };
  const Case cases[] = {
    { "rate knob drag up", kDelayRate, 88, 118, 0, -60, true },
    { "pan knob drag down", kPanWidth, 279, 130, 0, 40, false },
    { "feedback knob drag up", kFeedback, 379, 130, 0, -40, true },
    { "dry slider drag down", kDryMix, 453, 110, 0, 40, false },
    { "wet slider drag up", kWetMix, 497, 160, 0, -40, true },
  };
  const float rate0 = e.host.GetParameter(kDelayRate);
  for (const Case& c : cases)
  {
    e.host.ClearCalls();
    const float before = e.host.GetParameter(c.param);
    e.Drag(c.x, c.y, c.dx, c.dy);
    const float after = e.host.GetParameter(c.param);
    EXPECT_EQ(after > before, c.up) << c.what << ": " << before << " -> " << after;
    EXPECT_NE(after, before) << c.what;
    EXPECT_EQ(e.Calls(c.param), kGesture) << c.what;
  }

  // Press, release, double-click, release: the knob returns to its default,
  // and every gesture begun is ended.
  e.host.ClearCalls();
  e.Post(WM_LBUTTONDOWN, MK_LBUTTON, 88, 118, 10);
  e.Post(WM_LBUTTONUP, 0, 88, 118, 10);
  e.Post(WM_LBUTTONDBLCLK, MK_LBUTTON, 88, 118, 10);
  e.Post(WM_LBUTTONUP, 0, 88, 118);
  EXPECT_FLOAT_EQ(e.host.GetParameter(kDelayRate), rate0);
  EXPECT_EQ(e.CallCount(audioMasterBeginEdit), e.CallCount(audioMasterEndEdit));
  EXPECT_EQ(GetCapture(), nullptr);

  // A click on the third radio button picks the third mode.
  e.host.ClearCalls();
  e.Post(WM_LBUTTONDOWN, MK_LBUTTON, 179, 75 + 2 * 17 + 8, 20);
  e.Post(WM_LBUTTONUP, 0, 179, 75 + 2 * 17 + 8);
  EXPECT_FLOAT_EQ(e.host.GetParameter(kPingPong), 0.5f);
  EXPECT_EQ(e.Calls(kPingPong), kGesture);

  // The wheel steps at once; the gesture ends about half a second later.
  e.host.ClearCalls();
  const float before = e.host.GetParameter(kFeedback);
  e.Wheel(379, 130, 2);
  EXPECT_GT(e.host.GetParameter(kFeedback), before);
  EXPECT_EQ(e.Calls(kFeedback), (std::vector<VstInt32>{ audioMasterBeginEdit, audioMasterAutomate }));
  Pump(900);
  EXPECT_EQ(e.Calls(kFeedback), kGesture);
}

TEST(EditorWindow, RightClickOpensEntryBoxesThatCommit)
{
  Editing e;
  ASSERT_NO_FATAL_FAILURE(e.Open());
  char cls[32];

  // A continuous parameter: an edit field; typed text and Enter commit.
  e.RightClick(379, 130);
  HWND box = EntryBox(e.editor);
  ASSERT_NE(box, nullptr);
  GetClassNameA(box, cls, sizeof cls);
  EXPECT_STREQ(cls, "Edit");
  EXPECT_EQ(GetFocus(), box);
  SendMessageA(box, WM_SETTEXT, 0, (LPARAM) "25");
  e.host.ClearCalls();
  PostMessageA(box, WM_KEYDOWN, VK_RETURN, 0);
  Pump(150);
  EXPECT_EQ(EntryBox(e.editor), nullptr);
  EXPECT_EQ(e.Calls(kFeedback), kCommit);
  EXPECT_EQ(e.host.ParamDisplay(kFeedback).find("25"), 0u) << e.host.ParamDisplay(kFeedback);

  // A right click in the editor discards an open box and opens none.
  e.RightClick(279, 130);
  ASSERT_NE(EntryBox(e.editor), nullptr);
  SendMessageA(EntryBox(e.editor), WM_SETTEXT, 0, (LPARAM) "99");
  const float pan = e.host.GetParameter(kPanWidth);
  e.host.ClearCalls();
  e.RightClick(379, 130);
  Pump(100);
  EXPECT_EQ(EntryBox(e.editor), nullptr);
  EXPECT_FLOAT_EQ(e.host.GetParameter(kPanWidth), pan);
  // The cancelling click ends no gesture it did not begin.
  EXPECT_EQ(e.Calls(kFeedback), std::vector<VstInt32>{});

  // An enumerated parameter: a list; picking an item commits it.
  e.RightClick(179, 100);
  box = EntryBox(e.editor);
  ASSERT_NE(box, nullptr);
  GetClassNameA(box, cls, sizeof cls);
  EXPECT_STREQ(cls, "ComboBox");
  const LRESULT sel = SendMessageA(box, CB_GETCURSEL, 0, 0);
  e.host.ClearCalls();
  PostMessageA(box, WM_KEYDOWN, VK_DOWN, 0);
  Pump(150);
  EXPECT_EQ(EntryBox(e.editor), nullptr);
  EXPECT_FLOAT_EQ(e.host.GetParameter(kPingPong), (float)(sel + 1) / 4.f);
  EXPECT_EQ(e.Calls(kPingPong), kCommit);

  // A left click elsewhere commits the typed value and still turns the knob.
  e.RightClick(379, 130);
  ASSERT_NE(EntryBox(e.editor), nullptr);
  SendMessageA(EntryBox(e.editor), WM_SETTEXT, 0, (LPARAM) "10");
  e.Drag(279, 130, 0, -30);
  Pump(100);
  EXPECT_EQ(EntryBox(e.editor), nullptr);
  EXPECT_EQ(e.host.ParamDisplay(kFeedback).find("10"), 0u) << e.host.ParamDisplay(kFeedback);
  EXPECT_GT(e.host.GetParameter(kPanWidth), pan);
}

// The right press that discards a box begins nothing, so its release must
// end nothing, however that release is lost or comes; and it must not take
// the release of a later right click with it.
TEST(EditorWindow, RightPressThatDiscardsABoxKeepsLaterGesturesPaired)
{
  struct Case
  {
    const char* what;
    UINT press;  // how the discarding press arrives
    int releaseX, releaseY;
    bool hostTakesCapture;  // before the release
  };
  const Case cases[] = {
    { "released outside the window", WM_RBUTTONDOWN, kW + 60, 130, false },
    { "capture taken by the host window", WM_RBUTTONDOWN, 379, 130, true },
    { "second click of a double click", WM_RBUTTONDBLCLK, 379, 130, false },
  };
  Editing e;
  ASSERT_NO_FATAL_FAILURE(e.Open());
  HWND host = (HWND)e.host.EditorHostWindow();
  for (const Case& c : cases)
  {
    ASSERT_NO_FATAL_FAILURE(e.Reopen());
    e.RightClick(379, 130);
    ASSERT_NE(EntryBox(e.editor), nullptr) << c.what;
    // Presses there land on the editor, just above the box.
    ASSERT_EQ(ChildWindowFromPoint(e.editor, POINT{ 379, 130 }), e.editor) << c.what;
    e.host.ClearCalls();
    e.Post(c.press, MK_RBUTTON, 379, 130, 100);
    if (c.hostTakesCapture) SetCapture(host);
    e.Release(WM_RBUTTONUP, c.releaseX, c.releaseY);
    if (c.hostTakesCapture) ReleaseCapture();
    Pump(60);
    EXPECT_EQ(EntryBox(e.editor), nullptr) << c.what;
    EXPECT_EQ(GetCapture(), nullptr) << c.what;
    EXPECT_EQ(e.CallCount(audioMasterBeginEdit), 0) << c.what;
    EXPECT_EQ(e.CallCount(audioMasterEndEdit), 0) << c.what;

    // A drag, then a right click that opens a box: each ends what it began.
    e.Drag(279, 130, 0, -20);
    EXPECT_EQ(e.Calls(kPanWidth), kGesture) << c.what;
    e.host.ClearCalls();
    e.RightClick(379, 130);
    EXPECT_NE(EntryBox(e.editor), nullptr) << c.what;
    EXPECT_EQ(e.Calls(kFeedback), (std::vector<VstInt32>{ audioMasterBeginEdit, audioMasterEndEdit }))
        << c.what;
    EXPECT_EQ(e.CallCount(audioMasterEndEdit), 1) << c.what;
    EXPECT_EQ(GetCapture(), nullptr) << c.what;
  }

  // A left drag made while the discarding press is held: it keeps the mouse
  // whichever button goes up first, and ends its gesture once.
  for (const bool rightFirst : { true, false })
  {
    ASSERT_NO_FATAL_FAILURE(e.Reopen());
    e.RightClick(379, 130);
    ASSERT_NE(EntryBox(e.editor), nullptr);
    e.Post(WM_RBUTTONDOWN, MK_RBUTTON, 379, 130, 100);
    // Room to turn up (the cases above turned it).
    e.host.SetParameter(kPanWidth, 0.5f);
    Pump(100);
    e.host.ClearCalls();
    const float pan = e.host.GetParameter(kPanWidth);
    e.Post(WM_LBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, 279, 130, 20);
    e.Post(WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, 279, 120, 20);
    if (rightFirst)
    {
      e.Release(WM_RBUTTONUP, 279, 120, MK_LBUTTON);
      const float mid = e.host.GetParameter(kPanWidth);
      EXPECT_GT(mid, pan);
      e.Post(WM_MOUSEMOVE, MK_LBUTTON, 279, 100, 20);
      EXPECT_GT(e.host.GetParameter(kPanWidth), mid) << "drag after the right release";
      e.Release(WM_LBUTTONUP, 279, 100);
    }
    else
    {
      e.Release(WM_LBUTTONUP, 279, 120, MK_RBUTTON);
      e.Release(WM_RBUTTONUP, 279, 120);
    }
    EXPECT_GT(e.host.GetParameter(kPanWidth), pan) << rightFirst;
    EXPECT_EQ(e.Calls(kPanWidth), kGesture) << rightFirst;
    EXPECT_EQ(e.CallCount(audioMasterEndEdit), 1) << rightFirst;
    EXPECT_EQ(GetCapture(), nullptr) << rightFirst;
  }
}

TEST(EditorWindow, OpeningAndClosingLeaksNoWindowsOrGdiObjects)
{
  Editing e;
  ASSERT_NO_FATAL_FAILURE(e.Open());
  HMODULE dll = (HMODULE)GetWindowLongPtrA(e.editor, GWLP_HINSTANCE);
  ASSERT_TRUE(Redirect(dll, "CreateFontA", (void*)CountCreateFontA));
  Redirect(dll, "CreateFontIndirectA", (void*)CountCreateFontIndirectA);
  Redirect(dll, "CreateCompatibleDC", (void*)CountCreateCompatibleDC);
  Redirect(dll, "CreateDIBSection", (void*)CountCreateDIBSection);
  ASSERT_TRUE(Redirect(dll, "DeleteObject", (void*)CountDeleteObject));
  Redirect(dll, "DeleteDC", (void*)CountDeleteDC);

  // The host window stays; only the editor comes and goes, as in a DAW.
  HWND host = (HWND)e.host.EditorHostWindow();
  e.host.Dispatch(effEditClose);
  Pump(50);
  const DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  const DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  const int windows = CountWindows();
  for (int i = 0; i < 100; ++i)
  {
    ASSERT_NE(e.host.Dispatch(effEditOpen, 0, 0, host), 0) << i;
    e.editor = Editor(e.host);
    Pump(i % 10 ? 2 : 100);
    // Every tenth window closes with an entry box open.
    if (i % 10 == 0)
    {
      e.RightClick(379, 130);
      EXPECT_NE(EntryBox(e.editor), nullptr) << i;
    }
    e.host.Dispatch(effEditClose);
    EXPECT_FALSE(IsWindow(e.editor)) << i;
  }
  Pump(50);
  EXPECT_EQ(CountWindows(), windows);
  EXPECT_EQ(gGdiLive, 0);
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdi);
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), user);
  std::printf("windows %d, plug-in GDI objects left %ld, GDI/user objects %lu/%lu\n", windows, (long)gGdiLive,
              (unsigned long)gdi, (unsigned long)user);
}

// Outside the value read-outs the window shows the Linux render exactly.
TEST(EditorWindow, PixelsMatchTheLinuxRender)
{
  std::unique_ptr<LICE_IBitmap> linux(LICE_ReadPngFile(QUORVEX_LINUX_SNAPSHOT));
  if (!linux) GTEST_SKIP() << "no Linux render at " << QUORVEX_LINUX_SNAPSHOT;
  ASSERT_EQ(linux->Width(), kW);
  ASSERT_EQ(linux->Height(), kH);

  Editing e;
  ASSERT_NO_FATAL_FAILURE(e.Open());
  Pump(200);
  const std::vector<unsigned> win = CaptureWindow(e.editor);
  EXPECT_TRUE(qtest::WritePng(QUORVEX_WINDOWS_SNAPSHOT, win, kW));

  // Read-outs under the three knobs and the two sliders.
  const RECT text[] = { { 30, 160, 146, 195 },
                        { 230, 160, 330, 195 },
                        { 330, 160, 430, 195 },
                        { 430, 165, 476, 195 },
                        { 476, 165, 520, 195 } };
  int outside = 0, inside = 0, area = 0;
  for (const RECT& r : text) area += (r.right - r.left) * (r.bottom - r.top);
  std::vector<unsigned> diff((size_t)kW * kH, 0);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
    {
      const LICE_PixelWord p = linux->PixelData()[y * linux->RowSpan() + x];
      const unsigned l = (LICE_GETR(p) << 16) | (LICE_GETG(p) << 8) | LICE_GETB(p);
      if (l == win[(size_t)y * kW + x]) continue;
      diff[(size_t)y * kW + x] = 0xFFFFFF;
      bool inText = false;
      for (const RECT& r : text) inText |= x >= r.left && x < r.right && y >= r.top && y < r.bottom;
      ++(inText ? inside : outside);
    }
  qtest::WritePng(std::string(QUORVEX_WINDOWS_SNAPSHOT) + ".diff.png", diff, kW);
  // Wine on the left, Linux on the right, for a look by eye.
  std::vector<unsigned> both((size_t)kW * 2 * kH);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
    {
      const LICE_PixelWord p = linux->PixelData()[y * linux->RowSpan() + x];
      both[(size_t)y * kW * 2 + x] = win[(size_t)y * kW + x];
      both[(size_t)y * kW * 2 + kW + x] = (LICE_GETR(p) << 16) | (LICE_GETG(p) << 8) | LICE_GETB(p);
    }
  qtest::WritePng(std::string(QUORVEX_WINDOWS_SNAPSHOT) + ".side-by-side.png", both, kW * 2);
  EXPECT_EQ(outside, 0);
  // GDI and FreeType shape glyph edges differently: allow an eighth of the
  // read-out area (about 7% differs in practice).
  EXPECT_LT(inside, area / 8);
  std::printf("text areas: %d of %d pixels differ\n", inside, area);
}
