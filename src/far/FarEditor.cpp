#include "FarEditor.h"

#include <algorithm>
#include <mutex>

// ---- TFarEditor ----

namespace {

intptr_t Control(intptr_t EditorId, EDITOR_CONTROL_COMMANDS Command, intptr_t Param1, void *Param2) {
  return FarPlugin().Api(&PluginStartupInfo::EditorControl)(EditorId, Command, Param1, Param2);
}

} // namespace

bool TFarEditor::GetInfo(intptr_t EditorId, EditorInfo &Info) {
  Info = EditorInfo{};
  // The layout every FAR 3 build accepts; the window rectangles after it are not needed.
  Info.StructSize = sizeof(EditorInfo152);
  return Control(EditorId, ECTL_GETINFO, 0, &Info) != 0;
}

namespace {

bool ReadString(intptr_t EditorId, intptr_t Line, std::wstring &Text, intptr_t &SelStart, intptr_t &SelEnd,
                std::wstring &Eol) {
  EditorGetString String{};
  String.StructSize = sizeof(String);
  String.StringNumber = Line;
  bool Result = Control(EditorId, ECTL_GETSTRING, 0, &String) != 0;
  if (Result) {
    // FAR's text is neither owned by us nor zero-terminated: copy exactly StringLength characters.
    Text = TFarModule::FromPChar(String.StringText, String.StringLength > 0 ? String.StringLength : 0);
    Eol = TFarModule::FromPChar(String.StringEOL);
    SelStart = String.SelStart;
    SelEnd = String.SelEnd;
  } else {
    Text.clear();
    Eol.clear();
    SelStart = -1;
    SelEnd = 0;
  }
  return Result;
}

} // namespace

bool TFarEditor::GetString(intptr_t EditorId, intptr_t Line, std::wstring &Text) {
  intptr_t SelStart, SelEnd;
  std::wstring Eol;
  return ReadString(EditorId, Line, Text, SelStart, SelEnd, Eol);
}

bool TFarEditor::GetString(intptr_t EditorId, intptr_t Line, std::wstring &Text, intptr_t &SelStart,
                           intptr_t &SelLength) {
  intptr_t Start, End;
  std::wstring Eol;
  bool Result = ReadString(EditorId, Line, Text, Start, End, Eol);
  if (!Result || Start == -1) {
    SelStart = 0;
    SelLength = 0;
  } else {
    SelStart = Start + 1;
    SelLength = End == -1 ? static_cast<intptr_t>(Text.size()) : End - Start;
  }
  return Result;
}

bool TFarEditor::Redraw(intptr_t EditorId) {
  return Control(EditorId, ECTL_REDRAW, 0, nullptr) != 0;
}

bool TFarEditor::SetPosition(intptr_t EditorId, intptr_t CurLine, intptr_t CurPos, intptr_t CurTabPos,
                             intptr_t TopScreenLine, intptr_t LeftPos, intptr_t Overtype) {
  EditorSetPosition Position{};
  Position.StructSize = sizeof(Position);
  Position.CurLine = CurLine;
  Position.CurPos = CurPos;
  Position.CurTabPos = CurTabPos;
  Position.TopScreenLine = TopScreenLine;
  Position.LeftPos = LeftPos;
  Position.Overtype = Overtype;
  return Control(EditorId, ECTL_SETPOSITION, 0, &Position) != 0;
}

bool TFarEditor::GotoLine(intptr_t EditorId, intptr_t Line, intptr_t Pos) {
  return SetPosition(EditorId, Line, Pos, -1, Line < 5 ? -1 : Line - 5, -1, -1);
}

bool TFarEditor::SetString(intptr_t EditorId, intptr_t Line, const std::wstring &Text) {
  EditorSetString String{};
  String.StructSize = sizeof(String);
  String.StringNumber = Line;
  String.StringLength = static_cast<intptr_t>(Text.size());
  String.StringText = ToPChar(Text);
  String.StringEOL = nullptr;
  return Control(EditorId, ECTL_SETSTRING, 0, &String) != 0;
}

bool TFarEditor::SetKeyBar(intptr_t EditorId, const std::vector<TKeyBarLabel> &Labels) {
  // The strings stay owned by Labels; FAR copies them during the call.
  std::vector<KeyBarLabel> Items(Labels.size());
  for (size_t I = 0; I < Labels.size(); ++I) {
    Items[I].Key.VirtualKeyCode = Labels[I].VirtualKeyCode;
    Items[I].Key.ControlKeyState = Labels[I].ControlKeyState;
    Items[I].Text = ToPChar(Labels[I].Text);
    Items[I].LongText = ToPChar(Labels[I].LongText);
  }
  KeyBarTitles Titles{};
  Titles.CountLabels = Items.size();
  Titles.Labels = Items.data();
  FarSetKeyBarTitles SetTitles{};
  SetTitles.StructSize = sizeof(SetTitles);
  SetTitles.Titles = &Titles;
  return Control(EditorId, ECTL_SETKEYBAR, 0, &SetTitles) != 0;
}

bool TFarEditor::AddColor(intptr_t EditorId, intptr_t Line, intptr_t StartPos, intptr_t EndPos,
                          const FarColor &Color) {
  EditorColor Item{};
  Item.StructSize = sizeof(Item);
  Item.StringNumber = Line;
  Item.StartPos = StartPos;
  Item.EndPos = EndPos;
  Item.Priority = EDITOR_COLOR_NORMAL_PRIORITY;
  Item.Flags = ECF_NONE;
  Item.Color = Color;
  Item.Owner = FarPlugin().GetPluginGuid();
  return Control(EditorId, ECTL_ADDCOLOR, 0, &Item) != 0;
}

bool TFarEditor::DeleteColors(intptr_t EditorId, intptr_t Line) {
  EditorDeleteColor Item{};
  Item.StructSize = sizeof(Item);
  Item.Owner = FarPlugin().GetPluginGuid();
  Item.StringNumber = Line;
  Item.StartPos = -1;
  return Control(EditorId, ECTL_DELCOLOR, 0, &Item) != 0;
}

bool TFarEditor::OpenViewer(const std::wstring &FileName, const std::wstring &Title, VIEWER_FLAGS Flags) {
  return FarPlugin().Api(&PluginStartupInfo::Viewer)(ToPChar(FileName), ToPChar(Title), 0, 0, -1, -1, Flags,
                                                     CP_DEFAULT) != 0;
}

bool TFarEditor::OpenEditor(intptr_t &EditorId, const std::wstring &FileName, const std::wstring &Title,
                            intptr_t X1, intptr_t Y1, intptr_t X2, intptr_t Y2, EDITOR_FLAGS Flags,
                            intptr_t StartLine, intptr_t StartChar, uintptr_t CodePage) {
  EditorId = -1;
  intptr_t Result = FarPlugin().Api(&PluginStartupInfo::Editor)(ToPChar(FileName), ToPChar(Title), X1, Y1, X2,
                                                                Y2, Flags, StartLine, StartChar, CodePage);
  if (Result != EEC_MODIFIED)
    return false;
  EditorInfo Info;
  if (!GetInfo(-1, Info))
    return false;
  EditorId = Info.EditorID;
  return true;
}

// ---- The registry ----

namespace {

// Every live managed editor in order of creation (not owning), the objects the registry owns,
// and the lock that guards both. Never held while calling out of the registry.
struct TEditorRegistry {
  std::mutex Lock;
  std::vector<TFarEditorManaged *> Editors;
  std::vector<std::unique_ptr<TFarEditorManaged>> Owned;
};

TEditorRegistry &Registry() {
  // Created on first use and never destroyed: objects the DLL leaves behind at unload may still
  // unregister themselves after other statics are gone.
  static TEditorRegistry *Instance = new TEditorRegistry();
  return *Instance;
}

} // namespace

// ---- TFarEditorManaged ----

TFarEditorManaged::TFarEditorManaged(const std::wstring &FileName) : FFileName(FileName) {
  TEditorRegistry &R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  R.Editors.push_back(this);
}

TFarEditorManaged::~TFarEditorManaged() {
  TEditorRegistry &R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  auto Position = std::find(R.Editors.begin(), R.Editors.end(), this);
  if (Position != R.Editors.end())
    R.Editors.erase(Position);
}

bool TFarEditorManaged::Show(const std::wstring &Title, intptr_t X1, intptr_t Y1, intptr_t X2, intptr_t Y2,
                             EDITOR_FLAGS Flags, intptr_t StartLine, intptr_t StartChar, uintptr_t CodePage) {
  if (FShowing)
    throw EFarEditorManagedError(L"The editor is already showing");
  intptr_t NewId = -1;
  if (!OpenEditor(NewId, FFileName, Title, X1, Y1, X2, Y2, Flags | EF_IMMEDIATERETURN, StartLine, StartChar,
                  CodePage))
    return false;
  FEditorId = NewId;
  FTitle = Title;
  FFlags = Flags;
  FCodePage = CodePage;
  FShowing = true;
  EditorShown();
  return true;
}

void TFarEditorManaged::EditorClosing(bool & /*FreeObject*/, intptr_t & /*Result*/) {}

bool TFarEditorManaged::ProcessKey(const KEY_EVENT_RECORD & /*Key*/) {
  return false;
}

TFarEditorManaged *TFarEditorManaged::Find(intptr_t EditorId) {
  if (EditorId == -1) {
    EditorInfo Info;
    if (GetInfo(-1, Info))
      EditorId = Info.EditorID;
  }
  if (EditorId < 0)
    return nullptr;
  TEditorRegistry &R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  for (TFarEditorManaged *Editor : R.Editors)
    if (Editor->FEditorId == EditorId)
      return Editor;
  return nullptr;
}

bool TFarEditorManaged::Find(intptr_t EditorId, TFarEditorManaged *&Editor) {
  Editor = Find(EditorId);
  return Editor != nullptr;
}

void TFarEditorManaged::Adopt(std::unique_ptr<TFarEditorManaged> Editor) {
  if (!Editor)
    return;
  TEditorRegistry &R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  R.Owned.push_back(std::move(Editor));
}

void TFarEditorManaged::FreeAdopted() {
  std::vector<std::unique_ptr<TFarEditorManaged>> Owned;
  {
    TEditorRegistry &R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    Owned.swap(R.Owned);
  }
  // The destructors take the lock themselves.
  Owned.clear();
}

size_t TFarEditorManaged::RegisteredCount() {
  TEditorRegistry &R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  return R.Editors.size();
}

void TFarEditorManaged::Release(TFarEditorManaged *Editor) {
  std::unique_ptr<TFarEditorManaged> Owned;
  {
    TEditorRegistry &R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    auto Position =
        std::find_if(R.Owned.begin(), R.Owned.end(),
                     [&](const std::unique_ptr<TFarEditorManaged> &Item) { return Item.get() == Editor; });
    if (Position != R.Owned.end()) {
      Owned = std::move(*Position);
      R.Owned.erase(Position);
    }
  }
  if (!Owned) {
    // Its owner frees it; it only has no window any more, so no later event can reach it.
    Editor->FShowing = false;
    Editor->FEditorId = -1;
  }
  // Owned (when set) is freed here, outside the lock.
}

intptr_t TFarEditorManaged::EditorClose(TFarEditorManaged *Editor) {
  bool FreeObject = true;
  intptr_t Result = 0;
  Editor->EditorClosing(FreeObject, Result);
  if (FreeObject) {
    Release(Editor);
    return Result;
  }

  const intptr_t ClosingId = Editor->FEditorId;
  if (Editor->FFlags & EF_DELETEONLYFILEONCLOSE) {
    // FAR deletes the file once this window is gone: the text moves to a new name first, and the
    // new window (opened with the same flags) deletes that one when it is finally closed.
    std::wstring NewName = MakeTempFileName();
    if (!NewName.empty() && ::MoveFileW(Editor->FFileName.c_str(), NewName.c_str()))
      Editor->FFileName = NewName;
  }
  Editor->FShowing = false;

  EditorInfo Info;
  if (GetInfo(ClosingId, Info)) {
    if (Editor->Show(Editor->FTitle, -1, -1, -1, -1, Editor->FFlags, Info.CurLine, Info.CurPos,
                     Info.CodePage)) {
      Editor->SetPosition(Info.CurLine, Info.CurPos, Info.CurTabPos, Info.TopScreenLine, Info.LeftPos,
                          Info.Overtype);
      Editor->EditorReopened();
    }
  } else {
    Editor->Show(Editor->FTitle, 0, 0, -1, -1, Editor->FFlags, 0, 1, Editor->FCodePage);
  }
  return Result;
}

intptr_t TFarEditorManaged::HandleEditorEvent(const ProcessEditorEventInfo &Info) noexcept {
  if (Info.Event == EE_REDRAW)
    return FarGuard<intptr_t>(L"ProcessEditorEventW", false, 0, [&]() -> intptr_t {
      TFarEditorManaged *Editor = Find(Info.EditorID);
      // Colouring is a help to the eye: nothing of it may end in a message while FAR draws.
      try {
        if (Editor && Editor->FShowing)
          Editor->EditorRedraw();
      } catch (...) {
      }
      return 0;
    });
  if (Info.Event != EE_CLOSE)
    return 0;
  // FAR must never see an exception; the close handling has no log lines.
  return FarGuard<intptr_t>(L"ProcessEditorEventW", false, 0, [&]() -> intptr_t {
    TFarEditorManaged *Editor = Find(Info.EditorID);
    if (!Editor)
      return 0;
    return EditorClose(Editor);
  });
}

intptr_t TFarEditorManaged::HandleEditorInput(const ProcessEditorInputInfo &Info) noexcept {
  if (Info.StructSize < 32 || Info.Rec.EventType != KEY_EVENT)
    return 0;
  return FarGuard<intptr_t>(L"ProcessEditorInputW", false, 0, [&]() -> intptr_t {
    TFarEditorManaged *Editor = Find(-1);
    if (!Editor)
      return 0;
    return Editor->ProcessKey(Info.Rec.Event.KeyEvent) ? 1 : 0;
  });
}
