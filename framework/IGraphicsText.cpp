// Editor text.
//
// Contents:
//   - font cache
//   - FindOrCreateFont, DrawStyledText
//   - PromptUserInput, ApplyTextEntry
//   - IEditableTextControl
//   - entry-box rules and ITextEntry
#include "IGraphicsText.h"

#include "IGraphics.h"
#include "IParam.h"
#include "IPlugBase.h"
#include "lice_text.h"
#include "mutex.h"
#include "ptrlist.h"

#include <algorithm>
#include <cstring>
#include <typeinfo>

// ================================================================ font cache

namespace
{

struct CachedFontEntry
{
  int size;
  int orientation;
  int style;
  char name[36];
  LICE_CachedFont* font;
};

// Lives until the library unloads; then every font goes, in list order.
struct FontCacheStore
{
  WDL_Mutex mutex;
  WDL_PtrList<CachedFontEntry> list;

  ~FontCacheStore()
  {
    for (int i = 0; i < list.GetSize(); ++i) delete list.Get(i)->font;
    list.Empty(true);
  }
};

FontCacheStore& Fonts()
{
  static FontCacheStore store;
  return store;
}

bool SameKey(const CachedFontEntry* e, const IText* txt)
{
  return e->size == txt->mTextSize && e->orientation == txt->mAngle && e->style == txt->mFontStyle &&
         !strncmp(e->name, txt->mFontName, sizeof(e->name));
}

}  // namespace

LICE_CachedFont* IFontCache::Find(const IText* txt)
{
  if (!txt) return nullptr;
  FontCacheStore& c = Fonts();
  WDL_MutexLock lock(&c.mutex);
  for (int i = 0; i < c.list.GetSize(); ++i)
  {
    CachedFontEntry* e = c.list.Get(i);
    if (e->font && SameKey(e, txt)) return e->font;
  }
  return nullptr;
}

void IFontCache::Add(const IText* txt, LICE_CachedFont* font)
{
  if (!txt || !font) return;
  CachedFontEntry* e = new CachedFontEntry;
  e->size = txt->mTextSize;
  e->orientation = txt->mAngle;
  e->style = txt->mFontStyle;
  memset(e->name, 0, sizeof(e->name));
  memcpy(e->name, txt->mFontName, strnlen(txt->mFontName, sizeof(txt->mFontName) - 1));
  e->font = font;
  FontCacheStore& c = Fonts();
  WDL_MutexLock lock(&c.mutex);
  const int before = c.list.GetSize();
  // Without room in the list the font is still the caller's to use; it is
  // kept (never freed) so that mFontObject stays valid.
  if (c.list.Add(e) != before) delete e;
}

int IFontCache::Size()
{
  FontCacheStore& c = Fonts();
  WDL_MutexLock lock(&c.mutex);
  return c.list.GetSize();
}

LICE_CachedFont* IFontCache::CreateSized(int requested, const std::function<HFONT(int)>& makeNative)
{
  LICE_CachedFont* font = new LICE_CachedFont;
  int h = requested;
  for (int pass = 0; pass < 2; ++pass)
  {
    const int hh = std::max(h, 2);
    HFONT native = makeNative(hh);
    if (!native)
    {
      delete font;
      return nullptr;
    }
    // The cached font owns the native font, and drops the first one when a
    // second pass replaces it.
    font->SetFromPlatformFont(native, LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_FORCE_NATIVE);
    const int lineHeight = font->GetLineHeight();
    if (pass == 1 || lineHeight == hh || lineHeight <= 0) break;
    const double corrected = (double)hh * hh / lineHeight + 0.5;
    h = corrected < 2.0 ? 2 : corrected > 8192.0 ? 8192 : (int)corrected;
  }
  return font;
}

// ================================================================ drawing

LICE_CachedFont* IGraphics::FindOrCreateFont(IText* txt)
{
  if (!txt) return nullptr;
  if (LICE_CachedFont* hit = IFontCache::Find(txt))
  {
    txt->mFontObject = hit;
    return hit;
  }

  int quality;
  switch (txt->mRenderQuality)
  {
    case IText::kQualityDefault: quality = DEFAULT_QUALITY; break;
    case IText::kQualityAntiAliased:
    case IText::kQualityClearType: quality = ANTIALIASED_QUALITY; break;
    default: quality = NONANTIALIASED_QUALITY; break;
  }
  const int weight = (txt->mFontStyle & IText::kStyleBold) ? FW_BOLD : FW_NORMAL;
  const int italic = (txt->mFontStyle & IText::kStyleItalic) ? 1 : 0;
  const int tenths = txt->mAngle * 10;
  char face[sizeof(txt->mFontName)];
  memcpy(face, txt->mFontName, sizeof(face));
  face[sizeof(face) - 1] = 0;

  LICE_CachedFont* font = IFontCache::CreateSized(
      txt->mTextSize,
      [&](int hh)
      {
        return CreateFont(hh, 0, tenths, tenths, weight, italic, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, quality, DEFAULT_PITCH, face);
      });
  if (!font) return nullptr;
  IFontCache::Add(txt, font);
  txt->mFontObject = font;
  return font;
}

bool IGraphics::DrawStyledText(IText* txt, const char* str, IRECT* r)
{
  if (!str || !*str) return true;
  if (!txt || !r) return false;
  LICE_IFont* font = txt->mFontObject;
  if (!font) font = FindOrCreateFont(txt);
  if (!font) return false;

  font->SetTextColour(IColorToPixel(txt->mTextColor));
  int flags = DT_NOCLIP;
  if (txt->mTextColor.A < 255) flags |= LICE_DT_USEFGALPHA;
  if (txt->mAlignment == IText::kAlignCenter)
    flags |= DT_CENTER;
  else if (txt->mAlignment != IText::kAlignNear)
    flags |= DT_RIGHT;
  RECT rect = { r->L, r->T, r->R, r->B };
  if (mBackBuffer) font->DrawText(mBackBuffer, str, -1, &rect, flags);
  return true;
}

// ================================================================ opened and committed text

void IGraphics::PromptUserInput(IControl* control, IParam* param)
{
  if (mEntry.Open(this, control, param) && !PlatformOpenEntry()) mEntry.Close();
}

void IGraphics::PromptUserInput(IEditableTextControl* control)
{
  if (mEntry.Open(this, control) && !PlatformOpenEntry()) mEntry.Close();
}

void IGraphics::ApplyTextEntry(IControl* control, IParam* param, const char* text)
{
  EventScope scope(this);
  if (!control || !text) return;
  if (!param)
  {
    // A text control: the new text is kept, the plug-in is not told.
    IEditableTextControl* tc = dynamic_cast<IEditableTextControl*>(control);
    if (tc && tc->mEditable && strcmp(text, tc->mStr.Get()) != 0)
    {
      tc->SetDirty(false);
      tc->mStr.Set(text);
    }
    return;
  }
  // A display text picks its value; anything else is read as a number.
  const double normalized = param->GetUnitValue(param->ValueFromText(text));
  const int idx = control->ParamIdx();
  if (idx >= 0 && mPlug)
  {
    mPlug->BeginParamGesture(idx);
    control->ApplyUserValue(normalized);
    mPlug->EndParamGesture(idx);
  }
  else
  {
    control->ApplyUserValue(normalized);
  }
}

// ================================================================ IEditableTextControl

IEditableTextControl::IEditableTextControl(IPlugBase* plug, IRECT rect, const IText& text, const char* str,
                                           bool editable, bool secure)
  : IControl(plug, rect), mText(text), mStr(), mEditable(editable), mSecure(secure)
{
  mText.mFontObject = nullptr;
  mStr.Set(str ? str : "");
}

bool IEditableTextControl::Draw(IGraphics* graphics)
{
  if (!graphics) return false;
  // Masked text shows as many stars as it has bytes.
  if (mSecure)
  {
    std::string stars(strlen(mStr.Get()), '*');
    return graphics->DrawStyledText(&mText, stars.c_str(), &mArea);
  }
  return graphics->DrawStyledText(&mText, mStr.Get(), &mArea);
}

void IEditableTextControl::OnMouseDown(int x, int y, MouseModifiers* mod)
{
  (void)x;
  (void)y;
  (void)mod;
  IGraphics* gui = GetGUI();
  if (gui) gui->PromptUserInput(this);
}

void IEditableTextControl::SetTextFromPlug(const char* str)
{
  if (!strcmp(str ? str : "", mStr.Get())) return;
  mStr.Set(str ? str : "");
  SetDirty(false);
}

// ================================================================ entry-box rules

int IEntryBoxRules::ListBoxWidth(const std::vector<std::string>& items)
{
  int w = 24;
  for (const std::string& s : items) w = std::max(w, 8 * (int)s.size() + 24);
  return w;
}

bool IEntryBoxRules::ForParam(IControl* control, IParam* param, IEntryPlatform platform, IEntryBoxLayout* out)
{
  if (!control || !param || !out) return false;
  IEntryBoxLayout box;
  const IRECT& a = control->GetRECT();
  // The centre in single precision, as the window layers compute it.
  float cx = (float)(a.L + a.R) * 0.5f, cy = (float)(a.T + a.B) * 0.5f;
  const bool win = platform == IEntryPlatform::Windows;
  if (win)
  {
    cx = (float)(int)cx;
    cy = (float)(int)cy;
  }

  char current[MAX_PARAM_DISPLAY_TEXT];
  param->GetDisplayForHost(current);

  const int n = param->NDisplayTexts();
  if (n > 0 && (param->Type() == IParam::kTypeBool || param->Type() == IParam::kTypeEnum))
  {
    box.kind = IEntryBoxLayout::kListBox;
    for (int v = 0; v < n; ++v)
    {
      box.items.push_back(param->TextForValue(v));
      if (box.items.back() == current) box.selected = v;  // the last match wins
    }
    const int w = IEntryBoxRules::ListBoxWidth(box.items);
    box.w = w;
    box.y = cy;
    if (win)
    {
      box.x = (int)cx - w / 2;
      box.h = 36 * (n + 1);
    }
    else
    {
      box.x = (int)cx - w / 2;
      box.h = 26;
      box.visibleItems = n;
    }
  }
  else
  {
    box.kind = IEntryBoxLayout::kTextField;
    box.text = current;
    if (win)
    {
      char widest[MAX_PARAM_DISPLAY_TEXT];
      param->FormatDisplay(true, widest, 1.0);
      const int w = std::max(7 * (int)strlen(widest) + 6, 32);
      box.w = w;
      box.h = 16;
      box.x = (int)cx - w / 2;
      box.y = cy - 8;
      box.selectAll = true;
      box.multiLine = true;
    }
    else
    {
      box.w = 42;
      box.h = 21;
      box.x = cx - 21;
      box.y = cy - 11;
      box.truncateTail = true;
    }
  }
  box.align = IEntryBoxLayout::kAlignCenter;
  box.fontName = "Arial";
  box.fontSize = win ? 14 : 11;
  *out = box;
  return true;
}

bool IEntryBoxRules::ForTextControl(IEditableTextControl* control, IEntryPlatform platform,
                                    IEntryBoxLayout* out)
{
  if (!control || !out) return false;
  IEntryBoxLayout box;
  const IRECT& a = control->GetRECT();
  const bool win = platform == IEntryPlatform::Windows;
  box.kind = IEntryBoxLayout::kTextField;
  box.x = a.L;
  box.w = a.R - a.L;
  box.y = win ? a.T : a.T - 3;
  box.h = win ? a.B - a.T : a.B - a.T + 6;
  box.text = control->GetText();
  box.readOnly = !control->IsEditable();
  box.secure = control->IsSecure();
  const IText& t = control->GetIText();
  box.align = t.mAlignment == IText::kAlignNear  ? IEntryBoxLayout::kAlignLeft
              : t.mAlignment == IText::kAlignFar ? IEntryBoxLayout::kAlignRight
                                                 : IEntryBoxLayout::kAlignCenter;
  box.fontName = t.mFontName;
  if (win)
  {
    box.fontSize = t.mTextSize;
    box.bold = t.mFontStyle == IText::kStyleBold;
    box.italic = t.mFontStyle == IText::kStyleItalic;
  }
  else
  {
    box.fontSize = (int)(t.mTextSize * 0.75);
  }
  *out = box;
  return true;
}

// ================================================================ ITextEntry

bool ITextEntry::Open(IGraphics* graphics, IControl* control, IParam* param)
{
  if (IsOpen() || !graphics) return false;
  if (!IEntryBoxRules::ForParam(control, param, mPlatform, &mLayout)) return false;
  mGraphics = graphics;
  mControl = control;
  mParam = param;
  StartEditing();
  return true;
}

bool ITextEntry::Open(IGraphics* graphics, IEditableTextControl* control)
{
  if (IsOpen() || !graphics) return false;
  if (!IEntryBoxRules::ForTextControl(control, mPlatform, &mLayout)) return false;
  mGraphics = graphics;
  mControl = control;
  mParam = nullptr;
  StartEditing();
  return true;
}

void ITextEntry::Commit(const char* text, int selected)
{
  if (!IsOpen()) return;
  IControl* control = mControl;
  IParam* param = mParam;
  IGraphics* graphics = mGraphics;
  const bool combo = mLayout.kind == IEntryBoxLayout::kListBox;
  Close();
  if (mPlatform == IEntryPlatform::Mac && combo && param && selected >= 0)
  {
    // A picked combo item is its index, not its text; no gesture.
    control->ApplyUserValue(param->GetUnitValue((double)selected));
  }
  else
  {
    // Windows reads the box into 1000 characters.
    std::string t = text ? text : "";
    if (mPlatform == IEntryPlatform::Windows && t.size() > 999) t.resize(999);
    graphics->ApplyTextEntry(control, param, t.c_str());
  }
  AfterClose(graphics, control);
}

void ITextEntry::Discard()
{
  if (!IsOpen()) return;
  IControl* control = mControl;
  IGraphics* graphics = mGraphics;
  Close();
  AfterClose(graphics, control);
}

void ITextEntry::AfterClose(IGraphics* graphics, IControl* control)
{
  // Windows sends the control's value again whether the box committed or
  // not; macOS redraws the whole view.
  if (mPlatform == IEntryPlatform::Windows)
    control->SetDirty(true);
  else
    graphics->SetAllControlsDirty();
  // The box covered it until now.
  control->RedrawNextFrame();
}

bool ITextEntry::OnEvent(IEntryEvent event, const char* text, int selected)
{
  if (!IsOpen()) return true;
  const bool win = mPlatform == IEntryPlatform::Windows;
  switch (event)
  {
    case IEntryEvent::Enter:
    case IEntryEvent::PickItem:
      if (win && event == IEntryEvent::PickItem && selected >= 0 && selected < (int)mLayout.items.size())
        Commit(mLayout.items[selected].c_str(), selected);
      else
        Commit(text, selected);
      return false;
    case IEntryEvent::ClickElsewhere:
      if (win)
        Commit(text, selected);
      else
        Discard();
      return true;
    case IEntryEvent::RightClick: Discard(); return false;
    case IEntryEvent::FocusLost:
      if (!win) Commit(text, selected);
      return false;
    case IEntryEvent::WindowClosed: Close(); return false;
  }
  return false;
}

void ITextEntry::Close()
{
  mGraphics = nullptr;
  mControl = nullptr;
  mParam = nullptr;
}

// ================================================================ ITextEntry editing

namespace
{

// The longest prefix of at most maxBytes that ends between characters.
int CutAtChar(const std::string& s, int maxBytes)
{
  int p = maxBytes < (int)s.size() ? maxBytes : (int)s.size();
  while (p > 0 && p < (int)s.size() && ((unsigned char)s[(size_t)p] & 0xC0) == 0x80) --p;
  return p;
}

}  // namespace

void ITextEntry::StartEditing()
{
  mText = mLayout.text;
  if ((int)mText.size() > kMaxTextBytes) mText.resize((size_t)CutAtChar(mText, kMaxTextBytes));
  mCaret = (int)mText.size();
  mAnchor = mLayout.selectAll ? 0 : mCaret;
  mHighlight = mLayout.selected;
}

int ITextEntry::PrevChar(int offset) const
{
  if (offset <= 0) return 0;
  int p = offset - 1;
  while (p > 0 && ((unsigned char)mText[(size_t)p] & 0xC0) == 0x80) --p;
  return p;
}

int ITextEntry::NextChar(int offset) const
{
  const int n = (int)mText.size();
  if (offset >= n) return n;
  int p = offset + 1;
  while (p < n && ((unsigned char)mText[(size_t)p] & 0xC0) == 0x80) ++p;
  return p;
}

bool ITextEntry::Type(const char* utf8, int length)
{
  if (!IsOpen() || !utf8 || length <= 0 || mLayout.readOnly || mLayout.kind == IEntryBoxLayout::kListBox)
    return false;
  std::string add;
  for (int i = 0; i < length; ++i)
  {
    const unsigned char c = (unsigned char)utf8[i];
    if (c >= 0x20 && c != 0x7f) add.push_back((char)c);
  }
  if (add.empty()) return false;
  const int from = SelectionStart(), to = SelectionEnd();
  // Whole characters only: what does not fit is left out.
  const size_t room = (size_t)kMaxTextBytes - (mText.size() - (size_t)(to - from));
  if (add.size() > room) add.resize((size_t)CutAtChar(add, (int)room));
  if (add.empty()) return false;
  mText.replace((size_t)from, (size_t)(to - from), add);
  mCaret = mAnchor = from + (int)add.size();
  return true;
}

bool ITextEntry::Edit(EditKey key, bool extend)
{
  if (!IsOpen()) return false;
  if (mLayout.kind == IEntryBoxLayout::kListBox)
  {
    const int count = (int)mLayout.items.size();
    if ((key != EditKey::Up && key != EditKey::Down) || count <= 0) return false;
    const int step = key == EditKey::Down ? 1 : -1;
    int item = mHighlight < 0 ? (step > 0 ? 0 : count - 1) : mHighlight + step;
    item = item < 0 ? 0 : (item >= count ? count - 1 : item);
    return Highlight(item);
  }
  const int before = mCaret, anchorBefore = mAnchor;
  const bool selection = mAnchor != mCaret;
  switch (key)
  {
    case EditKey::Left: mCaret = selection && !extend ? SelectionStart() : PrevChar(mCaret); break;
    case EditKey::Right: mCaret = selection && !extend ? SelectionEnd() : NextChar(mCaret); break;
    case EditKey::Home: mCaret = 0; break;
    case EditKey::End: mCaret = (int)mText.size(); break;
    case EditKey::SelectAll:
      mAnchor = 0;
      mCaret = (int)mText.size();
      return mAnchor != anchorBefore || mCaret != before;
    case EditKey::Backspace:
    case EditKey::Delete:
    {
      if (mLayout.readOnly) return false;
      int from = SelectionStart(), to = SelectionEnd();
      if (from == to)
      {
        if (key == EditKey::Backspace)
          from = PrevChar(from);
        else
          to = NextChar(to);
      }
      if (from == to) return false;
      mText.erase((size_t)from, (size_t)(to - from));
      mCaret = mAnchor = from;
      return true;
    }
    default: return false;
  }
  if (!extend) mAnchor = mCaret;
  return mCaret != before || mAnchor != anchorBefore;
}

bool ITextEntry::PlaceCaret(int offset, bool extend)
{
  if (!IsOpen()) return false;
  const int n = (int)mText.size();
  int p = offset < 0 ? 0 : (offset > n ? n : offset);
  while (p > 0 && p < n && ((unsigned char)mText[(size_t)p] & 0xC0) == 0x80) --p;
  const bool changed = p != mCaret || (!extend && mAnchor != p);
  mCaret = p;
  if (!extend) mAnchor = p;
  return changed;
}

bool ITextEntry::Highlight(int item)
{
  if (!IsOpen() || item < 0 || item >= (int)mLayout.items.size() || item == mHighlight) return false;
  mHighlight = item;
  return true;
}

bool ITextEntry::End(IEntryEvent event)
{
  if (!IsOpen()) return true;
  if (mLayout.kind != IEntryBoxLayout::kListBox) return OnEvent(event, mText.c_str(), -1);
  const int n = (int)mLayout.items.size();
  const std::string chosen =
      mLayout.selected >= 0 && mLayout.selected < n ? mLayout.items[mLayout.selected] : "";
  // An empty text would read as 0.
  if (event == IEntryEvent::ClickElsewhere && chosen.empty()) event = IEntryEvent::RightClick;
  return OnEvent(event, chosen.c_str(), mHighlight);
}
