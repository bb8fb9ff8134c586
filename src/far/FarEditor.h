#pragma once

#include "FarApi.h"
#include "FarErrors.h"
#include "FarPlugin.h"

#include <memory>
#include <string>
#include <vector>

// FAR's editor calls (EditorControl commands and the Editor function). Class-level: an EditorId
// of -1 means FAR's current editor window. Every call zero-fills its FAR structure and sets its
// StructSize; the results are FAR's success flags.
class TFarEditor : public TFarCommonModule {
public:
  // One key-bar label: a function key with its modifiers, its text and long text.
  struct TKeyBarLabel {
    WORD VirtualKeyCode = 0;
    DWORD ControlKeyState = 0;
    std::wstring Text;
    std::wstring LongText;
  };

  static bool GetInfo(intptr_t EditorId, EditorInfo &Info);
  // Line is 0-based; Text is exactly the line's characters.
  static bool GetString(intptr_t EditorId, intptr_t Line, std::wstring &Text);
  // The selection within the line: SelStart is 1-based, 0 with SelLength 0 when the line has no
  // selection; a selection running past the end of the line covers the whole line's length.
  static bool GetString(intptr_t EditorId, intptr_t Line, std::wstring &Text, intptr_t &SelStart,
                        intptr_t &SelLength);
  static bool Redraw(intptr_t EditorId);
  // -1 keeps a value.
  static bool SetPosition(intptr_t EditorId, intptr_t CurLine, intptr_t CurPos = -1, intptr_t CurTabPos = -1,
                          intptr_t TopScreenLine = -1, intptr_t LeftPos = -1, intptr_t Overtype = -1);
  // Puts the cursor on Line (column Pos, -1 keeps it); from line 5 on the line becomes the sixth
  // line of the window, above that FAR keeps the top line.
  static bool GotoLine(intptr_t EditorId, intptr_t Line, intptr_t Pos = -1);
  // Replaces the line's text; the line keeps its end of line.
  static bool SetString(intptr_t EditorId, intptr_t Line, const std::wstring &Text);
  // Replaces the listed key-bar labels; the others keep their text.
  static bool SetKeyBar(intptr_t EditorId, const std::vector<TKeyBarLabel> &Labels);
  // Colours columns StartPos to EndPos (inclusive, 0-based) of a line, owned by the plug-in (its
  // GUID), at the normal priority.
  static bool AddColor(intptr_t EditorId, intptr_t Line, intptr_t StartPos, intptr_t EndPos,
                       const FarColor &Color);
  // Removes every colour the plug-in gave the line.
  static bool DeleteColors(intptr_t EditorId, intptr_t Line);
  // FAR's Viewer on a file; true when FAR showed it.
  static bool OpenViewer(const std::wstring &FileName, const std::wstring &Title, VIEWER_FLAGS Flags);
  // FAR's Editor. Succeeds only when FAR reports the editor open (EEC_MODIFIED, which is also what
  // a non-modal editor returns) and then describes its current window, whose id is returned.
  // StartLine and StartChar are FAR's 1-based values (-1, -1: the saved position).
  static bool OpenEditor(intptr_t &EditorId, const std::wstring &FileName, const std::wstring &Title,
                         intptr_t X1, intptr_t Y1, intptr_t X2, intptr_t Y2, EDITOR_FLAGS Flags,
                         intptr_t StartLine, intptr_t StartChar, uintptr_t CodePage);
};

// Binds one object of the plug-in to one FAR editor window opened without blocking the plug-in.
// A module-wide registry maps FAR's editor ids to the live objects; FAR's key events in the window
// reach ProcessKey, and when FAR closes the window EditorClosing decides whether the object is
// freed or the window is opened again at the same place.
//
// Ownership: the creator owns the object until it is shown; then it hands it over with Adopt, and
// from then on the registry frees it when its window closes for good.
class TFarEditorManaged : public TFarEditor {
public:
  // Registers the object; EditorId stays -1 until the first Show.
  explicit TFarEditorManaged(const std::wstring &FileName);
  ~TFarEditorManaged() override;
  TFarEditorManaged(const TFarEditorManaged &) = delete;
  TFarEditorManaged &operator=(const TFarEditorManaged &) = delete;

  // Opens the window (FAR returns at once and the window stays open beside the plug-in). False
  // when FAR cannot open it; nothing changes then. Raises EFarEditorManagedError "The editor is
  // already showing" while a window is open for this object.
  bool Show(const std::wstring &Title, intptr_t X1, intptr_t Y1, intptr_t X2, intptr_t Y2, EDITOR_FLAGS Flags,
            intptr_t StartLine, intptr_t StartChar, uintptr_t CodePage);

  // The editor calls on this object's own window. The class-level forms whose arguments cannot
  // be confused with these stay visible; SetPosition and GotoLine of another window are reached
  // as TFarEditor::SetPosition and TFarEditor::GotoLine.
  using TFarEditor::GetInfo;
  using TFarEditor::GetString;
  using TFarEditor::Redraw;
  using TFarEditor::SetKeyBar;
  using TFarEditor::SetString;
  bool GetInfo(EditorInfo &Info) const { return TFarEditor::GetInfo(FEditorId, Info); }
  bool GetString(intptr_t Line, std::wstring &Text) const {
    return TFarEditor::GetString(FEditorId, Line, Text);
  }
  bool GetString(intptr_t Line, std::wstring &Text, intptr_t &SelStart, intptr_t &SelLength) const {
    return TFarEditor::GetString(FEditorId, Line, Text, SelStart, SelLength);
  }
  bool Redraw() const { return TFarEditor::Redraw(FEditorId); }
  bool SetPosition(intptr_t CurLine, intptr_t CurPos = -1, intptr_t CurTabPos = -1,
                   intptr_t TopScreenLine = -1, intptr_t LeftPos = -1, intptr_t Overtype = -1) const {
    return TFarEditor::SetPosition(FEditorId, CurLine, CurPos, CurTabPos, TopScreenLine, LeftPos, Overtype);
  }
  bool GotoLine(intptr_t Line, intptr_t Pos = -1) const { return TFarEditor::GotoLine(FEditorId, Line, Pos); }
  bool SetString(intptr_t Line, const std::wstring &Text) const {
    return TFarEditor::SetString(FEditorId, Line, Text);
  }
  bool SetKeyBar(const std::vector<TKeyBarLabel> &Labels) const {
    return TFarEditor::SetKeyBar(FEditorId, Labels);
  }

  intptr_t GetEditorId() const { return FEditorId; }
  const std::wstring &GetTitle() const { return FTitle; }
  // The flags given to the last Show (without the flag Show adds itself).
  EDITOR_FLAGS GetFlags() const { return FFlags; }
  uintptr_t GetCodePage() const { return FCodePage; }
  const std::wstring &GetFileName() const { return FFileName; }
  bool IsShowing() const { return FShowing; }

  // The registered object whose window has this id (-1: FAR's current editor window); null when
  // none has.
  static TFarEditorManaged *Find(intptr_t EditorId);
  static bool Find(intptr_t EditorId, TFarEditorManaged *&Editor);

  // The registry takes ownership and frees the object when its window closes for good.
  static void Adopt(std::unique_ptr<TFarEditorManaged> Editor);
  // Frees every object the registry owns (test programs between cases; a plug-in being unloaded
  // leaves them alone, since FAR's windows are gone with it).
  static void FreeAdopted();
  // Number of live (registered) objects.
  static size_t RegisteredCount();

  // FAR's ProcessEditorEventW and ProcessEditorInputW. Nothing escapes: an error is reported under
  // the entry point's name and the neutral 0 is returned.
  static intptr_t HandleEditorEvent(const ProcessEditorEventInfo &Info) noexcept;
  static intptr_t HandleEditorInput(const ProcessEditorInputInfo &Info) noexcept;

protected:
  // FAR closes the window. Clearing FreeObject keeps the object and opens the window again;
  // Result is what ProcessEditorEventW returns.
  virtual void EditorClosing(bool &FreeObject, intptr_t &Result);
  // FAR is about to draw the window (EE_REDRAW): the moment to colour the visible lines. No
  // message, menu or dialog may be shown from here.
  virtual void EditorRedraw() {}
  // After the window was opened again and its position restored.
  virtual void EditorReopened() {}
  // At the end of every successful Show.
  virtual void EditorShown() {}
  // Every key event of the window; true when handled (FAR must not process the key).
  virtual bool ProcessKey(const KEY_EVENT_RECORD &Key);

  void SetFileName(const std::wstring &Value) { FFileName = Value; }

private:
  // The closing of this object's window; see HandleEditorEvent.
  static intptr_t EditorClose(TFarEditorManaged *Editor);
  // Frees the object when the registry owns it; otherwise it only loses its window.
  static void Release(TFarEditorManaged *Editor);

  intptr_t FEditorId = -1;
  std::wstring FTitle;
  EDITOR_FLAGS FFlags = 0;
  uintptr_t FCodePage = 0;
  std::wstring FFileName;
  bool FShowing = false;
};
