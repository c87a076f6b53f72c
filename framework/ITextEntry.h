// The platform-neutral rules of the entry box a right-click opens: its
// layout and what ends it.
//
// The core lays a box out here when a control asks for one; a window layer
// opens its native widget from that layout and reports back what ended the
// box; ITextEntry decides whether that commits, discards or keeps the box
// open, and applies a commit. (Implemented in IGraphicsText.cpp.)
//
// Threads: UI thread.
#pragma once

#include <string>
#include <vector>

class IControl;
class IEditableTextControl;
class IGraphics;
class IParam;

// ================================================================ entry box

// Whose conventions the box follows; window systems without their own
// (X11, headless) use the Windows ones.
enum class IEntryPlatform
{
  Windows,
  Mac
};

// What a window layer must create. Coordinates are editor pixels (y down);
// Windows values are whole, macOS keeps the centre's fraction.
struct IEntryBoxLayout
{
  enum Kind
  {
    kTextField,
    kListBox
  };
  enum Align
  {
    kAlignLeft,
    kAlignCenter,
    kAlignRight
  };

  Kind kind = kTextField;
  double x = 0, y = 0, w = 0, h = 0;
  std::string text;           // initial text of a text field
  bool selectAll = false;     // whole text selected on opening
  bool multiLine = false;     // Windows edit style
  bool truncateTail = false;  // macOS field style
  bool readOnly = false;
  bool secure = false;  // masked input
  int align = kAlignCenter;
  std::vector<std::string> items;  // list box items, value order
  int selected = -1;               // the item matching the current value, -1 none
  int visibleItems = 0;            // macOS combo box
  std::string fontName = "Arial";
  double fontSize = 14;  // Windows: cell height; macOS: points
  bool bold = false, italic = false;
};

// Widths and positions, exposed for the layers and tests.
namespace IEntryBoxRules
{
// max(24, 8 * length + 24) over the items; 24 for none.
int ListBoxWidth(const std::vector<std::string>& items);
// The box for a parameter control; false when control or param is null.
bool ForParam(IControl* control, IParam* param, IEntryPlatform platform, IEntryBoxLayout* out);
// The box for an editable text control; false when control is null.
bool ForTextControl(IEditableTextControl* control, IEntryPlatform platform, IEntryBoxLayout* out);
}  // namespace IEntryBoxRules

// What ended (or might end) an open box.
enum class IEntryEvent
{
  Enter,           // Enter in a text field
  PickItem,        // an item of the list was chosen
  ClickElsewhere,  // left click in the editor outside the box
  RightClick,      // right click in the editor
  FocusLost,       // keyboard focus left the box
  WindowClosed     // the editor window is closing
};

// One open entry box and its end. The core keeps one per editor.
class ITextEntry
{
public:
  explicit ITextEntry(IEntryPlatform platform) : mPlatform(platform) {}

  // [UI thread] Opens for a parameter control or a text control; false (and
  // nothing changes) when a box is already open or the arguments are null.
  bool Open(IGraphics* graphics, IControl* control, IParam* param);
  bool Open(IGraphics* graphics, IEditableTextControl* control);
  bool IsOpen() const { return mControl != nullptr; }
  IControl* Control() const { return mControl; }
  IParam* Param() const { return mParam; }
  const IEntryBoxLayout& Layout() const { return mLayout; }

  // [UI thread] An event while open, with the box's current text and
  // selected item (-1 none). Commits or discards as the platform does and
  // returns true when the triggering click should still reach the editor.
  // The box is closed afterwards unless the platform keeps it open.
  bool OnEvent(IEntryEvent event, const char* text, int selected);

  // [UI thread] Direct ends, for layers that know what they want.
  void Commit(const char* text, int selected);
  void Discard();
  // [UI thread] Forgets the box without committing or redrawing anything.
  void Close();

  // ------------------------------------------------------------ editing
  // For layers that draw the box themselves (X11, headless): its text, the
  // caret and the selection, which runs between an anchor and the caret
  // (byte offsets into the UTF-8 text, always on character boundaries),
  // and a list's highlighted item. Set from the layout when the box opens;
  // native boxes do their own editing and report through OnEvent.
  enum class EditKey
  {
    Left,
    Right,
    Home,
    End,
    Backspace,
    Delete,
    Up,
    Down,
    SelectAll
  };
  const std::string& Text() const { return mText; }
  int Caret() const { return mCaret; }
  int SelectionStart() const { return mAnchor < mCaret ? mAnchor : mCaret; }
  int SelectionEnd() const { return mAnchor < mCaret ? mCaret : mAnchor; }
  int Highlighted() const { return mHighlight; }
  // [UI thread] Each returns true when the box changed and wants a redraw.
  // Typed text replaces the selection; control characters are ignored, and
  // the text stays within what a commit reads back.
  bool Type(const char* utf8, int length);
  // extend keeps the anchor (shift held); Up and Down move a list's
  // highlight.
  bool Edit(EditKey key, bool extend = false);
  // The caret to offset (a click), clamped to the text.
  bool PlaceCaret(int offset, bool extend = false);
  bool Highlight(int item);
  // [UI thread] Ends the box as OnEvent does, with the box's own text; a
  // list reads as its chosen item (the highlight is not a choice), and a
  // click elsewhere with none chosen discards rather than commit nothing.
  bool End(IEntryEvent event);

  // Longest text a box holds: what a commit reads back.
  static const int kMaxTextBytes = 999;

private:
  void AfterClose(IGraphics* graphics, IControl* control);
  void StartEditing();
  int PrevChar(int offset) const;
  int NextChar(int offset) const;

  IEntryPlatform mPlatform;
  IGraphics* mGraphics = nullptr;
  IControl* mControl = nullptr;
  IParam* mParam = nullptr;
  IEntryBoxLayout mLayout;
  std::string mText;
  int mCaret = 0, mAnchor = 0;
  int mHighlight = -1;
};
