// Editor text: the font cache and its height correction, styled text in the
// back buffer, typed values, and the entry box's layout, commit and discard.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include "FakePlug.h"
#include "IGraphicsText.h"
#include "IParam.h"
#include "lice.h"
#include "lice_text.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace
{

// Wine's GDI text is always drawn from the glyph cache.
bool UnderWine()
{
#if defined(_WIN32)
  HKEY key = nullptr;
  const bool yes = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine", 0, KEY_READ, &key) == ERROR_SUCCESS;
  if (key) RegCloseKey(key);
  return yes;
#else
  return false;
#endif
}

class PlainControl : public IControl
{
public:
  using IControl::IControl;
  bool Draw(IGraphics*) override { return true; }
};

// Parameters: 0 enum with texts of lengths 3, 5, 8, 2; 1 int 0..99;
// 2 double -1..1; 3 int 0..9 with texts (an int type: a text field).
std::unique_ptr<FakePlug> MakePlug()
{
  auto plug = std::make_unique<FakePlug>(4, "2-2");
  IParam* mode = plug->GetParam(0);
  mode->DefineEnum("Mode", 1, 4);
  const char* texts[] = { "abc", "fives", "eightchr", "zz" };
  for (int i = 0; i < 4; ++i) mode->AddTextForValue(i, texts[i]);
  plug->GetParam(1)->DefineInt("Feedback", 60, 0, 99, "%");
  plug->GetParam(2)->DefineDouble("Pan", 0.0, -1.0, 1.0, 0.01);
  IParam* steps = plug->GetParam(3);
  steps->DefineInt("Steps", 0, 0, 9);
  steps->AddTextForValue(0, "off");
  return plug;
}

struct Editor
{
  std::unique_ptr<FakePlug> plug = MakePlug();
  FakeGraphics* gui = nullptr;

  Editor()
  {
    gui = new FakeGraphics(plug.get(), &plug->mLog);
    plug->AttachEditor(gui);
    plug->mLog.clear();
  }
  IControl* Add(IRECT r, int param)
  {
    IControl* c = new PlainControl(plug.get(), r, param);
    gui->AddControl(c);
    c->ApplyHostValue(plug->GetParam(param)->GetUnitValue());
    return c;
  }
  std::vector<std::string> Calls() const
  {
    std::vector<std::string> out;
    for (const FakeCall& c : plug->mLog) out.push_back(c.what);
    return out;
  }
};

struct Box
{
  int l = 1 << 30, t = 1 << 30, r = -1, b = -1;
};

Box InkBox(LICE_IBitmap* bm, IRECT area, LICE_PixelWord bg)
{
  Box box;
  for (int y = area.T; y < area.B; ++y)
    for (int x = area.L; x < area.R; ++x)
      if (bm->PixelData()[y * bm->RowSpan() + x] != bg)
      {
        box.l = std::min(box.l, x);
        box.t = std::min(box.t, y);
        box.r = std::max(box.r, x + 1);
        box.b = std::max(box.b, y + 1);
      }
  return box;
}

HFONT EmHeightArial(int h)
{
  return CreateFont(-h, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                    DEFAULT_QUALITY, DEFAULT_PITCH, "Arial");
}

// ================================================================ fonts

TEST(EditorText, FontCacheKeyAndSizeRules)
{
  Editor e;
  IText a(12, IColor(255, 255, 0, 0)), b(12, IColor(255, 0, 0, 255));
  b.mRenderQuality = IText::kQualityNonAntiAliased;
  b.mAlignment = IText::kAlignFar;
  LICE_CachedFont* fa = e.gui->FindOrCreateFont(&a);
  ASSERT_NE(fa, nullptr);
  const int size = IFontCache::Size();
  // Colour, alignment and quality are not part of the key.
  EXPECT_EQ(e.gui->FindOrCreateFont(&b), fa);
  EXPECT_EQ(b.mFontObject, fa);
  EXPECT_EQ(IFontCache::Size(), size);
  EXPECT_EQ(fa->GetLineHeight(), 12);

  IText bold(12, IColor(), "Arial", IText::kStyleBold), other(12, IColor(), "arial");
  EXPECT_NE(e.gui->FindOrCreateFont(&bold), fa);
  EXPECT_NE(e.gui->FindOrCreateFont(&other), fa);  // names compare case-sensitively
  EXPECT_EQ(IFontCache::Size(), size + 2);

  // Size 1 asks for height 2.
  IText tiny(1, IColor());
  LICE_CachedFont* ft = e.gui->FindOrCreateFont(&tiny);
  ASSERT_NE(ft, nullptr);
  EXPECT_EQ(ft->GetLineHeight(), 2);
}

TEST(EditorText, SecondPassBringsTheLineHeightCloseToTheRequest)
{
  for (int size = 8; size <= 40; size += 4)
  {
    int calls = 0, firstLineHeight = 0;
    LICE_CachedFont* f =
        IFontCache::CreateSized(size,
                                [&](int h)
                                {
                                  ++calls;
                                  HFONT native = EmHeightArial(h);
                                  if (calls == 1)
                                  {
                                    LICE_CachedFont probe;
                                    probe.SetFromPlatformFont(EmHeightArial(h), LICE_FONT_FLAG_OWNS_HFONT);
                                    firstLineHeight = probe.GetLineHeight();
                                  }
                                  return native;
                                });
    ASSERT_NE(f, nullptr);
    EXPECT_NE(firstLineHeight, size);  // an em height overshoots the cell
    EXPECT_EQ(calls, 2);
    EXPECT_NEAR(f->GetLineHeight(), size, 1) << size;
    delete f;
  }
  int calls = 0;
  EXPECT_EQ(IFontCache::CreateSized(12, [&](int) { return ++calls, (HFONT) nullptr; }), nullptr);
  EXPECT_EQ(calls, 1);
}

TEST(EditorText, StyledTextAlignmentColourAlphaAndEmptyStrings)
{
  Editor e;
  LICE_IBitmap* back = e.gui->GetBackBuffer();
  ASSERT_NE(back, nullptr);
  const LICE_PixelWord bg = LICE_RGBA(0, 0, 0, 255);
  IRECT r(20, 10, 220, 40);

  int lefts[3];
  for (int align = 0; align < 3; ++align)
  {
    LICE_FillBox(back, 0, 0, back->Width(), back->Height(), bg, 1.0f, LICE_MODE_COPY);
    IText t(16, IColor(255, 255, 255, 255), "Arial", 0, align);
    EXPECT_TRUE(e.gui->DrawStyledText(&t, "62 %", &r));
    const Box box = InkBox(back, IRECT(0, 0, back->Width(), back->Height()), bg);
    ASSERT_GE(box.r, 0);
    lefts[align] = box.l;
    EXPECT_GE(box.t, r.T);
    EXPECT_LE(box.b, r.T + 16);
    const int expectedMid = align == 1 ? (r.L + r.R) / 2 : (box.l + box.r) / 2;
    EXPECT_NEAR((box.l + box.r) / 2, expectedMid, 2);
    EXPECT_NEAR(box.r, align == 2 ? r.R : box.r, 2);
  }
  EXPECT_NEAR(lefts[0], r.L, 2);
  EXPECT_LT(lefts[0], lefts[1]);
  EXPECT_LT(lefts[1], lefts[2]);

  // Alpha 254 goes through the glyph cache (colour-alpha flag), 255 does not.
  IText opaque(15, IColor(255, 200, 200, 200)), translucent(15, IColor(254, 200, 200, 200));
  EXPECT_TRUE(e.gui->DrawStyledText(&opaque, "Q", &r));
  LICE_CachedFont* f = e.gui->FindOrCreateFont(&opaque);
  if (!UnderWine())
  {
    EXPECT_EQ(f->FindGlyph('Q')->offset, 0);
  }
  EXPECT_TRUE(e.gui->DrawStyledText(&translucent, "Q", &r));
  EXPECT_EQ(translucent.mFontObject, f);
  EXPECT_GT(f->FindGlyph('Q')->offset, 0);

  // Empty strings succeed without drawing; so does a null one.
  LICE_FillBox(back, 0, 0, back->Width(), back->Height(), bg, 1.0f, LICE_MODE_COPY);
  EXPECT_TRUE(e.gui->DrawStyledText(&opaque, "", &r));
  EXPECT_TRUE(e.gui->DrawStyledText(&opaque, nullptr, &r));
  EXPECT_LT(InkBox(back, IRECT(0, 0, back->Width(), back->Height()), bg).r, 0);
}

// ================================================================ typed values

TEST(EditorText, ApplyTextEntryParsesDisplayTextsAndNumbers)
{
  const struct
  {
    int param;
    const char* text;
    double value;
  } cases[] = {
    { 0, "eightchr", 2 }, { 0, "3", 3 },    { 0, "fives ", 0 },  // only exact texts match
    { 1, "42", 42 },      { 1, "500", 99 }, { 1, "-5", 0 },      { 1, "x", 0 },
    { 2, "0.25", 0.25 },  { 3, "off", 0 },  { 3, "7 steps", 7 },
  };
  for (const auto& c : cases)
  {
    Editor e;
    IControl* ctl = e.Add(IRECT(0, 0, 40, 40), c.param);
    e.gui->ApplyTextEntry(ctl, e.plug->GetParam(c.param), c.text);
    EXPECT_NEAR(e.plug->GetParam(c.param)->Value(), c.value, 1e-9) << c.text;
    const std::vector<std::string> calls = e.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.front(), "begin");
    EXPECT_EQ(calls.back(), "end");
  }
}

TEST(EditorText, EditableTextControlKeepsTypedTextWithoutTellingThePlugin)
{
  Editor e;
  auto* editable = new IEditableTextControl(e.plug.get(), IRECT(10, 10, 90, 30), IText(), "name");
  auto* locked = new IEditableTextControl(e.plug.get(), IRECT(10, 40, 90, 60), IText(), "fixed", false);
  e.gui->AddControl(editable);
  e.gui->AddControl(locked);
  e.gui->ApplyTextEntry(editable, nullptr, "new name");
  e.gui->ApplyTextEntry(locked, nullptr, "changed");
  EXPECT_STREQ(editable->GetText(), "new name");
  EXPECT_TRUE(editable->IsDirty());
  EXPECT_STREQ(locked->GetText(), "fixed");
  EXPECT_TRUE(e.Calls().empty());

  // A click opens the text field over the control.
  MouseModifiers left(true);
  editable->OnMouseDown(20, 20, &left);
  ASSERT_TRUE(e.gui->EntryOpen());
  EXPECT_EQ(e.gui->EntryParam(), nullptr);
  const IEntryBoxLayout& box = e.gui->EntryLayout();
  EXPECT_EQ(box.text, "new name");
  EXPECT_EQ(std::make_tuple(box.x, box.y, box.w, box.h), std::make_tuple(10.0, 10.0, 80.0, 20.0));
  EXPECT_FALSE(e.gui->EntryEvent(IEntryEvent::Enter, "typed"));
  EXPECT_STREQ(editable->GetText(), "typed");
}

// ================================================================ entry box

TEST(EditorText, EntryBoxLayoutPerPlatform)
{
  Editor e;
  IControl* list = e.Add(IRECT(100, 50, 151, 81), 0);  // centre (125.5, 65.5)
  IControl* field = e.Add(IRECT(10, 10, 41, 31), 2);   // centre (25.5, 20.5)
  IControl* intWithText = e.Add(IRECT(0, 0, 20, 20), 3);

  IEntryBoxLayout win, mac;
  ASSERT_TRUE(IEntryBoxRules::ForParam(list, e.plug->GetParam(0), IEntryPlatform::Windows, &win));
  ASSERT_TRUE(IEntryBoxRules::ForParam(list, e.plug->GetParam(0), IEntryPlatform::Mac, &mac));
  for (const IEntryBoxLayout* b : { &win, &mac })
  {
    EXPECT_EQ(b->kind, IEntryBoxLayout::kListBox);
    EXPECT_EQ(b->items, (std::vector<std::string>{ "abc", "fives", "eightchr", "zz" }));
    EXPECT_EQ(b->selected, 1);
    EXPECT_EQ(b->w, 88);  // 8 x 8 + 24
  }
  EXPECT_EQ(std::make_tuple(win.x, win.y, win.h), std::make_tuple(125.0 - 44, 65.0, 180.0));
  EXPECT_EQ(std::make_tuple(mac.x, mac.y, mac.h, mac.visibleItems),
            std::make_tuple(125.0 - 44, 65.5, 26.0, 4));
  EXPECT_EQ(win.fontSize, 14);
  EXPECT_EQ(mac.fontSize, 11);

  ASSERT_TRUE(IEntryBoxRules::ForParam(field, e.plug->GetParam(2), IEntryPlatform::Windows, &win));
  ASSERT_TRUE(IEntryBoxRules::ForParam(field, e.plug->GetParam(2), IEntryPlatform::Mac, &mac));
  EXPECT_EQ(win.kind, IEntryBoxLayout::kTextField);
  EXPECT_EQ(win.text, "0");
  EXPECT_TRUE(win.selectAll);
  // "1.00" at normalised 1.0: 7 * 4 + 6 = 34 wide.
  EXPECT_EQ(std::make_tuple(win.x, win.y, win.w, win.h), std::make_tuple(25.0 - 17, 12.0, 34.0, 16.0));
  EXPECT_EQ(std::make_tuple(mac.x, mac.y, mac.w, mac.h), std::make_tuple(25.5 - 21, 9.5, 42.0, 21.0));

  // Display texts on a parameter that is not boolean or enumerated: a field.
  ASSERT_TRUE(IEntryBoxRules::ForParam(intWithText, e.plug->GetParam(3), IEntryPlatform::Windows, &win));
  EXPECT_EQ(win.kind, IEntryBoxLayout::kTextField);
  EXPECT_EQ(win.text, "off");
  EXPECT_EQ(win.w, 32.0);

  EXPECT_EQ(IEntryBoxRules::ListBoxWidth({}), 24);
  EXPECT_EQ(IEntryBoxRules::ListBoxWidth({ "" }), 24);
  EXPECT_FALSE(IEntryBoxRules::ForParam(nullptr, e.plug->GetParam(0), IEntryPlatform::Mac, &win));
}

TEST(EditorText, EntryBoxCommitAndDiscardRules)
{
  const struct
  {
    IEntryPlatform platform;
    IEntryEvent event;
    bool passClick, stillOpen, committed;
  } cases[] = {
    { IEntryPlatform::Windows, IEntryEvent::Enter, false, false, true },
    { IEntryPlatform::Windows, IEntryEvent::ClickElsewhere, true, false, true },
    { IEntryPlatform::Windows, IEntryEvent::RightClick, false, false, false },
    { IEntryPlatform::Windows, IEntryEvent::FocusLost, false, true, false },
    { IEntryPlatform::Windows, IEntryEvent::WindowClosed, false, false, false },
    { IEntryPlatform::Mac, IEntryEvent::Enter, false, false, true },
    { IEntryPlatform::Mac, IEntryEvent::ClickElsewhere, true, false, false },
    { IEntryPlatform::Mac, IEntryEvent::RightClick, false, false, false },
    { IEntryPlatform::Mac, IEntryEvent::FocusLost, false, false, true },
    { IEntryPlatform::Mac, IEntryEvent::WindowClosed, false, false, false },
  };
  for (const auto& c : cases)
  {
    Editor e;
    IControl* ctl = e.Add(IRECT(0, 0, 40, 40), 1);
    ITextEntry entry(c.platform);
    ASSERT_TRUE(entry.Open(e.gui, ctl, e.plug->GetParam(1)));
    EXPECT_FALSE(entry.Open(e.gui, ctl, e.plug->GetParam(1)));  // one box at a time
    EXPECT_EQ(entry.OnEvent(c.event, "33", -1), c.passClick);
    EXPECT_EQ(entry.IsOpen(), c.stillOpen);
    EXPECT_EQ(e.plug->GetParam(1)->Value(), c.committed ? 33.0 : 60.0);
  }

  // Picking a list item: Windows commits its text with a gesture, macOS its
  // index without one.
  for (const IEntryPlatform p : { IEntryPlatform::Windows, IEntryPlatform::Mac })
  {
    Editor e;
    IControl* ctl = e.Add(IRECT(0, 0, 40, 40), 0);
    ITextEntry entry(p);
    ASSERT_TRUE(entry.Open(e.gui, ctl, e.plug->GetParam(0)));
    entry.OnEvent(IEntryEvent::PickItem, "ignored", 2);
    EXPECT_EQ(e.plug->GetParam(0)->Value(), 2.0);
    EXPECT_EQ(e.plug->CountCalls("begin"), p == IEntryPlatform::Windows ? 1 : 0);
  }

  // The headless layer opens one box per right-click and keeps the first.
  Editor e;
  IControl* a = e.Add(IRECT(0, 0, 40, 40), 1);
  IControl* b = e.Add(IRECT(50, 0, 90, 40), 2);
  MouseModifiers right(false, true);
  a->OnMouseDown(5, 5, &right);
  b->OnMouseDown(55, 5, &right);
  EXPECT_EQ(e.gui->EntryControl(), a);
  e.gui->CommitEntry("12");
  EXPECT_FALSE(e.gui->EntryOpen());
  EXPECT_EQ(e.plug->GetParam(1)->Value(), 12.0);
}

// The box's own editing, as the X11 layer drives it: one script of keys a
// row, from "h\xc3\xa9llo" (a two-byte character second).
TEST(EditorText, EntryBoxEditingModel)
{
  using K = ITextEntry::EditKey;
  struct Op
  {
    char what;  // k key, s shifted key, t type, p place caret
    K key;
    const char* text;
    int at;
  };
  const Op home{ 'k', K::Home, nullptr, 0 }, end{ 'k', K::End, nullptr, 0 }, left{ 'k', K::Left, nullptr, 0 },
      right{ 'k', K::Right, nullptr, 0 }, back{ 'k', K::Backspace, nullptr, 0 },
      del{ 'k', K::Delete, nullptr, 0 }, all{ 'k', K::SelectAll, nullptr, 0 },
      shiftRight{ 's', K::Right, nullptr, 0 };
  const std::string full(2000, 'a');
  const struct
  {
    const char* what;
    std::vector<Op> ops;
    std::string text;
    int caret, selStart, selEnd;
  } cases[] = {
    { "typing at the end", { end, { 't', K::End, " x", 0 } }, "h\xc3\xa9llo x", 8, 8, 8 },
    { "typing replaces the selection", { all, { 't', K::End, "ab", 0 } }, "ab", 2, 2, 2 },
    { "backspace before the caret", { end, left, left, back }, "h\xc3\xa9lo", 3, 3, 3 },
    { "whole characters", { home, right, right, back }, "hllo", 1, 1, 1 },
    { "delete after the caret", { home, right, right, del }, "h\xc3\xa9lo", 3, 3, 3 },
    { "shift extends", { home, shiftRight, shiftRight, { 't', K::End, "X", 0 } }, "Xllo", 1, 1, 1 },
    { "left collapses a selection", { all, left }, "h\xc3\xa9llo", 0, 0, 0 },
    { "a caret inside a character snaps back", { { 'p', K::End, nullptr, 2 } }, "h\xc3\xa9llo", 1, 1, 1 },
    { "control characters are not typed",
      { end, { 't', K::End, "\x01\t\x7f", 0 } },
      "h\xc3\xa9llo",
      6,
      6,
      6 },
    { "the text stops at what a commit reads",
      { all, { 't', K::End, full.c_str(), 0 } },
      std::string(999, 'a'),
      999,
      999,
      999 },
  };
  for (const auto& c : cases)
  {
    Editor e;
    IEditableTextControl* ctl =
        new IEditableTextControl(e.plug.get(), IRECT(0, 0, 80, 20), IText(), "h\xc3\xa9llo");
    e.gui->AddControl(ctl);
    ITextEntry entry(IEntryPlatform::Windows);
    ASSERT_TRUE(entry.Open(e.gui, ctl));
    for (const Op& op : c.ops)
    {
      if (op.what == 't')
        entry.Type(op.text, (int)std::strlen(op.text));
      else if (op.what == 'p')
        entry.PlaceCaret(op.at);
      else
        entry.Edit(op.key, op.what == 's');
    }
    EXPECT_EQ(entry.Text(), c.text) << c.what;
    EXPECT_EQ(entry.Caret(), c.caret) << c.what;
    EXPECT_EQ(entry.SelectionStart(), c.selStart) << c.what;
    EXPECT_EQ(entry.SelectionEnd(), c.selEnd) << c.what;
    entry.End(IEntryEvent::Enter);
    EXPECT_FALSE(entry.IsOpen());
    EXPECT_EQ(std::string(ctl->GetText()), c.text) << c.what;
  }

  // Read-only boxes take no text; lists move their highlight within the
  // items and commit the highlighted one when picked, never what is typed.
  Editor e;
  IEditableTextControl* ro =
      new IEditableTextControl(e.plug.get(), IRECT(0, 0, 80, 20), IText(), "fixed", false);
  e.gui->AddControl(ro);
  ITextEntry box(IEntryPlatform::Windows);
  ASSERT_TRUE(box.Open(e.gui, ro));
  EXPECT_FALSE(box.Type("x", 1));
  EXPECT_FALSE(box.Edit(K::Backspace));
  box.Close();

  IControl* list = e.Add(IRECT(0, 0, 40, 40), 0);
  ASSERT_TRUE(box.Open(e.gui, list, e.plug->GetParam(0)));
  const int items = (int)box.Layout().items.size();
  ASSERT_GT(items, 2);
  EXPECT_FALSE(box.Type("7", 1));
  for (int i = 0; i < items + 3; ++i) box.Edit(K::Down);
  EXPECT_EQ(box.Highlighted(), items - 1);
  box.Edit(K::Up);
  EXPECT_EQ(box.Highlighted(), items - 2);
  EXPECT_FALSE(box.Highlight(items));
  box.End(IEntryEvent::PickItem);
  EXPECT_EQ(e.plug->GetParam(0)->Value(), (double)(items - 2));
}

}  // namespace
