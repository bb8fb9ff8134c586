#pragma once

// FAR's editor as the host plays it. Editor opens a window on a real file (read in its code page,
// UTF-8 with or without byte-order mark, UTF-16, or an ANSI page) and gives it an editor id that
// is unique in the whole test program; EditorControl answers the ECTL_* commands on the current
// window (-1) or on a window by id. The scripted user works on the windows through
// THostEditorWindow: edits lines, selects blocks, moves the cursor, presses keys (each key goes to
// the plug-in's ProcessEditorInputW first, as in FAR, and only an unhandled key is processed by
// the editor), saves and closes the window (EE_CLOSE to ProcessEditorEventW, then FAR's
// delete-on-close).
//
// Flags honoured: EF_NONMODAL with EF_IMMEDIATERETURN returns at once and leaves the window open
// for the test to drive; any other editor is a session that takes a TEditInEditor step from the
// script (a modal editor is closed when the step is done). EF_DELETEONCLOSE and
// EF_DELETEONLYFILEONCLOSE delete after the window closed; EF_DISABLESAVEPOS neither saves nor
// restores the position of the file; EF_LOCKED refuses edits; EF_CREATENEW opens a missing file.
//
// A test drives a non-modal editor like this:
//   THostEditor &Editors = THostEditor::Of(Host);
//   THostEditorWindow &W = *Editors.Current();
//   W.MoveCursor(3, 0);
//   bool handled = W.PressKey(VK_F1, LEFT_ALT_PRESSED);
//   W.Save();
//   W.Close();

#include "Host.h"
#include "HostScript.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// A key-bar label as the plug-in set it with ECTL_SETKEYBAR.
struct THostKeyBarLabel {
  WORD VirtualKeyCode = 0;
  DWORD ControlKeyState = 0;
  std::wstring Text;
  std::wstring LongText;
};

// A colour the plug-in gave a line with ECTL_ADDCOLOR; it stays with the line as lines are
// inserted and deleted around it.
struct THostEditorColor {
  intptr_t StartPos = 0, EndPos = 0;
  uintptr_t Priority = 0;
  EDITORCOLORFLAGS Flags = 0;
  FarColor Color{};
  GUID Owner{};
};

class THostEditor;

class THostEditorWindow {
public:
  THostEditorWindow(TFarHost &host, THostEditor &editor, intptr_t id);
  THostEditorWindow(const THostEditorWindow &) = delete;
  THostEditorWindow &operator=(const THostEditorWindow &) = delete;

  // ---- What FAR shows ----
  intptr_t Id() const { return FId; }
  const std::wstring &FileName() const { return FFileName; }
  // The title the plug-in gave (ECTL_SETTITLE replaces it while set).
  const std::wstring &Title() const { return FTitle; }
  EDITOR_FLAGS Flags() const { return FFlags; }
  uintptr_t CodePage() const { return FCodePage; }
  bool HasBom() const { return FBom; }
  bool IsOpen() const { return FOpen; }
  // Inside its EE_CLOSE: only ECTL_GETINFO and ECTL_GETBOOKMARKS are allowed on it.
  bool IsClosing() const { return FClosing; }
  bool IsModified() const { return FModified; }
  bool IsLocked() const { return (FFlags & EF_LOCKED) != 0; }
  // What ProcessEditorEventW answered to the EE_CLOSE of this window.
  intptr_t CloseResult() const { return FCloseResult; }
  // Text rows and columns of the window (title bar and key bar excluded).
  intptr_t WindowWidth() const { return FWindowWidth; }
  intptr_t WindowHeight() const { return FWindowHeight; }

  size_t LineCount() const { return FLines.size(); }
  const std::wstring &Line(size_t index) const { return FLines.at(index); }
  const std::wstring &Eol(size_t index) const { return FEols.at(index); }
  const std::vector<std::wstring> &Lines() const { return FLines; }
  // The whole text with the lines' own ends of line.
  std::wstring Text() const;

  intptr_t CurLine() const { return FCurLine; }
  intptr_t CurPos() const { return FCurPos; }
  intptr_t TopScreenLine() const { return FTopScreenLine; }
  intptr_t LeftPos() const { return FLeftPos; }
  bool Overtype() const { return FOvertype; }

  // BTYPE_NONE, BTYPE_STREAM or BTYPE_COLUMN.
  int BlockType() const { return FBlockType; }

  // The labels the plug-in set, in the order they were last set; FindKeyBarLabel by key and
  // modifier row (left and right Ctrl or Alt count alike).
  const std::vector<THostKeyBarLabel> &KeyBar() const { return FKeyBar; }
  const THostKeyBarLabel *FindKeyBarLabel(WORD virtualKeyCode, DWORD controlKeyState) const;
  size_t KeyBarSetCount() const { return FKeyBarSetCount; }
  size_t RedrawCount() const { return FRedrawCount; }
  // The colours plug-ins gave the line, in the order they were added.
  const std::vector<THostEditorColor> &Colors(size_t index) const { return FColors.at(index); }
  // How many times the window was drawn (each time after EE_REDRAW to the plug-in).
  size_t DrawCount() const { return FDrawCount; }

  // FAR draws the window: EE_REDRAW to ProcessEditorEventW first, then the lines. FAR does so
  // after every key, edit, scroll and ECTL_REDRAW (never inside another EE_REDRAW), and when a
  // window opened with EF_IMMEDIATERETURN first shows, once the plug-in returned to FAR: a test
  // calls Draw for that.
  void Draw();

  // ---- What the user does ----
  // Brings the window to the front (FAR's window switch).
  void Activate();
  // 0-based line and column; the window scrolls to keep the cursor visible.
  void MoveCursor(intptr_t line, intptr_t pos);
  void ScrollTo(intptr_t topScreenLine, intptr_t leftPos = 0);
  // A stream block from (startLine, startPos) to just before (endLine, endPos).
  void SelectStream(intptr_t startLine, intptr_t startPos, intptr_t endLine, intptr_t endPos);
  // Whole lines first..last as FAR selects them with Shift+Down: the block ends at the start of
  // the line after last.
  void SelectLines(intptr_t first, intptr_t last);
  // A column block over lines first..last, columns startPos to just before endPos.
  void SelectColumn(intptr_t first, intptr_t last, intptr_t startPos, intptr_t endPos);
  void Unselect();
  // Edits as the user makes them (refused in a locked editor, which records a failure).
  void ReplaceLine(size_t index, const std::wstring &text);
  void InsertLine(size_t index, const std::wstring &text);
  void DeleteLine(size_t index);
  // Types the characters one key at a time ('\n' is Enter), each offered to the plug-in first.
  void TypeText(const std::wstring &text);
  // One key (down, then up) as FAR delivers it: ProcessEditorInputW first; a key the plug-in did
  // not handle is processed by the editor (cursor keys, Home/End, PgUp/PgDn, Enter, Backspace,
  // Del, characters, F2 saves, Esc and F10 close). True when the plug-in handled the key down.
  bool PressKey(WORD virtualKeyCode, DWORD controlKeyState = 0, wchar_t character = 0);
  // Any input record (a mouse event, for one); true when the plug-in handled it.
  bool SendInput(const INPUT_RECORD &record);
  // Writes the text back in the window's code page (with its byte-order mark when it had one)
  // and tells the plug-in (EE_SAVE). False when the file cannot be written.
  bool Save();
  // Closes the window as FAR does: EE_CLOSE to ProcessEditorEventW, then FAR's deletes. Unsaved
  // changes are lost, as after answering "no" to FAR's question. Returns the plug-in's answer.
  intptr_t Close();

  // ---- For the editor itself ----
  bool Load(const std::wstring &fileName, EDITOR_FLAGS flags, uintptr_t codePage, std::wstring &why);
  void Place(const std::wstring &title, intptr_t x1, intptr_t y1, intptr_t x2, intptr_t y2);
  intptr_t Control(intptr_t command, intptr_t param1, void *param2);
  void SetStart(intptr_t line, intptr_t pos);

private:
  bool CheckEditable(const wchar_t *what);
  void ClampCursor();
  void KeepCursorVisible();
  // The selection of one line in FAR's terms: SelStart -1 for none; SelEnd -1 past the end.
  void LineSelection(intptr_t line, intptr_t &selStart, intptr_t &selEnd) const;
  void DefaultKey(WORD virtualKeyCode, DWORD controlKeyState, wchar_t character);
  void InsertCharacter(wchar_t character);
  void SplitLine();
  void Backspace();
  void DeleteCharacter();

  intptr_t GetInfo(EditorInfo *info);
  intptr_t GetString(EditorGetString *string);
  intptr_t SetString(const EditorSetString *string);
  intptr_t SetPosition(const EditorSetPosition *position);
  intptr_t SetKeyBar(void *param);
  intptr_t GetFileName(intptr_t size, wchar_t *buffer);
  intptr_t SetTitle(const wchar_t *title);
  intptr_t AddColor(const EditorColor *color);
  intptr_t DeleteColor(const EditorDeleteColor *color);
  intptr_t LineNumber(intptr_t stringNumber) const;

  TFarHost &FHost;
  THostEditor &FEditor;
  intptr_t FId;
  std::wstring FFileName;
  std::wstring FGivenTitle;
  std::wstring FTitle;
  EDITOR_FLAGS FFlags = 0;
  uintptr_t FCodePage = CP_UTF8;
  bool FBom = false;
  bool FOpen = false;
  bool FClosing = false;
  bool FModified = false;
  bool FSavedOnce = false;
  bool FKeyBarReady = false;
  intptr_t FCloseResult = 0;
  intptr_t FX1 = 0, FY1 = 0, FX2 = 0, FY2 = 0;
  intptr_t FWindowWidth = 80;
  intptr_t FWindowHeight = 23;

  std::vector<std::wstring> FLines{L""};
  std::vector<std::wstring> FEols{L""};
  std::vector<std::vector<THostEditorColor>> FColors{{}};
  intptr_t FCurLine = 0;
  intptr_t FCurPos = 0;
  intptr_t FTopScreenLine = 0;
  intptr_t FLeftPos = 0;
  bool FOvertype = false;

  int FBlockType = BTYPE_NONE;
  intptr_t FBlockStartLine = 0, FBlockStartPos = 0, FBlockEndLine = 0, FBlockEndPos = 0;

  std::vector<THostKeyBarLabel> FKeyBar;
  size_t FKeyBarSetCount = 0;
  size_t FRedrawCount = 0;
  size_t FDrawCount = 0;
  bool FDrawing = false;
  // ECTL_GETSTRING's answer lives here until the next call, followed by characters that are not
  // a terminator: a plug-in must use StringLength.
  std::wstring FStringBuffer;

  friend class THostEditor;
};

// Runs a non-immediate editor session: the user's work in the window while Editor has not
// returned. A modal editor is closed when the action is done (unless the action closed it).
// Expect, when not empty, must be part of the window's file name or title.
class TEditInEditor : public THostStep {
public:
  explicit TEditInEditor(std::function<void(THostEditorWindow &)> action, std::wstring expect = {})
      : Action(std::move(action)), Expect(std::move(expect)) {}
  std::wstring Describe() const override;
  std::function<void(THostEditorWindow &)> Action;
  std::wstring Expect;
};

// One Editor call as the plug-in made it.
struct THostEditorCall {
  std::wstring FileName;
  std::wstring Title;
  intptr_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  EDITOR_FLAGS Flags = 0;
  intptr_t StartLine = 0, StartChar = 0;
  uintptr_t CodePage = 0;
  intptr_t Result = 0;
  intptr_t EditorId = -1; // the window opened, -1 for none
};

// One Viewer call as the plug-in made it, with the text the viewer showed.
struct THostViewerCall {
  std::wstring FileName;
  std::wstring Title;
  VIEWER_FLAGS Flags = 0;
  uintptr_t CodePage = 0;
  intptr_t Result = 0;
  std::string Bytes; // the file's contents when the viewer opened it
};

class THostEditor : public THostPart {
public:
  static THostEditor &Of(TFarHost &host) { return host.Part<THostEditor>(); }

  // The window at the front; null when no editor is open or the panels have the focus.
  THostEditorWindow *Current();
  // An open or closed window by id; null when there never was one.
  THostEditorWindow *Find(intptr_t id);
  // The open window on that file (case-insensitive), the frontmost when several; null for none.
  THostEditorWindow *FindOpen(const std::wstring &fileName);
  // Open windows from back to front.
  std::vector<THostEditorWindow *> OpenWindows();
  size_t OpenCount() const { return FOrder.size(); }
  // Every window ever opened, in order of opening.
  const std::vector<std::unique_ptr<THostEditorWindow>> &AllWindows() const { return FWindows; }
  const std::vector<THostEditorCall> &Calls() const { return FCalls; }
  // Every Viewer call. The viewer shows a file it can read (FALSE otherwise): a non-modal one
  // with VF_IMMEDIATERETURN stays open beside the caller, any other is looked at and closed before
  // Viewer returns (then VF_DELETEONCLOSE and VF_DELETEONLYFILEONCLOSE delete the file).
  const std::vector<THostViewerCall> &ViewerCalls() const { return FViewerCalls; }
  intptr_t OpenViewer(const wchar_t *fileName, const wchar_t *title, VIEWER_FLAGS flags, uintptr_t codePage);

  // The user goes to the panels (no editor is current until one is activated or opened).
  void FocusPanels() { FPanelsFocused = true; }
  bool PanelsFocused() const { return FPanelsFocused; }

  // The screen the windows are placed on.
  intptr_t ScreenWidth = 80;
  intptr_t ScreenHeight = 25;

  // Positions FAR remembers for files opened without EF_DISABLESAVEPOS (by lower-case name).
  struct TSavedPosition {
    intptr_t Line = 0, Pos = 0, Top = 0, Left = 0;
  };
  std::map<std::wstring, TSavedPosition> SavedPositions;

  // ---- For the table functions ----
  intptr_t OpenEditor(TFarHost &host, const wchar_t *fileName, const wchar_t *title, intptr_t x1, intptr_t y1,
                      intptr_t x2, intptr_t y2, EDITOR_FLAGS flags, intptr_t startLine, intptr_t startChar,
                      uintptr_t codePage);
  // The target of an EditorControl call: -1 is the current window.
  THostEditorWindow *Target(intptr_t editorId);
  void BringToFront(THostEditorWindow &window);
  void Remove(THostEditorWindow &window);
  static std::wstring PositionKey(const std::wstring &fileName);

private:
  std::vector<std::unique_ptr<THostEditorWindow>> FWindows;
  std::vector<intptr_t> FOrder; // open windows, back to front
  std::vector<THostEditorCall> FCalls;
  std::vector<THostViewerCall> FViewerCalls;
  bool FPanelsFocused = false;
};
