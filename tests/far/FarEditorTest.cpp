// The managed editor against the host's editor: opening without blocking, the registry by window
// id, closing for good or reopening at the same place with the text kept, and FAR's keys reaching
// the object that owns the window.

#include "FarEditor.h"
#include "HostEditor.h"
#include "HostInProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

namespace {

// {5B8E2C41-9D07-4F3A-B61E-7A2C9D4E8F10}
const GUID EditorTestPluginGuid = {
    0x5B8E2C41, 0x9D07, 0x4F3A, {0xB6, 0x1E, 0x7A, 0x2C, 0x9D, 0x4E, 0x8F, 0x10}};

class TEditorTestPlugin : public TFarPlugin {
public:
  GUID GetPluginGuid() override { return EditorTestPluginGuid; }
  void GetPluginNames(std::wstring &Title, std::wstring &Description, std::wstring &Author) override {
    Title = L"Editor test";
    Description = L"Managed editors";
    Author = L"Tests";
  }
  bool GetPluginInfo(PluginInfo96 &Info) override {
    Info.StructSize = sizeof(Info);
    return true;
  }
  intptr_t Open(OPENFROM, const GUID *, intptr_t) override { return 0; }
};

const EDITOR_FLAGS DocumentFlags =
    EF_NONMODAL | EF_DISABLEHISTORY | EF_DELETEONLYFILEONCLOSE | EF_DISABLESAVEPOS;

// A managed editor that records what the framework calls and answers as the test says.
class TTestDocument : public TFarEditorManaged {
public:
  explicit TTestDocument(const std::wstring &FileName, bool *Destroyed = nullptr)
      : TFarEditorManaged(FileName), FDestroyed(Destroyed) {}
  ~TTestDocument() override {
    if (FDestroyed)
      *FDestroyed = true;
  }

  bool KeepOpen = false;
  intptr_t CloseResult = 0;
  std::function<void()> OnClosing;
  bool HandleKeys = false;
  int Closings = 0, Reopenings = 0, Shows = 0;
  std::vector<KEY_EVENT_RECORD> Keys;

protected:
  void EditorClosing(bool &FreeObject, intptr_t &Result) override {
    ++Closings;
    if (OnClosing)
      OnClosing();
    FreeObject = !KeepOpen;
    Result = CloseResult;
  }
  void EditorReopened() override { ++Reopenings; }
  void EditorShown() override { ++Shows; }
  bool ProcessKey(const KEY_EVENT_RECORD &Key) override {
    Keys.push_back(Key);
    return HandleKeys;
  }

private:
  bool *FDestroyed;
};

class FarEditorTest : public TInProcessPluginTest<TEditorTestPlugin> {
protected:
  void TearDown() override {
    TFarEditorManaged::FreeAdopted();
    TInProcessPluginTest<TEditorTestPlugin>::TearDown();
  }

  std::wstring WriteFile(const std::wstring &Name, const std::string &Bytes) {
    std::wstring Path = Host.TempFolder() + L"\\" + Name;
    std::ofstream Out(std::filesystem::path(Path), std::ios::binary);
    Out << Bytes;
    return Path;
  }
  static bool Exists(const std::wstring &Path) {
    return GetFileAttributesW(Path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  static std::string ReadBytes(const std::wstring &Path) {
    std::ifstream In(std::filesystem::path(Path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  }
  // A document shown with the differences document's flags, handed to the registry.
  TTestDocument *ShowDocument(const std::wstring &File, bool *Destroyed = nullptr) {
    auto Document = std::make_unique<TTestDocument>(File, Destroyed);
    if (!Document->Show(L"Doc title", 0, 0, -1, -1, DocumentFlags, 0, 1, CP_UTF8))
      return nullptr;
    TTestDocument *Pointer = Document.get();
    TFarEditorManaged::Adopt(std::move(Document));
    return Pointer;
  }
  THostEditor &Editors() { return THostEditor::Of(Host); }
};

std::string NumberedLines(int Count) {
  std::string Text = "\xEF\xBB\xBF";
  for (int I = 0; I < Count; ++I)
    Text += "line " + std::to_string(I) + "\r\n";
  return Text;
}

TEST_F(FarEditorTest, ShowOpensANonBlockingWindowAndRegistersItsId) {
  std::wstring File = WriteFile(L"doc.txt", NumberedLines(3));
  TTestDocument *Document = ShowDocument(File);
  ASSERT_NE(Document, nullptr);
  ASSERT_EQ(Editors().Calls().size(), 1u);
  const THostEditorCall &Call = Editors().Calls()[0];
  EXPECT_EQ(Call.Flags, DocumentFlags | EF_IMMEDIATERETURN);
  EXPECT_EQ(Call.FileName, File);
  EXPECT_EQ(Call.Title, L"Doc title");
  EXPECT_EQ(Call.CodePage, uintptr_t(CP_UTF8));

  THostEditorWindow *Window = Editors().Current();
  ASSERT_NE(Window, nullptr);
  EXPECT_EQ(Document->GetEditorId(), Window->Id());
  EXPECT_EQ(Document->GetFlags(), DocumentFlags) << "the flag Show adds itself is not kept";
  EXPECT_EQ(Document->GetTitle(), L"Doc title");
  EXPECT_TRUE(Document->IsShowing());
  EXPECT_EQ(Document->Shows, 1);
  EXPECT_EQ(Window->LineCount(), 4u);
  EXPECT_EQ(Window->Line(2), L"line 2");

  EXPECT_EQ(TFarEditorManaged::Find(Window->Id()), Document);
  EXPECT_EQ(TFarEditorManaged::Find(-1), Document);
  EXPECT_EQ(TFarEditorManaged::Find(Window->Id() + 1000), nullptr);
  Editors().FocusPanels();
  EXPECT_EQ(TFarEditorManaged::Find(-1), nullptr) << "no editor window has the focus";

  try {
    Document->Show(L"again", 0, 0, -1, -1, DocumentFlags, 0, 1, CP_UTF8);
    FAIL() << "a second Show while showing";
  } catch (const EFarEditorManagedError &E) {
    EXPECT_EQ(E.Message(), L"The editor is already showing");
  }
  EXPECT_EQ(Editors().Calls().size(), 1u);
}

TEST_F(FarEditorTest, ShowOfAMissingFileFailsAndChangesNothing) {
  TTestDocument Document(Host.TempFolder() + L"\\missing.txt");
  size_t Registered = TFarEditorManaged::RegisteredCount();
  EXPECT_FALSE(Document.Show(L"t", 0, 0, -1, -1, DocumentFlags, 0, 1, CP_UTF8));
  EXPECT_FALSE(Document.IsShowing());
  EXPECT_EQ(Document.GetEditorId(), -1);
  EXPECT_EQ(Document.Shows, 0);
  EXPECT_EQ(Document.GetTitle(), L"");
  EXPECT_EQ(TFarEditorManaged::RegisteredCount(), Registered) << "still registered, once";
}

TEST_F(FarEditorTest, ClosingForGoodFreesTheObjectAndFarDeletesTheFile) {
  std::wstring File = WriteFile(L"doc.txt", NumberedLines(2));
  bool Destroyed = false;
  size_t Before = TFarEditorManaged::RegisteredCount();
  TTestDocument *Document = ShowDocument(File, &Destroyed);
  ASSERT_NE(Document, nullptr);
  EXPECT_EQ(TFarEditorManaged::RegisteredCount(), Before + 1);
  Document->CloseResult = 5;
  THostEditorWindow *Window = Editors().Current();
  intptr_t Id = Window->Id();

  EXPECT_EQ(Window->Close(), 5) << "ProcessEditorEventW returns the result EditorClosing set";
  EXPECT_TRUE(Destroyed);
  EXPECT_EQ(TFarEditorManaged::RegisteredCount(), Before);
  EXPECT_EQ(TFarEditorManaged::Find(Id), nullptr);
  EXPECT_FALSE(Exists(File));
  EXPECT_EQ(Editors().OpenCount(), 0u);
}

TEST_F(FarEditorTest, ReopensAtTheSamePlaceWithTheTextKeptInANewFile) {
  std::wstring File = WriteFile(L"doc.txt", NumberedLines(60));
  TTestDocument *Document = ShowDocument(File);
  ASSERT_NE(Document, nullptr);
  Document->KeepOpen = true;
  THostEditorWindow *First = Editors().Current();
  First->ReplaceLine(1, L"edited by the user");
  ASSERT_TRUE(First->Save());
  First->ScrollTo(30, 2);
  First->MoveCursor(41, 3);

  EXPECT_EQ(First->Close(), 0);
  EXPECT_EQ(Document->Closings, 1);
  ASSERT_EQ(Editors().OpenCount(), 1u);
  THostEditorWindow *Second = Editors().Current();
  ASSERT_NE(Second, First);
  EXPECT_EQ(Document->GetEditorId(), Second->Id());
  EXPECT_TRUE(Document->IsShowing());
  EXPECT_EQ(Document->Reopenings, 1);
  EXPECT_EQ(Document->Shows, 2);

  EXPECT_EQ(Second->CurLine(), 41);
  EXPECT_EQ(Second->CurPos(), 3);
  EXPECT_EQ(Second->TopScreenLine(), 30);
  EXPECT_EQ(Second->LeftPos(), 2);
  EXPECT_EQ(Second->Line(1), L"edited by the user");
  EXPECT_EQ(Second->Flags(), DocumentFlags | EF_IMMEDIATERETURN);
  EXPECT_EQ(Second->CodePage(), uintptr_t(CP_UTF8));

  // The text moved away from FAR's delete-on-close into a fresh temporary name.
  EXPECT_FALSE(Exists(File));
  EXPECT_NE(Document->GetFileName(), File);
  EXPECT_EQ(Second->FileName(), Document->GetFileName());
  EXPECT_EQ(ReadBytes(Document->GetFileName()).substr(0, 3), "\xEF\xBB\xBF");

  // Closed for good later, the new file goes too.
  std::wstring Moved = Document->GetFileName();
  Document->KeepOpen = false;
  Second->Close();
  EXPECT_FALSE(Exists(Moved));
  EXPECT_EQ(TFarEditorManaged::Find(Second->Id()), nullptr);
}

TEST_F(FarEditorTest, WithoutDeleteOnCloseTheReopenedWindowKeepsTheFile) {
  std::wstring File = WriteFile(L"keep.txt", NumberedLines(3));
  auto Owned = std::make_unique<TTestDocument>(File);
  TTestDocument *Document = Owned.get();
  ASSERT_TRUE(Document->Show(L"t", 0, 0, -1, -1, EF_NONMODAL | EF_DISABLESAVEPOS, 0, 1, CP_UTF8));
  TFarEditorManaged::Adopt(std::move(Owned));
  Document->KeepOpen = true;
  Editors().Current()->Close();
  EXPECT_EQ(Document->GetFileName(), File);
  EXPECT_TRUE(Exists(File));
  ASSERT_NE(Editors().Current(), nullptr);
  EXPECT_EQ(Editors().Current()->FileName(), File);
}

TEST_F(FarEditorTest, OtherEventsAndUnmanagedWindowsAreLeftAlone) {
  std::wstring File = WriteFile(L"doc.txt", NumberedLines(2));
  TTestDocument *Document = ShowDocument(File);
  ASSERT_NE(Document, nullptr);
  intptr_t Id = Document->GetEditorId();
  for (intptr_t Event : {EE_READ, EE_SAVE, EE_REDRAW, EE_GOTFOCUS, EE_KILLFOCUS, EE_CHANGE})
    EXPECT_EQ(Host.ProcessEditorEvent(Event, nullptr, Id), 0);
  EXPECT_EQ(Document->Closings, 0);

  // A window the plug-in opened without a managed object.
  std::wstring Other = WriteFile(L"other.txt", "text");
  intptr_t OtherId = -1;
  ASSERT_TRUE(TFarEditor::OpenEditor(OtherId, Other, L"", 0, 0, -1, -1, EF_NONMODAL | EF_IMMEDIATERETURN, 1,
                                     1, CP_DEFAULT));
  EXPECT_NE(OtherId, Id);
  THostEditorWindow *OtherWindow = Editors().Find(OtherId);
  ASSERT_NE(OtherWindow, nullptr);
  EXPECT_EQ(OtherWindow->Close(), 0);
  EXPECT_EQ(Document->Closings, 0);
  EXPECT_TRUE(Exists(Other)) << "opened without delete-on-close";
}

TEST_F(FarEditorTest, KeysReachTheObjectOfTheWindowBeforeTheEditor) {
  std::wstring File = WriteFile(L"doc.txt", NumberedLines(2));
  TTestDocument *Document = ShowDocument(File);
  ASSERT_NE(Document, nullptr);
  THostEditorWindow *Window = Editors().Current();

  Document->HandleKeys = true;
  EXPECT_TRUE(Window->PressKey(VK_F1, LEFT_ALT_PRESSED));
  ASSERT_EQ(Document->Keys.size(), 2u) << "key down and key up";
  EXPECT_TRUE(Document->Keys[0].bKeyDown);
  EXPECT_EQ(Document->Keys[0].wVirtualKeyCode, VK_F1);
  EXPECT_EQ(Document->Keys[0].dwControlKeyState, DWORD(LEFT_ALT_PRESSED));
  EXPECT_FALSE(Document->Keys[1].bKeyDown);

  // A handled key is not processed by the editor; an unhandled one is.
  Window->MoveCursor(0, 0);
  Window->TypeText(L"x");
  EXPECT_EQ(Window->Line(0), L"line 0");
  Document->HandleKeys = false;
  Window->TypeText(L"y");
  EXPECT_EQ(Window->Line(0), L"yline 0");

  // Keys in another window do not reach the document.
  std::wstring Other = WriteFile(L"other.txt", "abc");
  intptr_t OtherId = -1;
  ASSERT_TRUE(TFarEditor::OpenEditor(OtherId, Other, L"", 0, 0, -1, -1, EF_NONMODAL | EF_IMMEDIATERETURN, 1,
                                     1, CP_DEFAULT));
  size_t Seen = Document->Keys.size();
  EXPECT_FALSE(Editors().Find(OtherId)->PressKey(VK_F1, LEFT_ALT_PRESSED));
  EXPECT_EQ(Document->Keys.size(), Seen);
}

TEST_F(FarEditorTest, InputThatIsNoKeyOrTooShortIsNotLookedAt) {
  std::wstring File = WriteFile(L"doc.txt", NumberedLines(2));
  TTestDocument *Document = ShowDocument(File);
  ASSERT_NE(Document, nullptr);
  Document->HandleKeys = true;
  size_t Controls = Host.CallCount(L"EditorControl");

  INPUT_RECORD Mouse{};
  Mouse.EventType = MOUSE_EVENT;
  EXPECT_FALSE(Editors().Current()->SendInput(Mouse));
  EXPECT_EQ(Host.CallCount(L"EditorControl"), Controls) << "no look-up of the current editor";

  ProcessEditorInputInfo Short{};
  Short.StructSize = 31;
  Short.Rec.EventType = KEY_EVENT;
  Short.Rec.Event.KeyEvent.bKeyDown = TRUE;
  EXPECT_EQ(ProcessEditorInputW(&Short), 0);
  EXPECT_TRUE(Document->Keys.empty());
}

TEST_F(FarEditorTest, AnErrorWhileClosingIsReportedAndDoesNotEscape) {
  std::wstring File = WriteFile(L"doc.txt", NumberedLines(2));
  TTestDocument *Document = ShowDocument(File);
  ASSERT_NE(Document, nullptr);
  Document->OnClosing = [] { throw EFarError(L"closing went wrong"); };
  Host.Script().AnswerMessage(0, L"closing went wrong");
  EXPECT_EQ(Editors().Current()->Close(), 0);
  ASSERT_EQ(Host.Messages().size(), 1u);
  EXPECT_NE(Host.Messages()[0].Body().find(L"ProcessEditorEventW"), std::wstring::npos);
}

TEST_F(FarEditorTest, GotoLineLeavesTheTopToFarNearTheStart) {
  std::wstring File = WriteFile(L"doc.txt", NumberedLines(40));
  TTestDocument *Document = ShowDocument(File);
  ASSERT_NE(Document, nullptr);
  THostEditorWindow *Window = Editors().Current();
  ASSERT_TRUE(Document->GotoLine(3));
  EXPECT_EQ(Window->CurLine(), 3);
  EXPECT_EQ(Window->TopScreenLine(), 0);
  ASSERT_TRUE(Document->GotoLine(12, 4));
  EXPECT_EQ(Window->CurLine(), 12);
  EXPECT_EQ(Window->CurPos(), 4);
  EXPECT_EQ(Window->TopScreenLine(), 7) << "line 12 is the sixth line of the window";
  EditorInfo Info;
  ASSERT_TRUE(Document->GetInfo(Info));
  EXPECT_EQ(Info.EditorID, Window->Id());
  EXPECT_EQ(Info.CurLine, 12);
  EXPECT_EQ(Info.TotalLines, 41);
  EXPECT_EQ(Info.CodePage, uintptr_t(CP_UTF8));
}

TEST_F(FarEditorTest, LinesAndTheirSelections) {
  std::wstring File = WriteFile(L"doc.txt", "\xEF\xBB\xBF"
                                            "first line\r\nsecond\r\nthird line here\r\n");
  TTestDocument *Document = ShowDocument(File);
  ASSERT_NE(Document, nullptr);
  THostEditorWindow *Window = Editors().Current();
  std::wstring Text;
  intptr_t Start = -5, Length = -5;

  ASSERT_TRUE(Document->GetString(1, Text, Start, Length));
  EXPECT_EQ(Text, L"second");
  EXPECT_EQ(Start, 0);
  EXPECT_EQ(Length, 0) << "no selection";

  // A stream block from line 0 column 6 into line 2 column 5.
  Window->SelectStream(0, 6, 2, 5);
  ASSERT_TRUE(Document->GetString(0, Text, Start, Length));
  EXPECT_EQ(Start, 7);
  EXPECT_EQ(Length, 10) << "a selection past the end of the line counts the whole line";
  ASSERT_TRUE(Document->GetString(1, Text, Start, Length));
  EXPECT_EQ(Start, 1);
  EXPECT_EQ(Length, 6);
  ASSERT_TRUE(Document->GetString(2, Text, Start, Length));
  EXPECT_EQ(Start, 1);
  EXPECT_EQ(Length, 5);
  ASSERT_TRUE(Document->GetString(3, Text, Start, Length));
  EXPECT_EQ(Length, 0);

  // Whole lines: the block ends at the start of the next line.
  Window->SelectLines(0, 1);
  ASSERT_TRUE(Document->GetString(2, Text, Start, Length));
  EXPECT_EQ(Start, 0);
  EXPECT_EQ(Length, 0);

  // A column block.
  Window->SelectColumn(0, 2, 2, 5);
  ASSERT_TRUE(Document->GetString(1, Text, Start, Length));
  EXPECT_EQ(Start, 3);
  EXPECT_EQ(Length, 3);

  EXPECT_FALSE(Document->GetString(4, Text)) << "past the last line";
  ASSERT_TRUE(Document->SetString(1, L"replaced"));
  EXPECT_EQ(Window->Line(1), L"replaced");
  EXPECT_EQ(Window->Eol(1), L"\r\n") << "the line keeps its end of line";
  EXPECT_TRUE(Window->IsModified());
}

TEST_F(FarEditorTest, KeyBarLabelsReachTheWindow) {
  std::wstring File = WriteFile(L"doc.txt", NumberedLines(2));
  TTestDocument *Document = ShowDocument(File);
  ASSERT_NE(Document, nullptr);
  ASSERT_TRUE(Document->SetKeyBar({{VK_F1, LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED, L"Edit L", L"Edit left"},
                                   {VK_F5, LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED, L"Next L", L"Next left"}}));
  const THostKeyBarLabel *Label = Editors().Current()->FindKeyBarLabel(VK_F1, LEFT_CTRL_PRESSED);
  ASSERT_NE(Label, nullptr);
  EXPECT_EQ(Label->Text, L"Edit L");
  EXPECT_EQ(Label->LongText, L"Edit left");
  EXPECT_NE(Editors().Current()->FindKeyBarLabel(VK_F5, RIGHT_ALT_PRESSED), nullptr);
  EXPECT_TRUE(Document->Redraw());
  EXPECT_EQ(Editors().Current()->RedrawCount(), 1u);
}

// ---- The host's editor itself ----

TEST_F(FarEditorTest, HostRemembersPositionsUnlessSavingThemIsDisabled) {
  std::wstring File = WriteFile(L"plain.txt", NumberedLines(30));
  intptr_t Id = -1;
  ASSERT_TRUE(TFarEditor::OpenEditor(Id, File, L"", 0, 0, -1, -1, EF_NONMODAL | EF_IMMEDIATERETURN, -1, -1,
                                     CP_DEFAULT));
  Editors().Find(Id)->MoveCursor(20, 2);
  Editors().Find(Id)->Close();
  ASSERT_TRUE(TFarEditor::OpenEditor(Id, File, L"", 0, 0, -1, -1, EF_NONMODAL | EF_IMMEDIATERETURN, -1, -1,
                                     CP_DEFAULT));
  EXPECT_EQ(Editors().Find(Id)->CurLine(), 20);
  EXPECT_EQ(Editors().Find(Id)->CurPos(), 2);
  Editors().Find(Id)->Close();

  std::wstring Other = WriteFile(L"nosave.txt", NumberedLines(30));
  const EDITOR_FLAGS NoSave = EF_NONMODAL | EF_IMMEDIATERETURN | EF_DISABLESAVEPOS;
  ASSERT_TRUE(TFarEditor::OpenEditor(Id, Other, L"", 0, 0, -1, -1, NoSave, -1, -1, CP_DEFAULT));
  Editors().Find(Id)->MoveCursor(20, 2);
  Editors().Find(Id)->Close();
  ASSERT_TRUE(TFarEditor::OpenEditor(Id, Other, L"", 0, 0, -1, -1, NoSave, -1, -1, CP_DEFAULT));
  EXPECT_EQ(Editors().Find(Id)->CurLine(), 0);
}

TEST_F(FarEditorTest, HostRunsAModalEditorFromTheScript) {
  std::wstring File = WriteFile(L"modal.txt", "one\ntwo\n");
  Host.Script().Then<TEditInEditor>(
      [](THostEditorWindow &Window) {
        Window.MoveCursor(1, 3);
        Window.TypeText(L"!\nthree");
        Window.PressKey(VK_F2);
      },
      L"modal.txt");
  intptr_t Result = Host.StartupInfo().Editor(File.c_str(), L"", 0, 0, -1, -1, 0, 1, 1, CP_DEFAULT);
  EXPECT_EQ(Result, EEC_MODIFIED) << "saved during the session";
  EXPECT_EQ(Editors().OpenCount(), 0u) << "a modal editor is closed when the user is done";
  EXPECT_EQ(ReadBytes(File), "one\ntwo!\nthree\n");
}

TEST_F(FarEditorTest, HostAnswersAsFarDoesForStructSizesLockedEditorsAndDeleteOnClose) {
  std::wstring Folder = Host.TempFolder() + L"\\scratch";
  CreateDirectoryW(Folder.c_str(), nullptr);
  std::wstring File = Folder + L"\\locked.txt";
  {
    std::ofstream Out(std::filesystem::path(File), std::ios::binary);
    Out << "\xFF\xFE" << std::string("a\0b\0\r\0\n\0", 8);
  }
  intptr_t Id = -1;
  ASSERT_TRUE(TFarEditor::OpenEditor(Id, File, L"", 0, 0, -1, -1,
                                     EF_NONMODAL | EF_IMMEDIATERETURN | EF_LOCKED | EF_DELETEONCLOSE, 1, 1,
                                     CP_DEFAULT));
  THostEditorWindow *Window = Editors().Find(Id);
  EXPECT_EQ(Window->CodePage(), uintptr_t(1200));
  EXPECT_EQ(Window->Line(0), L"ab");

  // The 152-byte layout is enough; a shorter one is refused; the full one gets the rectangles.
  EditorInfo Info{};
  Info.StructSize = sizeof(EditorInfo152) - 8;
  EXPECT_EQ(Host.StartupInfo().EditorControl(Id, ECTL_GETINFO, 0, &Info), 0);
  Info.StructSize = sizeof(EditorInfo);
  ASSERT_NE(Host.StartupInfo().EditorControl(Id, ECTL_GETINFO, 0, &Info), 0);
  EXPECT_EQ(Info.WindowArea.right, 79);
  EXPECT_EQ(Info.WindowSizeY, 23);
  EXPECT_TRUE(Info.CurState & ECSTATE_LOCKED);

  EXPECT_FALSE(TFarEditor::SetString(Id, 0, L"changed")) << "a locked editor refuses changes";
  EXPECT_EQ(Window->Line(0), L"ab");
  Window->Close();
  EXPECT_EQ(GetFileAttributesW(File.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(Folder.c_str()), INVALID_FILE_ATTRIBUTES) << "the emptied folder goes too";
}

} // namespace
