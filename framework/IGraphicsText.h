// Editor text: the process-wide font cache and the editable text control;
// the entry box a right-click opens is in ITextEntry.h.
//
// Threads: UI thread, except the font cache, which any editor instance may
// use (it holds its own mutex only while searching or appending).
#pragma once

#include "IControl.h"
#include "ITextEntry.h"
#include "lice_dc.h"
#include "wdlstring.h"

#include <functional>
#include <string>
#include <vector>

class LICE_CachedFont;

// ================================================================ font cache

// Fonts by (size, angle, style, name); colour, alignment and quality are not
// part of the key. Entries live until the library unloads.
namespace IFontCache
{
// [any thread, cache mutex] the cached font for the style's key, or null.
LICE_CachedFont* Find(const IText* txt);
// [any thread, cache mutex] appends an entry; the cache owns font.
void Add(const IText* txt, LICE_CachedFont* font);
// [any thread, cache mutex] number of entries (tests and diagnostics).
int Size();
// [UI thread] a cached font whose line height comes close to requested:
// makeNative(h) creates the platform font of cell height h; when the first
// font's line height is off, one corrected height is tried. Null when a
// platform font cannot be made.
LICE_CachedFont* CreateSized(int requested, const std::function<HFONT(int)>& makeNative);
}  // namespace IFontCache

// ================================================================ IEditableTextControl

// Text the user may edit through a text field over the control.
class IEditableTextControl : public IControl
{
public:
  // [UI thread]
  IEditableTextControl(IPlugBase* plug, IRECT rect, const IText& text, const char* str, bool editable = true,
                       bool secure = false);

  bool Draw(IGraphics* graphics) override;
  // A left click opens the editor's text field when editable.
  void OnMouseDown(int x, int y, MouseModifiers* mod) override;

  // [UI thread] replaces the text without telling the plug-in.
  void SetTextFromPlug(const char* str);
  const char* GetText() const { return mStr.Get(); }
  const IText& GetIText() const { return mText; }
  bool IsEditable() const { return mEditable; }
  bool IsSecure() const { return mSecure; }

protected:
  friend class IGraphics;

  IText mText;
  WDL_String mStr;
  IColor mBackgroundColor;  // kept for layout compatibility; the entry box ignores it
  bool mEditable;
  bool mSecure;
};
